// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FakeCommandRunner.h"

namespace nura {

void FakeCommandRunner::enqueueResult(const CommandResult& result) {
    QMutexLocker lock(&m_mutex);
    m_results.append(result);
}

QList<FakeCommandRunner::Call> FakeCommandRunner::calls() const {
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

CommandResult FakeCommandRunner::runScriptCommand(const QStringList& arguments,
                                                  bool withAdministratorPrivileges) {
    QMutexLocker lock(&m_mutex);
    m_calls.append({arguments, withAdministratorPrivileges});
    return m_results.isEmpty() ? CommandResult{} : m_results.takeFirst();
}

} // namespace nura

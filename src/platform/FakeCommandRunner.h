// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A command runner for tests: records each call and answers from a queue (success when it is empty).

#include "platform/CommandRunner.h"

#include <QList>
#include <QMutex>

namespace nura {

class FakeCommandRunner : public CommandRunner {
public:
    struct Call {
        QStringList arguments;
        bool withAdministratorPrivileges = false;
    };

    void enqueueResult(const CommandResult& result);
    QList<Call> calls() const;

    CommandResult runScriptCommand(const QStringList& arguments, bool withAdministratorPrivileges) override;

private:
    mutable QMutex m_mutex;
    QList<Call> m_calls;
    QList<CommandResult> m_results;
};

} // namespace nura

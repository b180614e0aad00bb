// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CommandRunner.h"

namespace nura {

QString CommandResult::describe() const {
    if (succeeded()) {
        return QStringLiteral("{}");
    }
    QString message = errorMessage.left(300).trimmed();
    message.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("{number=%1, message=%2}").arg(errorNumber).arg(message);
}

} // namespace nura

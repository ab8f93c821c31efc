#include "TerminalAlerts.h"

#include <unistd.h>

void TerminalAlerts::show(const QString& message, const QString& informativeText, const QString&)
{
    // One write, so the line never mixes with output of other threads.
    const QByteArray line = (message + QStringLiteral(": ") + informativeText + QLatin1Char('\n')).toUtf8();
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, static_cast<size_t>(left));
        if (written <= 0)
            return;
        data += written;
        left -= written;
    }
}

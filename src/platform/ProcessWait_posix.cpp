#include "platform/ProcessWait.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <signal.h>
#include <sys/types.h>

bool IsProcessRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    // Signal 0 only asks whether the process exists; EPERM means it exists under another user.
    if (::kill(pid_t(pid), 0) == 0)
        return true;
    return errno == EPERM;
}

bool WaitForProcessEnd(qint64 pid, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (IsProcessRunning(pid)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

#include "platform/ProcessWait.h"

#include <windows.h>

bool IsProcessRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

bool WaitForProcessEnd(qint64 pid, int timeoutMs)
{
    if (pid <= 0)
        return true;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() != ERROR_ACCESS_DENIED;
    const bool ended = WaitForSingleObject(process, DWORD(timeoutMs)) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

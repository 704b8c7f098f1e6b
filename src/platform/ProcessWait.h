#pragma once

#include <QtGlobal>

// Whether the process with that id is still running (false for an id of 0 or below).
bool IsProcessRunning(qint64 pid);

// Waits until the process with that id has ended, at most timeoutMs. True when it is gone.
bool WaitForProcessEnd(qint64 pid, int timeoutMs);

#pragma once

#include "dialogs/WindowOpeners.h"

// The program's windows behind the openers: the class window, the reports, records and
// enrolment windows, the administration menu and the conversion window. The class window gets
// the same openers for the windows it opens in turn.
WindowOpeners StandardWindowOpeners();

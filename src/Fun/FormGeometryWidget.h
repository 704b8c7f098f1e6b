#pragma once

#include "Fun/FormGeometry.h"

class QWidget;

// Window geometry of a window, named by its objectName (section "FormSize", see FormGeometry.h).
// Top and left are the position of the window's frame (pos()), width and height the size of its
// inside (size()), so a saved window comes back with the same frame, where and as large as it
// was. A stored frame that does not fit the available area of the screen (a smaller screen, a
// screen gone) is moved inside it and shrunk to fit.

// Called when the window closes. A window without an objectName is not saved.
void SaveFormGeometry(QWidget *window);

// Called when the window is created or first shown: moves and resizes the window to the saved
// geometry, or to the given defaults for the values that are not saved, fitted to the screen.
// The frame lands where it was saved: when the window manager's frame is known (another window
// of the program is shown) the inside is placed exactly inside it; otherwise the frame position
// is asked for.
void RestoreFormGeometry(QWidget *window, int top, int left, int width, int height);

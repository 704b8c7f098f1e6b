#pragma once

#include "Fun/FormGeometry.h"

class QWidget;

// Window geometry of a window, named by its objectName (section "FormSize", see FormGeometry.h).
// Top and left are the window's position (pos()), width and height its size (size()), so a
// saved window comes back where and as large as it was.

// Called when the window closes. A window without an objectName is not saved.
void SaveFormGeometry(QWidget *window);

// Called when the window is created or first shown: moves and resizes the window to the saved
// geometry, or to the given defaults for the values that are not saved.
void RestoreFormGeometry(QWidget *window, int top, int left, int width, int height);

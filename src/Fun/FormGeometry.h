#pragma once

#include <QRect>
#include <QSize>
#include <QString>

// Window geometry in section "FormSize" of the settings file: the keys are the window's name
// followed by "_top", "_left", "_width" and "_height", the values pixels in decimal.
// A QRect carries left as x and top as y.

// Writes the four values of the named window.
void SaveFormGeometry(const QString &name, const QRect &geometry);

// Reads the named window's geometry in the order top, left, height, width (the width key is
// looked up as <name>_Width; the lookup is case-blind), each with the given default, each
// converted with StrToIntSafe.
QRect RestoreFormGeometry(const QString &name, int top, int left, int width, int height);

// A window's frame (title bar and border included) placed inside the available area of its
// screen: a frame larger than the area is shrunk to it, though never below minimumFrame; then
// it is moved in so that its right and bottom edges are inside, and after that its left and top
// edges, so that the title bar can always be reached. A frame inside the area is left as it is.
QRect FitFrameToArea(const QRect &frame, const QRect &area, const QSize &minimumFrame = QSize());

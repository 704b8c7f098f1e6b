#pragma once

#include <QRect>
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

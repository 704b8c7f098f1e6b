#include "Fun/FormGeometryWidget.h"

#include <QWidget>

void SaveFormGeometry(QWidget *window)
{
    // Without a name every unnamed window would share (and overwrite) one set of keys.
    if (!window || window->objectName().isEmpty())
        return;
    SaveFormGeometry(window->objectName(), QRect(window->pos(), window->size()));
}

void RestoreFormGeometry(QWidget *window, int top, int left, int width, int height)
{
    if (!window)
        return;
    const QRect geometry = window->objectName().isEmpty()
        ? QRect(left, top, width, height)
        : RestoreFormGeometry(window->objectName(), top, left, width, height);
    window->move(geometry.topLeft());
    window->resize(geometry.size());
}

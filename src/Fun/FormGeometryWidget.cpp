#include "Fun/FormGeometryWidget.h"

#include <QApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <optional>

namespace {

QMargins MarginsOf(const QWidget *window)
{
    if (const QWindow *handle = window->windowHandle())
        return handle->frameMargins();
    const QRect frame = window->frameGeometry();
    const QRect inside = window->geometry();
    return QMargins(inside.left() - frame.left(), inside.top() - frame.top(),
                    frame.right() - inside.right(), frame.bottom() - inside.bottom());
}

bool Decorated(const QWidget *window)
{
    return window->isVisible() && window->windowType() != Qt::Popup
        && window->windowType() != Qt::ToolTip && window->windowType() != Qt::SplashScreen
        && !window->windowFlags().testFlag(Qt::FramelessWindowHint);
}

// The frame the window manager puts around this window: its own once it has one, else that of the
// window it belongs to or of another shown window of the program (one desktop decorates them
// alike). Nothing when none is known.
std::optional<QMargins> KnownFrameMargins(const QWidget *window)
{
    // A window being shown has no frame yet: then another's tells.
    if (window->isVisible() && !MarginsOf(window).isNull())
        return MarginsOf(window);
    QList<const QWidget *> candidates;
    if (const QWidget *parent = window->parentWidget())
        candidates << parent->window();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget *other : windows)
        candidates << other;
    for (const QWidget *other : std::as_const(candidates)) {
        if (other != window && Decorated(other))
            return MarginsOf(other);
    }
    return std::nullopt;
}

// The available area (without task bars) of the screen that holds the point, else of the
// parent's screen, else of the primary screen.
QRect AvailableArea(const QWidget *window, const QPoint &point)
{
    QScreen *screen = QGuiApplication::screenAt(point);
    if (!screen && window->parentWidget())
        screen = window->parentWidget()->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

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
    const QRect stored = window->objectName().isEmpty()
        ? QRect(left, top, width, height)
        : RestoreFormGeometry(window->objectName(), top, left, width, height);

    // The inside never gets smaller than its layout allows.
    QSize minimum = window->minimumSize();
    if (window->layout())
        minimum = minimum.expandedTo(window->layout()->totalMinimumSize());
    const QSize inside = stored.size().expandedTo(minimum);

    const std::optional<QMargins> known = KnownFrameMargins(window);
    // For the fitting only: a usual title bar and border when the frame is not known yet.
    const QMargins margins = known.value_or(QMargins(4, 30, 4, 4));
    const QRect frame(stored.topLeft(), inside.grownBy(margins));
    const QRect fitted = FitFrameToArea(frame, AvailableArea(window, frame.center()),
                                        minimum.grownBy(margins));
    const QSize fittedInside = fitted.size().shrunkBy(margins);
    if (known) {
        // The inside at its exact place: the frame then stands where it was saved, whatever
        // the window manager does with a requested frame position.
        window->setGeometry(fitted.marginsRemoved(margins));
    } else {
        window->move(fitted.topLeft());
        window->resize(fittedInside);
    }
}

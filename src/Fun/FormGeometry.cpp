#include "Fun/FormGeometry.h"

#include "Fun/DateTimeFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"

namespace {

int ReadGeometryValue(const QString &name, const QString &suffix, int defaultValue)
{
    return StrToIntSafe(ReadIniSetting(
        IniSection::FormSize, name + suffix, QString(), QString::number(defaultValue)));
}

} // namespace

void SaveFormGeometry(const QString &name, const QRect &geometry)
{
    WriteIniSetting(IniSection::FormSize, name + FormSizeKey::Top, QString::number(geometry.y()));
    WriteIniSetting(IniSection::FormSize, name + FormSizeKey::Left, QString::number(geometry.x()));
    WriteIniSetting(
        IniSection::FormSize, name + FormSizeKey::Width, QString::number(geometry.width()));
    WriteIniSetting(
        IniSection::FormSize, name + FormSizeKey::Height, QString::number(geometry.height()));
}

QRect RestoreFormGeometry(const QString &name, int top, int left, int width, int height)
{
    const int y = ReadGeometryValue(name, FormSizeKey::Top, top);
    const int x = ReadGeometryValue(name, FormSizeKey::Left, left);
    const int h = ReadGeometryValue(name, FormSizeKey::Height, height);
    // Written as "_width", read as "_Width": the INI lookup ignores letter case.
    const int w = ReadGeometryValue(name, QStringLiteral("_Width"), width);
    return QRect(x, y, w, h);
}

QRect FitFrameToArea(const QRect &frame, const QRect &area, const QSize &minimumFrame)
{
    if (!area.isValid() || !frame.isValid())
        return frame;
    QRect fitted = frame;
    fitted.setWidth(qMax(qMin(frame.width(), area.width()), minimumFrame.width()));
    fitted.setHeight(qMax(qMin(frame.height(), area.height()), minimumFrame.height()));
    if (fitted.right() > area.right())
        fitted.moveRight(area.right());
    if (fitted.bottom() > area.bottom())
        fitted.moveBottom(area.bottom());
    if (fitted.left() < area.left())
        fitted.moveLeft(area.left());
    if (fitted.top() < area.top())
        fitted.moveTop(area.top());
    return fitted;
}

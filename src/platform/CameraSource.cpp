#include "platform/CameraSource.h"

int FindCameraDevice(const QStringList &devices, const QString &deviceName)
{
    const QString name = deviceName.trimmed();
    if (name.size() == 2 && name.at(0) == QLatin1Char('#') && name.at(1) >= QLatin1Char('0')
        && name.at(1) <= QLatin1Char('9')) {
        const int index = name.at(1).unicode() - '0';
        return index < devices.size() ? index : -1;
    }
    if (name.isEmpty())
        return -1;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        if (devices.at(i).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

QString VideoSizeText(int width, int height, const QString &fourCC)
{
    return QString::number(width) + QLatin1Char('*') + QString::number(height) + QStringLiteral("  (")
        + fourCC + QLatin1Char(')');
}

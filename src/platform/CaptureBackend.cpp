#include "platform/CaptureBackend.h"

#include "platform/CameraSource.h"
#include "platform/SyntheticCamera.h"

#if defined(ROLVAN_CAMERA_V4L2)
#include "platform/camera_v4l2.h"
#endif

#include <algorithm>

QString FourCCText(quint32 code)
{
    if (code == FrameCode::RGB || code == FrameCode::RGB3 || code == FrameCode::BGR3)
        return QStringLiteral("RGB ");
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E)
            return QString::number(code);
        text += QLatin1Char(c);
    }
    return text;
}

QString VideoFormat::Text() const
{
    return VideoSizeText(width, height, FourCCText(fourCC));
}

QList<VideoFormat> SortVideoFormats(QList<VideoFormat> formats)
{
    std::stable_sort(formats.begin(), formats.end(), [](const VideoFormat &a, const VideoFormat &b) {
        if (a.width != b.width)
            return a.width < b.width;
        return a.height < b.height;
    });
    return formats;
}

QString VideoPropertyName(int number)
{
    switch (number) {
    case 0: return QStringLiteral("亮度");
    case 1: return QStringLiteral("對比");
    case 2: return QStringLiteral("色調");
    case 3: return QStringLiteral("飽和度");
    case 4: return QStringLiteral("清晰度");
    case 5: return QStringLiteral("Gamma");
    case 6: return QStringLiteral("彩色");
    case 7: return QStringLiteral("白平衡");
    case 8: return QStringLiteral("逆光補償");
    case 9: return QStringLiteral("增益");
    default: return QString();
    }
}

QList<CameraDeviceEntry> CreateCameraSources(bool withSynthetic)
{
    QList<CameraDeviceEntry> devices;
#if defined(ROLVAN_CAMERA_V4L2)
    devices << EnumerateV4l2Devices();
#endif
    if (withSynthetic) {
        devices << CameraDeviceEntry{SyntheticCamera::DeviceName(), [] {
                                         return std::unique_ptr<CaptureBackend>(new SyntheticCaptureBackend());
                                     }};
    }
    return devices;
}

bool SyntheticCameraOffered()
{
    const QString choice = qEnvironmentVariable("ROLVAN_SYNTHETIC_CAMERA").trimmed();
    if (!choice.isEmpty())
        return choice != QLatin1String("0") && choice.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
    return !qEnvironmentVariableIsEmpty("ROLVAN_HOME");
}

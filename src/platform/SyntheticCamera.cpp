#include "platform/SyntheticCamera.h"

#include "platform/Clock.h"
#include "platform/JpegWriter.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr int FrameIntervalMs = 66; // about 15 frames a second
constexpr int FramesPerSweep = 90;  // the bars travel one picture width in six seconds
constexpr int JpegQuality = 85;     // what a webcam's MJPG stream looks like

uchar Clip(int value)
{
    return uchar(std::clamp(value, 0, 255));
}

// ITU-R BT.601, limited range, in fixed point scaled by 256.
uchar LumaOf(int r, int g, int b)
{
    return Clip(16 + ((66 * r + 129 * g + 25 * b + 128) >> 8));
}
uchar BlueDifferenceOf(int r, int g, int b)
{
    return Clip(128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8));
}
uchar RedDifferenceOf(int r, int g, int b)
{
    return Clip(128 + ((112 * r - 94 * g - 18 * b + 128) >> 8));
}

} // namespace

SyntheticCamera::SyntheticCamera()
    : m_sizes{QSize(320, 240), QSize(640, 480), QSize(800, 600)}
{
    SetFormats({FrameCode::RGB});
    m_timer.setInterval(FrameIntervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { DeliverFrame(); });
}

void SyntheticCamera::SetFormats(const QList<quint32> &codes)
{
    QList<VideoFormat> formats;
    for (const QSize &size : m_sizes) {
        for (const quint32 code : codes)
            formats << VideoFormat{size.width(), size.height(), code, code, int(formats.size())};
    }
    m_formats = SortVideoFormats(formats);
    m_formatIndex = 0;
    for (qsizetype i = 0; i < m_formats.size(); ++i) {
        if (m_formats.at(i).width == 640 && m_formats.at(i).height == 480) {
            m_formatIndex = int(i);
            break;
        }
    }
}

void SyntheticCamera::SetFrameInterval(int milliseconds)
{
    m_timer.setInterval(qMax(0, milliseconds));
}

void SyntheticCamera::DeliverFrame()
{
    ProduceFrame();
    NotifyNewFrame(m_frame);
    if (m_rawFrameCallback) {
        const VideoFormat format = CurrentFormat();
        const QByteArray packed = PackFrame(m_frame, format.fourCC, m_brightness);
        m_rawFrameCallback(RawFrame{format.fourCC, m_frame.width(), m_frame.height(),
                                    reinterpret_cast<const uchar *>(packed.constData()), packed.size()});
    }
}

SyntheticCamera::~SyntheticCamera() = default;

QStringList SyntheticCamera::GetListOfDevices() const
{
    return {DeviceName()};
}

bool SyntheticCamera::VideoStart(const QString &deviceName)
{
    VideoStop();
    if (FindCameraDevice(GetListOfDevices(), deviceName) < 0)
        return false;
    m_frameCount = 0;
    m_running = true;
    m_paused = false;
    // The first frame is there when the start returns, so a snapshot right away is not empty.
    ProduceFrame();
    m_timer.start();
    return true;
}

void SyntheticCamera::VideoStop()
{
    m_timer.stop();
    m_running = false;
    m_paused = false;
}

void SyntheticCamera::VideoPause()
{
    if (!m_running)
        return;
    m_timer.stop();
    m_paused = true;
}

void SyntheticCamera::VideoResume()
{
    if (!m_running || !m_paused)
        return;
    m_paused = false;
    m_timer.start();
}

QStringList SyntheticCamera::GetListOfSupportedVideoSizes() const
{
    QStringList sizes;
    for (const VideoFormat &format : m_formats)
        sizes << format.Text();
    return sizes;
}

void SyntheticCamera::SetResolutionByIndex(int index)
{
    if (index < 0 || index >= m_formats.size())
        return;
    m_formatIndex = index;
    // The picture takes the new size at once, as a restarted stream would.
    if (m_running)
        ProduceFrame();
}

void SyntheticCamera::ProduceFrame()
{
    const QSize size(CurrentFormat().width, CurrentFormat().height);
    const int w = size.width();
    const int h = size.height();
    QImage frame(size, QImage::Format_RGB888);
    frame.fill(Qt::black);

    QPainter painter(&frame);
    // Seven bars (white, yellow, cyan, green, magenta, red, blue) over the upper two thirds,
    // moved sideways a little every frame and wrapping round.
    static const QColor bars[] = {QColor(235, 235, 235), QColor(235, 235, 16), QColor(16, 235, 235),
                                  QColor(16, 235, 16),   QColor(235, 16, 235), QColor(235, 16, 16),
                                  QColor(16, 16, 235)};
    const int barCount = int(std::size(bars));
    const int barsHeight = h * 2 / 3;
    const int shift = int((m_frameCount % FramesPerSweep) * w / FramesPerSweep);
    for (int i = 0; i < barCount; ++i) {
        const int left = (i * w / barCount + shift) % w;
        const int width = (i + 1) * w / barCount - i * w / barCount;
        painter.fillRect(left, 0, width, barsHeight, bars[i]);
        if (left + width > w)
            painter.fillRect(left - w, 0, width, barsHeight, bars[i]);
    }
    // A grey ramp under the bars.
    const int rampTop = barsHeight;
    const int rampHeight = h / 12;
    for (int x = 0; x < w; x += 8) {
        const int grey = x * 255 / w;
        painter.fillRect(x, rampTop, 8, rampHeight, QColor(grey, grey, grey));
    }

    // Text needs the font machinery of a GUI application; without one the bars suffice.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        QFont font = painter.font();
        font.setPixelSize(qMax(10, h / 14));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        const QRect textArea(w / 20, rampTop + rampHeight, w - w / 10, h - rampTop - rampHeight);
        const QString text = DeviceName() + QStringLiteral("   #") + QString::number(m_frameCount) + QLatin1Char('\n')
            + CurrentClock().now().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        painter.drawText(textArea, Qt::AlignVCenter | Qt::AlignLeft, text);
    }
    painter.end();

    m_frame = frame;
    ++m_frameCount;
}

QByteArray SyntheticCamera::PackFrame(const QImage &picture, quint32 code, int brightness)
{
    if (picture.isNull())
        return {};
    if (code == FrameCode::MJPG)
        return EncodeJpeg(picture, JpegQuality);

    QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const int w = rgb.width();
    const int h = rgb.height();
    if (brightness != 0) {
        for (int y = 0; y < h; ++y) {
            uchar *line = rgb.scanLine(y);
            for (int i = 0; i < w * 3; ++i)
                line[i] = Clip(line[i] + brightness);
        }
    }

    QByteArray out;
    switch (code) {
    case FrameCode::RGB: {
        // A device-independent bitmap: bottom-up rows of B, G, R padded to four bytes.
        const int stride = (w * 3 + 3) & ~3;
        out = QByteArray(qsizetype(stride) * h, '\0');
        for (int y = 0; y < h; ++y) {
            const uchar *src = rgb.constScanLine(y);
            uchar *dst = reinterpret_cast<uchar *>(out.data()) + qsizetype(h - 1 - y) * stride;
            for (int x = 0; x < w; ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        }
        return out;
    }
    case FrameCode::RGB3:
    case FrameCode::BGR3: {
        out = QByteArray(qsizetype(w) * 3 * h, '\0');
        for (int y = 0; y < h; ++y) {
            const uchar *src = rgb.constScanLine(y);
            uchar *dst = reinterpret_cast<uchar *>(out.data()) + qsizetype(y) * w * 3;
            if (code == FrameCode::RGB3) {
                std::memcpy(dst, src, size_t(w) * 3);
            } else {
                for (int x = 0; x < w; ++x) {
                    dst[3 * x] = src[3 * x + 2];
                    dst[3 * x + 1] = src[3 * x + 1];
                    dst[3 * x + 2] = src[3 * x];
                }
            }
        }
        return out;
    }
    case FrameCode::I420:
    case FrameCode::IYUV:
    case FrameCode::YV12: {
        const int cw = (w + 1) / 2;
        const int ch = (h + 1) / 2;
        out = QByteArray(qsizetype(w) * h + 2 * qsizetype(cw) * ch, '\0');
        uchar *yPlane = reinterpret_cast<uchar *>(out.data());
        uchar *first = yPlane + qsizetype(w) * h;
        uchar *second = first + qsizetype(cw) * ch;
        uchar *uPlane = code == FrameCode::YV12 ? second : first;
        uchar *vPlane = code == FrameCode::YV12 ? first : second;
        for (int y = 0; y < h; ++y) {
            const uchar *src = rgb.constScanLine(y);
            for (int x = 0; x < w; ++x)
                yPlane[qsizetype(y) * w + x] = LumaOf(src[3 * x], src[3 * x + 1], src[3 * x + 2]);
        }
        // Each chroma sample is the mean of its two-by-two block.
        for (int cy = 0; cy < ch; ++cy) {
            for (int cx = 0; cx < cw; ++cx) {
                int r = 0, g = 0, b = 0, n = 0;
                for (int dy = 0; dy < 2 && 2 * cy + dy < h; ++dy) {
                    const uchar *src = rgb.constScanLine(2 * cy + dy);
                    for (int dx = 0; dx < 2 && 2 * cx + dx < w; ++dx) {
                        const uchar *p = src + 3 * (2 * cx + dx);
                        r += p[0];
                        g += p[1];
                        b += p[2];
                        ++n;
                    }
                }
                uPlane[qsizetype(cy) * cw + cx] = BlueDifferenceOf(r / n, g / n, b / n);
                vPlane[qsizetype(cy) * cw + cx] = RedDifferenceOf(r / n, g / n, b / n);
            }
        }
        return out;
    }
    case FrameCode::YUY2:
    case FrameCode::YUYV:
    case FrameCode::YUNV: {
        const int pairs = (w + 1) / 2;
        out = QByteArray(qsizetype(pairs) * 4 * h, '\0');
        for (int y = 0; y < h; ++y) {
            const uchar *src = rgb.constScanLine(y);
            uchar *dst = reinterpret_cast<uchar *>(out.data()) + qsizetype(y) * pairs * 4;
            for (int pair = 0; pair < pairs; ++pair) {
                const uchar *p0 = src + 6 * pair;
                const uchar *p1 = 2 * pair + 1 < w ? p0 + 3 : p0;
                const int r = (p0[0] + p1[0]) / 2;
                const int g = (p0[1] + p1[1]) / 2;
                const int b = (p0[2] + p1[2]) / 2;
                dst[4 * pair] = LumaOf(p0[0], p0[1], p0[2]);
                dst[4 * pair + 1] = BlueDifferenceOf(r, g, b);
                dst[4 * pair + 2] = LumaOf(p1[0], p1[1], p1[2]);
                dst[4 * pair + 3] = RedDifferenceOf(r, g, b);
            }
        }
        return out;
    }
    default:
        return {};
    }
}

SyntheticCaptureBackend::SyntheticCaptureBackend()
{
    m_camera.SetFormats({FrameCode::RGB, FrameCode::I420, FrameCode::YUY2, FrameCode::MJPG});
    const QList<VideoFormat> formats = m_camera.Formats();
    for (qsizetype i = 0; i < formats.size(); ++i) {
        if (formats.at(i).width == 640 && formats.at(i).height == 480 && formats.at(i).fourCC == FrameCode::YUY2)
            m_camera.SetResolutionByIndex(int(i));
    }
    m_camera.SetRawFrameCallback([this](const RawFrame &frame) { DeliverRawFrame(frame); });
}

bool SyntheticCaptureBackend::Open(QString *)
{
    return true;
}

void SyntheticCaptureBackend::Close()
{
    m_camera.VideoStop();
}

bool SyntheticCaptureBackend::SetFormat(const VideoFormat &format, QString *error)
{
    const QList<VideoFormat> formats = m_camera.Formats();
    for (qsizetype i = 0; i < formats.size(); ++i) {
        const VideoFormat &f = formats.at(i);
        if (f.width == format.width && f.height == format.height && f.fourCC == format.fourCC) {
            m_camera.SetResolutionByIndex(int(i));
            return true;
        }
    }
    if (error)
        *error = QStringLiteral("不支援的影像格式: ") + format.Text();
    return false;
}

bool SyntheticCaptureBackend::StartStreaming(QString *error)
{
    if (m_camera.VideoStart(SyntheticCamera::DeviceName()))
        return true;
    if (error)
        *error = QStringLiteral("測試影像無法啟動");
    return false;
}

void SyntheticCaptureBackend::StopStreaming()
{
    m_camera.VideoStop();
}

QList<VideoControl> SyntheticCaptureBackend::Controls() const
{
    VideoControl brightness;
    brightness.number = 0;
    brightness.minimum = -64;
    brightness.maximum = 64;
    brightness.step = 1;
    brightness.defaultValue = 0;
    brightness.value = m_camera.Brightness();
    return {brightness};
}

bool SyntheticCaptureBackend::SetControl(int number, int value, bool automatic)
{
    if (number != 0 || automatic)
        return false;
    m_camera.SetBrightness(value);
    return true;
}

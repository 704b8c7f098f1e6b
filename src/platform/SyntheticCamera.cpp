#include "platform/SyntheticCamera.h"

#include "platform/Clock.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <iterator>

namespace {

constexpr int FrameIntervalMs = 66; // about 15 frames a second
constexpr int FramesPerSweep = 90;  // the bars travel one picture width in six seconds

} // namespace

SyntheticCamera::SyntheticCamera()
    : m_sizes{QSize(320, 240), QSize(640, 480), QSize(800, 600)}
    , m_sizeIndex(1)
{
    m_timer.setInterval(FrameIntervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        ProduceFrame();
        NotifyNewFrame(m_frame);
    });
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
    for (const QSize &size : m_sizes)
        sizes << VideoSizeText(size.width(), size.height(), QStringLiteral("RGB "));
    return sizes;
}

void SyntheticCamera::SetResolutionByIndex(int index)
{
    if (index < 0 || index >= m_sizes.size())
        return;
    m_sizeIndex = index;
    // The picture takes the new size at once, as a restarted stream would.
    if (m_running)
        ProduceFrame();
}

void SyntheticCamera::ProduceFrame()
{
    const QSize size = m_sizes.at(m_sizeIndex);
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

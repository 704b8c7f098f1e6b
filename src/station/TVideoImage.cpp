#include "station/TVideoImage.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QTimer>

#include <cstring>
#include <thread>

namespace {

// A frame is dropped when the user-interface thread was last idle longer ago than this.
constexpr qint64 IdleLimitMs = 1000;
// How often the built-in idle clock notes that the event loop is free.
constexpr int HeartbeatMs = 100;
constexpr int FramesPerRateCount = 30;

// The built-in idle clock: a timer on the user-interface thread that only fires when the event
// loop gets to it, so its last beat is the last moment the thread was free.
class HeartbeatIdleClock final : public IdleClock
{
public:
    explicit HeartbeatIdleClock(QObject *owner)
    {
        m_steady.start();
        m_lastIdle = 0;
        m_timer.setInterval(HeartbeatMs);
        QObject::connect(&m_timer, &QTimer::timeout, owner, [this] { m_lastIdle = m_steady.elapsed(); });
        m_timer.start();
    }
    qint64 NowMs() const override { return m_steady.elapsed(); }
    qint64 LastIdleMs() const override { return m_lastIdle.load(); }

private:
    QElapsedTimer m_steady;
    std::atomic<qint64> m_lastIdle{0};
    QTimer m_timer;
};

} // namespace

TVideoImage::TVideoImage(QObject *parent)
    : TVideoImage([] { return CreateCameraSources(SyntheticCameraOffered()); }, parent)
{
}

TVideoImage::TVideoImage(DeviceEnumerator enumerate, QObject *parent)
    : QObject(parent)
    , m_enumerate(std::move(enumerate))
    , m_ownIdleClock(std::make_unique<HeartbeatIdleClock>(this))
    , m_idleClock(m_ownIdleClock.get())
{
}

TVideoImage::~TVideoImage()
{
    VideoStop();
}

void TVideoImage::SetIdleClock(IdleClock *clock)
{
    m_idleClock = clock ? clock : m_ownIdleClock.get();
}

IdleClock &TVideoImage::Clock() const
{
    return *m_idleClock;
}

QStringList TVideoImage::GetListOfDevices() const
{
    QStringList names;
    for (const CameraDeviceEntry &device : m_enumerate())
        names << device.name;
    return names;
}

bool TVideoImage::VideoStart(const QString &deviceName)
{
    const QList<CameraDeviceEntry> devices = m_enumerate();
    QStringList names;
    for (const CameraDeviceEntry &device : devices)
        names << device.name;
    return StartDevice(devices, FindCameraDevice(names, deviceName));
}

bool TVideoImage::VideoStartByIndex(int index)
{
    return StartDevice(m_enumerate(), index);
}

bool TVideoImage::StartDevice(const QList<CameraDeviceEntry> &devices, int index)
{
    VideoStop();
    fFrameCnt = 0;
    fSkipCnt = 0;
    fFPS = 0.0;
    m_unpackedCount = 0;
    m_lastUnpackProblem.clear();

    if (index < 0 || index >= devices.size() || !devices.at(index).create)
        return false;
    std::unique_ptr<CaptureBackend> backend = devices.at(index).create();
    if (!backend)
        return false;

    {
        std::lock_guard lock(m_bufferLock);
        fImagePtrIndex = -1;
        fImageUnpacked = true;
        m_readingIndex = -1;
    }
    m_fpsMarkMs = Clock().NowMs();
    VideoSample = std::make_unique<TVideoSample>(std::move(backend));
    VideoSample->SetFrameCallback([this](const RawFrame &frame) { FrameArrived(frame); });
    QString error;
    if (!VideoSample->Start(&error)) {
        qWarning().noquote() << "Camera" << devices.at(index).name << "not started:" << error;
        VideoSample.reset();
        return false;
    }

    const VideoFormat format = VideoSample->CurrentFormat();
    fWidth = format.width;
    fHeight = format.height;
    fFourCC = format.fourCC;
    if (fWidth > 0 && fHeight > 0) {
        fBitmap = QImage(fWidth, fHeight, QImage::Format_RGB888);
        fBitmap.fill(Qt::black);
    }
    fVideoRunning = true;
    return true;
}

void TVideoImage::VideoStop()
{
    fVideoRunning = false;
    // Freeing the worker stops its stream: no frame arrives afterwards.
    VideoSample.reset();
}

void TVideoImage::VideoPause()
{
    if (VideoSample)
        VideoSample->Pause();
}

void TVideoImage::VideoResume()
{
    if (VideoSample)
        VideoSample->Resume();
}

bool TVideoImage::GetIsPaused() const
{
    return VideoSample && VideoSample->g_psCurrent == TVideoSample::PlayState::Paused;
}

QStringList TVideoImage::GetListOfSupportedVideoSizes() const
{
    return VideoSample ? VideoSample->FormatTexts() : QStringList();
}

void TVideoImage::SetResolutionByIndex(int index)
{
    if (!VideoSample || index < 0 || index >= VideoSample->FormatArr().size())
        return;
    QString error;
    if (!VideoSample->SetResolutionByIndex(index, &error) && !error.isEmpty())
        qWarning().noquote() << "Camera format not changed:" << error;
    const VideoFormat format = VideoSample->CurrentFormat();
    {
        // A frame of the old format still waiting is not shown any more.
        std::lock_guard lock(m_bufferLock);
        fImageUnpacked = true;
    }
    if (format.isValid() && (format.width != fWidth || format.height != fHeight)) {
        fBitmap = QImage(format.width, format.height, QImage::Format_RGB888);
        fBitmap.fill(Qt::black);
    }
    fWidth = format.width;
    fHeight = format.height;
    fFourCC = format.fourCC;
}

QList<VideoControl> TVideoImage::GetVideoPropertySettings() const
{
    return VideoSample ? VideoSample->GetVideoPropertySettings() : QList<VideoControl>();
}

bool TVideoImage::SetVideoPropertySettings(int number, int value, bool automatic)
{
    return VideoSample && VideoSample->SetVideoPropertySettings(number, value, automatic);
}

void TVideoImage::FrameArrived(const RawFrame &frame)
{
    const qint64 count = ++fFrameCnt;
    const qint64 now = Clock().NowMs();
    if (count % FramesPerRateCount == 0) {
        if (now > m_fpsMarkMs)
            fFPS = FramesPerRateCount * 1000.0 / double(now - m_fpsMarkMs);
        m_fpsMarkMs = now;
    }

    if (now - Clock().LastIdleMs() > IdleLimitMs) {
        ++fSkipCnt;
        return;
    }
    if (!frame.data || frame.size <= 0)
        return;

    // The next buffer after the newest, passing over the one being unpacked.
    int target;
    {
        std::lock_guard lock(m_bufferLock);
        target = (fImagePtrIndex + 1) % 3;
        if (target == m_readingIndex)
            target = (target + 1) % 3;
    }
    FrameBuffer &buffer = fImagePtr[size_t(target)];
    if (buffer.bytes.size() != frame.size)
        buffer.bytes.resize(frame.size);
    std::memcpy(buffer.bytes.data(), frame.data, size_t(frame.size));
    buffer.size = frame.size;
    buffer.fourCC = frame.fourCC;
    buffer.width = frame.width;
    buffer.height = frame.height;

    bool post;
    {
        std::lock_guard lock(m_bufferLock);
        fImagePtrIndex = target;
        fImageUnpacked = false;
        // One message waiting is enough: it unpacks whatever is newest when it runs.
        post = !m_messagePending;
        m_messagePending = true;
    }
    if (post)
        QMetaObject::invokeMethod(this, &TVideoImage::HandleNewFrame, Qt::QueuedConnection);
    std::this_thread::yield();
}

void TVideoImage::HandleNewFrame()
{
    if (fBusy) {
        ++fSkipCnt;
        return;
    }
    int index;
    {
        std::lock_guard lock(m_bufferLock);
        m_messagePending = false;
        if (fImageUnpacked || fImagePtrIndex < 0)
            return;
        index = fImagePtrIndex;
        m_readingIndex = index;
        fImageUnpacked = true;
    }
    fBusy = true;
    try {
        const FrameBuffer &buffer = fImagePtr[size_t(index)];
        const RawFrame frame{buffer.fourCC, buffer.width, buffer.height,
                             reinterpret_cast<const uchar *>(buffer.bytes.constData()), buffer.size};
        QString problem;
        const UnpackResult result = UnpackFrame(frame, fBitmap, &m_jpeg, &problem);
        {
            std::lock_guard lock(m_bufferLock);
            m_readingIndex = -1;
        }
        fWidth = fBitmap.width();
        fHeight = fBitmap.height();
        fFourCC = frame.fourCC;
        if (result == UnpackResult::Unpacked) {
            ++m_unpackedCount;
        } else if (problem != m_lastUnpackProblem) {
            // Said once, not for every frame of a stream.
            qWarning().noquote() << "Camera frame not unpacked:" << problem;
            m_lastUnpackProblem = problem;
        }
        if (result != UnpackResult::Damaged) {
            if (fDisplayCanvas)
                fDisplayCanvas->DrawFrame(fBitmap);
            NotifyNewFrame(fBitmap);
        }
    } catch (const std::exception &e) {
        std::lock_guard lock(m_bufferLock);
        m_readingIndex = -1;
        qWarning().noquote() << "Camera frame failed:" << e.what();
    }
    fBusy = false;
}

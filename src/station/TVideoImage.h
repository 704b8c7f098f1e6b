#pragma once

#include "platform/CameraSource.h"
#include "platform/CaptureBackend.h"
#include "station/FrameUnpack.h"
#include "station/TVideoSample.h"

#include <QByteArray>
#include <QImage>
#include <QObject>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// When the user-interface thread was last free to take a frame. Both calls may come from the
// capture thread.
class IdleClock
{
public:
    virtual ~IdleClock() = default;
    // A steady time in milliseconds.
    virtual qint64 NowMs() const = 0;
    // The steady time when the user-interface thread was last idle.
    virtual qint64 LastIdleMs() const = 0;
};

// Where the preview is drawn: the whole target, stretched (the paint box VideoCap1).
class VideoCanvas
{
public:
    virtual ~VideoCanvas() = default;
    virtual void DrawFrame(const QImage &bitmap) = 0;
};

// The station's camera: lists the capture devices, runs one of them through its worker
// (TVideoSample), keeps the newest frame as a 24-bit picture (fBitmap) and draws it into the
// preview. Lives on the user-interface thread; frames arrive on the device's capture thread,
// are copied into one of three buffers there, and are unpacked and drawn here.
//
// While the user-interface thread has not been idle for more than a second, arriving frames
// are dropped (counted in SkipCount), not queued: a busy window is not flooded and a blocked
// one does not replay old frames afterwards.
class TVideoImage final : public QObject, public CameraSource
{
    Q_OBJECT

public:
    using DeviceEnumerator = std::function<QList<CameraDeviceEntry>()>;

    // With the devices of this machine (CreateCameraSources, the synthetic pattern when offered).
    explicit TVideoImage(QObject *parent = nullptr);
    // With the devices enumerate lists (tests, the demo).
    explicit TVideoImage(DeviceEnumerator enumerate, QObject *parent = nullptr);
    ~TVideoImage() override;

    // CameraSource
    QStringList GetListOfDevices() const override;
    bool VideoStart(const QString &deviceName) override;
    void VideoStop() override;
    void VideoPause() override;
    void VideoResume() override;
    bool GetIsPaused() const override;
    bool IsRunning() const override { return fVideoRunning; }
    QStringList GetListOfSupportedVideoSizes() const override;
    void SetResolutionByIndex(int index) override;
    QImage LatestFrame() const override { return fBitmap; }

    // Starts the device at that position of GetListOfDevices (from 0), like VideoStart("#n") but
    // for any number; two cameras of one model (one name) are told apart this way.
    bool VideoStartByIndex(int index);

    // The preview target; none draws nothing.
    void SetDisplayCanvas(VideoCanvas *canvas) { fDisplayCanvas = canvas; }
    // Copies the newest frame.
    void GetBitmap(QImage &bitmap) const { bitmap = fBitmap.copy(); }
    // The clock of the drop rule; none restores the built-in one (a heartbeat on this thread).
    void SetIdleClock(IdleClock *clock);

    // The device's picture properties (brightness and the like) and setting one of them.
    QList<VideoControl> GetVideoPropertySettings() const;
    bool SetVideoPropertySettings(int number, int value, bool automatic);

    // The running stream.
    int Width() const { return fWidth; }
    int Height() const { return fHeight; }
    quint32 FourCC() const { return fFourCC; }
    // Frames arrived since the start, frames dropped, frames per second over the last 30.
    qint64 FrameCount() const { return fFrameCnt.load(); }
    qint64 SkipCount() const { return fSkipCnt.load(); }
    double FramesPerSecond() const { return fFPS.load(); }
    // Frames unpacked into the bitmap since the start.
    qint64 UnpackedCount() const { return m_unpackedCount; }

    // Frame arrival, on the capture thread: count, apply the drop rule, copy into the next
    // buffer and tell the user-interface thread.
    void FrameArrived(const RawFrame &frame);
    // The new-frame message, on the user-interface thread: unpack the newest buffer into the
    // bitmap and draw it.
    void HandleNewFrame();

private:
    struct FrameBuffer
    {
        QByteArray bytes;
        qsizetype size = 0;
        quint32 fourCC = 0;
        int width = 0;
        int height = 0;
    };

    IdleClock &Clock() const;
    bool StartDevice(const QList<CameraDeviceEntry> &devices, int index);

    DeviceEnumerator m_enumerate;
    std::unique_ptr<IdleClock> m_ownIdleClock;
    IdleClock *m_idleClock = nullptr;
    JpegFrameDecoder m_jpeg;

    QImage fBitmap;
    int fWidth = 0;
    int fHeight = 0;
    quint32 fFourCC = 0;
    std::array<FrameBuffer, 3> fImagePtr;
    int fImagePtrIndex = -1;     // the buffer with the newest frame
    bool fImageUnpacked = true;  // ... and whether it is in fBitmap already
    int m_readingIndex = -1;     // the buffer being unpacked now
    bool m_messagePending = false;
    std::mutex m_bufferLock;     // guards the four fields above

    VideoCanvas *fDisplayCanvas = nullptr;
    bool fBusy = false;
    std::atomic<qint64> fSkipCnt{0};
    std::atomic<qint64> fFrameCnt{0};
    std::atomic<double> fFPS{0.0};
    qint64 m_fpsMarkMs = 0;       // capture thread only
    qint64 m_unpackedCount = 0;
    QString m_lastUnpackProblem;

    std::unique_ptr<TVideoSample> VideoSample;
    bool fVideoRunning = false;
};

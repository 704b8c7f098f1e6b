#pragma once

#include "platform/CameraSource.h"
#include "platform/CaptureBackend.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QTimer>

// A camera without hardware, for the demo and the tests: one device, "#synthetic", showing
// colour bars that sweep sideways, a frame counter and the current time. Frames come from a
// timer (about 15 a second) on the thread the camera lives on.
//
// Besides the picture (LatestFrame and the frame callback) it can hand every frame over packed
// as a device would deliver it, in any of the codes of SetFormats (RGB, I420/YV12/IYUV,
// YUY2/YUYV/YUNV, MJPG), through the raw-frame callback.
class SyntheticCamera final : public CameraSource
{
public:
    using RawFrameCallback = std::function<void(const RawFrame &frame)>;

    static QString DeviceName() { return QStringLiteral("#synthetic"); }

    SyntheticCamera();
    ~SyntheticCamera() override;

    QStringList GetListOfDevices() const override;
    bool VideoStart(const QString &deviceName) override;
    void VideoStop() override;
    void VideoPause() override;
    void VideoResume() override;
    bool GetIsPaused() const override { return m_paused; }
    bool IsRunning() const override { return m_running; }
    QStringList GetListOfSupportedVideoSizes() const override;
    void SetResolutionByIndex(int index) override;
    QImage LatestFrame() const override { return m_frame; }

    // Frames made since the last start.
    qint64 FrameCount() const { return m_frameCount; }

    // The codes the stream formats come in: every size in each of them, sorted by size. The
    // default is uncompressed RGB only. The format becomes the first one of 640 × 480.
    void SetFormats(const QList<quint32> &codes);
    QList<VideoFormat> Formats() const { return m_formats; }
    VideoFormat CurrentFormat() const { return m_formats.value(m_formatIndex); }
    // Milliseconds between frames (0: as fast as the event loop allows).
    void SetFrameInterval(int milliseconds);
    // Brightness added to every colour component of the packed frames, -64 .. 64.
    void SetBrightness(int brightness) { m_brightness = qBound(-64, brightness, 64); }
    int Brightness() const { return m_brightness; }
    // Receives every frame of the timer packed in the current format.
    void SetRawFrameCallback(RawFrameCallback callback) { m_rawFrameCallback = std::move(callback); }

    // The bytes a device would deliver for picture in the given code: a bottom-up BGR bitmap for
    // RGB, top-down rows for RGB3/BGR3, BT.601 limited-range YUV for the planar and packed
    // codes, a JPEG file for MJPG. Empty for any other code.
    static QByteArray PackFrame(const QImage &picture, quint32 code, int brightness = 0);

private:
    void ProduceFrame();
    void DeliverFrame();

    QTimer m_timer;
    QList<QSize> m_sizes;
    QList<VideoFormat> m_formats;
    int m_formatIndex = 0;
    QImage m_frame;
    qint64 m_frameCount = 0;
    int m_brightness = 0;
    bool m_running = false;
    bool m_paused = false;
    RawFrameCallback m_rawFrameCallback;
};

// The synthetic camera as a capture back end, in every code the station unpacks; it starts in
// 640 × 480 YUY2, as a common webcam does. Frames arrive on the thread it lives on.
class SyntheticCaptureBackend final : public CaptureBackend
{
public:
    SyntheticCaptureBackend();

    bool Open(QString *error) override;
    void Close() override;
    QList<VideoFormat> Formats() const override { return m_camera.Formats(); }
    VideoFormat CurrentFormat() const override { return m_camera.CurrentFormat(); }
    bool SetFormat(const VideoFormat &format, QString *error) override;
    bool StartStreaming(QString *error) override;
    void StopStreaming() override;
    QList<VideoControl> Controls() const override;
    bool SetControl(int number, int value, bool automatic) override;

    SyntheticCamera &Camera() { return m_camera; }

private:
    SyntheticCamera m_camera;
};

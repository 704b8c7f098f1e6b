#pragma once

#include "platform/CameraSource.h"

#include <QList>
#include <QSize>
#include <QTimer>

// A camera without hardware, for the demo and the tests: one device, "#synthetic", showing
// colour bars that sweep sideways, a frame counter and the current time. Frames come from a
// timer (about 15 a second) on the thread the camera lives on.
class SyntheticCamera final : public CameraSource
{
public:
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

private:
    void ProduceFrame();

    QTimer m_timer;
    QList<QSize> m_sizes;
    int m_sizeIndex = 0;
    QImage m_frame;
    qint64 m_frameCount = 0;
    bool m_running = false;
    bool m_paused = false;
};

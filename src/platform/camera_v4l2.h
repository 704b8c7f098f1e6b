#pragma once

#include "platform/CaptureBackend.h"

#include <QList>
#include <QString>

// Video4Linux2: the capture devices of a Linux machine, read through the kernel interface with
// memory-mapped streaming buffers and a capture thread per running device.

// The capture devices (/dev/video<n> that can capture and stream), by node number; the name is
// the driver's card name. Empty on a machine without a camera.
QList<CameraDeviceEntry> EnumerateV4l2Devices();

// The station's frame code for a V4L2 pixel format: YUYV is the station's YUY2, YU12 its I420,
// YV12, RGB3 (top-down R, G, B), BGR3 and MJPG/JPEG as such; 0xFFFFFFFF for a format the station
// does not unpack.
constexpr quint32 UnsupportedFrameCode = 0xFFFFFFFFu;
quint32 FrameCodeOfV4l2Format(quint32 pixelFormat);

// The V4L2 control behind a station property number (0 brightness .. 9 gain) and the control
// that switches it to automatic (0 when there is none); 0 for a number without a control.
quint32 V4l2ControlOfProperty(int number);
quint32 V4l2AutoControlOfProperty(int number);

// One V4L2 capture device.
class V4l2CaptureBackend final : public CaptureBackend
{
public:
    explicit V4l2CaptureBackend(const QString &devicePath);
    ~V4l2CaptureBackend() override;

    bool Open(QString *error) override;
    void Close() override;
    QList<VideoFormat> Formats() const override;
    VideoFormat CurrentFormat() const override;
    bool SetFormat(const VideoFormat &format, QString *error) override;
    bool StartStreaming(QString *error) override;
    void StopStreaming() override;
    QList<VideoControl> Controls() const override;
    bool SetControl(int number, int value, bool automatic) override;

private:
    struct Private;
    Private *d;
};

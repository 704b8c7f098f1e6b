#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

// A video capture device as the station sees it: the devices by name, one of them running at
// a time, the newest frame as a 24-bit RGB picture, and a call whenever a new frame is there.
//
// Every back end (the synthetic test pattern, Video4Linux2, a Windows capture graph) unpacks
// what its device delivers (RGB, I420/YV12, YUY2, MJPG ...) into RGB before a caller sees it,
// and calls back on the thread the source lives on: a back end with a capture thread of its
// own hands the frame over to that thread itself. Callers never see raw buffers or threads.
class CameraSource
{
public:
    // Called on the source's thread after LatestFrame() became frame.
    using FrameCallback = std::function<void(const QImage &frame)>;

    virtual ~CameraSource() = default;

    // Friendly names of the capture devices, in the order the system enumerates them.
    virtual QStringList GetListOfDevices() const = 0;
    // Stops any running device and starts the one named: a friendly name (trimmed, case-blind)
    // or "#" and one digit n for the n-th device of the list, counted from 0 (see
    // FindCameraDevice). True when the device runs.
    virtual bool VideoStart(const QString &deviceName) = 0;
    // Stops the device; afterwards no frames arrive. LatestFrame() keeps the last frame.
    virtual void VideoStop() = 0;
    virtual void VideoPause() = 0;
    virtual void VideoResume() = 0;
    virtual bool GetIsPaused() const = 0;
    virtual bool IsRunning() const = 0;
    // The stream formats of the device in their text form (VideoSizeText), ascending by width
    // and then by height.
    virtual QStringList GetListOfSupportedVideoSizes() const = 0;
    // Switches to entry index of that list; an index outside the list changes nothing.
    virtual void SetResolutionByIndex(int index) = 0;
    // The newest frame (QImage::Format_RGB888); a null image before the first frame.
    virtual QImage LatestFrame() const = 0;

    void SetFrameCallback(FrameCallback callback) { m_frameCallback = std::move(callback); }

protected:
    void NotifyNewFrame(const QImage &frame) const
    {
        if (m_frameCallback)
            m_frameCallback(frame);
    }

private:
    FrameCallback m_frameCallback;
};

// The position in devices that deviceName selects, or -1: "#" followed by one digit n picks
// the n-th entry (from 0); any other name picks the first entry equal to it, trimmed and
// case-blind.
int FindCameraDevice(const QStringList &devices, const QString &deviceName);

// The text form of a stream format: width + "*" + height + "  (" + code + ")", for example
// "640*480  (YUY2)". The code of uncompressed 24-bit RGB is "RGB ".
QString VideoSizeText(int width, int height, const QString &fourCC);

#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

// What a capture back end hands to the station: raw frames as the device delivers them, the
// device's stream formats and its picture controls. The station's own code (TVideoSample,
// TVideoImage) counts, buffers and unpacks the frames; a back end only talks to its device.

// A four-character code as capture systems store it: the first character in the lowest byte.
constexpr quint32 MakeFourCC(char a, char b, char c, char d)
{
    return quint32(quint8(a)) | (quint32(quint8(b)) << 8) | (quint32(quint8(c)) << 16)
        | (quint32(quint8(d)) << 24);
}

// The frame codes the station unpacks.
namespace FrameCode {
// Uncompressed 24-bit RGB as a bottom-up device-independent bitmap: B, G, R per pixel, rows
// padded to four bytes, the last row first.
constexpr quint32 RGB = 0;
// Uncompressed 24-bit pixels, rows top-down without padding: R, G, B and B, G, R.
constexpr quint32 RGB3 = MakeFourCC('R', 'G', 'B', '3');
constexpr quint32 BGR3 = MakeFourCC('B', 'G', 'R', '3');
// Planar 4:2:0: the Y plane, then U and V (I420, IYUV) or V and U (YV12) at half size.
constexpr quint32 I420 = MakeFourCC('I', '4', '2', '0');
constexpr quint32 IYUV = MakeFourCC('I', 'Y', 'U', 'V');
constexpr quint32 YV12 = MakeFourCC('Y', 'V', '1', '2');
// Packed 4:2:2: Y0 U Y1 V for every two pixels.
constexpr quint32 YUY2 = MakeFourCC('Y', 'U', 'Y', '2');
constexpr quint32 YUNV = MakeFourCC('Y', 'U', 'N', 'V');
constexpr quint32 YUYV = MakeFourCC('Y', 'U', 'Y', 'V');
// Motion JPEG: every frame a JPEG picture.
constexpr quint32 MJPG = MakeFourCC('M', 'J', 'P', 'G');
} // namespace FrameCode

// The code as the station writes it: "RGB " for every uncompressed 24-bit layout, else the four
// characters ("YUY2", "MJPG"); a code with unprintable bytes as its number.
QString FourCCText(quint32 code);

// One frame as the device delivered it. data stays valid only during the callback.
struct RawFrame
{
    quint32 fourCC = FrameCode::RGB;
    int width = 0;
    int height = 0;
    const uchar *data = nullptr;
    qsizetype size = 0;
};

// One stream format of a device.
struct VideoFormat
{
    int width = 0;
    int height = 0;
    quint32 fourCC = FrameCode::RGB; // the frame code the station unpacks
    quint32 deviceCode = 0;          // the device's own code for it (the back end's business)
    int capabilityIndex = -1;        // position in the device's own list

    bool isValid() const { return width > 0 && height > 0; }
    // width + "*" + height + "  (" + code + ")", for example "640*480  (YUY2)".
    QString Text() const;
    friend bool operator==(const VideoFormat &, const VideoFormat &) = default;
};

// The formats ascending by width and then by height; formats of one size keep their order.
QList<VideoFormat> SortVideoFormats(QList<VideoFormat> formats);

// A picture property of a device (brightness and the like). Numbers 0 to 9 are the station's
// property numbers, in this order: brightness, contrast, hue, saturation, sharpness, gamma,
// colour, white balance, backlight compensation, gain.
struct VideoControl
{
    int number = 0;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    bool autoAvailable = false; // the device can set it by itself
    bool automatic = false;     // ... and does so now
};
constexpr int VideoPropertyCount = 10;
// The caption of a property number ("亮度" for 0), empty for any other number.
QString VideoPropertyName(int number);

// A capture device. The station opens it, picks a format, starts and stops the stream; each
// frame goes to the raw-frame callback, on the back end's capture thread or on the thread the
// back end lives on. The callback is set before the stream starts and not changed while it runs.
class CaptureBackend
{
public:
    using RawFrameCallback = std::function<void(const RawFrame &frame)>;

    virtual ~CaptureBackend() = default;

    // Takes the device and reads its stream formats. False with the reason in *error.
    virtual bool Open(QString *error) = 0;
    // Stops the stream and lets the device go.
    virtual void Close() = 0;
    // The device's stream formats in its own order.
    virtual QList<VideoFormat> Formats() const = 0;
    // The format the stream runs (or will run) in.
    virtual VideoFormat CurrentFormat() const = 0;
    // Chooses the format while the stream is stopped.
    virtual bool SetFormat(const VideoFormat &format, QString *error) = 0;
    virtual bool StartStreaming(QString *error) = 0;
    // Returns when no further frame will be delivered.
    virtual void StopStreaming() = 0;
    virtual QList<VideoControl> Controls() const { return {}; }
    virtual bool SetControl(int number, int value, bool automatic)
    {
        Q_UNUSED(number);
        Q_UNUSED(value);
        Q_UNUSED(automatic);
        return false;
    }

    void SetRawFrameCallback(RawFrameCallback callback) { m_rawFrameCallback = std::move(callback); }

protected:
    void DeliverRawFrame(const RawFrame &frame) const
    {
        if (m_rawFrameCallback)
            m_rawFrameCallback(frame);
    }

private:
    RawFrameCallback m_rawFrameCallback;
};

// A device of the list: its friendly name and how to make its back end.
struct CameraDeviceEntry
{
    QString name;
    std::function<std::unique_ptr<CaptureBackend>()> create;
};

// The capture devices of this machine in the order the system enumerates them (Video4Linux2 on
// Linux), followed by the synthetic test pattern "#synthetic" when withSynthetic.
QList<CameraDeviceEntry> CreateCameraSources(bool withSynthetic);

// Whether the synthetic test pattern is offered among the devices. A station without a camera
// must not photograph a test pattern as evidence of a sign-in, so it is offered only to the
// demo and test homes (ROLVAN_HOME set) or when ROLVAN_SYNTHETIC_CAMERA says so ("1"/"0").
bool SyntheticCameraOffered();

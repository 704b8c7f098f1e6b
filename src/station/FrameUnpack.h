#pragma once

#include "platform/CaptureBackend.h"

#include <QImage>
#include <QString>

#include <memory>

// Turning a raw camera frame into the station's 24-bit picture. Pure routines: they touch
// nothing but their arguments (the YUV tables are built once and only read).

// One YUV sample (ITU-R BT.601, limited range) as R, G, B through the station's tables scaled by
// 256: R = 1.164 (Y − 16) + 1.596 (V − 128), G = 1.164 (Y − 16) − 0.392 (U − 128) − 0.813 (V − 128),
// B = 1.164 (Y − 16) + 2.017 (U − 128), each clipped to 0 .. 255.
void YuvToRgb(int y, int u, int v, uchar *rgb);

// The bytes a frame of that code and size must have at least; -1 for a code the station does
// not unpack (MJPG frames have any size: 0). A bottom-up RGB bitmap needs its padded rows.
qint64 RequiredFrameSize(quint32 fourCC, int width, int height);

// Decodes MJPG frames; holds the JPEG decompressor, so make one and keep it.
class JpegFrameDecoder
{
public:
    JpegFrameDecoder();
    ~JpegFrameDecoder();
    JpegFrameDecoder(const JpegFrameDecoder &) = delete;
    JpegFrameDecoder &operator=(const JpegFrameDecoder &) = delete;

    // Decodes the JPEG picture and copies it into bitmap (RGB888) at (0, 0), clipped to the
    // bitmap; the rest of the bitmap keeps what it had. False with the reason in *error when the
    // data is no JPEG picture.
    bool DecodeInto(const uchar *data, qsizetype size, QImage &bitmap, QString *error = nullptr);

private:
    void *m_handle = nullptr;
};

enum class UnpackResult {
    Unpacked,           // the bitmap shows the frame
    UnknownCompression, // an unknown code or a size that does not fit: the bitmap shows why
    Damaged,            // an MJPG frame that does not decode: the bitmap keeps its last picture
};

// Unpacks frame into bitmap, which becomes (or stays) a width × height RGB888 picture. A frame
// of an unknown code, of an impossible size, or whose data is shorter than its code and size
// need, leaves the "Unknown compression" text (UnknownCompressionText) on a white bitmap.
// decoder is used for MJPG; without one a decoder is made for this frame.
UnpackResult UnpackFrame(const RawFrame &frame, QImage &bitmap, JpegFrameDecoder *decoder = nullptr,
                         QString *error = nullptr);

// "Unknown compression", a line break and "DataSize: " + size + "  FourCC: " + code.
QString UnknownCompressionText(qsizetype size, quint32 fourCC);

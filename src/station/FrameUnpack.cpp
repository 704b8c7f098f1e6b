#include "station/FrameUnpack.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace {

// Frames beyond this side are taken for garbage rather than a stream.
constexpr int MaxFrameSide = 16384;

// Per-component tables scaled by 256, the offsets of Y (16) and U, V (128) folded in; the
// luma table also carries the 128 that rounds the final shift by eight.
struct YuvTables
{
    int luma[256];
    int redFromV[256];
    int greenFromU[256];
    int greenFromV[256];
    int blueFromU[256];

    YuvTables()
    {
        for (int i = 0; i < 256; ++i) {
            luma[i] = int(std::lround(298.082 * (i - 16))) + 128;
            redFromV[i] = int(std::lround(408.583 * (i - 128)));
            greenFromU[i] = int(std::lround(-100.291 * (i - 128)));
            greenFromV[i] = int(std::lround(-208.12 * (i - 128)));
            blueFromU[i] = int(std::lround(516.412 * (i - 128)));
        }
    }
};

const YuvTables &Tables()
{
    static const YuvTables tables;
    return tables;
}

inline uchar Clip(int value)
{
    return uchar(value < 0 ? 0 : (value > 255 ? 255 : value));
}

inline void ConvertPixel(const YuvTables &t, int y, int u, int v, uchar *rgb)
{
    const int l = t.luma[y];
    rgb[0] = Clip((l + t.redFromV[v]) >> 8);
    rgb[1] = Clip((l + t.greenFromU[u] + t.greenFromV[v]) >> 8);
    rgb[2] = Clip((l + t.blueFromU[u]) >> 8);
}

void EnsureBitmap(QImage &bitmap, int width, int height)
{
    if (bitmap.width() != width || bitmap.height() != height || bitmap.format() != QImage::Format_RGB888) {
        bitmap = QImage(width, height, QImage::Format_RGB888);
        bitmap.fill(Qt::black);
    }
}

void UnpackBottomUpBgr(const RawFrame &f, QImage &bitmap)
{
    const qsizetype tight = qsizetype(f.width) * 3;
    const qsizetype padded = (tight + 3) & ~qsizetype(3);
    // Rows padded to four bytes as a bitmap has them, or tight when the frame is only that long.
    const qsizetype stride = f.size >= padded * (f.height - 1) + tight ? padded : tight;
    for (int y = 0; y < f.height; ++y) {
        const uchar *src = f.data + qsizetype(f.height - 1 - y) * stride;
        uchar *dst = bitmap.scanLine(y);
        for (int x = 0; x < f.width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
}

void UnpackTopDown(const RawFrame &f, QImage &bitmap, bool bgr)
{
    const qsizetype stride = qsizetype(f.width) * 3;
    for (int y = 0; y < f.height; ++y) {
        const uchar *src = f.data + qsizetype(y) * stride;
        uchar *dst = bitmap.scanLine(y);
        if (!bgr) {
            std::memcpy(dst, src, size_t(stride));
            continue;
        }
        for (int x = 0; x < f.width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
}

void UnpackPlanar420(const RawFrame &f, QImage &bitmap)
{
    const YuvTables &t = Tables();
    const int cw = (f.width + 1) / 2;
    const int ch = (f.height + 1) / 2;
    const uchar *yPlane = f.data;
    const uchar *first = yPlane + qsizetype(f.width) * f.height;
    const uchar *second = first + qsizetype(cw) * ch;
    const bool vFirst = f.fourCC == FrameCode::YV12;
    const uchar *uPlane = vFirst ? second : first;
    const uchar *vPlane = vFirst ? first : second;
    for (int y = 0; y < f.height; ++y) {
        const uchar *yRow = yPlane + qsizetype(y) * f.width;
        const uchar *uRow = uPlane + qsizetype(y / 2) * cw;
        const uchar *vRow = vPlane + qsizetype(y / 2) * cw;
        uchar *dst = bitmap.scanLine(y);
        for (int x = 0; x < f.width; ++x)
            ConvertPixel(t, yRow[x], uRow[x / 2], vRow[x / 2], dst + 3 * x);
    }
}

void UnpackPacked422(const RawFrame &f, QImage &bitmap)
{
    const YuvTables &t = Tables();
    const qsizetype stride = qsizetype((f.width + 1) / 2) * 4;
    for (int y = 0; y < f.height; ++y) {
        const uchar *src = f.data + qsizetype(y) * stride;
        uchar *dst = bitmap.scanLine(y);
        int x = 0;
        for (; x + 1 < f.width; x += 2, src += 4) {
            ConvertPixel(t, src[0], src[1], src[3], dst + 3 * x);
            ConvertPixel(t, src[2], src[1], src[3], dst + 3 * x + 3);
        }
        if (x < f.width)
            ConvertPixel(t, src[0], src[1], src[3], dst + 3 * x);
    }
}

void DrawUnknownCompression(QImage &bitmap, qsizetype size, quint32 fourCC)
{
    bitmap.fill(Qt::white);
    // Text needs the font machinery of a GUI application; without one the white page remains.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    QPainter painter(&bitmap);
    QFont font = painter.font();
    font.setPixelSize(qBound(8, bitmap.height() / 20, 24));
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(bitmap.rect().adjusted(4, 4, -4, -4), Qt::AlignLeft | Qt::AlignTop,
                     UnknownCompressionText(size, fourCC));
}

struct TjHandle
{
    explicit TjHandle(void *h) : handle(h) {}
    ~TjHandle()
    {
        if (handle)
            tjDestroy(handle);
    }
    void *handle;
};

} // namespace

void YuvToRgb(int y, int u, int v, uchar *rgb)
{
    ConvertPixel(Tables(), std::clamp(y, 0, 255), std::clamp(u, 0, 255), std::clamp(v, 0, 255), rgb);
}

qint64 RequiredFrameSize(quint32 fourCC, int width, int height)
{
    if (width <= 0 || height <= 0 || width > MaxFrameSide || height > MaxFrameSide)
        return -1;
    const qint64 w = width;
    const qint64 h = height;
    switch (fourCC) {
    case FrameCode::RGB:
    case FrameCode::RGB3:
    case FrameCode::BGR3:
        return w * h * 3;
    case FrameCode::I420:
    case FrameCode::IYUV:
    case FrameCode::YV12:
        return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    case FrameCode::YUY2:
    case FrameCode::YUNV:
    case FrameCode::YUYV:
        return ((w + 1) / 2) * 4 * h;
    case FrameCode::MJPG:
        return 0;
    default:
        return -1;
    }
}

JpegFrameDecoder::JpegFrameDecoder()
    : m_handle(tjInitDecompress())
{
}

JpegFrameDecoder::~JpegFrameDecoder()
{
    if (m_handle)
        tjDestroy(m_handle);
}

bool JpegFrameDecoder::DecodeInto(const uchar *data, qsizetype size, QImage &bitmap, QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (!m_handle)
        return fail(QStringLiteral("JPEG 解壓器無法啟動"));
    if (!data || size <= 0)
        return fail(QStringLiteral("MJPG 影格沒有資料"));
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(m_handle, data, static_cast<unsigned long>(size), &w, &h, &subsampling, &colourspace) != 0
        || w <= 0 || h <= 0 || w > MaxFrameSide || h > MaxFrameSide)
        return fail(QStringLiteral("MJPG 影格不是 JPEG 影像: ") + QString::fromLocal8Bit(tjGetErrorStr2(m_handle)));

    // The common case, a picture of the bitmap's size, is decoded in place.
    const bool inPlace = w == bitmap.width() && h == bitmap.height() && bitmap.format() == QImage::Format_RGB888;
    QImage decoded = inPlace ? QImage() : QImage(w, h, QImage::Format_RGB888);
    QImage &target = inPlace ? bitmap : decoded;
    if (target.isNull())
        return fail(QStringLiteral("記憶體不足,無法解開 MJPG 影格"));
    if (tjDecompress2(m_handle, data, static_cast<unsigned long>(size), target.bits(), w, int(target.bytesPerLine()),
                      h, TJPF_RGB, TJFLAG_FASTDCT)
        != 0) {
        // A warning (a truncated frame, say) still leaves a usable picture.
        if (tjGetErrorCode(m_handle) != TJERR_WARNING)
            return fail(QStringLiteral("MJPG 影格無法解碼: ") + QString::fromLocal8Bit(tjGetErrorStr2(m_handle)));
    }
    if (!inPlace) {
        const int rows = std::min(h, bitmap.height());
        const size_t bytes = size_t(std::min(w, bitmap.width())) * 3;
        for (int y = 0; y < rows; ++y)
            std::memcpy(bitmap.scanLine(y), decoded.constScanLine(y), bytes);
    }
    return true;
}

UnpackResult UnpackFrame(const RawFrame &frame, QImage &bitmap, JpegFrameDecoder *decoder, QString *error)
{
    const qint64 required = RequiredFrameSize(frame.fourCC, frame.width, frame.height);
    if (frame.width > 0 && frame.height > 0 && frame.width <= MaxFrameSide && frame.height <= MaxFrameSide)
        EnsureBitmap(bitmap, frame.width, frame.height);
    else if (bitmap.isNull())
        EnsureBitmap(bitmap, 320, 240);

    if (required < 0 || !frame.data || frame.size < required || (frame.fourCC == FrameCode::MJPG && frame.size <= 0)) {
        if (bitmap.format() != QImage::Format_RGB888)
            bitmap = bitmap.convertToFormat(QImage::Format_RGB888);
        DrawUnknownCompression(bitmap, frame.size, frame.fourCC);
        if (error)
            *error = UnknownCompressionText(frame.size, frame.fourCC);
        return UnpackResult::UnknownCompression;
    }

    switch (frame.fourCC) {
    case FrameCode::RGB:
        UnpackBottomUpBgr(frame, bitmap);
        break;
    case FrameCode::RGB3:
    case FrameCode::BGR3:
        UnpackTopDown(frame, bitmap, frame.fourCC == FrameCode::BGR3);
        break;
    case FrameCode::I420:
    case FrameCode::IYUV:
    case FrameCode::YV12:
        UnpackPlanar420(frame, bitmap);
        break;
    case FrameCode::YUY2:
    case FrameCode::YUNV:
    case FrameCode::YUYV:
        UnpackPacked422(frame, bitmap);
        break;
    case FrameCode::MJPG: {
        std::optional<JpegFrameDecoder> ownDecoder;
        if (!decoder)
            decoder = &ownDecoder.emplace();
        if (!decoder->DecodeInto(frame.data, frame.size, bitmap, error))
            return UnpackResult::Damaged;
        break;
    }
    default:
        break;
    }
    return UnpackResult::Unpacked;
}

QString UnknownCompressionText(qsizetype size, quint32 fourCC)
{
    return QStringLiteral("Unknown compression\nDataSize: ") + QString::number(size) + QStringLiteral("  FourCC: ")
        + FourCCText(fourCC);
}

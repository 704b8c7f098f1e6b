// Camera frames as the station unpacks them: the YUV arithmetic, every frame code the devices
// deliver, frames that do not fit, and the stream-format list the size box shows.

#include "platform/CaptureBackend.h"
#include "platform/JpegWriter.h"
#include "platform/SyntheticCamera.h"
#include "station/FrameUnpack.h"

#if defined(Q_OS_LINUX)
#include "platform/camera_v4l2.h"
#include <linux/videodev2.h>
#endif

#include <QtTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// The BT.601 limited-range equations in floating point, as the reference the tables must meet.
QColor ReferenceRgb(int y, int u, int v)
{
    auto clip = [](double c) { return int(std::lround(std::clamp(c, 0.0, 255.0))); };
    const double l = 1.164 * (y - 16);
    return QColor(clip(l + 1.596 * (v - 128)), clip(l - 0.392 * (u - 128) - 0.813 * (v - 128)),
                  clip(l + 2.017 * (u - 128)));
}

bool Near(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

QString Describe(const QColor &c)
{
    return u"(%1, %2, %3)"_s.arg(c.red()).arg(c.green()).arg(c.blue());
}

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(uchar(v)));
    return bytes;
}

RawFrame FrameOf(quint32 code, int w, int h, const QByteArray &bytes)
{
    return RawFrame{code, w, h, reinterpret_cast<const uchar *>(bytes.constData()), bytes.size()};
}

// Red, green and blue as YUV samples (Y, U, V).
constexpr int RedY = 81, RedU = 90, RedV = 240;
constexpr int BlueY = 41, BlueU = 240, BlueV = 110;

} // namespace

using Pixels = QList<QPair<QPoint, QColor>>;

class TestFrameUnpack : public QObject
{
    Q_OBJECT

private slots:
    void yuvPixelsMeetTheEquations_data();
    void yuvPixelsMeetTheEquations();
    void framesOfEachCode_data();
    void framesOfEachCode();
    void mjpgFrameEncodedHere();
    void mjpgSmallerThanTheStreamIsDrawnAtTheOrigin();
    void damagedMjpgKeepsTheLastPicture();
    void framesThatCannotBeUnpacked_data();
    void framesThatCannotBeUnpacked();
    void syntheticFramesSurviveTheRoundTrip_data();
    void syntheticFramesSurviveTheRoundTrip();
    void formatListOrderAndText();
    void fourCCText_data();
    void fourCCText();
    void v4l2FormatsMapToStationCodes_data();
    void v4l2FormatsMapToStationCodes();
    void v4l2DeviceListWithoutCamera();
};

void TestFrameUnpack::yuvPixelsMeetTheEquations_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("black") << 16 << 128 << 128 << QColor(0, 0, 0);
    QTest::newRow("white") << 235 << 128 << 128 << QColor(255, 255, 255);
    QTest::newRow("grey") << 126 << 128 << 128 << QColor(128, 128, 128);
    QTest::newRow("red") << RedY << RedU << RedV << QColor(254, 0, 0);
    QTest::newRow("green") << 145 << 54 << 34 << QColor(0, 255, 1);
    QTest::newRow("blue") << BlueY << BlueU << BlueV << QColor(0, 0, 255);
    // Beyond the limited range the components are clipped, never wrapped round.
    QTest::newRow("above white") << 255 << 128 << 128 << QColor(255, 255, 255);
    QTest::newRow("below black") << 0 << 128 << 128 << QColor(0, 0, 0);
    QTest::newRow("extreme chroma") << 255 << 255 << 255 << QColor(255, 125, 255);
    QTest::newRow("negative chroma") << 0 << 0 << 0 << QColor(0, 136, 0);
}

void TestFrameUnpack::yuvPixelsMeetTheEquations()
{
    QFETCH(int, y);
    QFETCH(int, u);
    QFETCH(int, v);
    QFETCH(QColor, expected);
    uchar rgb[3] = {};
    YuvToRgb(y, u, v, rgb);
    const QColor actual(rgb[0], rgb[1], rgb[2]);
    QVERIFY2(Near(actual, ReferenceRgb(y, u, v), 1), qPrintable(Describe(actual)));
    QVERIFY2(Near(actual, expected, 1), qPrintable(Describe(actual)));
}

void TestFrameUnpack::framesOfEachCode_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Pixels>("pixels");

    const QColor red = ReferenceRgb(RedY, RedU, RedV);
    const QColor blue = ReferenceRgb(BlueY, BlueU, BlueV);

    // A bitmap: B, G, R, rows padded to four bytes, the bottom row first.
    QTest::newRow("RGB bottom-up, padded rows")
        << FrameCode::RGB << 2 << 2
        << Bytes({1, 2, 3, 4, 5, 6, 0, 0, /* bottom row */ 10, 20, 30, 40, 50, 60, 0, 0 /* top row */})
        << Pixels{{{0, 0}, QColor(30, 20, 10)}, {{1, 0}, QColor(60, 50, 40)}, {{0, 1}, QColor(3, 2, 1)},
                  {{1, 1}, QColor(6, 5, 4)}};
    QTest::newRow("RGB bottom-up, tight rows")
        << FrameCode::RGB << 2 << 2 << Bytes({1, 2, 3, 4, 5, 6, 10, 20, 30, 40, 50, 60})
        << Pixels{{{0, 0}, QColor(30, 20, 10)}, {{1, 1}, QColor(6, 5, 4)}};
    QTest::newRow("RGB3 top-down") << FrameCode::RGB3 << 2 << 1 << Bytes({10, 20, 30, 40, 50, 60})
                                   << Pixels{{{0, 0}, QColor(10, 20, 30)}, {{1, 0}, QColor(40, 50, 60)}};
    QTest::newRow("BGR3 top-down") << FrameCode::BGR3 << 2 << 1 << Bytes({10, 20, 30, 40, 50, 60})
                                   << Pixels{{{0, 0}, QColor(30, 20, 10)}, {{1, 0}, QColor(60, 50, 40)}};

    // 4 × 2 planar: a red block on the left, a blue block on the right.
    const QByteArray luma = Bytes({RedY, RedY, BlueY, BlueY, RedY, RedY, BlueY, BlueY});
    const Pixels redThenBlue{{{0, 0}, red}, {{1, 1}, red}, {{2, 0}, blue}, {{3, 1}, blue}};
    QTest::newRow("I420") << FrameCode::I420 << 4 << 2 << luma + Bytes({RedU, BlueU, RedV, BlueV}) << redThenBlue;
    QTest::newRow("IYUV") << FrameCode::IYUV << 4 << 2 << luma + Bytes({RedU, BlueU, RedV, BlueV}) << redThenBlue;
    QTest::newRow("YV12 has V before U")
        << FrameCode::YV12 << 4 << 2 << luma + Bytes({RedV, BlueV, RedU, BlueU}) << redThenBlue;
    // Odd sizes: the chroma planes round up.
    QTest::newRow("I420 3 x 3")
        << FrameCode::I420 << 3 << 3
        << Bytes({RedY, RedY, BlueY, RedY, RedY, BlueY, RedY, RedY, BlueY, /* U */ RedU, BlueU, RedU, BlueU,
                  /* V */ RedV, BlueV, RedV, BlueV})
        << Pixels{{{0, 0}, red}, {{2, 0}, blue}, {{1, 2}, red}, {{2, 2}, blue}};

    // Packed 4:2:2, Y0 U Y1 V.
    const QByteArray packed = Bytes({RedY, RedU, RedY, RedV, BlueY, BlueU, BlueY, BlueV});
    const Pixels packedPixels{{{0, 0}, red}, {{1, 0}, red}, {{2, 0}, blue}, {{3, 0}, blue}};
    QTest::newRow("YUY2") << FrameCode::YUY2 << 4 << 1 << packed << packedPixels;
    QTest::newRow("YUYV") << FrameCode::YUYV << 4 << 1 << packed << packedPixels;
    QTest::newRow("YUNV") << FrameCode::YUNV << 4 << 1 << packed << packedPixels;
    QTest::newRow("YUY2 two rows") << FrameCode::YUY2 << 2 << 2 << Bytes({RedY, RedU, RedY, RedV, BlueY, BlueU, BlueY, BlueV})
                                   << Pixels{{{1, 0}, red}, {{0, 1}, blue}};
    QTest::newRow("YUY2 longer than needed")
        << FrameCode::YUY2 << 2 << 1 << Bytes({BlueY, BlueU, BlueY, BlueV, 0, 0, 0, 0}) << Pixels{{{0, 0}, blue}};
}

void TestFrameUnpack::framesOfEachCode()
{
    QFETCH(quint32, code);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QByteArray, bytes);
    QFETCH(Pixels, pixels);

    QImage bitmap(7, 5, QImage::Format_RGB888); // the size of an earlier stream
    QCOMPARE(UnpackFrame(FrameOf(code, width, height, bytes), bitmap), UnpackResult::Unpacked);
    QCOMPARE(bitmap.size(), QSize(width, height));
    QCOMPARE(bitmap.format(), QImage::Format_RGB888);
    for (const auto &[point, colour] : pixels) {
        const QColor actual = bitmap.pixelColor(point);
        QVERIFY2(Near(actual, colour, 1),
                 qPrintable(u"pixel %1,%2 is %3, expected %4"_s.arg(point.x()).arg(point.y()).arg(Describe(actual),
                                                                                                  Describe(colour))));
    }
}

void TestFrameUnpack::mjpgFrameEncodedHere()
{
    QImage picture(32, 16, QImage::Format_RGB888);
    picture.fill(QColor(200, 30, 40));
    for (int y = 0; y < 16; ++y)
        for (int x = 16; x < 32; ++x)
            picture.setPixelColor(x, y, QColor(20, 60, 220));
    const QByteArray jpeg = EncodeJpeg(picture, 95);
    QVERIFY(!jpeg.isEmpty());

    JpegFrameDecoder decoder;
    QImage bitmap;
    QCOMPARE(UnpackFrame(FrameOf(FrameCode::MJPG, 32, 16, jpeg), bitmap, &decoder), UnpackResult::Unpacked);
    QCOMPARE(bitmap.size(), QSize(32, 16));
    QVERIFY2(Near(bitmap.pixelColor(4, 8), QColor(200, 30, 40), 12), qPrintable(Describe(bitmap.pixelColor(4, 8))));
    QVERIFY2(Near(bitmap.pixelColor(28, 8), QColor(20, 60, 220), 12), qPrintable(Describe(bitmap.pixelColor(28, 8))));

    // Without a decoder of the caller's one is made for the frame.
    QImage again;
    QCOMPARE(UnpackFrame(FrameOf(FrameCode::MJPG, 32, 16, jpeg), again), UnpackResult::Unpacked);
    QCOMPARE(again, bitmap);
}

void TestFrameUnpack::mjpgSmallerThanTheStreamIsDrawnAtTheOrigin()
{
    QImage small(8, 8, QImage::Format_RGB888);
    small.fill(Qt::white);
    const QByteArray jpeg = EncodeJpeg(small, 95);
    QImage bitmap(16, 16, QImage::Format_RGB888);
    bitmap.fill(QColor(0, 128, 0));

    QCOMPARE(UnpackFrame(FrameOf(FrameCode::MJPG, 16, 16, jpeg), bitmap), UnpackResult::Unpacked);
    QCOMPARE(bitmap.size(), QSize(16, 16));
    QVERIFY(Near(bitmap.pixelColor(2, 2), Qt::white, 4));
    QCOMPARE(bitmap.pixelColor(12, 12), QColor(0, 128, 0));
    QCOMPARE(bitmap.pixelColor(12, 2), QColor(0, 128, 0));
}

void TestFrameUnpack::damagedMjpgKeepsTheLastPicture()
{
    QImage bitmap(16, 16, QImage::Format_RGB888);
    bitmap.fill(QColor(1, 2, 3));
    const QImage before = bitmap.copy();
    QString error;
    const QByteArray garbage("\xFF\xD8 this is no picture at all", 28);
    QCOMPARE(UnpackFrame(FrameOf(FrameCode::MJPG, 16, 16, garbage), bitmap, nullptr, &error), UnpackResult::Damaged);
    QCOMPARE(bitmap, before);
    QVERIFY(error.contains(u"MJPG"_s));
}

void TestFrameUnpack::framesThatCannotBeUnpacked_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("bitmapSize");
    QTest::addColumn<QString>("text");

    QTest::newRow("YUY2 one byte short") << FrameCode::YUY2 << 4 << 2 << QByteArray(15, '\x80') << QSize(4, 2)
                                         << u"Unknown compression\nDataSize: 15  FourCC: YUY2"_s;
    QTest::newRow("I420 of another size") << FrameCode::I420 << 640 << 480 << QByteArray(320 * 240 * 3 / 2, '\x80')
                                          << QSize(640, 480) << u"Unknown compression\nDataSize: 115200  FourCC: I420"_s;
    QTest::newRow("RGB short") << FrameCode::RGB << 2 << 2 << QByteArray(11, '\0') << QSize(2, 2)
                               << u"Unknown compression\nDataSize: 11  FourCC: RGB "_s;
    QTest::newRow("empty MJPG") << FrameCode::MJPG << 4 << 4 << QByteArray() << QSize(4, 4)
                                << u"Unknown compression\nDataSize: 0  FourCC: MJPG"_s;
    QTest::newRow("unknown code") << MakeFourCC('H', '2', '6', '4') << 4 << 4 << QByteArray(100, '\x01') << QSize(4, 4)
                                  << u"Unknown compression\nDataSize: 100  FourCC: H264"_s;
    QTest::newRow("unprintable code") << quint32(0x00000102) << 4 << 4 << QByteArray(48, '\x01') << QSize(4, 4)
                                      << u"Unknown compression\nDataSize: 48  FourCC: 258"_s;
    // A nonsensical size keeps the bitmap it had rather than allocating gigabytes.
    QTest::newRow("impossible size") << FrameCode::YUY2 << 100000 << 100000 << QByteArray(64, '\x80') << QSize(6, 3)
                                     << u"Unknown compression\nDataSize: 64  FourCC: YUY2"_s;
}

void TestFrameUnpack::framesThatCannotBeUnpacked()
{
    QFETCH(quint32, code);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, bitmapSize);
    QFETCH(QString, text);

    QImage bitmap(6, 3, QImage::Format_RGB888);
    bitmap.fill(Qt::black);
    QString error;
    QCOMPARE(UnpackFrame(FrameOf(code, width, height, bytes), bitmap, nullptr, &error), UnpackResult::UnknownCompression);
    QCOMPARE(error, text);
    QCOMPARE(UnknownCompressionText(bytes.size(), code), text);
    QCOMPARE(bitmap.size(), bitmapSize);
    // The picture says so in black on white, which a snapshot then shows.
    QCOMPARE(bitmap.pixelColor(bitmap.width() - 1, bitmap.height() - 1), QColor(Qt::white));
}

void TestFrameUnpack::syntheticFramesSurviveTheRoundTrip_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("RGB") << FrameCode::RGB << 0;
    QTest::newRow("RGB3") << FrameCode::RGB3 << 0;
    QTest::newRow("BGR3") << FrameCode::BGR3 << 0;
    QTest::newRow("I420") << FrameCode::I420 << 6;
    QTest::newRow("YV12") << FrameCode::YV12 << 6;
    QTest::newRow("YUY2") << FrameCode::YUY2 << 6;
    QTest::newRow("MJPG") << FrameCode::MJPG << 24;
}

void TestFrameUnpack::syntheticFramesSurviveTheRoundTrip()
{
    QFETCH(quint32, code);
    QFETCH(int, tolerance);

    // Blocks of eight pixels, so that neither chroma sharing nor JPEG blocks blur a sample.
    const QColor colours[] = {QColor(235, 235, 16), QColor(16, 235, 235), QColor(235, 16, 235), QColor(100, 100, 100)};
    QImage picture(34, 18, QImage::Format_RGB888); // sides that are not a multiple of four
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixelColor(x, y, colours[(x / 8 + y / 8) % 4]);

    const QByteArray packed = SyntheticCamera::PackFrame(picture, code);
    QVERIFY(!packed.isEmpty());
    QVERIFY(packed.size() >= RequiredFrameSize(code, picture.width(), picture.height()));
    QImage bitmap;
    QCOMPARE(UnpackFrame(FrameOf(code, picture.width(), picture.height(), packed), bitmap), UnpackResult::Unpacked);
    QCOMPARE(bitmap.size(), picture.size());
    for (const QPoint p : {QPoint(3, 3), QPoint(11, 3), QPoint(19, 11), QPoint(27, 4), QPoint(4, 12)}) {
        const QColor expected = picture.pixelColor(p);
        QVERIFY2(Near(bitmap.pixelColor(p), expected, tolerance),
                 qPrintable(Describe(bitmap.pixelColor(p)) + u" expected "_s + Describe(expected)));
    }
    // Unknown codes are not packed at all.
    QVERIFY(SyntheticCamera::PackFrame(picture, MakeFourCC('H', '2', '6', '4')).isEmpty());
}

void TestFrameUnpack::formatListOrderAndText()
{
    const QList<VideoFormat> device{
        {640, 480, FrameCode::MJPG, 0, 0},  {320, 240, FrameCode::YUY2, 0, 1}, {1280, 720, FrameCode::MJPG, 0, 2},
        {640, 360, FrameCode::YUY2, 0, 3},  {640, 480, FrameCode::YUY2, 0, 4}, {320, 240, FrameCode::RGB, 0, 5},
        {160, 1200, FrameCode::I420, 0, 6},
    };
    QStringList texts;
    QList<int> capabilities;
    for (const VideoFormat &f : SortVideoFormats(device)) {
        texts << f.Text();
        capabilities << f.capabilityIndex;
    }
    // Ascending by width, then height; formats of one size keep the device's order.
    QCOMPARE(texts, QStringList({u"160*1200  (I420)"_s, u"320*240  (YUY2)"_s, u"320*240  (RGB )"_s,
                                 u"640*360  (YUY2)"_s, u"640*480  (MJPG)"_s, u"640*480  (YUY2)"_s,
                                 u"1280*720  (MJPG)"_s}));
    QCOMPARE(capabilities, QList<int>({6, 1, 5, 3, 0, 4, 2}));
}

void TestFrameUnpack::fourCCText_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("RGB") << FrameCode::RGB << u"RGB "_s;
    QTest::newRow("RGB3") << FrameCode::RGB3 << u"RGB "_s;
    QTest::newRow("BGR3") << FrameCode::BGR3 << u"RGB "_s;
    QTest::newRow("YUY2") << FrameCode::YUY2 << u"YUY2"_s;
    QTest::newRow("MJPG") << FrameCode::MJPG << u"MJPG"_s;
    QTest::newRow("I420") << FrameCode::I420 << u"I420"_s;
    QTest::newRow("unprintable") << quint32(0x0A414141) << u"172048705"_s;
}

void TestFrameUnpack::fourCCText()
{
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(FourCCText(code), text);
}

void TestFrameUnpack::v4l2FormatsMapToStationCodes_data()
{
#if defined(Q_OS_LINUX)
    QTest::addColumn<quint32>("pixelFormat");
    QTest::addColumn<quint32>("code");
    // YUYV is shown as YUY2, so a size stored by another station ("640*480  (YUY2)") is found.
    QTest::newRow("YUYV") << quint32(V4L2_PIX_FMT_YUYV) << FrameCode::YUY2;
    QTest::newRow("YU12") << quint32(V4L2_PIX_FMT_YUV420) << FrameCode::I420;
    QTest::newRow("YV12") << quint32(V4L2_PIX_FMT_YVU420) << FrameCode::YV12;
    QTest::newRow("RGB3") << quint32(V4L2_PIX_FMT_RGB24) << FrameCode::RGB3;
    QTest::newRow("BGR3") << quint32(V4L2_PIX_FMT_BGR24) << FrameCode::BGR3;
    QTest::newRow("MJPG") << quint32(V4L2_PIX_FMT_MJPEG) << FrameCode::MJPG;
    QTest::newRow("JPEG") << quint32(V4L2_PIX_FMT_JPEG) << FrameCode::MJPG;
    QTest::newRow("H264") << quint32(V4L2_PIX_FMT_H264) << UnsupportedFrameCode;
    QTest::newRow("NV12") << quint32(V4L2_PIX_FMT_NV12) << UnsupportedFrameCode;
#endif
}

void TestFrameUnpack::v4l2FormatsMapToStationCodes()
{
#if defined(Q_OS_LINUX)
    QFETCH(quint32, pixelFormat);
    QFETCH(quint32, code);
    QCOMPARE(FrameCodeOfV4l2Format(pixelFormat), code);
    if (code != UnsupportedFrameCode)
        QVERIFY(RequiredFrameSize(code, 640, 480) >= 0);
#else
    QSKIP("Video4Linux2 is the Linux back end");
#endif
}

void TestFrameUnpack::v4l2DeviceListWithoutCamera()
{
#if defined(Q_OS_LINUX)
    // Whatever the machine has, the list is read without harm; a build machine has no camera.
    const QList<CameraDeviceEntry> devices = EnumerateV4l2Devices();
    for (const CameraDeviceEntry &device : devices) {
        QVERIFY(!device.name.isEmpty());
        QVERIFY(device.create);
    }
    // The station's list ends with the synthetic pattern when it is offered, and only then.
    const QList<CameraDeviceEntry> withSynthetic = CreateCameraSources(true);
    QCOMPARE(withSynthetic.size(), devices.size() + 1);
    QCOMPARE(withSynthetic.last().name, u"#synthetic"_s);
    QCOMPARE(CreateCameraSources(false).size(), devices.size());
    // The property numbers reach their V4L2 controls.
    QCOMPARE(V4l2ControlOfProperty(0), quint32(V4L2_CID_BRIGHTNESS));
    QCOMPARE(V4l2ControlOfProperty(9), quint32(V4L2_CID_GAIN));
    QCOMPARE(V4l2AutoControlOfProperty(7), quint32(V4L2_CID_AUTO_WHITE_BALANCE));
    QCOMPARE(V4l2ControlOfProperty(6), 0u);
    // A node that is no camera cannot be opened as one.
    V4l2CaptureBackend notACamera(u"/dev/null"_s);
    QString error;
    QVERIFY(!notACamera.Open(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!notACamera.StartStreaming(nullptr));
#else
    QSKIP("Video4Linux2 is the Linux back end");
#endif
}

QTEST_MAIN(TestFrameUnpack)
#include "tst_frameunpack.moc"

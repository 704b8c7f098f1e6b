// The station's camera component: choosing and starting a device, the format list, pause and
// stop, the drop rule of a busy window, the three buffers, the frame rate, the preview, and the
// synthetic camera through the whole path.

#include "mock/ScriptedPrompter.h"
#include "platform/SyntheticCamera.h"
#include "station/TVideoImage.h"
#include "station/VideoPreview.h"

#include <QtTest>

#include <QDir>
#include <QDialog>
#include <QMouseEvent>
#include <QSlider>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// What happened to a scripted device; it outlives the device, which the camera frees at a stop.
struct DeviceLog
{
    int created = 0;
    int opened = 0;
    int closed = 0;
    int starts = 0;
    int stops = 0;
    bool streaming = false;
    bool failOpen = false;
    bool refuseFormats = false;
    QList<VideoFormat> formatsSet;
    QList<QPair<int, int>> controlsSet;
};

// A device whose frames the test delivers.
class ScriptedDevice final : public CaptureBackend
{
public:
    ScriptedDevice(DeviceLog &log, QList<VideoFormat> formats)
        : m_log(log)
        , m_formats(std::move(formats))
        , m_current(m_formats.value(0))
    {
        ++m_log.created;
    }
    bool Open(QString *error) override
    {
        if (m_log.failOpen) {
            *error = u"busy"_s;
            return false;
        }
        ++m_log.opened;
        return true;
    }
    void Close() override { ++m_log.closed; }
    QList<VideoFormat> Formats() const override { return m_formats; }
    VideoFormat CurrentFormat() const override { return m_current; }
    bool SetFormat(const VideoFormat &format, QString *) override
    {
        if (m_log.refuseFormats && format != m_current)
            return false;
        m_log.formatsSet << format;
        m_current = format;
        return true;
    }
    bool StartStreaming(QString *) override
    {
        ++m_log.starts;
        m_log.streaming = true;
        return true;
    }
    void StopStreaming() override
    {
        if (m_log.streaming)
            ++m_log.stops;
        m_log.streaming = false;
    }
    QList<VideoControl> Controls() const override
    {
        VideoControl gain;
        gain.number = 9;
        gain.maximum = 100;
        gain.autoAvailable = true;
        return {gain};
    }
    bool SetControl(int number, int value, bool) override
    {
        m_log.controlsSet << qMakePair(number, value);
        return true;
    }

    void Push(const RawFrame &frame) const { DeliverRawFrame(frame); }

private:
    DeviceLog &m_log;
    QList<VideoFormat> m_formats;
    VideoFormat m_current;
};

class FakeIdleClock final : public IdleClock
{
public:
    qint64 NowMs() const override { return now.load(); }
    qint64 LastIdleMs() const override { return lastIdle.load(); }
    // The window was last idle `age` milliseconds ago.
    void SetIdleAge(qint64 age) { lastIdle = now.load() - age; }
    std::atomic<qint64> now{100000};
    std::atomic<qint64> lastIdle{100000};
};

class RecordingCanvas final : public VideoCanvas
{
public:
    void DrawFrame(const QImage &bitmap) override { frames << bitmap; }
    QList<QImage> frames;
};

// A solid frame of one colour, as a top-down RGB stream delivers it.
QByteArray SolidRgb3(int w, int h, QColor colour)
{
    QByteArray bytes(qsizetype(w) * h * 3, '\0');
    for (qsizetype i = 0; i < bytes.size(); i += 3) {
        bytes[i] = char(colour.red());
        bytes[i + 1] = char(colour.green());
        bytes[i + 2] = char(colour.blue());
    }
    return bytes;
}

RawFrame FrameOf(const QByteArray &bytes, int w, int h, quint32 code = FrameCode::RGB3)
{
    return RawFrame{code, w, h, reinterpret_cast<const uchar *>(bytes.constData()), bytes.size()};
}

const QList<VideoFormat> DeviceFormats{
    {640, 480, FrameCode::YUY2, 1, 0},
    {320, 240, FrameCode::MJPG, 2, 1},
    {640, 360, FrameCode::YUY2, 1, 2},
    {320, 240, FrameCode::YUY2, 1, 3},
};

} // namespace

class TestVideoImage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsTheDeviceNamed_data();
    void startsTheDeviceNamed();
    void deviceThatCannotStart();
    void formatListOrderAndResolution();
    void pauseResumeAndStop();
    void dropRuleWithIdleClock_data();
    void dropRuleWithIdleClock();
    void blockedWindowDropsFramesInsteadOfReplaying();
    void newestFrameWinsWhenFramesPileUp();
    void frameRateOverThirtyFrames();
    void unknownCodeStillReachesThePreview();
    void captureThreadNeverTearsAFrame();
    void previewStretchesAndReportsDoubleClicks();
    void propertiesReachTheDevice();
    void propertyDialogAdjustsTheRunningCamera();
    void syntheticCameraThroughTheWholePath();
    void syntheticCameraOfferedOnlyToDemoAndTests();

private:
    TVideoImage *MakeCamera(const QStringList &names);

    DeviceLog m_logs[3];
    ScriptedDevice *m_device = nullptr; // the device started last
    FakeIdleClock m_clock;
    std::unique_ptr<TVideoImage> m_camera;
};

void TestVideoImage::init()
{
    for (DeviceLog &log : m_logs)
        log = DeviceLog();
    m_device = nullptr;
    m_clock.now = 100000;
    m_clock.lastIdle = 100000;
}

void TestVideoImage::cleanup()
{
    m_camera.reset();
}

TVideoImage *TestVideoImage::MakeCamera(const QStringList &names)
{
    m_camera = std::make_unique<TVideoImage>([this, names] {
        QList<CameraDeviceEntry> entries;
        for (qsizetype i = 0; i < names.size(); ++i) {
            entries << CameraDeviceEntry{names.at(i), [this, i] {
                                             auto device = std::make_unique<ScriptedDevice>(m_logs[i], DeviceFormats);
                                             m_device = device.get();
                                             return std::unique_ptr<CaptureBackend>(std::move(device));
                                         }};
        }
        return entries;
    });
    m_camera->SetIdleClock(&m_clock);
    return m_camera.get();
}

void TestVideoImage::startsTheDeviceNamed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("started"); // index of the device started, -1 for none
    QTest::newRow("#0") << u"#0"_s << 0;
    QTest::newRow("second camera by number") << u"#1"_s << 1;
    QTest::newRow("by name, trimmed and case-blind") << u"  integrated WEBCAM "_s << 1;
    QTest::newRow("same name twice: the first") << u"USB Camera"_s << 0;
    QTest::newRow("number beyond the list") << u"#3"_s << -1;
    QTest::newRow("unknown name") << u"Document Camera"_s << -1;
    QTest::newRow("empty") << QString() << -1;
}

void TestVideoImage::startsTheDeviceNamed()
{
    QFETCH(QString, name);
    QFETCH(int, started);
    TVideoImage *camera = MakeCamera({u"USB Camera"_s, u"Integrated Webcam"_s, u"USB Camera"_s});
    QCOMPARE(camera->GetListOfDevices(), QStringList({u"USB Camera"_s, u"Integrated Webcam"_s, u"USB Camera"_s}));

    QCOMPARE(camera->VideoStart(name), started >= 0);
    QCOMPARE(camera->IsRunning(), started >= 0);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(m_logs[i].created, i == started ? 1 : 0);
        QCOMPARE(m_logs[i].streaming, i == started);
    }
    if (started < 0) {
        QVERIFY(camera->LatestFrame().isNull());
        QVERIFY(camera->GetListOfSupportedVideoSizes().isEmpty());
        return;
    }
    // The bitmap takes the stream's size at once, black until the first frame.
    QCOMPARE(camera->LatestFrame().size(), QSize(640, 480));
    QCOMPARE(camera->LatestFrame().format(), QImage::Format_RGB888);
    QCOMPARE(camera->FourCC(), FrameCode::YUY2);

    // By list position: the same device as by its "#n".
    if (name.startsWith(u'#')) {
        QVERIFY(camera->VideoStartByIndex(started));
        QCOMPARE(m_logs[started].created, 2);
        QVERIFY(m_logs[started].streaming);
    }
    QVERIFY(!camera->VideoStartByIndex(3));
    QVERIFY(!camera->VideoStartByIndex(-1));
    QVERIFY(!camera->IsRunning());
    QVERIFY(camera->VideoStart(name));

    // Starting another stops the running device first.
    const int other = started == 2 ? 1 : 2;
    QVERIFY(camera->VideoStart(u"#"_s + QString::number(other)));
    QCOMPARE(m_logs[started].streaming, false);
    QVERIFY(m_logs[started].closed >= 1);
    QCOMPARE(m_logs[other].streaming, true);
}

void TestVideoImage::deviceThatCannotStart()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    m_logs[0].failOpen = true;
    QVERIFY(!camera->VideoStart(u"#0"_s));
    QVERIFY(!camera->IsRunning());
    QVERIFY(camera->LatestFrame().isNull());
    QCOMPARE(m_logs[0].starts, 0);
    // A camera that never started stops without harm.
    camera->VideoStop();
    camera->VideoPause();
    QVERIFY(!camera->GetIsPaused());
}

void TestVideoImage::formatListOrderAndResolution()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    QVERIFY(camera->GetListOfSupportedVideoSizes().isEmpty());
    QVERIFY(camera->VideoStart(u"#0"_s));
    const QStringList sizes{u"320*240  (MJPG)"_s, u"320*240  (YUY2)"_s, u"640*360  (YUY2)"_s, u"640*480  (YUY2)"_s};
    QCOMPARE(camera->GetListOfSupportedVideoSizes(), sizes);

    // A size of the list: the stream stops, takes the format, runs again; the bitmap follows.
    camera->SetResolutionByIndex(int(sizes.indexOf(u"320*240  (YUY2)"_s)));
    QCOMPARE(m_logs[0].formatsSet.size(), 1);
    QCOMPARE(m_logs[0].formatsSet.last().Text(), u"320*240  (YUY2)"_s);
    QCOMPARE(m_logs[0].formatsSet.last().capabilityIndex, 3);
    QCOMPARE(m_logs[0].stops, 1);
    QCOMPARE(m_logs[0].starts, 2);
    QVERIFY(m_logs[0].streaming);
    QCOMPARE(camera->LatestFrame().size(), QSize(320, 240));
    QCOMPARE(camera->Width(), 320);

    // An index outside the list changes nothing.
    camera->SetResolutionByIndex(4);
    camera->SetResolutionByIndex(-1);
    QCOMPARE(m_logs[0].formatsSet.size(), 1);
    QCOMPARE(m_logs[0].starts, 2);
    QCOMPARE(camera->LatestFrame().size(), QSize(320, 240));

    // A format the device refuses leaves the old one running.
    m_logs[0].refuseFormats = true;
    camera->SetResolutionByIndex(3);
    QVERIFY(m_logs[0].streaming);
    QCOMPARE(camera->LatestFrame().size(), QSize(320, 240));
    QCOMPARE(m_device->CurrentFormat().Text(), u"320*240  (YUY2)"_s);
}

void TestVideoImage::pauseResumeAndStop()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    QVERIFY(camera->VideoStart(u"#0"_s));
    const QByteArray green = SolidRgb3(4, 2, Qt::green);
    m_device->Push(FrameOf(green, 4, 2));
    QTRY_COMPARE(camera->UnpackedCount(), 1);

    camera->VideoPause();
    QVERIFY(camera->GetIsPaused());
    QVERIFY(!m_logs[0].streaming);
    QVERIFY(camera->IsRunning());
    camera->VideoResume();
    QVERIFY(!camera->GetIsPaused());
    QVERIFY(m_logs[0].streaming);

    camera->VideoStop();
    QVERIFY(!camera->IsRunning());
    QVERIFY(!m_logs[0].streaming);
    QCOMPARE(m_logs[0].closed, 1);
    QVERIFY(camera->GetListOfSupportedVideoSizes().isEmpty());
    // The bitmap keeps the last frame after a stop.
    QCOMPARE(camera->LatestFrame().size(), QSize(4, 2));
    QCOMPARE(camera->LatestFrame().pixelColor(3, 1), QColor(Qt::green));
    QImage copy;
    camera->GetBitmap(copy);
    QCOMPARE(copy, camera->LatestFrame());
}

void TestVideoImage::dropRuleWithIdleClock_data()
{
    QTest::addColumn<qint64>("idleAge");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("idle just now") << qint64(0) << false;
    QTest::newRow("idle 1000 ms ago") << qint64(1000) << false;
    QTest::newRow("idle 1001 ms ago") << qint64(1001) << true;
    QTest::newRow("blocked for two seconds") << qint64(2000) << true;
}

void TestVideoImage::dropRuleWithIdleClock()
{
    QFETCH(qint64, idleAge);
    QFETCH(bool, dropped);
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    RecordingCanvas canvas;
    camera->SetDisplayCanvas(&canvas);
    QVERIFY(camera->VideoStart(u"#0"_s));

    m_clock.SetIdleAge(idleAge);
    const QByteArray frame = SolidRgb3(4, 2, Qt::red);
    m_device->Push(FrameOf(frame, 4, 2));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    QCOMPARE(camera->FrameCount(), 1);
    QCOMPARE(camera->SkipCount(), dropped ? 1 : 0);
    QCOMPARE(camera->UnpackedCount(), dropped ? 0 : 1);
    QCOMPARE(canvas.frames.size(), dropped ? 0 : 1);
    QCOMPARE(camera->LatestFrame().size(), dropped ? QSize(640, 480) : QSize(4, 2));
}

void TestVideoImage::blockedWindowDropsFramesInsteadOfReplaying()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    RecordingCanvas canvas;
    camera->SetDisplayCanvas(&canvas);
    QVERIFY(camera->VideoStart(u"#0"_s));

    // The window blocks for two seconds while the camera keeps sending.
    const QByteArray stale = SolidRgb3(4, 2, Qt::blue);
    for (int i = 0; i < 30; ++i) {
        m_clock.now += 66;
        m_clock.SetIdleAge(1001 + 33 * i);
        m_device->Push(FrameOf(stale, 4, 2));
    }
    // Idle again: only what arrives from now on is shown.
    m_clock.SetIdleAge(10);
    const QByteArray fresh = SolidRgb3(4, 2, Qt::yellow);
    m_device->Push(FrameOf(fresh, 4, 2));
    QTRY_COMPARE(canvas.frames.size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(canvas.frames.size(), 1);
    QCOMPARE(canvas.frames.first().pixelColor(0, 0), QColor(Qt::yellow));
    QCOMPARE(camera->SkipCount(), 30);
    QCOMPARE(camera->FrameCount(), 31);
}

void TestVideoImage::newestFrameWinsWhenFramesPileUp()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    RecordingCanvas canvas;
    camera->SetDisplayCanvas(&canvas);
    QList<QImage> notified;
    camera->SetFrameCallback([&](const QImage &frame) { notified << frame; });
    QVERIFY(camera->VideoStart(u"#0"_s));

    // Three frames before the window gets to the first: the buffers take them in turn and the
    // window shows only the newest, once.
    const QByteArray red = SolidRgb3(4, 2, Qt::red);
    const QByteArray green = SolidRgb3(4, 2, Qt::green);
    const QByteArray blue = SolidRgb3(6, 3, Qt::blue);
    m_device->Push(FrameOf(red, 4, 2));
    m_device->Push(FrameOf(green, 4, 2));
    m_device->Push(FrameOf(blue, 6, 3));
    QTRY_COMPARE(canvas.frames.size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(canvas.frames.size(), 1);
    QCOMPARE(camera->UnpackedCount(), 1);
    QCOMPARE(camera->FrameCount(), 3);
    QCOMPARE(camera->LatestFrame().size(), QSize(6, 3));
    QCOMPARE(camera->LatestFrame().pixelColor(5, 2), QColor(Qt::blue));
    QCOMPARE(notified.size(), 1);
    QCOMPARE(notified.first(), camera->LatestFrame());

    // The next frame goes through the buffers as before.
    m_device->Push(FrameOf(red, 4, 2));
    QTRY_COMPARE(canvas.frames.size(), 2);
    QCOMPARE(camera->LatestFrame().pixelColor(0, 0), QColor(Qt::red));
}

void TestVideoImage::frameRateOverThirtyFrames()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    QVERIFY(camera->VideoStart(u"#0"_s));
    const QByteArray frame = SolidRgb3(2, 2, Qt::white);
    QCOMPARE(camera->FramesPerSecond(), 0.0);
    // 30 frames 40 ms apart: 25 a second.
    for (int i = 0; i < 30; ++i) {
        m_clock.now += 40;
        m_clock.lastIdle = m_clock.now.load();
        m_device->Push(FrameOf(frame, 2, 2));
    }
    QCOMPARE(camera->FramesPerSecond(), 25.0);
    // The next 29 leave it; the 60th measures the last 30 (100 ms apart: 10 a second).
    for (int i = 0; i < 30; ++i) {
        m_clock.now += 100;
        m_clock.lastIdle = m_clock.now.load();
        m_device->Push(FrameOf(frame, 2, 2));
        if (i < 29)
            QCOMPARE(camera->FramesPerSecond(), 25.0);
    }
    QCOMPARE(camera->FramesPerSecond(), 10.0);
    QCOMPARE(camera->FrameCount(), 60);
    // A new start counts afresh.
    QVERIFY(camera->VideoStart(u"#0"_s));
    QCOMPARE(camera->FrameCount(), 0);
    QCOMPARE(camera->SkipCount(), 0);
    QCOMPARE(camera->FramesPerSecond(), 0.0);
}

void TestVideoImage::unknownCodeStillReachesThePreview()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    RecordingCanvas canvas;
    camera->SetDisplayCanvas(&canvas);
    QVERIFY(camera->VideoStart(u"#0"_s));
    const QByteArray h264(500, '\x11');
    m_device->Push(FrameOf(h264, 64, 48, MakeFourCC('H', '2', '6', '4')));
    QTRY_COMPARE(canvas.frames.size(), 1);
    // The snapshot then shows the white page with the text.
    QCOMPARE(camera->LatestFrame().size(), QSize(64, 48));
    QCOMPARE(camera->LatestFrame().pixelColor(63, 47), QColor(Qt::white));
    QCOMPARE(camera->UnpackedCount(), 0);

    // A damaged MJPG frame is not shown: the preview keeps the picture it had.
    const QByteArray damaged("\xFF\xD8 not a picture", 16);
    m_device->Push(FrameOf(damaged, 64, 48, FrameCode::MJPG));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(canvas.frames.size(), 1);
    QCOMPARE(camera->LatestFrame().pixelColor(63, 47), QColor(Qt::white));
}

void TestVideoImage::captureThreadNeverTearsAFrame()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    QVERIFY(camera->VideoStart(u"#0"_s));
    const int w = 160;
    const int h = 120;
    const QList<QByteArray> frames{SolidRgb3(w, h, Qt::red), SolidRgb3(w, h, Qt::green), SolidRgb3(w, h, Qt::blue)};
    int shown = 0;
    int torn = 0;
    bool offThread = false;
    camera->SetFrameCallback([&](const QImage &frame) {
        ++shown;
        offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        if (frame.pixelColor(0, 0) != frame.pixelColor(w - 1, h - 1) || frame.pixelColor(0, 0) != frame.pixelColor(w / 2, h / 2))
            ++torn;
    });

    // A capture thread as a real device has: it never waits for the window.
    constexpr int Sent = 400;
    std::atomic<bool> done{false};
    ScriptedDevice *device = m_device;
    std::thread capture([&] {
        for (int i = 0; i < Sent; ++i) {
            m_clock.lastIdle = m_clock.now.load();
            device->Push(FrameOf(frames.at(i % 3), w, h));
        }
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents();
    capture.join();
    QCoreApplication::processEvents();

    QVERIFY(!offThread);
    QCOMPARE(torn, 0);
    QVERIFY(shown >= 1);
    QVERIFY(shown <= Sent);
    QCOMPARE(camera->FrameCount(), Sent);
    // The last frame sent is the one shown in the end.
    QCOMPARE(camera->LatestFrame().pixelColor(0, 0), QColor((Sent - 1) % 3 == 0 ? Qt::red : (Sent - 1) % 3 == 1 ? Qt::green : Qt::blue));
}

void TestVideoImage::previewStretchesAndReportsDoubleClicks()
{
    VideoPreview preview;
    preview.setObjectName(u"VideoCap1"_s);
    preview.resize(40, 30);
    // Black before the first frame.
    QCOMPARE(preview.grab().toImage().pixelColor(20, 15), QColor(Qt::black));

    QImage frame(2, 2, QImage::Format_RGB888);
    frame.setPixelColor(0, 0, Qt::red);
    frame.setPixelColor(1, 0, Qt::green);
    frame.setPixelColor(0, 1, Qt::blue);
    frame.setPixelColor(1, 1, Qt::white);
    preview.DrawFrame(frame);
    const QImage shown = preview.grab().toImage();
    QCOMPARE(shown.pixelColor(5, 5), QColor(Qt::red));
    QCOMPARE(shown.pixelColor(35, 5), QColor(Qt::green));
    QCOMPARE(shown.pixelColor(5, 25), QColor(Qt::blue));
    QCOMPARE(shown.pixelColor(35, 25), QColor(Qt::white));

    QSignalSpy doubleClicks(&preview, &VideoPreview::doubleClicked);
    QTest::mouseDClick(&preview, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(doubleClicks.size(), 1);
}

void TestVideoImage::propertiesReachTheDevice()
{
    TVideoImage *camera = MakeCamera({u"USB Camera"_s});
    QVERIFY(camera->GetVideoPropertySettings().isEmpty());
    QVERIFY(!camera->SetVideoPropertySettings(0, 5, false));
    QVERIFY(camera->VideoStart(u"#0"_s));
    const QList<VideoControl> controls = camera->GetVideoPropertySettings();
    QCOMPARE(controls.size(), 1);
    QCOMPARE(VideoPropertyName(controls.first().number), u"增益"_s);
    QVERIFY(camera->SetVideoPropertySettings(9, 42, false));
    QCOMPARE(m_logs[0].controlsSet, (QList<QPair<int, int>>{{9, 42}}));
}

void TestVideoImage::propertyDialogAdjustsTheRunningCamera()
{
    ScriptedPrompter prompter;
    TVideoImage camera([] { return CreateCameraSources(true); });
    // No camera running: nothing to adjust, and the user is told so.
    ShowProperty(camera, nullptr);
    QCOMPARE(prompter.messages, QStringList{u"攝影機沒有可調整的影像屬性"_s});

    QVERIFY(camera.VideoStart(u"#synthetic"_s));
    QCOMPARE(camera.GetVideoPropertySettings().size(), 1);
    QCOMPARE(camera.GetVideoPropertySettings().first().value, 0);
    int sliderMinimum = 0;
    QTimer::singleShot(0, this, [&sliderMinimum] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (auto *brightness = dialog->findChild<QSlider *>(u"Property0"_s)) {
            sliderMinimum = brightness->minimum();
            brightness->setValue(40);
        }
        dialog->reject();
    });
    ShowProperty(camera, nullptr);
    QCOMPARE(sliderMinimum, -64);
    QCOMPARE(camera.GetVideoPropertySettings().first().value, 40);
    // The frames show it: the black strip under the text is lifted to about 40.
    const qint64 before = camera.UnpackedCount();
    QTRY_VERIFY(camera.UnpackedCount() >= before + 2);
    const QColor corner = camera.LatestFrame().pixelColor(639, 479);
    QVERIFY2(qAbs(corner.red() - 40) <= 6, qPrintable(QString::number(corner.red())));
}

void TestVideoImage::syntheticCameraThroughTheWholePath()
{
    // The real device list of the station, with the synthetic pattern, and the real idle clock.
    TVideoImage camera([] { return CreateCameraSources(true); });
    VideoPreview preview;
    preview.resize(336, 252);
    camera.SetDisplayCanvas(&preview);
    QCOMPARE(camera.GetListOfDevices().last(), u"#synthetic"_s);
    QVERIFY(camera.VideoStart(u"#synthetic"_s));

    const QStringList sizes = camera.GetListOfSupportedVideoSizes();
    QCOMPARE(sizes.size(), 12);
    QCOMPARE(sizes.first(), u"320*240  (RGB )"_s);
    QVERIFY(sizes.contains(u"640*480  (YUY2)"_s));
    QCOMPARE(camera.FourCC(), FrameCode::YUY2);

    QTRY_VERIFY(camera.UnpackedCount() >= 2);
    QCOMPARE(camera.LatestFrame().size(), QSize(640, 480));
    QCOMPARE(preview.Frame().size(), QSize(640, 480));

    for (const QString &size : {u"320*240  (MJPG)"_s, u"800*600  (I420)"_s, u"320*240  (RGB )"_s}) {
        camera.SetResolutionByIndex(int(sizes.indexOf(size)));
        const qint64 before = camera.UnpackedCount();
        QTRY_VERIFY(camera.UnpackedCount() >= before + 2);
        QCOMPARE(camera.LatestFrame().size(), size.startsWith(u"800"_s) ? QSize(800, 600) : QSize(320, 240));
        // The colour bars came through: the top-left bar of the pattern is white or nearly so.
        const QImage frame = camera.LatestFrame();
        int bright = 0;
        for (int x = 0; x < frame.width(); x += 8)
            bright += frame.pixelColor(x, 4).lightness() > 180;
        QVERIFY2(bright > 0, qPrintable(size));
        // For a person to look at: the preview of each format.
        const QString shots = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
        if (!shots.isEmpty() && QDir().mkpath(shots)) {
            QString name = size;
            name.replace(QRegularExpression(u"[^0-9A-Za-z]+"_s), u"-"_s);
            preview.grab().save(shots + u"/camera-preview-"_s + name + u".png"_s);
        }
    }
    camera.VideoStop();
    const qint64 stoppedAt = camera.UnpackedCount();
    QTest::qWait(200);
    QCOMPARE(camera.UnpackedCount(), stoppedAt);
}

void TestVideoImage::syntheticCameraOfferedOnlyToDemoAndTests()
{
    const QByteArray home = qgetenv("ROLVAN_HOME");
    const QByteArray choice = qgetenv("ROLVAN_SYNTHETIC_CAMERA");
    qunsetenv("ROLVAN_SYNTHETIC_CAMERA");
    qunsetenv("ROLVAN_HOME");
    QVERIFY(!SyntheticCameraOffered());
    qputenv("ROLVAN_HOME", "/tmp/demo");
    QVERIFY(SyntheticCameraOffered());
    qputenv("ROLVAN_SYNTHETIC_CAMERA", "0");
    QVERIFY(!SyntheticCameraOffered());
    qunsetenv("ROLVAN_HOME");
    qputenv("ROLVAN_SYNTHETIC_CAMERA", "1");
    QVERIFY(SyntheticCameraOffered());
    {
        // A station's camera lists it then, last.
        TVideoImage camera;
        QCOMPARE(camera.GetListOfDevices().last(), u"#synthetic"_s);
    }
    qunsetenv("ROLVAN_SYNTHETIC_CAMERA");
    if (!home.isNull())
        qputenv("ROLVAN_HOME", home);
    if (!choice.isNull())
        qputenv("ROLVAN_SYNTHETIC_CAMERA", choice);
}

QTEST_MAIN(TestVideoImage)
#include "tst_videoimage.moc"

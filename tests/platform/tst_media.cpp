// Sounds, snapshots and the synthetic camera: the station's media pieces.

#include "base/Globals.h"
#include "mock/RecordingSoundPlayer.h"
#include "platform/CameraSource.h"
#include "platform/JpegWriter.h"
#include "platform/QtSoundPlayer.h"
#include "platform/SyntheticCamera.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace Qt::Literals::StringLiterals;

namespace {

struct WavInfo
{
    quint16 formatTag = 0;
    quint16 channels = 0;
    quint32 sampleRate = 0;
    quint32 byteRate = 0;
    quint16 blockAlign = 0;
    quint16 bitsPerSample = 0;
    QByteArray data;
};

// Walks the RIFF chunks of a WAV file; an empty error means it is well formed.
WavInfo ParseWav(const QByteArray &bytes, QString *error)
{
    WavInfo info;
    const auto fail = [&](const QString &why) {
        *error = why;
        return info;
    };
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return fail(u"not a RIFF WAVE file"_s);
    if (qFromLittleEndian<quint32>(bytes.constData() + 4) != quint32(bytes.size() - 8))
        return fail(u"RIFF size does not match the file size"_s);
    bool haveFormat = false;
    qsizetype pos = 12;
    while (pos + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + pos + 4);
        const qsizetype body = pos + 8;
        if (body + qsizetype(size) > bytes.size())
            return fail(u"chunk %1 runs past the end"_s.arg(QString::fromLatin1(id)));
        if (id == "fmt ") {
            if (size < 16)
                return fail(u"format chunk too short"_s);
            const char *p = bytes.constData() + body;
            info.formatTag = qFromLittleEndian<quint16>(p);
            info.channels = qFromLittleEndian<quint16>(p + 2);
            info.sampleRate = qFromLittleEndian<quint32>(p + 4);
            info.byteRate = qFromLittleEndian<quint32>(p + 8);
            info.blockAlign = qFromLittleEndian<quint16>(p + 12);
            info.bitsPerSample = qFromLittleEndian<quint16>(p + 14);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return fail(u"data before format"_s);
            info.data = bytes.mid(body, size);
        }
        pos = body + size + (size & 1);
    }
    if (!haveFormat || info.data.isEmpty())
        return fail(u"format or data chunk missing"_s);
    error->clear();
    return info;
}

qint16 SampleAt(const QByteArray &data, qsizetype index)
{
    return qFromLittleEndian<qint16>(data.constData() + 2 * index);
}

// A picture with detail in it, so JPEG quality makes a difference.
QImage DetailedImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor((x * 7 + y * 3) % 256, (x * x + y) % 256, (x ^ y) * 5 % 256));
    return image;
}

} // namespace

class TestMedia : public QObject
{
    Q_OBJECT

private slots:
    void soundFilesAreValidWav_data();
    void soundFilesAreValidWav();
    void soundFilesDiffer();
    void recorderTakesOverWhileAlive();
    void fallbackPlayerIsSilent();
    void qtPlayerNeverFailsLoudly();

    void jpegRoundTrip_data();
    void jpegRoundTrip();
    void jpegQualityIsClamped();
    void jpegWriteCreatesFolderAndReplaces();
    void jpegWriteFailsCleanly_data();
    void jpegWriteFailsCleanly();

    void cameraDeviceChoice_data();
    void cameraDeviceChoice();
    void syntheticCameraDeliversChangingFrames();
    void syntheticCameraPauseStopAndSizes();
};

// ---- sounds -------------------------------------------------------------------------------

static QString BuildDir()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR");
}

void TestMedia::soundFilesAreValidWav_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("ok") << u"RolvanOK.wav"_s;
    QTest::newRow("duplicate") << u"RolvanDup.wav"_s;
    QTest::newRow("error") << u"RolvanError.wav"_s;
}

void TestMedia::soundFilesAreValidWav()
{
    QFETCH(QString, name);
    QFile file(QDir(BuildDir()).filePath(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QString error;
    const WavInfo wav = ParseWav(file.readAll(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QCOMPARE(wav.formatTag, quint16(1)); // PCM
    QCOMPARE(wav.channels, quint16(1));
    QCOMPARE(wav.sampleRate, quint32(22050));
    QCOMPARE(wav.bitsPerSample, quint16(16));
    QCOMPARE(wav.blockAlign, quint16(2));
    QCOMPARE(wav.byteRate, quint32(44100));
    QCOMPARE(wav.data.size() % 2, 0);

    const qsizetype samples = wav.data.size() / 2;
    const double seconds = double(samples) / 22050;
    QVERIFY2(seconds > 0.1 && seconds < 0.6, qPrintable(QString::number(seconds)));

    // Faded in and out (no click), loud enough to hear, never clipped.
    QVERIFY(qAbs(SampleAt(wav.data, 0)) < 330);
    QVERIFY(qAbs(SampleAt(wav.data, samples - 1)) < 330);
    int peak = 0;
    for (qsizetype i = 0; i < samples; ++i)
        peak = qMax(peak, qAbs(int(SampleAt(wav.data, i))));
    QVERIFY2(peak > 8000 && peak < 32767, qPrintable(QString::number(peak)));
}

void TestMedia::soundFilesDiffer()
{
    QSet<QByteArray> hashes;
    for (const char *name : {"RolvanOK.wav", "RolvanDup.wav", "RolvanError.wav"}) {
        QFile file(QDir(BuildDir()).filePath(QLatin1StringView(name)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        hashes.insert(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256));
    }
    QCOMPARE(hashes.size(), 3);
}

void TestMedia::recorderTakesOverWhileAlive()
{
    SoundPlayer *before = &CurrentSoundPlayer();
    {
        RecordingSoundPlayer recorder;
        QCOMPARE(&CurrentSoundPlayer(), &recorder);
        CurrentSoundPlayer().Play(u"RolvanOK.wav"_s);
        CurrentSoundPlayer().Play(u"RolvanDup.wav"_s);
        CurrentSoundPlayer().Play(u"RolvanOK.wav"_s);
        QCOMPARE(recorder.played, QStringList({u"RolvanOK.wav"_s, u"RolvanDup.wav"_s, u"RolvanOK.wav"_s}));
        QCOMPARE(recorder.last(), u"RolvanOK.wav"_s);
    }
    QCOMPARE(&CurrentSoundPlayer(), before);
}

void TestMedia::fallbackPlayerIsSilent()
{
    SetCurrentSoundPlayer(nullptr);
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    CurrentSoundPlayer().Play(u"RolvanError.wav"_s);
    CurrentSoundPlayer().Play(u"no such file.wav"_s);
}

void TestMedia::qtPlayerNeverFailsLoudly()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());

    // Relative names are taken from the folder given, or else from the program folder.
    QtSoundPlayer player(home.path());
    QCOMPARE(player.ResolvePath(u"RolvanOK.wav"_s), QDir(home.path()).filePath(u"RolvanOK.wav"_s));
    const QString absolute = QDir(home.path()).filePath(u"sub/x.wav"_s);
    QCOMPARE(player.ResolvePath(absolute), absolute);
    Globals globals;
    globals.ExeDir = home.path() + u"/exe/"_s;
    SetGlobals(&globals);
    QCOMPARE(QtSoundPlayer().ResolvePath(u"RolvanDup.wav"_s), home.path() + u"/exe/RolvanDup.wav"_s);
    SetGlobals(nullptr);

    // A missing file is a line in the log, not an error.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"sound file not found:.*missing\\.wav"_s));
    player.Play(u"missing.wav"_s);

    // A real (silent) file plays, or quietly does not on a machine without audio; either way
    // Play returns at once, also when called again while the first is loading.
    QByteArray silent("RIFF");
    const auto u32 = [&silent](quint32 v) { silent.append(reinterpret_cast<const char *>(&v), 4); };
    const auto u16 = [&silent](quint16 v) { silent.append(reinterpret_cast<const char *>(&v), 2); };
    const quint32 dataSize = 2 * 2205;
    u32(qToLittleEndian(36 + dataSize));
    silent.append("WAVEfmt ");
    u32(qToLittleEndian(16u));
    u16(qToLittleEndian(quint16(1)));
    u16(qToLittleEndian(quint16(1)));
    u32(qToLittleEndian(22050u));
    u32(qToLittleEndian(44100u));
    u16(qToLittleEndian(quint16(2)));
    u16(qToLittleEndian(quint16(16)));
    silent.append("data");
    u32(qToLittleEndian(dataSize));
    silent.append(QByteArray(dataSize, '\0'));
    QFile wav(QDir(home.path()).filePath(u"quiet.wav"_s));
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.write(silent);
    wav.close();
    player.Play(u"quiet.wav"_s);
    player.Play(u"quiet.wav"_s);
    player.Play(QString());
}

// ---- JPEG ---------------------------------------------------------------------------------

void TestMedia::jpegRoundTrip_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("rgb888 640x480") << QImage::Format_RGB888 << QSize(640, 480);
    // 33 pixels of 3 bytes: rows are padded, so the row pitch must be honoured.
    QTest::newRow("rgb888 odd width") << QImage::Format_RGB888 << QSize(33, 17);
    QTest::newRow("rgb32") << QImage::Format_RGB32 << QSize(64, 48);
    QTest::newRow("argb32 premultiplied") << QImage::Format_ARGB32_Premultiplied << QSize(64, 48);
    QTest::newRow("grayscale") << QImage::Format_Grayscale8 << QSize(50, 30);
}

void TestMedia::jpegRoundTrip()
{
    QFETCH(QImage::Format, format);
    QFETCH(QSize, size);

    // Left half red, right half blue: a swap of the colour channels shows at once.
    QImage source(size, QImage::Format_RGB888);
    source.fill(QColor(20, 40, 220));
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            source.setPixelColor(x, y, QColor(220, 30, 30));
    const QImage image = source.convertToFormat(format);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"snap.jpg"_s);
    QString error;
    QVERIFY2(WriteJpegFile(image, path, 90, &error), qPrintable(error));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xFF\xD8"));
    QVERIFY(bytes.endsWith("\xFF\xD9"));

    QImage back;
    QVERIFY(back.loadFromData(bytes, "JPG"));
    QCOMPARE(back.size(), size);
    for (const QPoint p : {QPoint(size.width() / 4, size.height() / 2), QPoint(size.width() * 3 / 4, size.height() / 2)}) {
        const QColor want = image.pixelColor(p);
        const QColor got = back.pixelColor(p);
        QVERIFY2(qAbs(want.red() - got.red()) < 16 && qAbs(want.green() - got.green()) < 16
                     && qAbs(want.blue() - got.blue()) < 16,
                 qPrintable(u"%1 became %2"_s.arg(want.name(), got.name())));
    }
}

void TestMedia::jpegQualityIsClamped()
{
    const QImage image = DetailedImage(96, 64);
    const QByteArray lowest = EncodeJpeg(image, 1);
    const QByteArray highest = EncodeJpeg(image, 100);
    QVERIFY(!lowest.isEmpty());
    QVERIFY(highest.size() > lowest.size());
    QCOMPARE(EncodeJpeg(image, 0), lowest);
    QCOMPARE(EncodeJpeg(image, -40), lowest);
    QCOMPARE(EncodeJpeg(image, 101), highest);
    QCOMPARE(EncodeJpeg(image, 5000), highest);
}

void TestMedia::jpegWriteCreatesFolderAndReplaces()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"查核資料檔案/ABC12345678/PIC"_s);
    const QString path = folder + u"/A123456789.jpg"_s;
    QVERIFY(WriteJpegFile(DetailedImage(80, 60), path, 75));
    QVERIFY(WriteJpegFile(DetailedImage(40, 30), path, 75));
    QCOMPARE(QImage(path).size(), QSize(40, 30));
    // Nothing but the picture is left behind.
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"A123456789.jpg"_s});
}

void TestMedia::jpegWriteFailsCleanly_data()
{
    QTest::addColumn<bool>("nullImage");
    QTest::addColumn<QString>("relativePath"); // inside a scratch folder holding a file "plain"
    QTest::addColumn<QString>("messagePart");
    QTest::newRow("null image") << true << u"snap.jpg"_s << u"沒有影像"_s;
    QTest::newRow("empty path") << false << QString() << u"未指定"_s;
    QTest::newRow("folder is a file") << false << u"plain/snap.jpg"_s << u"無法建立資料夾"_s;
    QTest::newRow("path is a folder") << false << u"sub"_s << u"無法寫入檔案"_s;
}

void TestMedia::jpegWriteFailsCleanly()
{
    QFETCH(bool, nullImage);
    QFETCH(QString, relativePath);
    QFETCH(QString, messagePart);

    QTemporaryDir dir;
    QFile plain(dir.filePath(u"plain"_s));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("not a folder");
    plain.close();
    QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const QImage image = nullImage ? QImage() : DetailedImage(16, 16);
    const QString path = relativePath.isEmpty() ? QString() : dir.filePath(relativePath);
    QString error;
    QVERIFY(!WriteJpegFile(image, path, 80, &error));
    QVERIFY2(error.contains(messagePart), qPrintable(error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QVERIFY(QDir(dir.filePath(u"sub"_s)).isEmpty());
    QVERIFY(EncodeJpeg(QImage(), 80).isEmpty());
}

// ---- camera -------------------------------------------------------------------------------

void TestMedia::cameraDeviceChoice_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::newRow("#0 is the first") << u"#0"_s << 0;
    QTest::newRow("#1 is the second") << u"#1"_s << 1;
    QTest::newRow("#2 is past the list") << u"#2"_s << -1;
    QTest::newRow("name, trimmed and case-blind") << u"  usb camera "_s << 0;
    QTest::newRow("name of the second") << u"INTEGRATED WEBCAM"_s << 1;
    QTest::newRow("two digits are a name") << u"#12"_s << -1;
    QTest::newRow("unknown name") << u"Document camera"_s << -1;
    QTest::newRow("empty") << QString() << -1;
}

void TestMedia::cameraDeviceChoice()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QCOMPARE(FindCameraDevice({u"USB Camera"_s, u"Integrated Webcam"_s}, name), index);
}

void TestMedia::syntheticCameraDeliversChangingFrames()
{
    SyntheticCamera camera;
    QCOMPARE(camera.GetListOfDevices(), QStringList{u"#synthetic"_s});
    QVERIFY(camera.LatestFrame().isNull());
    QVERIFY(!camera.VideoStart(u"USB Camera"_s));
    QVERIFY(!camera.IsRunning());

    QList<QImage> delivered;
    camera.SetFrameCallback([&](const QImage &frame) {
        QCOMPARE(frame, camera.LatestFrame());
        delivered << frame;
    });
    QVERIFY(camera.VideoStart(u"#synthetic"_s));
    QVERIFY(camera.IsRunning());
    const QImage first = camera.LatestFrame();
    QCOMPARE(first.size(), QSize(640, 480));
    QCOMPARE(first.format(), QImage::Format_RGB888);

    QTRY_VERIFY(delivered.size() >= 2);
    QVERIFY(delivered.last() != first);
    QVERIFY(delivered.last() != delivered.first());
    camera.VideoStop();
}

void TestMedia::syntheticCameraPauseStopAndSizes()
{
    SyntheticCamera camera;
    QCOMPARE(camera.GetListOfSupportedVideoSizes(),
             QStringList({u"320*240  (RGB )"_s, u"640*480  (RGB )"_s, u"800*600  (RGB )"_s}));
    int frames = 0;
    camera.SetFrameCallback([&](const QImage &) { ++frames; });
    QVERIFY(camera.VideoStart(u"#0"_s));

    camera.SetResolutionByIndex(0);
    QCOMPARE(camera.LatestFrame().size(), QSize(320, 240));
    camera.SetResolutionByIndex(3);
    camera.SetResolutionByIndex(-1);
    QCOMPARE(camera.LatestFrame().size(), QSize(320, 240));
    QTRY_VERIFY(frames >= 1);

    // Paused: no frames until resumed.
    camera.VideoPause();
    QVERIFY(camera.GetIsPaused());
    const int pausedAt = frames;
    QTest::qWait(150);
    QCOMPARE(frames, pausedAt);
    camera.VideoResume();
    QVERIFY(!camera.GetIsPaused());
    QTRY_VERIFY(frames > pausedAt);

    // Stopped: no more frames, the last one is kept.
    camera.VideoStop();
    QVERIFY(!camera.IsRunning());
    const int stoppedAt = frames;
    const QImage last = camera.LatestFrame();
    QTest::qWait(150);
    QCOMPARE(frames, stoppedAt);
    QCOMPARE(camera.LatestFrame(), last);
    QCOMPARE(last.size(), QSize(320, 240));
}

QTEST_MAIN(TestMedia)
#include "tst_media.moc"

#pragma once

// A station with a working database copied from the template, one class of ten enrolled
// persons with two lessons today, a fixed clock, a scripted prompter and a sound recorder.

#include "core/DbFunctions.h"
#include "station/Activation.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/RecordingSoundPlayer.h"
#include "mock/ScriptedPrompter.h"
#include "platform/CameraSource.h"
#include "station/IdentityResolver.h"
#include "station/SignRecorder.h"
#include "station/StationState.h"

#include "mock/TestDatabase.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A view that keeps what it was told to show.
class RecordingSignView final : public SignView
{
public:
    void ShowHistory(const QList<HistoryRow> &rows) override { history = rows; }
    void ShowFailure(const QString &text) override
    {
        failure = text;
        failureShown = true;
    }
    void HideFailure() override { failureShown = false; }
    void UpdateCounter(const QString &ioType, const QString &caption) override
    {
        captions.insert(ioType, caption);
    }
    void FocusEntry() override { ++focusCount; }

    QList<HistoryRow> history;
    QString failure;
    bool failureShown = false;
    QHash<QString, QString> captions;
    int focusCount = 0;
};

// A camera that shows whatever picture the test gives it.
class StillCamera final : public CameraSource
{
public:
    QStringList GetListOfDevices() const override { return {QStringLiteral("still")}; }
    bool VideoStart(const QString &) override { return true; }
    void VideoStop() override {}
    void VideoPause() override {}
    void VideoResume() override {}
    bool GetIsPaused() const override { return false; }
    bool IsRunning() const override { return true; }
    QStringList GetListOfSupportedVideoSizes() const override { return {}; }
    void SetResolutionByIndex(int) override {}
    QImage LatestFrame() const override { return frame; }

    void Fill(const QColor &colour)
    {
        frame = QImage(64, 48, QImage::Format_RGB888);
        frame.fill(colour);
    }
    QImage frame;
};

struct EnrolledPerson
{
    const char16_t *id;
    const char16_t *idno;
    const char16_t *name;
};

// Two persons share the last five characters "12345", two the last four "3333"; one has no
// personnel number; one name carries an apostrophe; H199999999 belongs to another class.
inline const QList<EnrolledPerson> &ClassPersons()
{
    static const QList<EnrolledPerson> persons = {
        {u"A123412345", u"000101", u"王小明"},   {u"B223412345", u"000102", u"李大華"},
        {u"C187654321", u"000103", u"陳美玲"},   {u"D120000001", u"000104", u"O'Neil 林"},
        {u"E100000777", u"", u"張三"},            {u"F122223333", u"000106", u"黃四郎"},
        {u"G155553333", u"000107", u"吳五娘"},   {u"K211110000", u"000108", u"周六"},
        {u"M100002468", u"VID0000009", u"鄭七"}, {u"N200013579", u"000110", u"許八"},
    };
    return persons;
}

class SignInFixture
{
public:
    static QString ClassKey() { return QStringLiteral("ABC1234567801"); }
    static QString LessonKey() { return QStringLiteral("ABC12345678000109:00"); }

    SignInFixture()
    {
        const QString templatePath =
            qEnvironmentVariable("ROLVAN_BUILD_DIR") + QStringLiteral("/SampleQuorin.db");
        QVERIFY(QFile::copy(templatePath, dir.filePath(QStringLiteral("Quorin.db"))));
        globals.ExeDir = dir.path() + QDir::separator();
        globals.CourseNoLength = 11;
        globals.CurrentClassKey = ClassKey();
        SetGlobals(&globals);
        dm = std::make_unique<TestDataModule>(globals);
        QString error;
        QVERIFY2(TestBackend::OpenWorkingDatabase(*dm, dir.filePath(QStringLiteral("Quorin.db")), &error),
                 qPrintable(error));
        globals.IdnoCaption = ReadIdnoCaption(dm->Con1());
        QCOMPARE(globals.IdnoCaption, QStringLiteral("會員編號"));
        SetCurrentClock(&clock);

        QVERIFY(dm->Con1().transaction());
        for (const EnrolledPerson &p : ClassPersons())
            Enrol(ClassKey(), QString::fromUtf16(p.id), QString::fromUtf16(p.idno),
                  QString::fromUtf16(p.name));
        Enrol(QStringLiteral("ZZZ0000000001"), QStringLiteral("H199999999"),
              QStringLiteral("000999"), QStringLiteral("別班人"));
        QVERIFY(dm->Con1().commit());

        station.ClassKey = ClassKey();
        station.ClassSigner = QStringLiteral("內外");
        station.VINDEX_IO = LessonKey();
        station.LessonText = QStringLiteral("0001:法規(09:00)");
        station.StationReady = true;
        station.TypeChecked = true;
        station.CurrentIoType = QStringLiteral("0");
        station.StationNo = QStringLiteral("07");
        station.NtpFlag = QStringLiteral("Y");
        station.preBooking = true;
        station.photoOn = false;
        station.imgPath = dir.filePath(QStringLiteral("pictures"));
        resolver = std::make_unique<IdentityResolver>(station, *dm);
        resolver->LoadSettings();
        recorder = std::make_unique<SignRecorder>(station, *dm, *resolver, view);
    }

    ~SignInFixture()
    {
        recorder.reset();
        resolver.reset();
        dm.reset();
        SetCurrentClock(nullptr);
        SetGlobals(nullptr);
    }

    void Enrol(const QString &classKey, const QString &id, const QString &idno, const QString &name)
    {
        QVERIFY(ExecSqlOn(QStringLiteral("insert into Booking (Index_key, ID, IDNO, NAME) values (?, ?, ?, ?)"),
                          dm->Con1(), {classKey, id, idno, name}));
    }

    void SetTime(int h, int m, int s, QDate date = QDate(2025, 5, 3))
    {
        clock.set(QDateTime(date, QTime(h, m, s)));
    }

    int PsioCount(const QString &where = QString(), const QVariantList &params = {})
    {
        return QueryValue(QStringLiteral("select count(*) from PSIO") + where, params).toInt();
    }

    QTemporaryDir dir;
    Globals globals;
    std::unique_ptr<TDM> dm;
    FixedClock clock;
    ScriptedPrompter prompter;
    RecordingSoundPlayer sounds;
    StationState station;
    RecordingSignView view;
    std::unique_ptr<IdentityResolver> resolver;
    std::unique_ptr<SignRecorder> recorder;
};

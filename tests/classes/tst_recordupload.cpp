// Record uploads and the exchange of sign events between the stations of a class, against the
// fake training service: the sign-event package (its file, the events' own station numbers,
// snapshots found in either folder layout, a missing one listed but not packed), the time-stamp
// check file, merging a package twice, lines that cannot be read, hostile downloads, upload
// failures, and two stations on two databases exchanging their events; then "送件" on one of
// them sends the CSV files the reports window writes.

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "Fun/ZipFunctions.h"
#include "classes/ClassImport.h"
#include "classes/RecordUpload.h"
#include "classes/TrainingService.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/Schema.h"
#include "core/TDM.h"
#include "fakeservice/FakeService.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reports/TFmReport.h"
#include "station/SignRecorder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

const QString ClassNo = u"11501000001"_s;
const QString ClassKey = ClassNo + u"00"_s;

// One station: its own home, database (a template copy with the class downloaded) and picture
// folder.
struct Station
{
    std::unique_ptr<TestDatabase> home;
    RecordUpload::Places places;

    QSqlDatabase db() { return home->dm().Con1(); }
    QString classFolder() const { return places.classFolder(ClassNo); }
};

QString RocDay(int daysFromToday)
{
    const QDate d = QDate::currentDate().addDays(daysFromToday);
    return ZeroPad(d.year() - 1911, 3) + ZeroPad(d.month(), 2) + ZeroPad(d.day(), 2);
}

// A lesson key of the fixture class (class number + CNo4 + start time).
QString Lesson(const QString &cno4) { return ClassNo + cno4 + u"09:00"_s; }

struct Event
{
    QString door;
    QString idno;
    QString date;
    QString time;
    QString type = u"0"_s;
    QString way = u"KB"_s;
    QString indexKey = Lesson(u"A103"_s);
    QString net = QString();
};

QString SnapshotName(const Event &e)
{
    return SignRecorder::SnapshotFileName(ClassKey, e.idno, e.date, e.time, e.type, e.way);
}

void Insert(Station &s, const Event &e)
{
    QSqlQuery q(s.db());
    q.prepare(
        u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, Web, INDEX_KEY, NTP) "
        "values (?, ?, ?, ?, ?, ?, ?, '', ?, 'Y')"_s);
    for (const QString &v : { e.door, e.idno, e.date, e.time, e.type, e.way, e.net, e.indexKey })
        q.addBindValue(v);
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
}

// The snapshot of the event in the given folder under the picture folder.
void PutSnapshot(Station &s, const Event &e, const QString &subFolder)
{
    const QString folder = JoinPath(s.places.pictureDir, subFolder);
    QVERIFY(QDir().mkpath(folder));
    QFile f(JoinPath(folder, SnapshotName(e)));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("JPEG of " + SnapshotName(e).toUtf8());
}

// The sign events of a station, sorted, every column but the row numbers.
QStringList Events(Station &s)
{
    QStringList rows;
    QSqlQuery q(s.db());
    q.exec(u"select DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, Web, INDEX_KEY, SEATS, NTP "
           u"from PSIO "
           "order by IODATE, IOTIME, IDNO, IOTYPE, DOOR"_s);
    while (q.next()) {
        QStringList cells;
        for (int c = 0; c < q.record().count(); ++c)
            cells << q.value(c).toString();
        rows << cells.join(u'|');
    }
    return rows;
}

// The entries of a ZIP file as name -> content.
QMap<QString, QByteArray> Entries(const QString &zipPath)
{
    QMap<QString, QByteArray> entries;
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(zipPath).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(archive, zip_uint64_t(i), 0, &st);
        QByteArray data(qsizetype(st.size), '\0');
        if (zip_file_t *f = zip_fopen_index(archive, zip_uint64_t(i), 0)) {
            zip_fread(f, data.data(), st.size);
            zip_fclose(f);
        }
        entries.insert(QString::fromUtf8(st.name), data);
    }
    zip_discard(archive);
    return entries;
}

QMap<QString, QByteArray> EntriesOf(const QByteArray &zip)
{
    QTemporaryDir dir;
    QFile f(dir.filePath(u"x.zip"_s));
    f.open(QIODevice::WriteOnly);
    f.write(zip);
    f.close();
    return Entries(f.fileName());
}

// A ZIP made of the given entries, written as they are (hostile names included).
QByteArray ArchiveOf(const QList<std::pair<QByteArray, QByteArray>> &entries)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"a.zip"_s);
    int error = 0;
    zip_t *archive
        = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto &[name, content] : entries) {
        zip_source_t *source
            = zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        zip_file_add(archive, name.constData(), source, ZIP_FL_ENC_RAW);
    }
    zip_close(archive);
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Every column of a station's rows recorded at the given station, row numbers included.
QStringList RowsOf(Station &s, const QString &door)
{
    QStringList rows;
    QSqlQuery q(s.db());
    q.prepare(u"select RID, RID2, DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, Web, INDEX_KEY, "
              u"SEATS, NTP from PSIO where DOOR = ? order by RID"_s);
    q.addBindValue(door);
    if (!q.exec())
        return { q.lastError().text() };
    while (q.next()) {
        QStringList cells;
        for (int c = 0; c < q.record().count(); ++c)
            cells << (q.isNull(c) ? u"NULL"_s : q.value(c).toString());
        rows << cells.join(u'|');
    }
    return rows;
}

// A package as the service hands it to a station: its files in the download folder, the
// snapshots under PIC.
void Deliver(const QString &zip, Station &to)
{
    const QString folder = to.places.downloadFolder(ClassNo);
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder + u"/PIC"_s));
    const auto entries = Entries(zip);
    QVERIFY(!entries.isEmpty());
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        QString name = it.key();
        if (name.endsWith(u'/'))
            continue;
        name.replace(u"Pic/"_s, u"PIC/"_s);
        QFile f(folder + u'/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(it.value());
    }
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestRecordUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void eventPackage();
    void refusals();
    void timeErrLines_data();
    void timeErrLines();
    void timeStampFile();
    void mergeTwiceAndDoorRoundTrip();
    void mergeLeavesThisStationsOwnRowsAsTheyAre();
    void mergeSkipsLinesItCannotRead_data();
    void mergeSkipsLinesItCannotRead();
    void hostileDownload_data();
    void hostileDownload();
    void uploadFailures_data();
    void uploadFailures();
    void twoStationsExchangeThenSubmit();

private:
    std::unique_ptr<Station> MakeStation(const QString &stationNo);
    std::unique_ptr<TrainingService> Service(int timeoutMs = 10000);
    QString CheckedToken(TrainingService &service);

    std::unique_ptr<FakeService> m_fake;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    // Made in this order and ended in the reverse: each home installs its settings over the last.
    std::unique_ptr<Station> m_s02;
    std::unique_ptr<Station> m_s01;
    WebClassEntry m_entry;
};

void TestRecordUpload::initTestCase()
{
    m_fake = std::make_unique<FakeService>();
    QVERIFY2(m_fake->start(), qPrintable(m_fake->error()));
}

void TestRecordUpload::init()
{
    QVERIFY(m_fake->resetAll());
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_s02 = MakeStation(u"02"_s);
    m_s01 = MakeStation(u"01"_s);
    QVERIFY(m_s01 && m_s02);
}

void TestRecordUpload::cleanup()
{
    m_s01.reset();
    m_s02.reset();
    m_prompter.reset();
}

std::unique_ptr<TrainingService> TestRecordUpload::Service(int timeoutMs)
{
    ServiceSettings settings;
    settings.baseUrl = m_fake->base();
    settings.trustedCaFile = m_fake->caFile();
    settings.unitCode = u"X001"_s;
    settings.timeoutMs = timeoutMs;
    return std::make_unique<TrainingService>(settings);
}

QString TestRecordUpload::CheckedToken(TrainingService &service)
{
    const ServiceOutcome<QString> token = service.FetchCheckToken();
    if (!token.ok() || !m_fake->markChecked(token.value))
        return {};
    return token.value;
}

std::unique_ptr<Station> TestRecordUpload::MakeStation(const QString &stationNo)
{
    auto s = std::make_unique<Station>();
    s->home = std::make_unique<TestDatabase>();
    // The template beside the program (its sys_ini holds the shared settings) and a working
    // database copied from it.
    const QString templatePath = qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
    const QString sample = s->home->globals().samplePath();
    const QString work = s->home->dir() + u"/Work.db"_s;
    if (!QFile::copy(templatePath, work) || !QFile::copy(templatePath, sample))
        return nullptr;
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(sample, QFile::ReadOwner | QFile::WriteOwner);
    if (!s->home->dm().OpenSampleDatabase(sample) || !TestBackend::OpenWorkingDatabase(s->home->dm(), work, nullptr))
        return nullptr;
    if (!TestBackend::UsesPostgres())
        QSqlQuery(s->db()).exec(u"PRAGMA synchronous = OFF"_s);
    s->places.pictureDir = s->home->dir() + u"/查核資料檔案"_s;
    s->places.stationNo = stationNo;
    s->places.courseNoLength = 11;
    s->places.snapshotRule = u"課程編號"_s;
    // The settings of this home (its Globals are the current ones now).
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, s->places.pictureDir);
    WriteIniSetting(IniSection::Base, IniKey::StationNo, stationNo);
    WriteIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, s->places.snapshotRule);
    m_fake->configureStation();

    // The class, its students and lessons, as the class download writes them.
    auto service = Service();
    const ServiceOutcome<QByteArray> list = service->FetchClassListText();
    QString error;
    const auto parsed = ClassImport::ParseClassList(list.value, QDate::currentDate(), &error);
    if (!parsed)
        return nullptr;
    m_entry = parsed->entries.at(0);
    if (!ClassImport::DownloadClass(
            *service, s->db(), m_entry, u"測試訓練中心"_s, QDateTime::currentDateTime(), &error))
        return nullptr;
    return s;
}

void TestRecordUpload::eventPackage()
{
    Station &s = *m_s01;
    const QString today = RocDay(0);
    const Event own { u"01"_s, u"A123456789"_s, today, u"090101"_s };
    const Event blankDoor { u""_s, u"B223456789"_s, today, u"090202"_s };
    const Event merged { u"02"_s, u"C123456780"_s, today, u"090303"_s, u"0"_s, u"KB"_s,
        Lesson(u"A103"_s), u"a,\"b\""_s };
    const Event missing { u"01"_s, u"D123456781"_s, today, u"090404"_s };
    const Event otherClass { u"01"_s, u"A123456789"_s, today, u"090505"_s, u"0"_s, u"KB"_s,
        u"11501000003B20113:30"_s };
    for (const Event &e : { own, blankDoor, merged, missing, otherClass })
        Insert(s, e);
    PutSnapshot(s, own, ClassNo + u"/PIC"_s);
    PutSnapshot(s, blankDoor, today.left(5)); // the year-month layout
    PutSnapshot(s, merged, ClassNo + u"/PIC"_s);

    const RecordUpload::EventPackage package
        = RecordUpload::BuildEventPackage(s.db(), s.places, ClassKey, ClassNo);
    QCOMPARE(package.events, 4);
    QCOMPARE(package.pictures, 3);
    QCOMPARE(package.missing, QStringList { SnapshotName(missing) });
    QCOMPARE(package.zipPath, s.places.eventPackage(ClassNo));
    QVERIFY(package.message().startsWith(u"匯出檔案"_s
        + QDir::toNativeSeparators(
            s.places.pictureDir + u"/upperload/"_s + ClassNo + u"/"_s + ClassNo)
        + u".csv 資料筆數:4"_s));
    // The working folder is gone; the package stays.
    QVERIFY(!QFileInfo::exists(s.places.pictureDir + u"/upperload/"_s + ClassNo));

    const auto entries = Entries(package.zipPath);
    QCOMPARE(QStringList(entries.keys()).filter(u".jpg"_s).size(), 3);
    QVERIFY(entries.contains(u"Pic/"_s + SnapshotName(own)));
    QVERIFY(entries.contains(u"Pic/"_s + SnapshotName(blankDoor)));
    QVERIFY(!entries.contains(u"Pic/"_s + SnapshotName(missing)));

    const QByteArray csv = entries.value(ClassNo + u".csv"_s);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split(u"\r\n"_s);
    QCOMPARE(lines.size(), 6); // header, four events, the empty text after the last CR LF
    QCOMPARE(lines.at(0), FindTable(u"PSIO"_s)->columnNames().join(u','));
    QCOMPARE(lines.at(1),
        u"01,A123456789,"_s + today + u",090101,0,KB,,,"_s + Lesson(u"A103"_s)
            + u",,000000001,000000000,Y"_s);
    QVERIFY(lines.at(2).startsWith(u"01,B223456789,"_s)); // no station of its own: this one's
    QCOMPARE(lines.at(3).section(u',', 0, 1), u"02,C123456780"_s); // kept, not relabelled
    QVERIFY(lines.at(3).contains(u",\"a,\"\"b\"\"\","_s));
    QVERIFY(lines.at(4).startsWith(u"01,D123456781,"_s)); // listed although its snapshot is missing
}

void TestRecordUpload::refusals()
{
    Station &s = *m_s01;
    // A class without sign events builds nothing.
    const auto none = RecordUpload::BuildEventPackage(s.db(), s.places, ClassKey, ClassNo);
    QCOMPARE(none.events, 0);
    QVERIFY(none.zipPath.isEmpty());
    QVERIFY(!QFileInfo::exists(s.places.pictureDir + u"/upperload"_s));

    const auto refused = [&](const std::function<void()> &run) {
        try {
            run();
        } catch (const RolvanError &e) {
            return e.message();
        }
        return QString();
    };
    QCOMPARE(refused([&] { RecordUpload::BuildEventPackage(s.db(), s.places, u"   "_s, ClassNo); }),
        RecordUpload::NoClassMessage);
    QCOMPARE(refused([&] { RecordUpload::BuildEventPackage(s.db(), s.places, ClassKey, u" "_s); }),
        RecordUpload::NoClassMessage);
    QCOMPARE(refused([&] {
        RecordUpload::MergeDownloadedPackage(s.db(), s.places, ClassKey, QString());
    }),
        RecordUpload::NoClassMessage);
    QVERIFY(refused([&] {
        RecordUpload::BuildAuditPackage(s.places, u"../../etc00"_s);
    }).contains(u"資料夾名稱"_s));
    QVERIFY(refused([&] {
        RecordUpload::MergeDownloadedPackage(s.db(), s.places, ClassKey, u".."_s);
    }).contains(u"資料夾名稱"_s));
}

void TestRecordUpload::timeErrLines_data()
{
    QTest::addColumn<QStringList>("stamps");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("clock went back once")
        << QStringList { u"240506080000"_s, u"240506090000"_s, u"240506085900"_s }
        << QStringList { u"240506080000"_s, u"240506080000"_s, u"240506090000"_s,
               u"240506085900(1)"_s, u"240506085900"_s };
    QTest::newRow("always forward")
        << QStringList { u"240506080000"_s, u"240506090000"_s } << QStringList {};
    QTest::newRow("none") << QStringList {} << QStringList {};
    QTest::newRow("twice, equal steps are no fault")
        << QStringList { u"2405061000"_s, u"2405060900"_s, u"2405060900"_s, u"2405060800"_s }
        << QStringList { u"2405061000"_s, u"2405061000"_s, u"2405060900(1)"_s, u"2405060900"_s,
               u"2405060800(2)"_s, u"2405060800"_s };
}

void TestRecordUpload::timeErrLines()
{
    QFETCH(QStringList, stamps);
    QFETCH(QStringList, lines);
    QCOMPARE(RecordUpload::TimeErrLines(stamps), lines);
}

void TestRecordUpload::timeStampFile()
{
    Station &s = *m_s01;
    QSqlQuery q(s.db());
    // Before the class's first day (2024/05/06): not part of the check.
    for (const QString &stamp :
        { u"240505235900"_s, u"240506080000"_s, u"240506090000"_s, u"240506085900"_s })
        QVERIFY(q.exec(u"insert into TimeLog (TimeStr, STATUS) values ('%1', 'OK')"_s.arg(stamp)));
    const QString path = RecordUpload::CheckTimeStamps(s.db(), s.places, ClassKey, u"2024/05/06"_s);
    QCOMPARE(path, s.classFolder() + u"/"_s + ClassNo + u"_TimeErr.txt"_s);
    QCOMPARE(ReadAll(path),
        QByteArray("240506080000\r\n240506080000\r\n240506090000\r\n240506085900(1)\r\n"
                   "240506085900\r\n"));
    // A later run whose clock went only forward leaves no file of the earlier run behind.
    QVERIFY(q.exec(u"delete from TimeLog where TimeStr = '240506085900'"_s));
    QVERIFY(RecordUpload::CheckTimeStamps(s.db(), s.places, ClassKey, u"2024/05/06"_s).isEmpty());
    QVERIFY(!QFileInfo::exists(path));
}

void TestRecordUpload::mergeTwiceAndDoorRoundTrip()
{
    // Station 02's events reach station 01 as the service hands them out: the package's CSV under
    // the course id, the snapshots in PIC.
    const QString today = RocDay(0);
    const Event a { u"02"_s, u"A123456789"_s, today, u"090101"_s };
    const Event b { u"02"_s, u"B223456789"_s, today, u"090202"_s, u"1"_s, u"SR"_s };
    for (const Event &e : { a, b })
        Insert(*m_s02, e);
    PutSnapshot(*m_s02, a, ClassNo + u"/PIC"_s);
    const auto package
        = RecordUpload::BuildEventPackage(m_s02->db(), m_s02->places, ClassKey, ClassNo);
    const auto deliver = [this](const QString &zip) {
        const QString folder = m_s01->places.downloadFolder(ClassNo);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder + u"/PIC"_s);
        const auto entries = Entries(zip);
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            QString name = it.key();
            if (name.endsWith(u'/'))
                continue;
            name.replace(u"Pic/"_s, u"PIC/"_s);
            QFile f(folder + u'/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(it.value());
        }
    };
    deliver(package.zipPath);

    const auto first
        = RecordUpload::MergeDownloadedPackage(m_s01->db(), m_s01->places, ClassKey, ClassNo);
    QCOMPARE(first.merged, 2);
    QCOMPARE(first.added, 2);
    QCOMPARE(first.pictures, 1);
    QCOMPARE(first.messages(), QStringList { u"總共 匯入筆數：2 筆\n"_s });
    const QStringList after = Events(*m_s01);
    QCOMPARE(after, Events(*m_s02));
    QVERIFY(QFileInfo::exists(m_s01->classFolder() + u"/PIC/"_s + SnapshotName(a)));

    const auto second
        = RecordUpload::MergeDownloadedPackage(m_s01->db(), m_s01->places, ClassKey, ClassNo);
    QCOMPARE(second.merged, 2);
    QCOMPARE(second.added, 0);
    QCOMPARE(second.pictures, 0);
    QCOMPARE(Events(*m_s01), after);

    // Station 01 sends them on with station 02's number: station 02 finds its own rows again.
    Insert(*m_s01, { u"01"_s, u"C123456780"_s, today, u"090303"_s });
    const auto back
        = RecordUpload::BuildEventPackage(m_s01->db(), m_s01->places, ClassKey, ClassNo);
    const QString csv = QString::fromUtf8(Entries(back.zipPath).value(ClassNo + u".csv"_s));
    QCOMPARE(csv.count(u"\r\n02,"_s), 2);
    QCOMPARE(csv.count(u"\r\n01,"_s), 1);
    std::swap(m_s01->places, m_s02->places); // deliver into station 02's download folder
    deliver(back.zipPath);
    std::swap(m_s01->places, m_s02->places);
    const auto returned
        = RecordUpload::MergeDownloadedPackage(m_s02->db(), m_s02->places, ClassKey, ClassNo);
    QCOMPARE(returned.merged, 3);
    QCOMPARE(returned.added, 1);
    QCOMPARE(Events(*m_s02), Events(*m_s01));
}

void TestRecordUpload::mergeLeavesThisStationsOwnRowsAsTheyAre()
{
    // Station 02 has events of its own first, so that its row numbers differ from station 01's.
    const QString today = RocDay(0);
    for (const QString &time : { u"080101"_s, u"080202"_s, u"080303"_s })
        Insert(*m_s02, { u"02"_s, u"E123456789"_s, today, time, u"9"_s });
    const QList<Event> at01 { { u"01"_s, u"A123456789"_s, today, u"090101"_s },
        { u"01"_s, u"B223456789"_s, today, u"090202"_s, u"1"_s, u"SR"_s } };
    for (const Event &e : at01)
        Insert(*m_s01, e);

    // Station 02 merges station 01's package, then sends station 01's events on in its own.
    Deliver(RecordUpload::BuildEventPackage(m_s01->db(), m_s01->places, ClassKey, ClassNo).zipPath,
        *m_s02);
    QCOMPARE(
        RecordUpload::MergeDownloadedPackage(m_s02->db(), m_s02->places, ClassKey, ClassNo).added,
        2);
    const auto relayed
        = RecordUpload::BuildEventPackage(m_s02->db(), m_s02->places, ClassKey, ClassNo);
    QCOMPARE(relayed.events, 5);
    const QStringList own = RowsOf(*m_s01, u"01"_s);
    QCOMPARE(own.size(), 2);

    Deliver(relayed.zipPath, *m_s01);
    const auto merged
        = RecordUpload::MergeDownloadedPackage(m_s01->db(), m_s01->places, ClassKey, ClassNo);
    QCOMPARE(merged.added, 3);
    QCOMPARE(merged.skipped, 0);
    // Station 01's own rows keep every column, RID2 included; station 02's carry its numbers.
    QCOMPARE(RowsOf(*m_s01, u"01"_s), own);
    QCOMPARE(QueryValueIn(u"select count(*) from PSIO where DOOR = '02' and RID2 is not null"_s,
                 m_s01->db())
                 .toInt(),
        3);
    // Merging it again changes nothing either.
    RecordUpload::MergeDownloadedPackage(m_s01->db(), m_s01->places, ClassKey, ClassNo);
    QCOMPARE(RowsOf(*m_s01, u"01"_s), own);
}

void TestRecordUpload::mergeSkipsLinesItCannotRead_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("merged");
    const QString today = RocDay(0);
    const QString tail = u","_s + Lesson(u"A103"_s) + u",,000000007,000000000,Y"_s;
    QTest::newRow("a good line") << u"02,A123456789,"_s + today + u",090000,0,KB,,"_s + tail << 1;
    QTest::newRow("quoted comma") << u"02,A123456789,"_s + today + u",090000,0,KB,,,"_s
            + Lesson(u"A103"_s) + u",\"x,\"\"y\"\"\",000000007,000000000,Y"_s
                                  << 1;
    QTest::newRow("too few fields") << u"02,A123456789,"_s + today + u",090000,0"_s << 0;
    QTest::newRow("no such date") << u"02,A123456789,1151399,090000,0,KB,,"_s + tail << 0;
    QTest::newRow("unknown kind") << u"02,A123456789,"_s + today + u",090000,7,KB,,"_s + tail << 0;
    QTest::newRow("blank identity") << u"02,,"_s + today + u",090000,0,KB,,"_s + tail << 0;
    QTest::newRow("another class") << u"02,A123456789,"_s + today
            + u",090000,0,KB,,,11501000003B20113:30,,000000007,000000000,Y"_s
                                   << 0;
}

void TestRecordUpload::mergeSkipsLinesItCannotRead()
{
    QFETCH(QString, line);
    QFETCH(int, merged);
    const QString folder = m_s01->places.downloadFolder(ClassNo);
    QVERIFY(QDir().mkpath(folder));
    const QString good = u"02,B223456789,"_s + RocDay(0) + u",080000,0,KB,,," + Lesson(u"A103"_s)
        + u",,000000001,000000000,Y"_s;
    QFile f(folder + u'/' + ClassNo + u".csv"_s);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write((u"\uFEFFDOOR,IDNO\r\n"_s + good + u"\r\n"_s + line + u"\r\n"_s).toUtf8());
    f.close();
    const QStringList before = Events(*m_s01);
    const auto result
        = RecordUpload::MergeDownloadedPackage(m_s01->db(), m_s01->places, ClassKey, ClassNo);
    QCOMPARE(result.merged, 1 + merged);
    QCOMPARE(result.skipped, 1 - merged);
    QCOMPARE(Events(*m_s01).size(), before.size() + 1 + merged);
    if (merged == 0)
        QVERIFY(result.messages().first().contains(u"略過 無法解讀筆數：1 筆"_s));
}

void TestRecordUpload::hostileDownload_data()
{
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QString>(
        "outside"); // a file the archive must not write, relative to the picture folder
    const QByteArray csv = "\xEF\xBB\xBF"
                           "DOOR\r\n";
    QTest::newRow("escaping entry")
        << ArchiveOf({ { ClassNo.toUtf8() + ".csv", csv }, { "../../evil.txt", "x" } })
        << u"evil.txt"_s;
    QTest::newRow("absolute entry")
        << ArchiveOf({ { ClassNo.toUtf8() + ".csv", csv }, { "/tmp/rolvan-evil.txt", "x" } })
        << QString();
    {
        // 150 MiB of zeros in a few hundred KiB.
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath(u"src"_s));
        QFile zeros(dir.filePath(u"src/zeros.bin"_s));
        zeros.open(QIODevice::WriteOnly);
        zeros.resize(150LL * 1024 * 1024);
        zeros.close();
        QFile(dir.filePath(u"src/"_s + ClassNo + u".csv"_s)).open(QIODevice::WriteOnly);
        ZipDirectory(dir.path(), u"src"_s, u"bomb.zip"_s);
        QTest::newRow("zip bomb") << ReadAll(dir.filePath(u"bomb.zip"_s)) << QString();
    }
    const QByteArray good = ArchiveOf({ { ClassNo.toUtf8() + ".csv", csv + "02,A123456789\r\n" } });
    QTest::newRow("truncated") << good.left(good.size() / 2) << QString();
    QTest::newRow("no archive at all") << QByteArray("<html>502</html>") << QString();
}

void TestRecordUpload::hostileDownload()
{
    QFETCH(QByteArray, zip);
    QFETCH(QString, outside);
    Station &s = *m_s01;
    // An earlier download left a package whose events were never merged: they stay unmerged.
    const QString folder = s.places.downloadFolder(ClassNo);
    QVERIFY(QDir().mkpath(folder));
    QFile stale(folder + u'/' + ClassNo + u".csv"_s);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write((u"DOOR\r\n02,A123456789,"_s + RocDay(0) + u",070000,0,KB,,,"_s + Lesson(u"A103"_s)
        + u",,000000001,000000000,Y\r\n"_s)
                    .toUtf8());
    stale.close();
    QVERIFY(m_fake->setDownload(ClassNo, zip));

    auto service = Service();
    const QStringList before = Events(s);
    QString error;
    try {
        RecordUpload::DownloadAndMerge(*service, s.db(), s.places, ClassKey, ClassNo);
    } catch (const RolvanError &e) {
        error = e.message();
    }
    QVERIFY2(error.startsWith(u" unzip fail "_s), qPrintable(error));
    QCOMPARE(Events(s), before);
    QVERIFY(!QFileInfo::exists(folder + u'/' + ClassNo + u".csv"_s));
    QVERIFY(!QFileInfo::exists(u"/tmp/rolvan-evil.txt"_s));
    if (!outside.isEmpty()) {
        QVERIFY(!QFileInfo::exists(JoinPath(s.places.pictureDir, outside)));
        QVERIFY(!QFileInfo::exists(JoinPath(s.home->dir(), outside)));
    }
}

void TestRecordUpload::uploadFailures_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("expected");
    QTest::newRow("server error") << u"status=500&path=clszip"_s << true << u"500"_s;
    QTest::newRow("not found") << u"status=404&path=clszip"_s << true << u"404"_s;
    QTest::newRow("certificate check not passed") << QString() << false << u"403"_s;
    QTest::newRow("silent server") << u"slow=3&status=500&path=clszip"_s << true << u"逾時"_s;
    QTest::newRow("certificate of another host") << u"wronghost=1"_s << true << u"憑證"_s;
}

void TestRecordUpload::uploadFailures()
{
    QFETCH(QString, switches);
    QFETCH(bool, checked);
    QFETCH(QString, expected);
    Station &s = *m_s01;
    Insert(s, { u"01"_s, u"A123456789"_s, RocDay(0), u"090101"_s });
    const auto package = RecordUpload::BuildEventPackage(s.db(), s.places, ClassKey, ClassNo);
    QString token;
    {
        auto service = Service();
        token = checked ? CheckedToken(*service) : service->FetchCheckToken().value;
    }
    if (!switches.isEmpty())
        QVERIFY(m_fake->set(switches));
    // A client of its own: a new connection meets the switched certificate.
    auto service = Service(1000);
    QString error;
    try {
        RecordUpload::UploadPackage(*service, ClassNo, token, package.zipPath);
    } catch (const RolvanError &e) {
        error = e.message();
    }
    QVERIFY2(error.startsWith(RecordUpload::EmptyAnswerMessage), qPrintable(error));
    QVERIFY2(error.contains(expected), qPrintable(error));
    QVERIFY(error.contains(QDir::toNativeSeparators(package.zipPath)));
    QVERIFY(QFileInfo(package.zipPath).isFile());
}

void TestRecordUpload::twoStationsExchangeThenSubmit()
{
    // Station 01 and 02 sign in different persons for the same class, with snapshots.
    const QString day = RocDay(0);
    const QList<Event> at01 { { u"01"_s, u"A123456789"_s, day, u"085501"_s },
        { u"01"_s, u"B223456789"_s, day, u"085602"_s },
        { u"01"_s, u"A123456789"_s, day, u"120101"_s, u"1"_s } };
    const QList<Event> at02 { { u"02"_s, u"C123456780"_s, day, u"085703"_s, u"0"_s, u"SR"_s },
        { u"02"_s, u"D123456781"_s, day, u"085804"_s } };
    for (const Event &e : at01) {
        Insert(*m_s01, e);
        PutSnapshot(*m_s01, e, ClassNo + u"/PIC"_s);
    }
    for (const Event &e : at02) {
        Insert(*m_s02, e);
        PutSnapshot(*m_s02, e, day.left(5)); // station 02 files snapshots by year and month
    }

    // Both upload ("刷卡紀錄上傳彙整"), then both download and merge ("刷卡紀錄下載彙整").
    auto service = Service();
    const QString token = CheckedToken(*service);
    QVERIFY(!token.isEmpty());
    for (Station *s : { m_s01.get(), m_s02.get() }) {
        const auto package = RecordUpload::BuildEventPackage(s->db(), s->places, ClassKey, ClassNo);
        QCOMPARE(
            RecordUpload::UploadPackage(*service, ClassNo, token, package.zipPath), u"上傳成功"_s);
    }
    const QJsonArray posted = m_fake->posted();
    QCOMPARE(posted.size(), 2);
    for (const QJsonValue &record : posted) {
        const QJsonObject r = record.toObject();
        QCOMPARE(r.value(u"refused"_s).toString(), QString());
        QCOMPARE(r.value(u"fields"_s).toObject().value(u"clssno"_s).toString(), ClassNo);
        QCOMPARE(r.value(u"files"_s)
                     .toObject()
                     .value(u"uploadzip"_s)
                     .toObject()
                     .value(u"filename"_s)
                     .toString(),
            ClassNo + u".zip"_s);
    }
    for (Station *s : { m_s01.get(), m_s02.get() }) {
        QStringList stages;
        const auto merged = RecordUpload::DownloadAndMerge(*service, s->db(), s->places, ClassKey,
            ClassNo, [&stages](const QString &t) { stages << t; });
        QCOMPARE(stages, (QStringList { u"刷卡紀錄下載"_s, u"解壓下載檔案"_s, u"匯入檔案"_s }));
        QCOMPARE(merged.merged, 5);
        QCOMPARE(merged.added, s == m_s01.get() ? 2 : 3);
        QCOMPARE(merged.skipped, 0);
    }
    const QStringList events = Events(*m_s01);
    QCOMPARE(events.size(), 5);
    QCOMPARE(Events(*m_s02), events);
    for (const Event &e : at01 + at02) {
        for (Station *s : { m_s01.get(), m_s02.get() }) {
            QSqlQuery q(s->db());
            q.prepare(u"select DOOR from PSIO where IDNO = ? and IOTIME = ?"_s);
            q.addBindValue(e.idno);
            q.addBindValue(e.time);
            QVERIFY(q.exec() && q.next());
            QCOMPARE(q.value(0).toString(), e.door);
            QVERIFY2(QFileInfo::exists(s->classFolder() + u"/PIC/"_s + SnapshotName(e))
                    || QFileInfo::exists(
                        s->places.pictureDir + u'/' + day.left(5) + u'/' + SnapshotName(e)),
                qPrintable(SnapshotName(e)));
        }
    }

    // "送件" on station 01: the four CSV files of the reports window, the time-stamp check, the
    // audit package of the class folder, its upload.
    QStringList written;
    QString audit;
    try {
        G().CurrentClassKey = ClassKey;
        written = TFmReport::RunSubmissionOutputs(m_s01->home->dm(), nullptr);
        RecordUpload::CheckTimeStamps(m_s01->db(), m_s01->places, ClassKey, m_entry.firstDay);
        audit = RecordUpload::BuildAuditPackage(m_s01->places, ClassKey);
    } catch (const RolvanError &e) {
        QFAIL(qPrintable(e.message()));
    }
    QCOMPARE(written.size(), 4);
    QCOMPARE(audit, m_s01->places.auditPackage(ClassNo));
    QCOMPARE(RecordUpload::UploadPackage(*service, ClassNo, token, audit), u"上傳成功"_s);

    const QJsonObject last = m_fake->posted().last().toObject();
    QCOMPARE(last.value(u"files"_s)
                 .toObject()
                 .value(u"uploadzip"_s)
                 .toObject()
                 .value(u"content_type"_s)
                 .toString(),
        u"application/jpg"_s);
    const auto received = EntriesOf(m_fake->uploadedFile(last.value(u"index"_s).toInt()));
    for (const QString &file : written) {
        const QString name = QFileInfo(file).fileName();
        QVERIFY2(received.contains(name), qPrintable(name));
        QCOMPARE(received.value(name), ReadAll(file));
        // The workbook written beside each CSV file stays with the unit.
        const QString workbook = file.left(file.size() - 4) + u".xlsx"_s;
        QVERIFY2(QFileInfo::exists(workbook), qPrintable(workbook));
        QVERIFY2(!received.contains(QFileInfo(workbook).fileName()), qPrintable(workbook));
    }
    // The sign-event CSV of the class lists every station's events.
    const QString signEvents = QString::fromUtf8(received.value(ClassNo + u".csv"_s));
    for (const Event &e : at01 + at02)
        QVERIFY2(signEvents.contains(e.idno), qPrintable(e.idno));
    // Every snapshot of the class folder travels along.
    for (const Event &e : at01)
        QVERIFY(received.contains(u"PIC/"_s + SnapshotName(e)));
}

QTEST_MAIN(TestRecordUpload)
#include "tst_recordupload.moc"

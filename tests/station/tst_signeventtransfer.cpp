// Sign events carried from one station to another: the exchange line of an event, an export on
// one database followed by an import on another (rows equal, RID2 the source row), a second
// import that changes nothing, the refusals by station number, a file with damaged lines, the
// forms a file takes after an editor saved it (byte-order marks, UTF-16, CR line ends) and a
// database error that leaves the importing database as it was and the next import working.

#include "Fun/Base64Functions.h"
#include "core/DbFunctions.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "station/SignEventTransfer.h"
#include "base/AtomicFile.h"
#include "station/SignRecorder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringEncoder>
#include <QTest>

#include <cerrno>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"1130123456701"_s;
const QString Lesson1 = u"11301234567A00109:00"_s;
const QString Lesson2 = u"11301234567A00213:30"_s;

// Every event of the class (lesson keys of its class number) as "IDNO|IODATE|IOTIME|IOTYPE|IOWay|NET|Web|INDEX_KEY|DOOR|NTP",
// in that order, with the source row number where asked.
QStringList Events(bool withRid2 = false)
{
    QStringList rows;
    QSqlQuery query = RunQuery(u"select IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, Web, INDEX_KEY, "
                               "DOOR, NTP, RID, RID2 from PSIO where INDEX_KEY like '11301234567%' "
                               "order by IODATE, IOTIME, IDNO"_s,
                               WorkingConnection());
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < 10; ++i)
            fields << query.value(i).toString();
        if (withRid2)
            fields << query.value(11).toString();
        rows << fields.join(u'|');
    }
    return rows;
}

void AddEvent(const QString &idno, const QString &date, const QString &time, const QString &type,
              const QString &way, const QString &indexKey, const QVariant &net = QVariant())
{
    ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, INDEX_KEY, NTP) "
            "values ('03', ?, ?, ?, ?, ?, ?, ?, 'Y')"_s,
            {idno, date, time, type, way, net, indexKey});
}

} // namespace

class TestSignEventTransfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exchangeLineOfAnEvent();
    void exportThenImportOnAnotherStation();
    void refusedByStationNumber_data();
    void refusedByStationNumber();
    void damagedLinesAreSkippedAndCounted();
    void fileFormsAreRead_data();
    void fileFormsAreRead();
    void linesThatAreNoTextAreDamaged_data();
    void linesThatAreNoTextAreDamaged();
    void databaseErrorLeavesEverythingAsItWas();
    void failedExportKeepsTheOldFileAndSaysWhy();

private:
    bool OpenCopy(const QString &name);
    QString WriteFile(const QStringList &lines);
    QString WriteBytes(const QByteArray &bytes);

    // The station's working connection.
    QSqlDatabase Db() const { return m_station->dm().Con1(); }

    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    QString m_pictures;
};

bool TestSignEventTransfer::OpenCopy(const QString &name)
{
    const QString path = m_station->dir() + u'/' + name;
    if (!QFile::exists(path)) {
        if (!QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, path))
            return false;
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    QString error;
    if (!TestBackend::OpenWorkingDatabase(m_station->dm(), path, &error)) {
        qWarning() << error;
        return false;
    }
    if (!TestBackend::UsesPostgres())
        ExecSql(u"PRAGMA synchronous = OFF"_s);
    return true;
}

QString TestSignEventTransfer::WriteFile(const QStringList &lines)
{
    return WriteBytes(lines.join(u"\r\n"_s).toUtf8());
}

QString TestSignEventTransfer::WriteBytes(const QByteArray &bytes)
{
    const QString path = m_station->dir() + u"/hand.tmp"_s;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(bytes);
    return path;
}

void TestSignEventTransfer::init()
{
    m_station = std::make_unique<TestDatabase>();
    m_prompter = std::make_unique<ScriptedPrompter>();
    G().CourseNoLength = 11;
    G().CurrentClassKey = ClassKey;
    m_pictures = m_station->dir() + u"/pictures"_s;
    QVERIFY(OpenCopy(u"Station03.db"_s));
    AddEvent(u"A123456789"_s, u"1130506"_s, u"085501"_s, u"0"_s, u"KB"_s, Lesson1);
    AddEvent(u"F223456780"_s, u"1130506"_s, u"085812"_s, u"0"_s, u"SC"_s, Lesson1, u"N"_s);
    AddEvent(u"A123456789"_s, u"1130506"_s, u"120305"_s, u"1"_s, u"KB"_s, Lesson1);
    AddEvent(u"A123456789"_s, u"1130506"_s, u"132040"_s, u"2"_s, u"SR"_s, Lesson2);
    // Another class: not exported.
    AddEvent(u"K198765432"_s, u"1130506"_s, u"085900"_s, u"0"_s, u"KB"_s, u"11309999999A00109:00"_s);
}

void TestSignEventTransfer::cleanup()
{
    m_prompter.reset();
    m_station.reset();
}

void TestSignEventTransfer::exchangeLineOfAnEvent()
{
    ExecSql(u"update PSIO set SEATS = ?, RID2 = NULL where IOTIME = '085501'"_s, {u" A,12 "_s});
    QSqlQuery query = RunQuery(u"select * from PSIO where IOTIME = '085501'"_s, WorkingConnection());
    QVERIFY(query.next());
    const QString rid = query.value(u"RID"_s).toString();
    const QString line = SignEventTransfer::ExportLineText(u"03"_s, query.record());
    // Station, the columns after DOOR; text trimmed, NULL empty, row numbers nine digits, and a
    // "," of a value written so that the line keeps its thirteen fields.
    QCOMPARE(line, u"03,A123456789,1130506,085501,0,KB,,,11301234567A00109:00,A，12,"_s
                       + rid.rightJustified(9, u'0') + u",000000000,Y"_s);
    const QString encoded = SignEventTransfer::EncodeLine(line);
    QCOMPARE(SignEventTransfer::DecodeLine(encoded).size(), SignEventTransfer::FieldCount);
    QCOMPARE(SignEventTransfer::DecodeLine(encoded).join(u','), line);
    // Plain ASCII lines are the one-byte Base64 form other stations read.
    const QString ascii = u"03,A123456789,1130506,085501,0,KB,,,K,,000000001,000000000,Y"_s;
    QCOMPARE(SignEventTransfer::EncodeLine(ascii), StrToBase64(ascii));
}

void TestSignEventTransfer::exportThenImportOnAnotherStation()
{
    // A snapshot of the first event, kept by class number.
    const QString picFolder = m_pictures + u"/11301234567/PIC"_s;
    QVERIFY(QDir().mkpath(picFolder));
    const QString pictureName = SignRecorder::SnapshotFileName(ClassKey, u"A123456789"_s, u"1130506"_s,
                                                               u"085501"_s, u"0"_s, u"KB"_s);
    {
        QFile picture(picFolder + u'/' + pictureName);
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write("jpeg");
    }

    const SignEventTransfer::ExportResult exported = SignEventTransfer::ExportEvents(
        Db(), u"03"_s, u"11301234567"_s, ClassKey, 11, m_pictures, u"課程編號"_s);
    const QString file = m_pictures + u"/11301234567/Tmp/11301234567.tmp"_s;
    QCOMPARE(QDir::fromNativeSeparators(exported.filePath), file);
    QCOMPARE(exported.rows, 4);
    QCOMPARE(exported.pictures, 1);
    QVERIFY(QFile::exists(m_pictures + u"/11301234567/Tmp/Pic/"_s + pictureName));
    QCOMPARE(m_prompter->messages.value(0),
             u"匯出檔案"_s + QDir::toNativeSeparators(m_pictures + u"/11301234567/Tmp/11301234567"_s)
                 + u".tmp 資料筆數:4\n請記得影像資料也要 COPY"_s);
    const QStringList source = Events();
    const QList<int> sourceRids = [] {
        QList<int> rids;
        QSqlQuery q = RunQuery(u"select RID from PSIO where INDEX_KEY like '11301234567%' "
                               "order by IODATE, IOTIME, IDNO"_s, WorkingConnection());
        while (q.next())
            rids << q.value(0).toInt();
        return rids;
    }();

    // Station 00 has one event of its own and one the other station has sent before.
    QVERIFY(OpenCopy(u"Station00.db"_s));
    ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY, NTP) values "
            "('00', 'H124567890', '1130506', '090010', '0', 'KB', ?, 'Y')"_s, {Lesson1});
    ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY, NTP) values "
            "('03', 'A123456789', '1130506', '120305', '1', 'KB', 'old key', 'N')"_s);
    m_prompter->clear();

    SignEventTransfer::ImportResult imported = SignEventTransfer::ImportEvents(Db(), u"00"_s, file);
    QCOMPARE(imported.imported, 4);
    QCOMPARE(imported.added, 3);
    QCOMPARE(imported.skipped, 0);
    QCOMPARE(m_prompter->messages.value(0), u"總共 匯入筆數：4 筆\n請記得影像資料要CO進來"_s);

    QStringList expected = source;
    expected << u"H124567890|1130506|090010|0|KB|||"_s + Lesson1 + u"|00|Y"_s;
    expected.sort();
    QStringList now = Events();
    now.sort();
    QCOMPARE(now, expected);
    // Each imported row keeps the exporting station's row number.
    QList<int> rid2;
    QSqlQuery query = RunQuery(u"select RID2 from PSIO where DOOR = '03' order by IODATE, IOTIME, IDNO"_s,
                               WorkingConnection());
    while (query.next())
        rid2 << query.value(0).toInt();
    QCOMPARE(rid2, sourceRids);

    // The same file again: the same rows.
    const QStringList once = Events(true);
    imported = SignEventTransfer::ImportEvents(Db(), u"00"_s, file);
    QCOMPARE(imported.imported, 4);
    QCOMPARE(imported.added, 0);
    QCOMPARE(Events(true), once);
}

void TestSignEventTransfer::refusedByStationNumber_data()
{
    QTest::addColumn<bool>("exporting");
    QTest::addColumn<QString>("stationNo");
    QTest::addColumn<QString>("message");
    QTest::newRow("export from 00") << true << u"00"_s << u"資料匯出電腦編號不得為00"_s;
    QTest::newRow("import on 03") << false << u"03"_s << u"資料匯入電腦編號必須為00"_s;
}

void TestSignEventTransfer::refusedByStationNumber()
{
    QFETCH(bool, exporting);
    QFETCH(QString, stationNo);
    QFETCH(QString, message);
    const QStringList before = Events(true);
    if (exporting) {
        QVERIFY(SignEventTransfer::ExportEvents(Db(), stationNo, u"11301234567"_s, ClassKey, 11, m_pictures,
                                                u"課程編號"_s).refused);
        QVERIFY(!QDir(m_pictures).exists());
    } else {
        const QString file = WriteFile({SignEventTransfer::EncodeLine(
            u"05,B111111111,1130506,085501,0,KB,,,K,,000000001,000000000,Y"_s)});
        QVERIFY(SignEventTransfer::ImportEvents(Db(), stationNo, file).refused);
    }
    QCOMPARE(m_prompter->messages, QStringList{message});
    QCOMPARE(Events(true), before);
}

void TestSignEventTransfer::damagedLinesAreSkippedAndCounted()
{
    const QString good = u"05,B111111111,1130508,085501,0,KB,,,"_s + Lesson1 + u",,000000007,000000000,Y"_s;
    const auto with = [&good](const QString &from, const QString &to) {
        return SignEventTransfer::EncodeLine(QString(good).replace(from, to));
    };
    const QStringList damaged{
        u"this is not base64!"_s,                                               // not Base64
        u"QUJD"_s.left(3),                                                      // length not 4n
        SignEventTransfer::EncodeLine(u"05,B111111111,1130508"_s),              // too few fields
        SignEventTransfer::EncodeLine(good + u",extra"_s),                      // too many
        with(u"000000007"_s, u"00000000x"_s),                                   // row number
        with(u",B111111111,"_s, u",,"_s),                                       // no identity
        with(u",B111111111,"_s, u",   ,"_s),                                    // blank identity
        with(u"1130508"_s, u"zzzzzzz"_s),                                       // not a ROC date
        with(u"1130508"_s, u"1130230"_s),                                       // 30 February
        with(u"1130508"_s, u"113058"_s),                                        // date too short
        with(u",085501,"_s, u",08:55,"_s),                                      // not HHMMSS
        with(u",085501,"_s, u",256001,"_s),                                     // hour 25
        with(u",0,KB,"_s, u",7,KB,"_s),                                         // unknown type
        with(u",0,KB,"_s, u",,KB,"_s),                                          // no type
        with(u"B111111111"_s, u"B1111\t1111"_s),                                // tab
        with(u"B111111111"_s, u"B11111\u00851111"_s),                           // C1 control
        with(u",Y"_s, u",\n"_s),                                                // line feed
        with(u"B111111111"_s, u"B1111111112"_s),                                // IDNO of 11
        with(Lesson1, Lesson1 + u"-and-more"_s),                                // key of 29
        with(u"05,"_s, u"005,"_s),                                              // station of 3
        with(u",KB,"_s, u",KBD,"_s),                                            // way of 3
        with(u",KB,"_s, u",XX,"_s),                                             // unknown way
        with(Lesson1, u"%"_s),                                                  // key a pattern
        with(Lesson1, QString()),                                               // no lesson key
    };
    const QString path = WriteFile(QStringList{SignEventTransfer::EncodeLine(good)} + damaged
                                   + QStringList{QString()});                   // blank: ignored
    QVERIFY(OpenCopy(u"Station00.db"_s));
    const int before = QueryValue(u"select count(*) from PSIO"_s).toInt();
    const SignEventTransfer::ImportResult result = SignEventTransfer::ImportEvents(Db(), u"00"_s, path);
    QCOMPARE(result.imported, 1);
    QCOMPARE(result.skipped, damaged.size());
    QCOMPARE(m_prompter->messages.value(0),
             u"總共 匯入筆數：1 筆\n略過 無法解讀筆數：%1 筆\n請記得影像資料要CO進來"_s.arg(damaged.size()));
    QCOMPARE(QueryValue(u"select count(*) from PSIO"_s).toInt(), before + 1);
    QCOMPARE(QueryValue(u"select RID2 from PSIO where IDNO = 'B111111111'"_s).toInt(), 7);
    QVERIFY(m_prompter->errors.isEmpty());
}

void TestSignEventTransfer::fileFormsAreRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("imported");
    QTest::addColumn<QString>("error"); // the start of the error raised instead

    QStringList lines;
    for (const QString &time : {u"080000"_s, u"080100"_s, u"080200"_s}) {
        lines << SignEventTransfer::EncodeLine(u"05,B111111111,1130508,"_s + time + u",0,KB,,,"_s
                                               + Lesson1 + u",,000000001,000000000,Y"_s);
    }
    const QString crlf = lines.join(u"\r\n"_s) + u"\r\n"_s;
    const auto utf16 = [](const QString &text, QStringConverter::Encoding encoding, bool mark) {
        QStringEncoder encoder(encoding, mark ? QStringConverter::Flag::WriteBom
                                              : QStringConverter::Flag::Default);
        return QByteArray(encoder.encode(text));
    };
    const QString refused = u"無法匯入 "_s;

    QTest::newRow("CR LF") << crlf.toUtf8() << 3 << QString();
    QTest::newRow("UTF-8 byte-order mark") << QByteArray("\xEF\xBB\xBF") + crlf.toUtf8() << 3
                                           << QString();
    QTest::newRow("LF only") << lines.join(u'\n').toUtf8() << 3 << QString();
    QTest::newRow("CR only") << lines.join(u'\r').toUtf8() << 3 << QString();
    QTest::newRow("UTF-16 LE with mark") << utf16(crlf, QStringConverter::Utf16LE, true) << 3
                                         << QString();
    QTest::newRow("UTF-16 BE with mark") << utf16(crlf, QStringConverter::Utf16BE, true) << 3
                                         << QString();
    QTest::newRow("UTF-16 LE without mark") << utf16(crlf, QStringConverter::Utf16LE, false) << 3
                                            << QString();
    QTest::newRow("UTF-16 with an odd byte")
        << utf16(crlf, QStringConverter::Utf16LE, true) + QByteArray("A") << 0 << refused;
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << 0 << refused;
}

void TestSignEventTransfer::fileFormsAreRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, imported);
    QFETCH(QString, error);
    QVERIFY(OpenCopy(u"Station00.db"_s));
    const QString path = WriteBytes(bytes);
    const int before = QueryValue(u"select count(*) from PSIO"_s).toInt();
    if (error.isEmpty()) {
        const SignEventTransfer::ImportResult result = SignEventTransfer::ImportEvents(Db(), u"00"_s, path);
        QCOMPARE(result.imported, imported);
        QCOMPARE(result.skipped, 0);
    } else {
        try {
            SignEventTransfer::ImportEvents(Db(), u"00"_s, path);
            QFAIL("imported a file that is no exchange file");
        } catch (const RolvanError &e) {
            QVERIFY2(e.message().startsWith(error + QDir::toNativeSeparators(path)),
                     qPrintable(e.message()));
        }
    }
    QCOMPARE(QueryValue(u"select count(*) from PSIO"_s).toInt(), before + imported);
}

void TestSignEventTransfer::linesThatAreNoTextAreDamaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("imported");
    QTest::addColumn<int>("skipped"); // -1: the file is refused as no text

    const auto line = [](const QString &time) {
        return SignEventTransfer::EncodeLine(u"05,B111111111,1130508,"_s + time + u",0,KB,,,"_s
                                             + Lesson1 + u",,000000001,000000000,Y"_s)
            .toUtf8();
    };
    const QByteArray good = line(u"080000"_s) + "\r\n" + line(u"080100"_s) + "\r\n";
    QTest::newRow("a line with a NUL") << good + QByteArray("QUJD\0REVG\r\n", 10) << 2 << 1;
    QTest::newRow("a NUL inside an event's line")
        << good + line(u"080200"_s).insert(8, '\0') + "\r\n" << 2 << 1;
    QTest::newRow("a line that is not UTF-8") << good + "\xC3\x28\xFF\xFE\r\n" << 2 << 1;
    QByteArray noise(1 << 20, '\0');
    QRandomGenerator random(26);
    for (char &c : noise)
        c = char(1 + random.bounded(255)); // no NUL: bytes that are no text all the same
    QTest::newRow("a megabyte of noise") << noise << 0 << -1;
    QTest::newRow("noise with a NUL") << QByteArray("\x01\x02\0\x03\r\n\xFF\xFE\xFD", 9) << 0 << -1;
}

void TestSignEventTransfer::linesThatAreNoTextAreDamaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, imported);
    QFETCH(int, skipped);
    QVERIFY(OpenCopy(u"Station00.db"_s));
    const QString path = WriteBytes(bytes);
    const int before = QueryValue(u"select count(*) from PSIO"_s).toInt();
    if (skipped >= 0) {
        const SignEventTransfer::ImportResult result
            = SignEventTransfer::ImportEvents(Db(), u"00"_s, path);
        QCOMPARE(result.imported, imported);
        QCOMPARE(result.skipped, skipped);
    } else {
        try {
            SignEventTransfer::ImportEvents(Db(), u"00"_s, path);
            QFAIL("imported a file that is no text");
        } catch (const RolvanError &e) {
            QCOMPARE(e.message(), u"無法匯入 "_s + QDir::toNativeSeparators(path)
                         + u"：檔案不是文字檔，不是匯出的簽到退交換檔（.tmp）"_s);
        }
        QVERIFY(m_prompter->messages.isEmpty());
    }
    QCOMPARE(QueryValue(u"select count(*) from PSIO"_s).toInt(), before + imported);
}

void TestSignEventTransfer::databaseErrorLeavesEverythingAsItWas()
{
    QVERIFY(OpenCopy(u"Station00.db"_s));
    QString error;
    QVERIFY2(TestBackend::RefuseRows(WorkingConnection(), u"refuse_boom"_s, u"PSIO"_s, u"IDNO"_s,
                 u"BOOM"_s, u"boom"_s, &error),
        qPrintable(error));
    const auto line = [](const QString &idno, const QString &time) {
        return SignEventTransfer::EncodeLine(u"05,"_s + idno + u",1130508,"_s + time
                                             + u",0,KB,,,K,,000000001,000000000,Y"_s);
    };
    const QString path = WriteFile({line(u"B111111111"_s, u"080000"_s), line(u"C222222222"_s, u"080100"_s),
                                    line(u"BOOM"_s, u"080200"_s)});
    const QStringList before = Events(true);
    QVERIFY_THROWS_EXCEPTION(RolvanError, SignEventTransfer::ImportEvents(Db(), u"00"_s, path));
    QCOMPARE(Events(true), before);
    QVERIFY(m_prompter->messages.isEmpty());
    // The failed import let go of its transaction: the next file is imported and kept.
    const QString next = WriteFile({line(u"B111111111"_s, u"080000"_s), line(u"C222222222"_s, u"080100"_s)});
    QCOMPARE(SignEventTransfer::ImportEvents(Db(), u"00"_s, next).imported, 2);
    QCOMPARE(QueryValue(u"select count(*) from PSIO where DOOR = '05' and IODATE = '1130508'"_s).toInt(), 2);
    QVERIFY(WorkingConnection().transaction());
    QVERIFY(WorkingConnection().rollback());
    // A file that is not there: an error naming it, nothing changed.
    QVERIFY_THROWS_EXCEPTION(RolvanError, SignEventTransfer::ImportEvents(Db(), u"00"_s, path + u"x"_s));
}

// A full disk while the exchange file is written: no count of written events is shown, the
// reason is, and the file of the previous export stays.
void TestSignEventTransfer::failedExportKeepsTheOldFileAndSaysWhy()
{
    const SignEventTransfer::ExportResult first = SignEventTransfer::ExportEvents(
        Db(), u"03"_s, u"11301234567"_s, ClassKey, 11, m_pictures, u"年月"_s);
    QFile file(first.filePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray old = file.readAll();
    file.close();
    QVERIFY(!old.isEmpty());
    AddEvent(u"Q123456788"_s, u"1130506"_s, u"090001"_s, u"0"_s, u"KB"_s, Lesson1);
    m_prompter->clear();

    InjectAtomicFileFault(AtomicFileStep::Sync, ENOSPC);
    try {
        SignEventTransfer::ExportEvents(Db(), u"03"_s, u"11301234567"_s, ClassKey, 11, m_pictures,
                                        u"年月"_s);
        InjectAtomicFileFault(AtomicFileStep::Sync, 0);
        QFAIL("the export on a full disk was reported as done");
    } catch (const RolvanError &e) {
        QVERIFY2(e.message().contains(u"磁碟空間不足"_s), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QDir::toNativeSeparators(first.filePath)), qPrintable(e.message()));
    }
    QVERIFY(m_prompter->messages.isEmpty());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
}

QTEST_GUILESS_MAIN(TestSignEventTransfer)
#include "tst_signeventtransfer.moc"

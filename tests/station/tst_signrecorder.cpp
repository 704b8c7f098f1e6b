// Recording sign events: the stored row, duplicates and their snapshots, roll calls, the day
// boundary, database errors, missing frames, snapshot folders, automatic mode between two
// lessons, the deletion of a history line's event, enrolment changes seen by the next entry and
// a second station writing at the same moment.

#include "Fun/DateTimeFunctions.h"
#include "SignInFixture.h"

#include "mock/TestDatabase.h"
#include "core/NetDatabase.h"
#include <QDirIterator>
#include <QImage>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using Outcome = SignRecorder::Outcome;
Q_DECLARE_METATYPE(Outcome)

namespace {

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool IsBlue(const QString &jpegPath)
{
    const QImage image(jpegPath);
    if (image.isNull())
        return false;
    const QColor c = image.pixelColor(image.width() / 2, image.height() / 2);
    return c.blue() > 150 && c.red() < 100;
}

// A second station's connection to the same database file. It waits for a lock no longer
// than a millisecond, so that a refusal shows at once.
class SecondStation
{
public:
    // On the station's database: the same file, or the same database on the server.
    explicit SecondStation(const QSqlDatabase &station)
    {
        QSqlDatabase db = QSqlDatabase::cloneDatabase(station, Name());
        if (!IsPostgres(db))
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=1"));
        QVERIFY(db.open());
    }
    ~SecondStation()
    {
        QSqlDatabase::database(Name(), false).close();
        QSqlDatabase::removeDatabase(Name());
    }
    static QString Name() { return QStringLiteral("second station"); }

    // What a station does: the duplicate test and the insert of the sign-in of a person in one
    // write transaction. False when the database was locked.
    bool SignIn(const QString &idno, const QString &lessonKey, const QString &time)
    {
        QSqlDatabase db = QSqlDatabase::database(Name());
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return false;
        query.prepare(
            QStringLiteral("select count(*) from PSIO where IDNO = ? and IODATE = '1140503' "
                           "and IOTYPE = '0' and INDEX_KEY = ?"));
        query.addBindValue(idno);
        query.addBindValue(lessonKey);
        const bool counted = query.exec() && query.next();
        const bool duplicate = counted && query.value(0).toInt() > 0;
        query.finish();
        if (counted && !duplicate) {
            query.prepare(QStringLiteral(
                "insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY, IOWay, "
                "DOOR, NET, NTP) values (?, '1140503', ?, '0', ?, 'KB', '08', 'N', 'Y')"));
            query.addBindValue(idno);
            query.addBindValue(time);
            query.addBindValue(lessonKey);
            query.exec();
        }
        return query.exec(QStringLiteral("COMMIT"));
    }
};

sqlite3 *Handle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// Runs the second station's sign-in once, at the moment the working connection begins to run
// its insert of a sign event: after the station's duplicate test, before its row is stored.
struct InterleavedSignIn
{
    SecondStation *second = nullptr;
    QString idno;
    QString lessonKey;
    int attempts = 0;
    bool stored = false;

    static int Traced(unsigned, void *context, void *, void *sql)
    {
        auto *self = static_cast<InterleavedSignIn *>(context);
        const QString text = QString::fromUtf8(static_cast<const char *>(sql));
        if (self->attempts == 0
            && text.startsWith(QStringLiteral("insert into PSIO"), Qt::CaseInsensitive)) {
            ++self->attempts;
            self->stored
                = self->second->SignIn(self->idno, self->lessonKey, QStringLiteral("090507"));
        }
        return 0;
    }
};

// Counts the statements a connection runs that begin with a given text.
struct StatementCount
{
    QString start;
    int count = 0;

    static int Traced(unsigned, void *context, void *, void *sql)
    {
        auto *self = static_cast<StatementCount *>(context);
        if (QString::fromUtf8(static_cast<const char *>(sql)).startsWith(self->start, Qt::CaseInsensitive))
            ++self->count;
        return 0;
    }
};

} // namespace

class TestSignRecorder : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_fx = std::make_unique<SignInFixture>(); }
    void cleanup() { m_fx.reset(); }

    void firstSignInStoresTheRow_data();
    void firstSignInStoresTheRow();
    void secondEntry_data();
    void secondEntry();
    void databaseErrorCountsNothing();
    void fullDiskIsToldAsSuch();
    void missingPictureStillRecords_data();
    void missingPictureStillRecords();
    void snapshotFolder_data();
    void snapshotFolder();
    void preconditions_data();
    void preconditions();
    void rejectedEntries_data();
    void rejectedEntries();
    void choiceRecordsThePersonChosen();
    void successSoundSwitchedOff();
    void automaticModeBetweenLessons_data();
    void automaticModeBetweenLessons();
    void deleteHistoryRow();
    void repeatedEntryOfAnotherLetterCase();
    void tenEntriesLeaveNineLines();
    void databaseReopenedBetweenEntries();
    void enrolmentChangeSeenByTheNextEntry_data();
    void enrolmentChangeSeenByTheNextEntry();
    void secondStationAtTheSameMoment();
    void lockHeldTooLongRecordsNothing();
    void serverLinkLostAndFoundAgain();

private:
    void SecondStationOnTheServerAtTheSameMoment();

private:
    Outcome Enter(const QString &typed)
    {
        m_entry = m_fx->recorder->ConfirmEntry(typed);
        return m_entry.outcome;
    }
    void StorePastEvent(const QString &indexKey, const QString &id, const QString &type,
                        const QString &time)
    {
        QVERIFY(ExecSqlOn(QStringLiteral("insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY) "
                                         "values (?, '1140503', ?, ?, ?)"),
                          m_fx->dm->Con1(), {id, time, type, indexKey}));
    }
    // Every file under the picture folder.
    QStringList Pictures() const
    {
        QStringList found;
        QDirIterator it(m_fx->dir.filePath(QStringLiteral("pictures")), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        return found;
    }

    std::unique_ptr<SignInFixture> m_fx;
    SignRecorder::Entry m_entry; // what came of the last entry
};

void TestSignRecorder::firstSignInStoresTheRow_data()
{
    QTest::addColumn<bool>("keypad");
    QTest::addColumn<QString>("storageKind");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("ntp");
    QTest::addColumn<QString>("idno");
    QTest::addColumn<QString>("line");

    const QString full = QStringLiteral("身分證字號");
    QTest::newRow("keyboard") << false << full << "54321"
                              << "Y"
                              << "C187654321"
                              << "000103 陳美玲 09:05簽到  ";
    QTest::newRow("keypad, clock not synchronised, apostrophe in the name")
        << true << full << "00001"
        << "N"
        << "D120000001"
        << "000104 O'Neil 林 09:05簽到  ";
    QTest::newRow("member numbers stored, last five typed") << false << "會員編號"
                                                            << "54321"
                                                            << "Y"
                                                            << "000103"
                                                            << "000103 陳美玲 09:05簽到  ";
    QTest::newRow("enrolment row in lower case") << false << full << "98765"
                                                 << "Y"
                                                 << "p123498765"
                                                 << "000111 林小寫 09:05簽到  ";
    QTest::newRow("enrolment row in lower case, typed whole") << false << full << "P123498765"
                                                              << "Y"
                                                              << "p123498765"
                                                              << "000111 林小寫 09:05簽到  ";
}

void TestSignRecorder::firstSignInStoresTheRow()
{
    QFETCH(bool, keypad);
    QFETCH(QString, storageKind);
    QFETCH(QString, typed);
    QFETCH(QString, ntp);
    QFETCH(QString, idno);
    QFETCH(QString, line);
    m_fx->Enrol(SignInFixture::ClassKey(), QStringLiteral("p123498765"), QStringLiteral("000111"),
        QStringLiteral("林小寫"));
    m_fx->station.StorageKind = storageKind;
    m_fx->resolver->SetStorageColumn();
    m_fx->station.NtpFlag = ntp;
    m_fx->station.KeyboardFocusOn = true;
    m_fx->SetTime(9, 5, 7);

    if (keypad)
        m_entry = m_fx->recorder->KeypadEntry(typed);
    const Outcome outcome = keypad ? m_entry.outcome : Enter(typed);
    QCOMPARE(outcome, Outcome::Recorded);

    QSqlQuery query(m_fx->dm->Con1());
    QVERIFY(query.exec(QStringLiteral("select * from PSIO")));
    QVERIFY(query.next());
    const QSqlRecord row = query.record();
    QCOMPARE(row.value(QStringLiteral("DOOR")).toString(), QStringLiteral("07"));
    QCOMPARE(row.value(QStringLiteral("IDNO")).toString(), idno);
    QCOMPARE(row.value(QStringLiteral("IODATE")).toString(), QStringLiteral("1140503"));
    QCOMPARE(row.value(QStringLiteral("IOTIME")).toString(), QStringLiteral("090507"));
    QCOMPARE(row.value(QStringLiteral("IOTYPE")).toString(), QStringLiteral("0"));
    QCOMPARE(row.value(QStringLiteral("IOWay")).toString(), keypad ? QStringLiteral("SC") : QStringLiteral("KB"));
    QCOMPARE(row.value(QStringLiteral("NET")).toString(), QStringLiteral("N"));
    QVERIFY(row.isNull(QStringLiteral("Web")));
    QCOMPARE(row.value(QStringLiteral("INDEX_KEY")).toString(), SignInFixture::LessonKey());
    QVERIFY(row.isNull(QStringLiteral("SEATS")));
    QVERIFY(row.isNull(QStringLiteral("RID2")));
    QCOMPARE(row.value(QStringLiteral("NTP")).toString(), ntp);
    QVERIFY(!query.next());

    QCOMPARE(m_fx->station.InCnt, 1);
    QCOMPARE(m_fx->view.captions.value(QStringLiteral("0")), QStringLiteral("簽到(1)"));
    QCOMPARE(m_fx->sounds.played, QStringList{QStringLiteral("RolvanOK.wav")});
    QCOMPARE(m_entry.indexKey, SignInFixture::LessonKey());
    QCOMPARE(m_fx->view.history.size(), 1);
    const HistoryRow shown = m_fx->view.history.first();
    QCOMPARE(shown.text, line);
    QCOMPARE(shown.hint, idno);
    QCOMPARE(shown.colour, QRgb(0xff0000ff));
    QVERIFY(!m_fx->view.failureShown);
    QVERIFY(m_fx->prompter.all().isEmpty());
    QCOMPARE(m_fx->view.focusCount, 1);
}

void TestSignRecorder::secondEntry_data()
{
    QTest::addColumn<QString>("firstType");
    QTest::addColumn<QDateTime>("firstAt");
    QTest::addColumn<QString>("secondType");
    QTest::addColumn<QDateTime>("secondAt");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("sound");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("firstPictureRetaken");

    const QDate day(2025, 5, 3);
    const QDateTime at(day, QTime(9, 5, 7));
    const QString zero = QStringLiteral("0");
    QTest::newRow("same type a minute later")
        << zero << at << zero << at.addSecs(60) << Outcome::Duplicate << 1 << "RolvanDup.wav"
        << "000103 陳美玲09:05 已簽到" << "簽到(1)" << true;
    QTest::newRow("same type 299 s later")
        << zero << at << zero << at.addSecs(299) << Outcome::Duplicate << 1 << "RolvanDup.wav"
        << "000103 陳美玲09:05 已簽到" << "簽到(1)" << true;
    QTest::newRow("same type 300 s later")
        << zero << at << zero << at.addSecs(300) << Outcome::Duplicate << 1 << "RolvanDup.wav"
        << "000103 陳美玲09:05 已簽到" << "簽到(1)" << false;
    QTest::newRow("roll call twice")
        << "9" << at << "9" << at.addSecs(60) << Outcome::Recorded << 2 << "RolvanOK.wav"
        << "000103 陳美玲 09:06點名  " << "" << false;
    QTest::newRow("another type")
        << zero << at << "1" << at.addSecs(60) << Outcome::Recorded << 2 << "RolvanOK.wav"
        << "000103 陳美玲 09:06簽退  " << "簽退(1)" << false;
    QTest::newRow("afternoon caption")
        << zero << at << "2" << at.addSecs(60) << Outcome::Recorded << 2 << "RolvanOK.wav"
        << "000103 陳美玲 09:06午到  " << "午到(1)" << false;
    QTest::newRow("midnight")
        << zero << QDateTime(day, QTime(23, 59, 59)) << zero
        << QDateTime(day.addDays(1), QTime(0, 0, 1)) << Outcome::Recorded << 2 << "RolvanOK.wav"
        << "000103 陳美玲 00:00簽到  " << "簽到(2)" << false;
}

void TestSignRecorder::secondEntry()
{
    QFETCH(QString, firstType);
    QFETCH(QDateTime, firstAt);
    QFETCH(QString, secondType);
    QFETCH(QDateTime, secondAt);
    QFETCH(Outcome, outcome);
    QFETCH(int, rows);
    QFETCH(QString, sound);
    QFETCH(QString, line);
    QFETCH(QString, caption);
    QFETCH(bool, firstPictureRetaken);

    StillCamera camera;
    camera.Fill(Qt::red);
    m_fx->recorder->SetCamera(&camera);
    m_fx->station.photoOn = true;

    m_fx->clock.set(firstAt);
    m_fx->station.CurrentIoType = firstType;
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    const QString firstPicture = m_fx->view.history.first().picturePath;
    QVERIFY(QFile::exists(firstPicture));
    QVERIFY(!IsBlue(firstPicture));

    camera.Fill(Qt::blue);
    m_fx->sounds.clear();
    m_fx->clock.set(secondAt);
    m_fx->station.CurrentIoType = secondType;
    QCOMPARE(Enter(QStringLiteral("54321")), outcome);

    QCOMPARE(m_fx->PsioCount(), rows);
    QCOMPARE(m_fx->sounds.played, QStringList{sound});
    QCOMPARE(m_fx->view.history.size(), 2);
    QCOMPARE(m_fx->view.history.first().text, line);
    QCOMPARE(m_fx->recorder->CounterCaption(secondType), caption);
    QCOMPARE(IsBlue(firstPicture), firstPictureRetaken);
    if (outcome == Outcome::Recorded) {
        const QString secondPicture = m_fx->view.history.first().picturePath;
        QVERIFY(secondPicture != firstPicture);
        QVERIFY(IsBlue(secondPicture));
    } else {
        // The line of a repeated entry shows the first event's picture.
        QCOMPARE(m_fx->view.history.first().picturePath, firstPicture);
    }
    if (secondAt.date() != firstAt.date()) {
        QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IODATE = '1140503' and IOTIME = '235959'")), 1);
        QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IODATE = '1140504' and IOTIME = '000001'")), 1);
    }
}

void TestSignRecorder::databaseErrorCountsNothing()
{
    if (TestBackend::UsesPostgres()) {
        QVERIFY(ExecSqlOn(QStringLiteral("create function refuse_sign_events() returns trigger "
                                         "language plpgsql as $$ begin raise exception '磁碟已滿'; end $$"),
                          m_fx->dm->Con1()));
        QVERIFY(ExecSqlOn(QStringLiteral("create trigger RefuseSignEvents before insert on PSIO "
                                         "for each row execute function refuse_sign_events()"),
                          m_fx->dm->Con1()));
    } else {
        QVERIFY(ExecSqlOn(QStringLiteral("create trigger RefuseSignEvents before insert on PSIO "
                                         "begin select raise(abort, '磁碟已滿'); end"),
                          m_fx->dm->Con1()));
    }
    StillCamera camera;
    camera.Fill(Qt::red);
    m_fx->recorder->SetCamera(&camera);
    m_fx->station.photoOn = true;

    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Failed);
    QCOMPARE(m_fx->prompter.errors.size(), 1);
    QVERIFY2(m_fx->prompter.errors.first().contains(QStringLiteral("磁碟已滿")),
             qPrintable(m_fx->prompter.errors.first()));
    QCOMPARE(m_fx->sounds.played, QStringList{QStringLiteral("RolvanError.wav")});
    QVERIFY(m_fx->view.history.isEmpty());
    QVERIFY(m_fx->recorder->history().isEmpty());
    QCOMPARE(m_fx->station.InCnt, 0);
    QVERIFY(m_fx->view.captions.isEmpty());
    QCOMPARE(m_fx->PsioCount(), 0);
    QVERIFY(Pictures().isEmpty());
}

// The disk under the database fills up: SQLite answers "database or disk is full" and ends the
// transaction. The operator is told that the disk is full and where, the statement is not run
// again, nothing is counted, and the next entry after room was made is stored.
void TestSignRecorder::fullDiskIsToldAsSuch()
{
    if (TestBackend::UsesPostgres())
        QSKIP("the station's own SQLite file only");
    QSqlDatabase db = m_fx->dm->Con1();
    // Each new event needs more pages than the file may have.
    QVERIFY(ExecSqlOn(QStringLiteral("create table Ballast (B blob)"), db));
    QVERIFY(ExecSqlOn(QStringLiteral("create trigger FillTheDisk before insert on PSIO "
                                     "begin insert into Ballast values (zeroblob(200000)); end"),
                      db));
    const int pages = QueryValueIn(QStringLiteral("PRAGMA page_count"), db).toInt();
    QVERIFY(ExecSqlOn(QStringLiteral("PRAGMA max_page_count = %1").arg(pages), db));

    StatementCount inserts{QStringLiteral("insert into PSIO")};
    StatementCount commits{QStringLiteral("COMMIT")};
    sqlite3_trace_v2(Handle(db), SQLITE_TRACE_STMT, &StatementCount::Traced, &inserts);
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Failed);
    sqlite3_trace_v2(Handle(db), SQLITE_TRACE_STMT, &StatementCount::Traced, &commits);
    QCOMPARE(Enter(QStringLiteral("00001")), Outcome::Failed);
    sqlite3_trace_v2(Handle(db), 0, nullptr, nullptr);

    QCOMPARE(inserts.count, 1);
    QCOMPARE(commits.count, 0);
    QCOMPARE(m_fx->prompter.errors.size(), 2);
    const QString folder = QDir::toNativeSeparators(QFileInfo(m_fx->dir.filePath(QStringLiteral("Quorin.db"))).absolutePath());
    for (const QString &error : std::as_const(m_fx->prompter.errors)) {
        QVERIFY2(error.startsWith(QStringLiteral("磁碟空間不足")), qPrintable(error));
        QVERIFY2(error.contains(folder), qPrintable(error));
        QVERIFY2(!error.contains(QStringLiteral("no transaction")), qPrintable(error));
    }
    QCOMPARE(m_fx->sounds.played,
             (QStringList{QStringLiteral("RolvanError.wav"), QStringLiteral("RolvanError.wav")}));
    QCOMPARE(m_fx->station.InCnt, 0);
    QVERIFY(m_fx->recorder->history().isEmpty());
    QCOMPARE(m_fx->PsioCount(), 0);

    // Room again: the station records on the same connection.
    QVERIFY(ExecSqlOn(QStringLiteral("drop trigger FillTheDisk"), db));
    QVERIFY(ExecSqlOn(QStringLiteral("PRAGMA max_page_count = 1073741823"), db));
    m_fx->prompter.errors.clear();
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    QVERIFY2(m_fx->prompter.errors.isEmpty(), qPrintable(m_fx->prompter.errors.join(u'\n')));
    QCOMPARE(m_fx->PsioCount(), 1);
}

void TestSignRecorder::missingPictureStillRecords_data()
{
    QTest::addColumn<bool>("withCamera");
    QTest::addColumn<bool>("withFrame");
    QTest::addColumn<bool>("withFolder");
    QTest::newRow("no camera") << false << false << true;
    QTest::newRow("camera without a frame yet") << true << false << true;
    QTest::newRow("no picture folder set") << true << true << false;
}

void TestSignRecorder::missingPictureStillRecords()
{
    QFETCH(bool, withCamera);
    QFETCH(bool, withFrame);
    QFETCH(bool, withFolder);
    StillCamera camera;
    if (withFrame)
        camera.Fill(Qt::red);
    if (withCamera)
        m_fx->recorder->SetCamera(&camera);
    if (!withFolder)
        m_fx->station.imgPath.clear();
    m_fx->station.photoOn = true;

    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    QCOMPARE(m_fx->PsioCount(), 1);
    QCOMPARE(m_fx->sounds.played, QStringList{QStringLiteral("RolvanOK.wav")});
    QCOMPARE(m_fx->view.history.size(), 1);
    QVERIFY(m_fx->view.history.first().picturePath.isEmpty());
    QVERIFY(m_fx->prompter.all().isEmpty());
    QVERIFY(Pictures().isEmpty());
}

void TestSignRecorder::snapshotFolder_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("folder");

    QTest::newRow("by class number") << "課程編號" << Native(QStringLiteral("ABC12345678/PIC"));
    QTest::newRow("by year and month") << "年月" << "11405";
    QTest::newRow("other rule keeps the folder") << "其他" << "kept";
}

void TestSignRecorder::snapshotFolder()
{
    QFETCH(QString, rule);
    QFETCH(QString, folder);
    StillCamera camera;
    camera.Fill(Qt::red);
    m_fx->recorder->SetCamera(&camera);
    m_fx->station.photoOn = true;
    m_fx->station.photoSubPathRule = rule;
    m_fx->station.photoSubPath = QStringLiteral("kept");
    m_fx->SetTime(9, 5, 7);

    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    QCOMPARE(m_fx->station.photoSubPath, folder);
    const QString expected = JoinPath(JoinPath(m_fx->station.imgPath, folder),
                                      QStringLiteral("ABC1234567801C18765432111405030905070KB.jpg"));
    QCOMPARE(m_fx->view.history.first().picturePath, expected);
    QVERIFY(QFile::exists(expected));
    QCOMPARE(QImage(expected).size(), QSize(64, 48));

    // An identity can never lead the file out of its folder.
    QCOMPARE(SignRecorder::SnapshotFileName(QStringLiteral("ABC1234567801"), QStringLiteral("../x/y "),
                                            QStringLiteral("1140503"), QStringLiteral("090507"),
                                            QStringLiteral("0"), QStringLiteral("KB")),
             QStringLiteral("ABC1234567801.._x_y1140503090507" "0KB.jpg"));
}

void TestSignRecorder::preconditions_data()
{
    QTest::addColumn<bool>("ready");
    QTest::addColumn<QString>("lesson");
    QTest::addColumn<bool>("typeChecked");
    QTest::addColumn<QString>("message");

    QTest::newRow("no class") << false << "" << false << "尚未  講習選定";
    QTest::newRow("no lesson") << true << "  " << true << "尚未  課程選定";
    QTest::newRow("no type") << true << "0001:法規(09:00)" << false << "尚未 選擇簽到或簽退 ";
}

void TestSignRecorder::preconditions()
{
    QFETCH(bool, ready);
    QFETCH(QString, lesson);
    QFETCH(bool, typeChecked);
    QFETCH(QString, message);
    m_fx->station.StationReady = ready;
    m_fx->station.LessonText = lesson;
    m_fx->station.TypeChecked = typeChecked;

    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Refused);
    QCOMPARE(m_fx->prompter.messages, QStringList{message});
    QCOMPARE(m_fx->PsioCount(), 0);
    QVERIFY(m_fx->sounds.played.isEmpty());
    QVERIFY(m_fx->view.history.isEmpty());
}

void TestSignRecorder::rejectedEntries_data()
{
    QTest::addColumn<QString>("storageKind");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("shown"); // failure label
    QTest::addColumn<QStringList>("sounds");

    const QString full = QStringLiteral("身分證字號");
    const QStringList error = {QStringLiteral("RolvanError.wav")};
    QTest::newRow("nobody") << full << "99999" << Outcome::NotFound << "(99999)無此身分證字號" << error;
    QTest::newRow("apostrophe") << full << "1'345" << Outcome::NotFound << "(1'345)無此身分證字號" << error;
    QTest::newRow("wrong length") << full << "1234567" << Outcome::BadEntry << "輸入資料有問題" << error;
    QTest::newRow("empty") << full << "" << Outcome::BadEntry << "輸入資料有問題" << error;
    QTest::newRow("no personnel number to store")
        << "會員編號" << "00777" << Outcome::NotFound << "(E100000777)無此會員編號" << error;
}

void TestSignRecorder::rejectedEntries()
{
    QFETCH(QString, storageKind);
    QFETCH(QString, typed);
    QFETCH(Outcome, outcome);
    QFETCH(QString, shown);
    QFETCH(QStringList, sounds);
    m_fx->station.StorageKind = storageKind;
    m_fx->resolver->SetStorageColumn();

    QCOMPARE(Enter(typed), outcome);
    // On the failure line, never in a box that would take the next attendee's keys.
    QVERIFY(m_fx->prompter.all().isEmpty());
    QVERIFY(m_fx->view.failureShown);
    QCOMPARE(m_fx->view.failure, shown);
    QCOMPARE(m_fx->sounds.played, sounds);
    QCOMPARE(m_fx->PsioCount(), 0);
    QVERIFY(m_fx->view.history.isEmpty());
    QCOMPARE(m_fx->station.InCnt, 0);

    // The next good entry hides the label again.
    m_fx->station.StorageKind = QStringLiteral("身分證字號");
    m_fx->resolver->SetStorageColumn();
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    QVERIFY(!m_fx->view.failureShown);
}

void TestSignRecorder::choiceRecordsThePersonChosen()
{
    // "12345" ends three identity numbers: 李大華 (B223412345) and two persons named 王小明
    // (A123412345, R100012345), in name order.
    m_fx->Enrol(SignInFixture::ClassKey(), QStringLiteral("R100012345"), QStringLiteral("000120"),
        QStringLiteral("王小明"));
    m_fx->prompter.queueChoice(2);
    QCOMPARE(m_fx->recorder->KeypadEntry(QStringLiteral("12345")).outcome, Outcome::Recorded);
    QCOMPARE(m_fx->prompter.asked, QStringList { QStringLiteral("12345") });
    QCOMPARE(m_fx->resolver->lastChoices(),
        QStringList(
            { QStringLiteral("李大華  *****12345"), QStringLiteral("王小明  *****12345  000101"),
                QStringLiteral("王小明  *****12345  000120") }));
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'R100012345' and IOWay = 'SC'")), 1);
    QCOMPARE(m_fx->PsioCount(), 1);
    QCOMPARE(m_fx->view.history.first().text.section(u' ', 0, 1), QStringLiteral("000120 王小明"));

    m_fx->prompter.queueChoice(1);
    QCOMPARE(Enter(QStringLiteral("12345")), Outcome::Recorded);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'A123412345' and IOWay = 'KB'")), 1);
    QCOMPARE(m_fx->view.history.first().text.section(u' ', 0, 1), QStringLiteral("000101 王小明"));

    m_fx->prompter.queueChoice(-1);
    QCOMPARE(Enter(QStringLiteral("12345")), Outcome::ChoiceDismissed);
    QCOMPARE(m_fx->PsioCount(), 2);
    QCOMPARE(m_fx->view.history.size(), 2);
    QCOMPARE(m_fx->sounds.played,
        QStringList({ QStringLiteral("RolvanOK.wav"), QStringLiteral("RolvanOK.wav") }));
}

void TestSignRecorder::successSoundSwitchedOff()
{
    m_fx->station.OkSoundOn = false;
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Duplicate);
    QVERIFY(m_fx->sounds.played.isEmpty());
    QCOMPARE(Enter(QStringLiteral("99999")), Outcome::NotFound);
    QCOMPARE(m_fx->sounds.played, QStringList{QStringLiteral("RolvanError.wav")});
}

void TestSignRecorder::automaticModeBetweenLessons_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("past"); // "lesson|type|time" of events already stored
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("lesson");   // lesson key of the new event
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("message");

    const QString prev = QStringLiteral("ABC12345678000109:00");
    const QString next = QStringLiteral("ABC12345678000212:10");
    QTest::newRow("arrived, not left: leaves the last lesson")
        << "54321" << QStringList{prev + QStringLiteral("|0|085500")} << Outcome::Recorded << prev << "1" << "";
    QTest::newRow("arrived and left: arrives for the next")
        << "54321" << QStringList{prev + QStringLiteral("|0|085500"), prev + QStringLiteral("|1|120100")}
        << Outcome::Recorded << next << "0" << "";
    QTest::newRow("never arrived: arrives for the next")
        << "54321" << QStringList() << Outcome::Recorded << next << "0" << "";
    QTest::newRow("left and arrived again")
        << "54321"
        << QStringList{prev + QStringLiteral("|0|085500"), prev + QStringLiteral("|1|120100"),
                       next + QStringLiteral("|0|120300")}
        << Outcome::AutoRefused << "" << "" << " (上一堂課12:01:00已簽退)   (下一堂課12:03:00已簽到)  ";
    QTest::newRow("never arrived, arrived for the next")
        << "54321" << QStringList{next + QStringLiteral("|0|120300")} << Outcome::AutoRefused << ""
        << "" << " (下一堂課12:03:00已簽到)  ";
}

void TestSignRecorder::automaticModeBetweenLessons()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, past);
    QFETCH(Outcome, outcome);
    QFETCH(QString, lesson);
    QFETCH(QString, type);
    QFETCH(QString, message);
    for (const QString &event : std::as_const(past)) {
        const QStringList parts = event.split(u'|');
        StorePastEvent(parts.at(0), QStringLiteral("C187654321"), parts.at(1), parts.at(2));
    }
    StationState &station = m_fx->station;
    station.AutoMode = true;
    station.LessonText.clear();
    station.TypeChecked = false;
    station.PrevCourseCode = QStringLiteral("000109:00");
    station.NextCourseCode = QStringLiteral("000212:10");
    station.PrevInType = QStringLiteral("0");
    station.PrevOutType = QStringLiteral("1");
    m_fx->SetTime(12, 5, 0);

    QCOMPARE(Enter(typed), outcome);
    if (outcome == Outcome::AutoRefused) {
        QCOMPARE(m_fx->prompter.messages, QStringList{message});
        QCOMPARE(m_fx->PsioCount(), past.size());
        QVERIFY(m_fx->sounds.played.isEmpty());
        QVERIFY(m_fx->view.history.isEmpty());
        return;
    }
    QCOMPARE(station.VINDEX_IO, lesson);
    QCOMPARE(m_entry.ioType, type);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where INDEX_KEY = ? and IOTYPE = ? and IOTIME = '120500'"),
                              {lesson, type}),
             1);
}

void TestSignRecorder::deleteHistoryRow()
{
    m_fx->SetTime(9, 5, 7);
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded); // 陳美玲
    m_fx->SetTime(9, 6, 0);
    QCOMPARE(Enter(QStringLiteral("13579")), Outcome::Recorded); // 許八
    const QList<HistoryRow> before = m_fx->recorder->history();

    // Declined: nothing happens.
    m_fx->prompter.queueButton(Prompter::Button::No);
    QVERIFY(!m_fx->recorder->DeleteHistoryRow(1));
    QCOMPARE(m_fx->prompter.asked, QStringList{QStringLiteral("000103 陳美玲 09:05簽到  \n紀錄是否確定刪除?")});
    QCOMPARE(m_fx->PsioCount(), 2);

    m_fx->prompter.queueButton(Prompter::Button::Yes);
    QVERIFY(m_fx->recorder->DeleteHistoryRow(1));
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'C187654321'")), 0);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'N200013579'")), 1);
    // The lines and the counter stay as they were.
    QCOMPARE(m_fx->recorder->history().size(), before.size());
    QCOMPARE(m_fx->station.InCnt, 2);

    // After a sign-out, a sign-in line of the same minute is not the kind recorded last:
    // nothing is asked and nothing deleted, not even the sign-out of that minute.
    m_fx->station.CurrentIoType = QStringLiteral("1");
    QCOMPARE(Enter(QStringLiteral("13579")), Outcome::Recorded);
    m_fx->prompter.clear();
    QVERIFY(!m_fx->recorder->DeleteHistoryRow(1));
    QVERIFY(m_fx->prompter.asked.isEmpty());
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'N200013579'")), 2);
    QVERIFY(!m_fx->recorder->DeleteHistoryRow(9));
}

void TestSignRecorder::repeatedEntryOfAnotherLetterCase()
{
    // Two sign-ins of the person stored for the lesson under keys of another letter case (one
    // merged from another station), and one of the same minute for another lesson.
    const QString lower = SignInFixture::LessonKey().toLower();
    StorePastEvent(SignInFixture::LessonKey(), QStringLiteral("C187654321"), QStringLiteral("0"),
        QStringLiteral("090700"));
    StorePastEvent(
        lower, QStringLiteral("C187654321"), QStringLiteral("0"), QStringLiteral("090507"));
    StorePastEvent(QStringLiteral("ABC12345678000212:10"), QStringLiteral("C187654321"),
        QStringLiteral("0"), QStringLiteral("090530"));
    m_fx->SetTime(9, 20, 0);

    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Duplicate);
    QCOMPARE(m_fx->PsioCount(), 3);
    QCOMPARE(m_fx->view.history.first().text, QStringLiteral("000103 陳美玲09:05 已簽到"));

    m_fx->prompter.queueButton(Prompter::Button::Yes);
    QVERIFY(m_fx->recorder->DeleteHistoryRow(0));
    QCOMPARE(m_fx->PsioCount(), 2);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IOTIME = '090507'")), 0);
}

void TestSignRecorder::tenEntriesLeaveNineLines()
{
    m_fx->SetTime(9, 5, 0);
    for (const EnrolledPerson &p : ClassPersons()) {
        // Whole identity numbers: the persons whose endings are shared need no choice.
        QCOMPARE(Enter(QString::fromUtf16(p.id)), Outcome::Recorded);
    }
    QCOMPARE(m_fx->PsioCount(), 10);
    QCOMPARE(m_fx->view.history.size(), 9);
    QCOMPARE(m_fx->view.history.first().hint, QStringLiteral("N200013579"));
    QCOMPARE(m_fx->view.history.last().hint, QStringLiteral("B223412345"));
}

void TestSignRecorder::databaseReopenedBetweenEntries()
{
    // Each activation of the station closes and opens the working database again.
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    const QString path = m_fx->dir.filePath(QStringLiteral("Quorin.db"));
    m_fx->dm->CloseWorking();
    QString error;
    QVERIFY2(TestBackend::ReopenWorkingDatabase(*m_fx->dm, path, &error), qPrintable(error));
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Duplicate);
    QCOMPARE(Enter(QStringLiteral("00001")), Outcome::Recorded);
    QCOMPARE(m_fx->PsioCount(), 2);
    QVERIFY(m_fx->prompter.errors.isEmpty());

    // Another database file: its own enrolment, nothing of the first one's.
    m_fx->dm->CloseWorking();
    const QString other = m_fx->dir.filePath(QStringLiteral("Other.db"));
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + QStringLiteral("/SampleQuorin.db"), other));
    QVERIFY2(TestBackend::OpenWorkingDatabase(*m_fx->dm, other, &error), qPrintable(error));
    QCOMPARE(Enter(QStringLiteral("13579")), Outcome::NotFound);
    QCOMPARE(m_fx->PsioCount(), 0);
}

void TestSignRecorder::enrolmentChangeSeenByTheNextEntry_data()
{
    QTest::addColumn<bool>("elsewhere");
    QTest::newRow("in this station's windows") << false;
    QTest::newRow("by another station on the file") << true;
}

void TestSignRecorder::enrolmentChangeSeenByTheNextEntry()
{
    QFETCH(bool, elsewhere);
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded); // 陳美玲, C187654321

    // 同尾號 is added with an identity number ending like 陳美玲's.
    const QString add
        = QStringLiteral("insert into Booking (Index_key, ID, IDNO, NAME) values (?, ?, ?, ?)");
    const QVariantList person = { SignInFixture::ClassKey(), QStringLiteral("Q100054321"),
        QStringLiteral("000120"), QStringLiteral("同尾號") };
    if (elsewhere) {
        SecondStation second(m_fx->dm->Con1());
        QSqlQuery query(QSqlDatabase::database(SecondStation::Name()));
        QVERIFY(query.prepare(add));
        for (const QVariant &v : person)
            query.addBindValue(v);
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    } else {
        QVERIFY(ExecSqlOn(add, m_fx->dm->Con1(), person));
    }

    // The five digits now give the choice; 同尾號 comes first by name.
    m_fx->prompter.queueChoice(0);
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    QCOMPARE(m_fx->prompter.asked, QStringList { QStringLiteral("54321") });
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'Q100054321'")), 1);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'C187654321'")), 1);
}

void TestSignRecorder::secondStationAtTheSameMoment()
{
    if (TestBackend::UsesPostgres()) {
        SecondStationOnTheServerAtTheSameMoment();
        return;
    }
    // The second station stores the same person's sign-in between this station's duplicate
    // test and its insert, if it can.
    SecondStation second(m_fx->dm->Con1());
    InterleavedSignIn interleaved;
    interleaved.second = &second;
    interleaved.idno = QStringLiteral("C187654321");
    interleaved.lessonKey = SignInFixture::LessonKey();
    sqlite3_trace_v2(
        Handle(m_fx->dm->Con1()), SQLITE_TRACE_STMT, &InterleavedSignIn::Traced, &interleaved);
    m_fx->SetTime(9, 5, 7);
    const Outcome outcome = Enter(QStringLiteral("54321"));
    sqlite3_trace_v2(Handle(m_fx->dm->Con1()), 0, nullptr, nullptr);

    QCOMPARE(interleaved.attempts, 1);
    QCOMPARE(outcome, Outcome::Recorded);
    // It had to wait: the sign-in is stored once.
    QVERIFY(!interleaved.stored);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'C187654321'")), 1);
    // Once this station's transaction is over, the second one finds the event stored.
    QVERIFY(second.SignIn(interleaved.idno, interleaved.lessonKey, QStringLiteral("090508")));
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'C187654321'")), 1);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'C187654321' and DOOR = '07'")), 1);
}

// On the shared database the link to the server goes away between two entries (the server
// ended this station's session): the next entry finds it gone, connects anew and is stored,
// with no statement of the old session left to fail inside its transaction.
void TestSignRecorder::serverLinkLostAndFoundAgain()
{
    if (!TestBackend::UsesPostgres())
        QSKIP("a link to a server exists only on the shared database");
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    {
        SecondStation second(m_fx->dm->Con1());
        QSqlQuery query(QSqlDatabase::database(SecondStation::Name()));
        QVERIFY(query.exec(QStringLiteral(
            "select pg_terminate_backend(pid) from pg_stat_activity where pid <> pg_backend_pid() "
            "and application_name = 'Rolvan' and datname = current_database() "
            "and backend_type = 'client backend' and usename = current_user "
            "and pid in (select pid from pg_stat_activity where state is not null)")));
    }
    m_fx->SetTime(9, 6, 0);
    QCOMPARE(Enter(QStringLiteral("00001")), Outcome::Recorded);
    QVERIFY2(m_fx->prompter.errors.isEmpty(), qPrintable(m_fx->prompter.errors.join(u'\n')));
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Duplicate);
    QCOMPARE(m_fx->PsioCount(), 2);
}

// On the shared database: another station, in a thread of its own, is storing the same person's
// sign-in (its transaction holds the person's lock) when this station's entry comes. This one
// waits, then finds the event stored and greets instead of storing a second.
void TestSignRecorder::SecondStationOnTheServerAtTheSameMoment()
{
    const QSqlDatabase station = m_fx->dm->Con1();
    std::promise<bool> holding;
    std::future<bool> held = holding.get_future();
    std::atomic<bool> committed { false };
    std::thread other([&] {
        const QString name = QStringLiteral("other station thread");
        {
            QSqlDatabase db = QSqlDatabase::cloneDatabase(station, name);
            QSqlQuery query(db);
            bool ok = db.open() && db.transaction()
                && query.exec(QStringLiteral("select pg_advisory_xact_lock(hashtext('C187654321|1140503'))"))
                && query.exec(QStringLiteral("insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY, "
                                             "IOWay, DOOR, NET, NTP) values ('C187654321', '1140503', "
                                             "'090506', '0', 'ABC12345678000109:00', 'KB', '08', 'N', 'Y')"));
            holding.set_value(ok);
            if (ok) {
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                committed = db.commit();
            }
            query = QSqlQuery();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    });
    const bool otherHolds = held.get();
    m_fx->SetTime(9, 5, 7);
    const Outcome outcome = otherHolds ? Enter(QStringLiteral("54321")) : Outcome::Failed;
    other.join();
    QVERIFY(otherHolds);
    QVERIFY(committed);
    QCOMPARE(outcome, Outcome::Duplicate);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'C187654321'")), 1);
    QCOMPARE(m_fx->PsioCount(QStringLiteral(" where IDNO = 'C187654321' and DOOR = '08'")), 1);
}

void TestSignRecorder::lockHeldTooLongRecordsNothing()
{
    if (TestBackend::UsesPostgres()) {
        // Another station holds the person's lock longer than this one waits.
        QSqlQuery timeout(m_fx->dm->Con1());
        QVERIFY(timeout.exec(QStringLiteral("set lock_timeout = '200ms'")));
        SecondStation second(m_fx->dm->Con1());
        QSqlDatabase db = QSqlDatabase::database(SecondStation::Name());
        QVERIFY(db.transaction());
        QSqlQuery lock(db);
        QVERIFY(lock.exec(QStringLiteral("select pg_advisory_xact_lock(hashtext('C187654321|1140503'))")));
        m_fx->SetTime(9, 5, 7);
        QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Failed);
        QCOMPARE(m_fx->prompter.errors.size(), 1);
        QVERIFY2(m_fx->prompter.errors.first().contains(QStringLiteral("lock timeout")),
            qPrintable(m_fx->prompter.errors.first()));
        QVERIFY(m_fx->view.history.isEmpty());
        QCOMPARE(m_fx->station.InCnt, 0);
        // Another person is not held up; once the lock is free the entry is stored.
        QCOMPARE(Enter(QStringLiteral("00001")), Outcome::Recorded);
        lock = QSqlQuery();
        QVERIFY(db.rollback());
        QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
        QCOMPARE(m_fx->PsioCount(), 2);
        return;
    }
    // Another station holds the write lock longer than this one waits.
    QSqlQuery pragma(m_fx->dm->Con1());
    QVERIFY(pragma.exec(QStringLiteral("PRAGMA busy_timeout = 50")));
    SecondStation second(m_fx->dm->Con1());
    QSqlQuery lock(QSqlDatabase::database(SecondStation::Name()));
    QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));

    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Failed);
    QCOMPARE(m_fx->prompter.errors.size(), 1);
    QVERIFY2(m_fx->prompter.errors.first().contains(QStringLiteral("locked")),
        qPrintable(m_fx->prompter.errors.first()));
    QCOMPARE(m_fx->sounds.played, QStringList { QStringLiteral("RolvanError.wav") });
    QVERIFY(m_fx->view.history.isEmpty());
    QCOMPARE(m_fx->station.InCnt, 0);

    // Once the lock is free the next entry is stored.
    QVERIFY(lock.exec(QStringLiteral("COMMIT")));
    QCOMPARE(Enter(QStringLiteral("54321")), Outcome::Recorded);
    QCOMPARE(m_fx->PsioCount(), 1);
}

QTEST_GUILESS_MAIN(TestSignRecorder)
#include "tst_signrecorder.moc"

// The demonstration data of a new demo home (tools/make_demo_data): a class held on the given
// day with lessons from morning to evening and one roll call, forty students with well-formed
// identity numbers, the station settings of the demonstration; and a new user who types the
// last five digits of a printed identity signs in, with the snapshot and the sound.

#include "SignInFixture.h"

#include "Fun/IdentityNumber.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/ClassDayProfile.h"

#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace {

struct ToolRun
{
    int exitCode = -1;
    QStringList lines; // stdout, one entry a line
    QString errors;    // stderr
};

ToolRun RunTool(const QStringList &arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/tools/make_demo_data"_s, arguments);
    ToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Every row of a statement with bound values, each as its list of column values.
QList<QVariantList> Rows(QSqlDatabase db, const QString &sql, const QVariantList &params = {})
{
    QList<QVariantList> rows;
    QSqlQuery query(db);
    if (!query.prepare(sql))
        return rows;
    for (const QVariant &p : params)
        query.addBindValue(p);
    if (!query.exec())
        return rows;
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << query.value(i);
        rows << row;
    }
    return rows;
}

QString TemplatePath()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
}

} // namespace

class TestDemoData : public QObject
{
    Q_OBJECT

private slots:
    void newHomeSignsInByLastFiveDigits();
    void dayIsLaidAroundTheStartingTime_data();
    void dayIsLaidAroundTheStartingTime();
    void laterRunsKeepTheDataAndAddOnlyAMissingDay();
    void badArgumentsChangeNothing_data();
    void badArgumentsChangeNothing();
};

void TestDemoData::newHomeSignsInByLastFiveDigits()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(u"Quorin.db"_s);
    const QString ini = dir.filePath(u"Rolvan.ini"_s);
    QVERIFY(QFile::copy(TemplatePath(), db));
    const ToolRun run = RunTool({u"--ini"_s, ini, db, u"2025/05/03"_s});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.lines.size(), 5);

    // The station settings of the demonstration.
    for (const auto &[key, value] : QList<QPair<QString, QString>>{
             {IniKey::PhotoOnSign, u"True"_s},
             {IniKey::CameraDevice, u"0"_s},
             {IniKey::IOKeyboard, u"True"_s},
             {IniKey::IdentityInputKind, u"身分證末5碼"_s},
             {IniKey::IdentityStoreKind, u"身分證字號"_s},
             {IniKey::IdentityShowKind, u"姓名"_s},
             {IniKey::PhotoQuality, u"75"_s}})
        QCOMPARE(ReadIniSettingAt(ini, IniSection::Base, key, u"?"_s, u"?"_s), value);

    Globals globals;
    globals.ExeDir = dir.path() + QDir::separator();
    globals.CourseNoLength = 11;
    SetGlobals(&globals);
    TDM dm(globals);
    QString error;
    QVERIFY2(dm.OpenWorkingDatabase(db, &error), qPrintable(error));
    globals.IdnoCaption = ReadIdnoCaption();

    // One class, held on that day only, offering every kind of sign event.
    const QList<QVariantList> classes =
        Rows(dm.Con1(), u"select CourseId, Echelon, DateStart, DateEnd, DateBet, SignType, "
                        "Bookin, Course from Courses"_s);
    QCOMPARE(classes.size(), 1);
    const QVariantList &course = classes.first();
    const QString classKey = course.at(0).toString().trimmed() + course.at(1).toString();
    QCOMPARE(classKey.size(), 13);
    QCOMPARE(course.at(2).toString(), u"2025/05/03"_s);
    QCOMPARE(course.at(3).toString(), u"2025/05/03"_s);
    QCOMPARE(course.at(4).toString(), u"1"_s);
    QCOMPARE(course.at(5).toString(), u"111111"_s);
    QVERIFY(course.at(6).toBool());
    QVERIFY(!course.at(7).toString().isEmpty());

    // Lessons from the morning into the evening on that day, one roll call: all six kinds.
    const ClassDayProfile profile =
        LoadClassDayProfile(dm.Con1(), classKey, u"2025/05/03"_s, QString(), DefaultClassPeriods());
    QCOMPARE(profile.ClsIOType, u"111111"_s);
    QCOMPARE(profile.ClsIOTypeShift, 0);
    QCOMPARE(profile.ClsRollCallTimes.size(), 4);
    QVERIFY(profile.ClsioTimeString.startsWith(u"08"_s));
    QVERIFY(profile.ClsioTimeString.endsWith(u"2100"_s));

    // Forty students, every identity well formed, no two alike in the last five digits.
    const QList<QVariantList> students =
        Rows(dm.Con1(), u"select ID, NAME, SEX from Booking where INDEX_KEY = ?"_s, {classKey});
    QCOMPARE(students.size(), 40);
    QSet<QString> lastFive;
    QSet<QString> names;
    for (const QVariantList &s : students) {
        const QString id = s.at(0).toString();
        QVERIFY2(IsValidIdentityNumber(id), qPrintable(id));
        QCOMPARE(s.at(2).toString(), id.at(1) == u'1' ? u"男"_s : u"女"_s);
        lastFive.insert(id.right(5));
        names.insert(s.at(1).toString());
    }
    QCOMPARE(lastFive.size(), 40);
    QCOMPARE(names.size(), 40);

    // The printed students are students of the class.
    QStringList printedIds;
    for (const QString &line : run.lines) {
        const QStringList parts = line.split(u' ');
        QCOMPARE(parts.size(), 2);
        QCOMPARE(QueryValue(u"select NAME from Booking where INDEX_KEY = ? and ID = ?"_s,
                            {classKey, parts.at(0)})
                     .toString(),
                 parts.at(1));
        printedIds << parts.at(0);
    }

    // A new user types the last five digits of the first one at the first lesson.
    FixedClock clock(QDateTime(QDate(2025, 5, 3), QTime(8, 3, 20)));
    SetCurrentClock(&clock);
    ScriptedPrompter prompter;
    RecordingSoundPlayer sounds;
    StillCamera camera;
    camera.Fill(Qt::darkCyan);
    StationState station;
    station.ClassKey = classKey;
    station.VINDEX_IO = classKey.left(11)
        + QueryValue(u"select CNo4 || TimeStart from Course where INDEX_KEY = ? order by TimeStart"_s,
                     {classKey})
              .toString();
    station.LessonText = u"A001"_s;
    station.StationReady = true;
    station.TypeChecked = true;
    station.photoOn = ReadIniBool(IniSection::Base, IniKey::PhotoOnSign, false);
    station.PhotoQuality = ReadIniSetting(IniSection::Base, IniKey::PhotoQuality, u"15"_s, u"15"_s).toInt();
    station.imgPath = dir.filePath(u"查核資料檔案"_s);
    RecordingSignView view;
    IdentityResolver resolver(station);
    resolver.LoadSettings();
    SignRecorder recorder(station, resolver, view);
    recorder.SetCamera(&camera);

    const QString id = printedIds.first();
    QCOMPARE(recorder.ConfirmEntry(id.right(5)), SignRecorder::Outcome::Recorded);
    QCOMPARE(QueryValue(u"select count(*) from PSIO where IDNO = ? and IODATE = '1140503' "
                        "and IOTYPE = '0' and IOWay = 'KB'"_s,
                        {id})
                 .toInt(),
             1);
    QCOMPARE(sounds.last(), u"RolvanOK.wav"_s);
    QVERIFY(prompter.all().isEmpty());
    QCOMPARE(view.history.size(), 1);
    QVERIFY2(view.history.first().text.startsWith(run.lines.first().section(u' ', 1)),
             qPrintable(view.history.first().text));
    QVERIFY(QFile::exists(view.history.first().picturePath));
    QVERIFY(view.history.first().picturePath.startsWith(station.imgPath));

    SetCurrentClock(nullptr);
    SetGlobals(nullptr);
}

void TestDemoData::dayIsLaidAroundTheStartingTime_data()
{
    QTest::addColumn<QString>("at");
    QTest::addColumn<QString>("firstStart"); // of the day the station then offers

    QTest::newRow("during a morning lesson: the usual day") << u"09:15"_s << u"08:00"_s;
    QTest::newRow("lesson nearly over: the next one moves in") << u"11:45"_s << u"09:15"_s;
    QTest::newRow("lunch break: the afternoon moves in") << u"12:40"_s << u"06:50"_s;
    QTest::newRow("dinner break: the evening moves in") << u"18:10"_s << u"06:50"_s;
    QTest::newRow("just after midnight") << u"00:03"_s << u"00:00"_s;
    QTest::newRow("small hours") << u"01:58"_s << u"01:35"_s;
    QTest::newRow("late evening: the day ends at midnight") << u"23:30"_s << u"10:55"_s;
}

void TestDemoData::dayIsLaidAroundTheStartingTime()
{
    QFETCH(QString, at);
    QFETCH(QString, firstStart);
    QTemporaryDir dir;
    const QString db = dir.filePath(u"Quorin.db"_s);
    QVERIFY(QFile::copy(TemplatePath(), db));
    QCOMPARE(RunTool({u"--at"_s, at, db, u"2025/05/03"_s}).exitCode, 0);

    Globals globals;
    SetGlobals(&globals);
    {
        TDM dm(globals);
        QVERIFY(dm.OpenWorkingDatabase(db));
        const QString classKey = QueryValue(u"select CourseId || Echelon from Courses"_s).toString();
        const QList<QVariantList> lessons = Rows(
            dm.Con1(), u"select TimeStart, TimeEnd from Course where INDEX_KEY = ? order by TimeStart"_s,
            {classKey});
        QCOMPARE(lessons.size(), 5);
        QCOMPARE(lessons.first().at(0).toString(), firstStart);
        // A lesson runs at that time with ten minutes or more to go, and the lessons neither
        // overlap nor cross midnight.
        int running = 0;
        QString previousEnd;
        for (const QVariantList &lesson : lessons) {
            const QString start = lesson.at(0).toString();
            const QString end = lesson.at(1).toString();
            QVERIFY(start < end);
            QVERIFY2(previousEnd < start, qPrintable(previousEnd + u' ' + start));
            previousEnd = end;
            if (start <= at && at <= QTime::fromString(end, u"HH:mm"_s).addSecs(-600).toString(u"HH:mm"_s))
                ++running;
        }
        QCOMPARE(running, 1);
        // Still a day of morning, afternoon and evening with a roll call.
        const ClassDayProfile profile =
            LoadClassDayProfile(dm.Con1(), classKey, u"2025/05/03"_s, QString(), DefaultClassPeriods());
        QCOMPARE(profile.ClsIOType, u"111111"_s);
        QCOMPARE(profile.ClsRollCallTimes.size(), 4);
    }
    SetGlobals(nullptr);
}

void TestDemoData::laterRunsKeepTheDataAndAddOnlyAMissingDay()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(u"Quorin.db"_s);
    QVERIFY(QFile::copy(TemplatePath(), db));
    const ToolRun first = RunTool({db, u"2025/05/03"_s});
    QCOMPARE(first.exitCode, 0);

    auto count = [&](const QString &table) {
        QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        qint64 n = -1;
        {
            QSqlDatabase c = QSqlDatabase::database(u"check"_s, false);
            c.setDatabaseName(db);
            if (c.open()) {
                QSqlQuery q(c);
                if (q.exec(u"select count(*) from "_s + table) && q.next())
                    n = q.value(0).toLongLong();
            }
            c.close();
        }
        QSqlDatabase::removeDatabase(u"check"_s);
        return n;
    };
    const qint64 bookings = count(u"Booking"_s);
    const qint64 lessons = count(u"Course"_s);

    // The same day again: nothing written, the same students printed.
    const ToolRun again = RunTool({db, u"2025/05/03"_s});
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.lines, first.lines);
    QCOMPARE(count(u"Courses"_s), 1);
    QCOMPARE(count(u"Booking"_s), bookings);

    // Another day: that day's class is added beside the first, with the same students.
    const ToolRun nextDay = RunTool({db, u"2025/05/04"_s});
    QCOMPARE(nextDay.exitCode, 0);
    QCOMPARE(nextDay.lines, first.lines);
    QCOMPARE(count(u"Courses"_s), 2);
    QCOMPARE(count(u"Booking"_s), 2 * bookings);
    QCOMPARE(count(u"Course"_s), 2 * lessons);
}

void TestDemoData::badArgumentsChangeNothing_data()
{
    // "<db>" stands for a template copy, "<missing>" for a file that does not exist, "<text>"
    // for a text file.
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no arguments") << QStringList();
    QTest::newRow("date without leading zeros") << QStringList{u"<db>"_s, u"2025/5/3"_s};
    QTest::newRow("time without leading zero") << QStringList{u"--at"_s, u"9:30"_s, u"<db>"_s, u"2025/05/03"_s};
    QTest::newRow("unknown option") << QStringList{u"--day"_s, u"1"_s, u"<db>"_s, u"2025/05/03"_s};
    QTest::newRow("option without value") << QStringList{u"<db>"_s, u"2025/05/03"_s, u"--ini"_s};
    QTest::newRow("no such day") << QStringList{u"<db>"_s, u"2025/02/30"_s};
    QTest::newRow("missing database") << QStringList{u"<missing>"_s, u"2025/05/03"_s};
    QTest::newRow("not a database") << QStringList{u"<text>"_s, u"2025/05/03"_s};
}

void TestDemoData::badArgumentsChangeNothing()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    const QString db = dir.filePath(u"Quorin.db"_s);
    QVERIFY(QFile::copy(TemplatePath(), db));
    const QString text = dir.filePath(u"notes.db"_s);
    {
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database\n");
    }
    QFile original(db);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();

    for (QString &a : arguments) {
        a.replace(u"<db>"_s, db);
        a.replace(u"<missing>"_s, dir.filePath(u"none.db"_s));
        a.replace(u"<text>"_s, text);
    }
    const ToolRun run = RunTool(arguments);
    QVERIFY(run.exitCode > 0);
    QVERIFY(run.lines.isEmpty());
    QVERIFY(!run.errors.trimmed().isEmpty());
    QVERIFY(!QFile::exists(dir.filePath(u"none.db"_s)));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(original.readAll(), before);
    QFile notes(text);
    QVERIFY(notes.open(QIODevice::ReadOnly));
    QCOMPARE(notes.readAll(), QByteArray("not a database\n"));
}

QTEST_GUILESS_MAIN(TestDemoData)
#include "tst_demodata.moc"

// The demonstration data of a new demo home (tools/make_demo_data): a class held on the given
// day with lessons from morning to evening and one roll call, forty students with well-formed
// identity numbers, the station settings of the demonstration; and a new user who types the
// last five digits of a printed identity signs in, with the snapshot and the sound. With the
// home's INI, a class of the day before with its sign events and snapshots, which the reports
// read as a real day: full hours for who stayed, fewer for who came late, none for absentees.

#include "SignInFixture.h"

#include "Fun/IdentityNumber.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/ClassDayProfile.h"
#include "reports/HoursRun.h"

#include <QHash>
#include <QImage>
#include <QRegularExpression>
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
    void dayBeforeHasEventsSnapshotsAndHours();
    void readIniAddsTheDayBeforeAndKeepsTheSettings();
};

void TestDemoData::newHomeSignsInByLastFiveDigits()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(u"Quorin.db"_s);
    const QString ini = dir.filePath(u"Rolvan.ini"_s);
    QVERIFY(QFile::copy(TemplatePath(), db));
    // The demo home's picture folder (without one the snapshots would go to the home folder's).
    WriteIniSettingAt(ini, IniSection::Base, IniKey::ImageFileLocationPath, dir.filePath(u"查核資料檔案"_s));
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
    TestDataModule dm(globals);
    QString error;
    QVERIFY2(dm.OpenWorkingDatabase(db, &error), qPrintable(error));
    globals.IdnoCaption = ReadIdnoCaption(dm.Con1());

    // One class held on that day only (the other one is the day before's), offering every
    // kind of sign event.
    const QList<QVariantList> classes =
        Rows(dm.Con1(), u"select CourseId, Echelon, DateStart, DateEnd, DateBet, SignType, "
                        "Bookin, Course from Courses where DateEnd >= '2025/05/03'"_s);
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
    IdentityResolver resolver(station, dm);
    resolver.LoadSettings();
    SignRecorder recorder(station, dm, resolver, view);
    recorder.SetCamera(&camera);

    const QString id = printedIds.first();
    QCOMPARE(recorder.ConfirmEntry(id.right(5)).outcome, SignRecorder::Outcome::Recorded);
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
        TestDataModule dm(globals);
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

namespace {

// A demo home in a temporary folder: template copy and an INI naming its picture folder.
struct DemoHome
{
    QTemporaryDir dir;
    QString db = dir.filePath(u"Quorin.db"_s);
    QString ini = dir.filePath(u"Rolvan.ini"_s);
    QString pictures = dir.filePath(u"查核資料檔案"_s);

    bool Prepare()
    {
        if (!QFile::copy(TemplatePath(), db))
            return false;
        WriteIniSettingAt(ini, IniSection::Base, IniKey::ImageFileLocationPath, pictures);
        return true;
    }
};

} // namespace

void TestDemoData::dayBeforeHasEventsSnapshotsAndHours()
{
    DemoHome home;
    QVERIFY(home.Prepare());
    QCOMPARE(RunTool({u"--ini"_s, home.ini, home.db, u"2025/05/03"_s}).exitCode, 0);

    Globals globals;
    globals.ExeDir = home.dir.path() + QDir::separator();
    SetGlobals(&globals);
    {
        TestDataModule dm(globals);
        QVERIFY(dm.OpenWorkingDatabase(home.db));
        const QString classKey = u"1140502000201"_s;
        const QList<QVariantList> course =
            Rows(dm.Con1(), u"select DateStart, DateEnd, TotHours, Charge from Courses "
                            "where CourseId || Echelon = ?"_s, {classKey});
        QCOMPARE(course.size(), 1);
        QCOMPARE(course.first().at(0).toString(), u"2025/05/02"_s);
        QCOMPARE(course.first().at(1).toString(), u"2025/05/02"_s);
        QCOMPARE(course.first().at(3).toString(), u"示範訓練中心"_s);

        // A morning and an afternoon lesson around the lunch break, a roll call in each.
        const QList<QVariantList> lessons = Rows(
            dm.Con1(), u"select CNo4 || TimeStart, TimeStart, TimeEnd, noonRS, noonRE, R1, R2 "
                       "from Course where INDEX_KEY = ? order by TimeStart"_s, {classKey});
        QCOMPARE(lessons.size(), 2);
        const QStringList expected[] = {
            {u"09:00"_s, u"12:00"_s, u"12:00"_s, u"13:00"_s, u"09:30"_s, u""_s},
            {u"13:00"_s, u"16:00"_s, u"12:00"_s, u"13:00"_s, u""_s, u"14:00"_s}};
        for (int n = 0; n < 2; ++n) {
            QStringList got;
            for (int c = 1; c < 7; ++c)
                got << lessons.at(n).at(c).toString();
            QCOMPARE(got, expected[n]);
        }
        const QString morningKey = u"11405020002"_s + lessons.at(0).at(0).toString();
        const QString afternoonKey = u"11405020002"_s + lessons.at(1).at(0).toString();

        // Thirty students and a lecturer, who is the lessons' teacher.
        QCOMPARE(QueryValue(u"select count(*) from Booking where INDEX_KEY = ? and JOBTYPE = '學員'"_s,
                            {classKey}).toInt(), 30);
        const QString lecturer = QueryValue(u"select ID from Booking where INDEX_KEY = ? "
                                            "and JOBTYPE = '講師'"_s, {classKey}).toString();
        QVERIFY(IsValidIdentityNumber(lecturer));
        QCOMPARE(QueryValue(u"select count(*) from Course where INDEX_KEY = ? and teacherID = ?"_s,
                            {classKey, lecturer}).toInt(), 2);

        // Every event as the station stores it, under the lesson of its half of the day, with
        // its snapshot in the year-month folder of the picture folder.
        const QList<QVariantList> events = Rows(
            dm.Con1(), u"select IDNO, IODATE, IOTIME, IOTYPE, IOWay, DOOR, INDEX_KEY from PSIO "
                       "where INDEX_KEY like '11405020002%' order by IOTIME"_s);
        QVERIFY(events.size() > 100);
        QSet<QString> enrolled;
        for (const QVariantList &p : Rows(dm.Con1(), u"select ID from Booking where INDEX_KEY = ?"_s, {classKey}))
            enrolled.insert(p.at(0).toString());
        QHash<QString, QStringList> eventsOf; // person: "<type><time>" in time order
        for (const QVariantList &e : events) {
            const QString id = e.at(0).toString();
            const QString time = e.at(2).toString();
            const QString type = e.at(3).toString();
            QVERIFY2(enrolled.contains(id), qPrintable(id));
            QCOMPARE(e.at(1).toString(), u"1140502"_s);
            QCOMPARE(e.at(4).toString(), u"KB"_s);
            QCOMPARE(e.at(5).toString(), u"01"_s);
            QVERIFY2(u"01239"_s.contains(type), qPrintable(type));
            QCOMPARE(e.at(6).toString(), time < u"123000"_s ? morningKey : afternoonKey);
            const QString picture = home.pictures + u"/11405/"_s
                + SignRecorder::SnapshotFileName(classKey, id, u"1140502"_s, time, type, u"KB"_s);
            const QImage image(picture);
            QVERIFY2(!image.isNull(), qPrintable(picture));
            QCOMPARE(image.size(), QSize(320, 240));
            eventsOf[id] << type + time;
        }

        // Some absent, some late, some leaving early, some missing a roll call.
        const int absent = int(enrolled.size()) - int(eventsOf.size());
        QVERIFY2(absent >= 2 && absent <= 5, qPrintable(QString::number(absent)));
        int late = 0, early = 0, missedRollCall = 0;
        for (const QStringList &list : std::as_const(eventsOf)) {
            const QString all = list.join(u' ');
            late += all.contains(QRegularExpression(u"(^| )0(09(1[6-9]|[2-5]))"_s)) ? 1 : 0;
            early += all.contains(QRegularExpression(u"(^| )3(1[45])"_s)) ? 1 : 0;
            missedRollCall += list.filter(QRegularExpression(u"^9"_s)).size() < 2 ? 1 : 0;
        }
        QVERIFY(late >= 2);
        QVERIFY(early >= 2);
        QVERIFY(missedRollCall >= 2);

        // The hours run reads it as a real day.
        HoursRun run(dm.Con1(), classKey, ReportSettings());
        run.Run();
        run.ComputeTotals();
        const QList<QVariantList> hours = Rows(
            dm.Con1(), u"select ID, GHour from Booking where INDEX_KEY = ? and JOBTYPE = '學員'"_s, {classKey});
        QCOMPARE(hours.size(), 30);
        int full = 0;
        for (const QVariantList &h : hours) {
            const QString id = h.at(0).toString();
            const int credited = h.at(1).toInt();
            const QStringList list = eventsOf.value(id);
            if (list.isEmpty()) {
                QCOMPARE(credited, 0);
                continue;
            }
            const QString all = list.join(u' ');
            // Came before each half began and left after it ended, answering both roll calls.
            const bool onTime = list.size() == 6 && all.contains(QRegularExpression(u"^0(08)"_s))
                && all.contains(QRegularExpression(u" 1(12)"_s)) && all.contains(QRegularExpression(u" 2(12)"_s))
                && all.contains(QRegularExpression(u" 3(16)"_s));
            if (onTime) {
                QVERIFY2(credited == 6, qPrintable(id + u' ' + all + u' ' + QString::number(credited)));
                ++full;
            } else {
                QVERIFY2(credited < 6, qPrintable(id + u' ' + all + u' ' + QString::number(credited)));
            }
        }
        QVERIFY(full >= 15);
    }
    SetGlobals(nullptr);
}

void TestDemoData::readIniAddsTheDayBeforeAndKeepsTheSettings()
{
    // A home made without its INI has only the day's class; the day before comes with
    // --read-ini, which leaves the settings as they are.
    DemoHome home;
    QVERIFY(home.Prepare());
    const ToolRun first = RunTool({home.db, u"2025/05/03"_s});
    QCOMPARE(first.exitCode, 0);
    QVERIFY(!QFile::exists(home.pictures));
    QFile ini(home.ini);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray settings = ini.readAll();
    ini.close();

    for (int run = 0; run < 2; ++run) {
        const ToolRun again = RunTool({u"--read-ini"_s, home.ini, home.db, u"2025/05/03"_s});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.lines, first.lines);
    }
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), settings);

    Globals globals;
    SetGlobals(&globals);
    {
        TestDataModule dm(globals);
        QVERIFY(dm.OpenWorkingDatabase(home.db));
        QCOMPARE(Rows(dm.Con1(), u"select CourseId from Courses order by CourseId"_s),
                 (QList<QVariantList>{{u"11405020002"_s}, {u"11405030001"_s}}));
        const int events = QueryValue(u"select count(*) from PSIO"_s).toInt();
        QVERIFY(events > 100);
        QCOMPARE(QDir(home.pictures + u"/11405"_s).entryList(QDir::Files).size(), events);
    }
    SetGlobals(nullptr);
}

QTEST_GUILESS_MAIN(TestDemoData)
#include "tst_demodata.moc"

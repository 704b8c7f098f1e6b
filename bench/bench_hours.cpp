// The whole hours run of a class (both phases and the per-person totals) on a working database
// that also holds 1,000,000 events of other classes, for a class of 500 and one of 5,000
// persons (ten class days, four lessons a day, six events per person and day). In the same run,
// alternating with the hours runs, the floor: reading that class's events once and inserting as
// many rows as the run writes into IO_SCORE00, in one transaction, on the same connection.
// Prints the medians, their ratios against the targets (run <= 3 x floor; the 5,000-person run
// <= 12 x the 500-person run) and the peak memory of the process (target < 300 MB).
//
//   bench_hours [--data <hours.db>] [--repeat N]
//
// The data file (default: bench-data/hours.db beside the program) is made by make_hours_data
// when missing; every run works on a fresh copy of it.

#include "BenchSupport.h"
#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "HoursBenchData.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Prompter.h"
#include "reports/HoursRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

QString Ms(double value)
{
    return QString::number(value, 'f', 1) + u" ms"_s;
}

struct Timing
{
    double wallMs = 0;
    double cpuMs = 0;
};

template<typename F>
Timing Measure(F &&work)
{
    const double cpu = ThreadCpuMs();
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(), ThreadCpuMs() - cpu};
}

struct EventCopy
{
    QString IDNO;
    QString IODATE;
    QString IOTIME;
    QString IOTYPE;
    QString INDEX_KEY;
};

// The floor: the class's events read once (the run's own statement), then `rows` rows of the
// IO_SCORE00 layout written with seventeen bound values each in one transaction.
qsizetype Floor(QSqlDatabase db, const QString &classKey, qsizetype rows)
{
    const PrefixCondition prefix = BeginsWithCondition(u"INDEX_KEY"_s, classKey.left(11));
    QVariantList params = prefix.params;
    params.append(FormatDateByPattern(u"YYYMMDD"_s, HoursBench::FirstDay()));
    std::vector<EventCopy> events;
    {
        QSqlQuery query = RunQuery(u"select IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY from PSIO where "_s
                                       + prefix.sql
                                       + u" and IODATE >= ? order by IODATE, INDEX_KEY, IDNO, IOTIME, RID"_s,
                                   db, params);
        while (query.next())
            events.push_back({query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                              query.value(3).toString(), query.value(4).toString()});
    }
    db.transaction();
    {
        QSqlQuery ddl(db);
        ddl.exec(u"drop table if exists IO_SCORE_FLOOR"_s);
        ddl.exec(u" Create Table IO_SCORE_FLOOR ( INDEX_KEY Varchar(20) ,IDNO char(10) ,IODATE Varchar(10) ,cno2 char(5) ,cno4 char(10),TimeStart char(5),TimeEnd char(5),Hours int ,t1 Varchar(5) ,t2 Varchar(5) ,t3 Varchar(5) ,t4 Varchar(5) ,t5 Varchar(5) ,t6 Varchar(5),gHours int ,Subject Varchar(50),Memo2 Varchar(20)  ) "_s);
        QSqlQuery insert(db);
        insert.prepare(u"insert into IO_SCORE_FLOOR (INDEX_KEY, IDNO, IODATE, cno2, cno4, TimeStart, "
                       "TimeEnd, t1, t2, t3, t4, t5, t6, Subject, memo2, gHours, Hours) "
                       "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
        for (qsizetype r = 0; r < rows; ++r) {
            const EventCopy &e = events[size_t(r) % events.size()];
            int i = 0;
            insert.bindValue(i++, classKey.left(11));
            insert.bindValue(i++, e.IDNO);
            insert.bindValue(i++, e.IODATE);
            insert.bindValue(i++, u"必修"_s);
            insert.bindValue(i++, e.INDEX_KEY.mid(11, 9));
            insert.bindValue(i++, u"08:00"_s);
            insert.bindValue(i++, u"10:00"_s);
            for (int t = 0; t < 6; ++t)
                insert.bindValue(i++, QString(e.IOTIME.left(2) + u':' + e.IOTIME.mid(2, 2)));
            insert.bindValue(i++, u"課程1"_s);
            insert.bindValue(i++, QString());
            insert.bindValue(i++, 2);
            insert.bindValue(i++, 2);
            insert.exec();
        }
    }
    db.commit();
    return qsizetype(events.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString exeDir = QCoreApplication::applicationDirPath();
    QString dataPath = exeDir + u"/bench-data/hours.db"_s;
    int repeat = 3;
    const QStringList args = QCoreApplication::arguments();
    bool usage = args.size() % 2 == 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == u"--data"_s)
            dataPath = args.at(i + 1);
        else if (args.at(i) == u"--repeat"_s)
            repeat = args.at(i + 1).toInt();
        else
            usage = true;
    }
    if (usage || repeat < 1) {
        Out() << "usage: bench_hours [--data <hours.db>] [--repeat N]" << Qt::endl;
        return 2;
    }
    if (!EnsureBenchData(dataPath, exeDir, QStringLiteral("make_hours_data")))
        return 1;

    const QString runPath = QFileInfo(dataPath).absolutePath() + u"/hours-run.db"_s;
    for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s, u"-journal"_s})
        QFile::remove(runPath + suffix);
    if (!QFile::copy(dataPath, runPath)) {
        Out() << "cannot copy " << dataPath << " to " << runPath << Qt::endl;
        return 1;
    }
    const QString home = QFileInfo(dataPath).absolutePath() + u"/hours-home"_s;
    QDir().mkpath(home);
    Globals globals;
    globals.ExeDir = home + QDir::separator();
    SetGlobals(&globals);
    auto dm = std::make_unique<TDM>(globals);
    QString error;
    if (!dm->OpenWorkingDatabase(runPath, &error)) {
        Out() << error << Qt::endl;
        return 1;
    }
    QSqlDatabase db = dm->Con1();
    CountingPrompter prompter;
    SetCurrentPrompter(&prompter);
    {
        QSqlQuery info(db);
        info.exec(u"select count(*) from PSIO"_s);
        info.next();
        Out() << "database " << runPath << " (" << QFileInfo(runPath).size() / (1024 * 1024)
              << " MiB), PSIO " << info.value(0).toLongLong() << " rows" << Qt::endl;
        const PrefixCondition prefix = BeginsWithCondition(u"INDEX_KEY"_s, HoursBench::CourseId(0));
        info.prepare(u"explain query plan select IDNO from PSIO where "_s + prefix.sql
                     + u" and IODATE >= ? order by IODATE, INDEX_KEY, IDNO, IOTIME, RID"_s);
        for (const QVariant &v : prefix.params)
            info.addBindValue(v);
        info.addBindValue(u"0"_s);
        info.exec();
        while (info.next())
            Out() << "plan: " << info.value(3).toString() << Qt::endl;
    }
    const long peakBefore = PeakKilobytes();

    struct Result
    {
        std::vector<double> run, runCpu, floor, floorCpu;
        qsizetype events = 0, rows = 0, scores = 0;
    };
    Result results[2];
    int faults = 0;
    const ReportSettings settings;
    for (int c = 0; c < 2; ++c) {
        Result &r = results[c];
        const int rounds = c == 0 ? repeat : std::max(1, (repeat + 1) / 2);
        for (int n = 0; n < rounds; ++n) {
            HoursRun run(db, HoursBench::ClassKey(c), settings);
            const Timing t = Measure([&] {
                try {
                    run.Run();
                    run.ComputeTotals();
                } catch (const RolvanError &e) {
                    Out() << "run failed: " << e.message() << Qt::endl;
                    ++faults;
                }
            });
            r.run.push_back(t.wallMs);
            r.runCpu.push_back(t.cpuMs);
            r.events = run.eventCount();
            r.rows = run.rowCount();
            r.scores = run.scoreCount();
            qsizetype floorEvents = 0;
            const Timing f = Measure([&] { floorEvents = Floor(db, HoursBench::ClassKey(c), r.scores); });
            r.floor.push_back(f.wallMs);
            r.floorCpu.push_back(f.cpuMs);
            if (floorEvents != r.events)
                ++faults;
        }
        const qint64 credited = QueryValueOn(u"select sum(gHours) from IO_SCORE00"_s, db).toLongLong();
        const QString ghour = QueryValueOn(u"select GHour from Booking where INDEX_KEY = ? and ID = ?"_s, db,
                                           {HoursBench::ClassKey(c), HoursBench::PersonId(c, 0)})
                                  .toString();
        Out() << Qt::endl
              << "class of " << HoursBench::ClassSize(c) << " persons: " << r.events << " events, "
              << r.rows << " IO_RPT200 rows, " << r.scores << " IO_SCORE00 rows, " << credited
              << " hours credited (first person: GHour " << ghour << ")" << Qt::endl
              << "  hours run (both phases and totals): median " << Ms(Median(r.run)) << " of "
              << r.run.size() << ", processor " << Ms(Median(r.runCpu)) << Qt::endl
              << "  floor (read events once, insert " << r.scores << " rows): median "
              << Ms(Median(r.floor)) << ", processor " << Ms(Median(r.floorCpu)) << Qt::endl
              << "  run / floor = " << QString::number(Median(r.run) / Median(r.floor), 'f', 2)
              << " (target <= 3): " << (Median(r.run) <= 3 * Median(r.floor) ? "met" : "MISSED")
              << Qt::endl;
    }
    const double growth = Median(results[1].run) / Median(results[0].run);
    const long peak = PeakKilobytes();
    Out() << Qt::endl
          << "5,000-person run / 500-person run = " << QString::number(growth, 'f', 2)
          << " (target <= 12): " << (growth <= 12 ? "met" : "MISSED") << Qt::endl
          << "peak memory (ru_maxrss) " << peak / 1024 << " MiB (target < 300): "
          << (peak < 300 * 1024 ? "met" : "MISSED") << "; " << peakBefore / 1024
          << " MiB before the first run" << Qt::endl
          << "messages " << prompter.count
          << (prompter.count ? u" (first: "_s + prompter.first + u")"_s : QString()) << ", faults "
          << faults << Qt::endl;

    SetCurrentPrompter(nullptr);
    db = QSqlDatabase();
    dm.reset();
    SetGlobals(nullptr);
    for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s})
        QFile::remove(runPath + suffix);
    return faults == 0 && prompter.count == 0 ? 0 : 1;
}

// Sign-in on the shared database (PostgreSQL on loopback).
//
// (a) One station: the whole recording of a sign-in typed as the last five digits (resolution,
//     the person's lock, duplicate test, insert and commit), timed entry by entry, against its
//     floor: one committed single-row insert into PSIO on the same connection, alternating with
//     the entries. Median, p90 and p99 of both and their ratios. The database holds a number of
//     older events first (--events, default 1,000,000), made on the server.
// (b) Four stations at once: four signin_worker processes (the stations of tst_fourstations,
//     free-running here) type 2,000 entries each of the same plan, the same persons at the same
//     seconds: entries per second in total and per station, median and p99 of one entry.
//
//   bench_shared_signin [--entries N] [--warmup N] [--events N] [--station-entries N]
//                       [--synchronous-commit on|off]
//
// --synchronous-commit off (the server does not wait for its log to reach the disk at each commit)
// is for diagnosis only, in (a): it shows how much of each figure is the disk's. Stations commit
// durably.
//
// The server: the one of ROLVAN_TEST_PG (a conninfo file of scripts/test-postgres), or one this
// program starts with scripts/test-postgres in a temporary folder and stops at the end. Every run
// works on new databases of its own.

#include "BenchSupport.h"
#include "FourStationPlan.h"
#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "station/Activation.h"
#include "base/Globals.h"
#include "core/NetDatabase.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "station/IdentityResolver.h"
#include "station/SignRecorder.h"
#include "station/StationState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <time.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int Stations = 4;

class NullSignView final : public SignView
{
public:
    void ShowHistory(const QList<HistoryRow> &) override {}
    void ShowFailure(const QString &) override { ++failures; }
    void HideFailure() override {}
    void UpdateCounter(const QString &, const QString &) override {}
    void FocusEntry() override {}
    int failures = 0;
};

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

// Processor time of this thread in microseconds: what an entry costs the station apart from
// waiting for the server.
double ThreadCpuMicro()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

QString Us(double value)
{
    return QString::number(value, 'f', 0) + u" µs"_s;
}

NetDbSettings ReadConnInfo(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return NetDbSettings::FromConnInfo(QString::fromUtf8(file.readAll()));
}

bool WriteConnInfo(const QString &path, const NetDbSettings &s)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write((s.ToConnInfo() + u'\n').toUtf8()) > 0;
}

// A new empty database on the server; its settings, or none.
std::optional<NetDbSettings> NewDatabase(const NetDbSettings &server)
{
    NetDbSettings settings = server;
    settings.database = u"rolvan_b_"_s + QUuid::createUuid().toString(QUuid::Id128).left(16).toLower();
    const QString name = u"bench-admin"_s;
    bool ok = false;
    {
        QSqlDatabase::addDatabase(u"QPSQL"_s, name);
        QString error;
        if (OpenPostgresConnection(name, server, &error)) {
            QSqlQuery query(QSqlDatabase::database(name, false));
            ok = query.exec(u"create database "_s + settings.database);
            if (!ok)
                Out() << query.lastError().text() << Qt::endl;
        } else {
            Out() << error << Qt::endl;
        }
        QSqlDatabase::database(name, false).close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok)
        return std::nullopt;
    return settings;
}

bool Exec(QSqlDatabase db, const QString &sql, const QVariantList &params = {})
{
    if (ExecSqlOn(sql, db, params))
        return true;
    Out() << "failed: " << sql << Qt::endl;
    return false;
}

// The server of the run: ROLVAN_TEST_PG's, or one started here (stopped by the destructor).
class Server
{
public:
    ~Server()
    {
        if (!m_started)
            return;
        QProcess::execute(u"bash"_s, { m_script, u"stop"_s, m_dir.filePath(u"server"_s) });
    }
    bool Start()
    {
        const QString given = qEnvironmentVariable("ROLVAN_TEST_PG");
        QString connInfo = given;
        if (given.isEmpty()) {
            m_script = QStringLiteral(ROLVAN_BENCH_SOURCE_DIR) + u"/scripts/test-postgres"_s;
            QProcess start;
            start.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            start.start(u"bash"_s, { m_script, u"start"_s, m_dir.filePath(u"server"_s) });
            if (!start.waitForFinished(120000) || start.exitCode() != 0) {
                Out() << "scripts/test-postgres start failed" << Qt::endl;
                return false;
            }
            m_started = true;
            connInfo = m_dir.filePath(u"server/conninfo"_s);
            Out() << "server started by scripts/test-postgres" << Qt::endl;
        } else {
            Out() << "server of ROLVAN_TEST_PG (" << given << ')' << Qt::endl;
        }
        settings = ReadConnInfo(connInfo);
        return settings.MissingKeys().isEmpty();
    }
    QTemporaryDir m_dir;
    NetDbSettings settings;

private:
    QString m_script;
    bool m_started = false;
};

// (a) One station against its floor.
bool OneStation(const NetDbSettings &server, int entries, int warmup, int events,
                bool synchronousCommit)
{
    const std::optional<NetDbSettings> settings = NewDatabase(server);
    if (!settings)
        return false;
    QTemporaryDir home;
    Globals globals;
    globals.ExeDir = home.path() + u'/';
    globals.CourseNoLength = 11;
    const QString classKey = u"BEN1234567801"_s;
    const QString lessonKey = u"BEN12345678000108:00"_s;
    globals.CurrentClassKey = classKey;
    SetGlobals(&globals);
    auto dm = std::make_unique<TDM>(globals);
    QString error;
    if (!dm->OpenSampleDatabase(QCoreApplication::applicationDirPath() + u"/SampleQuorin.db"_s, &error)
        || !dm->OpenSharedWorkingDatabase(*settings, &error)) {
        Out() << error << Qt::endl;
        return false;
    }
    QSqlDatabase db = dm->Con1();
    const int total = entries + warmup;
    QElapsedTimer fill;
    fill.start();
    if (!Exec(db, u"insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY, IOWay, DOOR, NET, NTP) "
                  "select 'X1' || lpad((g % 50000)::text, 8, '0'), (1130101 + (g / 3000))::text, "
                  "'080000', (g % 2)::text, 'OLD' || lpad((g / 5000)::text, 10, '0') || '000108:00', "
                  "'KB', '01', 'N', 'Y' from generate_series(1, ?) g"_s,
              { events }))
        return false;
    if (!db.transaction())
        return false;
    for (int p = 0; p < total; ++p) {
        if (!Exec(db, u"insert into Booking (Index_key, ID, IDNO, NAME) values (?, ?, ?, ?)"_s,
                  { classKey, u"B1%1"_s.arg(p, 8, 10, QLatin1Char('0')), QString::number(200000 + p),
                    u"學員%1"_s.arg(p) }))
            return false;
    }
    if (!db.commit() || !Exec(db, u"analyze"_s))
        return false;
    // The older events go to the disk before the clock starts, so that their write-back does
    // not compete with the commits being measured (needs a superuser, as the test server's).
    if (!QSqlQuery(db).exec(u"checkpoint"_s))
        Out() << "no checkpoint (not a superuser): the first commits share the disk with the fill"
              << Qt::endl;
    if (!synchronousCommit && !Exec(db, u"set synchronous_commit = off"_s))
        return false;
    Out() << "synchronous_commit " << QueryValueOn(u"show synchronous_commit"_s, db).toString()
          << " (on: durable commits, as the stations; off: diagnosis only)" << Qt::endl;
    Out() << "database " << settings->database << ": " << events << " older events, " << total
          << " enrolled in the class, made in " << QString::number(double(fill.elapsed()) / 1000, 'f', 1)
          << " s" << Qt::endl;
    globals.IdnoCaption = ReadIdnoCaption(db);

    SteppingClock clock;
    clock.set(QDateTime(QDate::currentDate(), QTime(7, 40, 0)));
    SetCurrentClock(&clock);
    CountingPrompter prompter;
    SetCurrentPrompter(&prompter);
    StationState station;
    station.ClassKey = classKey;
    station.ClassSigner = u"內外"_s;
    station.VINDEX_IO = lessonKey;
    station.LessonText = u"0001:法規(08:00)"_s;
    station.StationReady = true;
    station.TypeChecked = true;
    station.CurrentIoType = u"0"_s;
    station.StationNo = u"01"_s;
    station.NtpFlag = u"Y"_s;
    station.preBooking = true;
    station.photoOn = false;
    station.OkSoundOn = false;
    station.ManualKind = IdentityKind::Last5;
    NullSignView view;
    auto resolver = std::make_unique<IdentityResolver>(station, *dm);
    resolver->LoadSettings();
    auto recorder = std::make_unique<SignRecorder>(station, *dm, *resolver, view);

    QSqlQuery floor(db);
    floor.prepare(u"insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY, IOWay, DOOR, NET, NTP) "
                  "values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    const QString todayRoc = FormatDateByPattern(u"YYYMMDD"_s, clock.now());
    std::vector<double> entryTimes;
    std::vector<double> floorTimes;
    std::vector<double> entryCpu;
    std::vector<double> floorCpu;
    int wrong = 0;
    QElapsedTimer timer;
    for (int n = 0; n < total; ++n) {
        clock.step();
        // Persons in a fixed shuffled order (7919 is prime to any class size used here).
        const int person = int((qint64(n) * 7919) % total);
        const QString typed = u"B1%1"_s.arg(person, 8, 10, QLatin1Char('0')).right(5);
        const double cpuA = ThreadCpuMicro();
        timer.start();
        const SignRecorder::Outcome outcome = recorder->ConfirmEntry(typed).outcome;
        const double entry = double(timer.nsecsElapsed()) / 1e3;
        const double cpuB = ThreadCpuMicro();
        if (outcome != SignRecorder::Outcome::Recorded)
            ++wrong;
        // The floor: one row with its values bound, committed on its own; station number "99".
        const QVariantList values = { u"F1%1"_s.arg(n, 8, 10, QLatin1Char('0')), todayRoc,
                                      TimeToHHMMSS(clock.now().time()), u"0"_s, lessonKey, u"KB"_s,
                                      u"99"_s, u"N"_s, u"Y"_s };
        const double cpuC = ThreadCpuMicro();
        timer.start();
        for (int i = 0; i < values.size(); ++i)
            floor.bindValue(i, values.at(i));
        const bool floorOk = floor.exec();
        const double floorTime = double(timer.nsecsElapsed()) / 1e3;
        const double cpuD = ThreadCpuMicro();
        floor.finish();
        if (!floorOk)
            ++wrong;
        if (n >= warmup) {
            entryTimes.push_back(entry);
            floorTimes.push_back(floorTime);
            entryCpu.push_back(cpuB - cpuA);
            floorCpu.push_back(cpuD - cpuC);
        }
    }
    const int stored
        = QueryValueIn(u"select count(*) from PSIO where INDEX_KEY = ? and DOOR = '01'"_s,
                       dm->Con1(), { lessonKey })
              .toInt();
    const double entryMedian = Percentile(entryTimes, 0.5);
    const double entryP99 = Percentile(entryTimes, 0.99);
    const double floorMedian = Percentile(floorTimes, 0.5);
    const double floorP99 = Percentile(floorTimes, 0.99);
    Out() << "(a) one station: entries measured " << entries << " (after " << warmup
          << " warm-up), sign-ins stored " << stored << " of " << total << ", wrong outcomes " << wrong
          << ", messages " << prompter.count
          << (prompter.count ? u" (first: "_s + prompter.first + u")"_s : QString()) << Qt::endl
          << "entry: median " << Us(entryMedian) << ", p90 " << Us(Percentile(entryTimes, 0.9))
          << ", p99 " << Us(entryP99) << ", max " << Us(Percentile(entryTimes, 1.0)) << Qt::endl
          << "floor (one committed insert): median " << Us(floorMedian) << ", p90 "
          << Us(Percentile(floorTimes, 0.9)) << ", p99 " << Us(floorP99) << ", max "
          << Us(Percentile(floorTimes, 1.0)) << Qt::endl
          << "processor time of the station: entry median " << Us(Percentile(entryCpu, 0.5))
          << ", floor median " << Us(Percentile(floorCpu, 0.5)) << Qt::endl
          << "entry median / floor median = " << QString::number(entryMedian / floorMedian, 'f', 2)
          << ", entry p99 / floor p99 = " << QString::number(entryP99 / floorP99, 'f', 2)
          << ", entry p99 / floor median = " << QString::number(entryP99 / floorMedian, 'f', 2)
          << Qt::endl;

    SetCurrentPrompter(nullptr);
    SetCurrentClock(nullptr);
    recorder.reset();
    resolver.reset();
    floor = QSqlQuery();
    db = QSqlDatabase();
    dm.reset();
    SetGlobals(nullptr);
    return wrong == 0 && stored == total;
}

// (b) Four station processes at once.
bool FourStations(const NetDbSettings &server, int stationEntries, const QString &folder)
{
    const std::optional<NetDbSettings> settings = NewDatabase(server);
    if (!settings)
        return false;
    {
        QTemporaryDir home;
        Globals globals;
        globals.ExeDir = home.path() + u'/';
        SetGlobals(&globals);
        TDM dm(globals);
        QString error;
        if (!dm.OpenSampleDatabase(QCoreApplication::applicationDirPath() + u"/SampleQuorin.db"_s, &error)
            || !dm.OpenSharedWorkingDatabase(*settings, &error)) {
            Out() << error << Qt::endl;
            SetGlobals(nullptr);
            return false;
        }
        QSqlDatabase db = dm.Con1();
        bool ok = db.transaction();
        for (int p = 0; ok && p < FourStationPlan::Persons; ++p)
            ok = Exec(db, u"insert into Booking (Index_key, ID, IDNO, NAME) values (?, ?, ?, ?)"_s,
                      { FourStationPlan::ClassKey(), FourStationPlan::PersonId(p),
                        QString::number(100000 + p), FourStationPlan::PersonName(p) });
        ok = ok && db.commit();
        db = QSqlDatabase();
        SetGlobals(nullptr);
        if (!ok)
            return false;
    }
    const QString connInfo = folder + u"/conninfo"_s;
    if (!WriteConnInfo(connInfo, *settings))
        return false;
    const QString firstDay = QDate::currentDate().toString(Qt::ISODate);
    std::unique_ptr<QProcess> processes[Stations];
    for (int s = 0; s < Stations; ++s) {
        processes[s] = std::make_unique<QProcess>();
        processes[s]->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        processes[s]->start(QStringLiteral(ROLVAN_BENCH_WORKER),
                            { connInfo, QString::number(s), QString::number(stationEntries),
                              folder + u"/station%1.txt"_s.arg(s), firstDay });
    }
    for (auto &process : processes) {
        if (!process->waitForStarted(10000))
            return false;
        while (!process->canReadLine()) {
            if (!process->waitForReadyRead(60000)) {
                Out() << "a station did not get ready" << Qt::endl;
                return false;
            }
        }
        process->readLine();
    }
    for (auto &process : processes) {
        process->write("go\n");
        process->waitForBytesWritten(10000);
    }
    for (auto &process : processes) {
        if (!process->waitForFinished(600000) || process->exitCode() != 0) {
            Out() << "a station failed" << Qt::endl;
            return false;
        }
    }

    std::vector<double> all;
    std::vector<double> storing;
    std::vector<double> greeting;
    qint64 firstStart = 0;
    qint64 lastEnd = 0;
    int stored = 0;
    int greeted = 0;
    int failed = 0;
    QStringList perStation;
    for (int s = 0; s < Stations; ++s) {
        QFile file(folder + u"/station%1.txt"_s.arg(s));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        qint64 start = 0;
        qint64 end = 0;
        int lines = 0;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(u"# start "_s)) {
                start = line.mid(8).toLongLong();
                continue;
            }
            if (line.startsWith(u"# end "_s)) {
                end = line.mid(6).toLongLong();
                continue;
            }
            const QStringList f = line.split(u'\t');
            if (f.size() < 7)
                continue;
            ++lines;
            all.push_back(f.at(6).toDouble());
            if (f.at(4) == u"stored"_s)
                storing.push_back(f.at(6).toDouble());
            else if (f.at(4) == u"greeted"_s)
                greeting.push_back(f.at(6).toDouble());
            stored += f.at(4) == u"stored"_s;
            greeted += f.at(4) == u"greeted"_s;
            failed += f.at(4) != u"stored"_s && f.at(4) != u"greeted"_s;
        }
        firstStart = s == 0 ? start : std::min(firstStart, start);
        lastEnd = std::max(lastEnd, end);
        perStation << QString::number(double(lines) * 1000.0 / double(std::max<qint64>(1, end - start)), 'f', 0);
    }
    const double seconds = double(lastEnd - firstStart) / 1000.0;
    Out() << "(b) four stations: " << Stations << " x " << stationEntries << " entries in "
          << QString::number(seconds, 'f', 2) << " s: "
          << QString::number(double(all.size()) / seconds, 'f', 0) << " entries per second in total, "
          << perStation.join(u" / "_s) << " per station; stored " << stored << ", greeted " << greeted
          << ", failed " << failed << Qt::endl
          << "one entry with four stations: median " << Us(Percentile(all, 0.5)) << ", p90 "
          << Us(Percentile(all, 0.9)) << ", p99 " << Us(Percentile(all, 0.99)) << ", max "
          << Us(Percentile(all, 1.0)) << Qt::endl
          << "  entries that stored an event: median " << Us(Percentile(storing, 0.5)) << ", p99 "
          << Us(Percentile(storing, 0.99)) << "; entries greeted (nothing written): median "
          << Us(Percentile(greeting, 0.5)) << ", p99 " << Us(Percentile(greeting, 0.99)) << Qt::endl;
    return failed == 0 && stored + greeted == Stations * stationEntries;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int entries = 1500;
    int warmup = 30;
    int events = 1000000;
    int stationEntries = 2000;
    bool synchronousCommit = true;
    const QStringList args = QCoreApplication::arguments();
    bool usage = args.size() % 2 == 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const int value = args.at(i + 1).toInt();
        if (args.at(i) == u"--entries"_s)
            entries = value;
        else if (args.at(i) == u"--warmup"_s)
            warmup = value;
        else if (args.at(i) == u"--events"_s)
            events = value;
        else if (args.at(i) == u"--station-entries"_s)
            stationEntries = value;
        else if (args.at(i) == u"--synchronous-commit"_s
                 && (args.at(i + 1) == u"on"_s || args.at(i + 1) == u"off"_s))
            synchronousCommit = args.at(i + 1) == u"on"_s;
        else
            usage = true;
    }
    if (usage || entries < 1 || warmup < 0 || events < 0 || stationEntries < 1
        || entries + warmup > 7000) {
        Out() << "usage: bench_shared_signin [--entries N] [--warmup N] [--events N] "
                 "[--station-entries N] [--synchronous-commit on|off]" << Qt::endl;
        return 2;
    }
    Server server;
    if (!server.Start())
        return 1;
    const bool one = OneStation(server.settings, entries, warmup, events, synchronousCommit);
    const bool four = FourStations(server.settings, stationEntries, server.m_dir.path());
    return one && four ? 0 : 1;
}

// The whole recording of one sign-in typed as the last five digits of an identity number, on
// a working database of realistic size: resolution, name lookup, duplicate test, the insert
// with its durable commit and the counters (no camera, no sound), timed entry by entry. In the
// same run, alternating with the entries, one durable single-row insert into PSIO on the same
// connection: the floor that no recording can beat. Prints median and 99th percentile of both,
// their ratios against the targets (median <= 1.5 x floor, 99th percentile <= 3 x floor) and
// the peak memory of the process.
//
//   bench_signin [--data <signin.db>] [--entries N] [--warmup N] [--synchronous FULL|NORMAL]
//                [--other-station 0|1]
//
// --other-station 1 lets a second connection to the file (another station) store a sign event
// of its own before each entry, untimed: every entry then finds a commit of another connection
// and checks whether the class's enrolment changed (it did not), which a lone station never
// has to.
//
// --synchronous NORMAL (no flush at each commit) is for diagnosis only: it shows how much of
// each figure is the disk's. The station and the targets use FULL.
//
// The data file (default: bench-data/signin.db beside the program, on the build folder's
// disk) is made by make_signin_data when missing; every run works on a fresh copy of it.

#include "BenchSupport.h"
#include "Fun/DateTimeFunctions.h"
#include "SigninBenchData.h"
#include "station/Activation.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "station/IdentityResolver.h"
#include "station/SignRecorder.h"
#include "station/StationState.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QStorageInfo>
#include <QTextStream>

#include <sys/resource.h>
#include <unistd.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

class NullSignView final : public SignView
{
public:
    void ShowHistory(const QList<HistoryRow> &rows) override { lines += int(rows.size() > 0); }
    void ShowFailure(const QString &) override { ++failures; }
    void HideFailure() override {}
    void UpdateCounter(const QString &, const QString &) override {}
    void FocusEntry() override {}
    int lines = 0;
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

double Micro(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// Processor time of this thread in microseconds: what an operation costs apart from waiting
// for the disk (and for other processes on a busy machine).
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

// The floor's one statement, kept out of line so that a profiler can tell it apart.
[[gnu::noinline]] bool FloorInsert(QSqlQuery &insert, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        insert.bindValue(i, values.at(i));
    return insert.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString exeDir = QCoreApplication::applicationDirPath();
    QString dataPath = exeDir + u"/bench-data/signin.db"_s;
    int entries = 1500;
    int warmup = 20;
    // Diagnosis only: NORMAL leaves out the flush at each commit, showing what the disk adds.
    QString synchronous = u"FULL"_s;
    bool otherStation = false;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == u"--data"_s)
            dataPath = args.at(i + 1);
        else if (args.at(i) == u"--entries"_s)
            entries = args.at(i + 1).toInt();
        else if (args.at(i) == u"--warmup"_s)
            warmup = args.at(i + 1).toInt();
        else if (args.at(i) == u"--synchronous"_s && (args.at(i + 1) == u"NORMAL"_s || args.at(i + 1) == u"FULL"_s))
            synchronous = args.at(i + 1);
        else if (args.at(i) == u"--other-station"_s
            && (args.at(i + 1) == u"0"_s || args.at(i + 1) == u"1"_s))
            otherStation = args.at(i + 1) == u"1"_s;
        else
            entries = 0;
    }
    if (args.size() % 2 == 0)
        entries = 0; // an option without its value
    if (entries < 1 || warmup < 0 || entries + warmup > SigninBench::EnrolledInClass) {
        Out() << "usage: bench_signin [--data <signin.db>] [--entries N] [--warmup N] "
                 "[--synchronous FULL|NORMAL] [--other-station 0|1]\n"
                 "       entries + warmup between 1 and "
              << SigninBench::EnrolledInClass << Qt::endl;
        return 2;
    }
    if (!EnsureBenchData(dataPath, exeDir, QStringLiteral("make_signin_data")))
        return 1;

    // A fresh copy of the data for every run, beside it on the same disk.
    const QString runPath = QFileInfo(dataPath).absolutePath() + u"/signin-run.db"_s;
    for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s, u"-journal"_s})
        QFile::remove(runPath + suffix);
    if (!QFile::copy(dataPath, runPath)) {
        Out() << "cannot copy " << dataPath << " to " << runPath << Qt::endl;
        return 1;
    }
    // The copy goes to the disk before the clock starts, so that its write-back does not
    // compete with the commits being measured.
    {
        QFile copy(runPath);
        if (!copy.open(QIODevice::ReadWrite) || ::fsync(copy.handle()) != 0) {
            Out() << "cannot flush " << runPath << Qt::endl;
            return 1;
        }
    }
    const QStorageInfo storage(QFileInfo(runPath).absolutePath());
    Out() << "database " << runPath << " (" << QFileInfo(runPath).size() / (1024 * 1024)
          << " MiB) on " << storage.device() << ", file system " << storage.fileSystemType()
          << Qt::endl;
    if (storage.fileSystemType() == "tmpfs")
        Out() << "WARNING: the database lies on tmpfs; commits are not durable there" << Qt::endl;

    // The station: its home holds the INI of the demonstration's identity settings.
    const QString home = QFileInfo(dataPath).absolutePath() + u"/signin-home"_s;
    QDir().mkpath(home);
    {
        QFile ini(home + u"/Rolvan.ini"_s);
        if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        ini.write(u"[Base]\nComputerNo=01\n簽到退識別輸入種類=身分證末5碼\n"
                  "簽到退識別儲存種類=身分證字號\n簽到退識別顯示種類=姓名\n"_s.toUtf8());
    }
    Globals globals;
    globals.ExeDir = home + QDir::separator();
    globals.CourseNoLength = 11;
    globals.CurrentClassKey = SigninBench::ClassKey(0);
    SetGlobals(&globals);
    auto dm = std::make_unique<TDM>(globals);
    QString error;
    if (!dm->OpenWorkingDatabase(runPath, &error)) {
        Out() << error << Qt::endl;
        return 1;
    }
    QSqlDatabase db = dm->Con1();
    {
        QSqlQuery pragma(db);
        if (synchronous != u"FULL"_s)
            pragma.exec(u"PRAGMA synchronous="_s + synchronous);
        pragma.exec(u"PRAGMA journal_mode"_s);
        pragma.next();
        const QString journal = pragma.value(0).toString();
        pragma.exec(u"PRAGMA synchronous"_s);
        pragma.next();
        Out() << "journal_mode " << journal << ", synchronous " << pragma.value(0).toInt()
              << " (2 = FULL, as the station; 1 = NORMAL, no flush at commit: diagnosis only)"
              << Qt::endl;
        pragma.prepare(u"select (select count(*) from PSIO), (select count(*) from Booking), "
                       "(select count(*) from Booking where INDEX_KEY = ?)"_s);
        pragma.addBindValue(SigninBench::ClassKey(0));
        pragma.exec();
        pragma.next();
        Out() << "PSIO " << pragma.value(0).toLongLong() << " rows, Booking "
              << pragma.value(1).toLongLong() << " rows, " << pragma.value(2).toLongLong()
              << " enrolled in the class" << Qt::endl;
    }
    globals.IdnoCaption = ReadIdnoCaption(dm->Con1());

    SteppingClock clock;
    const QDate today = SigninBench::Date(SigninBench::Today());
    clock.set(QDateTime(today, QTime(7, 40, 0)));
    SetCurrentClock(&clock);
    CountingPrompter prompter;
    SetCurrentPrompter(&prompter);
    // No sound player: the recorder's sounds go to the silent default.

    StationState station;
    station.ClassKey = SigninBench::ClassKey(0);
    station.ClassSigner = u"內外"_s;
    station.VINDEX_IO = SigninBench::LessonKey(0, 0);
    station.LessonText = u"0001:課程1(08:00)"_s;
    station.StationReady = true;
    station.TypeChecked = true;
    station.CurrentIoType = u"0"_s;
    station.StationNo = u"01"_s;
    station.NtpFlag = u"Y"_s;
    station.preBooking = true;
    station.photoOn = false;
    station.OkSoundOn = true;
    NullSignView view;
    auto resolver = std::make_unique<IdentityResolver>(station, *dm);
    resolver->LoadSettings();
    auto recorder = std::make_unique<SignRecorder>(station, *dm, *resolver, view);

    // The persons of the class in a shuffled but fixed order; each signs in once.
    QStringList ids;
    {
        QSqlQuery query(db);
        query.prepare(u"select ID from Booking where INDEX_KEY = ? order by RID"_s);
        query.addBindValue(SigninBench::ClassKey(0));
        query.exec();
        while (query.next())
            ids << query.value(0).toString();
    }
    for (qsizetype i = ids.size() - 1; i > 0; --i)
        ids.swapItemsAt(i, qsizetype((i * 7919) % (i + 1)));

    QSqlQuery floor(db);
    floor.prepare(u"insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY, IOWay, DOOR, NET, NTP) "
                  "values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    const QString todayRoc = FormatDateByPattern(u"YYYMMDD"_s, clock.now());
    // The other station: its own connection to the file, storing events with station number "98".
    const QString otherName = u"other station"_s;
    std::unique_ptr<QSqlQuery> otherInsert;
    if (otherStation) {
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, otherName);
        other.setDatabaseName(runPath);
        other.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
        if (!other.open()) {
            Out() << "cannot open a second connection to " << runPath << Qt::endl;
            return 1;
        }
        otherInsert = std::make_unique<QSqlQuery>(other);
        otherInsert->prepare(
            u"insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY, IOWay, DOOR, "
            "NET, NTP) values (?, ?, '070000', '0', ?, 'KB', '98', 'N', 'Y')"_s);
        Out() << "a second connection stores an event before each entry" << Qt::endl;
    }
    const long peakBefore = PeakKilobytes();

    std::vector<double> entryTimes;
    std::vector<double> floorTimes;
    std::vector<double> entryCpu;
    std::vector<double> floorCpu;
    double firstEntry = 0;
    double firstEntryCpu = 0;
    int wrong = 0;
    const int total = warmup + entries;
    using Steady = std::chrono::steady_clock;
    for (int n = 0; n < total; ++n) {
        clock.step();
        if (otherInsert) {
            otherInsert->bindValue(0, QString(u"O"_s + QString::number(n).rightJustified(9, u'0')));
            otherInsert->bindValue(1, todayRoc);
            otherInsert->bindValue(2, SigninBench::LessonKey(0, 1));
            if (!otherInsert->exec())
                ++wrong;
            otherInsert->finish();
        }
        const QString typed = ids.at(n).right(5);
        const double cpuA = ThreadCpuMicro();
        const Steady::time_point a = Steady::now();
        const SignRecorder::Outcome outcome = recorder->ConfirmEntry(typed).outcome;
        const Steady::time_point b = Steady::now();
        const double cpuB = ThreadCpuMicro();
        if (outcome != SignRecorder::Outcome::Recorded)
            ++wrong;

        // The floor: one row with its values bound (the binding counts: no insert goes without
        // it), autocommit, on the same connection. Its rows carry station number "99".
        const QVariantList values = {QString(u"F"_s + QString::number(n).rightJustified(9, u'0')), todayRoc,
                                     TimeToHHMMSS(clock.now().time()), u"0"_s,
                                     SigninBench::LessonKey(0, 0), u"KB"_s, u"99"_s, u"N"_s, u"Y"_s};
        const double cpuC = ThreadCpuMicro();
        const Steady::time_point c = Steady::now();
        const bool floorOk = FloorInsert(floor, values);
        const Steady::time_point d = Steady::now();
        const double cpuD = ThreadCpuMicro();
        floor.finish();
        if (!floorOk)
            ++wrong;

        if (n == 0) {
            firstEntry = Micro(b - a);
            firstEntryCpu = cpuB - cpuA;
        }
        if (n >= warmup) {
            entryTimes.push_back(Micro(b - a));
            floorTimes.push_back(Micro(d - c));
            entryCpu.push_back(cpuB - cpuA);
            floorCpu.push_back(cpuD - cpuC);
        }
    }
    const long peak = PeakKilobytes();

    QSqlQuery check(db);
    check.prepare(u"select count(*) from PSIO where IODATE = ? and INDEX_KEY = ? and DOOR = '01'"_s);
    check.addBindValue(todayRoc);
    check.addBindValue(SigninBench::LessonKey(0, 0));
    check.exec();
    check.next();
    const int stored = check.value(0).toInt();

    const double entryMedian = Percentile(entryTimes, 0.5);
    const double entryP99 = Percentile(entryTimes, 0.99);
    const double floorMedian = Percentile(floorTimes, 0.5);
    const double floorP99 = Percentile(floorTimes, 0.99);
    QTextStream &out = Out();
    out << Qt::endl
        << "entries measured " << entries << " (after " << warmup << " warm-up), sign-ins stored "
        << stored << " of " << total << ", wrong outcomes " << wrong << ", messages "
        << prompter.count << (prompter.count ? u" (first: "_s + prompter.first + u")"_s : QString())
        << Qt::endl
        << "first entry (loads the class) " << Us(firstEntry) << ", processor time "
        << Us(firstEntryCpu) << Qt::endl
        << "entry: median " << Us(entryMedian) << ", p90 " << Us(Percentile(entryTimes, 0.9))
        << ", p99 " << Us(entryP99) << ", max " << Us(Percentile(entryTimes, 1.0)) << Qt::endl
        << "floor (one durable insert): median " << Us(floorMedian) << ", p90 "
        << Us(Percentile(floorTimes, 0.9)) << ", p99 " << Us(floorP99)
        << ", max " << Us(Percentile(floorTimes, 1.0)) << Qt::endl
        << "processor time: entry median " << Us(Percentile(entryCpu, 0.5)) << ", floor median "
        << Us(Percentile(floorCpu, 0.5)) << Qt::endl
        << "the floor's own p99 is " << QString::number(floorP99 / floorMedian, 'f', 2)
        << " x its median" << Qt::endl
        << "entry median / floor median = " << QString::number(entryMedian / floorMedian, 'f', 2)
        << " (target <= 1.5): " << (entryMedian <= 1.5 * floorMedian ? "met" : "MISSED") << Qt::endl
        << "entry p99 / floor median = " << QString::number(entryP99 / floorMedian, 'f', 2)
        << " (target <= 3): " << (entryP99 <= 3 * floorMedian ? "met" : "MISSED") << Qt::endl
        << "peak memory (ru_maxrss) " << peak / 1024 << " MiB; " << peakBefore / 1024
        << " MiB before the first entry" << Qt::endl;

    SetCurrentPrompter(nullptr);
    SetCurrentClock(nullptr);
    recorder.reset();
    resolver.reset();
    floor = QSqlQuery();
    check = QSqlQuery();
    otherInsert.reset();
    QSqlDatabase::removeDatabase(otherName);
    db = QSqlDatabase();
    dm.reset();
    SetGlobals(nullptr);
    for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s})
        QFile::remove(runPath + suffix);
    return wrong == 0 && stored == total ? 0 : 1;
}

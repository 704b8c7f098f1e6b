// The class-day profile of a day of eight lessons: the computation alone, the loader on a
// SQLite file (lessons of one class and date, then the class row), and the whole call with the
// station's day template read from its settings file.

#include "core/DbFunctions.h"
#include "core/ClassDayProfile.h"
#include "base/Globals.h"
#include "core/Schema.h"
#include "core/TDM.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"ABC1234567801"_s;
const QString Day = u"2024/09/05"_s;

struct LessonSpec
{
    const char16_t *start;
    const char16_t *end;
    const char16_t *noonRS;
    const char16_t *noonRE;
    const char16_t *rollCall;
};

// A full class day: four morning, three afternoon lessons and one evening lesson.
const LessonSpec DayLessons[] = {
    { u"08:00", u"08:50", u"", u"", u"07:50" },     { u"09:00", u"09:50", u"", u"", u"" },
    { u"10:00", u"10:50", u"", u"", u"" },          { u"11:00", u"11:50", u"12:00", u"13:30", u"" },
    { u"13:30", u"14:20", u"", u"", u"13:20" },     { u"14:30", u"15:20", u"", u"", u"" },
    { u"15:30", u"16:20", u"", u"", u"" },          { u"19:00", u"20:50", u"", u"", u"18:50" },
};

QList<ClassDayLesson> EightLessons()
{
    QList<ClassDayLesson> lessons;
    for (const LessonSpec &spec : DayLessons) {
        ClassDayLesson lesson;
        lesson.DateStart = Day;
        lesson.TimeStart = QString::fromUtf16(spec.start);
        lesson.TimeEnd = QString::fromUtf16(spec.end);
        lesson.noonRS = QString::fromUtf16(spec.noonRS);
        lesson.noonRE = QString::fromUtf16(spec.noonRE);
        lesson.R1 = QString::fromUtf16(spec.rollCall);
        lessons.append(lesson);
    }
    return lessons;
}

// A working database with the class of the benchmark (five days of eight lessons) among
// twenty other classes of the same shape.
bool FillDatabase(QSqlDatabase db)
{
    QSqlQuery query(db);
    for (const QString &statement : SqliteSchemaStatements()) {
        if (!query.exec(statement))
            return false;
    }
    db.transaction();
    for (int c = 0; c <= 20; ++c) {
        const QString key = c == 0 ? ClassKey : u"ZZZ%1"_s.arg(c, 8, 10, QLatin1Char('0')) + u"01"_s;
        query.prepare(u"insert into Courses (CourseId, Echelon, DateStart, DateEnd, TimeStart, "
                      "TimeEnd, SignType) values (?, ?, ?, ?, ?, ?, ?)"_s);
        query.addBindValue(key.left(11));
        query.addBindValue(key.mid(11));
        query.addBindValue(u"2024/09/03"_s);
        query.addBindValue(u"2024/09/07"_s);
        query.addBindValue(u"08:00"_s);
        query.addBindValue(u"20:50"_s);
        query.addBindValue(u"111111"_s);
        if (!query.exec())
            return false;
        for (int d = 3; d <= 7; ++d) {
            int n = 0;
            for (const LessonSpec &spec : DayLessons) {
                query.prepare(u"insert into Course (INDEX_KEY, CNo4, Subject, DateStart, TimeStart, "
                              "TimeEnd, noonRS, noonRE, R1) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
                query.addBindValue(key);
                query.addBindValue(u"%1"_s.arg(++n, 4, 10, QLatin1Char('0')));
                query.addBindValue(u"課程"_s);
                query.addBindValue(u"2024/09/%1"_s.arg(d, 2, 10, QLatin1Char('0')));
                query.addBindValue(QString::fromUtf16(spec.start));
                query.addBindValue(QString::fromUtf16(spec.end));
                query.addBindValue(QString::fromUtf16(spec.noonRS));
                query.addBindValue(QString::fromUtf16(spec.noonRE));
                query.addBindValue(QString::fromUtf16(spec.rollCall));
                if (!query.exec())
                    return false;
            }
        }
    }
    return db.commit();
}

// The scratch station shared by the database benchmarks.
struct Station
{
    QTemporaryDir dir;
    Globals globals;
    std::unique_ptr<TDM> dm;

    Station()
    {
        globals.ExeDir = QDir::toNativeSeparators(dir.path()) + QDir::separator();
        SetGlobals(&globals);
        dm = std::make_unique<TDM>(globals);
        const QString path = JoinPath(dir.path(), globals.DbFileName);
        {
            const QString name = u"bench-fill"_s;
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            db.setDatabaseName(path);
            const bool ok = db.open() && FillDatabase(db);
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            if (!ok) {
                std::fprintf(stderr, "cannot build the benchmark database\n");
                std::exit(1);
            }
        }
        QString error;
        if (!dm->OpenWorkingDatabase(path, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            std::exit(1);
        }
    }
};

// Made on first use, ended by main while the application object still exists.
std::unique_ptr<Station> g_station;

Station &SharedStation()
{
    if (!g_station)
        g_station = std::make_unique<Station>();
    return *g_station;
}

void BM_ComputeClassDayProfile(benchmark::State &state)
{
    const QList<ClassDayLesson> lessons = EightLessons();
    const std::optional<ClassDayClassRow> classRow;
    const QString periods = DefaultClassPeriods();
    for (auto _ : state) {
        ClassDayProfile profile = ComputeClassDayProfile(lessons, classRow, periods);
        benchmark::DoNotOptimize(profile);
    }
    if (ComputeClassDayProfile(lessons, classRow, periods).ClsIOType != u"111111"_s)
        state.SkipWithError("unexpected profile");
}
BENCHMARK(BM_ComputeClassDayProfile);

void BM_LoadClassDayProfile(benchmark::State &state)
{
    QSqlDatabase db = SharedStation().dm->Con1();
    const QString periods = DefaultClassPeriods();
    for (auto _ : state) {
        ClassDayProfile profile = LoadClassDayProfile(db, ClassKey, Day, QString(), periods);
        benchmark::DoNotOptimize(profile);
    }
    if (LoadClassDayProfile(db, ClassKey, Day, QString(), periods).ClsRollCallTimes
        != u"075013201850"_s)
        state.SkipWithError("unexpected profile");
}
BENCHMARK(BM_LoadClassDayProfile)->Unit(benchmark::kMicrosecond);

void BM_LoadClassDayProfileOneLesson(benchmark::State &state)
{
    QSqlDatabase db = SharedStation().dm->Con1();
    const QString periods = DefaultClassPeriods();
    for (auto _ : state) {
        ClassDayProfile profile = LoadClassDayProfile(db, ClassKey, Day, u"000513:30"_s, periods);
        benchmark::DoNotOptimize(profile);
    }
}
BENCHMARK(BM_LoadClassDayProfileOneLesson)->Unit(benchmark::kMicrosecond);

// The station's call: the day template from the settings file, then the loader on Con1.
void BM_get_IOtypeTimeString(benchmark::State &state)
{
    QSqlDatabase db = SharedStation().dm->Con1();
    for (auto _ : state) {
        ClassDayProfile profile = get_IOtypeTimeString(db, ClassKey, Day, QString());
        benchmark::DoNotOptimize(profile);
    }
}
BENCHMARK(BM_get_IOtypeTimeString)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_station.reset();
    return 0;
}

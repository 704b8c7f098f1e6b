// A roster file of 1,000 persons in Big5 (as Excel saves it): reading it and counting against
// the class (what the question shows), adding everybody to a new class, and importing the same
// file again into a class that has everybody (all updates). On a SQLite file with the station's
// durable settings.

#include "core/DbFunctions.h"
#include "classes/RosterImport.h"
#include "base/Globals.h"
#include "core/Schema.h"
#include "core/TDM.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int Persons = 1000;
const QDateTime At(QDate(2024, 5, 8), QTime(9, 0));

QByteArray RosterBytes()
{
    QString text = u"sno,name,tnsadr,tel,tel2,mobile,email\r\n"_s;
    for (int i = 0; i < Persons; ++i)
        text
            += u"A%1,王小明%2,\"台北市信義區, 松仁路%2號\",02-2345-6789,,0912-345-678,p%2@example.tw\r\n"_s
                   .arg(100000000 + i)
                   .arg(i);
    QStringEncoder big5("Big5");
    return big5.encode(text);
}

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
            bool ok = db.open();
            QSqlQuery query(db);
            for (const QString &statement : SqliteSchemaStatements())
                ok = ok && query.exec(statement);
            query = QSqlQuery();
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

    int AddClass(int n)
    {
        ExecSqlOn(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd) "
                  "values (?, '00', '自辦講習', '2024/05/06', '2024/05/10')"_s,
            dm->Con1(), { u"113050%1"_s.arg(n, 5, 10, QLatin1Char('0')) });
        return QueryValueOn(u"select max(RID) from Courses"_s, dm->Con1()).toInt();
    }
};

std::unique_ptr<Station> g_station;

Station &SharedStation()
{
    if (!g_station)
        g_station = std::make_unique<Station>();
    return *g_station;
}

void BM_PlanRoster(benchmark::State &state)
{
    Station &station = SharedStation();
    const QByteArray bytes = RosterBytes();
    const int rid = station.AddClass(1);
    for (auto _ : state) {
        QString error;
        auto plan = RosterImport::PlanRoster(station.dm->Con1(), rid, bytes, u"名單.csv"_s, &error);
        if (!plan || plan->counts.added != Persons)
            state.SkipWithError("unexpected plan");
        benchmark::DoNotOptimize(plan);
    }
}
BENCHMARK(BM_PlanRoster)->Unit(benchmark::kMillisecond);

void BM_ImportRosterIntoNewClass(benchmark::State &state)
{
    Station &station = SharedStation();
    const QByteArray bytes = RosterBytes();
    // Every run of the benchmark gets classes of its own.
    static int n = 100;
    for (auto _ : state) {
        state.PauseTiming();
        const int rid = station.AddClass(++n);
        QString error;
        const auto plan
            = RosterImport::PlanRoster(station.dm->Con1(), rid, bytes, u"名單.csv"_s, &error);
        state.ResumeTiming();
        const auto counts = plan ? RosterImport::ImportRoster(station.dm->Con1(), *plan, At, &error)
                                 : std::nullopt;
        if (!counts || counts->added != Persons) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            state.SkipWithError("unexpected import");
            break;
        }
    }
}
BENCHMARK(BM_ImportRosterIntoNewClass)->Unit(benchmark::kMillisecond);

void BM_ImportRosterAgain(benchmark::State &state)
{
    Station &station = SharedStation();
    const QByteArray bytes = RosterBytes();
    const int rid = station.AddClass(99);
    QString error;
    const auto plan
        = RosterImport::PlanRoster(station.dm->Con1(), rid, bytes, u"名單.csv"_s, &error);
    if (!plan || !RosterImport::ImportRoster(station.dm->Con1(), *plan, At, &error)) {
        state.SkipWithError("cannot import");
        return;
    }
    for (auto _ : state) {
        const auto counts = RosterImport::ImportRoster(station.dm->Con1(), *plan, At, &error);
        if (!counts || counts->updated != Persons)
            state.SkipWithError("unexpected import");
    }
}
BENCHMARK(BM_ImportRosterAgain)->Unit(benchmark::kMillisecond);

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

// The workbook beside a report CSV file against the CSV file itself (its floor): the sign
// events of a large class, 20,000 rows of the sixteen sign-event columns, both written durably
// to the same folder.

#include "Fun/CsvExport.h"
#include "reports/ReportWorkbook.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Rows = 20000;

struct Table
{
    QStringList titles;
    QList<QStringList> rows;
    QList<WorkbookCell> cells;
};

const Table &SignEvents()
{
    static const Table table = [] {
        Table t;
        t.titles = {u"DOOR"_s, u"IDNO"_s, u"IODATE"_s, u"IOTYPE"_s, u"IotypeCal"_s, u"IODateCal"_s,
                    u"INDEX_KEY"_s, u"IOTIME"_s, u"IOWAYCal"_s, u"IOWay"_s, u"RID"_s, u"NET"_s, u"Web"_s,
                    u"SEATS"_s, u"RID2"_s, u"NTP"_s};
        t.cells = QList<WorkbookCell>(t.titles.size(), WorkbookCell::Text);
        for (int i = 0; i < Rows; ++i) {
            t.rows << QStringList{u"01"_s, u"A%1"_s.arg(100000000 + i % 500), u"1130905"_s, u"0"_s, u"簽到"_s,
                                  QString(), u"11300001201A10109:00"_s,
                                  u"%1"_s.arg(80000 + i % 4000, 6, 10, QLatin1Char('0')), u"鍵盤"_s,
                                  u"KB"_s, QString::number(i + 1), u"N"_s, u"0"_s, QString(), QString(), u"Y"_s};
        }
        return t;
    }();
    return table;
}

void BM_Csv(benchmark::State &state)
{
    QTemporaryDir dir;
    const Table &t = SignEvents();
    for (auto _ : state) {
        QString error;
        if (!ExportRowsToCsvFile(dir.filePath(u"e.csv"_s), t.titles, t.rows, u',', &error))
            state.SkipWithError(error.toUtf8().constData());
    }
}
BENCHMARK(BM_Csv)->Unit(benchmark::kMillisecond);

void BM_Workbook(benchmark::State &state)
{
    QTemporaryDir dir;
    const Table &t = SignEvents();
    for (auto _ : state) {
        QString error;
        if (!WriteReportWorkbook(dir.filePath(u"e.xlsx"_s), u"e"_s, t.titles, t.rows, t.cells, &error))
            state.SkipWithError(error.toUtf8().constData());
    }
}
BENCHMARK(BM_Workbook)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

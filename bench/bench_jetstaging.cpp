// Staging an old Access database: the rows per second of the whole staging of the larger Jet
// fixture (nwind.mdb, Jet 3, 9 tables, about 3,300 rows with memos and OLE pictures) into a new
// SQLite file, against its floor: libmdb reading every row of every table as text and dropping it.
//   bench_jetstaging [file.mdb] [runs]

#include "BenchSupport.h"
#include "admin/JetStaging.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <mdbtools.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Every row of every user table through libmdb's own row reader, bound as text.
qint64 ReadOnlyFloor(const QString &path)
{
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb || !mdb_read_catalog(mdb, MDB_TABLE))
        return -1;
    qint64 rows = 0;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        MdbTableDef *table = mdb_read_table(entry);
        mdb_read_columns(table);
        mdb_rewind_table(table);
        std::vector<std::vector<char>> buffers(table->num_cols, std::vector<char>(mdb->bind_size));
        for (unsigned c = 0; c < table->num_cols; ++c)
            mdb_bind_column(table, int(c) + 1, buffers[c].data(), nullptr);
        while (mdb_fetch_row(table))
            ++rows;
        mdb_free_tabledef(table);
    }
    mdb_close(mdb);
    return rows;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mdb = args.value(1, QStringLiteral(ROLVAN_BENCH_JET_FIXTURE));
    const int runs = args.value(2, u"7"_s).toInt();
    QTemporaryDir dir;

    std::vector<double> staging;
    std::vector<double> floor;
    qint64 rows = 0;
    for (int r = 0; r < runs; ++r) {
        const QString target = dir.filePath(u"staging%1.db"_s.arg(r));
        QElapsedTimer timer;
        timer.start();
        const JetStaging::Result result = JetStaging::Stage(mdb, target);
        staging.push_back(double(timer.nsecsElapsed()) / 1e6);
        rows = result.rowsRead();
        timer.restart();
        ReadOnlyFloor(mdb);
        floor.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const double stagingMs = Median(staging);
    const double floorMs = Median(floor);
    Out() << "file " << mdb << ", " << rows << " rows, median of " << runs << " runs" << Qt::endl;
    Out() << "staging into SQLite: " << stagingMs << " ms, " << qint64(rows / (stagingMs / 1000))
          << " rows/s" << Qt::endl;
    Out() << "floor, libmdb reading alone: " << floorMs << " ms, "
          << qint64(rows / (floorMs / 1000)) << " rows/s" << Qt::endl;
    Out() << "peak memory " << PeakKilobytes() << " kB" << Qt::endl;
    return 0;
}

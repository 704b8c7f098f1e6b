#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTextStream>

#include <functional>

#include <unistd.h>

// The main routine of a benchmark data generator: "<tool> <SampleQuorin.db> <out.db>" copies the
// template to a temporary name, lets fill() write the rows in one transaction, flushes the file
// and renames it into place, so a generator that fails or is stopped never leaves a half
// database where the benchmark looks for its data. Returns the process exit code.
inline int BuildBenchDatabase(int argc, char *argv[], const QString &tool,
                              const std::function<bool(QSqlDatabase &, QTextStream &err)> &fill)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: " << tool << " <SampleQuorin.db> <out.db>\n";
        return 2;
    }
    const QString target = args.at(2);
    const QString building = target + QStringLiteral(".building");
    QFile::remove(building);
    QFile::remove(building + QStringLiteral("-journal"));
    if (!QFile::copy(args.at(1), building)) {
        err << tool << ": cannot copy " << args.at(1) << " to " << building << '\n';
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), tool);
        db.setDatabaseName(building);
        if (!db.open()) {
            err << tool << ": " << db.lastError().text() << '\n';
            return 1;
        }
        QSqlQuery pragma(db);
        // A file being built is not yet anybody's data: no journal, no waiting for the disk,
        // a large page cache for the index inserts. The benchmark opens it as the station does.
        pragma.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        pragma.exec(QStringLiteral("PRAGMA cache_size=-400000"));
        ok = db.transaction() && fill(db, err) && db.commit();
        pragma.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(tool);
    if (!ok) {
        QFile::remove(building);
        return 1;
    }
    {
        QFile built(building);
        if (!built.open(QIODevice::ReadWrite) || ::fsync(built.handle()) != 0) {
            err << tool << ": cannot flush " << building << '\n';
            return 1;
        }
    }
    QFile::remove(target);
    if (!QFile::rename(building, target)) {
        err << tool << ": cannot rename " << building << " to " << target << '\n';
        return 1;
    }
    out << tool << ": " << target << " written in " << timer.elapsed() / 1000.0 << " s\n";
    return 0;
}

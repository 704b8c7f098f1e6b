// Four sign-in stations on one shared database at once: four processes of signin_worker type
// 2,000 entries each, the same persons at the same seconds, arrivals, departures and roll
// calls. The test conducts them in lock step: entry n starts on every station at the same
// moment, so that their transactions on the same person really overlap. Whatever a station reported is checked against the database afterwards: no event lost,
// none stored twice, no success shown for a row that is not there, nothing stored by an entry
// reported as failed. Runs only against a PostgreSQL server (ROLVAN_TEST_PG).

#include "FourStationPlan.h"

#include "core/DbFunctions.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int Stations = 4;
constexpr int EntriesPerStation = 2000;

struct Reported
{
    int station = 0;
    int n = 0;
    QString id;
    QString ioType;
    QString ioDate;
    QString kind; // stored, greeted, failed, other
    qint64 rid = 0;
    QString message;
};

struct StoredRow
{
    QString id;
    QString ioType;
    QString ioDate;
    QString door;
};

QString EventKey(const QString &id, const QString &ioType, const QString &ioDate)
{
    return id + u'|' + ioType + u'|' + ioDate;
}

} // namespace

class TestFourStations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void fourStationsSignTheSamePersonsAtOnce();

private:
    QTemporaryDir m_dir;
    Globals m_globals;
    std::unique_ptr<TDM> m_dm;
    QString m_connInfo;
};

void TestFourStations::initTestCase()
{
    if (!TestBackend::UsesPostgres())
        QSKIP("four stations share one database only on PostgreSQL: ROLVAN_TEST_PG names the "
              "server's conninfo file (ctest starts one with scripts/test-postgres)");
    QVERIFY(m_dir.isValid());
    const QString copy = m_dir.filePath(u"Quorin.db"_s);
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, copy));
    m_globals.ExeDir = m_dir.path() + u'/';
    m_globals.CourseNoLength = 11;
    SetGlobals(&m_globals);
    m_dm = std::make_unique<TDM>(m_globals);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(*m_dm, copy, &error), qPrintable(error));

    QSqlDatabase db = m_dm->Con1();
    QVERIFY(db.transaction());
    for (int p = 0; p < FourStationPlan::Persons; ++p)
        QVERIFY(ExecSqlOn(u"insert into Booking (Index_key, ID, IDNO, NAME) values (?, ?, ?, ?)"_s, db,
                          { FourStationPlan::ClassKey(), FourStationPlan::PersonId(p),
                            QString::number(100000 + p), FourStationPlan::PersonName(p) }));
    QVERIFY(db.commit());

    // Where the stations find the database.
    m_connInfo = m_dir.filePath(u"conninfo"_s);
    QFile file(m_connInfo);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write((TestBackend::SettingsOf(*m_dm).ToConnInfo() + u'\n').toUtf8());
}

void TestFourStations::cleanupTestCase()
{
    m_dm.reset();
    SetGlobals(nullptr);
}

void TestFourStations::fourStationsSignTheSamePersonsAtOnce()
{
    const QDate firstDay = QDate::currentDate();
    const QString worker = QCoreApplication::applicationDirPath() + u"/signin_worker"_s;
    QVERIFY2(QFile::exists(worker), qPrintable(worker));

    // Four stations, each ready with its class loaded, then started together.
    std::unique_ptr<QProcess> processes[Stations];
    for (int s = 0; s < Stations; ++s) {
        processes[s] = std::make_unique<QProcess>();
        processes[s]->setProcessChannelMode(QProcess::SeparateChannels);
        processes[s]->start(worker, { m_connInfo, QString::number(s), QString::number(EntriesPerStation),
                                      m_dir.filePath(u"station%1.txt"_s.arg(s)),
                                      firstDay.toString(Qt::ISODate), u"lockstep"_s });
    }
    for (auto &process : processes) {
        QVERIFY2(process->waitForStarted(10000), qPrintable(process->errorString()));
        while (!process->canReadLine()) {
            QVERIFY2(process->waitForReadyRead(30000),
                     qPrintable(u"a station did not get ready: "_s
                                + QString::fromUtf8(process->readAllStandardError())));
        }
        QCOMPARE(process->readLine().trimmed(), QByteArray("ready"));
    }
    QElapsedTimer elapsed;
    elapsed.start();
    for (int n = 0; n < EntriesPerStation; ++n) {
        // QProcess sends what it was given only when asked to: every station gets its line now.
        for (auto &process : processes) {
            process->write("go\n");
            QVERIFY(process->waitForBytesWritten(10000));
        }
        for (auto &process : processes) {
            while (!process->canReadLine()) {
                QVERIFY2(process->waitForReadyRead(30000),
                         qPrintable(u"a station hung at entry %1: "_s.arg(n)
                                    + QString::fromUtf8(process->readAllStandardError())));
            }
            QCOMPARE(process->readLine().trimmed(), QByteArray("done"));
        }
    }
    for (auto &process : processes) {
        QVERIFY2(process->waitForFinished(120000), "a station hung");
        QVERIFY2(process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0,
                 process->readAllStandardError().constData());
    }
    const double seconds = double(elapsed.elapsed()) / 1000.0;

    // What the stations reported.
    QList<Reported> reports;
    for (int s = 0; s < Stations; ++s) {
        QFile file(m_dir.filePath(u"station%1.txt"_s.arg(s)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        int lines = 0;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).chopped(1);
            if (line.startsWith(u'#'))
                continue;
            const QStringList f = line.split(u'\t');
            QCOMPARE(f.size(), 8);
            reports.append({ s, f.at(0).toInt(), f.at(1), f.at(2), f.at(3), f.at(4), f.at(5).toLongLong(),
                             f.at(7) });
            ++lines;
        }
        QCOMPARE(lines, EntriesPerStation);
    }

    // What the database holds.
    QHash<qint64, StoredRow> rows;
    QHash<QString, QList<qint64>> rowsByEvent; // sign-in and sign-out: one row per person, type and day
    int rollCallRows = 0;
    {
        QSqlQuery query(m_dm->Con1());
        QVERIFY(query.exec(u"select RID, IDNO, IOTYPE, IODATE, DOOR, INDEX_KEY from PSIO"_s));
        while (query.next()) {
            QCOMPARE(query.value(5).toString(), FourStationPlan::LessonKey());
            const StoredRow row{ query.value(1).toString(), query.value(2).toString(),
                                 query.value(3).toString(), query.value(4).toString() };
            rows.insert(query.value(0).toLongLong(), row);
            if (row.ioType == u"9"_s)
                ++rollCallRows;
            else
                rowsByEvent[EventKey(row.id, row.ioType, row.ioDate)].append(query.value(0).toLongLong());
        }
    }

    int stored = 0;
    int greeted = 0;
    int failed = 0;
    int rollCalls = 0;
    QSet<qint64> storedRids;
    QHash<QString, QSet<int>> stationsOfEvent;
    for (const Reported &r : std::as_const(reports)) {
        const QString where = u"station %1 entry %2 (%3 type %4 day %5): "_s.arg(r.station + 1)
                                  .arg(r.n)
                                  .arg(r.id, r.ioType, r.ioDate);
        if (r.kind == u"failed"_s) {
            ++failed;
            qWarning().noquote() << where << "failed:" << r.message;
            continue;
        }
        QVERIFY2(r.kind == u"stored"_s || r.kind == u"greeted"_s, qPrintable(where + r.kind + u' ' + r.message));
        // Every success shown is a row of the database, with that person, type and day.
        QVERIFY2(rows.contains(r.rid), qPrintable(where + u"RID %1 not in the database"_s.arg(r.rid)));
        const StoredRow &row = rows.value(r.rid);
        QVERIFY2(row.id == r.id && row.ioType == r.ioType && row.ioDate == r.ioDate,
                 qPrintable(where + u"RID %1 holds %2 type %3 day %4"_s.arg(r.rid).arg(row.id, row.ioType, row.ioDate)));
        if (r.kind == u"stored"_s) {
            ++stored;
            QVERIFY2(!storedRids.contains(r.rid), qPrintable(where + u"RID reported stored twice"_s));
            storedRids.insert(r.rid);
            QCOMPARE(row.door, FourStationPlan::StationNo(r.station));
            if (r.ioType == u"9"_s)
                ++rollCalls;
        } else {
            ++greeted;
            QVERIFY2(r.ioType != u"9"_s, qPrintable(where + u"a roll call was greeted"_s));
        }
        if (r.ioType != u"9"_s)
            stationsOfEvent[EventKey(r.id, r.ioType, r.ioDate)].insert(r.station);
    }

    // No sign-in or sign-out stored twice; every one entered is stored once.
    for (auto it = rowsByEvent.cbegin(); it != rowsByEvent.cend(); ++it)
        QVERIFY2(it.value().size() == 1, qPrintable(u"stored %1 times: %2"_s.arg(it.value().size()).arg(it.key())));
    for (auto it = stationsOfEvent.cbegin(); it != stationsOfEvent.cend(); ++it)
        QVERIFY2(rowsByEvent.contains(it.key()), qPrintable(u"lost: "_s + it.key()));
    // Nothing stored that no station reported as stored (a failed entry stores nothing).
    QCOMPARE(qsizetype(rows.size()), storedRids.size());
    QCOMPARE(rollCallRows, rollCalls);
    int contested = 0;
    for (const QSet<int> &stations : std::as_const(stationsOfEvent))
        contested += stations.size() > 1 ? 1 : 0;

    qInfo().noquote() << u"%1 stations x %2 entries in %3 s (%4 entries/s): stored %5 (roll calls %6), "
                         "greeted %7, failed %8; %9 of %10 sign-ins and sign-outs entered on "
                         "several stations"_s
                             .arg(Stations)
                             .arg(EntriesPerStation)
                             .arg(seconds, 0, 'f', 2)
                             .arg(double(Stations * EntriesPerStation) / seconds, 0, 'f', 0)
                             .arg(stored)
                             .arg(rollCalls)
                             .arg(greeted)
                             .arg(failed)
                             .arg(contested)
                             .arg(stationsOfEvent.size());
    QCOMPARE(failed, 0);
    QCOMPARE(stored + greeted, Stations * EntriesPerStation);
}

QTEST_GUILESS_MAIN(TestFourStations)
#include "tst_fourstations.moc"

// rolvanctl called as the real program on a demo home (the template with the demonstration
// classes of today and the day before): every command's success, bad command lines and a
// station without its database.

#include "reports/ReportWorkbook.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>

#include "core/NetDatabase.h"
#include "mock/TestDatabase.h"
#include "platform/SingleInstance.h"
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Outcome
{
    int code = -1;
    QString out;
    QString err;
};

QString BuildDir()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR");
}

} // namespace

class TestRolvanctl : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_home;     // the demo home: station "01"
    QString m_data;     // its RolvanDAP
    QString m_classKey; // the finished class of the day before
    QString m_lesson;   // its first lesson, "YYYY/MM/DD HH:MM"

    Outcome Run(const QStringList &arguments, const QString &home = QString())
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"ROLVAN_HOME"_s, home.isEmpty() ? m_home : home);
        process.setProcessEnvironment(env);
        process.start(BuildDir() + u"/rolvanctl"_s, arguments);
        if (!process.waitForFinished(240000))
            return {};
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // A second home on the same data, as station "00" (the station that imports).
    QString MainStationHome()
    {
        const QString home = m_dir.filePath(u"main-station"_s);
        QDir().mkpath(home);
        QFile in(m_home + u"/Rolvan.ini"_s);
        if (!in.open(QIODevice::ReadOnly))
            return QString();
        QString text = QString::fromUtf8(in.readAll());
        text.replace(u"ComputerNo=01"_s, u"ComputerNo=00"_s);
        QFile out(home + u"/Rolvan.ini"_s);
        if (!out.open(QIODevice::WriteOnly))
            return QString();
        out.write(text.toUtf8());
        return home;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_home = m_dir.filePath(u"demo"_s);
        m_data = m_home + u"/RolvanDAP"_s;
        QProcess make;
        make.start(u"bash"_s, {qEnvironmentVariable("ROLVAN_SOURCE_DIR") + u"/scripts/make-demo-home.sh"_s,
                               BuildDir(), m_home});
        QVERIFY(make.waitForFinished(240000));
        QVERIFY2(make.exitCode() == 0, make.readAllStandardError().constData());

        const QString yesterday = QDate::currentDate().addDays(-1).toString(u"yyyy/MM/dd"_s);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"demo"_s);
            db.setDatabaseName(m_data + u"/Quorin.db"_s);
            db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(u"select trim(CourseId) || substr('00' || Echelon, -2) from Courses "
                                "where DateStart = '%1'"_s.arg(yesterday)));
            QVERIFY2(query.next(), "the demo home has no class of the day before");
            m_classKey = query.value(0).toString();
            QVERIFY(query.exec(u"select DateStart, TimeStart from Course where INDEX_KEY like '%1%' "
                                "order by DateStart, TimeStart"_s.arg(m_classKey)));
            QVERIFY2(query.next(), "the class of the day before has no lessons");
            m_lesson = query.value(0).toString() + u' ' + query.value(1).toString().left(5);
            db.close();
        }
        QSqlDatabase::removeDatabase(u"demo"_s);
    }

    void helpAndVersion()
    {
        const Outcome help = Run({u"--help"_s});
        QCOMPARE(help.code, 0);
        for (const QString &word : {u"backup"_s, u"check"_s, u"csv"_s, u"sheets"_s, u"export"_s,
                                    u"import"_s, u"備份"_s, u"integrity check"_s, u"--home"_s})
            QVERIFY2(help.out.contains(word), qPrintable(word));
        const Outcome version = Run({u"--version"_s});
        QCOMPARE(version.code, 0);
        QVERIFY(version.out.startsWith(u"rolvanctl "_s));
        QVERIFY(version.out.trimmed().size() > 10);
    }

    // A bad command line gives 2, a failed job 1; either with one line on stderr naming it.
    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        // "missing": a station whose database folder is empty; "netdb": one on a shared server
        QTest::addColumn<QString>("home");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no command") << QStringList{} << QString() << 2 << u"no command"_s;
        QTest::newRow("unknown command") << QStringList{u"repair"_s} << QString() << 2 << u"repair"_s;
        QTest::newRow("unknown option") << QStringList{u"check"_s, u"--fast"_s} << QString() << 2 << u"fast"_s;
        QTest::newRow("csv without class") << QStringList{u"csv"_s} << QString() << 2 << u"class key"_s;
        QTest::newRow("backup with argument") << QStringList{u"backup"_s, u"x"_s} << QString() << 2
                                              << u"no arguments"_s;
        QTest::newRow("unknown sheet kind") << QStringList{u"sheets"_s, u"X"_s, u"--kind"_s, u"big"_s}
                                            << QString() << 2 << u"big"_s;
        QTest::newRow("unknown class") << QStringList{u"csv"_s, u"NOSUCHCLASS01"_s} << QString() << 1
                                       << u"找不到班別 NOSUCHCLASS01"_s;
        QTest::newRow("import missing file") << QStringList{u"import"_s, u"/nonexistent/x.tmp"_s}
                                             << QString() << 1 << u"找不到匯入檔"_s;
        QTest::newRow("missing database") << QStringList{u"check"_s} << u"missing"_s << 1
                                          << u"找不到資料庫"_s;
        QTest::newRow("backup without database") << QStringList{u"backup"_s} << u"missing"_s << 1
                                                 << u"找不到資料庫"_s;
        QTest::newRow("shared database") << QStringList{u"backup"_s} << u"netdb"_s << 1
                                         << u"useNetDB=True"_s;
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, home);
        QFETCH(int, code);
        QFETCH(QString, reason);
        QString homeDir;
        if (!home.isEmpty()) {
            homeDir = m_dir.filePath(home);
            QDir().mkpath(homeDir + u"/data"_s);
            QFile ini(homeDir + u"/Rolvan.ini"_s);
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write(u"[Base]\nDataBaseLocationPath=%1/data\nBackupLocationPath=%1/data/Backup\n"_s
                          .arg(homeDir).toUtf8());
            if (home == u"netdb")
                ini.write("useNetDB=True\n");
        }
        const Outcome outcome = Run(arguments, homeDir);
        QCOMPARE(outcome.code, code);
        QVERIFY2(outcome.err.contains(reason), qPrintable(outcome.err));
        QCOMPARE(outcome.err.count(u'\n'), 1);
        QVERIFY(outcome.err.startsWith(u"rolvanctl: "_s));
        if (!home.isEmpty())
            QVERIFY2(!QFile::exists(homeDir + u"/data/Quorin.db"_s), "a job made a database");
    }

    void backupAndCheck()
    {
        const Outcome backup = Run({u"backup"_s});
        QCOMPARE(backup.code, 0);
        QVERIFY2(backup.err.isEmpty(), qPrintable(backup.err)); // no bar: stderr is no terminal
        const QString file = backup.out.trimmed();
        QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
        QVERIFY(QFileInfo(file).fileName().endsWith(u"_QuorinBackup.db"_s));
        QCOMPARE(QFileInfo(file).absolutePath(), QDir(m_data + u"/Backup"_s).absolutePath());

        const Outcome check = Run({u"check"_s});
        QCOMPARE(check.code, 0);
        QCOMPARE(check.out.trimmed(), u"ok"_s);

        // A working database that is not one: the check fails and names it.
        const QString broken = m_dir.filePath(u"broken"_s);
        QDir().mkpath(broken);
        QFile junk(broken + u"/Quorin.db"_s);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(8192, 'x'));
        junk.close();
        QFile ini(broken + u"/Rolvan.ini"_s);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(u"[Base]\nDataBaseLocationPath=%1\nBackupLocationPath=%1/Backup\n"_s.arg(broken).toUtf8());
        ini.close();
        const Outcome bad = Run({u"check"_s}, broken);
        QCOMPARE(bad.code, 1);
        QVERIFY2(bad.err.contains(u"Quorin.db"_s), qPrintable(bad.err));
    }

    // "restore": the newest backup that passes the check in place of the working database, the
    // damaged file kept aside, the events after the backup listed; never under a running station.
    void restoreFromTheNewestSoundBackup()
    {
        const QString home = m_dir.filePath(u"restoring"_s);
        const QString data = home + u"/data"_s;
        QVERIFY(QDir().mkpath(data + u"/Backup"_s));
        QFile ini(home + u"/Rolvan.ini"_s);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(u"[Base]\nDataBaseLocationPath=%1\nBackupLocationPath=%1/Backup\n"_s.arg(data).toUtf8());
        ini.close();
        const QString database = data + u"/Quorin.db"_s;
        QVERIFY(QFile::copy(m_data + u"/Quorin.db"_s, database));
        QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner);
        // The sound backup is made "later" than every demo event; two events come after it.
        const QDateTime made = QDateTime(QDate::currentDate().addYears(10), QTime(8, 0));
        const QString sound = data + u"/Backup/"_s + made.toString(u"yyyyMMddHHmmss"_s) + u"_QuorinBackup.db"_s;
        QVERIFY(QFile::copy(database, sound));
        const QString broken = data + u"/Backup/"_s + made.addDays(1).toString(u"yyyyMMddHHmmss"_s)
            + u"_QuorinBackup.db"_s;
        {
            QFile junk(broken);
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write(QByteArray(8192, 'x'));
        }
        const QDate after = made.date();
        const QString rocDate = QString::number(after.year() - 1911) + after.toString(u"MMdd"_s);
        int before = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"restoring"_s);
            db.setDatabaseName(database);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(u"select count(*) from PSIO"_s) && query.next());
            before = query.value(0).toInt();
            QVERIFY(query.prepare(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY) "
                                  "values ('01', ?, ?, ?, '0', 'KB', 'K')"_s));
            for (const auto &[idno, time] : {std::pair{u"R123456789"_s, u"080001"_s},
                                             std::pair{u"S223456789"_s, u"093000"_s}}) {
                query.addBindValue(idno);
                query.addBindValue(rocDate);
                query.addBindValue(time);
                QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(u"restoring"_s);

        // A station of this user runs: nothing is done.
        QTemporaryDir sockets;
        const QByteArray savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(sockets.path()));
        {
            SingleInstance station(u"Rolvan"_s);
            QVERIFY(station.Listen());
            const Outcome refused = Run({u"restore"_s}, home);
            QCOMPARE(refused.code, 1);
            QVERIFY2(refused.err.contains(u"工作站正在執行"_s), qPrintable(refused.err));
            QCOMPARE(QDir(data).entryList(QDir::Files).size(), 1);
        }

        const Outcome restored = Run({u"restore"_s}, home);
        qputenv("TMPDIR", savedTmp);
        QVERIFY2(restored.code == 0, qPrintable(restored.err));
        QVERIFY2(restored.out.contains(QDir::toNativeSeparators(sound)), qPrintable(restored.out));
        QVERIFY2(restored.out.contains(u"R123456789"_s) && restored.out.contains(u"S223456789"_s),
                 qPrintable(restored.out));
        QVERIFY(QFile::exists(broken));
        const QStringList aside = QDir(data).entryList({u"*_QuorinDamaged.db"_s});
        QCOMPARE(aside.size(), 1);
        const QStringList lists = QDir(data).entryList({u"*_補登簽到退.csv"_s});
        QCOMPARE(lists.size(), 1);
        QFile list(data + u'/' + lists.first());
        QVERIFY(list.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(list.readAll()).count(u"\r\n"_s), 3);
        const auto count = [](const QString &path) {
            int n = -1;
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"counting"_s);
                db.setDatabaseName(path);
                db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
                QSqlQuery query(db.open() ? db : QSqlDatabase());
                if (db.isOpen() && query.exec(u"select count(*) from PSIO"_s) && query.next())
                    n = query.value(0).toInt();
                db.close();
            }
            QSqlDatabase::removeDatabase(u"counting"_s);
            return n;
        };
        QCOMPARE(count(database), before);
        QCOMPARE(count(data + u'/' + aside.first()), before + 2);

        // A backup named on the command line that does not pass the check is refused.
        const Outcome refusedBackup = Run({u"restore"_s, QFileInfo(broken).fileName()}, home);
        QCOMPARE(refusedBackup.code, 1);
        QVERIFY2(refusedBackup.err.contains(u"不能使用"_s), qPrintable(refusedBackup.err));
        const Outcome help = Run({u"--help"_s});
        QVERIFY(help.out.contains(u"restore [backup]"_s));
    }

    void csvFiles()
    {
        const Outcome csv = Run({u"csv"_s, m_classKey});
        QCOMPARE(csv.code, 0);
        const QStringList files = csv.out.trimmed().split(u'\n');
        QCOMPARE(files.size(), 4);
        for (const QString &suffix : {u".csv"_s, u"_Course.csv"_s, u"_HoursPerCourse.csv"_s,
                                      u"_PermitHours.csv"_s}) {
            const auto match = std::find_if(files.cbegin(), files.cend(),
                                            [&](const QString &f) { return f.endsWith(suffix); });
            QVERIFY2(match != files.cend(), qPrintable(suffix));
            QFile file(*match);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY(bytes.startsWith("\xEF\xBB\xBF")); // the agency's UTF-8 with its mark
            QVERIFY2(bytes.count('\n') >= 2, qPrintable(*match)); // titles and rows
            // ... and its workbook beside it, a ZIP archive.
            QFile workbook(WorkbookPathFor(*match));
            QVERIFY2(workbook.open(QIODevice::ReadOnly), qPrintable(workbook.fileName()));
            QCOMPARE(workbook.read(2), QByteArray("PK"));
        }
    }

    void sheets()
    {
        // A class with lessons needs its lesson named.
        const Outcome unnamed = Run({u"sheets"_s, m_classKey});
        QCOMPARE(unnamed.code, 2);
        QVERIFY(unnamed.err.contains(u"--lesson"_s));
        const Outcome wrong = Run({u"sheets"_s, m_classKey, u"--lesson"_s, u"1999/01/01 08:00"_s});
        QCOMPARE(wrong.code, 1);

        const Outcome sheets = Run({u"sheets"_s, m_classKey, u"--lesson"_s, m_lesson});
        QVERIFY2(sheets.code == 0, qPrintable(sheets.err));
        const QStringList files = sheets.out.trimmed().split(u'\n');
        QCOMPARE(files.size(), 3);
        QCOMPARE(QSet<QString>(files.cbegin(), files.cend()).size(), 3);
        for (const QString &path : files) {
            QFile pdf(path);
            QVERIFY2(pdf.open(QIODevice::ReadOnly), qPrintable(path));
            QVERIFY(pdf.read(5) == "%PDF-");
            QVERIFY(pdf.size() > 2000);
        }
    }

    void exportImport()
    {
        const Outcome exported = Run({u"export"_s, m_classKey});
        QVERIFY2(exported.code == 0, qPrintable(exported.err));
        const QStringList lines = exported.out.trimmed().split(u'\n');
        const QString file = lines.last();
        QVERIFY2(file.endsWith(u".tmp"_s) && QFileInfo(file).size() > 0, qPrintable(exported.out));
        QVERIFY(exported.out.contains(u"資料筆數"_s));

        // Only station "00" imports; station "01" is refused, and "00" exports nothing.
        const Outcome refused = Run({u"import"_s, file});
        QCOMPARE(refused.code, 1);
        QVERIFY(refused.err.contains(u"資料匯入電腦編號必須為00"_s));
        const QString mainStation = MainStationHome();
        QVERIFY(!mainStation.isEmpty());
        const Outcome noExport = Run({u"export"_s, m_classKey}, mainStation);
        QCOMPARE(noExport.code, 1);
        QVERIFY(noExport.err.contains(u"資料匯出電腦編號不得為00"_s));

        const Outcome imported = Run({u"import"_s, file}, mainStation);
        QVERIFY2(imported.code == 0, qPrintable(imported.err));
        QVERIFY2(imported.out.contains(u"總共 匯入筆數"_s), qPrintable(imported.out));
    }

    // A unit moves to the shared database: the station's records go into an empty one, all of
    // them, once; a database that has the tables is never written over.
    void toSharedMovesTheRecords()
    {
        if (!TestBackend::UsesPostgres())
            QSKIP("needs the test suite's PostgreSQL server (ROLVAN_TEST_PG)");
        const NetDbSettings shared = TestBackend::NewPostgresDatabase();
        const QString home = m_dir.filePath(u"moving-station"_s);
        QDir().mkpath(home);
        QFile in(m_home + u"/Rolvan.ini"_s);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(in.readAll());
        text.replace(u"[Base]\n"_s,
                     u"[Base]\nNetDB Host=%1\nNetDB Port=%2\nNetDB Database=%3\nNetDB User=%4\n"
                     "NetDB Password=%5\nNetDB Schema=%6\n"_s.arg(shared.host)
                         .arg(shared.port)
                         .arg(shared.database, shared.user, EncodeNetDbPassword(shared.password),
                              shared.schema));
        QFile out(home + u"/Rolvan.ini"_s);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text.toUtf8());
        out.close();

        const Outcome moved = Run({u"to-shared"_s}, home);
        QVERIFY2(moved.code == 0, qPrintable(moved.err));
        QCOMPARE(moved.out.trimmed(), shared.Describe());

        auto counts = [](QSqlDatabase db) {
            QStringList numbers;
            QSqlQuery query(db);
            for (const QString &table : { u"PSIO"_s, u"Booking"_s, u"Courses"_s, u"Course"_s, u"SYS_CODE"_s }) {
                if (query.exec(u"select count(*), coalesce(max(RID), 0) from "_s + table) && query.next())
                    numbers << table + u' ' + query.value(0).toString() + u' ' + query.value(1).toString();
            }
            return numbers;
        };
        QStringList local;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"local"_s);
            db.setDatabaseName(m_data + u"/Quorin.db"_s);
            db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
            QVERIFY(db.open());
            local = counts(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(u"local"_s);
        QStringList server;
        {
            QSqlDatabase::addDatabase(u"QPSQL"_s, u"server"_s);
            QString error;
            QVERIFY2(OpenPostgresConnection(u"server"_s, shared, &error), qPrintable(error));
            server = counts(QSqlDatabase::database(u"server"_s));
            QSqlDatabase::database(u"server"_s).close();
        }
        QSqlDatabase::removeDatabase(u"server"_s);
        QCOMPARE(server.size(), 5);
        QCOMPARE(server, local);

        const Outcome again = Run({u"to-shared"_s}, home);
        QCOMPARE(again.code, 1);
        QVERIFY2(again.err.contains(u"已經有簽到資料表"_s), qPrintable(again.err));
    }
};

QTEST_GUILESS_MAIN(TestRolvanctl)
#include "tst_rolvanctl.moc"

// Where the station finds its writable folder and its read-only program files: a build tree,
// an installed program (the marker beside the executable) and demo or test homes (ROLVAN_HOME).

#include "base/Globals.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestGlobals : public QObject
{
    Q_OBJECT

private slots:
    void folders_data()
    {
        QTest::addColumn<bool>("installed");   // the marker beside the executable
        QTest::addColumn<bool>("home");        // ROLVAN_HOME set
        QTest::addColumn<bool>("homeTemplate"); // the home carries SampleQuorin.db
        QTest::addColumn<QString>("exeDir");   // "program", "home" or "perUser"
        QTest::addColumn<QString>("programDir");
        QTest::newRow("build tree") << false << false << false << u"program"_s << u"program"_s;
        QTest::newRow("installed") << true << false << false << u"perUser"_s << u"program"_s;
        QTest::newRow("demo home") << false << true << true << u"home"_s << u"home"_s;
        QTest::newRow("home without template") << false << true << false << u"home"_s << u"program"_s;
        QTest::newRow("installed, demo home") << true << true << true << u"home"_s << u"home"_s;
    }

    void folders()
    {
        QFETCH(bool, installed);
        QFETCH(bool, home);
        QFETCH(bool, homeTemplate);
        QFETCH(QString, exeDir);
        QFETCH(QString, programDir);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString program = dir.filePath(u"program"_s);
        const QString homeDir = dir.filePath(u"home"_s);
        const QString dataHome = dir.filePath(u"xdg"_s);
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(homeDir));
        if (installed) {
            QFile marker(QDir(program).filePath(InstalledMarkerFileName));
            QVERIFY(marker.open(QIODevice::WriteOnly));
        }
        if (homeTemplate) {
            QFile sample(QDir(homeDir).filePath(u"SampleQuorin.db"_s));
            QVERIFY(sample.open(QIODevice::WriteOnly));
        }
        const QByteArray oldHome = qgetenv("ROLVAN_HOME");
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        if (home)
            qputenv("ROLVAN_HOME", homeDir.toLocal8Bit());
        else
            qunsetenv("ROLVAN_HOME");
        qputenv("XDG_DATA_HOME", dataHome.toLocal8Bit());
        const QString exe = ResolveExeDir(program);
        const QString resources = ResolveProgramDir(program);
        qputenv("ROLVAN_HOME", oldHome);
        if (oldHome.isNull())
            qunsetenv("ROLVAN_HOME");
        qputenv("XDG_DATA_HOME", oldData);
        if (oldData.isNull())
            qunsetenv("XDG_DATA_HOME");

        const auto folderOf = [&](const QString &name) -> QString {
            const QString path = name == u"program" ? program
                : name == u"home"                   ? homeDir
                                                    : dataHome + u"/rolvan"_s;
            return QDir::toNativeSeparators(path) + QDir::separator();
        };
        QCOMPARE(exe, folderOf(exeDir));
        QCOMPARE(resources, folderOf(programDir));
        // The per-user folder is made at once, so the first settings write finds it.
        if (exeDir == u"perUser")
            QVERIFY(QFileInfo(dataHome + u"/rolvan"_s).isDir());
        QVERIFY(!QFileInfo::exists(dataHome) || exeDir == u"perUser");
    }
};

QTEST_GUILESS_MAIN(TestGlobals)
#include "tst_globals.moc"

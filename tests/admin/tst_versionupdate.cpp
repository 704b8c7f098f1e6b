// The version update against the fake training service: versions compared as four numbers, the
// check, downloads that are cut or do not match their checksum, packages that do not unpack
// completely or are not a complete update, and the window's check (none in designer mode).

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "admin/TfmUpdate.h"
#include "admin/UpdateFiles.h"
#include "admin/UpdateInstaller.h"
#include "admin/VersionNumber.h"
#include "admin/VersionUpdate.h"
#include "fakeservice/FakeService.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(bytes);
}

// A zip archive with the given entries, names taken as they are ("../x" included), made with
// Python's zipfile, which writes whatever names it is given.
void MakeZip(const QString &path, const QJsonObject &entries)
{
    const QString script = u"import json,sys,zipfile\n"
                           "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
                           "[z.writestr(n,c) for n,c in json.loads(sys.argv[2]).items()]\n"
                           "z.close()\n"_s;
    QProcess python;
    python.start(u"python3"_s,
        { u"-c"_s, script, path, QString::fromUtf8(QJsonDocument(entries).toJson()) });
    QVERIFY(python.waitForFinished(30000));
    QCOMPARE(python.exitCode(), 0);
}

// What a program file of that version holds for the version reader.
QString ProgramOf(const QString &version)
{
    return u"not a real program @(#)ROLVAN-FILE-VERSION:"_s + version + QChar(0) + u" end"_s;
}

QByteArray ReadAllOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

class TestVersionUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void versionsCompareAsFourNumbers_data();
    void versionsCompareAsFourNumbers();
    void checkAgainstTheServer_data();
    void checkAgainstTheServer();
    void downloadKeepsOnlyACompleteMatchingPackage_data();
    void downloadKeepsOnlyACompleteMatchingPackage();
    void unpackKeepsOnlyACompleteUpdate_data();
    void unpackKeepsOnlyACompleteUpdate();
    void updaterSwapsOrRestores_data();
    void updaterSwapsOrRestores();
    void windowShowsTheCheck_data();
    void windowShowsTheCheck();
    void designerModeMakesNoRequest();

private:
    UpdateSettings Settings() const;

    std::unique_ptr<FakeService> m_fake;
    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<QTemporaryDir> m_served;
    QString m_work;
};

void TestVersionUpdate::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
    m_fake = std::make_unique<FakeService>();
    QVERIFY2(m_fake->start(), qPrintable(m_fake->error()));
}

void TestVersionUpdate::init()
{
    m_station = std::make_unique<TestDatabase>();
    m_served = std::make_unique<QTemporaryDir>();
    m_work = m_station->dir() + u"/work"_s;
    QVERIFY(QDir().mkpath(m_work));
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, m_work);
    WriteIniSetting(IniSection::Base, IniKey::UpdateUrl, m_fake->updateBase());
    WriteIniSetting(IniSection::Base, IniKey::TrustedCaFile, m_fake->caFile());
    QVERIFY(m_fake->reset());
    QVERIFY(m_fake->serveUpdates(m_served->path()));
}

void TestVersionUpdate::cleanup()
{
    G().DesignerMode = false;
    m_station.reset();
    m_served.reset();
}

UpdateSettings TestVersionUpdate::Settings() const
{
    UpdateSettings settings = UpdateSettings::FromIni();
    settings.timeoutMs = 10000;
    return settings;
}

void TestVersionUpdate::versionsCompareAsFourNumbers_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("newer");
    QTest::newRow("a later release") << u"1.0.4.0"_s << u"1.0.3.5"_s << true;
    QTest::newRow("the same version") << u"1.0.3.5"_s << u"1.0.3.5"_s << false;
    QTest::newRow("10 after 9, not before") << u"1.0.10.0"_s << u"1.0.9.0"_s << true;
    QTest::newRow("no downgrade from 10 to 9") << u"1.0.9.0"_s << u"1.0.10.0"_s << false;
    QTest::newRow("the last number counts") << u"1.0.0.10"_s << u"1.0.0.9"_s << true;
    QTest::newRow("blanks and line end") << u" 1.0.4.0\r\n"_s << u"1.0.3.5"_s << true;
    QTest::newRow("three numbers are no version") << u"1.1.0"_s << u"1.0.3.5"_s << false;
    QTest::newRow("a word is no version") << u"<html>"_s << u"1.0.3.5"_s << false;
    QTest::newRow("a number past 65535") << u"1.0.70000.0"_s << u"1.0.3.5"_s << false;
}

void TestVersionUpdate::versionsCompareAsFourNumbers()
{
    QFETCH(QString, offered);
    QFETCH(QString, current);
    QFETCH(bool, newer);
    QCOMPARE(IsNewerVersion(offered, current), newer);
}

void TestVersionUpdate::checkAgainstTheServer_data()
{
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<QString>("current");
    QTest::addColumn<int>("result");
    QTest::newRow("1.0.4.0 for 1.0.3.5")
        << QByteArray("1.0.4.0\r\n") << u"1.0.3.5"_s << int(UpdateCheck::Result::Newer);
    QTest::newRow("1.0.3.5 for 1.0.3.5")
        << QByteArray("1.0.3.5") << u"1.0.3.5"_s << int(UpdateCheck::Result::UpToDate);
    QTest::newRow("1.0.10.0 for 1.0.9.0")
        << QByteArray("1.0.10.0\n") << u"1.0.9.0"_s << int(UpdateCheck::Result::Newer);
    QTest::newRow("not a version") << QByteArray("<html>maintenance</html>") << u"1.0.9.0"_s
                                   << int(UpdateCheck::Result::Failed);
    QTest::newRow("no version file")
        << QByteArray() << u"1.0.9.0"_s << int(UpdateCheck::Result::HttpError);
}

void TestVersionUpdate::checkAgainstTheServer()
{
    QFETCH(QByteArray, served);
    QFETCH(QString, current);
    QFETCH(int, result);
    if (!served.isEmpty())
        WriteFile(m_served->filePath(UpdateFiles::VersionFileName()), served);
    VersionUpdate update(Settings(), current);
    const UpdateCheck check = update.Check();
    QCOMPARE(int(check.result), result);
    if (check.result == UpdateCheck::Result::Newer || check.result == UpdateCheck::Result::UpToDate)
        QCOMPARE(check.offered, QString::fromLatin1(served).trimmed());
    if (check.result == UpdateCheck::Result::HttpError)
        QCOMPARE(check.status, 404);
}

void TestVersionUpdate::downloadKeepsOnlyACompleteMatchingPackage_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QByteArray>("checksum"); // "good" = the package's own; empty = none served
    QTest::addColumn<QString>("error"); // empty = the package is kept
    QTest::newRow("no checksum offered") << QString() << QByteArray() << QString();
    QTest::newRow("matching checksum") << QString() << QByteArray("good") << QString();
    QTest::newRow("cut half-way") << u"updatecut=1&path=RolvanUpdate.zip"_s << QByteArray()
                                  << u"更新檔下載"_s;
    QTest::newRow("wrong checksum") << QString() << QByteArray(64, '0') + "  RolvanUpdate.zip\n"
                                    << u"檢查碼不符"_s;
    QTest::newRow("checksum file of another kind")
        << QString() << QByteArray("<html></html>") << u"不是 SHA-256 檢查碼"_s;
    QTest::newRow("checksum unreachable")
        << u"status=500&path=sha256"_s << QByteArray("good") << u"無法取得更新檔的檢查碼"_s;
}

void TestVersionUpdate::downloadKeepsOnlyACompleteMatchingPackage()
{
    QFETCH(QString, switches);
    QFETCH(QByteArray, checksum);
    QFETCH(QString, error);

    // A package large enough to arrive in several pieces.
    QByteArray package;
    for (int i = 0; i < 200000; ++i)
        package += QByteArray::number(i * 7919 % 100003);
    WriteFile(m_served->filePath(UpdateFiles::PackageName()), package);
    if (checksum == "good")
        checksum = QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex() + "\n";
    if (!checksum.isEmpty())
        WriteFile(m_served->filePath(UpdateFiles::ChecksumFileName()), checksum);
    if (!switches.isEmpty())
        QVERIFY(m_fake->set(switches));

    VersionUpdate update(Settings(), u"1.0.0.1"_s);
    QList<int> percents;
    const UpdateStep step = update.Download([&](int p) { percents << p; });
    if (error.isEmpty()) {
        QVERIFY2(step.ok(), qPrintable(step.error));
        QFile kept(update.packagePath());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), package);
        QCOMPARE(percents.last(), 100);
        QCOMPARE(FilesIn(m_work), QStringList { UpdateFiles::PackageName() });
    } else {
        QVERIFY2(step.error.contains(error), qPrintable(step.error));
        // Neither the package nor a piece of it stays behind.
        QCOMPARE(FilesIn(m_work), QStringList());
    }
}

void TestVersionUpdate::unpackKeepsOnlyACompleteUpdate_data()
{
    const QString program = UpdateFiles::ProgramFileName();
    const QString updater = UpdateFiles::UpdaterFileName();
    QTest::addColumn<QJsonObject>("entries");
    QTest::addColumn<QString>("error"); // empty = unpacked
    const QJsonObject complete { { program, ProgramOf(u"1.0.0.2"_s) }, { updater, u"u"_s },
        { u"SampleQuorin.db"_s, u"t"_s } };
    QTest::newRow("complete") << complete << QString();
    QJsonObject escaping = complete;
    escaping.insert(u"../escaped.txt"_s, u"x"_s);
    QTest::newRow("an entry escaping the folder") << escaping << u"無法完整解開"_s;
    QJsonObject noUpdater = complete;
    noUpdater.remove(updater);
    QTest::newRow("no updater") << noUpdater << u"沒有 "_s + updater;
    QJsonObject older = complete;
    older.insert(program, ProgramOf(u"1.0.0.1"_s));
    QTest::newRow("not newer than the current") << older << u"並不比使用中版本 1.0.0.1 新"_s;
    QJsonObject settings = complete;
    settings.insert(u"Rolvan.ini"_s, u"[Base]"_s);
    QTest::newRow("brings a settings file") << settings << u"不可更新的檔案 Rolvan.ini"_s;
    QJsonObject folder = complete;
    folder.insert(u"sub/file.txt"_s, u"x"_s);
    QTest::newRow("brings a folder") << folder << u"資料夾 sub"_s;
}

void TestVersionUpdate::unpackKeepsOnlyACompleteUpdate()
{
    QFETCH(QJsonObject, entries);
    QFETCH(QString, error);
    VersionUpdate update(Settings(), u"1.0.0.1"_s);
    // What an earlier attempt left in the unpack folder is not part of this update.
    QVERIFY(QDir().mkpath(update.unpackFolder()));
    WriteFile(update.unpackFolder() + u"/stale.dll"_s, "old");
    MakeZip(update.packagePath(), entries);

    QString version;
    const UpdateStep step = update.Unpack(&version);
    QVERIFY(!QFile::exists(update.packagePath()));
    QVERIFY(!QFile::exists(m_station->dir() + u"/escaped.txt"_s));
    if (error.isEmpty()) {
        QVERIFY2(step.ok(), qPrintable(step.error));
        QCOMPARE(version, u"1.0.0.2"_s);
        QStringList names = entries.keys();
        names.sort();
        QStringList found = FilesIn(update.unpackFolder());
        found.sort();
        QCOMPARE(found, names);
    } else {
        QVERIFY2(step.error.contains(error), qPrintable(step.error));
        QVERIFY(version.isEmpty());
        QCOMPARE(FilesIn(update.unpackFolder()), QStringList());
    }
}

void TestVersionUpdate::updaterSwapsOrRestores_data()
{
    QTest::addColumn<QByteArray>("newProgram"); // a shell script standing in for the station
    QTest::addColumn<bool>("stationStaysUp");
    QTest::addColumn<QString>("error"); // empty = updated
    QTest::newRow("updated") << QByteArray("echo 1.0.0.2") << false << QString();
    QTest::newRow("new program fails") << QByteArray("exit 3") << false << u"新版程式無法啟動"_s;
    QTest::newRow("new program is another version")
        << QByteArray("echo 1.0.0.7") << false << u"新版程式的版本為 1.0.0.7，不是 1.0.0.2"_s;
    QTest::newRow("station does not end") << QByteArray("echo 1.0.0.2") << true << u"沒有結束"_s;
}

void TestVersionUpdate::updaterSwapsOrRestores()
{
#ifdef Q_OS_WIN
    QSKIP("the stand-in programs are shell scripts");
#endif
    QFETCH(QByteArray, newProgram);
    QFETCH(bool, stationStaysUp);
    QFETCH(QString, error);
    const QDir program(m_station->dir());
    const QDir source(m_work);
    const QByteArray oldProgram = "#!/bin/sh\necho 1.0.0.1\n";
    WriteFile(program.filePath(UpdateFiles::ProgramFileName()), oldProgram);
    MarkExecutable(program.filePath(UpdateFiles::ProgramFileName()));
    WriteFile(program.filePath(u"SampleQuorin.db"_s), "old template");
    // New files as a package made elsewhere brings them: not marked executable.
    WriteFile(source.filePath(UpdateFiles::ProgramFileName()), "#!/bin/sh\n" + newProgram + "\n");
    WriteFile(source.filePath(u"SampleQuorin.db"_s), "new template");
    WriteFile(source.filePath(u"Help.txt"_s), "a file the station did not have");
    const QByteArray settings = ReadAllOf(program.filePath(u"Rolvan.ini"_s));
    const QByteArray database = ReadAllOf(program.filePath(u"Quorin.db"_s));

    QProcess station;
    InstallRequest request;
    request.sourceFolder = source.path();
    request.programFolder = program.path();
    request.expectedVersion = u"1.0.0.2"_s;
    if (stationStaysUp) {
        station.start(u"sleep"_s, { u"30"_s });
        QVERIFY(station.waitForStarted());
        request.stationPid = station.processId();
        request.waitMs = 300;
    }
    const InstallOutcome outcome = InstallUpdate(request);
    if (stationStaysUp) {
        station.kill();
        station.waitForFinished();
    }

    QString versionError;
    const QString running = QueryProgramVersion(
        program.filePath(UpdateFiles::ProgramFileName()), 10000, &versionError);
    if (error.isEmpty()) {
        QVERIFY2(outcome.ok, qPrintable(outcome.message));
        QCOMPARE(running, u"1.0.0.2"_s);
        QCOMPARE(ReadAllOf(program.filePath(u"SampleQuorin.db"_s)), QByteArray("new template"));
        QVERIFY(QFile::exists(program.filePath(u"Help.txt"_s)));
        const QDir aside(program.filePath(UpdateFiles::PreviousFolderName()));
        QCOMPARE(ReadAllOf(aside.filePath(UpdateFiles::ProgramFileName())), oldProgram);
    } else {
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.message.contains(error), qPrintable(outcome.message));
        QCOMPARE(running, u"1.0.0.1"_s);
        QCOMPARE(ReadAllOf(program.filePath(UpdateFiles::ProgramFileName())), oldProgram);
        QCOMPARE(ReadAllOf(program.filePath(u"SampleQuorin.db"_s)), QByteArray("old template"));
        QVERIFY(!QFile::exists(program.filePath(u"Help.txt"_s)));
    }
    QCOMPARE(ReadAllOf(program.filePath(u"Rolvan.ini"_s)), settings);
    QCOMPARE(ReadAllOf(program.filePath(u"Quorin.db"_s)), database);
    for (const QString &name : FilesIn(program.path()))
        QVERIFY2(!name.endsWith(u".update"_s), qPrintable(name));
}

void TestVersionUpdate::windowShowsTheCheck_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("download");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("newer") << QString() << u"最新版本:1.0.10.0"_s << true << QStringList();
    QTest::newRow("HTTP error") << u"status=503&path=RolvanVer"_s << u"網路連結失敗"_s << false
                                << QStringList { u"503"_s, u"HTTP 503"_s, u"503"_s };
}

void TestVersionUpdate::windowShowsTheCheck()
{
    QFETCH(QString, switches);
    QFETCH(QString, line);
    QFETCH(bool, download);
    QFETCH(QStringList, errors);
    WriteFile(m_served->filePath(UpdateFiles::VersionFileName()), "1.0.10.0\r\n");
    if (!switches.isEmpty())
        QVERIFY(m_fake->set(switches));
    G().ExeVersion = u"1.0.9.0"_s;
    ScriptedPrompter prompter;

    TfmUpdate window;
    window.show();
    QTRY_COMPARE(window.Label1->text(), line);
    QCOMPARE(window.windowTitle(), u" 版本更新作業      使用中版本::1.0.9.0"_s);
    QCOMPARE(window.BitBtn1->isVisible(), download);
    QVERIFY(!window.BitBtn2->isVisible());
    QCOMPARE(prompter.errors.size(), errors.size());
    for (int i = 0; i < errors.size(); ++i)
        QVERIFY2(prompter.errors[i].contains(errors[i]), qPrintable(prompter.errors[i]));
    window.BitBtn3->click();
}

void TestVersionUpdate::designerModeMakesNoRequest()
{
    // A server that only counts connections and closes them.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    int connections = 0;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++connections;
            socket->close();
            socket->deleteLater();
        }
    });
    WriteIniSetting(IniSection::Base, IniKey::UpdateUrl,
        u"https://127.0.0.1:%1/esign"_s.arg(server.serverPort()));
    ScriptedPrompter prompter;

    G().DesignerMode = true;
    {
        TfmUpdate window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(500);
        QCOMPARE(connections, 0);
        QVERIFY(window.BitBtn2->isVisible());
        QVERIFY(!window.BitBtn1->isVisible());
        QCOMPARE(window.Label1->text(), u"訊息"_s);
    }
    // The same window outside designer mode does ask (the counter works).
    G().DesignerMode = false;
    TfmUpdate window;
    window.show();
    QTRY_COMPARE(window.Label1->text(), u"網路連結失敗"_s);
    QVERIFY(connections >= 1);
    QVERIFY(!window.BitBtn2->isVisible());
}

QTEST_MAIN(TestVersionUpdate)
#include "tst_versionupdate.moc"

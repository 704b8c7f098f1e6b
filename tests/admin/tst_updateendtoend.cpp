// The whole update of an installed station folder with this tree's own programs: the designer
// builds the package ("系統管理程式壓縮") from a copy of the station program whose version
// marker is raised, the fake service serves it, the update window of an installed station
// downloads and unpacks it and hands over, and the updater runUpdate (this build) replaces the
// files. Then an update whose new program cannot start: the previous files come back.
//
// The raised version is a byte copy of the built Rolvan whose marker "@(#)ROLVAN-FILE-VERSION:"
// carries a higher last number of the same length: it is the real program, so
// "Rolvan --version" of the updated folder proves the new program runs.

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "Fun/VersionInfo.h"
#include "admin/TfmUpdate.h"
#include "admin/UpdateFiles.h"
#include "admin/UpdateInstaller.h"
#include "admin/VersionUpdate.h"
#include "base/Globals.h"
#include "fakeservice/FakeService.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Sha256Of(const QString &path)
{
    return QCryptographicHash::hash(ReadAll(path), QCryptographicHash::Sha256);
}

bool CopyExecutable(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to)
        && QFile::setPermissions(to, QFile::permissions(from) | QFile::ExeOwner);
}

// A copy of the program whose version marker names version (of the current one's length).
bool WriteRaisedProgram(
    const QString &to, const QString &version, bool brokenHeader, QString *error)
{
    QByteArray bytes = ReadAll(QStringLiteral(ROLVAN_PROGRAM));
    const QByteArray from = "@(#)ROLVAN-FILE-VERSION:" + GetOwnVersionText().toLatin1() + '\0';
    const QByteArray into = "@(#)ROLVAN-FILE-VERSION:" + version.toLatin1() + '\0';
    if (from.size() != into.size() || !bytes.contains(from)) {
        *error = u"cannot raise the marker to "_s + version;
        return false;
    }
    bytes.replace(from, into);
    if (brokenHeader)
        bytes.replace(0, 4, "XXXX"); // no longer an executable the system can start
    QFile file(to);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(bytes) != bytes.size()) {
        *error = file.errorString();
        return false;
    }
    file.close();
    QFile::setPermissions(to, QFile::permissions(QStringLiteral(ROLVAN_PROGRAM)));
    return true;
}

// The current version with its last number raised by step, e.g. 1.0.0.1 -> 1.0.0.2.
QString Raised(int step)
{
    QStringList parts = GetOwnVersionText().split(u'.');
    parts.last() = QString::number(parts.last().toInt() + step);
    return parts.join(u'.');
}

// Runs the updater as the station would start it, but waiting for a short-lived stand-in for
// the station's process and without starting the station again afterwards.
int RunUpdater(UpdaterLaunch launch, qint64 *elapsedMs)
{
    QProcess station;
    station.start(u"python3"_s, { u"-c"_s, u"import time; time.sleep(0.5)"_s });
    if (!station.waitForStarted(10000))
        return -1;
    const qsizetype pid = launch.arguments.indexOf(u"--pid"_s);
    launch.arguments[pid + 1] = QString::number(station.processId());
    launch.arguments.removeAll(u"--restart"_s);

    QElapsedTimer timer;
    timer.start();
    QProcess updater;
    updater.setWorkingDirectory(launch.workingFolder);
    updater.start(launch.program, launch.arguments);
    station.waitForFinished(10000);
    if (!updater.waitForFinished(180000))
        return -2;
    *elapsedMs = timer.elapsed();
    return updater.exitStatus() == QProcess::NormalExit ? updater.exitCode() : -3;
}

} // namespace

class TestUpdateEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void updatesAStationFolderAndRestoresAFailedOne();

private:
    QTemporaryDir m_root;
};

void TestUpdateEndToEnd::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
    QVERIFY(m_root.isValid());
}

void TestUpdateEndToEnd::updatesAStationFolderAndRestoresAFailedOne()
{
    FakeService fake;
    QVERIFY2(fake.start(), qPrintable(fake.error()));
    ScriptedPrompter prompter;
    Globals globals;
    Globals *previous = &G();
    SetGlobals(&globals);
    auto restore = qScopeGuard([previous] { SetGlobals(previous); });
    const QString current = GetOwnVersionText();
    const QString newer = Raised(1);
    const QString broken = Raised(2);

    // ---- The designer's folder: the raised program, this build's updater and template.
    const QDir designer(m_root.filePath(u"designer"_s));
    const QString designerWork = m_root.filePath(u"designer-work"_s);
    QVERIFY(QDir().mkpath(designer.path()) && QDir().mkpath(designerWork));
    QString error;
    QVERIFY2(
        WriteRaisedProgram(designer.filePath(UpdateFiles::ProgramFileName()), newer, false, &error),
        qPrintable(error));
    QVERIFY(CopyExecutable(
        QStringLiteral(ROLVAN_UPDATER), designer.filePath(UpdateFiles::UpdaterFileName())));
    QVERIFY(QFile::copy(QStringLiteral(ROLVAN_TEMPLATE), designer.filePath(u"SampleQuorin.db"_s)));
    globals.ExeDir = designer.path() + QDir::separator();
    globals.DesignerMode = true;
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, designerWork);
    {
        TfmUpdate window;
        window.setProgramFolder(designer.path());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.BitBtn2->isVisible());
        QElapsedTimer timer;
        timer.start();
        window.BitBtn2->click();
        qInfo("building the package took %lld ms", timer.elapsed());
        const QString upload = QDir(designerWork).filePath(UpdateFiles::UploadFolderName());
        QCOMPARE(window.Label1->text(),
            QDir::toNativeSeparators(QDir(upload).filePath(UpdateFiles::PackageName())));
        QCOMPARE(ReadAll(QDir(upload).filePath(UpdateFiles::VersionFileName())).trimmed(),
            newer.toLatin1());
        QVERIFY(fake.serveUpdates(upload));
    }

    // ---- An installed station of the current version, its database and settings beside it.
    const QDir station(m_root.filePath(u"station"_s));
    QVERIFY(QDir().mkpath(station.path()));
    QVERIFY(CopyExecutable(
        QStringLiteral(ROLVAN_PROGRAM), station.filePath(UpdateFiles::ProgramFileName())));
    QVERIFY(CopyExecutable(
        QStringLiteral(ROLVAN_UPDATER), station.filePath(UpdateFiles::UpdaterFileName())));
    QVERIFY(QFile::copy(QStringLiteral(ROLVAN_TEMPLATE), station.filePath(u"SampleQuorin.db"_s)));
    QVERIFY(TestDatabase::CreateEmptyDatabase(station.filePath(u"Quorin.db"_s)));
    globals.ExeDir = station.path() + QDir::separator();
    globals.DesignerMode = false;
    globals.ExeVersion = current;
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, station.path());
    WriteIniSetting(IniSection::Base, IniKey::UpdateUrl, fake.updateBase());
    WriteIniSetting(IniSection::Base, IniKey::TrustedCaFile, fake.caFile());
    const QByteArray database = Sha256Of(station.filePath(u"Quorin.db"_s));
    const QByteArray settings = Sha256Of(station.filePath(u"Rolvan.ini"_s));
    const QByteArray oldProgram = Sha256Of(station.filePath(UpdateFiles::ProgramFileName()));

    UpdaterLaunch launch;
    {
        TfmUpdate window;
        window.setProgramFolder(station.path());
        bool ended = false;
        window.setEndStation([&ended] { ended = true; });
        window.show();
        QTRY_COMPARE(window.Label1->text(), u"最新版本:"_s + newer);
        QVERIFY(window.BitBtn1->isVisible());
        QElapsedTimer timer;
        timer.start();
        window.BitBtn1->click();
        qInfo("download, unpack and the updater's hand-over took %lld ms", timer.elapsed());
        QVERIFY2(ended, qPrintable(window.Label1->text() + prompter.all().join(u" | "_s)));
        QCOMPARE(window.ProgressBar1->value(), 100);
        const auto pending = TakePendingUpdaterLaunch();
        QVERIFY(pending);
        launch = *pending;
    }
    QCOMPARE(launch.program, station.filePath(UpdateFiles::UpdaterFileName()));
    QVERIFY(launch.arguments.contains(u"--restart"_s));

    qint64 elapsed = 0;
    QCOMPARE(RunUpdater(launch, &elapsed), 0);
    qInfo("the updater replaced the station's files in %lld ms", elapsed);
    QString versionError;
    QCOMPARE(
        QueryProgramVersion(station.filePath(UpdateFiles::ProgramFileName()), 30000, &versionError),
        newer);
    QCOMPARE(Sha256Of(station.filePath(u"Quorin.db"_s)), database);
    QCOMPARE(Sha256Of(station.filePath(u"Rolvan.ini"_s)), settings);
    // The old program is kept aside.
    const QDir aside(station.filePath(UpdateFiles::PreviousFolderName()));
    QCOMPARE(Sha256Of(aside.filePath(UpdateFiles::ProgramFileName())), oldProgram);
    QVERIFY(ReadAll(station.filePath(UpdateFiles::UpdaterLogName())).contains(newer.toUtf8()));
    QVERIFY(!QFile::exists(station.filePath(UpdateFiles::UpdaterFailureName())));

    // ---- A package whose program cannot start: everything is put back.
    QVERIFY2(WriteRaisedProgram(designer.filePath(u"broken"_s), broken, true, &error),
        qPrintable(error));
    PackageSources sources;
    sources.programFile = designer.filePath(u"broken"_s);
    sources.updaterFile = designer.filePath(UpdateFiles::UpdaterFileName());
    sources.templateFile = designer.filePath(u"SampleQuorin.db"_s);
    QString package;
    UpdateStep step = VersionUpdate::BuildPackage(sources, designerWork, &package);
    QVERIFY2(step.ok(), qPrintable(step.error));

    const QByteArray installedProgram = Sha256Of(station.filePath(UpdateFiles::ProgramFileName()));
    const QByteArray installedTemplate = Sha256Of(station.filePath(u"SampleQuorin.db"_s));
    globals.ExeVersion = newer;
    VersionUpdate update(UpdateSettings::FromIni(), newer);
    QCOMPARE(int(update.Check().result), int(UpdateCheck::Result::Newer));
    step = update.Download();
    QVERIFY2(step.ok(), qPrintable(step.error));
    QString unpacked;
    step = update.Unpack(&unpacked);
    QVERIFY2(step.ok(), qPrintable(step.error));
    QCOMPARE(unpacked, broken);
    step = update.PlaceUpdater(station.path());
    QVERIFY2(step.ok(), qPrintable(step.error));
    QCOMPARE(RunUpdater(update.MakeLaunch(station.path(), unpacked, 0, true), &elapsed), 1);

    QCOMPARE(Sha256Of(station.filePath(UpdateFiles::ProgramFileName())), installedProgram);
    QCOMPARE(Sha256Of(station.filePath(u"SampleQuorin.db"_s)), installedTemplate);
    QCOMPARE(
        QueryProgramVersion(station.filePath(UpdateFiles::ProgramFileName()), 30000, &versionError),
        newer);
    QCOMPARE(Sha256Of(station.filePath(u"Quorin.db"_s)), database);
    QCOMPARE(Sha256Of(station.filePath(u"Rolvan.ini"_s)), settings);
    // No new file is left half in place.
    for (const QString &name : station.entryList(QDir::Files | QDir::Hidden))
        QVERIFY2(!name.endsWith(u".update"_s), qPrintable(name));
    // The reason waits for the update window, which shows it once.
    const QString failure = update.TakeUpdaterFailure();
    QVERIFY2(failure.contains(u"新版程式無法啟動"_s) && failure.contains(u"已還原"_s),
        qPrintable(failure));
    QVERIFY(update.TakeUpdaterFailure().isEmpty());
}

QTEST_MAIN(TestUpdateEndToEnd)
#include "tst_updateendtoend.moc"

// runUpdate: the station's updater. The station starts it when it ends after unpacking an
// update; it waits for the station's process to be gone, puts the new files in place (the old
// ones aside), checks that the new station starts, restores the old files when anything fails,
// and starts the station again. No window: what it did goes to the log file and to stderr.

#include "base/AtomicFile.h"
#include "admin/UpdateFiles.h"
#include "admin/UpdateInstaller.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void WriteReport(const QString &logPath, const InstallOutcome &outcome)
{
    if (logPath.isEmpty())
        return;
    const QString stamp = QDateTime::currentDateTime().toString(u"yyyy/MM/dd HH:mm:ss"_s);
    QByteArray text;
    for (const QString &line : outcome.log)
        text += (stamp + u" "_s + line).toUtf8() + "\n";
    WriteFileAtomically(logPath, text);
    const QString failurePath
        = QFileInfo(logPath).dir().filePath(UpdateFiles::UpdaterFailureName());
    if (!outcome.ok)
        WriteFileAtomically(failurePath, outcome.message.toUtf8() + "\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Rolvan updater"_s);
    parser.addHelpOption();
    const QCommandLineOption version(u"version"_s, u"Print the version and end."_s);
    const QCommandLineOption pid(u"pid"_s, u"Process id of the station to wait for."_s, u"pid"_s);
    const QCommandLineOption from(u"from"_s, u"Folder with the new files."_s, u"folder"_s);
    const QCommandLineOption to(u"to"_s, u"The station's program folder."_s, u"folder"_s);
    const QCommandLineOption expect(
        u"expect"_s, u"Version the new station must report."_s, u"version"_s);
    const QCommandLineOption log(u"log"_s, u"File that receives the report."_s, u"file"_s);
    const QCommandLineOption restart(u"restart"_s, u"Start the station afterwards."_s);
    const QCommandLineOption wait(
        u"wait-seconds"_s, u"How long the station may take to end."_s, u"seconds"_s, u"60"_s);
    parser.addOptions({ version, pid, from, to, expect, log, restart, wait });
    parser.process(app);

    if (parser.isSet(version)) {
        std::fputs(ROLVAN_VERSION_TEXT "\n", stdout);
        return 0;
    }
    if (!parser.isSet(from) || !parser.isSet(to) || !parser.isSet(expect)) {
        std::fputs("runUpdate: --from, --to and --expect are required (see --help)\n", stderr);
        return 2;
    }

    InstallRequest request;
    request.sourceFolder = parser.value(from);
    request.programFolder = parser.value(to);
    request.expectedVersion = parser.value(expect);
    request.stationPid = parser.value(pid).toLongLong();
    request.waitMs = parser.value(wait).toInt() * 1000;
    const InstallOutcome outcome = InstallUpdate(request);

    WriteReport(parser.value(log), outcome);
    std::fputs((outcome.message + u"\n"_s).toLocal8Bit().constData(), stderr);

    if (parser.isSet(restart)) {
        // The new station after a success, the old one after a restore.
        const QString program
            = QDir(request.programFolder).filePath(UpdateFiles::ProgramFileName());
        QProcess::startDetached(program, {}, request.programFolder);
    }
    return outcome.ok ? 0 : 1;
}

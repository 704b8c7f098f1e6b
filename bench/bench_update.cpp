// A full update of a station folder with this build's programs: the designer's package built
// from the station program (version marker raised), then, a few times over a fresh station
// folder, the unpacking, the new updater put in place and the updater's swap with its start
// check of the new program. Every figure is wall time of one step, median of the runs.
//
//   bench_update [--runs N]

#include "BenchSupport.h"
#include "Fun/VersionInfo.h"
#include "admin/UpdateFiles.h"
#include "admin/UpdateInstaller.h"
#include "admin/VersionUpdate.h"
#include "base/Globals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

qint64 Timed(const std::function<bool()> &step, const char *what)
{
    QElapsedTimer timer;
    timer.start();
    if (!step()) {
        Out() << "failed: " << what << Qt::endl;
        std::exit(1);
    }
    return timer.elapsed();
}

qint64 Median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool CopyExecutable(const QString &from, const QString &to)
{
    return QFile::copy(from, to) && QFile::setPermissions(to, QFile::permissions(from));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype runsAt = args.indexOf(u"--runs"_s);
    const int runs = runsAt > 0 && runsAt + 1 < args.size() ? args[runsAt + 1].toInt() : 3;
    Globals globals;
    SetGlobals(&globals);

    QTemporaryDir root(QDir(QStringLiteral(ROLVAN_BUILD_DIR)).filePath(u"bench-update-XXXXXX"_s));
    const QDir designer(root.filePath(u"designer"_s));
    QDir().mkpath(designer.path());
    QFile program(QStringLiteral(ROLVAN_PROGRAM));
    program.open(QIODevice::ReadOnly);
    QByteArray bytes = program.readAll();
    QStringList parts = GetOwnVersionText().split(u'.');
    parts.last() = QString::number(parts.last().toInt() + 1);
    const QString newer = parts.join(u'.');
    const QByteArray from = "@(#)ROLVAN-FILE-VERSION:" + GetOwnVersionText().toLatin1() + '\0';
    const QByteArray into = "@(#)ROLVAN-FILE-VERSION:" + newer.toLatin1() + '\0';
    bytes.replace(from, into);
    QFile raised(designer.filePath(UpdateFiles::ProgramFileName()));
    raised.open(QIODevice::WriteOnly);
    raised.write(bytes);
    raised.close();
    raised.setPermissions(program.permissions());

    PackageSources sources { designer.filePath(UpdateFiles::ProgramFileName()),
        QStringLiteral(ROLVAN_UPDATER), QStringLiteral(ROLVAN_TEMPLATE) };
    QString package;
    const qint64 build = Timed(
        [&] {
            return VersionUpdate::BuildPackage(sources, root.filePath(u"designer-work"_s), &package)
                .ok();
        },
        "package");
    Out() << "program " << bytes.size() / 1024 << " KiB, package "
          << QFileInfo(package).size() / 1024 << " KiB" << Qt::endl;
    Out() << "build the package (系統管理程式壓縮): " << build << " ms" << Qt::endl;

    std::vector<qint64> unpack, place, install;
    for (int run = 0; run < runs; ++run) {
        const QDir station(root.filePath(u"station%1"_s.arg(run)));
        QDir().mkpath(station.path());
        CopyExecutable(
            QStringLiteral(ROLVAN_PROGRAM), station.filePath(UpdateFiles::ProgramFileName()));
        CopyExecutable(
            QStringLiteral(ROLVAN_UPDATER), station.filePath(UpdateFiles::UpdaterFileName()));
        QFile::copy(QStringLiteral(ROLVAN_TEMPLATE), station.filePath(u"SampleQuorin.db"_s));
        UpdateSettings settings;
        settings.workFolder = station.filePath(u"work"_s);
        QDir().mkpath(settings.workFolder);
        VersionUpdate update(settings, GetOwnVersionText());
        QFile::copy(package, update.packagePath());
        QString version;
        unpack.push_back(Timed([&] { return update.Unpack(&version).ok(); }, "unpack"));
        place.push_back(Timed([&] { return update.PlaceUpdater(station.path()).ok(); }, "updater"));
        InstallRequest request;
        request.sourceFolder = update.unpackFolder();
        request.programFolder = station.path();
        request.expectedVersion = version;
        install.push_back(Timed([&] { return InstallUpdate(request).ok; }, "install"));
    }
    Out() << "median of " << runs << " runs:" << Qt::endl;
    Out() << "  unpack the package: " << Median(unpack) << " ms" << Qt::endl;
    Out() << "  put the new updater in place (with its --version check): " << Median(place) << " ms"
          << Qt::endl;
    Out() << "  updater: swap the files and check the new station starts: " << Median(install)
          << " ms" << Qt::endl;
    return 0;
}

#include "admin/UpdateInstaller.h"

#include "base/AtomicFile.h"
#include "admin/UpdateFiles.h"
#include "platform/ProcessWait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

bool UpdateFiles::IsProtectedName(const QString &fileName)
{
    const QString name = fileName.toLower();
    return name == u"rolvan.ini"_s || name.startsWith(u"quorin.db"_s)
        || name.startsWith(u"quorin.mdb"_s);
}

bool RenameOver(const QString &from, const QString &to, QString *reason)
{
    std::error_code error;
    std::filesystem::rename(
        QFileInfo(from).filesystemFilePath(), QFileInfo(to).filesystemFilePath(), error);
    if (error && reason)
        *reason = QString::fromLocal8Bit(error.message());
    return !error;
}

void MarkExecutable(const QString &path)
{
    QFile::Permissions permissions = QFile::permissions(path) | QFile::ExeOwner | QFile::ExeUser;
    if (permissions & QFile::ReadGroup)
        permissions |= QFile::ExeGroup;
    if (permissions & QFile::ReadOther)
        permissions |= QFile::ExeOther;
    QFile::setPermissions(path, permissions);
}

bool CopyFileDurably(const QString &source, const QString &target, QString *error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = u"無法讀取 %1：%2"_s.arg(source, in.errorString());
        return false;
    }
    AtomicFile out(target);
    if (!out.begin()) {
        *error = out.errorString();
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError) {
            *error = u"無法讀取 %1：%2"_s.arg(source, in.errorString());
            return false;
        }
        if (!out.write(chunk)) {
            *error = out.errorString();
            return false;
        }
    }
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    QFile::setPermissions(target, in.permissions());
    return true;
}

namespace {

struct Swap
{
    QString target; // the file in the program folder
    QString staged; // the new file under its temporary name
    QString previous; // where the replaced file was put aside; empty when there was none
    bool done = false;
};

} // namespace

QString QueryProgramVersion(const QString &program, int timeoutMs, QString *error)
{
    QProcess process;
    process.setWorkingDirectory(QFileInfo(program).absolutePath());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, { u"--version"_s });
    if (!process.waitForStarted(timeoutMs)) {
        *error = u"無法執行 %1：%2"_s.arg(program, process.errorString());
        return {};
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(3000);
        *error = u"%1 在 %2 秒內沒有回應"_s.arg(program).arg(timeoutMs / 1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = u"%1 執行失敗（結束碼 %2）"_s.arg(program).arg(process.exitCode());
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

InstallOutcome InstallUpdate(const InstallRequest &request)
{
    InstallOutcome outcome;
    auto note = [&](const QString &line) { outcome.log << line; };
    auto fail = [&](const QString &message) {
        outcome.message = message;
        note(message);
        return outcome;
    };

    const QDir source(request.sourceFolder);
    const QDir program(request.programFolder);
    if (!source.exists())
        return fail(u"找不到更新檔資料夾 %1，未更新"_s.arg(request.sourceFolder));
    if (!program.exists())
        return fail(u"找不到程式資料夾 %1，未更新"_s.arg(request.programFolder));
    if (request.expectedVersion.trimmed().isEmpty())
        return fail(u"未指定新版本的版本編號，未更新"_s);

    if (request.stationPid > 0) {
        note(u"等待簽到程式（程序 %1）結束"_s.arg(request.stationPid));
        if (!WaitForProcessEnd(request.stationPid, request.waitMs))
            return fail(u"簽到程式（程序 %1）在 %2 秒內沒有結束，未更新"_s.arg(request.stationPid)
                            .arg(request.waitMs / 1000));
    }

    // The new files: the top level of the unpack folder, less the updater and protected files.
    QList<Swap> swaps;
    bool hasProgram = false;
    const QFileInfoList entries
        = source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (!entry.isFile() || entry.isSymLink())
            return fail(u"更新檔資料夾中有不是檔案的項目 %1，未更新"_s.arg(entry.fileName()));
        const QString name = entry.fileName();
        if (name.compare(UpdateFiles::UpdaterFileName(), Qt::CaseInsensitive) == 0
            || UpdateFiles::IsProtectedName(name)) {
            note(u"略過 %1"_s.arg(name));
            continue;
        }
        hasProgram = hasProgram || name == UpdateFiles::ProgramFileName();
        swaps.append(
            { program.filePath(name), program.filePath(u".%1.update"_s.arg(name)), {}, false });
    }
    if (!hasProgram)
        return fail(u"更新檔中沒有 %1，未更新"_s.arg(UpdateFiles::ProgramFileName()));

    // The folder the replaced files go to belongs to the updater: emptied of a former update.
    const QString previousFolder = program.filePath(UpdateFiles::PreviousFolderName());
    const QFileInfo previousInfo(previousFolder);
    if (previousInfo.isSymLink() || (previousInfo.exists() && !previousInfo.isDir()))
        return fail(u"%1 不是資料夾，未更新"_s.arg(previousFolder));
    if (!QDir().mkpath(previousFolder))
        return fail(u"無法建立資料夾 %1，未更新"_s.arg(previousFolder));
    const QDir previous(previousFolder);
    for (const QFileInfo &old : previous.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!QFile::remove(old.absoluteFilePath()))
            return fail(u"無法清除前次更新留下的 %1，未更新"_s.arg(old.absoluteFilePath()));
    }

    auto removeStaged = [&] {
        for (const Swap &s : swaps)
            QFile::remove(s.staged);
    };

    // 2. Every new file beside its target, complete and on the disk, before anything moves.
    for (Swap &s : swaps) {
        QString error;
        const QString from = source.filePath(QFileInfo(s.target).fileName());
        if (!CopyFileDurably(from, s.staged, &error)) {
            removeStaged();
            return fail(u"複製新檔失敗，未更新：%1"_s.arg(error));
        }
        if (QFileInfo(s.target).fileName() == UpdateFiles::ProgramFileName())
            MarkExecutable(s.staged);
        note(u"已備妥 %1"_s.arg(QFileInfo(s.target).fileName()));
    }

    auto rollBack = [&](const QString &why) {
        QStringList problems;
        for (auto it = swaps.rbegin(); it != swaps.rend(); ++it) {
            if (!it->done)
                continue;
            QString reason;
            if (it->previous.isEmpty()) {
                if (!QFile::remove(it->target))
                    problems << it->target;
            } else if (!RenameOver(it->previous, it->target, &reason)) {
                problems << u"%1（%2）"_s.arg(it->target, reason);
            }
        }
        removeStaged();
        outcome.restored = problems.isEmpty();
        if (problems.isEmpty())
            return fail(why + u"；已還原為原來的程式"_s);
        return fail(why
            + u"；以下檔案無法還原，請由 %1 取回：%2"_s.arg(
                previousFolder, problems.join(u"、"_s)));
    };

    // 3. Put the old files aside and the new ones in place.
    for (Swap &s : swaps) {
        QString reason;
        const QString name = QFileInfo(s.target).fileName();
        if (QFileInfo::exists(s.target)) {
            s.previous = previous.filePath(name);
            if (!RenameOver(s.target, s.previous, &reason))
                return rollBack(u"無法移開原來的 %1（%2）"_s.arg(name, reason));
        }
        if (!RenameOver(s.staged, s.target, &reason)) {
            // The old one is aside already: give it back first.
            if (!s.previous.isEmpty())
                RenameOver(s.previous, s.target, &reason);
            return rollBack(u"無法放入新的 %1（%2）"_s.arg(name, reason));
        }
        s.done = true;
        note(u"已更新 %1"_s.arg(name));
    }

    // 4. The new station must start and be the version announced.
    QString error;
    const QString printed = QueryProgramVersion(
        program.filePath(UpdateFiles::ProgramFileName()), request.startCheckMs, &error);
    if (printed.isEmpty())
        return rollBack(u"新版程式無法啟動：%1"_s.arg(error));
    if (printed != request.expectedVersion.trimmed())
        return rollBack(u"新版程式的版本為 %1，不是 %2"_s.arg(printed, request.expectedVersion));

    outcome.ok = true;
    outcome.message = u"已更新為版本 %1"_s.arg(printed);
    note(outcome.message);
    return outcome;
}

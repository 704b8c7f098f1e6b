#include "base/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

struct Fault
{
    AtomicFileStep step = AtomicFileStep::Write;
    int osError = 0;
};
Fault g_fault;

// The injected error for this step, once; 0 when none.
int TakeFault(AtomicFileStep step)
{
    if (g_fault.osError == 0 || g_fault.step != step)
        return 0;
    const int error = g_fault.osError;
    g_fault.osError = 0;
    return error;
}

QString Shown(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// A symbolic link is written through: the file it points to is replaced, the link stays.
QString ResolveTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.symLinkTarget();
        if (!target.isEmpty())
            return target;
    }
    return path;
}

// Synchronises an open file's data to the disk; returns the error number, 0 on success.
int SyncHandle(int handle)
{
#ifdef Q_OS_WIN
    return ::_commit(handle) == 0 ? 0 : errno;
#else
    return ::fsync(handle) == 0 ? 0 : errno;
#endif
}

// After a rename the folder entry itself must reach the disk; some file systems cannot
// synchronise a folder, which is not an error.
void SyncFolder(const QString &folder)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

// Replaces 'to' by 'from'; the reason in Chinese when it cannot, empty on success.
QString RenameOver(const QString &from, const QString &to)
{
    if (const int injected = TakeFault(AtomicFileStep::Rename))
        return OsErrorReason(injected);
    std::error_code error;
    std::filesystem::rename(QFileInfo(from).filesystemFilePath(),
                            QFileInfo(to).filesystemFilePath(), error);
    if (!error)
        return QString();
    const QString text = QString::fromLocal8Bit(error.message());
    // On POSIX the code is the error number; on Windows a system code the text explains.
    return error.category() == std::generic_category() || error.category() == std::system_category()
        ? OsErrorReason(error.default_error_condition().value(), text)
        : text;
}

// A writer killed between its first write and the rename leaves its temporary file (a PDF or
// an archive may be big). Those of the same target that nobody has written to for ten minutes
// go when the target is written again.
//
// A folder is read once per run, not once per write: a class's picture folder holds thousands of
// snapshots, and reading it for every new snapshot made each write slower than the last (1.5 ms
// for the first thousand files of a folder, 5.7 ms for the fourth thousand). The stale files found
// are kept by target name and removed when that target is written.
const QRegularExpression &TemporaryNamePattern()
{
    static const QRegularExpression ours(u"^\\.(.+)\\.\\d{6}$"_s);
    return ours;
}

QHash<QString, QStringList> FindStaleTemporaries(const QString &folder)
{
    const QRegularExpression &ours = TemporaryNamePattern();
    const QDateTime staleBefore = QDateTime::currentDateTimeUtc().addSecs(-600);
    QHash<QString, QStringList> found;
    const QFileInfoList entries
        = QDir(folder).entryInfoList({ u".*"_s }, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch match = ours.match(entry.fileName());
        if (match.hasMatch() && entry.lastModified().toUTC() < staleBefore)
            found[match.captured(1)].append(entry.absoluteFilePath());
    }
    return found;
}

void RemoveStaleTemporaries(const QString &target)
{
    static QMutex mutex;
    static QHash<QString, QHash<QString, QStringList>> staleByFolder;
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    QStringList stale;
    {
        const QMutexLocker lock(&mutex);
        auto it = staleByFolder.find(folder);
        if (it == staleByFolder.end())
            it = staleByFolder.insert(folder, FindStaleTemporaries(folder));
        stale = it->take(info.fileName());
    }
    for (const QString &path : std::as_const(stale))
        QFile::remove(path);
}

QString TemporaryNameFor(const QString &target)
{
    const QFileInfo info(target);
    const QString suffix = QString::number(QRandomGenerator::global()->generate() % 1000000u)
                               .rightJustified(6, u'0');
    return info.dir().filePath(u"."_s + info.fileName() + u"."_s + suffix);
}

} // namespace

QString OsErrorReason(int osError, const QString &osText)
{
    const QString text = osText.isEmpty() && osError != 0 ? qt_error_string(osError) : osText;
    QString reason;
    switch (osError) {
    case ENOSPC:
        reason = u"磁碟空間不足"_s;
        break;
#ifdef EDQUOT
    case EDQUOT:
        reason = u"超過磁碟配額"_s;
        break;
#endif
    case EROFS:
        reason = u"磁碟是唯讀的"_s;
        break;
    case EACCES:
    case EPERM:
        reason = u"沒有寫入權限"_s;
        break;
    case EIO:
        reason = u"磁碟讀寫錯誤"_s;
        break;
    case ENOENT:
    case ENOTDIR:
        reason = u"資料夾不存在"_s;
        break;
    case EFBIG:
        reason = u"檔案太大"_s;
        break;
    case ENAMETOOLONG:
        reason = u"檔名太長"_s;
        break;
    default:
        break;
    }
    if (reason.isEmpty())
        return text.isEmpty() ? u"系統未說明原因"_s : text;
    return text.isEmpty() ? reason : reason + u"（"_s + text + u"）"_s;
}

bool IsAtomicFileTemporaryName(const QString &fileName)
{
    return TemporaryNamePattern().match(fileName).hasMatch();
}

int RemoveStaleTemporaryFiles(const QString &folder)
{
    int removed = 0;
    const QHash<QString, QStringList> stale = FindStaleTemporaries(folder);
    for (const QStringList &paths : stale) {
        for (const QString &path : paths) {
            if (QFile::remove(path))
                ++removed;
        }
    }
    return removed;
}

void InjectAtomicFileFault(AtomicFileStep step, int osError)
{
    g_fault = Fault{ step, osError };
}

AtomicFile::AtomicFile(const QString &path)
    : m_path(ResolveTarget(path))
{
}

AtomicFile::~AtomicFile()
{
    cancel();
}

bool AtomicFile::fail(const QString &reason)
{
    m_failed = true;
    m_reason = reason;
    m_error = u"無法寫入檔案「%1」：%2"_s.arg(Shown(m_path), reason);
    cancel();
    return false;
}

bool AtomicFile::failWithOsError(const QString &action, int osError, const QString &osText)
{
    return fail(action + OsErrorReason(osError, osText));
}

bool AtomicFile::begin()
{
    cancel();
    m_failed = false;
    m_error.clear();
    m_reason.clear();
    if (m_path.trimmed().isEmpty())
        return fail(u"沒有檔名"_s);
    const QFileInfo target(m_path);
    if (target.exists() && target.isDir())
        return fail(u"同名的資料夾已存在"_s);
    // Renaming over a read-only file would succeed in a writable folder; a read-only file
    // is meant to stay as it is.
    if (target.exists() && !target.isWritable())
        return fail(u"檔案是唯讀的"_s);
    if (!target.dir().exists())
        return fail(u"資料夾「%1」不存在"_s.arg(QDir::toNativeSeparators(target.absolutePath())));

    RemoveStaleTemporaries(m_path);
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto file = std::make_unique<QFile>(TemporaryNameFor(m_path));
        errno = 0;
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            if (target.exists())
                file->setPermissions(QFile::permissions(m_path));
            m_file = std::move(file);
            return true;
        }
        const int osError = errno;
        if (osError != EEXIST)
            return failWithOsError(QString(), osError, file->errorString());
    }
    return fail(u"無法建立暫存檔"_s);
}

QIODevice &AtomicFile::device()
{
    Q_ASSERT(m_file);
    return *m_file;
}

bool AtomicFile::write(const QByteArray &bytes)
{
    if (!m_file)
        return m_failed ? false : fail(u"檔案尚未開啟"_s);
    if (const int injected = TakeFault(AtomicFileStep::Write))
        return failWithOsError(QString(), injected, QString());
    errno = 0;
    if (m_file->write(bytes) != bytes.size()) {
        const int osError = errno;
        return failWithOsError(QString(), osError, m_file->errorString());
    }
    return true;
}

bool AtomicFile::commit()
{
    if (!m_file)
        return m_failed ? false : fail(u"檔案尚未開啟"_s);
    // A writer working on device() directly may have met an error and stopped: errno still
    // holds the reason when the writer returned straight away.
    if (m_file->error() != QFileDevice::NoError)
        return failWithOsError(QString(), errno, m_file->errorString());
    errno = 0;
    const bool flushed = m_file->flush();
    int osError = errno;
    if (const int injected = TakeFault(AtomicFileStep::Flush))
        return failWithOsError(QString(), injected, QString());
    if (!flushed || m_file->error() != QFileDevice::NoError)
        return failWithOsError(QString(), osError, m_file->errorString());

    osError = SyncHandle(m_file->handle());
    if (const int injected = TakeFault(AtomicFileStep::Sync))
        osError = injected;
    if (osError != 0)
        return failWithOsError(u"資料無法存到磁碟："_s, osError, QString());

    errno = 0;
    m_file->close();
    osError = errno;
    if (m_file->error() != QFileDevice::NoError)
        return failWithOsError(QString(), osError, m_file->errorString());

    const QString temporary = m_file->fileName();
    const QString renameError = RenameOver(temporary, m_path);
    if (!renameError.isEmpty())
        return fail(u"無法以新檔取代舊檔："_s + renameError);
    m_file.reset();
    SyncFolder(QFileInfo(m_path).absolutePath());
    return true;
}

void AtomicFile::cancel()
{
    if (!m_file)
        return;
    const QString temporary = m_file->fileName();
    m_file->close();
    m_file.reset();
    QFile::remove(temporary);
}

bool AtomicFile::commitWrittenFile(const QString &temporaryPath, const QString &target,
                                   QString *error)
{
    auto failed = [&](const QString &reason) {
        QFile::remove(temporaryPath);
        if (error)
            *error = u"無法寫入檔案「%1」：%2"_s.arg(Shown(target), reason);
        return false;
    };
    QFile file(temporaryPath);
    errno = 0;
    if (!file.open(QIODevice::ReadWrite))
        return failed(OsErrorReason(errno, file.errorString()));
    int osError = SyncHandle(file.handle());
    if (const int injected = TakeFault(AtomicFileStep::Sync))
        osError = injected;
    file.close();
    if (osError != 0)
        return failed(u"資料無法存到磁碟："_s + OsErrorReason(osError));
    const QString renameError = RenameOver(temporaryPath, ResolveTarget(target));
    if (!renameError.isEmpty())
        return failed(u"無法以新檔取代舊檔："_s + renameError);
    SyncFolder(QFileInfo(target).absolutePath());
    return true;
}

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    AtomicFile file(path);
    const bool ok = file.begin() && file.write(bytes) && file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

#include "Fun/ZipFunctions.h"

#include "Fun/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSet>
#include <QTemporaryFile>

#include <filesystem>
#include <optional>
#include <system_error>
#include <zip.h>

namespace {

// Unix file type bits as stored in the upper half of an entry's external attributes.
constexpr quint32 kUnixTypeMask = 0170000;
constexpr quint32 kUnixSymlink = 0120000;

QString WithForwardSlashes(const QString &path)
{
    QString result = path;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return result;
}

// A path given relative to a base folder, as if the base folder were the current directory.
QString ResolveAgainst(const QString &base, const QString &path)
{
    const QString p = WithForwardSlashes(path);
    if (QDir::isAbsolutePath(p))
        return QDir::cleanPath(p);
    return QDir::cleanPath(QDir(WithForwardSlashes(base)).absoluteFilePath(p));
}

// File names as libzip takes them: UTF-8 on Windows, the local file name encoding elsewhere.
QByteArray ZipPathBytes(const QString &path)
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(path).toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

// Replaces the file at 'to' (if any) by the one at 'from'.
bool ReplaceFile(const QString &from, const QString &to)
{
    std::error_code error;
    std::filesystem::rename(
        QFileInfo(from).filesystemFilePath(), QFileInfo(to).filesystemFilePath(), error);
    return !error;
}

bool IsLink(const QFileInfo &info) { return info.isSymbolicLink() || info.isJunction(); }

bool IsUnder(const QString &path, const QString &folder)
{
    return path == folder
        || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

// ---------------------------------------------------------------- zipping

struct SourceItem
{
    QString path; // file on disk
    QString name; // entry name, "/" separated, folders ending with "/"
    bool folder = false;
    QDateTime modified;
};

void CollectItems(
    const QString &folder, const QString &prefix, const QString &skipPath, QList<SourceItem> &items)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString name = prefix + entry.fileName();
        if (entry.isDir()) {
            // A link to a folder is not entered: it may lead anywhere, even back up here.
            if (IsLink(entry))
                continue;
            items.append(
                { entry.absoluteFilePath(), name + QLatin1Char('/'), true, entry.lastModified() });
            CollectItems(entry.absoluteFilePath(), name + QLatin1Char('/'), skipPath, items);
        } else if (entry.isFile()) {
            if (!skipPath.isEmpty() && entry.canonicalFilePath() == skipPath)
                continue;
            items.append({ entry.absoluteFilePath(), name, false, entry.lastModified() });
        }
    }
}

// An archive without entries: only the end-of-central-directory record.
bool WriteEmptyArchive(const QString &path, QString *error)
{
    QByteArray record("PK\x05\x06", 4);
    record.append(18, '\0');
    return WriteFileAtomically(path, record, error);
}

// Why zip_close failed: the system's reason for a write error, libzip's text otherwise.
QString ZipWriteReason(zip_t *archive)
{
    zip_error_t *error = zip_get_error(archive);
    const int system = zip_error_system_type(error) == ZIP_ET_SYS ? zip_error_code_system(error) : 0;
    const QString text = QString::fromLocal8Bit(zip_error_strerror(error));
    return system != 0 ? OsErrorReason(system) + QStringLiteral("（") + text + QStringLiteral("）")
                       : text;
}

bool AddItem(zip_t *archive, const SourceItem &item)
{
    const QByteArray name = item.name.toUtf8();
    zip_int64_t index = -1;
    if (item.folder) {
        index = zip_dir_add(archive, name.constData(), ZIP_FL_ENC_UTF_8);
        if (index < 0)
            return false;
    } else {
        // Length -1: the whole file.
        zip_source_t *source = zip_source_file(archive, ZipPathBytes(item.path).constData(), 0, -1);
        if (!source)
            return false;
        index
            = zip_file_add(archive, name.constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(source);
            return false;
        }
        if (zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_DEFLATE, 0) != 0)
            return false;
    }
    if (item.modified.isValid())
        zip_file_set_mtime(
            archive, zip_uint64_t(index), time_t(item.modified.toSecsSinceEpoch()), 0);
    return true;
}

// ---------------------------------------------------------------- unzipping

struct ArchiveEntry
{
    zip_uint64_t index = 0;
    QString relativePath; // "/" separated, never empty, no "." or ".." parts
    bool folder = false;
    std::optional<quint32> unixMode;
};

// The entry name as a path inside the target, or nothing when it would leave the target.
// Backslashes count as separators (archives made on Windows use them, and "..\x" must not
// slip through as one odd file name).
std::optional<QString> SafeRelativePath(const QString &entryName)
{
    const QString name = WithForwardSlashes(entryName);
    if (name.startsWith(QLatin1Char('/')))
        return std::nullopt; // absolute
    if (name.contains(QLatin1Char(':')))
        return std::nullopt; // drive letter ("C:x") or Windows stream name
    QStringList kept;
    const QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part == QLatin1String("."))
            continue;
        // "..", and forms Windows reads as it ("...", ".. ") are never allowed, even where
        // they would stay inside the target.
        bool onlyDotsAndBlanks = true;
        for (const QChar c : part) {
            if (c != QLatin1Char('.') && c != QLatin1Char(' ')) {
                onlyDotsAndBlanks = false;
                break;
            }
        }
        if (onlyDotsAndBlanks)
            return std::nullopt;
        kept.append(part);
    }
    return kept.join(QLatin1Char('/'));
}

// Reads and checks every entry; nothing when one of them is refused.
std::optional<QList<ArchiveEntry>> ReadEntries(zip_t *archive)
{
    QList<ArchiveEntry> entries;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0)
        return std::nullopt;
    for (zip_uint64_t i = 0; i < zip_uint64_t(count); ++i) {
        const char *rawName = zip_get_name(archive, i, ZIP_FL_ENC_GUESS);
        if (!rawName)
            return std::nullopt;
        const QString name = QString::fromUtf8(rawName);

        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, i, 0, &stat) != 0)
            return std::nullopt;
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
            return std::nullopt; // no password to open it with

        ArchiveEntry entry;
        entry.index = i;
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, i, 0, &opsys, &attributes) != 0)
            return std::nullopt;
        if (opsys == ZIP_OPSYS_UNIX) {
            const quint32 mode = attributes >> 16;
            if ((mode & kUnixTypeMask) == kUnixSymlink)
                return std::nullopt; // a link could point anywhere
            if (mode & 0777)
                entry.unixMode = mode & 0777;
        }

        const std::optional<QString> path = SafeRelativePath(name);
        if (!path)
            return std::nullopt;
        entry.folder = name.endsWith(QLatin1Char('/')) || name.endsWith(QLatin1Char('\\'));
        if (path->isEmpty()) {
            if (entry.folder)
                continue; // "./": the target itself
            return std::nullopt;
        }
        entry.relativePath = *path;
        entries.append(entry);
    }

    // A name used both for a file and for a folder cannot be extracted whole: refuse it now
    // rather than after half of the archive is in place.
    QSet<QString> folders;
    QSet<QString> files;
    for (const ArchiveEntry &entry : std::as_const(entries)) {
        (entry.folder ? folders : files).insert(entry.relativePath);
        QString parent = entry.relativePath;
        for (qsizetype slash = parent.lastIndexOf(QLatin1Char('/')); slash > 0;
             slash = parent.lastIndexOf(QLatin1Char('/'))) {
            parent.truncate(slash);
            folders.insert(parent);
        }
    }
    if (folders.intersects(files))
        return std::nullopt;
    return entries;
}

// Whether every folder on the way from the target to the entry is a real folder inside the
// target (or not there yet): a link already sitting in the target must not carry files out.
bool StaysInside(const QString &target, const ArchiveEntry &entry)
{
    const QStringList parts = entry.relativePath.split(QLatin1Char('/'));
    QString current = target;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        current += QLatin1Char('/') + parts.at(i);
        const QFileInfo info(current);
        const bool last = i == parts.size() - 1;
        if (IsLink(info)) {
            if (last && !entry.folder)
                return true; // replacing a link renames over the link itself
            return false;
        }
        if (!info.exists())
            return true;
        if (!last && !info.isDir())
            return false;
        if (last && entry.folder != info.isDir())
            return false;
        const QString canonical = info.canonicalFilePath();
        if (canonical.isEmpty() || !IsUnder(canonical, target))
            return false;
    }
    return true;
}

QFile::Permissions PermissionsFromUnixMode(quint32 mode)
{
    QFile::Permissions p;
    if (mode & 0400)
        p |= QFile::ReadOwner | QFile::ReadUser;
    if (mode & 0200)
        p |= QFile::WriteOwner | QFile::WriteUser;
    if (mode & 0100)
        p |= QFile::ExeOwner | QFile::ExeUser;
    if (mode & 0040)
        p |= QFile::ReadGroup;
    if (mode & 0020)
        p |= QFile::WriteGroup;
    if (mode & 0010)
        p |= QFile::ExeGroup;
    if (mode & 0004)
        p |= QFile::ReadOther;
    if (mode & 0002)
        p |= QFile::WriteOther;
    if (mode & 0001)
        p |= QFile::ExeOther;
    return p;
}

// Everything one extraction has put on disk, so that a failure can take it back.
class ExtractionWork
{
public:
    QStringList createdFolders;
    QList<QPair<QString, QString>> pending; // temporary file, final name

    bool makeFolder(const QString &path)
    {
        if (QFileInfo(path).isDir())
            return true;
        const QString parent = QFileInfo(path).absolutePath();
        if (parent != path && !makeFolder(parent))
            return false;
        if (!QDir().mkdir(path))
            return false;
        createdFolders.append(path);
        return true;
    }

    void rollBack()
    {
        for (const auto &file : std::as_const(pending))
            QFile::remove(file.first);
        pending.clear();
        for (auto it = createdFolders.crbegin(); it != createdFolders.crend(); ++it)
            QDir().rmdir(*it);
        createdFolders.clear();
    }
};

bool ExtractFile(
    zip_t *archive, const ArchiveEntry &entry, const QString &destination, ExtractionWork &work)
{
    const QString folder = QFileInfo(destination).absolutePath();
    if (!work.makeFolder(folder))
        return false;

    QTemporaryFile temp(folder + QStringLiteral("/.rolvan-unzip-XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open())
        return false;
    work.pending.append({ temp.fileName(), destination });

    zip_file_t *source = zip_fopen_index(archive, entry.index, 0);
    if (!source)
        return false;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    bool ok = true;
    for (;;) {
        const zip_int64_t n = zip_fread(source, buffer.data(), zip_uint64_t(buffer.size()));
        if (n < 0) {
            ok = false; // damaged data or a wrong checksum
            break;
        }
        if (n == 0)
            break;
        if (temp.write(buffer.constData(), n) != n) {
            ok = false;
            break;
        }
    }
    if (zip_fclose(source) != 0)
        ok = false;
    if (!ok || !temp.flush())
        return false;

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, entry.index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_MTIME))
        temp.setFileTime(
            QDateTime::fromSecsSinceEpoch(qint64(stat.mtime)), QFileDevice::FileModificationTime);
    temp.close();
    const QFile::Permissions permissions
        = entry.unixMode ? PermissionsFromUnixMode(*entry.unixMode) : PermissionsFromUnixMode(0644);
    QFile::setPermissions(temp.fileName(), permissions | QFile::ReadOwner | QFile::ReadUser);
    return true;
}

struct ArchiveCloser
{
    zip_t *archive;
    ~ArchiveCloser()
    {
        if (archive)
            zip_discard(archive);
    }
};

} // namespace

bool ZipDirectory(const QString &baseFolder, const QString &subfolder, const QString &archiveName,
                  QString *errorText)
{
    const QString archivePath = ResolveAgainst(baseFolder, archiveName);
    auto failed = [&](const QString &reason) {
        if (errorText)
            *errorText = QStringLiteral("無法寫入壓縮檔「%1」：%2")
                             .arg(QDir::toNativeSeparators(archivePath), reason);
        return false;
    };
    if (archiveName.trimmed().isEmpty())
        return failed(QStringLiteral("沒有檔名"));
    const QString source = ResolveAgainst(baseFolder, subfolder);
    if (!QFileInfo(source).isDir())
        return failed(QStringLiteral("資料夾「%1」不存在").arg(QDir::toNativeSeparators(source)));

    // An archive of that name is replaced only by a complete new one: on any failure the old
    // one stays, and the caller is told.
    QList<SourceItem> items;
    CollectItems(source, QString(), QFileInfo(archivePath).canonicalFilePath(), items);
    if (items.isEmpty())
        return WriteEmptyArchive(archivePath, errorText);

    // Reserve a temporary name beside the archive; libzip fills it and it is renamed at the end.
    QTemporaryFile reserve(archivePath + QStringLiteral(".part-XXXXXX"));
    reserve.setAutoRemove(false);
    if (!reserve.open())
        return failed(OsErrorReason(0, reserve.errorString()));
    const QString tempPath = reserve.fileName();
    reserve.close();
    // libzip keeps the mode of the file it replaces; the reserved name was private (0600).
    QFile::setPermissions(tempPath, PermissionsFromUnixMode(0644));

    int error = 0;
    zip_t *archive
        = zip_open(ZipPathBytes(tempPath).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        QFile::remove(tempPath);
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, error);
        const QString reason = QString::fromLocal8Bit(zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        return failed(reason);
    }
    for (const SourceItem &item : std::as_const(items)) {
        if (!AddItem(archive, item)) {
            const QString reason = QStringLiteral("無法加入「%1」：%2")
                                       .arg(item.name, QString::fromLocal8Bit(zip_strerror(archive)));
            zip_discard(archive);
            QFile::remove(tempPath);
            return failed(reason);
        }
    }
    // zip_close reads the files and writes the archive, checking every write; on failure it
    // leaves the archive open.
    if (zip_close(archive) != 0) {
        const QString reason = ZipWriteReason(archive);
        zip_discard(archive);
        QFile::remove(tempPath);
        return failed(reason);
    }
    // Synchronised to the disk and renamed over the old archive.
    QString commitError;
    if (!AtomicFile::commitWrittenFile(tempPath, archivePath, &commitError)) {
        if (errorText)
            *errorText = commitError;
        return false;
    }
    return true;
}

bool UnzipToFolder(const QString &folder, const QString &archiveName, const QString &target)
{
    QString targetName = target.trimmed();
    if (targetName.isEmpty())
        targetName = archiveName.section(QLatin1Char('.'), 0, 0);
    const QString archivePath = ResolveAgainst(folder, archiveName);
    const QString targetPath = ResolveAgainst(folder, targetName);

    int error = 0;
    ArchiveCloser closer { zip_open(ZipPathBytes(archivePath).constData(), ZIP_RDONLY, &error) };
    if (!closer.archive)
        return false;

    // Every entry is checked before anything is written.
    const std::optional<QList<ArchiveEntry>> entries = ReadEntries(closer.archive);
    if (!entries)
        return false;

    ExtractionWork work;
    if (!work.makeFolder(targetPath))
        return false;
    const QString canonicalTarget = QFileInfo(targetPath).canonicalFilePath();
    if (canonicalTarget.isEmpty()) {
        work.rollBack();
        return false;
    }
    for (const ArchiveEntry &entry : *entries) {
        if (!StaysInside(canonicalTarget, entry)) {
            work.rollBack();
            return false;
        }
    }

    for (const ArchiveEntry &entry : *entries) {
        const QString destination = canonicalTarget + QLatin1Char('/') + entry.relativePath;
        const bool ok = entry.folder ? work.makeFolder(destination)
                                     : ExtractFile(closer.archive, entry, destination, work);
        if (!ok) {
            work.rollBack();
            return false;
        }
    }

    // All files are complete: give them their names.
    bool ok = true;
    for (const auto &[temp, destination] : std::as_const(work.pending)) {
        if (!ok || !ReplaceFile(temp, destination)) {
            QFile::remove(temp);
            ok = false;
        }
    }
    return ok;
}

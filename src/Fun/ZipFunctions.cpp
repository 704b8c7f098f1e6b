#include "Fun/ZipFunctions.h"

#include "base/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <filesystem>
#include <limits>
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
            // A file still being written, or left by a writer that was killed, is no content.
            if (IsAtomicFileTemporaryName(entry.fileName()))
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
    QString name; // as stored in the archive, for messages
    QString relativePath; // "/" separated, never empty, no "." or ".." parts
    bool folder = false;
    zip_uint64_t size = 0; // bytes once extracted, as the archive's directory says
    std::optional<quint32> unixMode;
};

// A failing step of an extraction, for tests; 0 is none.
int g_failingStep = 0;
int g_stepsTaken = 0;

bool StepFails() { return g_failingStep > 0 && ++g_stepsTaken == g_failingStep; }

QString Megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
}

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

// Reads and checks every entry; nothing when one of them is refused, with the reason.
std::optional<QList<ArchiveEntry>> ReadEntries(zip_t *archive, QString &reason)
{
    const auto refuse = [&reason](const QString &why) {
        reason = why;
        return std::nullopt;
    };
    const QString damaged = QStringLiteral("壓縮檔的目錄已損毀");
    QList<ArchiveEntry> entries;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0)
        return refuse(damaged);
    for (zip_uint64_t i = 0; i < zip_uint64_t(count); ++i) {
        const char *rawName = zip_get_name(archive, i, ZIP_FL_ENC_GUESS);
        if (!rawName)
            return refuse(damaged);
        const QString name = QString::fromUtf8(rawName);
        const QString quoted = QStringLiteral("「") + name + QStringLiteral("」");

        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, i, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
            return refuse(damaged);
        if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
            return refuse(
                quoted + QStringLiteral("有密碼保護，無法解開")); // no password to open it with

        ArchiveEntry entry;
        entry.index = i;
        entry.name = name;
        entry.size = stat.size;
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, i, 0, &opsys, &attributes) != 0)
            return refuse(damaged);
        if (opsys == ZIP_OPSYS_UNIX) {
            const quint32 mode = attributes >> 16;
            if ((mode & kUnixTypeMask) == kUnixSymlink) // a link could point anywhere
                return refuse(quoted + QStringLiteral("是捷徑（符號連結），不予解開"));
            if (mode & 0777)
                entry.unixMode = mode & 0777;
        }

        const QString outside = quoted + QStringLiteral("會寫到目標資料夾以外");
        const std::optional<QString> path = SafeRelativePath(name);
        if (!path)
            return refuse(outside);
        entry.folder = name.endsWith(QLatin1Char('/')) || name.endsWith(QLatin1Char('\\'));
        if (path->isEmpty()) {
            if (entry.folder)
                continue; // "./": the target itself
            return refuse(outside);
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
        return refuse(QStringLiteral("同一個名稱同時是檔案也是資料夾"));
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

// Everything one extraction has put on disk, so that a failure can take it back: the folders it
// made, the files it wrote under temporary names, and, once they get their names, the files they
// replaced (kept aside until the whole archive is in place). Nothing else is ever removed.
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

    // Gives every written file its name; an earlier file of that name is kept aside. Any
    // failure puts back what was there and reports the file it stopped at.
    bool commit(QString &failedFile)
    {
        for (const auto &[temp, destination] : std::as_const(pending)) {
            const QFileInfo existing(destination);
            QString aside;
            if (existing.exists() || IsLink(existing)) {
                aside = ReserveName(existing.absolutePath());
                if (aside.isEmpty() || StepFails() || !ReplaceFile(destination, aside)) {
                    QFile::remove(aside);
                    failedFile = destination;
                    return false;
                }
            }
            if (StepFails() || !ReplaceFile(temp, destination)) {
                if (!aside.isEmpty())
                    ReplaceFile(aside, destination);
                failedFile = destination;
                return false;
            }
            placed.append({ destination, aside });
        }
        for (const auto &[destination, aside] : std::as_const(placed)) {
            if (!aside.isEmpty())
                QFile::remove(aside);
        }
        placed.clear();
        pending.clear();
        return true;
    }

    void rollBack()
    {
        for (auto it = placed.crbegin(); it != placed.crend(); ++it) {
            if (it->second.isEmpty())
                QFile::remove(it->first);
            else
                ReplaceFile(it->second, it->first);
        }
        placed.clear();
        for (const auto &file : std::as_const(pending))
            QFile::remove(file.first);
        pending.clear();
        for (auto it = createdFolders.crbegin(); it != createdFolders.crend(); ++it)
            QDir().rmdir(*it);
        createdFolders.clear();
    }

private:
    QList<QPair<QString, QString>> placed; // final name, the earlier file kept aside (or empty)

    // A free name in the folder for a file kept aside.
    static QString ReserveName(const QString &folder)
    {
        QTemporaryFile reserve(folder + QStringLiteral("/.rolvan-unzip-old-XXXXXX"));
        reserve.setAutoRemove(false);
        if (!reserve.open())
            return QString();
        return reserve.fileName();
    }
};

// Writes one entry under a temporary name beside its destination; the reason when it fails.
bool ExtractFile(zip_t *archive, const ArchiveEntry &entry, const QString &destination,
    ExtractionWork &work, QString &reason)
{
    const QString folder = QFileInfo(destination).absolutePath();
    if (!work.makeFolder(folder)) {
        reason = QStringLiteral("無法建立資料夾 ") + QDir::toNativeSeparators(folder);
        return false;
    }

    QTemporaryFile temp(folder + QStringLiteral("/.rolvan-unzip-XXXXXX"));
    temp.setAutoRemove(false);
    if (!temp.open()) {
        reason = QStringLiteral("無法在 ") + QDir::toNativeSeparators(folder)
            + QStringLiteral(" 寫入檔案：") + temp.errorString();
        return false;
    }
    work.pending.append({ temp.fileName(), destination });

    zip_file_t *source = zip_fopen_index(archive, entry.index, 0);
    if (!source) {
        reason = QStringLiteral("壓縮資料無法讀取：") + QString::fromUtf8(zip_strerror(archive));
        return false;
    }
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    zip_uint64_t written = 0;
    bool ok = true;
    for (;;) {
        const zip_int64_t n = zip_fread(source, buffer.data(), zip_uint64_t(buffer.size()));
        if (n < 0) { // damaged data or a wrong checksum
            zip_error_t *error = zip_file_get_error(source);
            reason = QStringLiteral("壓縮資料已損毀（")
                + (zip_error_code_zip(error) == ZIP_ER_CRC
                        ? QStringLiteral("檢查碼不符")
                        : QString::fromUtf8(zip_error_strerror(error)))
                + QStringLiteral("）");
            ok = false;
            break;
        }
        if (n == 0)
            break;
        // More than the directory promised: the size checks were made on that promise.
        written += zip_uint64_t(n);
        if (written > entry.size) {
            reason = QStringLiteral("內容比壓縮檔目錄記載的大小還大，壓縮檔已損毀或被竄改");
            ok = false;
            break;
        }
        if (temp.write(buffer.constData(), n) != n) {
            reason = QStringLiteral("寫入失敗：") + temp.errorString();
            ok = false;
            break;
        }
    }
    if (zip_fclose(source) != 0 && ok) {
        reason = QStringLiteral("壓縮資料已損毀（檢查碼不符）");
        ok = false;
    }
    if (!ok)
        return false;
    if (!temp.flush() || StepFails()) {
        reason = QStringLiteral("寫入失敗：") + temp.errorString();
        return false;
    }

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, entry.index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_MTIME))
        temp.setFileTime(
            QDateTime::fromSecsSinceEpoch(qint64(stat.mtime)), QFileDevice::FileModificationTime);
    temp.close();
    if (temp.error() != QFileDevice::NoError) {
        reason = QStringLiteral("寫入失敗：") + temp.errorString();
        return false;
    }
    const QFile::Permissions permissions
        = entry.unixMode ? PermissionsFromUnixMode(*entry.unixMode) : PermissionsFromUnixMode(0644);
    QFile::setPermissions(temp.fileName(), permissions | QFile::ReadOwner | QFile::ReadUser);
    return true;
}

// The nearest folder of the path that exists (the path itself when it does).
QString ExistingAncestor(const QString &path)
{
    QString current = path;
    while (!QFileInfo(current).exists()) {
        const QString parent = QFileInfo(current).absolutePath();
        if (parent == current)
            break;
        current = parent;
    }
    return current;
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
                  QString *errorText, const QStringList &skippedSuffixes)
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
    items.removeIf([&](const SourceItem &item) {
        return !item.folder && std::any_of(skippedSuffixes.begin(), skippedSuffixes.end(),
                                           [&](const QString &suffix) {
                                               return item.name.endsWith(suffix, Qt::CaseInsensitive);
                                           });
    });
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

QString UnzipSizeRefusal(qint64 archiveBytes, qint64 extractedBytes, qint64 freeBytes)
{
    const qint64 ratioLimit = UnzipMaxRatio * std::max(archiveBytes, UnzipRatioFloor);
    if (extractedBytes > ratioLimit) {
        return QStringLiteral("解開後共 ") + Megabytes(extractedBytes)
            + QStringLiteral("，是壓縮檔 ") + Megabytes(archiveBytes) + QStringLiteral(" 的 ")
            + QString::number(archiveBytes > 0 ? extractedBytes / archiveBytes : extractedBytes)
            + QStringLiteral(" 倍，超過合理範圍（可能是惡意的壓縮檔），不予解開");
    }
    if (freeBytes >= 0 && extractedBytes > freeBytes - UnzipFreeSpaceMargin) {
        return QStringLiteral("磁碟空間不足：解開需要 ") + Megabytes(extractedBytes)
            + QStringLiteral("，磁碟只剩 ") + Megabytes(freeBytes) + QStringLiteral("，且須保留 ")
            + Megabytes(UnzipFreeSpaceMargin) + QStringLiteral(" 給資料庫與簽到影像");
    }
    return QString();
}

void SetUnzipFailingStepForTesting(int step)
{
    g_failingStep = step;
    g_stepsTaken = 0;
}

bool UnzipToFolder(
    const QString &folder, const QString &archiveName, const QString &target, QString *errorMessage)
{
    QString targetName = target.trimmed();
    if (targetName.isEmpty())
        targetName = archiveName.section(QLatin1Char('.'), 0, 0);
    const QString archivePath = ResolveAgainst(folder, archiveName);
    const QString targetPath = ResolveAgainst(folder, targetName);
    const QString archiveShown = QDir::toNativeSeparators(archivePath);
    const QString targetShown = QDir::toNativeSeparators(targetPath);
    const auto fail = [&](const QString &message) {
        if (errorMessage)
            *errorMessage = message;
        return false;
    };
    const auto refused = [&](const QString &reason) {
        return fail(QStringLiteral("壓縮檔 ") + archiveShown + QStringLiteral(" 未解開：") + reason
            + QStringLiteral("。目標資料夾 ") + targetShown + QStringLiteral(" 未做任何變更。"));
    };
    if (errorMessage)
        errorMessage->clear();

    if (!QFileInfo(archivePath).isFile())
        return fail(QStringLiteral("找不到壓縮檔 ") + archiveShown);
    int error = 0;
    ArchiveCloser closer { zip_open(ZipPathBytes(archivePath).constData(), ZIP_RDONLY, &error) };
    if (!closer.archive) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, error);
        const QString why = QString::fromUtf8(zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        return refused(
            QStringLiteral("檔案已損毀或不是 ZIP 壓縮檔（") + why + QStringLiteral("）"));
    }

    // Every entry is checked before anything is written: names, then sizes.
    QString reason;
    const std::optional<QList<ArchiveEntry>> entries = ReadEntries(closer.archive, reason);
    if (!entries)
        return refused(reason);
    qint64 extractedBytes = 0;
    for (const ArchiveEntry &entry : *entries) {
        const qint64 size = entry.size > zip_uint64_t(std::numeric_limits<qint64>::max() / 2)
            ? std::numeric_limits<qint64>::max() / 2
            : qint64(entry.size);
        extractedBytes = std::min(extractedBytes + size, std::numeric_limits<qint64>::max() / 2);
    }
    const QStorageInfo disk(ExistingAncestor(targetPath));
    reason = UnzipSizeRefusal(
        QFileInfo(archivePath).size(), extractedBytes, disk.isValid() ? disk.bytesAvailable() : -1);
    if (!reason.isEmpty())
        return refused(reason);

    ExtractionWork work;
    if (!work.makeFolder(targetPath))
        return refused(QStringLiteral("無法建立目標資料夾"));
    const QString canonicalTarget = QFileInfo(targetPath).canonicalFilePath();
    if (canonicalTarget.isEmpty()) {
        work.rollBack();
        return refused(QStringLiteral("無法建立目標資料夾"));
    }
    for (const ArchiveEntry &entry : *entries) {
        if (!StaysInside(canonicalTarget, entry)) {
            work.rollBack();
            return refused(QStringLiteral("「") + entry.name
                + QStringLiteral("」會經由目標資料夾中的捷徑寫到別處，或與已有的檔案、資料夾衝突"));
        }
    }

    for (const ArchiveEntry &entry : *entries) {
        const QString destination = canonicalTarget + QLatin1Char('/') + entry.relativePath;
        bool ok = true;
        if (entry.folder) {
            ok = work.makeFolder(destination);
            if (!ok)
                reason = QStringLiteral("無法建立資料夾");
        } else {
            ok = ExtractFile(closer.archive, entry, destination, work, reason);
        }
        if (!ok) {
            work.rollBack();
            return refused(
                QStringLiteral("解開「") + entry.name + QStringLiteral("」時失敗：") + reason);
        }
    }

    // All files are complete: give them their names, or put everything back.
    QString failedFile;
    if (!work.commit(failedFile)) {
        work.rollBack();
        return refused(QStringLiteral("無法寫入 ") + QDir::toNativeSeparators(failedFile));
    }
    return true;
}

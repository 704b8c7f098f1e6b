#include "Fun/FileFunctions.h"

#include "base/RolvanError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString WithForwardSlashes(const QString &path)
{
    QString result = path;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return result;
}

QRegularExpression MaskExpression(const QString &mask)
{
    QString pattern;
    for (const QChar c : mask) {
        if (c == QLatin1Char('*'))
            pattern += QStringLiteral(".*");
        else if (c == QLatin1Char('?'))
            pattern += QLatin1Char('.');
        else
            pattern += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
}

// A symbolic link (or a junction on Windows): removed as a name, never entered.
bool IsLink(const QFileInfo &info) { return info.isSymbolicLink() || info.isJunction(); }

bool RemoveLink(const QString &path)
{
    // On Windows a link to a folder is removed like an empty folder; elsewhere unlink does it.
    return QFile::remove(path) || QDir().rmdir(path);
}

// Deletes one plain file; when that fails the file is made writable and deleted again.
// A file that still resists stays; removing its folder then reports the problem.
void RemovePlainFile(const QString &path)
{
    if (QFile::remove(path))
        return;
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::WriteUser);
    QFile::remove(path);
}

// A folder that is about to be emptied and removed must let us delete its entries.
void MakeFolderDeletable(const QFileInfo &folder)
{
    const QFile::Permissions needed = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
        | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    const QFile::Permissions current = QFile::permissions(folder.absoluteFilePath());
    if ((current & needed) != needed)
        QFile::setPermissions(folder.absoluteFilePath(), current | needed);
}

void CannotRemoveFolder(const QString &path)
{
    throw RolvanError(QStringLiteral("無法刪除資料夾：") + QDir::toNativeSeparators(path));
}

void DeleteMatching(const QString &folder, const QString &mask, bool recursive)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);

    // Files (and links that do not lead to a folder) first.
    for (const QFileInfo &entry : entries) {
        if (!FileNameMatchesMask(entry.fileName(), mask))
            continue;
        if (IsLink(entry)) {
            if (!entry.isDir())
                RemoveLink(entry.absoluteFilePath());
        } else if (!entry.isDir()) {
            RemovePlainFile(entry.absoluteFilePath());
        }
    }
    if (!recursive)
        return;

    for (const QFileInfo &entry : entries) {
        const QString path = entry.absoluteFilePath();
        if (IsLink(entry)) {
            // A link to a folder counts as a subfolder: it goes, what it points to stays.
            if (entry.isDir() && !RemoveLink(path))
                CannotRemoveFolder(path);
            continue;
        }
        if (!entry.isDir())
            continue;
        MakeFolderDeletable(entry);
        DeleteMatching(path, mask, true);
        if (!QDir().rmdir(path))
            CannotRemoveFolder(path);
    }
}

bool IsFilesystemRoot(const QString &path)
{
    if (QDir(path).isRoot())
        return true;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() && QDir(canonical).isRoot();
}

} // namespace

bool ForceDirectoryPath(const QString &path)
{
    const QString folder = WithForwardSlashes(path);
    if (folder.trimmed().isEmpty())
        return false;
    if (QFileInfo(folder).isDir())
        return true;
    // mkpath creates the missing parents from the left and stops at the first one it cannot
    // make (a file in the way, no permission).
    QDir().mkpath(folder);
    return QFileInfo(folder).isDir();
}

bool FileNameMatchesMask(const QString &fileName, const QString &mask)
{
    if (mask.isEmpty() || mask.contains(QLatin1Char('/')) || mask.contains(QLatin1Char('\\')))
        return false;
    if (MaskExpression(mask).match(fileName).hasMatch())
        return true;
    // As on Windows, a mask ending in ".*" also matches names without an extension:
    // "*.*" matches every file, "readme.*" matches "readme".
    if (mask.endsWith(QStringLiteral(".*")))
        return MaskExpression(mask.chopped(2)).match(fileName).hasMatch();
    return false;
}

void DeleteFilesInDirectory(const QString &folder, const QString &mask, bool recursive)
{
    if (folder.trimmed().isEmpty())
        throw RolvanError(QStringLiteral("未指定要清除檔案的資料夾"));
    const QString path = QDir::cleanPath(QFileInfo(WithForwardSlashes(folder)).absoluteFilePath());
    if (IsFilesystemRoot(path))
        throw RolvanError(
            QStringLiteral("不可清除根目錄中的檔案：") + QDir::toNativeSeparators(path));
    DeleteMatching(path, mask, recursive);
}

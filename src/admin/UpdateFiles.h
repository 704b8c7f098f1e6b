#pragma once

#include <QString>

// The names the version update works with, shared by the station and its updater.
namespace UpdateFiles {

inline QString PackageName() { return QStringLiteral("RolvanUpdate.zip"); }
inline QString VersionFileName() { return QStringLiteral("RolvanVer.txt"); }
inline QString ChecksumFileName() { return QStringLiteral("RolvanUpdate.zip.sha256"); }
// Under the work folder: where the package is unpacked, and where the package is built.
inline QString UnpackFolderName() { return QStringLiteral("UnZip"); }
inline QString UploadFolderName() { return QStringLiteral("upload"); }
inline QString BuildFolderName() { return QStringLiteral("update"); }
// In the program folder: the files an update replaced, kept until the next update.
inline QString PreviousFolderName() { return QStringLiteral("UpdatePrevious"); }
// In the work folder: what the updater did, and why it failed (until the update window shows it).
inline QString UpdaterLogName() { return QStringLiteral("runUpdate.log"); }
inline QString UpdaterFailureName() { return QStringLiteral("runUpdate.failed"); }

#ifdef Q_OS_WIN
inline QString ProgramFileName() { return QStringLiteral("Rolvan.exe"); }
inline QString UpdaterFileName() { return QStringLiteral("runUpdate.exe"); }
#else
inline QString ProgramFileName() { return QStringLiteral("Rolvan"); }
inline QString UpdaterFileName() { return QStringLiteral("runUpdate"); }
#endif

// Files an update never brings or replaces: the station's settings and its working database.
bool IsProtectedName(const QString &fileName);

} // namespace UpdateFiles

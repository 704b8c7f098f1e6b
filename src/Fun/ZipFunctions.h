#pragma once

#include <QString>
#include <QStringList>

// Packs the contents of subfolder (taken relative to baseFolder when it is relative; empty for
// the base folder itself) into the archive archiveName (taken relative to baseFolder when it
// has no folder of its own) with deflate compression. Entry names are relative to the
// subfolder and use "/"; folders are stored as entries so that empty ones come back. The
// archive is written under a temporary name, synchronised to the disk and renamed over an
// existing archive of that name only when complete: on any failure (a full disk included) the
// old archive stays as it was. The process's current directory is left alone.
// Returns whether the archive was written, with the reason in *error (naming the archive)
// when not; a caller that sends the archive on must check it.
// Files whose names end with one of skippedSuffixes (compared case-blind) are left out, and so
// are the temporary files of the durable writer (".<name>.NNNNNN", see AtomicFile).
bool ZipDirectory(const QString &baseFolder, const QString &subfolder, const QString &archiveName,
                  QString *error = nullptr, const QStringList &skippedSuffixes = {});

// Extracts folder/archiveName into folder/target; an empty (after trimming) target is the
// archive name up to its first ".". Files already in the target are overwritten.
// Every entry is checked before anything is written: an entry that would land outside the
// target ("..", an absolute path, a drive letter, backslashes used as separators, a symbolic
// link, a folder in the target that is a link) makes the whole archive refused, and so do
// entries that would not leave room on the disk or that grow far beyond the archive (see
// UnzipSizeRefusal). Each file is written under a temporary name and renamed once every file
// of the archive has been extracted; the files it replaces are kept aside until all names are
// given. Extraction is all or nothing: on any failure the folders and files this extraction
// made are removed and the files it replaced are put back; nothing that was there before is
// removed.
// Returns false when the archive cannot be opened, is refused, or an entry cannot be
// extracted, with the reason in Traditional Chinese in *errorMessage; true otherwise.
bool UnzipToFolder(const QString &folder, const QString &archiveName, const QString &target,
    QString *errorMessage = nullptr);

// What an extraction leaves free on the disk, and how far the entries may outgrow the archive:
// at most UnzipMaxRatio times the archive's size, where archives under UnzipRatioFloor count as
// that size (a 1 MiB archive may make 100 MiB, never 1 GiB).
inline constexpr qint64 UnzipFreeSpaceMargin = 32LL * 1024 * 1024;
inline constexpr qint64 UnzipMaxRatio = 100;
inline constexpr qint64 UnzipRatioFloor = 1024LL * 1024;

// Why an archive of archiveBytes whose entries make extractedBytes may not be extracted onto a
// disk with freeBytes available (negative: not known); empty when it may.
QString UnzipSizeRefusal(qint64 archiveBytes, qint64 extractedBytes, qint64 freeBytes);

// Tests: the step'th file write or rename of the following extractions fails (0: none).
void SetUnzipFailingStepForTesting(int step);

#pragma once

#include <QString>

// Packs the contents of subfolder (taken relative to baseFolder when it is relative; empty for
// the base folder itself) into the archive archiveName (taken relative to baseFolder when it
// has no folder of its own) with deflate compression. Entry names are relative to the
// subfolder and use "/"; folders are stored as entries so that empty ones come back. The
// archive is written under a temporary name, synchronised to the disk and renamed over an
// existing archive of that name only when complete: on any failure (a full disk included) the
// old archive stays as it was. The process's current directory is left alone.
// Returns whether the archive was written, with the reason in *error (naming the archive)
// when not; a caller that sends the archive on must check it.
bool ZipDirectory(const QString &baseFolder, const QString &subfolder, const QString &archiveName,
                  QString *error = nullptr);

// Extracts folder/archiveName into folder/target; an empty (after trimming) target is the
// archive name up to its first ".". Files already in the target are overwritten.
// Every entry is checked before anything is written: an entry that would land outside the
// target ("..", an absolute path, a drive letter, backslashes used as separators, a symbolic
// link, a folder in the target that is a link) makes the whole archive refused, and nothing
// of it is written. Each file is written under a temporary name and renamed once every file
// of the archive has been extracted.
// Returns false when the archive cannot be opened, is refused, or an entry cannot be
// extracted; true otherwise.
bool UnzipToFolder(const QString &folder, const QString &archiveName, const QString &target);

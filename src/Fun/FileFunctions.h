#pragma once

#include <QString>

// Creates the folder and every missing parent folder. Both "/" and "\" separate folders.
// Returns whether the folder exists afterwards; it stops at the first folder that cannot be
// created (a path through a file, no permission), and callers find the folder missing.
bool ForceDirectoryPath(const QString &path);

// Deletes every file in the folder whose name matches the mask ("*" and "?" wildcards,
// letter case ignored; "*.*" matches every name, also one without a dot). A file that
// cannot be deleted is made writable and deleted again. When recursive, every subfolder is
// emptied the same way with the same mask and then removed; a subfolder that cannot be
// removed raises RolvanError.
// A symbolic link is never followed: a link to a file is deleted as a file when it matches,
// a link to a folder is removed as a link when recursive; what it points to is left alone.
// An empty folder name or a filesystem root raises RolvanError and nothing is deleted.
void DeleteFilesInDirectory(const QString &folder, const QString &mask, bool recursive);

// Whether a file name matches a mask of the kind DeleteFilesInDirectory takes.
bool FileNameMatchesMask(const QString &fileName, const QString &mask);

#pragma once

#include <QString>
#include <QStringList>

// What the updater runUpdate is asked to do: put the files of the unpack folder in place of the
// station's, once the station has ended.
struct InstallRequest
{
    QString sourceFolder; // the unpack folder with the new files (top level only)
    QString programFolder; // the station's folder
    QString expectedVersion; // what the new "Rolvan --version" must print
    qint64 stationPid = 0; // the station that hands over; 0 = none to wait for
    int waitMs = 60000; // how long the station may take to end
    int startCheckMs = 30000; // how long the new program may take to answer --version
};

struct InstallOutcome
{
    bool ok = false;
    bool restored = false; // the previous files were put back after a failure
    QString message; // the result in the operator's words
    QStringList log; // every step, for runUpdate.log
};

// Replaces the station's files by the new ones:
//   1. waits for the station's process to be gone (nothing is touched when it stays);
//   2. copies every new file beside its target under a temporary name, synchronised to the disk;
//   3. moves each file it replaces into the folder UpdatePrevious of the program folder and
//      renames the new one into place;
//   4. checks that the new station starts: "<program> --version" must print expectedVersion;
//   5. on any failure puts the previous files back and removes the new ones.
// The working database and the settings file are never touched, nor is the updater itself
// (the station puts a new updater in place before it hands over).
InstallOutcome InstallUpdate(const InstallRequest &request);

// Copies source to target through the durable writer (a complete file under a temporary name,
// renamed over the target) with the source's permissions; false with the reason in *error.
bool CopyFileDurably(const QString &source, const QString &target, QString *error);

// Lets everyone who may read the file run it (a package made on Windows carries no such bit).
void MarkExecutable(const QString &path);

// Renames from over to within one disk; false with the system's reason in *reason.
bool RenameOver(const QString &from, const QString &to, QString *reason);

// Runs "<program> --version" and returns what it printed (trimmed), or an empty text with the
// reason in *error when it did not start, did not end in time, or ended with a failure.
QString QueryProgramVersion(const QString &program, int timeoutMs, QString *error);

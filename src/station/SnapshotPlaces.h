#pragma once

#include <QString>
#include <QStringList>

// Where the snapshot of a sign event can be.
//
// The station files a snapshot under the picture folder in the sub-folder its rule names at the
// moment the picture is taken: "課程編號" gives "<class number>/PIC", "年月" the ROC year and
// month of the event ("11305"); any other rule keeps the folder the station used last. The rule
// can change between two snapshots of one class - the first save of the settings window writes
// "課程編號" where the station had run on its own default "年月" - so every reader (the records
// window, the sheets, the audit packages) looks in both layouts, the current rule's first.

// One sign event as its snapshot file is named: class key + stored identity + date + time +
// type + way + ".jpg".
struct SnapshotEvent
{
    QString classKey;
    QString saveId;
    QString ioDate; // ROC "YYYMMDD"
    QString ioTime; // "HHMMSS"
    QString ioType;
    QString ioWay;
};

// The sub-folders (relative to the picture folder) a snapshot of the class key taken on the ROC
// date can be in: the current rule's folder first (for an unknown rule currentSubPath, which
// may be empty: the picture folder itself), then "<class number>/PIC" and "<YYYMM>"; no folder
// twice.
QStringList SnapshotSubFolders(const QString &classKey, const QString &rocDate, int courseNoLength,
                               const QString &rule, const QString &currentSubPath = QString());

// The full paths the snapshot of the event can have, in the order of SnapshotSubFolders; empty
// when there is no picture folder.
QStringList SnapshotCandidates(const QString &pictureDir, const SnapshotEvent &event,
                               int courseNoLength, const QString &rule,
                               const QString &currentSubPath = QString());

// The first of SnapshotCandidates that is a file; empty when the snapshot is nowhere.
QString FindSnapshot(const QString &pictureDir, const SnapshotEvent &event, int courseNoLength,
                     const QString &rule, const QString &currentSubPath = QString());

// The folders of the picture folder that hold the station's snapshots: "<YYYMM>" (the rule
// "年月") and "<class number>/PIC" (the rule "課程編號").
QStringList SnapshotFolders(const QString &pictureDir);

// Removes from the snapshot folders the temporary files of snapshot writers that were killed
// mid-write (the durable writer's temporary names, untouched for ten minutes); nothing else,
// nowhere else. Their own target is rarely written again, so they would stay for good. Runs once
// per run and picture folder; returns how many files were removed.
int RemoveStaleSnapshotTemporaries(const QString &pictureDir);

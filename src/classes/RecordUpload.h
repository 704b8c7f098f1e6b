#pragma once

#include "station/SnapshotPlaces.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>

class TrainingService;

// The class's records handed to the training agency, and the events of the class's other
// stations fetched back. The class window's "點名紀錄上傳", "刷卡紀錄上傳彙整", "刷卡紀錄下載彙整"
// and "送件" run these steps; nothing here shows a widget.
//
// Folders, all under the picture folder F, with N the class number (the first characters of
// the class key) and I the course id of the class:
//   F/N/                the class folder: report CSV files, N_TimeErr.txt, PDF/, PIC/
//   F/upperload/N/      working folder of the sign-event package, removed after use
//   F/upperload/N.zip   sign-event package: N.csv and Pic/ with the events' snapshots
//   F/ZIP/N.zip         audit package: the whole class folder
//   F/download/I.zip    the package the service hands out, and F/download/I/ its contents
// The class number is the class folder whatever the snapshot sub-folder rule; snapshots are
// looked for in both layouts. Nothing is deleted outside F/upperload/N, F/download/I and the
// files these steps write. A blank class number or course id is refused.
//
// Sign-event file N.csv: UTF-8 with a byte-order mark, lines ended by CR LF; line 1 the PSIO
// column names in table order joined by ","; then one line per event of the class in RID
// order: the event's own station number (DOOR; this station's number when it has none), then
// each further column, text trimmed (empty for NULL) and whole numbers as nine digits
// (000000000 for NULL). A value holding ",", a double quote or a line break is put between
// double quotes with its quotes doubled, as the readers of the file expect.
namespace RecordUpload {

inline const QString NoClassMessage = QStringLiteral("尚未選定講習");
inline const QString NoEventsMessage = QStringLiteral("無簽到退資料可上傳");
inline const QString EmptyAnswerMessage = QStringLiteral("上傳資料時發生錯誤!!");
inline const QString NothingMergedMessage = QStringLiteral("無資料匯入");

// Stage texts of the class window's progress panel.
inline const QString StageSignEvents = QStringLiteral("產出簽到退紀錄");
inline const QString StageUploading = QStringLiteral("資料上傳中...");
inline const QString StageTimeStamps = QStringLiteral("時間戳記檢核");
inline const QString StageCompressing = QStringLiteral("資料壓縮中...");
inline const QString StageDownloading = QStringLiteral("刷卡紀錄下載");
inline const QString StageUnzipping = QStringLiteral("解壓下載檔案");
inline const QString StageMerging = QStringLiteral("匯入檔案");

using Stage = std::function<void(const QString &)>;

// Where the packages of this station go and what it calls itself.
struct Places
{
    QString pictureDir; // F
    QString stationNo; // Base/ComputerNo
    int courseNoLength = 11; // characters of a class number
    QString snapshotRule; // Base/影像子目錄分類依據 (the folder snapshots are looked for first)

    // As the station's settings say (the picture folder as the reports window uses it).
    static Places FromIni();

    // F/<class number>: the class folder.
    QString classFolder(const QString &classNumber) const;
    QString eventPackage(const QString &classNumber) const; // F/upperload/N.zip
    QString auditPackage(const QString &classNumber) const; // F/ZIP/N.zip
    QString downloadArchive(const QString &courseId) const; // F/download/I.zip
    QString downloadFolder(const QString &courseId) const; // F/download/I
};

// The class number of a class key: its first courseNoLength characters, trimmed. Raises
// RolvanError ("尚未選定講習") when blank and when it cannot be a folder name (a separator, "..",
// a character file systems refuse).
QString ClassNumberOf(const QString &classKey, int courseNoLength);
// The course id as a folder and file name, checked the same way.
QString CheckedCourseId(const QString &courseId);

// The sign-event file of the events whose INDEX_KEY begins with courseId, on db.
struct EventFile
{
    QByteArray bytes;
    int events = 0;
    QList<SnapshotEvent> snapshots; // the snapshot of each event, in line order
};
EventFile MakeEventFile(
    QSqlDatabase db, const QString &classKey, const QString &courseId, const QString &stationNo);

// The sign-event package ("刷卡紀錄上傳彙整" before its upload).
struct EventPackage
{
    QString zipPath; // F/upperload/N.zip (empty when the class has no events)
    QString csvPath; // the sign-event file as it was written in the working folder
    int events = 0;
    int pictures = 0; // snapshots packed
    QStringList missing; // snapshot names of listed events that were found nowhere

    // "匯出檔案<F/upperload/N/N>.csv 資料筆數:<n>", and how many snapshots were missing.
    QString message() const;
};
// Writes F/upperload/N/N.csv and copies each event's snapshot (found in either folder layout)
// into F/upperload/N/Pic, packs the folder into F/upperload/N.zip and removes the working folder.
// A class without events writes nothing and returns events 0. Any failure raises RolvanError;
// the earlier package stays as it was.
EventPackage BuildEventPackage(
    QSqlDatabase db, const Places &places, const QString &classKey, const QString &courseId);

// The time-stamp check file from the clock log values in RID order: empty when no value is
// smaller than the one before it; otherwise the first value, then every value (each one smaller
// than its predecessor followed by "(<k>)", k counting from 1), then the last value again.
QStringList TimeErrLines(const QStringList &stamps);
// Reads the clock log of the class (values after the class's first day, "YYMMDD"), writes
// F/N/N_TimeErr.txt when the clock went backwards and removes one left by an earlier run when it
// did not. Returns the file written, empty when none.
QString CheckTimeStamps(
    QSqlDatabase db, const Places &places, const QString &classKey, const QString &dateStart);

// Packs the class folder F/N into F/ZIP/N.zip. Raises RolvanError when it cannot; the earlier
// package stays as it was.
QString BuildAuditPackage(const Places &places, const QString &classKey);

// Sends a package file under the class number with the certificate-check token. Returns the
// text to show: the service's answer, trimmed, or "上傳資料時發生錯誤!!" when it is empty.
// A failed request (HTTP status, time-out, refused certificate, missing file) raises
// RolvanError naming the reason and the package, which stays on the disk for another try.
QString UploadPackage(TrainingService &service, const QString &classNumber,
    const QString &checkToken, const QString &filePath);

// The merge of a downloaded package.
struct MergeResult
{
    bool hadFile = false; // the package held I.csv
    int merged = 0; // lines applied (a row updated or added, or this station's own row found)
    int added = 0; // of which rows added
    int skipped = 0; // lines that could not be read, or of another class
    int pictures = 0; // snapshots copied into the class folder

    // "總共 匯入筆數：<n> 筆" (and the lines skipped), then "無資料匯入" when nothing was merged.
    QStringList messages() const;
};
// Merges F/download/I/I.csv into db in one transaction (see SignEventTransfer::EventStore)
// and copies each merged event's snapshot from the package's PIC folder into F/N/PIC when the
// station has it nowhere. This station's own rows (DOOR its station number) are never changed. A line that cannot be read or is of another class is skipped and
// counted. A database error raises with nothing changed.
MergeResult MergeDownloadedPackage(
    QSqlDatabase db, const Places &places, const QString &classKey, const QString &courseId);
// "刷卡紀錄下載彙整": downloads the class's package into F/download/I.zip (the earlier one is
// removed first), empties F/download/I and extracts into it (all or nothing, entries outside the
// folder and oversized archives refused), then merges. A failed download or extraction raises
// RolvanError and merges nothing.
MergeResult DownloadAndMerge(TrainingService &service, QSqlDatabase db, const Places &places,
    const QString &classKey, const QString &courseId, const Stage &stage = {});

} // namespace RecordUpload

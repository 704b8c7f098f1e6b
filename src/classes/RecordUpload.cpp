#include "classes/RecordUpload.h"

#include "base/AtomicFile.h"
#include "Fun/CsvExport.h"
#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/FileFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "Fun/ZipFunctions.h"
#include "classes/TrainingService.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/Schema.h"
#include "reports/ReportOutputs.h"
#include "station/SignEventTransfer.h"
#include "station/SignRecorder.h"
#include "station/SnapshotPlaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <filesystem>

using namespace Qt::StringLiterals;

namespace RecordUpload {

namespace {

// Field positions of a sign-event line (the PSIO columns in table order).
enum Field { FDoor, FIdno, FIoDate, FIoTime, FIoType, FIoWay, FNet, FWeb, FIndexKey };

QString Text(const QVariant &value) { return value.isNull() ? QString() : value.toString(); }

QString Native(const QString &path) { return QDir::toNativeSeparators(path); }

// A name that can stand as one folder or file name under the picture folder.
bool IsPlainName(const QString &name)
{
    if (name.isEmpty() || name == u"."_s || name == u".."_s)
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<'
            || c == u'>' || c == u'|' || c.unicode() < 0x20)
            return false;
    }
    return true;
}

void RequirePictureDir(const Places &places)
{
    if (places.pictureDir.trimmed().isEmpty())
        throw RolvanError(u"尚未設定影像檔案路徑"_s);
}

void MakeFolder(const QString &folder)
{
    if (!ForceDirectoryPath(folder))
        throw RolvanError(u"無法建立資料夾 "_s + Native(folder));
}

// Empties and removes a folder this action owns (nothing when it is not there).
void RemoveOwnedFolder(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return;
    DeleteFilesInDirectory(folder, u"*.*"_s, true);
    QDir().rmdir(folder);
}

// Copies a snapshot through the durable writer (the copy is a file the station keeps).
bool CopyDurably(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    return WriteFileAtomically(to, source.readAll());
}

// Puts a snapshot into the working folder of a package, which goes away after packing: a second
// name for the same file where the file system allows it, a plain copy otherwise. The original is
// never changed.
bool LinkOrCopy(const QString &from, const QString &to)
{
    std::error_code error;
    std::filesystem::create_hard_link(std::filesystem::path(from.toStdU16String()),
                                      std::filesystem::path(to.toStdU16String()), error);
    return !error || QFile::copy(from, to);
}

SnapshotEvent EventOf(const QString &classKey, const QStringList &fields)
{
    return { classKey, fields.at(FIdno), fields.at(FIoDate), fields.at(FIoTime), fields.at(FIoType),
        fields.at(FIoWay) };
}

QString SnapshotNameOf(const SnapshotEvent &e)
{
    return SignRecorder::SnapshotFileName(
        e.classKey, e.saveId, e.ioDate, e.ioTime, e.ioType, e.ioWay);
}

// The records of CSV text: fields split at ","; a field in double quotes may hold ",", doubled
// quotes and line breaks. Records end at CR LF, LF or CR outside quotes; empty records are left
// out.
QList<QStringList> CsvRecords(const QString &text)
{
    QList<QStringList> records;
    for (const CsvTextRecord &record : SplitCsvRecords(text, u',', CsvRecordEnd::AnyLineBreak))
        records << record.fields;
    return records;
}

} // namespace

// ---- Places ------------------------------------------------------------------------------------

Places Places::FromIni()
{
    Places p;
    p.pictureDir = ReportOutputs::PictureFolder();
    p.stationNo = ReadIniSetting(
        IniSection::Base, IniKey::StationNo, IniDefault::StationNo, IniDefault::StationNo)
                      .trimmed();
    p.courseNoLength = G().CourseNoLength > 0 ? G().CourseNoLength : 11;
    p.snapshotRule
        = ReadIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, u"年月"_s, u"年月"_s);
    return p;
}

QString Places::classFolder(const QString &classNumber) const
{
    return ReportOutputs::ExportDirFor(pictureDir, classNumber);
}

QString Places::eventPackage(const QString &classNumber) const
{
    return JoinPath(JoinPath(pictureDir, u"upperload"_s), classNumber + u".zip"_s);
}

QString Places::auditPackage(const QString &classNumber) const
{
    return JoinPath(JoinPath(pictureDir, u"ZIP"_s), classNumber + u".zip"_s);
}

QString Places::downloadArchive(const QString &courseId) const
{
    return JoinPath(JoinPath(pictureDir, u"download"_s), courseId + u".zip"_s);
}

QString Places::downloadFolder(const QString &courseId) const
{
    return JoinPath(JoinPath(pictureDir, u"download"_s), courseId);
}

QString ClassNumberOf(const QString &classKey, int courseNoLength)
{
    const QString number
        = classKey.left(courseNoLength > 0 ? courseNoLength : classKey.size()).trimmed();
    if (number.isEmpty())
        throw RolvanError(NoClassMessage);
    if (!IsPlainName(number))
        throw RolvanError(u"講習編號「%1」不能作為資料夾名稱"_s.arg(number));
    return number;
}

QString CheckedCourseId(const QString &courseId)
{
    const QString id = courseId.trimmed();
    if (id.isEmpty())
        throw RolvanError(NoClassMessage);
    if (!IsPlainName(id))
        throw RolvanError(u"講習編號「%1」不能作為資料夾名稱"_s.arg(id));
    return id;
}

// ---- The sign-event package --------------------------------------------------------------------

EventFile MakeEventFile(
    QSqlDatabase db, const QString &classKey, const QString &courseId, const QString &stationNo)
{
    const TableDef *table = FindTable(u"PSIO"_s);
    if (!table)
        throw RolvanError(u"找不到 PSIO 資料表的欄位定義"_s);
    EventFile file;
    QString text = QString(QChar(0xFEFF)) + table->columnNames().join(u',') + u"\r\n"_s;
    QSqlQuery rows
        = RunQuery(u" select * from PSIO where INDEX_KEY LIKE ? escape '\\' order by RID "_s, db,
            { QString(BeginsWith(courseId.trimmed())) });
    while (rows.next()) {
        const QSqlRecord record = rows.record();
        QStringList fields;
        for (const ColumnDef &column : table->columns) {
            const QVariant value = record.value(column.name);
            if (column.type == ColumnType::AutoNumber || column.type == ColumnType::Integer32
                || column.type == ColumnType::Integer16) {
                fields << ZeroPad(value.isNull() ? 0 : value.toInt(), 9);
            } else {
                fields << Text(value).trimmed();
            }
        }
        // Each event keeps the station that recorded it.
        if (fields.at(FDoor).isEmpty())
            fields[FDoor] = stationNo;
        file.snapshots << EventOf(classKey, fields);
        for (QString &f : fields)
            f = CsvField(f, u',');
        text += fields.join(u',') + u"\r\n"_s;
        ++file.events;
    }
    file.bytes = text.toUtf8();
    return file;
}

QString EventPackage::message() const
{
    const QFileInfo csv(csvPath);
    QString text = u"匯出檔案"_s + Native(JoinPath(csv.path(), csv.completeBaseName()))
        + u".csv 資料筆數:"_s + QString::number(events);
    if (!missing.isEmpty())
        text += u"\n缺少影像檔：%1 筆（紀錄仍列於檔案中）"_s.arg(missing.size());
    return text;
}

EventPackage BuildEventPackage(
    QSqlDatabase db, const Places &places, const QString &classKey, const QString &courseId)
{
    RequirePictureDir(places);
    const QString number = ClassNumberOf(classKey, places.courseNoLength);
    const QString id = CheckedCourseId(courseId);

    EventPackage package;
    {
        const EventFile file = MakeEventFile(db, classKey, id, places.stationNo);
        package.events = file.events;
        if (file.events == 0)
            return package;

        const QString upload = JoinPath(places.pictureDir, u"upperload"_s);
        const QString work = JoinPath(upload, number);
        const QString pic = JoinPath(work, u"Pic"_s);
        RemoveOwnedFolder(work);
        MakeFolder(pic);
        struct RemoveWork
        {
            QString folder;
            ~RemoveWork()
            {
                try {
                    RemoveOwnedFolder(folder);
                } catch (const RolvanError &) {
                    // What stays behind is emptied by the next run.
                }
            }
        } removeWork { work };

        package.csvPath = JoinPath(work, number + u".csv"_s);
        QString error;
        if (!WriteFileAtomically(package.csvPath, file.bytes, &error))
            throw RolvanError(error);

        for (const SnapshotEvent &event : file.snapshots) {
            const QString name = SnapshotNameOf(event);
            const QString target = JoinPath(pic, name);
            if (QFileInfo::exists(target))
                continue;
            const QString found = FindSnapshot(
                places.pictureDir, event, places.courseNoLength, places.snapshotRule);
            if (!found.isEmpty() && LinkOrCopy(found, target))
                ++package.pictures;
            else if (!package.missing.contains(name))
                package.missing << name;
        }

        package.zipPath = places.eventPackage(number);
        if (!ZipDirectory(upload, number, number + u".zip"_s, &error))
            throw RolvanError(error);
    }
    return package;
}

// ---- The time-stamp check ----------------------------------------------------------------------

QStringList TimeErrLines(const QStringList &stamps)
{
    int backwards = 0;
    for (qsizetype i = 1; i < stamps.size(); ++i) {
        if (stamps.at(i) < stamps.at(i - 1))
            ++backwards;
    }
    if (backwards == 0)
        return {};
    QStringList lines { stamps.first() };
    int k = 0;
    for (qsizetype i = 0; i < stamps.size(); ++i) {
        QString line = stamps.at(i);
        if (i > 0 && stamps.at(i) < stamps.at(i - 1))
            line += u"(%1)"_s.arg(++k);
        lines << line;
    }
    lines << stamps.last();
    return lines;
}

QString CheckTimeStamps(
    QSqlDatabase db, const Places &places, const QString &classKey, const QString &dateStart)
{
    RequirePictureDir(places);
    const QString number = ClassNumberOf(classKey, places.courseNoLength);
    const QDateTime first = ParseDateSafe(dateStart.trimmed(), u"YYYY/MM/DD"_s);
    const QString from = FormatDateByPattern(u"2西元年月日"_s, first);
    QStringList stamps;
    QSqlQuery rows
        = RunQuery(u" select TimeStr from Timelog where TimeStr > ? order By RID "_s, db, { from });
    while (rows.next())
        stamps << Text(rows.value(0));
    const QStringList lines = TimeErrLines(stamps);
    const QString folder = places.classFolder(number);
    const QString path = JoinPath(folder, number + u"_TimeErr.txt"_s);
    if (lines.isEmpty()) {
        // A file of an earlier run must not travel in this package.
        if (QFileInfo(path).isFile() && !QFile::remove(path))
            throw RolvanError(u"無法刪除舊的時間戳記檢核檔 "_s + Native(path));
        return {};
    }
    MakeFolder(folder);
    QString error;
    if (!WriteFileAtomically(path, (lines.join(u"\r\n"_s) + u"\r\n"_s).toLocal8Bit(), &error))
        throw RolvanError(error);
    return path;
}

// ---- The audit package -------------------------------------------------------------------------

QString BuildAuditPackage(const Places &places, const QString &classKey)
{
    RequirePictureDir(places);
    const QString number = ClassNumberOf(classKey, places.courseNoLength);
    const QString folder = places.classFolder(number);
    if (!QFileInfo(folder).isDir())
        throw RolvanError(u"找不到講習資料夾 "_s + Native(folder));
    const QString zipFolder = JoinPath(places.pictureDir, u"ZIP"_s);
    MakeFolder(zipFolder);
    QString error;
    // The workbooks beside the CSV files are for the unit's staff; the agency gets the CSV files.
    if (!ZipDirectory(places.pictureDir, number, JoinPath(zipFolder, number + u".zip"_s), &error,
                      { u".xlsx"_s }))
        throw RolvanError(error);
    return places.auditPackage(number);
}

// ---- The upload --------------------------------------------------------------------------------

QString UploadPackage(TrainingService &service, const QString &classNumber,
    const QString &checkToken, const QString &filePath)
{
    if (classNumber.trimmed().isEmpty())
        throw RolvanError(NoClassMessage);
    if (filePath.isEmpty() || !QFileInfo(filePath).isFile())
        throw RolvanError(u"找不到要上傳的檔案 "_s + Native(filePath));
    const ServiceOutcome<QString> answer
        = service.PostPackage(classNumber.trimmed(), checkToken, filePath);
    if (!answer.ok()) {
        throw RolvanError(EmptyAnswerMessage + u"\n"_s + answer.error + u"\n檔案保留於 "_s
            + Native(filePath) + u"，可再上傳"_s);
    }
    const QString text = answer.value.trimmed();
    return text.isEmpty() ? EmptyAnswerMessage : text;
}

// ---- The download and merge --------------------------------------------------------------------

QStringList MergeResult::messages() const
{
    QStringList list;
    if (hadFile) {
        QString text = u"總共 匯入筆數："_s + QString::number(merged) + u" 筆"_s;
        if (skipped > 0)
            text += u"\n略過 無法解讀筆數："_s + QString::number(skipped) + u" 筆"_s;
        list << text + u"\n"_s;
    }
    if (merged == 0)
        list << NothingMergedMessage;
    return list;
}

MergeResult MergeDownloadedPackage(
    QSqlDatabase db, const Places &places, const QString &classKey, const QString &courseId)
{
    RequirePictureDir(places);
    const QString number = ClassNumberOf(classKey, places.courseNoLength);
    const QString id = CheckedCourseId(courseId);
    const QString folder = places.downloadFolder(id);
    const QString csvPath = JoinPath(folder, id + u".csv"_s);

    MergeResult result;
    QFile file(csvPath);
    if (!QFileInfo(csvPath).isFile())
        return result;
    if (!file.open(QIODevice::ReadOnly))
        throw RolvanError(u"無法讀取檔案 "_s + Native(csvPath) + u"："_s + file.errorString());
    result.hadFile = true;
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    while (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QList<QStringList> records = CsvRecords(text);
    if (!records.isEmpty())
        records.removeFirst(); // the column names

    QList<QStringList> stored;
    if (!db.transaction())
        throw DatabaseError(u"無法開始交易："_s + db.lastError().text());
    try {
        {
            SignEventTransfer::EventStore store(db, places.stationNo);
            for (const QStringList &fields : std::as_const(records)) {
                // Only events of this class are taken from its package.
                if (!SignEventTransfer::IsStorableLine(fields)
                    || !fields.at(FIndexKey).startsWith(id)) {
                    ++result.skipped;
                    continue;
                }
                if (store.Store(fields) == SignEventTransfer::EventStore::Stored::Added)
                    ++result.added;
                ++result.merged;
                stored << fields;
            }
        } // the statements end before the commit
        if (!db.commit())
            throw DatabaseError(u"無法完成交易："_s + db.lastError().text());
    } catch (...) {
        db.rollback();
        throw;
    }

    // The snapshots the other stations sent, filed in this class's folder.
    QString sourcePic = JoinPath(folder, u"PIC"_s);
    if (!QFileInfo(sourcePic).isDir())
        sourcePic = JoinPath(folder, u"Pic"_s);
    const QString targetPic = JoinPath(places.classFolder(number), u"PIC"_s);
    bool folderMade = false;
    for (const QStringList &fields : std::as_const(stored)) {
        const SnapshotEvent event = EventOf(classKey, fields);
        const QString name = SnapshotNameOf(event);
        const QString from = JoinPath(sourcePic, name);
        if (!QFileInfo(from).isFile())
            continue;
        if (!FindSnapshot(places.pictureDir, event, places.courseNoLength, places.snapshotRule)
                 .isEmpty())
            continue;
        if (!folderMade) {
            MakeFolder(targetPic);
            folderMade = true;
        }
        if (CopyDurably(from, JoinPath(targetPic, name)))
            ++result.pictures;
    }
    return result;
}

MergeResult DownloadAndMerge(TrainingService &service, QSqlDatabase db, const Places &places,
    const QString &classKey, const QString &courseId, const Stage &stage)
{
    RequirePictureDir(places);
    ClassNumberOf(classKey, places.courseNoLength);
    const QString id = CheckedCourseId(courseId);
    const auto enter = [&stage](const QString &text) {
        if (stage)
            stage(text);
    };
    const QString downloads = JoinPath(places.pictureDir, u"download"_s);
    const QString folder = places.downloadFolder(id);
    const QString archive = places.downloadArchive(id);
    MakeFolder(downloads);
    // Nothing of an earlier download may be merged again.
    if (QFileInfo::exists(archive) && !QFile::remove(archive))
        throw RolvanError(u"無法刪除舊的下載檔 "_s + Native(archive));
    RemoveOwnedFolder(folder);
    MakeFolder(folder);

    enter(StageDownloading);
    {
        AtomicFile target(archive);
        if (!target.begin())
            throw RolvanError(target.errorString());
        const ServiceOutcome<bool> fetched = service.DownloadPackage(id, &target.device());
        if (!fetched.ok()) {
            target.cancel();
            throw RolvanError(u"刷卡紀錄下載失敗：\n"_s + fetched.error);
        }
        if (!target.commit())
            throw RolvanError(target.errorString());
    }

    enter(StageUnzipping);
    QString error;
    if (!UnzipToFolder(downloads, id + u".zip"_s, id, &error))
        throw RolvanError(u" unzip fail \n"_s + error);

    enter(StageMerging);
    return MergeDownloadedPackage(db, places, classKey, id);
}

} // namespace RecordUpload

#include "core/DatabaseRestore.h"

#include "base/AtomicFile.h"
#include "base/RolvanError.h"
#include "core/TDM.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

QString Shown(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// The files SQLite keeps beside a database while it is in use.
const QStringList &Companions()
{
    static const QStringList suffixes{ u"-wal"_s, u"-shm"_s, u"-journal"_s };
    return suffixes;
}

// Copies a file through the durable writer; the reason in *error when it cannot.
bool CopyDurably(const QString &from, const QString &to, QString *error)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = u"無法讀取 %1：%2"_s.arg(Shown(from), source.errorString());
        return false;
    }
    AtomicFile target(to);
    if (!target.begin()) {
        *error = target.errorString();
        return false;
    }
    while (!source.atEnd()) {
        const QByteArray block = source.read(1 << 20);
        if (source.error() != QFileDevice::NoError) {
            *error = u"無法讀取 %1：%2"_s.arg(Shown(from), source.errorString());
            return false;
        }
        if (!target.write(block)) {
            *error = target.errorString();
            return false;
        }
    }
    if (!target.commit()) {
        *error = target.errorString();
        return false;
    }
    return true;
}

// "YYYMMDDHHMMSS" of a moment: the ROC date and the time as events store them.
QString RocStamp(const QDateTime &at)
{
    const QDate d = at.date();
    return QString::number(d.year() - 1911).rightJustified(3, u'0')
        + at.toString(u"MMddHHmmss"_s);
}

struct DamagedEvents
{
    QList<QStringList> rows; // IODATE, IOTIME, IDNO, IOTYPE, INDEX_KEY, IOWay, DOOR
    bool partial = false;
};

// The sign events of the damaged file after the moment, as far as they can be read (the scan
// stops at a damaged page).
DamagedEvents EventsAfter(const QString &databasePath, const QDateTime &after)
{
    static std::atomic<int> serial{ 0 };
    const QString name = u"RolvanRestoreRead#"_s + QString::number(++serial);
    DamagedEvents events;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(u"QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"_s);
        if (!db.open()) {
            events.partial = true;
        } else {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            // In the table's own order: a sort would have to read every page before the first
            // row, and a damaged one would leave nothing.
            if (!query.prepare(u"select IODATE, IOTIME, IDNO, IOTYPE, INDEX_KEY, IOWay, DOOR "
                               "from PSIO where IODATE || IOTIME > ?"_s)) {
                events.partial = true;
            } else {
                query.addBindValue(RocStamp(after));
                if (!query.exec()) {
                    events.partial = true;
                } else {
                    while (query.next()) {
                        QStringList row;
                        for (int i = 0; i < 7; ++i)
                            row << query.value(i).toString().trimmed();
                        events.rows << row;
                    }
                    if (query.lastError().isValid())
                        events.partial = true;
                }
            }
            query.finish();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    std::sort(events.rows.begin(), events.rows.end());
    return events;
}

QString CsvText(const QString &value)
{
    if (!value.contains(u',') && !value.contains(u'"'))
        return value;
    return u'"' + QString(value).replace(u"\""_s, u"\"\""_s) + u'"';
}

// Moves the companions of one database name to those of another; the ones moved are listed in
// *moved (from, to). False when one could not be moved.
bool MoveCompanions(const QString &from, const QString &to, QList<QPair<QString, QString>> *moved)
{
    for (const QString &suffix : Companions()) {
        const QString source = from + suffix;
        if (!QFileInfo::exists(source))
            continue;
        const QString target = to + suffix;
        if (QFileInfo::exists(target) || !QFile::rename(source, target))
            return false;
        moved->append({ source, target });
    }
    return true;
}

void MoveBack(const QList<QPair<QString, QString>> &moved)
{
    for (const auto &[source, target] : moved)
        QFile::rename(target, source);
}

} // namespace

QString RestoreResult::message() const
{
    QString text = u"已由備份 %1（%2）還原資料庫 %3。"_s.arg(
        Shown(backupPath), backupTime.toString(u"yyyy/MM/dd HH:mm:ss"_s), Shown(databasePath));
    if (!asidePath.isEmpty())
        text += u"\n損毀的資料庫已另存為 %1。"_s.arg(Shown(asidePath));
    if (reentry.isEmpty()) {
        text += partial ? u"\n損毀的檔案讀不出備份之後的簽到退紀錄，請另行核對。"_s
                        : u"\n備份之後沒有簽到退紀錄需要補登。"_s;
        return text;
    }
    text += u"\n備份時間之後的簽到退紀錄 %1 筆須重新輸入，清單：%2"_s.arg(reentry.size())
                .arg(reentryPath.isEmpty() ? u"無法寫入（"_s + listError + u"）"_s
                                           : Shown(reentryPath));
    constexpr int shown = 20;
    for (qsizetype i = 0; i < reentry.size() && i < shown; ++i)
        text += u"\n  "_s + reentry.at(i);
    if (reentry.size() > shown)
        text += u"\n  ……（其餘 %1 筆見清單）"_s.arg(reentry.size() - shown);
    if (partial)
        text += u"\n損毀的檔案只讀出部分紀錄，請另行核對。"_s;
    return text;
}

QStringList DatabaseBackups(const QString &backupFolder)
{
    if (backupFolder.trimmed().isEmpty())
        return {};
    static const QRegularExpression name(u"^\\d{14}_QuorinBackup\\.db$"_s);
    const QDir dir(backupFolder);
    QStringList backups;
    for (const QString &candidate : dir.entryList(QDir::Files, QDir::Name | QDir::Reversed)) {
        if (name.match(candidate).hasMatch())
            backups << dir.filePath(candidate);
    }
    return backups;
}

QString NewestSoundBackup(const QString &backupFolder, QString *why)
{
    QStringList reasons;
    for (const QString &backup : DatabaseBackups(backupFolder)) {
        DatabaseCheck check = CheckOurDatabase(backup);
        if (check.ok())
            check = QuickCheckDatabase(backup);
        if (check.ok())
            return backup;
        reasons << u"%1：%2 %3"_s.arg(Shown(backup), DatabaseProblemText(check.problem),
                                       check.detail.trimmed());
    }
    if (why)
        *why = reasons.join(u'\n');
    return QString();
}

QDateTime BackupTime(const QString &backupPath)
{
    const QString name = QFileInfo(backupPath).fileName();
    const QDateTime stamped = QDateTime::fromString(name.left(14), u"yyyyMMddHHmmss"_s);
    return stamped.isValid() ? stamped : QFileInfo(backupPath).lastModified();
}

RestoreResult RestoreDatabaseFromBackup(const QString &databasePath, const QString &backupFolder,
                                        const QString &backup, const QDateTime &now)
{
    RestoreResult result;
    result.databasePath = databasePath;
    const QString failed = u"無法還原資料庫 %1："_s.arg(Shown(databasePath));

    // The backup: one of ours that passes the page check.
    if (backup.isEmpty()) {
        QString why;
        result.backupPath = NewestSoundBackup(backupFolder, &why);
        if (result.backupPath.isEmpty()) {
            throw RolvanError(failed + u"備份資料夾 %1 中沒有通過檢查的備份"_s.arg(Shown(backupFolder))
                              + (why.isEmpty() ? QString() : u'\n' + why));
        }
    } else {
        result.backupPath = backup;
        DatabaseCheck check = CheckOurDatabase(backup);
        if (check.ok())
            check = QuickCheckDatabase(backup);
        if (!check.ok()) {
            throw RolvanError(failed + u"備份 %1 不能使用：%2\n%3"_s.arg(
                                  Shown(backup), DatabaseProblemText(check.problem), check.detail)
                                  .trimmed());
        }
    }
    if (QFileInfo(result.backupPath).absoluteFilePath() == QFileInfo(databasePath).absoluteFilePath())
        throw RolvanError(failed + u"備份與資料庫是同一個檔案"_s);
    result.backupTime = BackupTime(result.backupPath);

    const QFileInfo database(databasePath);
    const QString folder = database.absolutePath();
    const QString stamp = now.toString(u"yyyyMMddHHmmss"_s);
    QList<QPair<QString, QString>> moved;
    DamagedEvents events;
    if (database.exists()) {
        // What the damaged file holds after the backup, read before anything moves.
        events = EventsAfter(databasePath, result.backupTime);

        // The damaged file aside, with its log under the same name.
        result.asidePath = QDir(folder).filePath(stamp + u'_' + database.completeBaseName()
                                                 + u"Damaged."_s + database.suffix());
        QString error;
        if (!CopyDurably(databasePath, result.asidePath, &error))
            throw RolvanError(failed + u"無法另存損毀的資料庫：\n"_s + error);
        if (!MoveCompanions(databasePath, result.asidePath, &moved)) {
            MoveBack(moved);
            throw RolvanError(failed + u"無法移開資料庫的記錄檔（%1-wal）"_s.arg(Shown(databasePath)));
        }
    }

    // The backup in the database's place, whole or not at all.
    QString error;
    if (!CopyDurably(result.backupPath, databasePath, &error)) {
        MoveBack(moved);
        throw RolvanError(failed + error);
    }

    // The events to enter again.
    result.partial = events.partial;
    if (!events.rows.isEmpty()) {
        QString csv = QString(QChar(0xFEFF))
            + u"IODATE,IOTIME,IDNO,IOTYPE,INDEX_KEY,IOWay,DOOR\r\n"_s;
        for (const QStringList &row : std::as_const(events.rows)) {
            QStringList cells;
            for (const QString &cell : row)
                cells << CsvText(cell);
            csv += cells.join(u',') + u"\r\n"_s;
            result.reentry << row.join(u' ');
        }
        result.reentryPath = QDir(folder).filePath(stamp + u"_補登簽到退.csv"_s);
        QString listError;
        if (WriteFileAtomically(result.reentryPath, csv.toUtf8(), &listError)) {
            // It names persons: private to the account, as the database is.
            QFile::setPermissions(result.reentryPath, QFile::ReadOwner | QFile::WriteOwner);
        } else {
            result.reentryPath.clear();
            result.listError = listError;
        }
    }
    return result;
}

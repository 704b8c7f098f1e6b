#include "admin/DatabaseConversion.h"

#include "base/AtomicFile.h"
#include "Fun/DateTimeFunctions.h"
#include "Fun/FileFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/DataFolders.h"
#include "core/DbFunctions.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <atomic>
#include <filesystem>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

const QString KeyColumnOld = u"識別碼"_s;
const QString RidColumn = u"RID"_s;

std::atomic<int> g_connectionSerial{0};

// A private SQLite connection of the backup or conversion, closed and removed when it goes.
class ScopedConnection
{
public:
    explicit ScopedConnection(const QString &purpose)
        : m_name(u"DatabaseConversion-"_s + purpose + u'#'
                 + QString::number(++g_connectionSerial))
    {
        QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
    }
    ~ScopedConnection()
    {
        close();
        QSqlDatabase::removeDatabase(m_name);
    }
    ScopedConnection(const ScopedConnection &) = delete;
    ScopedConnection &operator=(const ScopedConnection &) = delete;

    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // Opens an existing file; never creates one. Read-only connections cannot write at all.
    void open(const QString &path, bool readOnly)
    {
        const QFileInfo info(path);
        if (!info.isFile())
            throw RolvanError(u"找不到資料庫檔案："_s + QDir::toNativeSeparators(path));
        QSqlDatabase d = db();
        d.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded)
                          + (readOnly ? u"?mode=ro"_s : u"?mode=rw"_s));
        d.setConnectOptions(readOnly ? u"QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"_s
                                     : u"QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"_s);
        if (!d.open())
            throw DatabaseError(u"無法開啟資料庫 "_s + QDir::toNativeSeparators(path) + u'\n'
                                + d.lastError().text());
    }

    void close()
    {
        QSqlDatabase d = db();
        d.close();
    }

private:
    QString m_name;
};

QVariant FirstValue(QSqlDatabase db, const QString &sql, const QVariantList &params = {})
{
    QSqlQuery query = RunQueryAsIs(sql, db, params);
    return query.next() ? query.value(0) : QVariant();
}

// A name from a database file inside SQL text: always quoted.
QString Quoted(const QString &name)
{
    QString inner = name;
    inner.replace(u'"', u"\"\""_s);
    return u'"' + inner + u'"';
}

// "ok", or the first complaint of integrity_check.
QString IntegrityCheck(QSqlDatabase db)
{
    return FirstValue(db, u"PRAGMA integrity_check"_s).toString();
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A database file and the files SQLite keeps beside it; only ever called on names this
// operation made itself.
void RemoveSqliteFiles(const QString &path)
{
    for (const QString &suffix : { QString(), u"-journal"_s, u"-wal"_s, u"-shm"_s })
        QFile::remove(path + suffix);
}

// A backup that was killed leaves its temporary copy "<stamp>_QuorinBackup.db.part" (as big as
// the database) and SQLite's files beside it. Before the next backup those of our own naming in
// the backup folder go, unless one was written to within the last minute: that may be a backup
// of another station running right now.
void RemoveStaleBackupParts(const QString &backupFolder)
{
    static const QRegularExpression ours(
        u"^\\d{14}_QuorinBackup\\.db\\.part(-journal|-wal|-shm)?$"_s);
    const QDateTime staleBefore = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QDir folder(backupFolder);
    const QFileInfoList entries = folder.entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (ours.match(entry.fileName()).hasMatch() && !entry.isSymLink()
            && entry.lastModified().toUTC() < staleBefore)
            QFile::remove(entry.absoluteFilePath());
    }
}

// Puts `from` in the place of `to` in one step (an existing `to` is replaced).
void ReplaceFile(const QString &from, const QString &to)
{
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), ec);
    if (ec)
        throw RolvanError(u"無法以 "_s + Native(from) + u" 取代 "_s + Native(to) + u"："_s
                          + QString::fromLocal8Bit(ec.message()));
}

QString DbVersionOf(QSqlDatabase db)
{
    return FirstValue(db, u"select CODE_SEQ from SYS_CODE where CODE_TYPE = ? order by RID limit 1"_s,
                      { u"DBVersion"_s })
        .toString()
        .trimmed();
}

bool SameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

template<typename Columns>
int IndexOfColumn(const Columns &columns, const QString &name)
{
    for (int i = 0; i < columns.size(); ++i) {
        if (SameName(columns.at(i).name, name))
            return i;
    }
    return -1;
}

// A LIKE pattern that matches texts starting with `prefix` literally.
QString LikePrefix(const QString &prefix)
{
    QString escaped;
    for (const QChar c : prefix) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return escaped + u'%';
}

} // namespace

DatabaseConversion::DatabaseConversion(TDM &dm)
    : m_dm(dm)
{
}

QString DatabaseConversion::BackupFileName(const QDateTime &at)
{
    const QDate d = at.date();
    const QTime t = at.time();
    return ZeroPad(d.year(), 4) + ZeroPad(d.month(), 2) + ZeroPad(d.day(), 2) + ZeroPad(t.hour(), 2)
        + ZeroPad(t.minute(), 2) + ZeroPad(t.second(), 2) + u"_QuorinBackup.db"_s;
}

QString DatabaseConversion::DataFolder()
{
    return ReadDataFolders().database;
}

QString DatabaseConversion::BackupFolder()
{
    return ReadDataFolders().backup;
}

bool DatabaseConversion::SharedDatabaseInUse()
{
    return ReadIniBool(IniSection::Base, IniKey::UseNetDb, false);
}

QString DatabaseConversion::SharedConversionRefusal()
{
    return u"目前使用共用資料庫（useNetDB），不做資料庫轉換：共用資料庫的資料表由簽到電腦連線時建立，"
           "轉換只處理本機的資料庫檔案。要備份共用資料庫，請勾選「備份不轉換」。"_s;
}

DatabaseConversion::Options DatabaseConversion::DefaultOptions()
{
    Options options;
    options.dataFolder = DataFolder();
    options.backupFolder = BackupFolder();
    options.backupFileName = SharedDatabaseInUse()
        ? SharedDatabaseBackup::BackupFileName(CurrentClock().now())
        : BackupFileName(CurrentClock().now());
    options.templatePath = G().samplePath();
    options.backupOnly = true;
    return options;
}

QString DatabaseConversion::YesNoText(const QVariant &value)
{
    if (value.isNull())
        return u"N"_s;
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        const QString text = value.toString().trimmed().toLower();
        bool isNumber = false;
        const double number = text.toDouble(&isNumber);
        if (isNumber)
            return number != 0 ? u"Y"_s : u"N"_s;
        static const QStringList yes = { u"true"_s, u"yes"_s, u"y"_s, u"on"_s, u"t"_s };
        return yes.contains(text) ? u"Y"_s : u"N"_s;
    }
    return value.toBool() ? u"Y"_s : u"N"_s;
}

DatabaseConversion::ColumnKind DatabaseConversion::KindOfDeclaredType(const QString &declaredType)
{
    const QString t = declaredType.trimmed().toUpper();
    if (t.isEmpty())
        return ColumnKind::Untyped;
    if (t.contains(u"BOOL"_s) || t == u"BIT"_s || t == u"YESNO"_s || t == u"LOGICAL"_s)
        return ColumnKind::YesNo;
    if (t.contains(u"INT"_s) || t.contains(u"COUNTER"_s))
        return ColumnKind::Integer;
    if (t.contains(u"CHAR"_s) || t.contains(u"TEXT"_s) || t.contains(u"CLOB"_s)
        || t.contains(u"MEMO"_s) || t.contains(u"STRING"_s))
        return ColumnKind::Text;
    if (t.contains(u"DATE"_s) || t.contains(u"TIME"_s))
        return ColumnKind::DateTime;
    if (t.contains(u"BLOB"_s) || t.contains(u"BINARY"_s))
        return ColumnKind::Binary;
    // REAL, FLOAT, DOUBLE, NUMERIC, DECIMAL, CURRENCY and whatever else holds numbers.
    return ColumnKind::Real;
}

QList<DatabaseConversion::Column> DatabaseConversion::ColumnsOf(QSqlDatabase db, const QString &table)
{
    QList<Column> columns;
    QSqlQuery query = RunQueryAsIs(u"select name, type from pragma_table_info(?) order by cid"_s,
                                   db, { table });
    while (query.next())
        columns.append({ query.value(0).toString(), KindOfDeclaredType(query.value(1).toString()) });
    return columns;
}

QString DatabaseConversion::ExistingTable(QSqlDatabase db, const QString &name)
{
    return FirstValue(db,
                      u"select name from sqlite_master where type = 'table' "
                      "and name = ? collate nocase limit 1"_s,
                      { name })
        .toString();
}

QString DatabaseConversion::KeyColumn(const QList<Column> &oldColumns)
{
    for (const Column &c : oldColumns) {
        if (c.name.contains(KeyColumnOld))
            return c.name;
    }
    for (const Column &c : oldColumns) {
        if (SameName(c.name, RidColumn))
            return c.name;
    }
    // A table without a row identity (scores): every row has something to carry.
    return QString();
}

void DatabaseConversion::Report(const QString &tableLine, const QString &rowLine, int percent)
{
    if (m_progress)
        m_progress({ tableLine, rowLine, qBound(0, percent, 100) });
}

void DatabaseConversion::ReportRow(int ordinal, int count)
{
    // The bar runs from 1 to count + 1, one step per row; the screen is told when it moves.
    const int percent = count > 0 ? int((qint64(ordinal) + 1) * 100 / (qint64(count) + 1)) : 100;
    if (percent == m_lastPercent && ordinal != count && ordinal != 1)
        return;
    m_lastPercent = percent;
    Report(m_tableLine, QString::number(count) + u"筆之 第 "_s + QString::number(ordinal) + u"      "_s,
           percent);
}

void DatabaseConversion::RowCopy(QSqlDatabase oldDb, QSqlDatabase newDb, const QString &newTable,
                                 const QString &oldTable)
{
    const QList<Column> oldColumns = ColumnsOf(oldDb, oldTable);
    const QList<Column> newColumns = ColumnsOf(newDb, newTable);
    const QString key = KeyColumn(oldColumns);
    const int keyIndex = key.isEmpty() ? -1 : IndexOfColumn(oldColumns, key);
    const bool isPsio = SameName(newTable, u"PSIO"_s);
    const int ioDateIndex = isPsio ? IndexOfColumn(oldColumns, u"IODATE"_s) : -1;

    enum class Mode { Copy, YesNo };
    struct Transfer
    {
        int oldIndex;
        QString newName;
        Mode mode;
        bool completeKey;
    };
    QList<Transfer> transfers;
    for (int i = 0; i < oldColumns.size(); ++i) {
        const Column &oldColumn = oldColumns.at(i);
        if (i == keyIndex || SameName(oldColumn.name, RidColumn) || oldColumn.name.trimmed() == KeyColumnOld)
            continue;
        const int n = IndexOfColumn(newColumns, oldColumn.name);
        if (n < 0)
            continue;
        const Column &newColumn = newColumns.at(n);
        const ColumnKind from = oldColumn.kind;
        const ColumnKind to = newColumn.kind;
        Mode mode;
        if (from == to || from == ColumnKind::Untyped || to == ColumnKind::Untyped
            || (from == ColumnKind::Integer && to == ColumnKind::Real)
            || ((from == ColumnKind::Integer || from == ColumnKind::Real) && to == ColumnKind::Text))
            mode = Mode::Copy; // the new column holds the value unchanged

        else if (from == ColumnKind::YesNo && to == ColumnKind::Text)
            mode = Mode::YesNo;
        else
            continue; // any other change of type (text into a number) leaves the new column empty
        transfers.append({ i, newColumn.name, mode, isPsio && SameName(newColumn.name, u"INDEX_KEY"_s) });
    }

    QString insertSql;
    if (transfers.isEmpty()) {
        insertSql = u"insert into "_s + Quoted(newTable) + u" default values"_s;
    } else {
        QStringList names;
        QStringList marks;
        for (const Transfer &t : transfers) {
            names.append(Quoted(t.newName));
            marks.append(u"?"_s);
        }
        insertSql = u"insert into "_s + Quoted(newTable) + u" ("_s + names.join(u", "_s) + u") values ("_s
            + marks.join(u", "_s) + u')';
    }
    QSqlQuery insert(newDb);
    if (!insert.prepare(insertSql))
        throw DatabaseError(insertSql + u'\n' + insert.lastError().text());

    QStringList selected;
    for (const Column &c : oldColumns)
        selected.append(Quoted(c.name));
    const QString oldFrom = u" from "_s + Quoted(oldTable);
    const int count = FirstValue(oldDb, u"select count(*)"_s + oldFrom).toInt();
    QSqlQuery rows = RunQueryAsIs(u"select "_s + selected.join(u", "_s) + oldFrom, oldDb);
    int ordinal = 0;
    while (rows.next()) {
        ++ordinal;
        ReportRow(ordinal, qMax(count, ordinal));
        if (keyIndex >= 0 && rows.value(keyIndex).toString().trimmed().isEmpty())
            continue;
        for (const Transfer &t : transfers) {
            QVariant value = rows.value(t.oldIndex);
            if (t.mode == Mode::YesNo) {
                value = YesNoText(value);
            } else if (t.completeKey && !value.isNull()) {
                const QString rocDate = ioDateIndex >= 0 ? rows.value(ioDateIndex).toString() : QString();
                value = CompletedLessonKey(oldDb, value.toString(), rocDate);
            }
            insert.addBindValue(value);
        }
        if (!insert.exec())
            throw DatabaseError(u"資料表 "_s + newTable + u" 第 "_s + QString::number(ordinal)
                                + u" 筆無法寫入：\n"_s + insert.lastError().text());
    }
    if (rows.lastError().isValid())
        throw DatabaseError(u"讀取舊資料表 "_s + oldTable + u" 失敗：\n"_s + rows.lastError().text());
}

QString DatabaseConversion::CompletedLessonKey(QSqlDatabase oldDb, const QString &key,
                                               const QString &rocDate)
{
    // An older lesson key is the class number (11) and the course code (4); the lesson's start
    // time on the day of the event completes it. Any other length is already complete.
    if (key.size() != 15 || !m_oldHasCourse)
        return key;
    const QString date = rocDate.trimmed();
    if (date.size() != 7)
        return key;
    for (const QChar c : date) {
        if (!c.isDigit())
            return key;
    }
    const QString gregorian = ZeroPad(date.left(3).toInt() + 1911, 4) + u'/' + date.mid(3, 2) + u'/'
        + date.mid(5, 2);
    const QString classPart = key.left(11);
    const QString courseCode = key.mid(11, 4);
    const QString cacheKey = classPart + u'\n' + courseCode + u'\n' + gregorian;
    auto found = m_startTimes.constFind(cacheKey);
    if (found == m_startTimes.constEnd()) {
        const QString start =
            FirstValue(oldDb,
                       u"select TimeStart from Course where INDEX_KEY like ? escape '\\' "
                       "and CNo4 = ? collate nocase and DateStart = ?"_s,
                       { LikePrefix(classPart), courseCode, gregorian })
                .toString()
                .trimmed();
        found = m_startTimes.insert(cacheKey, start);
    }
    return key + found.value();
}

void DatabaseConversion::CodeMerge(QSqlDatabase oldDb, QSqlDatabase newDb)
{
    const QString oldTable = ExistingTable(oldDb, u"SYS_CODE"_s);
    const QString newTable = ExistingTable(newDb, u"SYS_CODE"_s);
    const QList<Column> oldColumns = ColumnsOf(oldDb, oldTable);
    const QList<Column> newColumns = ColumnsOf(newDb, newTable);
    const QString key = KeyColumn(oldColumns);
    const int keyIndex = key.isEmpty() ? -1 : IndexOfColumn(oldColumns, key);
    const int typeIndex = IndexOfColumn(oldColumns, u"CODE_TYPE"_s);
    const int seqIndex = IndexOfColumn(oldColumns, u"CODE_SEQ"_s);
    const int rwIndex = IndexOfColumn(oldColumns, u"RW"_s);
    const QString oldFrom = u" from "_s + Quoted(oldTable);
    const int count = FirstValue(oldDb, u"select count(*)"_s + oldFrom).toInt();
    if (count == 0)
        return;
    if (typeIndex < 0 || seqIndex < 0)
        throw RolvanError(u"舊資料庫的 SYS_CODE 沒有 CODE_TYPE 或 CODE_SEQ 欄位，無法轉換"_s);

    // Every other old column goes into the row by name; the new table must have it.
    QList<int> copied;
    QStringList names;
    for (int i = 0; i < oldColumns.size(); ++i) {
        const QString &name = oldColumns.at(i).name;
        if (i == keyIndex || i == rwIndex || SameName(name, RidColumn) || name.trimmed() == KeyColumnOld)
            continue;
        const int n = IndexOfColumn(newColumns, name);
        if (n < 0)
            throw RolvanError(u"舊資料庫 SYS_CODE 的欄位「"_s + name
                              + u"」在新的資料庫中不存在，無法轉換"_s);
        copied.append(i);
        names.append(newColumns.at(n).name);
    }
    QStringList assignments;
    QStringList insertNames;
    QStringList marks;
    for (const QString &name : std::as_const(names)) {
        assignments.append(Quoted(name) + u" = ?"_s);
        insertNames.append(Quoted(name));
        marks.append(u"?"_s);
    }
    const int newRw = IndexOfColumn(newColumns, u"RW"_s);
    if (rwIndex >= 0 && newRw >= 0) {
        insertNames.append(Quoted(newColumns.at(newRw).name));
        marks.append(u"?"_s);
    }
    const QString insertSql = u"insert into "_s + Quoted(newTable) + u" ("_s + insertNames.join(u", "_s)
        + u") values ("_s + marks.join(u", "_s) + u')';
    const QString updateSql = assignments.isEmpty()
        ? QString()
        : u"update "_s + Quoted(newTable) + u" set "_s + assignments.join(u", "_s) + u" where RID = ?"_s;
    const QString lookupSql = u"select RID from "_s + Quoted(newTable)
        + u" where CODE_TYPE = ? and CODE_SEQ = ? order by RID limit 1"_s;

    QSqlQuery rows = RunQueryAsIs(u"select *"_s + oldFrom, oldDb);
    // select * gives the columns in table order, the order ColumnsOf read them in.
    int ordinal = 0;
    while (rows.next()) {
        ++ordinal;
        ReportRow(ordinal, qMax(count, ordinal));
        const QString rw = rwIndex >= 0 ? rows.value(rwIndex).toString().trimmed() : QString();
        if (rw == u"0000000"_s)
            continue;
        // The version marker is always the template's: an old marker row kept beside it would
        // make the converted database look old again.
        if (SameName(rows.value(typeIndex).toString(), u"DBVersion"_s))
            continue;
        QVariantList values;
        for (const int i : std::as_const(copied))
            values.append(rows.value(i));
        const QVariant existing = FirstValue(newDb, lookupSql, { rows.value(typeIndex), rows.value(seqIndex) });
        if (existing.isNull()) {
            if (rwIndex >= 0 && newRw >= 0)
                values.append(rows.value(rwIndex));
            RunQueryAsIs(insertSql, newDb, values);
        } else if (!updateSql.isEmpty()) {
            values.append(existing);
            RunQueryAsIs(updateSql, newDb, values);
        }
    }
}

void DatabaseConversion::HelpMerge(QSqlDatabase oldDb, QSqlDatabase newDb)
{
    const QString oldTable = ExistingTable(oldDb, u"SYS_Help"_s);
    const QString newTable = ExistingTable(newDb, u"SYS_Help"_s);
    const QList<Column> oldColumns = ColumnsOf(oldDb, oldTable);
    const QString key = KeyColumn(oldColumns);
    const int keyIndex = key.isEmpty() ? -1 : IndexOfColumn(oldColumns, key);
    const int idIndex = IndexOfColumn(oldColumns, u"helpID"_s);
    const int screenIndex = IndexOfColumn(oldColumns, u"JobScreen"_s);
    const int notesIndex = IndexOfColumn(oldColumns, u"HelpText2"_s);
    // Only the user's own notes are carried; an old table without them has nothing to give.
    if (idIndex < 0 || screenIndex < 0 || notesIndex < 0)
        return;

    const QString oldFrom = u" from "_s + Quoted(oldTable);
    const int count = FirstValue(oldDb, u"select count(*)"_s + oldFrom).toInt();
    const QString updateSql = u"update "_s + Quoted(newTable) + u" set HelpText2 = ? where RID = "
                              "(select RID from "_s + Quoted(newTable)
        + u" where helpID = ? and JobScreen = ? order by RID limit 1)"_s;
    QSqlQuery rows = RunQueryAsIs(u"select *"_s + oldFrom, oldDb);
    int ordinal = 0;
    while (rows.next()) {
        ++ordinal;
        ReportRow(ordinal, qMax(count, ordinal));
        if (keyIndex >= 0 && rows.value(keyIndex).toString().trimmed().isEmpty())
            continue;
        RunQueryAsIs(updateSql, newDb,
                     { rows.value(notesIndex), rows.value(idIndex), rows.value(screenIndex) });
    }
}

void DatabaseConversion::ConvertTables(QSqlDatabase oldDb, QSqlDatabase newDb)
{
    m_startTimes.clear();
    m_oldHasCourse = !ExistingTable(oldDb, u"Course"_s).isEmpty();

    enum class Method { RowCopy, CodeMerge, HelpMerge };
    struct Step
    {
        QString newTable;
        QStringList oldNames; // the first one the old database has is converted
        Method method;
    };
    const QList<Step> steps = {
        { u"LOG"_s, { u"LOG"_s }, Method::RowCopy },
        { u"Courses"_s, { u"課程基本資料"_s, u"Courses"_s }, Method::RowCopy },
        { u"Course"_s, { u"Course"_s }, Method::RowCopy },
        { u"Booking"_s, { u"報名資料"_s, u"Booking"_s }, Method::RowCopy },
        { u"TimeLog"_s, { u"TimeLog"_s }, Method::RowCopy },
        { u"SYS_CODE"_s, { u"SYS_CODE"_s }, Method::CodeMerge },
        { u"SYS_Help"_s, { u"SYS_Help"_s }, Method::HelpMerge },
        { u"PSIO"_s, { u"PSIO"_s }, Method::RowCopy },
        // The persons, groups, messages and scores are the user's data as much as the classes
        // are: they go along too.
        { u"PSPN"_s, { u"PSPN"_s }, Method::RowCopy },
        { u"Grouping"_s, { u"Grouping"_s }, Method::RowCopy },
        { u"SMSLog"_s, { u"SMSLog"_s }, Method::RowCopy },
        { u"scores"_s, { u"scores"_s }, Method::RowCopy },
    };

    if (!newDb.transaction())
        throw DatabaseError(u"無法開始轉換交易：\n"_s + newDb.lastError().text());
    try {
        for (const Step &step : steps) {
            QString oldTable;
            for (const QString &name : step.oldNames) {
                oldTable = ExistingTable(oldDb, name);
                if (!oldTable.isEmpty())
                    break;
            }
            const QString newTable = ExistingTable(newDb, step.newTable);
            if (oldTable.isEmpty() || newTable.isEmpty())
                continue;

            m_tableLine = u"資料表："_s + newTable + u" 轉換中 "_s;
            m_lastPercent = -1;
            Report(m_tableLine, QString(), 0);
            if (m_stepHook)
                m_stepHook(newTable);
            switch (step.method) {
            case Method::RowCopy:
                RowCopy(oldDb, newDb, newTable, oldTable);
                break;
            case Method::CodeMerge:
                CodeMerge(oldDb, newDb);
                break;
            case Method::HelpMerge:
                HelpMerge(oldDb, newDb);
                break;
            }
            Report(newTable + u"     Process finish  "_s, QString(), 100);
        }
        if (!newDb.commit())
            throw DatabaseError(u"無法完成轉換交易：\n"_s + newDb.lastError().text());
    } catch (...) {
        newDb.rollback();
        throw;
    }
}

void DatabaseConversion::BackupDatabase(const QString &sourcePath, const QString &targetPath)
{
    const QString folder = QFileInfo(targetPath).absolutePath();
    if (!ForceDirectoryPath(folder))
        throw RolvanError(u"資料庫備份失敗：無法建立備份目錄 "_s + Native(folder));
    RemoveStaleBackupParts(folder);
    const QString temporary = targetPath + u".part"_s;
    RemoveSqliteFiles(temporary);
    try {
        {
            // SQLite writes a consistent snapshot of the database, rows still in its write-ahead
            // log included, however busy other connections are.
            ScopedConnection source(u"backup-source"_s);
            source.open(sourcePath, false);
            RunQueryAsIs(u"VACUUM INTO ?"_s, source.db(), { Native(temporary) });
        }
        {
            ScopedConnection copy(u"backup-check"_s);
            copy.open(temporary, false);
            RunQueryAsIs(u"PRAGMA journal_mode = DELETE"_s, copy.db());
            const QString check = IntegrityCheck(copy.db());
            if (check != u"ok"_s)
                throw RolvanError(u"備份檔檢查未通過："_s + check);
        }
        // Synchronised to the disk before it takes the backup's name.
        QString commitError;
        if (!AtomicFile::commitWrittenFile(temporary, targetPath, &commitError))
            throw RolvanError(commitError);
    } catch (const RolvanError &e) {
        RemoveSqliteFiles(temporary);
        throw RolvanError(u"資料庫備份失敗："_s + Native(targetPath) + u'\n' + e.message());
    } catch (...) {
        RemoveSqliteFiles(temporary);
        throw;
    }
}

void DatabaseConversion::ConvertInto(const QString &workingPath, const QString &templatePath,
                                     const QString &tempPath)
{
    RemoveSqliteFiles(tempPath);
    QString templateVersion;
    {
        // The template through SQLite too: the help window edits it while the program runs.
        ScopedConnection source(u"template"_s);
        source.open(templatePath, true);
        templateVersion = DbVersionOf(source.db());
        RunQueryAsIs(u"VACUUM INTO ?"_s, source.db(), { Native(tempPath) });
    }
    ScopedConnection oldConnection(u"old"_s);
    ScopedConnection newConnection(u"new"_s);
    oldConnection.open(workingPath, false);
    RunQueryAsIs(u"PRAGMA query_only = 1"_s, oldConnection.db());
    newConnection.open(tempPath, false);
    RunQueryAsIs(u"PRAGMA journal_mode = DELETE"_s, newConnection.db());
    RunQueryAsIs(u"PRAGMA synchronous = FULL"_s, newConnection.db());

    ConvertTables(oldConnection.db(), newConnection.db());

    Report(u"檢查新資料庫 "_s, QString(), 0);
    const QString check = IntegrityCheck(newConnection.db());
    if (check != u"ok"_s)
        throw RolvanError(u"新資料庫檢查未通過："_s + check);
    const QString version = DbVersionOf(newConnection.db());
    if (version != templateVersion)
        throw RolvanError(u"新資料庫的版本「"_s + version + u"」與範本的「"_s + templateVersion
                          + u"」不同"_s);
    Report(u"檢查新資料庫 "_s, QString(), 100);
}

DatabaseConversion::Result DatabaseConversion::Run(const Options &options)
{
    const Globals &g = G();
    const QString fileName = options.backupFileName.trimmed();
    if (fileName.isEmpty() || fileName.contains(u'/') || fileName.contains(u'\\')
        || fileName == u"."_s || fileName == u".."_s)
        throw RolvanError(u"備份檔名不正確：「"_s + options.backupFileName
                          + u"」\n請輸入不含目錄的檔名。"_s);
    const QString backupFolder = options.backupFolder.trimmed();
    if (backupFolder.isEmpty())
        throw RolvanError(u"請輸入備份目錄。"_s);
    if (SharedDatabaseInUse())
        return RunShared(options);
    if (options.dataFolder.trimmed().isEmpty())
        throw RolvanError(u"系統設定中的資料庫目錄是空白的，請先於系統設定指定資料庫目錄。"_s);

    const QString working = JoinPath(options.dataFolder.trimmed(), g.DbFileName);
    if (!QFileInfo(working).isFile())
        throw RolvanError(u"找不到資料庫檔案："_s + Native(working));
    if (!options.backupOnly && !QFileInfo(options.templatePath).isFile())
        throw RolvanError(u"找不到範本資料庫："_s + Native(options.templatePath));
    const QString backupPath = JoinPath(backupFolder, fileName);
    const QString tempPath = JoinPath(options.dataFolder.trimmed(), g.TempDbFileName);
    const QString backupAbsolute = QFileInfo(backupPath).absoluteFilePath();
    for (const QString &own : { working, tempPath }) {
        if (QFileInfo(own).absoluteFilePath().compare(backupAbsolute, Qt::CaseInsensitive) == 0)
            throw RolvanError(u"備份檔不可與資料庫檔案同名同目錄："_s + Native(backupPath));
    }

    Result result;
    // The working connection is opened again afterwards only when it was open: a file the
    // station refused (damaged, not ours) is never switched to the write-ahead log here.
    const bool wasOpen = m_dm.isWorkingOpen();
    m_dm.CloseWorking();
    try {
        Report(u"資料庫備份中 "_s, fileName, 0);
        BackupDatabase(working, backupPath);
        result.backupPath = backupPath;
        Report(u"資料庫備份完成 "_s, u"備份檔："_s + fileName, 100);

        if (!options.backupOnly) {
            try {
                ConvertInto(working, options.templatePath, tempPath);
                // Every connection of ours is closed now; a write-ahead log still beside the
                // working file belongs to someone else's open connection, whose writes the
                // replaced file would lose.
                if (QFileInfo::exists(working + u"-wal"_s))
                    throw RolvanError(u"資料庫仍有其他程式使用中，請關閉後再轉換："_s + Native(working));
                ReplaceFile(tempPath, working);
            } catch (const RolvanError &e) {
                RemoveSqliteFiles(tempPath);
                throw RolvanError(u"資料庫轉換失敗，原資料庫未變更；備份檔："_s + Native(backupPath)
                                  + u'\n' + e.message());
            } catch (...) {
                RemoveSqliteFiles(tempPath);
                throw;
            }
            result.converted = true;
            Report(u"資料庫轉換完成 "_s, u"備份檔："_s + fileName, 100);
        }
    } catch (...) {
        QString ignored;
        if (wasOpen)
            m_dm.OpenWorkingDatabase(working, &ignored);
        throw;
    }
    QString error;
    if (wasOpen && !m_dm.OpenWorkingDatabase(working, &error))
        throw DatabaseError(error);
    return result;
}

DatabaseConversion::Result DatabaseConversion::RunShared(const Options &options)
{
    if (!options.backupOnly)
        throw RolvanError(SharedConversionRefusal());
    SharedDatabaseBackup::Options backup;
    backup.settings = NetDbSettings::FromIni();
    backup.backupFolder = options.backupFolder.trimmed();
    backup.backupFileName = options.backupFileName.trimmed();
    backup.searchPath = options.pgDumpSearchPath;
    const QString fileName = backup.backupFileName;
    Report(u"共用資料庫備份中（pg_dump） "_s, fileName, 0);
    Result result;
    result.backupPath = SharedDatabaseBackup::Run(backup, [this, &fileName](qint64 bytes) {
        Report(u"共用資料庫備份中（pg_dump） "_s,
               fileName + u"　已寫入 "_s + QString::number((bytes + 1023) / 1024) + u" KB"_s, 0);
    });
    Report(u"共用資料庫備份完成 "_s, u"備份檔："_s + Native(result.backupPath), 100);
    return result;
}

QString DatabaseConversion::JetStagingPath(const QString &dataFolder)
{
    return JoinPath(dataFolder, u"QuorinJetStaging.db"_s);
}

DatabaseConversion::JetResult DatabaseConversion::RunFromJet(const QString &mdbPath, const Options &options)
{
    const Globals &g = G();
    const QString folder = options.dataFolder.trimmed();
    if (folder.isEmpty())
        throw RolvanError(u"系統設定中的資料庫目錄是空白的，請先於系統設定指定資料庫目錄。"_s);
    if (SharedDatabaseInUse())
        throw RolvanError(SharedConversionRefusal());
    const QString working = JoinPath(folder, g.DbFileName);
    if (QFileInfo::exists(working))
        throw RolvanError(u"資料庫檔案已存在，舊版資料庫不轉換："_s + Native(working));
    if (!QFileInfo(options.templatePath).isFile())
        throw RolvanError(u"找不到範本資料庫："_s + Native(options.templatePath));
    const QString staging = JetStagingPath(folder);
    const QString tempPath = JoinPath(folder, g.TempDbFileName);

    JetResult result;
    m_dm.CloseWorking();
    try {
        result.staging = JetStaging::Stage(mdbPath, staging, {}, [this](const JetStagingProgress &p) {
            const QString tableLine = u"讀取舊版資料表："_s + p.table + u" （"_s + QString::number(p.tableNumber)
                + u'/' + QString::number(p.tableCount) + u"） "_s;
            const qint64 count = qMax(p.rowCount, p.rowsDone);
            Report(tableLine, QString::number(count) + u"筆之 第 "_s + QString::number(p.rowsDone) + u"      "_s,
                   count > 0 ? int(p.rowsDone * 100 / count) : 100);
        });
        ConvertInto(staging, options.templatePath, tempPath);
        // A rename never replaces a file: a Quorin.db made meanwhile by someone else is kept.
        if (!QFile::rename(tempPath, working))
            throw RolvanError(u"無法建立資料庫檔案："_s + Native(working));
    } catch (const RolvanError &e) {
        RemoveSqliteFiles(tempPath);
        RemoveSqliteFiles(staging);
        throw RolvanError(u"舊版資料庫轉換失敗，舊版資料庫未變更："_s + Native(mdbPath) + u'\n' + e.message());
    } catch (...) {
        RemoveSqliteFiles(tempPath);
        RemoveSqliteFiles(staging);
        throw;
    }
    RemoveSqliteFiles(staging);
    result.databasePath = working;
    Report(u"舊版資料庫轉換完成 "_s, QString(), 100);
    QString error;
    if (!m_dm.OpenWorkingDatabase(working, &error))
        throw DatabaseError(error);
    return result;
}

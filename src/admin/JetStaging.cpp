#include "admin/JetStaging.h"

#include "base/Globals.h"
#include "base/RolvanError.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>
#include <QVariant>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mdbtools.h>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> g_connectionSerial { 0 };

// libmdb marks a row slot whose row was deleted, and keeps the offset in the low bits.
constexpr int DeletedRowFlag = 0x4000;
constexpr int RowOffsetMask = 0x1fff;
// Rows between two progress reports within a table.
constexpr qint64 ProgressEvery = 500;

QString Native(const QString &path) { return QDir::toNativeSeparators(path); }

QString Quoted(const QString &name)
{
    QString inner = name;
    inner.replace(u'"', u"\"\""_s);
    return u'"' + inner + u'"';
}

void RemoveStagingFiles(const QString &path)
{
    for (const QString &suffix : { QString(), u"-journal"_s, u"-wal"_s, u"-shm"_s })
        QFile::remove(path + suffix);
}

QString TruncatedMessage(const QString &mdbPath)
{
    return u"舊版資料庫檔案不完整（可能已被截斷或損壞），無法轉換："_s + Native(mdbPath);
}

// The first page of the file tells whether it is an Access database and which format.
struct FileHeader
{
    bool isAccess = false;
    int version = 0; // 0 Jet 3, 1 Jet 4, 2 and up the later Access formats
    qint64 pageSize = 0;
};

FileHeader ReadHeader(const QString &path)
{
    FileHeader header;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return header;
    const QByteArray start = file.read(0x20);
    if (start.size() < 0x20)
        return header;
    const QByteArray magic = start.mid(4, 15);
    header.isAccess = start.startsWith(QByteArray("\x00\x01\x00\x00", 4))
        && (magic == "Standard Jet DB" || magic == "Standard ACE DB");
    header.version = static_cast<unsigned char>(start.at(0x14));
    header.pageSize = header.version == 0 ? 2048 : 4096;
    return header;
}

// An open .mdb, closed when it goes.
struct MdbCloser
{
    void operator()(MdbHandle *mdb) const
    {
        if (mdb)
            mdb_close(mdb);
    }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbCloser>;

struct TableCloser
{
    void operator()(MdbTableDef *table) const
    {
        if (table)
            mdb_free_tabledef(table);
    }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableCloser>;

QString FromMdb(const char *text) { return QString::fromUtf8(text); }

// A string libmdb made (g_malloc), as a QString, freed.
QString TakeMdbString(char *text)
{
    const QString result = text ? QString::fromUtf8(text) : QString();
    g_free(text);
    return result;
}

// The staging column type of a Jet column. Dates are text: the tables of this system keep their
// dates and times as text, and so the conversion places them in its text columns.
QString StagingType(const MdbColumn *column)
{
    switch (column->col_type) {
    case MDB_BOOL:
        return u"BOOLEAN"_s;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return u"INTEGER"_s;
    case MDB_MONEY:
        return u"CURRENCY"_s;
    case MDB_FLOAT:
        return u"REAL"_s;
    case MDB_DOUBLE:
        return u"DOUBLE"_s;
    case MDB_NUMERIC:
        return u"DECIMAL(%1,%2)"_s.arg(column->col_prec).arg(column->col_scale);
    case MDB_DATETIME:
        return u"TEXT"_s;
    case MDB_TEXT: // Jet 4 counts the size of a text column in bytes of UCS-2
        return u"VARCHAR(%1)"_s.arg(
            qMax(1, IS_JET3(column->table->entry->mdb) ? column->col_size : column->col_size / 2));
    case MDB_MEMO:
    case MDB_REPID:
        return u"TEXT"_s;
    case MDB_BINARY:
    case MDB_OLE:
    default:
        return u"BLOB"_s;
    }
}

// A private SQLite connection for the staging file, removed when it goes.
class StagingConnection
{
public:
    StagingConnection()
        : m_name(u"JetStaging#"_s + QString::number(++g_connectionSerial))
    {
        QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
    }
    ~StagingConnection()
    {
        {
            QSqlDatabase d = db();
            d.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    StagingConnection(const StagingConnection &) = delete;
    StagingConnection &operator=(const StagingConnection &) = delete;

    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    void exec(const QString &sql) const
    {
        QSqlQuery query(db());
        if (!query.exec(sql))
            throw DatabaseError(
                u"暫存資料庫寫入失敗：\n"_s + sql + u'\n' + query.lastError().text());
    }

private:
    QString m_name;
};

// libmdb passes over pages beyond the end of the file with a warning only: a table whose
// definition or data pages lie there belongs to a file that was cut short.
void CheckPages(MdbHandle *mdb, MdbTableDef *table, qint64 pageCount, const QString &mdbPath)
{
    if (qint64(table->entry->table_pg) >= pageCount)
        throw RolvanError(TruncatedMessage(mdbPath));
    if (!table->usage_map)
        return;
    int page = 0;
    while ((page = mdb_map_find_next(mdb, table->usage_map, guint(table->map_sz), guint32(page)))
        > 0) {
        if (qint64(page) >= pageCount)
            throw RolvanError(TruncatedMessage(mdbPath));
    }
}

// Reads the rows of one table and writes them to the staging database.
class TableReader
{
public:
    TableReader(MdbHandle *mdb, MdbTableDef *table, qint64 pageCount, const QString &mdbPath)
        : m_mdb(mdb)
        , m_table(table)
        , m_pageCount(pageCount)
        , m_mdbPath(mdbPath)
        , m_name(FromMdb(table->name))
    {
    }

    JetTableSummary Run(QSqlDatabase db, const std::function<void(qint64)> &rowDone);

private:
    // The value of one field of the current row (on mdb->pg_buf), or an error text.
    QVariant Value(MdbColumn *column, const MdbField &field, QString *error);

    MdbHandle *m_mdb;
    MdbTableDef *m_table;
    qint64 m_pageCount;
    QString m_mdbPath;
    QString m_name;
    std::vector<char> m_oleBuffer;
};

QVariant TableReader::Value(MdbColumn *column, const MdbField &field, QString *error)
{
    const int type = column->col_type;
    if (type == MDB_BOOL)
        return field.is_null ? 0 : 1; // a yes/no value lives in the row's null mask: set is yes
    if (field.is_null)
        return QVariant();
    void *page = m_mdb->pg_buf;
    const int start = field.start;
    const int size = field.siz;
    switch (type) {
    case MDB_BYTE:
        return int(mdb_get_byte(page, start));
    case MDB_INT:
        return int(static_cast<qint16>(mdb_get_int16(page, start)));
    case MDB_LONGINT:
    case MDB_COMPLEX:
        return qlonglong(static_cast<qint32>(mdb_get_int32(page, start)));
    case MDB_FLOAT:
        return double(mdb_get_single(page, start));
    case MDB_DOUBLE:
        return mdb_get_double(page, start);
    case MDB_MONEY:
        return TakeMdbString(mdb_money_to_string(m_mdb, start));
    case MDB_NUMERIC:
        return TakeMdbString(
            mdb_numeric_to_string(m_mdb, start, column->col_scale, column->col_prec));
    case MDB_DATETIME: {
        const double value = mdb_get_double(page, start);
        const QString text = JetStaging::DateText(value);
        if (text.isEmpty()) {
            *error = u"欄位「"_s + FromMdb(column->name) + u"」的日期值 "_s + QString::number(value)
                + u" 不是有效的日期"_s;
            return QVariant();
        }
        return text;
    }
    case MDB_TEXT:
        if (size == 0)
            return QString(u""_s);
        return TakeMdbString(mdb_col_to_string(m_mdb, page, start, type, size));
    case MDB_MEMO: {
        if (size == 0)
            return QString(u""_s);
        // libmdb writes a memo into a buffer of its bind size: make it large enough for the
        // memo's bytes in UTF-8, so that a long memo is never cut.
        const qint64 bytes
            = size >= MDB_MEMO_OVERHEAD ? (mdb_get_int32(page, start) & 0x3fffffff) : 0;
        const size_t needed = size_t(bytes) * 3 + 16;
        mdb_set_bind_size(m_mdb, qMax<size_t>(MDB_BIND_SIZE, needed));
        return TakeMdbString(mdb_col_to_string(m_mdb, page, start, type, size));
    }
    case MDB_REPID:
        return TakeMdbString(mdb_col_to_string(m_mdb, page, start, type, size));
    case MDB_BINARY:
        return QByteArray(reinterpret_cast<const char *>(m_mdb->pg_buf) + start, size);
    case MDB_OLE: {
        if (size < MDB_MEMO_OVERHEAD)
            return QByteArray("");
        // libmdb reads an OLE object from the column's bound header and its place on the page.
        if (m_oleBuffer.size() < 65536)
            m_oleBuffer.resize(65536);
        std::memcpy(m_oleBuffer.data(), m_mdb->pg_buf + start, MDB_MEMO_OVERHEAD);
        void *savedBind = column->bind_ptr;
        column->bind_ptr = m_oleBuffer.data();
        column->cur_value_start = start;
        column->cur_value_len = size;
        size_t length = 0;
        void *data = mdb_ole_read_full(m_mdb, column, &length);
        column->bind_ptr = savedBind;
        if (!data) {
            *error = u"欄位「"_s + FromMdb(column->name) + u"」的物件無法讀取"_s;
            return QVariant();
        }
        QByteArray bytes(static_cast<const char *>(data), qsizetype(length));
        free(data);
        return bytes;
    }
    default:
        *error = u"欄位「"_s + FromMdb(column->name) + u"」的資料型態 "_s + QString::number(type)
            + u" 無法轉換"_s;
        return QVariant();
    }
}

JetTableSummary TableReader::Run(QSqlDatabase db, const std::function<void(qint64)> &rowDone)
{
    JetTableSummary summary;
    summary.table = m_name;
    summary.expected = m_table->num_rows;

    const int columnCount = int(m_table->num_cols);
    QStringList names;
    QStringList definitions;
    QStringList marks;
    for (int i = 0; i < columnCount; ++i) {
        auto *column = static_cast<MdbColumn *>(g_ptr_array_index(m_table->columns, i));
        const QString name = FromMdb(column->name);
        names.append(Quoted(name));
        definitions.append(Quoted(name) + u' ' + StagingType(column));
        marks.append(u"?"_s);
    }
    {
        QSqlQuery create(db);
        const QString sql
            = u"create table "_s + Quoted(m_name) + u" ("_s + definitions.join(u", "_s) + u')';
        if (!create.exec(sql))
            throw DatabaseError(
                u"暫存資料庫無法建立資料表「"_s + m_name + u"」：\n"_s + create.lastError().text());
    }
    QSqlQuery insert(db);
    const QString insertSql = columnCount == 0
        ? QString(u"insert into "_s + Quoted(m_name) + u" default values"_s)
        : QString(u"insert into "_s + Quoted(m_name) + u" ("_s + names.join(u", "_s)
            + u") values ("_s + marks.join(u", "_s) + u')');
    if (!insert.prepare(insertSql))
        throw DatabaseError(insertSql + u'\n' + insert.lastError().text());

    CheckPages(m_mdb, m_table, m_pageCount, m_mdbPath);

    std::vector<MdbField> fields(MDB_MAX_COLS);
    QVariantList values(columnCount);
    mdb_rewind_table(m_table);
    while (mdb_read_next_dpg(m_table) > 0) {
        const guint32 pageNumber = m_table->cur_phys_pg;
        if (qint64(pageNumber) >= m_pageCount)
            throw RolvanError(TruncatedMessage(m_mdbPath));
        const int rows = mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset);
        for (int r = 0; r < rows; ++r) {
            int start = 0;
            size_t length = 0;
            const bool found = mdb_find_row(m_mdb, r, &start, &length) == 0;
            if (found && (start & DeletedRowFlag))
                continue;
            ++summary.read;
            const auto where = [&]() -> QString {
                return u"資料表「"_s + m_name + u"」第 "_s + QString::number(summary.read)
                    + u" 筆（頁 "_s + QString::number(pageNumber) + u" 列 "_s + QString::number(r)
                    + u"）："_s;
            };
            const int fieldCount
                = found ? mdb_crack_row(m_table, start & RowOffsetMask, length, fields.data()) : -1;
            if (fieldCount < 0) {
                summary.skippedRows.append(where() + u"此列無法讀取"_s);
                rowDone(summary.read);
                continue;
            }
            for (QVariant &v : values)
                v = QVariant();
            QString error;
            for (int f = 0; f < fieldCount && error.isEmpty(); ++f) {
                const int index = fields[f].colnum;
                if (index < 0 || index >= columnCount)
                    continue;
                auto *column = static_cast<MdbColumn *>(g_ptr_array_index(m_table->columns, index));
                values[index] = Value(column, fields[f], &error);
            }
            if (!error.isEmpty()) {
                // The row's first column, usually its key, tells the user which record it is.
                auto *first = static_cast<MdbColumn *>(g_ptr_array_index(m_table->columns, 0));
                const QVariant key = values.value(0);
                if (key.isValid() && !key.isNull() && key.typeId() != QMetaType::QByteArray)
                    error = FromMdb(first->name) + u" = "_s + key.toString() + u"，"_s + error;
                summary.skippedRows.append(where() + error);
                rowDone(summary.read);
                continue;
            }
            for (const QVariant &v : std::as_const(values))
                insert.addBindValue(v);
            if (!insert.exec())
                throw DatabaseError(
                    where() + u"無法寫入暫存資料庫：\n"_s + insert.lastError().text());
            ++summary.converted;
            rowDone(summary.read);
        }
    }
    summary.skipped = summary.read - summary.converted;
    if (summary.read < summary.expected) {
        // Rows the table counts but no page holds: they cannot be named one by one.
        const qint64 missing = summary.expected - summary.read;
        summary.skipped += missing;
        summary.skippedRows.append(u"資料表「"_s + m_name + u"」記載 "_s
            + QString::number(summary.expected) + u" 筆，只找到 "_s + QString::number(summary.read)
            + u" 筆；其餘 "_s + QString::number(missing) + u" 筆無法讀取"_s);
    }
    return summary;
}

} // namespace

QString JetTableSummary::line() const
{
    return table + u"：讀取 "_s + QString::number(read) + u" 筆，轉入 "_s
        + QString::number(converted) + u" 筆，略過 "_s + QString::number(skipped) + u" 筆"_s;
}

qint64 JetStaging::Result::rowsRead() const
{
    qint64 n = 0;
    for (const JetTableSummary &t : tables)
        n += t.read;
    return n;
}

qint64 JetStaging::Result::rowsSkipped() const
{
    qint64 n = 0;
    for (const JetTableSummary &t : tables)
        n += t.skipped;
    return n;
}

QStringList JetStaging::Result::summaryLines() const
{
    QStringList lines;
    for (const JetTableSummary &t : tables)
        lines.append(t.line());
    for (const JetTableSummary &t : tables)
        lines.append(t.skippedRows);
    return lines;
}

QString JetStaging::DateText(double jetDate)
{
    if (!std::isfinite(jetDate) || jetDate < -657434.0 || jetDate >= 2958466.0)
        return QString(); // before 0100/01/01 or after 9999/12/31
    // The whole part counts days from 1899/12/30 (negative before it); the fraction, whatever
    // the sign, is the time of day.
    qint64 days = qint64(jetDate);
    qint64 seconds = std::llround(std::fabs(jetDate - double(days)) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++days;
    }
    const QDate date = QDate(1899, 12, 30).addDays(days);
    if (!date.isValid() || date.year() < 100 || date.year() > 9999)
        return QString();
    const QTime time = QTime(0, 0).addSecs(int(seconds));
    const QString timeText = time.toString(u"HH:mm:ss"_s);
    if (days == 0)
        return timeText;
    const QString dateText = u"%1/%2/%3"_s.arg(date.year(), 4, 10, QLatin1Char('0'))
                                 .arg(date.month(), 2, 10, QLatin1Char('0'))
                                 .arg(date.day(), 2, 10, QLatin1Char('0'));
    return seconds == 0 ? dateText : dateText + u' ' + timeText;
}

int JetStaging::Jet3CodePage(int fileCodePage, int fileSortOrder)
{
    switch (fileSortOrder & 0xffff) {
    case 0x0404: // Chinese (Taiwan)
    case 0x0c04: // Chinese (Hong Kong)
    case 0x1404: // Chinese (Macau)
        return 950;
    case 0x0804: // Chinese (China)
    case 0x1004: // Chinese (Singapore)
        return 936;
    default:
        break;
    }
    return fileCodePage > 0 ? fileCodePage : 1252;
}

QString JetStaging::WaitingJetDatabase(const QString &dataFolder)
{
    if (dataFolder.trimmed().isEmpty())
        return QString();
    const QString working = JoinPath(dataFolder, G().DbFileName);
    const QString jet = JoinPath(dataFolder, u"Quorin.mdb"_s);
    if (QFileInfo::exists(working) || !QFileInfo(jet).isFile())
        return QString();
    return jet;
}

QString JetStaging::OfferText() { return u"發現舊版資料庫 Quorin.mdb，是否轉換？"_s; }

JetStaging::Result JetStaging::Stage(const QString &mdbPath, const QString &stagingPath,
    const Options &options, const ProgressCallback &progress)
{
    const QFileInfo info(mdbPath);
    if (!info.isFile())
        throw RolvanError(u"找不到舊版資料庫檔案："_s + Native(mdbPath));
    if (QFileInfo(stagingPath).absoluteFilePath() == info.absoluteFilePath())
        throw RolvanError(u"暫存資料庫不可與舊版資料庫同名："_s + Native(stagingPath));
    const FileHeader header = ReadHeader(mdbPath);
    if (!header.isAccess)
        throw RolvanError(u"這不是 Access 資料庫檔案，無法轉換："_s + Native(mdbPath));
    const qint64 size = info.size();
    if (size < 2 * header.pageSize || size % header.pageSize != 0)
        throw RolvanError(TruncatedMessage(mdbPath));
    const qint64 pageCount = size / header.pageSize;

    // libmdb opens the file for reading only.
    MdbPtr mdb(mdb_open(QFile::encodeName(info.absoluteFilePath()).constData(), MDB_NOFLAGS));
    if (!mdb)
        throw RolvanError(u"無法開啟舊版資料庫（檔案損壞或格式不支援）："_s + Native(mdbPath));

    Result result;
    result.stagingPath = stagingPath;
    result.jetVersion = mdb->f->jet_version == MDB_VER_JET3 ? 3
        : mdb->f->jet_version == MDB_VER_JET4               ? 4
                                                            : 10 + int(mdb->f->jet_version);
    // A database password (the INI's DbPassword) is a check the Access engine makes before it
    // opens the file; the pages are not protected by it, and the pages of an encoded file are
    // decoded by libmdb itself: the file is read without the password.
    if (mdb->f->jet_version == MDB_VER_JET3) {
        const int codePage = options.jet3CodePage > 0
            ? options.jet3CodePage
            : Jet3CodePage(mdb->f->code_page, mdb->f->lang_id);
        mdb_iconv_close(mdb.get());
        mdb->f->code_page = guint16(codePage);
        mdb_iconv_init(mdb.get());
    }
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE))
        throw RolvanError(TruncatedMessage(mdbPath));

    QList<MdbCatalogEntry *> entries;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE)
            continue;
        if (mdb_is_user_table(entry)) {
            entries.append(entry);
        } else {
            // The system tables (the catalog among them) must be whole too.
            TablePtr table(qint64(entry->table_pg) < pageCount ? mdb_read_table(entry) : nullptr);
            if (!table)
                throw RolvanError(TruncatedMessage(mdbPath));
            CheckPages(mdb.get(), table.get(), pageCount, mdbPath);
        }
    }

    RemoveStagingFiles(stagingPath);
    try {
        StagingConnection connection;
        {
            QSqlDatabase db = connection.db();
            db.setDatabaseName(stagingPath);
            if (!db.open())
                throw DatabaseError(
                    u"無法建立暫存資料庫 "_s + Native(stagingPath) + u'\n' + db.lastError().text());
        }
        connection.exec(u"PRAGMA journal_mode = DELETE"_s);
        connection.exec(u"PRAGMA synchronous = FULL"_s);
        QSqlDatabase db = connection.db();
        if (!db.transaction())
            throw DatabaseError(u"無法開始暫存資料庫交易：\n"_s + db.lastError().text());
        const int tableCount = int(entries.size());
        for (int t = 0; t < tableCount; ++t) {
            MdbCatalogEntry *entry = entries.at(t);
            TablePtr table(mdb_read_table(entry));
            if (!table || !mdb_read_columns(table.get()))
                throw RolvanError(TruncatedMessage(mdbPath));
            JetStagingProgress step;
            step.table = FromMdb(table->name);
            step.tableNumber = t + 1;
            step.tableCount = tableCount;
            step.rowCount = table->num_rows;
            if (progress)
                progress(step);
            TableReader reader(mdb.get(), table.get(), pageCount, mdbPath);
            JetTableSummary summary = reader.Run(db, [&](qint64 done) {
                if (progress && done % ProgressEvery == 0) {
                    step.rowsDone = done;
                    progress(step);
                }
            });
            step.rowsDone = summary.read;
            if (progress)
                progress(step);
            result.tables.append(summary);
        }
        if (!db.commit())
            throw DatabaseError(u"無法完成暫存資料庫交易：\n"_s + db.lastError().text());
    } catch (...) {
        RemoveStagingFiles(stagingPath);
        throw;
    }
    return result;
}

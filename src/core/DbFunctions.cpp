#include "core/DbFunctions.h"

#include "Fun/DateTimeFunctions.h"
#include "core/JetFunctions.h"
#include "core/NetDatabase.h"
#include "core/Schema.h"
#include "base/RolvanError.h"
#include "platform/Prompter.h"

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// What a result column holds, as far as the empty-result rules care.
enum class ColumnKind
{
    Text,       // variable, fixed and wide text, memo
    DateTime,   // date with time of day
    Date,       // date only
    Integer,    // 16, 32 and 64-bit whole numbers
    Float,      // floating point
    Decimal,    // exact decimal numbers
    AutoNumber, // row identity counted by the database
    Other,      // yes/no, time, currency, binary and every other type
    Unknown     // an expression whose type nothing tells (no row, or NULL)
};

ColumnKind kindOfDeclaredType(const QString &declared)
{
    const QString type = declared.trimmed().toUpper();
    const QString word = type.section(u'(', 0, 0).trimmed();
    if (word.contains(u"CHAR"_s) || word.contains(u"TEXT"_s) || word.contains(u"CLOB"_s)
        || word.contains(u"MEMO"_s) || word.contains(u"STRING"_s) || word == u"CITEXT"_s)
        return ColumnKind::Text;
    if (word.startsWith(u"DATETIME"_s) || word.startsWith(u"TIMESTAMP"_s))
        return ColumnKind::DateTime;
    if (word == u"DATE"_s)
        return ColumnKind::Date;
    if (word.contains(u"COUNTER"_s) || word.contains(u"AUTOINCREMENT"_s)
        || word.contains(u"SERIAL"_s))
        return ColumnKind::AutoNumber;
    if (word.contains(u"BOOL"_s) || word == u"BIT"_s || word.contains(u"YESNO"_s)
        || word.contains(u"CURRENCY"_s) || word.contains(u"MONEY"_s) || word.contains(u"BLOB"_s)
        || word.contains(u"BINARY"_s) || word == u"TIME"_s || word.contains(u"BYTEA"_s))
        return ColumnKind::Other;
    if (word.contains(u"INT"_s))
        return ColumnKind::Integer;
    if (word.contains(u"REAL"_s) || word.contains(u"FLOA"_s) || word.contains(u"DOUB"_s))
        return ColumnKind::Float;
    if (word.contains(u"DEC"_s) || word.contains(u"NUMERIC"_s))
        return ColumnKind::Decimal;
    return ColumnKind::Other;
}

ColumnKind kindOfMetaType(const QMetaType &type)
{
    switch (type.id()) {
    case QMetaType::QString:
    case QMetaType::QChar:
        return ColumnKind::Text;
    case QMetaType::QDateTime:
        return ColumnKind::DateTime;
    case QMetaType::QDate:
        return ColumnKind::Date;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return ColumnKind::Integer;
    case QMetaType::Float:
    case QMetaType::Double:
        return ColumnKind::Float;
    case QMetaType::UnknownType:
        return ColumnKind::Unknown;
    default:
        return ColumnKind::Other;
    }
}

// An empty text that is not a null QString (a null one would be bound as NULL).
QString emptyText()
{
    return QString::fromLatin1("", 0);
}

QString errorMessage(const QString &sql, const QString &detail)
{
    QString message = sql.trimmed();
    if (!detail.trimmed().isEmpty())
        message += u'\n' + detail.trimmed();
    return message;
}

// Jet took values as pasted text, where a missing text is simply empty: a null QString is
// bound as "" so that it never turns a comparison into NULL. QVariant() still binds NULL.
QVariant bindable(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QVariant(emptyText());
    // Yes/no columns hold 0 and 1 on both databases.
    if (value.typeId() == QMetaType::Bool)
        return QVariant(value.toBool() ? 1 : 0);
    return value;
}

// How the values of a statement are bound.
enum class Binding
{
    Jet,  // a null text as the empty text, yes/no as 0 and 1 (bindable)
    AsIs  // every value exactly as given
};

// Runs a statement on query, its values bound as given: a statement without values is sent as it
// is on PostgreSQL, which prepares only statements that read or write rows (not CREATE, DROP,
// SET, ...). False with the reason in query.lastError(); *prepared tells whether the statement
// got as far as being prepared.
bool execBound(QSqlQuery &query, const QString &sql, const QSqlDatabase &db,
               const QVariantList &params, bool *prepared)
{
    *prepared = true;
    if (params.isEmpty() && IsPostgres(db))
        return query.exec(sql);
    if (!query.prepare(sql)) {
        *prepared = false;
        return false;
    }
    for (const QVariant &value : params)
        query.addBindValue(value);
    return query.exec();
}

QVariantList bindableValues(const QVariantList &params)
{
    QVariantList values;
    values.reserve(params.size());
    for (const QVariant &value : params)
        values << bindable(value);
    return values;
}

// Prepares and runs a statement with its values bound; throws DatabaseError when the
// connection is not open or the database rejects the statement.
QSqlQuery runStatement(const QString &sql, QSqlDatabase db, const QVariantList &params,
                       bool forwardOnly = true, Binding binding = Binding::Jet)
{
    // The link to the shared database was lost and closed by an earlier statement: connect
    // anew (with the settings it was opened with) before telling that it is closed.
    if (IsLostPostgres(db) && !ReconnectLostPostgres(db))
        throw DatabaseError(LostConnectionMessage(db) + u"\n"_s + db.lastError().text().trimmed());
    if (!db.isValid() || !db.isOpen()) {
        QString name = db.isValid() ? db.databaseName() : QString();
        if (name.startsWith(u"file:"_s)) // opened by URI: show the file itself
            name = QDir::toNativeSeparators(QUrl(name).toLocalFile());
        throw DatabaseError(
            errorMessage(sql, u"資料庫未開啟"_s + (name.isEmpty() ? QString() : u" "_s + name)));
    }
    QSqlQuery query(db);
    query.setForwardOnly(forwardOnly);
    bool prepared = true;
    const bool ran = execBound(query, sql, db,
                               binding == Binding::Jet ? bindableValues(params) : params,
                               &prepared);
    if (!prepared)
        throw DatabaseError(errorMessage(sql, query.lastError().text()));
    if (!ran) {
        const QString detail = query.lastError().text();
        query = QSqlQuery();
        if (DropLostPostgresConnection(db))
            throw DatabaseError(LostConnectionMessage(db) + u"\n"_s + detail.trimmed());
        throw DatabaseError(errorMessage(sql, detail));
    }
    return query;
}

// What the first value of no row or NULL is.
enum class EmptyRule
{
    In, // QueryValueIn
    On  // QueryValueOn
};

QVariant emptyValue(ColumnKind kind, EmptyRule rule)
{
    switch (kind) {
    case ColumnKind::Text:
        return QVariant(emptyText());
    case ColumnKind::DateTime:
        return rule == EmptyRule::In ? QVariant(emptyText()) : QVariant(QDate(1990, 1, 1));
    case ColumnKind::Date:
        return rule == EmptyRule::In ? QVariant() : QVariant(QDate(1990, 1, 1));
    case ColumnKind::Integer:
    case ColumnKind::Float:
    case ColumnKind::Decimal:
        return QVariant(0);
    case ColumnKind::AutoNumber:
        return rule == EmptyRule::In ? QVariant(0) : QVariant();
    case ColumnKind::Other:
    case ColumnKind::Unknown:
        break;
    }
    return QVariant();
}

QString dateTimeText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime at = value.toDateTime();
        QString text = at.date().toString(u"yyyy/MM/dd"_s);
        if (at.time() != QTime(0, 0))
            text += u' ' + at.time().toString(u"hh:mm:ss"_s);
        return text;
    }
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().toString(u"yyyy/MM/dd"_s);
    return value.toString().trimmed();
}

QVariant firstValue(const QString &sql, const QSqlDatabase &db, const QVariantList &params,
                    EmptyRule rule)
{
    QSqlQuery query = runStatement(sql, db, params);
    const bool hasRow = query.next();
    const bool isNull = !hasRow || query.isNull(0);
    const QVariant value = hasRow ? query.value(0) : QVariant();

    // The declared type of the column decides; an expression has none and is judged by
    // what the driver reports for it.
    const QString declared = SqliteDeclaredColumnType(db, sql, 0);
    ColumnKind kind = ColumnKind::Unknown;
    if (!declared.isEmpty())
        kind = kindOfDeclaredType(declared);
    else if (query.record().count() > 0)
        kind = kindOfMetaType(query.record().field(0).metaType());
    if (kind == ColumnKind::Unknown && !isNull)
        kind = kindOfMetaType(value.metaType());

    if (isNull)
        return emptyValue(kind, rule);
    if (kind == ColumnKind::Text)
        return QVariant(value.toString().trimmed());
    if (kind == ColumnKind::DateTime)
        return QVariant(dateTimeText(value));
    return value;
}

bool isPlainIdentifier(const QString &name)
{
    static const QRegularExpression pattern(u"^[\\p{L}_][\\p{L}\\p{N}_]*$"_s);
    return pattern.match(name).hasMatch();
}

void requireIdentifier(const QString &name, const QString &what)
{
    if (!isPlainIdentifier(name))
        throw DatabaseError(what + u"名稱不正確：「"_s + name + u"」"_s);
}

// The declared character size of a column ("TEXT(10)" gives 10), -1 when it declares none.
int declaredColumnSize(const QSqlDatabase &db, const QString &table, const QString &field)
{
    if (db.driverName() == u"QSQLITE"_s) {
        QSqlQuery query = runStatement(
            u"select type from pragma_table_info(?) where upper(name) = upper(?)"_s, db,
            {table, field});
        if (query.next()) {
            static const QRegularExpression size(u"\\(\\s*(\\d+)"_s);
            const QRegularExpressionMatch match = size.match(query.value(0).toString());
            if (match.hasMatch())
                return match.captured(1).toInt();
        }
        return -1;
    }
    // PostgreSQL's case-blind text type has no length of its own: the schema tells it.
    const int declared = DeclaredTextSize(table, field);
    if (declared > 0)
        return declared;
    // The columns as a statement sees them (the driver's table look-up minds letter case).
    QSqlQuery columns = runStatement(u"select * from "_s + table + u" where 1 = 0"_s, db, {});
    const QSqlField column = columns.record().field(field);
    return column.length() > 0 ? column.length() : -1;
}

// Characters of a text column declared without a size.
constexpr int UnsizedTextLength = 255;

QString nextSerial(const QSqlDatabase &db, const QString &table, const QString &condition,
                   const QVariantList &conditionParams, const QString &prefix,
                   const QString &field, int width)
{
    requireIdentifier(table, u"資料表"_s);
    requireIdentifier(field, u"欄位"_s);

    QVariantList params = conditionParams;
    QString sql = u"select "_s + field + u" From "_s + table + u" where "_s + condition + field;
    if (!prefix.isEmpty()) {
        sql += u" like ? escape '\\' order by "_s;
        params << BeginsWith(prefix);
    } else {
        sql += u" < 'A' order by "_s;
    }
    sql += field + u" Desc"_s;

    int codeLength = declaredColumnSize(db, table, field);
    if (codeLength <= 0)
        codeLength = UnsizedTextLength;
    if (width > 0)
        codeLength = width;
    const int digits = int(codeLength - prefix.size());

    QSqlQuery query = runStatement(sql, db, params);
    if (!query.next())
        return prefix + ZeroPad(1, digits);
    const QString code = query.value(0).toString();
    const QString numberPart = code.mid(prefix.size(), digits).trimmed();
    return prefix + ZeroPad(StrToIntSafe(numberPart) + 1, digits);
}

} // namespace

QVariant QueryValueOn(const QString &sql, QSqlDatabase db, const QVariantList &params)
{
    return firstValue(sql, db, params, EmptyRule::On);
}

bool ExecSqlOn(const QString &sql, QSqlDatabase db, const QVariantList &params)
{
    QString detail;
    if (sql.trimmed().isEmpty()) {
        // SQLite takes an empty statement as nothing to do; it is a failed statement here.
        detail = u"空白的 SQL 指令"_s;
    } else {
        try {
            runStatement(sql, db, params);
            return true;
        } catch (const DatabaseError &error) {
            detail = error.message();
        }
    }
    qWarning().noquote() << "ExecSqlOn:" << detail;
    CurrentPrompter().ShowError(sql + u"\n執行失敗"_s);
    return false;
}

void ExecSqlScript(const QString &text, QSqlDatabase db)
{
    QString rest = text.trimmed();
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf(u';');
        if (end < 0) {
            ExecSqlOn(rest, db);
            break;
        }
        ExecSqlOn(rest.left(end), db);
        rest = rest.mid(end + 1).trimmed();
    }
}

bool TableExistsOn(const QString &name, QSqlDatabase db)
{
    if (!db.isValid() || !db.isOpen())
        return false;
    if (IsPostgres(db)) {
        // The tables this connection sees, its own temporary work tables included.
        if (!isPlainIdentifier(name))
            return false;
        QSqlQuery query = runStatement(u"select to_regclass(?) is not null"_s, db, {name});
        return query.next() && query.value(0).toBool();
    }
    const QString wanted = name.toUpper();
    const QStringList tables = db.tables(QSql::Tables);
    for (const QString &table : tables) {
        if (table.toUpper() == wanted)
            return true;
    }
    return false;
}

bool FieldExists(const QString &name, const QString &table, QSqlDatabase db)
{
    requireIdentifier(table, u"資料表"_s);
    QSqlQuery query = runStatement(u"select * from "_s + table + u" where 1 = 0"_s, db, {});
    const QSqlRecord record = query.record();
    QString joined;
    for (int i = 0; i < record.count(); ++i) {
        // PostgreSQL gives the names in small letters: the schema knows how they are written.
        const QString fieldName = record.fieldName(i).trimmed();
        const ColumnDef *column = FindColumn(table, fieldName);
        joined += u':' + (column ? column->name : fieldName) + u'!';
    }
    return joined.contains(name);
}

void BlankTextFieldsToNull(QSqlRecord &record)
{
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField field = record.field(i);
        if (field.metaType().id() != QMetaType::QString)
            continue;
        if (!record.isNull(i) && record.value(i).toString().isEmpty())
            record.setNull(i);
        if (record.fieldName(i).contains(u"Memo"_s, Qt::CaseInsensitive) && record.isNull(i))
            record.setValue(i, QVariant(emptyText()));
    }
}

QSqlQuery RunQuery(const QString &sql, QSqlDatabase db, const QVariantList &params)
{
    return runStatement(sql, db, params);
}

QSqlQuery RunQueryAsIs(const QString &sql, QSqlDatabase db, const QVariantList &params)
{
    return runStatement(sql, db, params, /*forwardOnly=*/true, Binding::AsIs);
}

QSqlQuery RunQueryOrSqlError(const QString &sql, QSqlDatabase db, const QVariantList &params)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool prepared = true;
    if (!execBound(query, sql, db, params, &prepared))
        throw query.lastError();
    return query;
}

QVariant BindableValue(const QVariant &value)
{
    return bindable(value);
}

QString BeginsWith(const QString &prefix)
{
    QString escaped = prefix;
    escaped.replace(u'\\', u"\\\\"_s);
    escaped.replace(u'%', u"\\%"_s);
    escaped.replace(u'_', u"\\_"_s);
    return escaped + u'%';
}

void RecreateWorkTable(QSqlDatabase db, const QString &table, const QString &createStatement)
{
    requireIdentifier(table, u"資料表"_s);
    static const QRegularExpression create(u"^\\s*create\\s+table\\s+"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    QString statement = createStatement;
    statement.replace(create, u"create temporary table "_s);
    if (IsPostgres(db)) {
        // Text of any length, as on SQLite: a long snapshot path must not stop a report.
        static const QRegularExpression sized(u"\\b(?:var)?char\\s*\\(\\s*\\d+\\s*\\)"_s,
                                              QRegularExpression::CaseInsensitiveOption);
        statement.replace(sized, u"text"_s);
    }
    if (TableExistsOn(table, db))
        runStatement(u"drop table "_s + table, db, {});
    runStatement(statement, db, {});
}

QVariant QueryValueIn(const QString &sql, QSqlDatabase db, const QVariantList &params)
{
    return firstValue(sql, db, params, EmptyRule::In);
}

QStringList QueryToListOn(const QString &fieldName, const QString &sql, QSqlDatabase db,
                          const QVariantList &params)
{
    QSqlQuery query = runStatement(sql, db, params);
    int column = 0;
    if (!fieldName.isEmpty()) {
        column = query.record().indexOf(fieldName);
        if (column < 0)
            throw DatabaseError(errorMessage(sql, u"找不到欄位 "_s + fieldName));
    }
    QStringList list;
    while (query.next())
        list << query.value(column).toString();
    return list;
}

void ExecSqlQuiet(const QString &sql, QSqlDatabase db, const QVariantList &params)
{
    try {
        runStatement(sql, db, params);
    } catch (const DatabaseError &error) {
        qWarning().noquote() << "ExecSql:" << error.message();
    }
}

QString NextSerialNumberOn(QSqlDatabase db, const QString &table, const QString &prefix,
                           const QString &field, int width)
{
    return nextSerial(db, table, QString(), {}, prefix, field, width);
}

QString NextSerialNumberWhereOn(QSqlDatabase db, const QString &table, const QString &condition,
                                const QVariantList &conditionParams, const QString &prefix,
                                const QString &field)
{
    // The condition is joined in front of the field's own test.
    if (!condition.trimmed().isEmpty()
        && !condition.trimmed().endsWith(u" and"_s, Qt::CaseInsensitive))
        throw DatabaseError(u"查詢條件必須以 and 結尾："_s + condition);
    QString joined = condition;
    if (!joined.isEmpty() && !joined.endsWith(u' '))
        joined += u' ';
    return nextSerial(db, table, joined, conditionParams, prefix, field, 0);
}

QSqlQuery RunModelQuery(const QString &sql, QSqlDatabase db, const QVariantList &params)
{
    return runStatement(sql, db, params, /*forwardOnly=*/false);
}

QSqlQuery PrepareOn(const QString &sql, QSqlDatabase db)
{
    QSqlQuery query(db);
    if (!query.prepare(sql))
        throw DatabaseError(errorMessage(sql, query.lastError().text()));
    return query;
}

void ExecPrepared(QSqlQuery &query)
{
    if (!query.exec())
        throw DatabaseError(errorMessage(query.lastQuery(), query.lastError().text()));
}

void ExecPrepared(QSqlQuery &query, const QVariantList &params)
{
    for (qsizetype i = 0; i < params.size(); ++i)
        query.bindValue(int(i), bindable(params.at(i)));
    ExecPrepared(query);
}

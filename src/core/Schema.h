#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The attendance database schema, described once. The SQLite template and the PostgreSQL
// DDL are both produced from this description, so the two never drift apart.

enum class ColumnType
{
    AutoNumber, // 32-bit row identity, incremented by the database
    Text,       // Unicode text of at most `size` characters (255 when no size is given)
    Memo,       // long text
    Integer16,
    Integer32,
    YesNo,      // stored as 0/1 (SQLite boolean affinity, PostgreSQL smallint)
    Number      // floating point
};

struct ColumnDef
{
    QString name;
    ColumnType type = ColumnType::Text;
    int size = 0; // characters of a Text column; 0 = no size given (255 is used)

    bool isText() const { return type == ColumnType::Text || type == ColumnType::Memo; }
    // The size the database declares: the given size, 255 for unsized text, 0 for anything else.
    int declaredSize() const;
};

struct IndexDef
{
    QString name;
    QStringList columns;
};

struct TableDef
{
    QString name;
    QList<ColumnDef> columns; // in the order they stand in the table
    QList<IndexDef> indexes;

    // Column by name, compared without regard to letter case; nullptr when absent.
    const ColumnDef *findColumn(const QString &column) const;
    QStringList columnNames() const;
};

// Size given to text columns described without one.
constexpr int DefaultTextSize = 255;

// Every permanent table of the attendance database, in creation order. The report work
// tables (IO_RPT200, IO_RPT300, IO_SCORE00) are not part of it: the reports make them.
const QList<TableDef> &SchemaTables();

// Table by name, compared without regard to letter case; nullptr when absent.
const TableDef *FindTable(const QString &name);

// Column of a table by names, both compared without regard to letter case; nullptr when absent.
const ColumnDef *FindColumn(const QString &table, const QString &column);

// The names of every table, in creation order.
QStringList SchemaTableNames();

// The column names of a table in table order; empty for an unknown table.
QStringList TableColumnNames(const QString &table);

// The declared character size of a text column (255 for text without a size), 0 for a memo or
// a column of another type, -1 when the table or column is unknown. Used where the code length
// of a column matters and the database cannot tell it (PostgreSQL citext has no length).
int DeclaredTextSize(const QString &table, const QString &column);

// A column as written inside CREATE TABLE on each database: name, type, collation or check.
QString SqliteColumnDefinition(const ColumnDef &column);
QString PostgresColumnDefinition(const ColumnDef &column);

// One CREATE TABLE statement for the given table.
QString SqliteCreateTableStatement(const TableDef &table);
QString PostgresCreateTableStatement(const TableDef &table);

// The statements that make an empty attendance database: tables, then indexes. Each statement is
// one string without a trailing semicolon; all of them may be run again on an existing database.
QStringList SqliteSchemaStatements();

// The same for PostgreSQL: the citext extension (text compares without regard to case, as Jet
// did), the Access-style helper functions mid, val, ucase, lcase and len (the ones a SQLite
// connection registers), the tables and the indexes.
// It also makes the enrolment generation: a one-row table whose number every write to Booking or
// PSPN counts up (statement triggers), read by every station before it identifies a person.
QStringList PostgresSchemaStatements();

// The part of it that is not tables: the citext extension and the helper functions.
QStringList PostgresHelperStatements();

// The one-row table of the enrolment generation on PostgreSQL.
inline const QString EnrolmentChangesTable = QStringLiteral("rolvan_enrolment_changes");

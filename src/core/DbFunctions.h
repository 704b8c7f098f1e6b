#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

// Database helpers, each on the connection it is handed. Every value travels as a bound
// parameter: the statement text holds "?" where a value goes and params holds the values in
// order. A null QString is bound as the empty text it stands for; pass QVariant() to bind NULL
// (RunQueryAsIs and RunQueryOrSqlError bind every value exactly as given).
//
// A statement the database rejects throws DatabaseError (message: the statement and the
// database's own error text), except in ExecSqlQuiet, which only logs it, ExecSqlOn and
// ExecSqlScript, which report it with "執行失敗", and RunQueryOrSqlError, which throws the
// driver's QSqlError.

// A statement run with its values bound, its rows read forward only; a closed connection or a
// statement the database rejects throws DatabaseError with the statement and the reason.
QSqlQuery RunQuery(const QString &sql, QSqlDatabase db, const QVariantList &params = {});
// RunQuery binding every value exactly as given: a null QString binds NULL, as for rows copied
// from one database to another or records whose blank texts are stored as NULL.
QSqlQuery RunQueryAsIs(const QString &sql, QSqlDatabase db, const QVariantList &params = {});
// A statement on a connection of the shared database's set-up and checks, values bound as
// given: nothing connects anew, and a statement the server rejects throws the driver's
// QSqlError, from which the caller words the server's reply itself.
QSqlQuery RunQueryOrSqlError(const QString &sql, QSqlDatabase db, const QVariantList &params = {});
// RunQuery whose rows can be read back and forth, as a grid's QSqlQueryModel needs them.
QSqlQuery RunModelQuery(const QString &sql, QSqlDatabase db, const QVariantList &params = {});

// A statement prepared once on db, to be run for many rows: the caller binds each row's values
// and runs it with ExecPrepared, or hands them to ExecPrepared, which binds them by position as
// RunQuery does. Both throw DatabaseError with the statement and the reason.
QSqlQuery PrepareOn(const QString &sql, QSqlDatabase db);
void ExecPrepared(QSqlQuery &query);
void ExecPrepared(QSqlQuery &query, const QVariantList &params);

// The value as it is bound: a missing text is the empty text it stands for, never NULL.
QVariant BindableValue(const QVariant &value);

// A LIKE pattern that matches texts beginning with prefix, its own "%", "_" and "\" taken
// literally; the statement says "like ? escape '\'".
QString BeginsWith(const QString &prefix);

// The first column of the first row, by the column's declared type:
//   a value that is not NULL: text and date-time columns give their text without surrounding
//   blanks, any other column its value as it is;
//   no row or NULL: text and date-time give "", whole and decimal numbers give 0, anything
//   else (yes/no, date, time, currency, binary, an expression without a row) a null variant.
QVariant QueryValueIn(const QString &sql, QSqlDatabase db, const QVariantList &params = {});

// The same, except for no row or NULL: text gives "", date and date-time give the date
// 1990/1/1, numbers give 0, anything else a null variant.
QVariant QueryValueOn(const QString &sql, QSqlDatabase db, const QVariantList &params = {});

// Every row's column named fieldName (the first column when fieldName is empty) as text.
QStringList QueryToListOn(const QString &fieldName, const QString &sql, QSqlDatabase db,
                          const QVariantList &params = {});

// Runs a statement that returns no rows; a database error is only logged.
void ExecSqlQuiet(const QString &sql, QSqlDatabase db, const QVariantList &params = {});

// Runs a statement; a database error shows the statement followed by "執行失敗" and gives
// false.
bool ExecSqlOn(const QString &sql, QSqlDatabase db, const QVariantList &params = {});

// Runs the ";"-separated statements of a text one by one with ExecSqlOn. Each failing
// statement (an empty one between two ";" too) is reported and the next one still runs.
void ExecSqlScript(const QString &text, QSqlDatabase db);

// Whether a user table of that name exists, names compared in upper case.
bool TableExistsOn(const QString &name, QSqlDatabase db);

// Whether the text occurs in ":" + column + "!" of the table's columns joined in order: pass
// ":NAME!" for an exact column, a bare text to match any column name containing it.
bool FieldExists(const QString &name, const QString &table, QSqlDatabase db);

// The next code of a column of codes made of a prefix and a zero-padded number: the largest
// code with that prefix (text order; with an empty prefix the codes sorting before "A") plus 1,
// padded to the code length (the column's declared size, or width when width > 0) minus the
// prefix length. Table and field are names the program supplies.
QString NextSerialNumberOn(QSqlDatabase db, const QString &table, const QString &prefix,
                           const QString &field, int width);

// The same restricted by a condition of the program's own with "?" placeholders for
// conditionParams; the condition must end with " and " (for example " Index_key = ? and ").
QString NextSerialNumberWhereOn(QSqlDatabase db, const QString &table, const QString &condition,
                                const QVariantList &conditionParams, const QString &prefix,
                                const QString &field);

// Before a record is stored: empty text columns become NULL; then a NULL column whose name
// contains "Memo" becomes the empty text.
void BlankTextFieldsToNull(QSqlRecord &record);

// Makes a report work table (IO_RPT200, IO_RPT300, IO_SCORE00) anew from its "Create Table"
// statement, as a temporary table of the connection: two stations producing reports at once
// on a shared database each have their own. On PostgreSQL its text columns take any length,
// as SQLite's do. Throws DatabaseError.
void RecreateWorkTable(QSqlDatabase db, const QString &table, const QString &createStatement);

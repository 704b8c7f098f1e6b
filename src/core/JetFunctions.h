#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

// Statements of the station keep a few habits of the Access dialect. On a SQLite connection
// they are provided as functions with the Access meaning:
//   mid(text, start[, length])  characters from the 1-based start (to the end without length)
//   val(text)                   the number the text begins with (blanks skipped), 0 when none
//   ucase(text), lcase(text)    upper and lower case of the whole text (not only A-Z)
//   len(text)                   number of characters
// A NULL argument gives NULL. Returns false (with *error) when db is no open SQLite connection.
bool RegisterJetFunctions(const QSqlDatabase &db, QString *error = nullptr);

// The Access Val() of a text: blanks, tabs and line breaks are skipped anywhere, then an
// optional sign, digits with one decimal point and an exponent (E or D) are read up to the
// first other character; "&H" and "&O" read hexadecimal and octal numbers. A whole result
// comes back as qlonglong, any other as double; no number gives 0.
QVariant JetVal(const QString &text);

// The declared type of a result column of a statement on a SQLite connection ("TEXT(10)",
// "INTEGER", "DATE", ...), empty when the column is an expression or the statement cannot
// be prepared; *ok tells whether the connection is SQLite and the statement was understood.
QString SqliteDeclaredColumnType(const QSqlDatabase &db, const QString &sql, int column,
                                 bool *ok = nullptr);

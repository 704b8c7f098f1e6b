#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

// The CSV files of the grids: UTF-8 with a byte-order mark, one line of column titles, then
// one line per row, every line ended by "\r\n" (a Windows text file, as spreadsheet programs
// expect). A value is put between double quotes only when it holds the separator, a double
// quote or a line break (its quotes doubled); every other value is written as it stands.

// The text of one value as it goes into the file.
QString CsvField(const QString &value, QChar separator);

// Writes the whole file to an open device; false when the device refused the bytes.
bool WriteCsv(
    QIODevice &out, const QStringList &header, const QList<QStringList> &rows, QChar separator);

// Writes the file at path through AtomicFile, so a failed export (a full disk included) never
// leaves an empty or half file in place of the old one. On failure *error, when given, holds
// the message with the path and the reason.
bool ExportRowsToCsvFile(const QString &path, const QStringList &header,
    const QList<QStringList> &rows, QChar separator, QString *error = nullptr);

// Reading CSV text: fields split at the separator; a double quote opens a quoted part wherever it
// stands, in which "" is one quote and separators and line breaks are text. Fields are kept as
// they stand (blanks, a carriage return before a line feed included). A record ends at a line
// feed outside quotes, or with AnyLineBreak at a carriage return too (so CR LF, LF and CR each
// end one). A record holding no character at all (an empty line, the nothing after the last
// line break) is left out.
enum class CsvRecordEnd { LineFeed, AnyLineBreak };

struct CsvTextRecord
{
    int line = 1; // the line on which the record starts, lines counted by line feeds from 1
    QStringList fields;
};

QList<CsvTextRecord> SplitCsvRecords(const QString &text, QChar separator, CsvRecordEnd recordEnd);

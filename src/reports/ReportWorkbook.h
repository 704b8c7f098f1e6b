#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The Excel workbook written beside each report CSV file, for staff who open the outputs in a
// spreadsheet: the CSV file stays as the agency reads it, while a spreadsheet opening it would
// turn station "01" into 1, event time "082521" into 82521, "09:00" into a time of day, and a
// value beginning with "=", "+", "-" or "@" into a formula. The workbook holds the same titles
// and rows in one sheet:
//   - every value is a text cell (never a formula), except in the columns marked as numbers,
//     where a value that reads as a number is a number cell (an empty one stays empty, any
//     other text stays text);
//   - the title row is frozen;
//   - each column is as wide as its widest value, a CJK character counting as two.
// The workbook is written under a temporary name in the target's folder and renamed over the
// target when complete (AtomicFile::commitWrittenFile), so a failure keeps the old file.

enum class WorkbookCell { Text, Number };

// Returns whether the workbook was written, with the reason (naming the file) in *error.
bool WriteReportWorkbook(const QString &path, const QString &sheetName, const QStringList &titles,
                         const QList<QStringList> &rows, const QList<WorkbookCell> &kinds,
                         QString *error = nullptr);

// "<folder>/<name>.xlsx" for "<folder>/<name>.csv".
QString WorkbookPathFor(const QString &csvPath);

// The width of a text in spreadsheet columns: two for each CJK or full-width character, one
// for any other.
int WorkbookTextWidth(const QString &text);

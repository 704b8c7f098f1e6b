#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QVariantList>

// The datasets the reports window reads for its CSV outputs, with their calculated columns.
//
// Each dataset is one statement on the connection given (values bound) whose rows come back
// as records; the calculated columns are appended to every record as text fields after the
// stored ones, so an output picks stored and calculated columns alike by name.
//
//   ADO_PSIO     sign events of a class number, by RID          + IotypeCal, IOWAYCal, IODateCal
//   ADO_Course   lessons of a class, by date and start
//   ADO_Courses  the class row                                   + CalNs, CalNe, Cal9s, Cal9e
//   ADO_SCORE    every row of the work table IO_SCORE00          + iTimeCal, oTimeCal
//   ADO_Booking  enrolment rows of a class, by ID                + CalIndex

// ---- Calculated columns ----

// The caption of a sign-event type: "0" 簽到, "1" 簽退, "2" 午到, "3" 午退, "4" 晚到, "5" 晚退,
// "9" 點名, "A" 上班, "D" 下班; any other code gives empty text.
QString IotypeCal(const QString &ioType);

// The caption of an input way: "KB" 鍵盤, "SC" 螢幕; any other way gives empty text.
QString IOWAYCal(const QString &ioWay);

// The first sign-in of a lesson row: t1 (morning) when not blank, else t3 (afternoon) when not
// blank, else t5 (evening).
QString iTimeCal(const QString &t1, const QString &t3, const QString &t5);

// The last sign-out of a lesson row: t6 (evening) when not blank, else t4 (afternoon) when not
// blank, else t2 (morning).
QString oTimeCal(const QString &t2, const QString &t4, const QString &t6);

// The break times of the normal class periods (six "HHMM" times run together: morning start,
// noon break start, noon break end, evening break start, evening break end, day end), each as
// "HH:MM": the noon break start and end and the evening break start and end.
QString CalNs(const QString &classPeriods);
QString CalNe(const QString &classPeriods);
QString Cal9s(const QString &classPeriods);
QString Cal9e(const QString &classPeriods);

// The class number of an enrolment row: the first 11 characters of its INDEX_KEY, whatever the
// station's class-number length.
QString CalIndex(const QString &indexKey);

// ---- Statements ----

struct DatasetStatement
{
    QString sql;
    QVariantList params;
};

DatasetStatement ADO_PSIO_Statement(const QString &classNumber);
DatasetStatement ADO_Course_Statement(const QString &classKey);
DatasetStatement ADO_Courses_Statement(const QString &classKey);
DatasetStatement ADO_SCORE_Statement();
DatasetStatement ADO_Booking_Statement(const QString &classKey);

// ---- Opened datasets: every row with its calculated columns appended ----

QList<QSqlRecord> OpenADO_PSIO(QSqlDatabase db, const QString &classNumber);
QList<QSqlRecord> OpenADO_Course(QSqlDatabase db, const QString &classKey);
QList<QSqlRecord> OpenADO_Courses(QSqlDatabase db, const QString &classKey, const QString &classPeriods);
QList<QSqlRecord> OpenADO_SCORE(QSqlDatabase db);
QList<QSqlRecord> OpenADO_Booking(QSqlDatabase db, const QString &classKey);

// The text of a column of a record as an output writes it: NULL and a missing column give
// empty text, every other value its text unchanged.
QString FieldText(const QSqlRecord &record, const QString &name);

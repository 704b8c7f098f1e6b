#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

// The class-day profile: which kinds of sign event apply to one class on one date and at which
// reference times. The station uses it to offer its type buttons and to build their time
// windows; the sign-in sheets use it to know which columns to print.
//
// Texts keep the stored forms: times "HH:MM" in the tables, "HHMM" inside the profile; a day
// template and the reference times are six "HHMM" fields run together (24 characters).
//
// Day template fields: T1 day start, T2 lunch start, T3 lunch end, T4 dinner start,
// T5 dinner end, T6 day end. Reference-time fields: R1/R2 morning start/end, R3/R4 afternoon,
// R5/R6 evening. A field "0000" means "none".
//
// Day parts: "1" morning, "2" afternoon, "3" evening, "4" morning and afternoon, "5" afternoon
// and evening, "6" the whole day, "" none yet.

// One lesson (a Course row) as the profile reads it.
struct ClassDayLesson
{
    QString DateStart; // "YYYY/MM/DD"
    QString TimeStart; // "HH:MM"
    QString TimeEnd;   // "HH:MM"
    QString noonRS;    // lunch break, "HH:MM" or blank
    QString noonRE;
    QString nightRS;   // dinner break, "HH:MM" or blank
    QString nightRE;
    QString R1;        // morning, afternoon and evening roll call, "HH:MM" or blank
    QString R2;
    QString R3;
};

// The class (Courses row) as the one-day fallback reads it.
struct ClassDayClassRow
{
    QString DateStart; // "YYYY/MM/DD"
    QString DateEnd;
    QString TimeStart; // "HH:MM"
    QString TimeEnd;
    QString SignType;  // six '0'/'1' flags as the class window stores them
};

// The four profile values.
struct ClassDayProfile
{
    QString ClsioTimeString = QStringLiteral("000000000000000000000000"); // R1..R6
    QString ClsIOType = QStringLiteral("000000");                         // the six kinds
    QString ClsRollCallTimes;                                             // "HHMM" each
    int ClsIOTypeShift = 0;                                               // 0, 2 or 4

    bool operator==(const ClassDayProfile &) const = default;
};

// The day template used when the station has none of its own (INI Baae/班別時間設定).
QString DefaultClassPeriods();

// The day template with T2..T5 replaced by a1 (lunch start), a2 (lunch end), a3 (dinner
// start) and a4 (dinner end), each "HHMM". A value takes its place only when it is exactly
// four characters long and not "0000"; otherwise the template's own field stays.
QString restTimeString(const QString &a1, const QString &a2, const QString &a3, const QString &a4,
                       const QString &TimeString);

// The day part of a lesson from start S and end E ("HHMM") against the day template. Every
// rule that holds overwrites the part, in this order:
//   1  S <= T4 and E > T5  -> "5"      4  S >= T2 and E <= T5  -> "2"
//   2  S <= T2 and E <= T4 -> "4"      5  S >= T4              -> "3"
//   3  E <= T3             -> "1"      6  S <= T2 and E > T5   -> "6"
// A template field "0000" disables every rule that names it. When no rule holds the part given
// as previousPart is kept: a lesson that fits no part counts with the lesson before it.
QString DayPartOfLesson(const QString &previousPart, const QString &S, const QString &E,
                        const QString &dayTemplate);

// The six kind flags with the flags of day part vTimeSection set and the others kept:
// "1" kinds 1-2, "2" kinds 3-4, "3" kinds 5-6, "4" kinds 1-4, "5" kinds 3-6, "6" all six;
// any other part leaves the flags unchanged.
QString get_IOtype(const QString &vTimeSection, const QString &IOtype);

// The reference times vClsioTimeString1 updated with one lesson of day part vTimeSection,
// start vTimeStart and end vTimeEnd ("HHMM"), with the break times of the day template
// vClsioTimeString. The first lesson of a part fixes its start and the last one its end; a
// lesson across a break fixes an end only while that end is still "0000" and takes the break
// from the template. A value that is not four characters long never enters the reference times,
// so they stay six fields of four characters whatever the stored times look like.
QString get_TimeString(const QString &vTimeSection, const QString &vClsioTimeString1,
                       const QString &vTimeStart, const QString &vTimeEnd,
                       const QString &vClsioTimeString);

// The profile of a day from its lessons (in lesson order), the class row (std::nullopt when the
// class has no row) and the day template. Pure: the result depends on the arguments alone.
//   - each lesson's break fields replace the template's for that lesson and the later ones;
//   - a day of only afternoon kinds (001100) or only evening kinds (000011) is offered as the
//     first pair, "110000", with a shift of 2 or 4;
//   - when no lesson set a kind and the class lasts one day, the reference times come from the
//     class's own times and the kinds are the class's SignType as stored.
ClassDayProfile ComputeClassDayProfile(const QList<ClassDayLesson> &lessons,
                                       const std::optional<ClassDayClassRow> &classRow,
                                       const QString &classPeriods);

// Reads the lessons of class key vIndex on date vDate ("YYYY/MM/DD") from db, only the lesson
// whose CNo4 + TimeStart is vCNO4 when vCNO4 is not blank, and the class row, then computes the
// profile against classPeriods. A statement the database rejects throws DatabaseError.
ClassDayProfile LoadClassDayProfile(QSqlDatabase db, const QString &vIndex, const QString &vDate,
                                    const QString &vCNO4, const QString &classPeriods);

// The profile of class key vIndex on date vDate (vCNO4: one lesson's CNo4 + TimeStart, or empty
// for the whole day) on the working connection db, with the day template of the station
// settings.
ClassDayProfile get_IOtypeTimeString(QSqlDatabase db, const QString &vIndex, const QString &vDate,
                                     const QString &vCNO4);

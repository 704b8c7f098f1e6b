#pragma once

#include <QSqlRecord>
#include <QString>

#include <optional>

// A class (Courses row) and its key, as the class window, the lesson choice of the station and
// the imports read it.

// One class row as the window edits it.
struct ClassRecord
{
    int RID = 0; // 0 for a class not stored yet
    QString CourseId;
    QString Echelon;
    QString Course;
    QString DateStart;
    QString DateEnd;
    QString DateBet;
    QString TimeStart;
    QString TimeEnd;
    QString Place;
    QString Charge;
    QString Teacher;
    QString TeacherId;
    QString TotHours;
    QString CNo4;
    QString CNo2;
    std::optional<bool> Bookin; // empty: never set
    QString SignType;
    std::optional<bool> Score;
    QString Signer;
    QString CourseContent;

    static ClassRecord FromSqlRecord(const QSqlRecord &record);
};

// The class key: trimmed CourseId followed by the echelon as two digits; empty when either is
// blank.
QString ClassKeyOf(const QString &courseId, const QString &echelon);

#pragma once

#include "classes/ClassImport.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

// A roster file: the unit's own student list for a class the training agency does not list,
// with the columns of the service's student list (sno, name, tnsadr, tel, tel2, mobile, email),
// as a CSV file in UTF-8 (with or without byte order mark) or in Big5 as Excel saves CSV on a
// Traditional Chinese Windows. It is read whole first, shown as a question (how many persons
// are added, how many updated, which lines cannot be read), then written in one transaction
// into the class chosen in the class window.
namespace RosterImport {

// The text of a roster file and the encoding it was read in.
struct RosterText
{
    QString text;
    QString encoding; // "UTF-8" or "Big5"
};

// Reads the bytes of a roster file: bytes that are valid UTF-8 as UTF-8 (a byte order mark
// dropped), anything else as Big5 (code page 950). std::nullopt with *error when this build
// has no Big5 converter.
std::optional<RosterText> DecodeRoster(const QByteArray &bytes, QString *error);

// What an import of a roster file into one class will do.
struct RosterPlan
{
    int classRid = 0;
    QString classKey; // CourseId + Echelon
    QString courseId;
    QString course;
    QString fileName; // as shown in the question
    QString encoding;
    QList<WebStudent> students; // the persons that will be written, each identity once
    QList<StudentLineProblem> problems; // lines that will not be imported, in line order
    StudentCounts counts; // how many of the persons are added and how many updated

    // The question before the import: the file, the class, the counts and the lines that
    // cannot be read (the first few of them when there are many).
    QString Question() const;
};

// The CR_TYPE of a person a roster file added.
QString RosterCrType();

// Reads a roster for the class with that RID in the table of classes and counts what an import
// would do. Refused (std::nullopt with *error): no class chosen (RID 0) or a class no longer
// stored, a file that cannot be decoded, a header without the needed columns, no readable
// person at all (the lines that cannot be read are named).
std::optional<RosterPlan> PlanRoster(QSqlDatabase db, int classRid, const QByteArray &bytes,
    const QString &fileName, QString *error);

// The same for a file on disk.
std::optional<RosterPlan> PlanRosterFile(
    QSqlDatabase db, int classRid, const QString &path, QString *error);

// Writes the plan's persons into its class in one transaction on db: a person the class has
// (same ID) is updated and keeps where his row came from; anyone else is added as a student
// with CR_DATE = the day of the import (YYYY/MM/DD, as enrolment by hand) and CR_TYPE
// RosterCrType(), so a later download of the class from the service never removes him. On any
// failure the database is left as it was and *error says why.
std::optional<StudentCounts> ImportRoster(
    QSqlDatabase db, const RosterPlan &plan, const QDateTime &at, QString *error);

// "學員名單檔匯入完成：新增 <n> 筆，更新 <n> 筆"
QString DoneMessage(const StudentCounts &counts);

} // namespace RosterImport

#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <optional>

class TrainingService;

// One class of the service's class list, as the web class list panel shows it and the import
// uses it.
struct WebClassEntry
{
    int element = -1; // place in the service's array, from 0
    QString classNo; // clssno
    QString name; // clsnam without a leading copy of the class number
    QString firstDay; // clssdt as YYYY/MM/DD
    QString lastDay; // clsedt as YYYY/MM/DD
    QString hours; // hours
    QJsonArray lessons; // sctcourse
    bool listed = true; // false for a class that ended 365 days or more before today

    QString classKey() const { return classNo + u"00"; }
};

struct WebClassList
{
    QByteArray rawText; // the answer as it came (the panel keeps it in its sixth column)
    QList<WebClassEntry> entries; // one per element of the array, in its order
};

// A person of the student list.
struct WebStudent
{
    int line = 0; // line of the list (the header is line 1)
    QString id, name, address, tel, mobile, email;
};

// A record of the student list that holds no readable person.
struct StudentLineProblem
{
    enum class Kind {
        ShortRecord, // fewer fields than the header names
        NoIdentity, // no identity number (sno)
        Other, // found by a reader of its own (a roster file's checks)
    };
    Kind kind = Kind::Other;
    int line = 0; // line on which the record starts
    QString reason; // "欄位不足（需要 7 欄，只有 3 欄）"
    // "第 <line> 行：<reason>"
    QString text() const;
};

// Persons a write added to a class and persons it found enrolled already and updated.
struct StudentCounts
{
    int added = 0;
    int updated = 0;
};

// What WriteStudents writes into the columns that tell where a row came from.
struct StudentOrigin
{
    QString crDate; // CR_DATE of an added row
    QString crType; // CR_TYPE of an added row; empty: none
    bool restampUpdated = false; // an updated row takes crDate too
};

// A lesson object of the class list, its 17 values read as text.
struct WebLesson
{
    QString indexKey, subject, cno2, cno4, dateStart, timeStart, timeEnd, hours, teacherId, teacher,
        noonRS, noonRE, nightRS, nightRE, r1, r2, r3;
};

// What an import wrote.
struct ImportSummary
{
    QString classNo;
    int students = 0; // records of the student list
    int lessons = 0; // lesson objects
    int teachers = 0; // teacher rows written (lessons with a teacher identity)
    int studentsRemoved = 0; // imported students the service no longer lists
    // "匯入課程編號 :<no> 及學員 <n>筆"
    QString message() const;
};

// The rules of the class download: reading the service's class list, student list and lesson
// objects, and writing one class into Courses, Booking and Course.
namespace ClassImport {

// The class name without a leading copy of the class number.
QString NameWithoutNumber(const QString &name, const QString &classNo);

// Reads the class list answer: the array that is the second member of its top-level object
// (members counted in document order). A class whose last day lies 365 days or more before
// today is kept but not listed. std::nullopt, with *error, when the answer is not such a list.
std::optional<WebClassList> ParseClassList(
    const QByteArray &answer, const QDate &today, QString *error);

// Reads the student list: CSV text in UTF-8, the first record naming the columns (any order,
// others ignored); quoted fields may hold commas, quotes ("") and line feeds; blanks and
// control characters around a field are dropped; a field that is just null is empty; blank
// lines are skipped. A missing column, a short record or a record without identity number
// refuses the whole list (std::nullopt with *error naming the line).
std::optional<QList<WebStudent>> ParseStudentList(const QByteArray &text, QString *error);

// The same reading of text already decoded, without refusing the list for a bad record: the
// persons of the records that can be read are returned and every other record is listed in
// *problems. std::nullopt (with *error) only for a list without records or with a header that
// lacks a column.
std::optional<QList<WebStudent>> ReadStudentText(
    const QString &text, QList<StudentLineProblem> *problems, QString *error);

// Writes persons into the class with that class key, on db, inside the caller's transaction:
// a person the class has already (class key and ID) is updated, anyone else added, each as
// a student. Every value is bound; throws DatabaseError when the database refuses a statement.
StudentCounts WriteStudents(QSqlDatabase db, const QString &classKey,
    const QList<WebStudent> &students, const StudentOrigin &origin);

// What WriteStudents would do now: how many of the persons it would add and how many update
// (a person listed twice is added once and then updated).
StudentCounts CountStudents(
    QSqlDatabase db, const QString &classKey, const QList<WebStudent> &students);

// Reads the lesson objects; each must carry the 17 keys (null reads as empty text).
std::optional<QList<WebLesson>> ParseLessons(const QJsonArray &lessons, QString *error);

// The import stamp: the time of the import as YYYYMMDDHHMMSS, written into CR_DATE of every
// Booking and Course row the import writes.
QString ImportStamp(const QDateTime &at);

// Whether a CR_DATE value is an import stamp (14 digits): only such enrolment is the service's
// to remove. Rows enrolled by hand carry a date (YYYY/MM/DD) or nothing and always stay.
bool IsImportStamp(const QString &crDate);

// Writes one class in a single transaction on db: the class row (CourseId = class number,
// echelon 00), each student (matched by class key and ID), each lesson (matched by class,
// date and start time) and each lesson's teacher (when the lesson names one), then removes
// the students an earlier import wrote that this list no longer has. Every value is bound.
// On any failure the database is left as it was and *error says why.
std::optional<ImportSummary> WriteClass(QSqlDatabase db, const WebClassEntry &entry,
    const QList<WebStudent> &students, const QList<WebLesson> &lessons,
    const QString &organisationName, const QDateTime &at, QString *error);

// The whole download of one class: token (first member), student list, reading everything,
// then WriteClass. stage is told what is being done (for the progress panel).
std::optional<ImportSummary> DownloadClass(TrainingService &service, QSqlDatabase db,
    const WebClassEntry &entry, const QString &organisationName, const QDateTime &at,
    QString *error, const std::function<void(const QString &)> &stage = {});

// Marks in the personnel table everybody who has a sign event of the class (any lesson, any
// day): PSPN.STATUS = 'A'. Returns the rows changed; a blank class number changes nothing.
int MarkPersonnelOfClass(QSqlDatabase db, const QString &courseId);

} // namespace ClassImport

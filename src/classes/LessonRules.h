#pragma once

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

class TDM;

// The lessons of one class (Course rows): what is checked before a lesson is stored, the
// storing itself with the teacher's enrolment, deletion, and the day flags (Courses.DateBet)
// written when the lesson window closes. Everything runs on the working connection of the data
// module it was given, taken anew for every statement (the connection may be reopened meanwhile).
//
// Dates are stored as "YYYY/MM/DD" and times as "HH:MM": the system compares them as text.

// One lesson as the window edits it; blank texts are stored as NULL.
struct LessonRecord
{
    int RID = 0; // 0 for a lesson not stored yet
    QString INDEX_KEY;
    QString CNo2;    // "", "必修" or "選修"
    QString CNo4;    // lesson number, required
    QString Subject; // title, no "("
    QString DateStart;
    QString TimeStart;
    QString TimeEnd;
    QString Hours; // approved hours, a whole number or blank
    QString teacher;
    QString teacherID;
    QString noonRS;
    QString noonRE;
    QString nightRS;
    QString nightRE;
    QString R1;
    QString R2;
    QString R3;
    QString CourseContent;
};

// The date, start time and number a lesson had when the list moved to it. Sign events are
// recorded against these, so they may not change once a sign event exists.
struct RememberedLesson
{
    QString DateStart;
    QString TimeStart;
    QString CNo4;
};

// One entry of the subject list: CODE_SEQ (a lesson number) and CODE_DESC (its title).
struct SubjectCode
{
    QString code;
    QString description;
};

class LessonRules
{
public:
    // classKey: trimmed CourseId + two-digit Echelon of the class whose lessons are edited.
    LessonRules(const TDM &dm, const QString &classKey, int courseNoLength);

    QString classKey() const { return m_classKey; }
    // The first courseNoLength characters of the class key, trimmed.
    QString classNumber() const;

    // --- Texts -------------------------------------------------------------------------

    // "HH:MM" with hours 00-23 and minutes 00-59.
    static bool IsLessonTime(const QString &text);
    // "YYYY/MM/DD" with leading zeros, a day that exists.
    static std::optional<QDate> ReadLessonDate(const QString &text);
    // A break or roll-call field is acceptable when blank or, trimmed, a lesson time.
    static bool IsOptionalTimeAcceptable(const QString &text);
    // Shown when the cursor leaves a break or roll-call field that is not acceptable.
    static QString LeaveFieldMessage(); // "時間格式有誤"

    // --- Checks and storing --------------------------------------------------------------

    // The refusal message of the first check the lesson fails, in this order: times, date,
    // number, hours, overlap with another lesson of the class on that day (bounds
    // inclusive), a change of date, start time or number after sign events were recorded,
    // a "(" in the title. Empty when the lesson may be stored.
    QString FirstRefusal(const LessonRecord &lesson, const RememberedLesson &remembered) const;

    // Checks the lesson; a refusal is shown through the current prompter and gives 0 with
    // nothing written. Otherwise stores it (INDEX_KEY becomes the class key, break and
    // roll-call times are stored trimmed) and enrols its teacher, in one transaction, and
    // returns its RID. A database error rolls everything back and throws DatabaseError.
    int StoreLesson(LessonRecord lesson, const RememberedLesson &remembered);

    // Asks "刪除這筆 課程名稱: <Subject> 的資料? ??" (刪除 / 取消); throws SilentAbort unless
    // 刪除 was pressed, then deletes the lesson.
    void DeleteLesson(int rid, const QString &subject);

    // --- Reading -----------------------------------------------------------------------

    // The list of the class's lessons, by date and start time: RID, DateStart, Subject,
    // TimeStart, TimeEnd, Hours, teacher, CNo4. Bind listParams().
    static QString ListSql();
    QVariantList listParams() const;

    // The stored lesson (std::nullopt when the row is gone).
    std::optional<LessonRecord> LoadLesson(int rid) const;

    // The identity number of the enrolled person of the class with that name; "" when none.
    QString TeacherIdOfName(const QString &name) const;

    // Distinct values of one of the columns Subject, TimeStart, TimeEnd, teacher over the
    // lessons of all classes, for the drop-down lists. Any other column gives an empty list.
    static QStringList DistinctValues(QSqlDatabase db, const QString &column);

    // The subject list: sys_code rows of type "課程科目" + first character of the training-unit
    // code setting, by CODE_SEQ.
    static QList<SubjectCode> SubjectList(QSqlDatabase db);

    // --- Day flags -----------------------------------------------------------------------

    // One character per day from first to last: "1" on a day with a lesson, "0" otherwise,
    // at most 255 characters. Lessons outside the period mark nothing.
    static QString DateBetText(const QDate &first, const QDate &last,
                               const QList<QDate> &lessonDates);

    // The day flags of the class from its Courses row and its lessons. A class without a row
    // counts as a one-day class of today.
    QString ComputeDateBet() const;
    // Writes ComputeDateBet() into Courses.DateBet of the class (errors are not reported).
    void WriteDateBet() const;

private:
    QSqlDatabase WorkingDb() const;

    const TDM &m_dm;
    QString m_classKey;
    int m_courseNoLength;
};

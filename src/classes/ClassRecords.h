#pragma once

#include "Fun/QueryBuilder.h"
#include "core/ClassRecord.h"

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QStringList>

#include <optional>

class TDM;

// The classes (Courses rows) as the class window works on them: the search, what is checked
// before a class is stored and done after it, deletion, the period-date panel, the decision
// whether the station may start on a class today, and the numbering of classes the unit adds
// itself. Everything runs on the working connection of the data module it was given (taken
// anew for every statement: the connection may be reopened meanwhile); values are always bound.
//
// Dates are stored as "YYYY/MM/DD" and times as "HH:MM"; the system compares them as text.

// Days of the period-date panel, first day first.
struct PeriodDay
{
    QDate date;
    QString caption; // "2024/05/06(一)"
    bool ticked = false;
};

// The buttons of the period-date panel.
enum class PeriodButton {
    SelectAll,  // "全選"
    ClearAll,   // "全刪"
    MonWedFri,  // "1.3.5": exactly Mondays, Wednesdays and Fridays
    TueThu,     // " 2.4": exactly Tuesdays and Thursdays
    Workdays,   // "工作日": exactly Monday to Friday
    AddWeekday, // "1" .. "5": also every day of that weekday (1 = Monday)
};

// What "開始簽到退" decides for a class on a day.
struct StartDecision
{
    bool mayStart = false;
    QString message;  // the refusal shown when the station may not start
    QString classKey; // the class key the station takes
};

class ClassRecords
{
public:
    ClassRecords(const TDM &dm, int courseNoLength);

    int courseNoLength() const { return m_courseNoLength; }

    // --- Keys ----------------------------------------------------------------------------

    // The first courseNoLength characters of a class key, trimmed: what lesson sign events
    // carry at the front of their key.
    QString ClassNumberOf(const QString &classKey) const;
    // "(<n>位文數字)", shown beside the class number.
    QString ClassNumberLengthLabel() const;

    // --- Searching -----------------------------------------------------------------------

    struct DateRange
    {
        QString start; // condition on DateStart, "<=D"
        QString end;   // condition on DateEnd, ">=D"
    };
    // The range fields for a text D of the date search field: the classes running on day D,
    // or, for a year of four characters, the classes touching that year. std::nullopt for a
    // blank D (the range fields keep what they hold).
    static std::optional<DateRange> RangeForDate(const QString &dateText);
    // "select * from Courses " with the conditions of the search inputs, newest first.
    static SqlCondition SearchStatement(const QList<SearchInput> &inputs);
    static QString CountLabel(int rows); // "總筆數:<n>     "

    // --- Moving to a class -----------------------------------------------------------------

    // The six sign-event kind boxes from SignType: box k is ticked when character k of the
    // trimmed text is "1".
    static QList<bool> SignTypeBoxes(const QString &signType);
    // Six characters "0"/"1" from the boxes.
    static QString SignTypeText(const QList<bool> &boxes);
    // "期間日期" is offered for classes of 3 to 252 days, once the station has started.
    static bool PeriodButtonVisible(const QString &dateStart, const QString &dateEnd,
                                    int editionLevel);
    // The class number may no longer change once the class has lessons or sign events.
    bool ClassNumberLocked(const QString &classKey) const;

    // --- Editing aids ----------------------------------------------------------------------

    // A time field is acceptable when blank or an "HH:MM" time of day.
    static bool IsTimeAcceptable(const QString &text);
    static QString TimeFormatMessage(); // "時間格式有誤"
    // Both dates filled and the class lasting more than 250 days after its first day.
    static bool ExceedsDayLimit(const QString &dateStart, const QString &dateEnd);
    static QString DayLimitMessage(); // "日期限制250日以內"
    // The last day a double-click puts in: today, or the first day when today is earlier.
    static QString LastDayOnDoubleClick(const QString &dateStart, const QDate &today);
    // Drop-down contents: places and organising units of every class, and the start or end
    // times of the classes starting after the given year.
    static QStringList PlaceList(QSqlDatabase db);
    static QStringList ChargeList(QSqlDatabase db);
    static QStringList TimeList(QSqlDatabase db, const QString &column, const QDate &today);
    // The subject title of a subject code (CODE_DESC of the subject list); "" when none.
    static QString SubjectDescription(QSqlDatabase db, const QString &code);

    // --- Storing ---------------------------------------------------------------------------

    // The checks before a class is stored, applied to the record: the refusal message of the
    // first check that fails (empty when it may be stored). On success the record has its
    // final form: last day defaulted to the first, period flags cleared for classes of at most
    // two days, the echelon as two digits, the yes/no flags set.
    QString CheckBeforeStore(ClassRecord &record) const;
    // Checks, shows a refusal through the current prompter and gives 0 with nothing written;
    // otherwise stores the class (inserting a new one), then takes the steps after storing,
    // and returns its RID.
    int StoreClass(ClassRecord record);
    // After a class is stored: the class key becomes the current one, the teacher is enrolled
    // in the class and the values are remembered in the settings for the next class.
    void AfterStore(const ClassRecord &record);
    // Enrols the teacher as a person of the class (a 10-character identity, a name, not yet
    // enrolled). Database errors are ignored. True when a row was inserted.
    bool EnrolTeacher(const QString &classKey, const QString &teacherId, const QString &teacher);

    // Asks "刪除這筆 科目名稱：<Course> ??" (刪除 / 取消); throws SilentAbort unless 刪除 was
    // pressed. Deletes the class row alone: its lessons, enrolment and sign events stay.
    void DeleteClass(int rid, const QString &course);

    std::optional<ClassRecord> LoadClass(int rid) const;

    // --- Period-date panel -----------------------------------------------------------------

    // Every day from the first to the last, ticked where DateBet has "1".
    static QList<PeriodDay> PeriodDays(const QString &dateStart, const QString &dateEnd,
                                       const QString &dateBet);
    static void ApplyPeriodButton(QList<PeriodDay> &days, PeriodButton button, int weekday = 0);
    static QString PeriodCountLabel(const QList<PeriodDay> &days); // "前後共<n>天"
    // The DateBet text of the panel: one "1"/"0" per day.
    static QString PeriodDateBet(const QList<PeriodDay> &days);

    // --- Starting the station --------------------------------------------------------------

    StartDecision DecideStart(const ClassRecord &record, const QDate &today) const;

    // --- Classes the unit adds itself ----------------------------------------------------------

    // The pattern used when the setting "課程編號格式" is empty: "INT" + ROC year + month.
    static QString DefaultClassNumberPattern(); // "INTYYYMM"
    // The prefix a pattern gives on a day: "YYYY" the year, "YYY" the ROC year (three digits),
    // "MM" the month, "DD" the day; any other character stands for itself.
    static QString ExpandClassNumberPattern(const QString &pattern, const QDate &day);
    // The next free class number of the day: the prefix of the setting's pattern (or the
    // default one) followed by a serial number, courseNoLength characters in all. Throws
    // RolvanError when the pattern leaves no room for a serial number.
    QString NextClassNumber(const QDate &today) const;
    // A class to add: the next class number, echelon "00", today as first and last day, the
    // organisation as organiser, an internal audience and the values the last stored class
    // left in the settings.
    ClassRecord NewClass(const QDate &today) const;

private:
    QSqlDatabase Working() const;

    const TDM &m_dm;
    int m_courseNoLength;
};

#include "dialogs/ChoiceDialogs.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/QueryBuilder.h"
#include "platform/Clock.h"

using namespace Qt::StringLiterals;

// --- Date dialog ---

QDate DateDialogStartDate(const QString &dialogDateText, const QString &pattern)
{
    if (dialogDateText.trimmed().size() < 7)
        return CurrentClock().today();
    // ParseDateSafe never fails: what it cannot read comes back as today.
    const QDate date = ParseDateSafe(dialogDateText, pattern).date();
    return date.isValid() ? date : CurrentClock().today();
}

QString DateDialogResultText(const QDate &date, const QString &pattern)
{
    return FormatDateByPattern(pattern, date);
}

// --- Course choice dialog ---

QString CourseChoiceAbort()
{
    return u"abort"_s;
}

QString CourseChoicePrompt()
{
    return u"至少選1個課程"_s;
}

QString CourseChoiceCaption(const QString &firstDay, const QString &lastDay)
{
    return u"日期："_s + firstDay + u"～"_s + lastDay;
}

QStringList CourseChoiceLines(QSqlDatabase db, const QString &classKey)
{
    return QueryToListOn(u"codeSubject"_s,
        u"select coalesce(CNo4,'') || ':' || coalesce(DateStart,'') || '(' || coalesce(TimeStart,'')"
        " || '-' || coalesce(TimeEnd,'') || '):' || coalesce(Subject,'') as codeSubject"
        " from Course where INDEX_KEY like ? escape '\\' order by DateStart nulls first, TimeStart nulls first"_s,
        db, {BeginsWith(classKey)});
}

QString ClassNumberOfKey(const QString &classKey, int courseNoLength)
{
    return classKey.left(qMax(0, courseNoLength)).trimmed();
}

QString LessonStartOfLine(const QString &line)
{
    const qsizetype colon = line.indexOf(u':');
    if (colon >= 0) {
        const qsizetype open = line.indexOf(u'(', colon + 1);
        const qsizetype dash = open < 0 ? -1 : line.indexOf(u'-', open + 1);
        if (dash > open + 1)
            return line.mid(open + 1, dash - open - 1).trimmed();
    }
    return line.mid(16, 5);
}

QDate LessonDateOfLine(const QString &line)
{
    const QString name = NameOfItem(line);
    const qsizetype open = name.indexOf(u'(');
    const QString dateText = open >= 0 ? name.left(open).trimmed() : name.left(10);
    return ParseDateSafe(dateText, u"YYYY/MM/DD"_s).date();
}

QString RocDateWithWeekday(const QDate &date)
{
    // WeekdayChar counts 1 = Sunday .. 7 = Saturday.
    return FormatDateByPattern(u"YYYMMDD"_s, date) + u'(' + WeekdayChar(date.dayOfWeek() % 7 + 1)
           + u')';
}

bool IsCourseChoiceMade(const QString &text)
{
    const QString trimmed = text.trimmed();
    return !trimmed.isEmpty() && trimmed != CourseChoicePrompt();
}

CourseChoice ChooseCourseLine(const QString &line, const QString &classKey, int courseNoLength)
{
    CourseChoice choice;
    choice.LessonKey = CodeOfItem(line) + LessonStartOfLine(line);
    choice.FullLessonKey = ClassNumberOfKey(classKey, courseNoLength) + choice.LessonKey;
    choice.Result = RocDateWithWeekday(LessonDateOfLine(line));
    return choice;
}

#include "core/ClassDayProfile.h"

#include "Fun/DateTimeFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/RolvanError.h"
#include "core/DbFunctions.h"

#include <QSqlQuery>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

constexpr int FieldCount = 6;
constexpr int FieldWidth = 4;
const QLatin1StringView NoTime("0000");

// Field i (1..6) of a text of six "HHMM" fields.
QString Field(const QString &fields, int i)
{
    return fields.mid((i - 1) * FieldWidth, FieldWidth);
}

// The text with field i (1..6) replaced by value. A value that is not four characters long
// leaves the text as it is, so that the fields never shift.
QString WithField(const QString &fields, int i, const QString &value)
{
    if (value.size() != FieldWidth)
        return fields;
    QString result = fields;
    if (result.size() < FieldCount * FieldWidth)
        result = result.leftJustified(FieldCount * FieldWidth, u'0');
    result.replace((i - 1) * FieldWidth, FieldWidth, value);
    return result;
}

// A template field that takes part in a rule: "0000" switches the rule off.
bool InUse(const QString &field)
{
    return field != NoTime;
}

// Flag k (1..6) of the kind flags set to '1'.
QString WithFlag(const QString &flags, int k)
{
    QString result = flags;
    if (result.size() < k)
        result = result.leftJustified(k, u'0');
    result[k - 1] = u'1';
    return result;
}

// A lesson break value for restTimeString: usable when it is four characters and not "0000".
bool UsableBreak(const QString &value)
{
    return value.size() == FieldWidth && value != NoTime;
}

// The roll-call times of one lesson, "HHMM" each, blank ones left out.
QString RollCallTimesOf(const ClassDayLesson &lesson)
{
    QString result;
    for (const QString *time : { &lesson.R1, &lesson.R2, &lesson.R3 })
        result += StripTimeColon(time->trimmed());
    return result;
}

// A day of only the afternoon pair or only the evening pair is offered as the first pair; the
// shift tells the station how many places further on that pair really lies.
void OfferSinglePairAsFirst(ClassDayProfile &profile)
{
    if (profile.ClsIOType == u"001100"_s) {
        profile.ClsIOType = u"110000"_s;
        profile.ClsIOTypeShift = 2;
    } else if (profile.ClsIOType == u"000011"_s) {
        profile.ClsIOType = u"110000"_s;
        profile.ClsIOTypeShift = 4;
    }
}

} // namespace

QString DefaultClassPeriods()
{
    return IniDefault::ClassPeriodsBaae;
}

QString restTimeString(const QString &a1, const QString &a2, const QString &a3, const QString &a4,
                       const QString &TimeString)
{
    QString result = TimeString;
    const QString *breaks[] = { &a1, &a2, &a3, &a4 };
    for (int i = 0; i < 4; ++i) {
        if (UsableBreak(*breaks[i]))
            result = WithField(result, i + 2, *breaks[i]); // T2..T5
    }
    return result;
}

QString DayPartOfLesson(const QString &previousPart, const QString &S, const QString &E,
                        const QString &dayTemplate)
{
    const QString T2 = Field(dayTemplate, 2);
    const QString T3 = Field(dayTemplate, 3);
    const QString T4 = Field(dayTemplate, 4);
    const QString T5 = Field(dayTemplate, 5);

    QString part = previousPart;
    // Starts before the dinner break and runs past it: afternoon and evening.
    if (InUse(T4) && InUse(T5) && S <= T4 && E > T5)
        part = u"5"_s;
    // Starts before lunch and ends by dinner: morning and afternoon.
    if (InUse(T2) && InUse(T4) && S <= T2 && E <= T4)
        part = u"4"_s;
    // Ends by the end of lunch: morning.
    if (InUse(T3) && E <= T3)
        part = u"1"_s;
    // Starts from lunch on and ends by the end of dinner: afternoon.
    if (InUse(T2) && InUse(T5) && S >= T2 && E <= T5)
        part = u"2"_s;
    // Starts from dinner on: evening.
    if (InUse(T4) && S >= T4)
        part = u"3"_s;
    // Starts before lunch and runs past dinner: the whole day.
    if (InUse(T2) && InUse(T5) && S <= T2 && E > T5)
        part = u"6"_s;
    return part;
}

QString get_IOtype(const QString &vTimeSection, const QString &IOtype)
{
    int first = 0;
    int last = 0;
    if (vTimeSection == u"1"_s) {
        first = 1; last = 2;
    } else if (vTimeSection == u"2"_s) {
        first = 3; last = 4;
    } else if (vTimeSection == u"3"_s) {
        first = 5; last = 6;
    } else if (vTimeSection == u"4"_s) {
        first = 1; last = 4;
    } else if (vTimeSection == u"5"_s) {
        first = 3; last = 6;
    } else if (vTimeSection == u"6"_s) {
        first = 1; last = 6;
    } else {
        return IOtype;
    }
    QString flags = IOtype;
    for (int k = first; k <= last; ++k)
        flags = WithFlag(flags, k);
    return flags;
}

QString get_TimeString(const QString &vTimeSection, const QString &vClsioTimeString1,
                       const QString &vTimeStart, const QString &vTimeEnd,
                       const QString &vClsioTimeString)
{
    QString R = vClsioTimeString1;
    const QString &S = vTimeStart;
    const QString &E = vTimeEnd;
    const QString &T = vClsioTimeString;
    const auto unset = [&R](int i) { return Field(R, i) == NoTime; };

    // A single part: its first lesson fixes the start, every lesson moves the end.
    const auto singlePart = [&](int startField) {
        if (unset(startField))
            R = WithField(R, startField, S);
        R = WithField(R, startField + 1, E);
    };

    if (vTimeSection == u"1"_s) {
        singlePart(1);
    } else if (vTimeSection == u"2"_s) {
        singlePart(3);
    } else if (vTimeSection == u"3"_s) {
        singlePart(5);
    } else if (vTimeSection == u"4"_s) {
        // Across lunch: the lunch break closes the morning and opens the afternoon.
        if (unset(1))
            R = WithField(R, 1, S);
        if (unset(4))
            R = WithField(R, 4, E);
        R = WithField(R, 2, Field(T, 2));
        R = WithField(R, 3, Field(T, 3));
    } else if (vTimeSection == u"5"_s) {
        // Across dinner: the dinner break closes the afternoon and opens the evening.
        if (unset(3))
            R = WithField(R, 3, S);
        if (unset(6))
            R = WithField(R, 6, E);
        R = WithField(R, 4, Field(T, 4));
        R = WithField(R, 5, Field(T, 5));
    } else if (vTimeSection == u"6"_s) {
        R = WithField(R, 1, S);
        for (int i = 2; i <= 5; ++i)
            R = WithField(R, i, Field(T, i));
        R = WithField(R, 6, E);
    }
    return R;
}

ClassDayProfile ComputeClassDayProfile(const QList<ClassDayLesson> &lessons,
                                       const std::optional<ClassDayClassRow> &classRow,
                                       const QString &classPeriods)
{
    QString dayTemplate = classPeriods;
    ClassDayProfile profile;
    QString part;

    for (const ClassDayLesson &lesson : lessons) {
        dayTemplate = restTimeString(StripTimeColon(lesson.noonRS), StripTimeColon(lesson.noonRE),
                                     StripTimeColon(lesson.nightRS), StripTimeColon(lesson.nightRE),
                                     dayTemplate);
        const QString S = StripTimeColon(lesson.TimeStart);
        const QString E = StripTimeColon(lesson.TimeEnd);
        part = DayPartOfLesson(part, S, E, dayTemplate);
        profile.ClsIOType = get_IOtype(part, profile.ClsIOType);
        profile.ClsioTimeString = get_TimeString(part, profile.ClsioTimeString, S, E, dayTemplate);
        profile.ClsRollCallTimes += RollCallTimesOf(lesson);
    }

    const bool noKindFromLessons = profile.ClsIOType == u"000000"_s;
    OfferSinglePairAsFirst(profile);

    // A one-day class whose lessons give no kind (or that has no lessons that day) is described
    // by its own times and its own kinds. A class without a row has nothing to offer.
    if (noKindFromLessons && classRow && classRow->DateStart == classRow->DateEnd) {
        const QString S = StripTimeColon(classRow->TimeStart);
        const QString E = StripTimeColon(classRow->TimeEnd);
        part = DayPartOfLesson(part, S, E, dayTemplate);
        profile.ClsioTimeString = get_TimeString(part, profile.ClsioTimeString, S, E, dayTemplate);
        profile.ClsIOType = classRow->SignType;
    }
    return profile;
}

ClassDayProfile LoadClassDayProfile(QSqlDatabase db, const QString &vIndex, const QString &vDate,
                                    const QString &vCNO4, const QString &classPeriods)
{
    QString sql = u"select DateStart, TimeStart, TimeEnd, noonRS, noonRE, nightRS, nightRE, "
                  "R1, R2, R3 from Course where INDEX_KEY = ? and DateStart = ?"_s;
    QVariantList params{ vIndex, vDate };
    if (!vCNO4.trimmed().isEmpty()) {
        // One lesson, named by its number and start time.
        sql += u" and upper(CNo4 || TimeStart) = upper(?)"_s;
        params.append(vCNO4);
    }
    sql += u" order by DateStart nulls first, TimeStart nulls first"_s;

    QList<ClassDayLesson> lessons;
    {
        QSqlQuery query = RunQuery(sql, db, params);
        while (query.next()) {
            ClassDayLesson lesson;
            QString *fields[] = { &lesson.DateStart, &lesson.TimeStart, &lesson.TimeEnd,
                                  &lesson.noonRS,    &lesson.noonRE,    &lesson.nightRS,
                                  &lesson.nightRE,   &lesson.R1,        &lesson.R2,
                                  &lesson.R3 };
            for (int i = 0; i < 10; ++i)
                *fields[i] = query.value(i).toString();
            lessons.append(lesson);
        }
    }

    std::optional<ClassDayClassRow> classRow;
    {
        QSqlQuery query = RunQuery(
            u"select DateStart, DateEnd, TimeStart, TimeEnd, SignType from Courses "
            "where upper(CourseId || Echelon) = upper(?)"_s,
            db, { vIndex });
        if (query.next()) {
            classRow = ClassDayClassRow{ query.value(0).toString(), query.value(1).toString(),
                                         query.value(2).toString(), query.value(3).toString(),
                                         query.value(4).toString() };
        }
    }
    return ComputeClassDayProfile(lessons, classRow, classPeriods);
}

ClassDayProfile get_IOtypeTimeString(QSqlDatabase db, const QString &vIndex, const QString &vDate,
                                     const QString &vCNO4)
{
    // The station's own template; a key left empty counts as no setting.
    const QString classPeriods = ReadIniSetting(IniSection::Baae, IniKey::ClassPeriods,
                                                DefaultClassPeriods(), DefaultClassPeriods());
    return LoadClassDayProfile(db, vIndex, vDate, vCNO4, classPeriods);
}

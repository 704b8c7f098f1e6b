#include "classes/ClassRecords.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"

#include <QSqlQuery>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString DatePattern = u"YYYY/MM/DD"_s;

// A date written exactly as the system stores it ("YYYY/MM/DD" with leading zeros).
std::optional<QDate> ReadStoredDate(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.size() != 10)
        return std::nullopt;
    try {
        const QDate date = ParseDateByPattern(trimmed, DatePattern);
        if (!date.isValid() || FormatDateByPattern(DatePattern, date) != trimmed)
            return std::nullopt;
        return date;
    } catch (const ConversionError &) {
        return std::nullopt;
    }
}

// Days from the first to the last date; std::nullopt when either is not a stored date.
std::optional<qint64> DaysBetween(const QString &first, const QString &last)
{
    const auto a = ReadStoredDate(first);
    const auto b = ReadStoredDate(last);
    if (!a || !b)
        return std::nullopt;
    return a->daysTo(*b);
}

// Blank texts are stored as NULL, as the record editor always did.
QVariant TextOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

// Yes/no columns hold 0 and 1 on every database (a bound bool is refused by a smallint column).
QVariant FlagOrNull(const std::optional<bool> &flag)
{
    return flag ? QVariant(*flag ? 1 : 0) : QVariant();
}

// A text matched literally at the front of a LIKE pattern (escape character "\\").
QString LikePrefix(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'%', u"\\%"_s).replace(u'_', u"\\_"_s);
    return escaped;
}

QString ReadCourseDefault(const QString &key)
{
    return ReadIniSetting(IniSection::CourseDefaults, key, QString(), QString());
}

} // namespace

// ---- Keys -----------------------------------------------------------------------------------

ClassRecords::ClassRecords(const TDM &dm, int courseNoLength)
    : m_dm(dm)
    , m_courseNoLength(courseNoLength > 0 ? courseNoLength : 11)
{
}

QSqlDatabase ClassRecords::Working() const
{
    return m_dm.Con1();
}

QString ClassRecords::ClassNumberOf(const QString &classKey) const
{
    return classKey.left(m_courseNoLength).trimmed();
}

QString ClassRecords::ClassNumberLengthLabel() const
{
    return u"("_s + QString::number(m_courseNoLength) + u"位文數字)"_s;
}

// ---- Searching ------------------------------------------------------------------------------

std::optional<ClassRecords::DateRange> ClassRecords::RangeForDate(const QString &dateText)
{
    const QString d = dateText.trimmed();
    if (d.isEmpty())
        return std::nullopt;
    if (d.size() == 4)
        return DateRange { u"<="_s + d + u"/12/31"_s, u">="_s + d + u"/01/01"_s };
    return DateRange { u"<="_s + d, u">="_s + d };
}

SqlCondition ClassRecords::SearchStatement(const QList<SearchInput> &inputs)
{
    SqlCondition statement = BuildWhereFromInputs(u"select * from Courses "_s, QString(), QString(), inputs);
    statement.text += u" order by DateStart DESC nulls last, Echelon DESC nulls last"_s;
    return statement;
}

QString ClassRecords::CountLabel(int rows)
{
    return u"總筆數:"_s + QString::number(rows) + u"     "_s;
}

// ---- Moving to a class ----------------------------------------------------------------------

QList<bool> ClassRecords::SignTypeBoxes(const QString &signType)
{
    const QString flags = signType.trimmed();
    QList<bool> boxes;
    for (int k = 0; k < 6; ++k)
        boxes << (k < flags.size() && flags.at(k) == u'1');
    return boxes;
}

QString ClassRecords::SignTypeText(const QList<bool> &boxes)
{
    QString text;
    for (int k = 0; k < 6; ++k)
        text += (k < boxes.size() && boxes.at(k)) ? u'1' : u'0';
    return text;
}

bool ClassRecords::PeriodButtonVisible(const QString &dateStart, const QString &dateEnd,
                                       int editionLevel)
{
    const auto days = DaysBetween(dateStart, dateEnd);
    return editionLevel > 0 && days && *days >= 2 && *days <= 251;
}

bool ClassRecords::ClassNumberLocked(const QString &classKey) const
{
    if (classKey.isEmpty())
        return false;
    if (QueryValueIn(u"select count(*) from course where index_key = ?"_s, Working(), { classKey }).toInt() > 0)
        return true;
    // Sign events of a lesson carry the class number followed by the lesson key; an event
    // stored without a lesson carries the class key itself. Either ties the number down.
    return QueryValueIn(u"select count(*) from PSIO where index_key = ? or index_key like ? escape '\\'"_s,
                        Working(), { classKey, QString(LikePrefix(ClassNumberOf(classKey)) + u'%') })
               .toInt()
        > 0;
}

// ---- Editing aids ---------------------------------------------------------------------------

bool ClassRecords::IsTimeAcceptable(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return true;
    if (t.size() != 5 || t.at(2) != u':')
        return false;
    for (int i : { 0, 1, 3, 4 }) {
        if (t.at(i) < u'0' || t.at(i) > u'9')
            return false;
    }
    return t.left(2).toInt() <= 23 && t.mid(3, 2).toInt() <= 59;
}

QString ClassRecords::TimeFormatMessage()
{
    return u"時間格式有誤"_s;
}

bool ClassRecords::ExceedsDayLimit(const QString &dateStart, const QString &dateEnd)
{
    const auto days = DaysBetween(dateStart, dateEnd);
    return days && *days > 250;
}

QString ClassRecords::DayLimitMessage()
{
    return u"日期限制250日以內"_s;
}

QString ClassRecords::LastDayOnDoubleClick(const QString &dateStart, const QDate &today)
{
    const QString t = FormatDateByPattern(DatePattern, today);
    const QString first = dateStart.trimmed();
    return (!first.isEmpty() && t < first) ? first : t;
}

QStringList ClassRecords::PlaceList(QSqlDatabase db)
{
    return QueryToListOn(QString(), u"select Distinct Place  from Courses   "_s, db);
}

QStringList ClassRecords::ChargeList(QSqlDatabase db)
{
    return QueryToListOn(QString(), u"select Distinct Charge  from Courses   "_s, db);
}

QStringList ClassRecords::TimeList(QSqlDatabase db, const QString &column, const QDate &today)
{
    if (column != u"TimeStart"_s && column != u"TimeEnd"_s)
        return {};
    return QueryToListOn(QString(), u"select Distinct "_s + column + u"  from Courses where DateStart > ?"_s,
                         db, { QString::number(today.year()) });
}

QString ClassRecords::SubjectDescription(QSqlDatabase db, const QString &code)
{
    if (code.trimmed().isEmpty())
        return QString();
    const QString unit = ReadIniSetting(IniSection::Base, IniKey::TrainingUnitCode,
                                        IniDefault::TrainingUnitCode, IniDefault::TrainingUnitCode);
    return QueryValueIn(u"select CODE_DESC from sys_code where CODE_TYPE = ? and CODE_SEQ = ?"_s, db,
                        { QString(u"課程科目"_s + unit.left(1)), code.trimmed() })
        .toString();
}

// ---- Storing --------------------------------------------------------------------------------

QString ClassRecords::CheckBeforeStore(ClassRecord &r) const
{
    r.CourseId = r.CourseId.trimmed();
    r.DateStart = r.DateStart.trimmed();
    r.DateEnd = r.DateEnd.trimmed();
    r.TimeStart = r.TimeStart.trimmed();
    r.TimeEnd = r.TimeEnd.trimmed();

    // Without a number and a name the class has no key and no title on any sheet.
    if (r.CourseId.isEmpty())
        return u"請輸入講習編號"_s;
    if (r.RID == 0 && r.CourseId.size() > m_courseNoLength)
        return u"講習編號限"_s + QString::number(m_courseNoLength) + u"位文數字"_s;
    if (r.Course.trimmed().isEmpty())
        return u"請輸入講習名稱"_s;

    // 4. The echelon as two digits; the duplicate test below compares the stored form.
    r.Echelon = ZeroPad(StrToIntSafe(r.Echelon), 2);

    // 1. No other row with the same number and echelon.
    const int other = QueryValueIn(
        u"select RID from Courses where trim(CourseId) = ?  and Echelon = ?    "_s, Working(),
        { r.CourseId, r.Echelon }).toInt();
    if (other > 0 && other != r.RID)
        return u"課程編號重覆"_s;

    // 2. An empty last day is the first day.
    if (r.DateEnd.isEmpty())
        r.DateEnd = r.DateStart;

    // The dates and times are compared as text everywhere: only the stored forms will do.
    const auto first = ReadStoredDate(r.DateStart);
    const auto last = ReadStoredDate(r.DateEnd);
    if (!first || !last)
        return u"請輸入正確日期"_s;
    if (*last < *first)
        return u"結束日期不得早於起始日期"_s;
    if (!IsTimeAcceptable(r.TimeStart) || !IsTimeAcceptable(r.TimeEnd))
        return TimeFormatMessage();

    // 3. Classes of at most two days have no period flags.
    if (first->daysTo(*last) <= 1)
        r.DateBet.clear();

    // 5. The yes/no flags are never left empty.
    if (!r.Score)
        r.Score = false;
    if (!r.Bookin)
        r.Bookin = false;
    return QString();
}

int ClassRecords::StoreClass(ClassRecord r)
{
    const QString refusal = CheckBeforeStore(r);
    if (!refusal.isEmpty()) {
        CurrentPrompter().ShowMessage(refusal);
        return 0;
    }

    const QVariantList values {
        r.CourseId, r.Echelon, TextOrNull(r.Course), TextOrNull(r.DateStart), TextOrNull(r.DateEnd),
        TextOrNull(r.DateBet), TextOrNull(r.TimeStart), TextOrNull(r.TimeEnd), TextOrNull(r.Place),
        TextOrNull(r.Charge), TextOrNull(r.Teacher), TextOrNull(r.TeacherId), TextOrNull(r.TotHours),
        TextOrNull(r.CNo4), TextOrNull(r.CNo2), FlagOrNull(r.Bookin), TextOrNull(r.SignType),
        FlagOrNull(r.Score), TextOrNull(r.Signer), r.CourseContent,
    };
    if (r.RID > 0) {
        QVariantList params = values;
        params << r.RID;
        RunQueryAsIs(u"update Courses set CourseId = ?, Echelon = ?, Course = ?, DateStart = ?, "
            "DateEnd = ?, DateBet = ?, TimeStart = ?, TimeEnd = ?, Place = ?, Charge = ?, "
            "Teacher = ?, TeacherId = ?, TotHours = ?, CNo4 = ?, CNo2 = ?, Bookin = ?, "
            "SignType = ?, Score = ?, Signer = ?, CourseContent = ? where RID = ?"_s,
            Working(), params);
    } else {
        // The row number the database gave this row, not the largest one (another station may
        // add a class at the same moment).
        QSqlQuery query = RunQueryAsIs(u"insert into Courses (CourseId, Echelon, Course, "
            "DateStart, DateEnd, DateBet, TimeStart, TimeEnd, Place, Charge, Teacher, TeacherId, "
            "TotHours, CNo4, CNo2, Bookin, SignType, Score, Signer, CourseContent) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) returning RID"_s,
            Working(), values);
        r.RID = query.next() ? query.value(0).toInt() : 0;
    }
    AfterStore(r);
    return r.RID;
}

void ClassRecords::AfterStore(const ClassRecord &r)
{
    const QString key = ClassKeyOf(r.CourseId, r.Echelon);
    G().CurrentClassKey = key;
    EnrolTeacher(key, r.TeacherId, r.Teacher);

    WriteIniSetting(IniSection::CourseDefaults, IniKey::TrainingTotal, r.TotHours);
    WriteIniSetting(IniSection::CourseDefaults, IniKey::CardKind, r.SignType);
    WriteIniSetting(IniSection::CourseDefaults, IniKey::StartTime, r.TimeStart);
    WriteIniSetting(IniSection::CourseDefaults, IniKey::EndTime, r.TimeEnd);
    WriteIniSetting(IniSection::CourseDefaults, IniKey::Place, r.Place);
    WriteIniSetting(IniSection::CourseDefaults, IniKey::Organiser, r.Charge);
    WriteIniSetting(IniSection::CourseDefaults, IniKey::Audience, r.Signer);
    WriteIniSetting(IniSection::CourseDefaults, IniKey::NeedsEnrolment,
                    r.Bookin.value_or(false) ? u"-1"_s : u"0"_s);
}

bool ClassRecords::EnrolTeacher(const QString &classKey, const QString &teacherId,
                                const QString &teacher)
{
    const QString id = teacherId.trimmed();
    if (classKey.isEmpty() || id.size() != 10 || teacher.trimmed().isEmpty())
        return false;
    try {
        if (QueryValueIn(u"select count(*) from Booking where Index_key LIKE ? escape '\\' and ID = ?"_s,
                         Working(), { QString(LikePrefix(classKey) + u'%'), id })
                .toInt()
            > 0)
            return false;
    } catch (const DatabaseError &) {
        return false;
    }
    ExecSqlQuiet(u"Insert into Booking ( ID, NAME ,Index_key,CR_TYPE,JOBTYPE ) Values ( ?, ?, ?, ?, ? ) "_s,
                 Working(), { id, teacher, classKey, u"課程"_s, u"講師"_s });
    return true;
}

void ClassRecords::DeleteClass(int rid, const QString &course)
{
    ConfirmDeleteNamed(u"科目名稱："_s + course);
    RunQueryAsIs(u"delete from Courses where RID = ?"_s, Working(), { rid });
}

std::optional<ClassRecord> ClassRecords::LoadClass(int rid) const
{
    QSqlQuery query = RunQueryAsIs(u"select * from Courses where RID = ?"_s, Working(), { rid });
    if (!query.next())
        return std::nullopt;
    return ClassRecord::FromSqlRecord(query.record());
}

// ---- Period-date panel ----------------------------------------------------------------------

QList<PeriodDay> ClassRecords::PeriodDays(const QString &dateStart, const QString &dateEnd,
                                          const QString &dateBet)
{
    QList<PeriodDay> days;
    const auto first = ReadStoredDate(dateStart);
    const auto last = ReadStoredDate(dateEnd);
    if (!first || !last || *last < *first)
        return days;
    int k = 0;
    for (QDate d = *first; d <= *last; d = d.addDays(1), ++k) {
        PeriodDay day;
        day.date = d;
        // Qt counts Monday as 1 and Sunday as 7; WeekdayChar counts Sunday as 1.
        day.caption = FormatDateByPattern(DatePattern, d) + u'(' + WeekdayChar(d.dayOfWeek() % 7 + 1) + u')';
        day.ticked = k < dateBet.size() && dateBet.at(k) == u'1';
        days << day;
    }
    return days;
}

void ClassRecords::ApplyPeriodButton(QList<PeriodDay> &days, PeriodButton button, int weekday)
{
    for (PeriodDay &day : days) {
        const int w = day.date.dayOfWeek(); // 1 = Monday .. 7 = Sunday
        switch (button) {
        case PeriodButton::SelectAll:
            day.ticked = true;
            break;
        case PeriodButton::ClearAll:
            day.ticked = false;
            break;
        case PeriodButton::MonWedFri:
            day.ticked = w == 1 || w == 3 || w == 5;
            break;
        case PeriodButton::TueThu:
            day.ticked = w == 2 || w == 4;
            break;
        case PeriodButton::Workdays:
            day.ticked = w <= 5;
            break;
        case PeriodButton::AddWeekday:
            if (w == weekday)
                day.ticked = true;
            break;
        }
    }
}

QString ClassRecords::PeriodCountLabel(const QList<PeriodDay> &days)
{
    int n = 0;
    for (const PeriodDay &day : days)
        n += day.ticked ? 1 : 0;
    return u"前後共"_s + QString::number(n) + u"天"_s;
}

QString ClassRecords::PeriodDateBet(const QList<PeriodDay> &days)
{
    QString text;
    for (const PeriodDay &day : days)
        text += day.ticked ? u'1' : u'0';
    return text;
}

// ---- Starting the station -------------------------------------------------------------------

StartDecision ClassRecords::DecideStart(const ClassRecord &r, const QDate &today) const
{
    StartDecision decision;
    const QString key = ClassKeyOf(r.CourseId, r.Echelon);
    // Without a number and echelon there is no class to look for lessons of.
    if (key.isEmpty()) {
        decision.message = u"尚未選定課程"_s;
        return decision;
    }

    const QString first = r.DateStart.trimmed();
    const QString last = r.DateEnd.trimmed();
    if (first != last) {
        const QString sql = u"select count(*) from Course where  Index_key = ? and DateStart = ? "_s;
        if (QueryValueIn(sql, Working(), { key, first }).toInt() <= 0) {
            decision.message = u"起始日期未設定課程"_s;
            return decision;
        }
        if (QueryValueIn(sql, Working(), { key, last }).toInt() <= 0) {
            decision.message = u"結束日期未設定課程"_s;
            return decision;
        }
    }

    const QString t = FormatDateByPattern(DatePattern, today);
    bool may = t == first || t == last;
    if (!may && first <= t && t <= last) {
        if (const auto start = ReadStoredDate(first)) {
            const qint64 k = start->daysTo(today) + 1;
            may = k >= 1 && k <= r.DateBet.size() && r.DateBet.at(k - 1) == u'1';
        }
    }
    if (may) {
        decision.mayStart = true;
        decision.classKey = key;
        return decision;
    }
    decision.message = (first < t && t < last) ? u"請點選期間日期查看"_s : u"今天並不屬設定日期"_s;
    return decision;
}

// ---- Classes the unit adds itself -------------------------------------------------------------

QString ClassRecords::DefaultClassNumberPattern()
{
    return u"INTYYYMM"_s;
}

QString ClassRecords::ExpandClassNumberPattern(const QString &pattern, const QDate &day)
{
    QString out;
    qsizetype i = 0;
    const QString upper = pattern.toUpper();
    while (i < pattern.size()) {
        if (upper.mid(i, 4) == u"YYYY"_s) {
            out += QString::number(day.year()).rightJustified(4, u'0');
            i += 4;
        } else if (upper.mid(i, 3) == u"YYY"_s) {
            out += ZeroPad(day.year() - 1911, 3);
            i += 3;
        } else if (upper.mid(i, 2) == u"MM"_s) {
            out += ZeroPad(day.month(), 2);
            i += 2;
        } else if (upper.mid(i, 2) == u"DD"_s) {
            out += ZeroPad(day.day(), 2);
            i += 2;
        } else {
            out += pattern.at(i);
            ++i;
        }
    }
    return out;
}

QString ClassRecords::NextClassNumber(const QDate &today) const
{
    const QString setting = ReadIniSetting(IniSection::Base, IniKey::CourseNoFormat, QString(), QString()).trimmed();
    QString prefix;
    if (setting.isEmpty()) {
        // Leave at least two digits for the serial number when the class number is short.
        prefix = ExpandClassNumberPattern(DefaultClassNumberPattern(), today);
        if (prefix.size() > m_courseNoLength - 2)
            prefix = ExpandClassNumberPattern(u"YYYMM"_s, today);
        if (prefix.size() > m_courseNoLength - 2)
            prefix.clear();
    } else {
        prefix = ExpandClassNumberPattern(setting, today);
        if (prefix.size() >= m_courseNoLength) {
            throw RolvanError(u"課程編號格式「"_s + setting + u"」已達課程編號長度 "_s
                              + QString::number(m_courseNoLength) + u" 位，無法編列流水號"_s);
        }
    }
    return NextSerialNumberOn(Working(), u"Courses"_s, prefix, u"CourseId"_s, m_courseNoLength);
}

ClassRecord ClassRecords::NewClass(const QDate &today) const
{
    ClassRecord r;
    r.CourseId = NextClassNumber(today);
    r.Echelon = u"00"_s;
    r.DateStart = FormatDateByPattern(DatePattern, today);
    r.DateEnd = r.DateStart;
    r.TotHours = ReadCourseDefault(IniKey::TrainingTotal);
    r.SignType = ReadCourseDefault(IniKey::CardKind);
    if (r.SignType.isEmpty())
        r.SignType = u"110000"_s;
    r.TimeStart = ReadCourseDefault(IniKey::StartTime);
    r.TimeEnd = ReadCourseDefault(IniKey::EndTime);
    r.Place = ReadCourseDefault(IniKey::Place);
    r.Charge = ReadCourseDefault(IniKey::Organiser);
    if (r.Charge.isEmpty())
        r.Charge = G().OrganisationName;
    // The unit's own class: its people may be enrolled on the spot at the station.
    r.Signer = u"內部"_s;
    r.Bookin = ReadCourseDefault(IniKey::NeedsEnrolment) != u"0"_s;
    r.Score = false;
    return r;
}

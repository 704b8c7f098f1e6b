#include "classes/LessonRules.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/QueryBuilder.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Prompter.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace {

bool IsAsciiDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// A blank text is stored as NULL, any other as it is.
QVariant TextOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

const QString TimeFormatMessage = u"時間格式錯誤"_s;
const QString DateMessage = u"請輸入正確日期"_s;
const QString NumberMessage = u"請輸入編號"_s;
const QString HoursMessage = u"核定時數請輸入整數"_s;
const QString OverlapMessage = u"課程起訖時間請勿重疊 "_s;
const QString SignedMessage = u"已經開始刷卡,不允許變更日期、起始時間 或 編號 "_s;
const QString BracketMessage = u"系統限制課程名稱不得使用 ( 括號  "_s;

// The class's Courses row is found by its key: trimmed CourseId followed by Echelon.
const QString ClassKeyCondition = u" trim(CourseId) || Echelon = ? "_s;

} // namespace

LessonRules::LessonRules(const TDM &dm, const QString &classKey, int courseNoLength)
    : m_dm(dm)
    , m_classKey(classKey.trimmed())
    , m_courseNoLength(courseNoLength)
{
}

QSqlDatabase LessonRules::WorkingDb() const
{
    return m_dm.Con1();
}

QString LessonRules::classNumber() const
{
    return m_classKey.left(qMax(0, m_courseNoLength)).trimmed();
}

// --- Texts ---

bool LessonRules::IsLessonTime(const QString &text)
{
    if (text.size() != 5 || text.at(2) != u':')
        return false;
    const QStringView hours = QStringView(text).left(2);
    const QStringView minutes = QStringView(text).mid(3, 2);
    return IsAsciiDigits(hours) && IsAsciiDigits(minutes) && hours.toInt() <= 23
           && minutes.toInt() <= 59;
}

std::optional<QDate> LessonRules::ReadLessonDate(const QString &text)
{
    if (text.size() != 10 || text.at(4) != u'/' || text.at(7) != u'/')
        return std::nullopt;
    const QStringView year = QStringView(text).left(4);
    const QStringView month = QStringView(text).mid(5, 2);
    const QStringView day = QStringView(text).mid(8, 2);
    if (!IsAsciiDigits(year) || !IsAsciiDigits(month) || !IsAsciiDigits(day))
        return std::nullopt;
    const QDate date(year.toInt(), month.toInt(), day.toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

bool LessonRules::IsOptionalTimeAcceptable(const QString &text)
{
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() || IsLessonTime(trimmed);
}

QString LessonRules::LeaveFieldMessage()
{
    return u"時間格式有誤"_s;
}

// --- Checks and storing ---

QString LessonRules::FirstRefusal(const LessonRecord &lesson,
                                  const RememberedLesson &remembered) const
{
    // Times: start and end "HH:MM"; break and roll-call times blank or "HH:MM".
    if (!IsLessonTime(lesson.TimeStart) || !IsLessonTime(lesson.TimeEnd))
        return TimeFormatMessage;
    for (const QString *optional : {&lesson.noonRS, &lesson.noonRE, &lesson.nightRS,
                                    &lesson.nightRE, &lesson.R1, &lesson.R2, &lesson.R3}) {
        if (!IsOptionalTimeAcceptable(*optional))
            return TimeFormatMessage;
    }

    // Date: a real day, written exactly as the system writes it (2024/5/6 is refused).
    const QString datePattern = u"yyyy/mm/dd"_s;
    if (!ReadLessonDate(lesson.DateStart)
        || FormatDateByPattern(datePattern, ParseDateSafe(lesson.DateStart, datePattern))
               != lesson.DateStart)
        return DateMessage;

    if (lesson.CNo4.trimmed().isEmpty())
        return NumberMessage;

    if (!lesson.Hours.trimmed().isEmpty()) {
        bool ok = false;
        const int hours = lesson.Hours.trimmed().toInt(&ok);
        if (!ok || hours < 0 || hours > 32767)
            return HoursMessage;
    }

    // Overlap with another lesson of the class on that day; the bounds count, so a lesson
    // that starts at the minute another one ends overlaps it.
    const int overlapping = QueryValueIn(
        u"select count(*) from Course where INDEX_KEY = ? and DateStart = ? and RID <> ?"
        " and ((TimeStart <= ? and TimeEnd >= ?) or (TimeStart <= ? and TimeEnd >= ?)"
        " or (TimeStart >= ? and TimeEnd <= ?))"_s,
        WorkingDb(),
        {m_classKey, lesson.DateStart, lesson.RID, lesson.TimeStart, lesson.TimeStart,
         lesson.TimeEnd, lesson.TimeEnd, lesson.TimeStart, lesson.TimeEnd}).toInt();
    if (overlapping > 0)
        return OverlapMessage;

    // Sign events are recorded against the number, start time and date the lesson had; once
    // one exists those may not change. A lesson not stored yet has none.
    if (lesson.RID != 0
        && (lesson.TimeStart != remembered.TimeStart || lesson.DateStart != remembered.DateStart
            || lesson.CNo4 != remembered.CNo4)) {
        const QString eventKey = classNumber() + remembered.CNo4 + remembered.TimeStart;
        const QString eventDate = FormatDateByPattern(
            u"YYYMMDD"_s, ParseDateSafe(remembered.DateStart, u"YYYY/MM/DD"_s));
        const int events = QueryValueIn(
            u"select count(*) from PSIO where INDEX_KEY = ? and IODATE = ?"_s, WorkingDb(),
            {eventKey, eventDate}).toInt();
        if (events > 0)
            return SignedMessage;
    }

    // The title may not hold "(": the lesson lines of the choice lists put the times there.
    if (lesson.Subject.contains(u'('))
        return BracketMessage;

    return QString();
}

int LessonRules::StoreLesson(LessonRecord lesson, const RememberedLesson &remembered)
{
    const QString refusal = FirstRefusal(lesson, remembered);
    if (!refusal.isEmpty()) {
        CurrentPrompter().ShowMessage(refusal);
        return 0;
    }

    lesson.INDEX_KEY = m_classKey;
    for (QString *optional : {&lesson.noonRS, &lesson.noonRE, &lesson.nightRS, &lesson.nightRE,
                              &lesson.R1, &lesson.R2, &lesson.R3, &lesson.teacherID})
        *optional = optional->trimmed();
    const QString hoursText = lesson.Hours.trimmed();
    const QVariant hours = hoursText.isEmpty() ? QVariant() : QVariant(hoursText.toInt());

    const QVariantList values = {
        lesson.INDEX_KEY, TextOrNull(lesson.Subject), lesson.CNo4, TextOrNull(lesson.CNo2),
        lesson.DateStart, lesson.TimeStart, lesson.TimeEnd, hours, TextOrNull(lesson.teacher),
        TextOrNull(lesson.teacherID), TextOrNull(lesson.noonRS), TextOrNull(lesson.noonRE),
        TextOrNull(lesson.nightRS), TextOrNull(lesson.nightRE), TextOrNull(lesson.R1),
        TextOrNull(lesson.R2), TextOrNull(lesson.R3), TextOrNull(lesson.CourseContent)};

    QSqlDatabase db = WorkingDb();
    if (!db.transaction())
        throw DatabaseError(db.lastError().text());
    try {
        QSqlQuery query;
        int rid = lesson.RID;
        if (rid == 0) {
            query = RunQueryAsIs(
                u"insert into Course (INDEX_KEY, Subject, CNo4, CNo2, DateStart, TimeStart,"
                " TimeEnd, Hours, teacher, teacherID, noonRS, noonRE, nightRS, nightRE, R1, R2,"
                " R3, CourseContent) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                " returning RID"_s,
                db, values);
            rid = query.next() ? query.value(0).toInt() : 0;
            query.finish();
        } else {
            QVariantList params = values;
            params << rid;
            query = RunQueryAsIs(
                u"update Course set INDEX_KEY = ?, Subject = ?, CNo4 = ?, CNo2 = ?,"
                " DateStart = ?, TimeStart = ?, TimeEnd = ?, Hours = ?, teacher = ?,"
                " teacherID = ?, noonRS = ?, noonRE = ?, nightRS = ?, nightRE = ?, R1 = ?,"
                " R2 = ?, R3 = ?, CourseContent = ? where RID = ?"_s,
                db, params);
        }

        // The teacher becomes an enrolled person of the class, once, and can sign in.
        if (lesson.teacherID.size() == 10 && !lesson.teacher.trimmed().isEmpty()) {
            query = RunQueryAsIs(
                u"select count(*) from Booking where INDEX_KEY like ? escape '\\' and ID = ?"_s,
                db, {BeginsWith(m_classKey), lesson.teacherID});
            const int enrolled = query.next() ? query.value(0).toInt() : 0;
            if (enrolled == 0) {
                query = RunQueryAsIs(
                    u"insert into Booking (ID, NAME, INDEX_KEY, CR_TYPE, JOBTYPE)"
                    " values (?, ?, ?, ?, ?)"_s,
                    db, {lesson.teacherID, lesson.teacher, m_classKey, u"課程"_s, u"講師"_s});
            }
        }
        query.finish();
        if (!db.commit())
            throw DatabaseError(db.lastError().text());
        return rid;
    } catch (...) {
        db.rollback();
        throw;
    }
}

void LessonRules::DeleteLesson(int rid, const QString &subject)
{
    ConfirmDeleteNamed(u"課程名稱: "_s + subject + u" 的資料?"_s);
    RunQueryAsIs(u"delete from Course where RID = ?"_s, WorkingDb(), {rid});
}

// --- Reading ---

QString LessonRules::ListSql()
{
    return u"select RID, DateStart, Subject, TimeStart, TimeEnd, Hours, teacher, CNo4"
           " from Course where INDEX_KEY like ? escape '\\' order by DateStart nulls first, TimeStart nulls first"_s;
}

QVariantList LessonRules::listParams() const
{
    return {BeginsWith(m_classKey)};
}

std::optional<LessonRecord> LessonRules::LoadLesson(int rid) const
{
    QSqlQuery query = RunQueryAsIs(
        u"select RID, INDEX_KEY, CNo2, CNo4, Subject, DateStart, TimeStart, TimeEnd, Hours,"
        " teacher, teacherID, noonRS, noonRE, nightRS, nightRE, R1, R2, R3, CourseContent"
        " from Course where RID = ?"_s,
        WorkingDb(), {rid});
    if (!query.next())
        return std::nullopt;
    const auto text = [&query](int column) {
        return query.value(column).isNull() ? QString() : query.value(column).toString();
    };
    LessonRecord lesson;
    lesson.RID = query.value(0).toInt();
    lesson.INDEX_KEY = text(1);
    lesson.CNo2 = text(2);
    lesson.CNo4 = text(3);
    lesson.Subject = text(4);
    lesson.DateStart = text(5);
    lesson.TimeStart = text(6);
    lesson.TimeEnd = text(7);
    lesson.Hours = text(8);
    lesson.teacher = text(9);
    lesson.teacherID = text(10);
    lesson.noonRS = text(11);
    lesson.noonRE = text(12);
    lesson.nightRS = text(13);
    lesson.nightRE = text(14);
    lesson.R1 = text(15);
    lesson.R2 = text(16);
    lesson.R3 = text(17);
    lesson.CourseContent = text(18);
    return lesson;
}

QString LessonRules::TeacherIdOfName(const QString &name) const
{
    return QueryValueIn(u"select ID from Booking where INDEX_KEY like ? escape '\\' and NAME = ?"_s,
                        WorkingDb(), {BeginsWith(m_classKey), name}).toString();
}

QStringList LessonRules::DistinctValues(QSqlDatabase db, const QString &column)
{
    static const QStringList columns = {u"Subject"_s, u"TimeStart"_s, u"TimeEnd"_s,
                                        u"teacher"_s};
    if (!columns.contains(column))
        return {};
    QStringList values = QueryToListOn(QString(), u"select distinct "_s + column
                                                      + u" from Course where "_s + column
                                                      + u" is not null order by "_s + column,
                                       db);
    values.removeAll(QString());
    return values;
}

QList<SubjectCode> LessonRules::SubjectList(QSqlDatabase db)
{
    const QString unitCode = ReadIniSetting(IniSection::Base, IniKey::TrainingUnitCode,
                                            QString(), IniDefault::TrainingUnitCode);
    QSqlQuery query = RunQueryAsIs(
        u"select CODE_SEQ, CODE_DESC from SYS_CODE where CODE_TYPE = ? order by CODE_SEQ"_s, db,
        {QString(u"課程科目"_s + unitCode.left(1))});
    QList<SubjectCode> list;
    while (query.next())
        list.append({query.value(0).toString(), query.value(1).toString()});
    return list;
}

// --- Day flags ---

QString LessonRules::DateBetText(const QDate &first, const QDate &last,
                                 const QList<QDate> &lessonDates)
{
    const qint64 days = first.daysTo(last) + 1;
    if (days <= 0)
        return QString();
    QString flags(int(qMin<qint64>(days, 255)), u'0');
    for (const QDate &date : lessonDates) {
        const qint64 position = first.daysTo(date);
        if (position >= 0 && position < flags.size())
            flags[int(position)] = u'1';
    }
    return flags;
}

QString LessonRules::ComputeDateBet() const
{
    const QString pattern = u"YYYY/MM/DD"_s;
    const QDate first = ParseDateSafe(
        QueryValueIn(u"select DateStart from Courses where"_s + ClassKeyCondition, WorkingDb(),
                     {m_classKey})
            .toString(),
        pattern).date();
    const QDate last = ParseDateSafe(
        QueryValueIn(u"select DateEnd from Courses where"_s + ClassKeyCondition, WorkingDb(),
                     {m_classKey})
            .toString(),
        pattern).date();

    QList<QDate> lessonDates;
    const QStringList dates = QueryToListOn(
        QString(), u"select distinct DateStart from Course where INDEX_KEY = ?"_s, WorkingDb(),
        {m_classKey});
    for (const QString &text : dates) {
        // A lesson date that is no day at all marks nothing.
        if (const std::optional<QDate> date = ReadLessonDate(text.trimmed()))
            lessonDates.append(*date);
    }
    return DateBetText(first, last, lessonDates);
}

void LessonRules::WriteDateBet() const
{
    ExecSqlQuiet(u"update Courses set DateBet = ? where"_s + ClassKeyCondition, WorkingDb(),
                 {ComputeDateBet(), m_classKey});
}

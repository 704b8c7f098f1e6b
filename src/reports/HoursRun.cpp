#include "reports/HoursRun.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/SysIni.h"
#include "core/TDM.h"
#include "dialogs/ChoiceDialogs.h"
#include "base/RolvanError.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

using namespace Qt::StringLiterals;

// ---- Settings --------------------------------------------------------------------------------

ReportSettings ReadReportSettings(QSqlDatabase sample)
{
    // A missing key takes its default; a key stored empty reads as empty, which is 0 minutes (no
    // tolerance, no break limit, a roll call only at its minute), as the station reads the same
    // keys. The class periods and the class-number length keep their defaults when empty: a
    // class number of no characters would take every class's events into this class's report.
    const auto ini = [](const QString &section, const QString &key, const QString &byDefault) {
        return ReadIniSetting(section, key, QString(), byDefault);
    };
    const auto iniOrDefault = [](const QString &section, const QString &key, const QString &byDefault) {
        return ReadIniSetting(section, key, byDefault, byDefault);
    };
    const auto sysIni = [&sample](const QString &key, const QString &byDefault) {
        return ReadSysIni(sample, IniSection::Base, key, QString(), byDefault);
    };
    const QString unit = ini(IniSection::Base, IniKey::TrainingUnitCode, IniDefault::TrainingUnitCode);

    ReportSettings s;
    s.LateGrace = MinutesToTimeText(
        StrToIntSafe(sysIni(PerUnitKey(SysIniKey::LateTolerancePrefix, unit), u"15"_s)), QString());
    s.RestLimit = MinutesToTimeText(StrToIntSafe(sysIni(SysIniKey::BreakLimit, u"30"_s)), u":"_s);
    s.HourMinutes = StrToIntSafe(
        ini(IniSection::Base, PerUnitKey(IniKey::MinutesPerHourPrefix, unit), u"45"_s));
    s.RollCallLimit = StrToIntSafe(ini(IniSection::Base, IniKey::RollCallLimit, u"30"_s));
    s.ClassPeriods = iniOrDefault(IniSection::Baae, IniKey::ClassPeriods, IniDefault::ClassPeriodsBaae);
    s.CourseNoLength = StrToIntSafe(iniOrDefault(IniSection::Base, IniKey::CourseNoLength, u"11"_s));
    return s;
}

// ---- Loading ---------------------------------------------------------------------------------

namespace {

QString Text(const QSqlQuery &query, int column)
{
    return query.value(column).toString();
}

// HH:MM from four digits of the class periods at the 1-based position.
QString PeriodTime(const QString &classPeriods, int position)
{
    const QString hhmm = classPeriods.mid(position - 1, 4);
    return hhmm.isEmpty() ? QString() : hhmm.left(2) + u':' + hhmm.mid(2, 2);
}

} // namespace

ReportClassRow LoadReportClassRow(QSqlDatabase db, const QString &classKey)
{
    QSqlQuery query = RunQuery(
        u"select CourseId, Course, DateStart, DateEnd, TimeStart, TimeEnd, TotHours, CNo2, CNo4, "
        "SignType from Courses where trim(CourseId) || Echelon = ? order by RID"_s,
        db, {classKey});
    ReportClassRow row;
    if (!query.next())
        return row;
    row.found = true;
    row.CourseId = Text(query, 0);
    row.Course = Text(query, 1);
    row.DateStart = Text(query, 2);
    row.DateEnd = Text(query, 3);
    row.TimeStart = Text(query, 4);
    row.TimeEnd = Text(query, 5);
    row.TotHours = Text(query, 6);
    row.CNo2 = Text(query, 7);
    row.CNo4 = Text(query, 8);
    row.SignType = Text(query, 9);
    return row;
}

QList<ReportLesson> LoadClassLessons(QSqlDatabase db, const QString &classKey)
{
    QSqlQuery query = RunQuery(
        u"select DateStart, TimeStart, TimeEnd, Hours, CNo2, CNo4, Subject, noonRS, noonRE, "
        "nightRS, nightRE, R1, R2, R3 from Course where INDEX_KEY = ? "
        "order by DateStart nulls first, TimeStart nulls first, RID"_s,
        db, {classKey});
    QList<ReportLesson> lessons;
    while (query.next()) {
        ReportLesson l;
        l.DateStart = Text(query, 0);
        l.TimeStart = Text(query, 1);
        l.TimeEnd = Text(query, 2);
        l.Hours = query.value(3).toInt();
        l.CNo2 = Text(query, 4);
        l.CNo4 = Text(query, 5);
        l.Subject = Text(query, 6);
        l.noonRS = Text(query, 7);
        l.noonRE = Text(query, 8);
        l.nightRS = Text(query, 9);
        l.nightRE = Text(query, 10);
        l.R1 = Text(query, 11);
        l.R2 = Text(query, 12);
        l.R3 = Text(query, 13);
        lessons.append(l);
    }
    return lessons;
}

ReportLesson PairSubstituteLesson(const ReportClassRow &classRow)
{
    ReportLesson l;
    l.DateStart = classRow.DateStart;
    l.TimeStart = classRow.TimeStart.left(5);
    l.TimeEnd = classRow.TimeEnd.left(5);
    l.Hours = StrToIntSafe(classRow.TotHours);
    return l;
}

ReportLesson ClassRowAsLesson(const ReportClassRow &classRow, const QString &classPeriods)
{
    ReportLesson l;
    l.DateStart = classRow.DateStart;
    l.TimeStart = classRow.TimeStart;
    l.TimeEnd = classRow.TimeEnd;
    l.Hours = StrToIntSafe(classRow.TotHours);
    l.CNo2 = classRow.CNo2;
    l.CNo4 = classRow.CNo4;
    l.Subject = classRow.Course;
    l.noonRS = PeriodTime(classPeriods, 5);
    l.noonRE = PeriodTime(classPeriods, 9);
    l.nightRS = PeriodTime(classPeriods, 13);
    l.nightRE = PeriodTime(classPeriods, 17);
    return l;
}

PrefixCondition BeginsWithCondition(const QString &column, const QString &prefix)
{
    // Every text that begins with prefix, letter case of A-Z aside, sorts between the prefix with
    // its letters in upper case and the prefix with its letters in lower case and its last
    // character raised by one; LIKE then keeps exactly the matching ones.
    QString low = prefix;
    QString high = prefix;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        const char16_t c = prefix.at(i).unicode();
        if (c >= u'a' && c <= u'z')
            low[i] = QChar(char16_t(c - u'a' + u'A'));
        else if (c >= u'A' && c <= u'Z')
            high[i] = QChar(char16_t(c - u'A' + u'a'));
    }
    if (!high.isEmpty() && high.back().unicode() < 0xD7FF)
        high.back() = QChar(char16_t(high.back().unicode() + 1));
    else
        high += QChar(0xFFFF);
    const QString pattern = BeginsWith(prefix);
    return {column + u" >= ? and "_s + column + u" < ? and "_s + column + u" like ? escape '\\'"_s,
            {low, high, pattern}};
}

// ---- The run ---------------------------------------------------------------------------------

namespace {

const QString Rpt200Create = u" Create Table IO_RPT200 (cno2 char(5) ,cno4 char(10),IODATE char(10) , IDNO char(10) ,iTime char(6) ,oTime char(6), ipic char(200),opic char(200), istat char(2), ostat char(2)  ,iTime2 char(6) ,oTime2 char(6), ipic2 char(200),opic2 char(200), istat2 char(2), ostat2 char(2)  ,iTime3 char(6) ,oTime3 char(6), ipic3 char(200),opic3 char(200), istat3 char(2), ostat3 char(2)  ,pTime1 char(6) ,pTime2 char(6) ,pTime3 char(6), ppic1 char(200),ppic2 char(200),ppic3 char(200)  , pstat1 char(6) , pstat2 char(6), pstat3 char(6)  , scr int  , scr2 int , scr3 int ,JOBTYPE char(10)     ) "_s;
const QString Rpt300Create = u" Create Table IO_RPT300 ( IDNO char(100) ,IODATE char(10) ,cos1 char(5) ,cos2 char(5),cos3 char(5) ,cos4 char(5) ,cos5 char(5) ,cos6 char(5) ,cos7 char(5) ,cos8 char(5)    ) "_s;
const QString Score00Create = u" Create Table IO_SCORE00 ( INDEX_KEY Varchar(20) ,IDNO char(10) ,IODATE Varchar(10) ,cno2 char(5) ,cno4 char(10),TimeStart char(5),TimeEnd char(5),Hours int ,t1 Varchar(5) ,t2 Varchar(5) ,t3 Varchar(5) ,t4 Varchar(5) ,t5 Varchar(5) ,t6 Varchar(5),gHours int ,Subject Varchar(50),Memo2 Varchar(20)  ) "_s;


// IO_RPT300: the one-hour periods a person attended on a date ("YYYY/MM/DD").
struct HourMarks
{
    QString IDNO;
    QString IODATE;
    unsigned periods = 0; // bit n-1 for period n
};

// Runs work inside one transaction of db: committed when it returns, rolled back (the tables as
// they were before) when it throws.
template<typename Work>
void InTransaction(QSqlDatabase db, const QString &what, Work &&work)
{
    if (!db.transaction())
        throw DatabaseError(u"無法開始資料庫交易："_s + db.lastError().text());
    try {
        work();
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QString reason = db.lastError().text();
        db.rollback();
        throw DatabaseError(what + reason);
    }
}

void InsertRpt200(QSqlDatabase db, const QList<AttendanceRow> &rows)
{
    QSqlQuery insert = PrepareOn(
        u"insert into IO_RPT200 (cno4, IODATE, IDNO, iTime, oTime, istat, ostat, iTime2, "
        "oTime2, istat2, ostat2, iTime3, oTime3, istat3, ostat3, pTime1, pTime2, pTime3, "
        "scr, scr2, scr3, JOBTYPE) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?, ?)"_s, db);
    for (const AttendanceRow &r : rows) {
        int i = 0;
        insert.bindValue(i++, r.cno4);
        insert.bindValue(i++, r.IODATE);
        insert.bindValue(i++, r.IDNO);
        for (int k = 0; k < 3; ++k) {
            insert.bindValue(i++, BindableValue(r.iTime[k]));
            insert.bindValue(i++, BindableValue(r.oTime[k]));
            insert.bindValue(i++, BindableValue(r.istat[k]));
            insert.bindValue(i++, BindableValue(r.ostat[k]));
        }
        for (int k = 0; k < 3; ++k)
            insert.bindValue(i++, BindableValue(r.pTime[k]));
        for (int k = 0; k < 3; ++k)
            insert.bindValue(i++, r.scr[k]);
        insert.bindValue(i++, BindableValue(r.JOBTYPE));
        ExecPrepared(insert);
    }
}

void InsertRpt300(QSqlDatabase db, const QList<HourMarks> &marks)
{
    QSqlQuery insert = PrepareOn(u"insert into IO_RPT300 (IDNO, IODATE, cos1, cos2, cos3, cos4, "
                                 "cos5, cos6, cos7, cos8) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                                 db);
    const QVariant mark(u"V"_s);
    for (const HourMarks &m : marks) {
        insert.bindValue(0, m.IDNO);
        insert.bindValue(1, m.IODATE);
        for (int n = 0; n < 8; ++n)
            insert.bindValue(2 + n, (m.periods >> n) & 1u ? mark : QVariant());
        ExecPrepared(insert);
    }
}

// One text per distinct value, so that the rows of a person, date or lesson share their texts.
class TextPool
{
public:
    QString operator()(const QString &text)
    {
        const auto found = m_texts.constFind(text);
        if (found != m_texts.cend())
            return *found;
        m_texts.insert(text, text);
        return text;
    }

private:
    QHash<QString, QString> m_texts;
};

} // namespace

HoursRun::HoursRun(QSqlDatabase db, const QString &classKey, const ReportSettings &settings)
    : m_db(std::move(db)), m_classKey(classKey), m_settings(settings)
{
}

void HoursRun::SetProgress(std::function<void(qsizetype, qsizetype)> progress)
{
    m_progress = std::move(progress);
}

void HoursRun::Run()
{
    const ReportSettings &settings = m_settings;
    QSqlDatabase db = m_db;
    const QString classNumber = ClassNumberOfKey(m_classKey, settings.CourseNoLength);

    // ---- Read the class once: its row, lessons and enrolment ----
    const ReportClassRow classRow = LoadReportClassRow(db, m_classKey);
    if (!classRow.found)
        throw RolvanError(u"找不到講習「%1」的班別資料，無法計算核定時數。"_s.arg(m_classKey));
    const std::optional<QDate> classStart = ReadStationDate(classRow.DateStart.left(10));
    if (!classStart)
        throw RolvanError(u"講習「%1」的開始日期「%2」不是正確的日期（應為「年/月/日」），"
                          "無法計算核定時數；資料表未變更。"_s
                              .arg(m_classKey, classRow.DateStart));
    const QString startRoc = FormatDateByPattern(u"YYYMMDD"_s, *classStart);

    const QList<ReportLesson> lessons = LoadClassLessons(db, m_classKey);
    QHash<QString, QList<ReportLesson>> lessonsOfDate; // by DateStart as stored, in start order
    for (const ReportLesson &lesson : lessons)
        lessonsOfDate[lesson.DateStart].append(lesson);
    const QList<ReportLesson> substitute{PairSubstituteLesson(classRow)};

    // The lessons credited in phase 2 (the class row when there are none) and their ROC dates,
    // checked before anything is written.
    const bool classRowAsLesson = lessons.isEmpty();
    const QList<ReportLesson> credited = classRowAsLesson
        ? QList<ReportLesson>{ClassRowAsLesson(classRow, settings.ClassPeriods)}
        : lessons;
    QStringList creditedRoc;
    for (const ReportLesson &lesson : credited) {
        const std::optional<QDate> day = ReadStationDate(lesson.DateStart.left(10));
        if (!day)
            throw RolvanError(u"課程「%1」的日期「%2」不是正確的日期（應為「年/月/日」），"
                              "無法計算核定時數；資料表未變更。"_s
                                  .arg(lesson.Subject.trimmed(), lesson.DateStart));
        creditedRoc.append(FormatDateByPattern(u"YYYMMDD"_s, *day));
    }

    TextPool pool;
    QHash<QString, QString> jobTypes; // Booking ID -> JOBTYPE, the first row of an ID
    {
        QSqlQuery query = RunQuery(u"select ID, JOBTYPE from Booking where INDEX_KEY = ? order by RID"_s,
                                   db, {m_classKey});
        while (query.next()) {
            const QString id = query.value(0).toString();
            if (!jobTypes.contains(id))
                jobTypes.insert(id, pool(query.value(1).toString()));
        }
    }

    // ---- Phase 1: the events, read once in order, into rows of person, lesson and date ----
    const PrefixCondition prefix = BeginsWithCondition(u"INDEX_KEY"_s, classNumber);
    QVariantList eventParams = prefix.params;
    eventParams.append(startRoc);
    const QString eventCondition = u" from PSIO where "_s + prefix.sql + u" and IODATE >= ?"_s;
    const qsizetype total = QueryValueOn(u"select count(*)"_s + eventCondition, db, eventParams).toLongLong();

    QList<AttendanceRow> rows;
    QList<HourMarks> marks;
    QHash<QString, qsizetype> marksOf; // IDNO, date "YYYY/MM/DD"
    // Events come by date, so the rows of a date are complete once the next date begins.
    QHash<QString, qsizetype> rowOfDate; // IDNO, lesson key
    QList<qsizetype> rowsOfDate;

    QString currentDate;
    bool haveDate = false;
    DayWindows windows;
    const QList<ReportLesson> noLessons;
    const QList<ReportLesson> *pairLessons = &substitute;
    QString currentDay; // "YYYY/MM/DD"
    QHash<QString, int> pairShifts; // lesson key in capitals -> StationPairShift, of the date
    const auto finishDate = [&] {
        if (haveDate && (windows.MergeMorningAfternoon || windows.MergeAfternoonEvening)) {
            for (const qsizetype r : std::as_const(rowsOfDate))
                MergeBreakEvents(rows[r], windows);
        }
        rowsOfDate.clear();
        rowOfDate.clear();
    };

    const qsizetype step = std::max<qsizetype>(1, total / 100);
    const RollCallLimits limits = HoursRollCallLimits();
    qsizetype done = 0;
    {
        QSqlQuery query = RunQuery(u"select IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY"_s + eventCondition
                                       + u" order by IODATE, INDEX_KEY, IDNO, IOTIME, RID"_s,
                                   db, eventParams);
        while (query.next()) {
            const QString ioDate = query.value(1).toString();
            if (!haveDate || ioDate != currentDate) {
                finishDate();
                const std::optional<QDate> day = ReadRocDate(ioDate);
                if (!day)
                    throw RolvanError(u"簽到資料的日期「%1」（%2）不是正確的民國日期，無法計算核定時數；"
                                      "資料表未變更。"_s.arg(ioDate, query.value(0).toString().trimmed()));
                currentDate = pool(ioDate);
                haveDate = true;
                currentDay = FormatDateByPattern(u"YYYY/MM/DD"_s, *day);
                const auto found = lessonsOfDate.constFind(currentDay);
                windows = BuildDayWindows(found == lessonsOfDate.cend() ? noLessons : *found, settings);
                pairLessons = found == lessonsOfDate.cend() ? &substitute : &*found;
                // A date whose first lesson has no break is credited as one morning part from
                // the first pair, as stored. Otherwise each lesson is credited from the pair of
                // its own part, while the station signs a day without a morning (only
                // afternoon or evening lessons) with the first pair: there each lesson's events
                // stand for the pair of its part.
                pairShifts.clear();
                if (found != lessonsOfDate.cend() && !found->isEmpty()
                    && !(found->first().noonRS.trimmed().isEmpty()
                         && found->first().nightRS.trimmed().isEmpty())) {
                    for (const ReportLesson &lesson : *found) {
                        const int shift = StationPairShift(lesson, settings.ClassPeriods);
                        if (shift == 0) {
                            pairShifts.clear();
                            break;
                        }
                        pairShifts.insert(LessonKeyOf(lesson).toUpper(), shift);
                    }
                }
            }

            const QString lessonKey = query.value(4).toString().mid(classNumber.size(), 9);
            const QString person = query.value(0).toString().trimmed();
            const QString key = person + QChar(0x1F) + lessonKey;
            auto found = rowOfDate.constFind(key);
            if (found == rowOfDate.cend()) {
                AttendanceRow row;
                row.IDNO = pool(person);
                row.cno4 = pool(lessonKey);
                row.IODATE = currentDate;
                row.JOBTYPE = jobTypes.value(person);
                rows.append(row);
                found = rowOfDate.insert(key, rows.size() - 1);
                rowsOfDate.append(rows.size() - 1);
            }
            AttendanceRow &row = rows[*found];
            // A lesson the station signs with the first pair has its events moved to the pair
            // its part is credited from.
            const int part = ApplyEvent(row, TypeWithShift(query.value(3).toString(),
                                                           pairShifts.value(lessonKey.toUpper())),
                                        query.value(2).toString(), windows, limits);
            if (part >= 0) {
                const auto markAttended = [&](int period) {
                    // IO_RPT300 has the columns cos1 .. cos8: a ninth or later one-hour period of a
                    // date has no column and is not marked (its hour still counts).
                    if (period < 1 || period > 8)
                        return;
                    const QString markKey = row.IDNO + QChar(0x1F) + currentDay;
                    auto m = marksOf.constFind(markKey);
                    if (m == marksOf.cend()) {
                        marks.append({row.IDNO, currentDay, 0});
                        m = marksOf.insert(markKey, marks.size() - 1);
                    }
                    marks[*m].periods |= 1u << (period - 1);
                };
                row.scr[part] = PairHours(row.iTime[part], row.oTime[part], *pairLessons, settings,
                                          markAttended);
            }
            ++done;
            if (m_progress && done % step == 0)
                m_progress(done, total);
        }
    }
    finishDate();
    marksOf.clear();

    // ---- Phase 2 and the writing: each lesson credited for each of its rows ----
    QHash<QString, QList<qsizetype>> rowsOfLesson; // date, lesson key
    for (qsizetype r = 0; r < rows.size(); ++r)
        rowsOfLesson[rows.at(r).IODATE + QChar(0x1F) + rows.at(r).cno4].append(r);

    qsizetype scoreCount = 0;
    InTransaction(db, u"無法寫入核定時數資料表："_s, [&] {
        RecreateWorkTable(db, u"IO_RPT300"_s, Rpt300Create);
        RecreateWorkTable(db, u"IO_RPT200"_s, Rpt200Create);
        RecreateWorkTable(db, u"IO_SCORE00"_s, Score00Create);
        InsertRpt200(db, rows);
        InsertRpt300(db, marks);

        QSqlQuery insert = PrepareOn(
            u"insert into IO_SCORE00 (INDEX_KEY, IDNO, IODATE, cno2, cno4, TimeStart, TimeEnd, "
            "t1, t2, t3, t4, t5, t6, Subject, memo2, gHours, Hours) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
            db);
        QHash<QString, DayWindows> windowsOfDay;
        for (qsizetype l = 0; l < credited.size(); ++l) {
            const ReportLesson &lesson = credited.at(l);
            const QString &roc = creditedRoc.at(l);
            const QString lessonKey = LessonKeyOf(lesson);
            QList<qsizetype> lessonRows = rowsOfLesson.value(roc + QChar(0x1F) + lessonKey);
            if (classRowAsLesson) {
                // A class without lessons is signed at the station under the class key itself,
                // so its events carry the echelon where a lesson key would stand. Those rows are
                // the class row's as well; a person with rows under both keys is credited once,
                // by the row the station wrote.
                const QString stationKey = m_classKey.mid(classNumber.size(), 9);
                if (stationKey != lessonKey) {
                    const QList<qsizetype> stationRows =
                        rowsOfLesson.value(roc + QChar(0x1F) + stationKey);
                    QSet<QString> signedAtStation;
                    for (const qsizetype r : stationRows)
                        signedAtStation.insert(rows.at(r).IDNO);
                    QList<qsizetype> merged = stationRows;
                    for (const qsizetype r : std::as_const(lessonRows))
                        if (!signedAtStation.contains(rows.at(r).IDNO))
                            merged.append(r);
                    lessonRows = merged;
                }
            }
            if (lessonRows.isEmpty())
                continue;
            std::sort(lessonRows.begin(), lessonRows.end(),
                      [&](qsizetype a, qsizetype b) { return rows.at(a).IDNO < rows.at(b).IDNO; });

            // Only the roll calls of the date's windows are read here.
            const QList<ReportLesson> dayLessons = lessonsOfDate.value(lesson.DateStart);
            auto w = windowsOfDay.constFind(lesson.DateStart);
            if (w == windowsOfDay.cend())
                w = windowsOfDay.insert(lesson.DateStart, BuildDayWindows(dayLessons, settings));

            // A date whose first lesson has no break at all is credited as one morning part.
            QString segmentCode = SegmentCodeOf(lesson, classRowAsLesson);
            if (dayLessons.isEmpty()
                || (dayLessons.first().noonRS.trimmed().isEmpty()
                    && dayLessons.first().nightRS.trimmed().isEmpty()))
                segmentCode = u"100"_s;

            const QString cno2 = lesson.CNo2.trimmed();
            const QString start = NormalizeHHMM(lesson.TimeStart);
            const QString end = NormalizeHHMM(lesson.TimeEnd);
            const QString subject = lesson.Subject.trimmed();
            for (const qsizetype r : std::as_const(lessonRows)) {
                const LessonCredit credit = CreditRow(segmentCode, rows.at(r), lesson, *w, settings);
                int i = 0;
                insert.bindValue(i++, classNumber);
                insert.bindValue(i++, rows.at(r).IDNO);
                insert.bindValue(i++, roc);
                insert.bindValue(i++, BindableValue(cno2));
                insert.bindValue(i++, lessonKey);
                insert.bindValue(i++, BindableValue(start));
                insert.bindValue(i++, BindableValue(end));
                for (const QString &t : credit.t)
                    insert.bindValue(i++, BindableValue(t));
                insert.bindValue(i++, BindableValue(subject));
                insert.bindValue(i++, BindableValue(credit.message));
                insert.bindValue(i++, credit.hours);
                insert.bindValue(i++, lesson.Hours);
                ExecPrepared(insert);
                ++scoreCount;
            }
        }
    });

    m_eventCount = done;
    m_rowCount = rows.size();
    m_scoreCount = scoreCount;
    if (m_progress)
        m_progress(done, total);
}

void HoursRun::ComputeTotals()
{
    QSqlDatabase db = m_db;
    const QString elective = u"選修"_s;
    struct Totals
    {
        qint64 required = 0;
        qint64 elective = 0;
    };
    QHash<QString, Totals> totals;
    {
        QSqlQuery query = RunQuery(u"select IDNO, CNO2, sum(gHours) from IO_SCORE00 "
                                   "where CNO2 is not null group by IDNO, CNO2"_s,
                                   db);
        while (query.next()) {
            Totals &t = totals[query.value(0).toString()];
            const qint64 sum = query.value(2).toLongLong();
            if (query.value(1).toString() == elective)
                t.elective += sum;
            else
                t.required += sum;
        }
    }
    QList<std::pair<QVariant, Totals>> updates;
    {
        QSqlQuery query = RunQuery(u"select RID, ID from Booking where INDEX_KEY = ? order by ID"_s,
                                   db, {m_classKey});
        while (query.next())
            updates.append({query.value(0), totals.value(query.value(1).toString())});
    }

    InTransaction(db, u"無法寫入學員核定時數："_s, [&] {
        QSqlQuery update = PrepareOn(u"update Booking set GHour = ?, Score = ? where RID = ?"_s, db);
        for (const auto &[rid, t] : std::as_const(updates)) {
            update.bindValue(0, QString::number(t.required));
            update.bindValue(1, QString::number(t.elective));
            update.bindValue(2, rid);
            ExecPrepared(update);
        }
    });
}

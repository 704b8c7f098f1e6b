#include "reports/SheetData.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "dialogs/ChoiceDialogs.h"
#include "core/ClassDayProfile.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "station/SignRecorder.h"

#include <QHash>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

const QString Rpt200SheetCreate = u" Create Table IO_RPT200 ( IDNO char(10) ,iTime char(6) ,oTime char(6), ipic char(200),opic char(200), istat char(2), ostat char(2)  ,iTime2 char(6) ,oTime2 char(6), ipic2 char(200),opic2 char(200), istat2 char(2), ostat2 char(2)  ,iTime3 char(6) ,oTime3 char(6), ipic3 char(200),opic3 char(200), istat3 char(2), ostat3 char(2)  ,pTime1 char(6) ,pTime2 char(6) ,pTime3 char(6), ppic1 char(200),ppic2 char(200),ppic3 char(200)  , pstat1 char(6) , pstat2 char(6), pstat3 char(6)  , scr int  , scr2 int , scr3 int  ,JOBTYPE char(10)    ) "_s;
const QString Rpt300Create = u" Create Table IO_RPT300 ( IDNO char(100) ,IODATE char(10) ,cos1 char(5) ,cos2 char(5),cos3 char(5) ,cos4 char(5) ,cos5 char(5) ,cos6 char(5) ,cos7 char(5) ,cos8 char(5)    ) "_s;

QString Gap(const QString &laterStart, const QString &end)
{
    return TimeCalc(laterStart, u"-"_s, end);
}


// The sheet columns of ADOBooking: name, IO_RPT200 column and printed length.
struct SheetColumn
{
    const char16_t *name;
    const char16_t *column;
    int length;
};
constexpr SheetColumn SheetColumns[] = {
    {u"iTime", u"iTime", 5},     {u"oTime", u"oTime", 5},     {u"iStat", u"istat", 4},
    {u"oStat", u"ostat", 4},     {u"iTime2", u"iTime2", 5},   {u"oTime2", u"oTime2", 5},
    {u"iStat2", u"istat2", 5},   {u"oStat2", u"ostat2", 5},   {u"ipic", u"ipic", 100},
    {u"opic", u"opic", 150},     {u"ipic2", u"ipic2", 150},   {u"opic2", u"opic2", 150},
    {u"iTime3", u"iTime3", 5},   {u"oTime3", u"oTime3", 5},   {u"iStat3", u"istat3", 10},
    {u"oStat3", u"ostat3", 20},  {u"ipic3", u"ipic3", 200},   {u"opic3", u"opic3", 200},
    {u"pTime1", u"pTime1", 5},   {u"pTime2", u"pTime2", 5},   {u"pTime3", u"pTime3", 5},
    {u"ppic1", u"ppic1", 200},   {u"ppic2", u"ppic2", 200},   {u"ppic3", u"ppic3", 200},
};

} // namespace

bool SheetNeedsCourseChoice(QSqlDatabase db, const QString &classKey)
{
    return QueryValueIn(u"select count(*) from Course where Index_key like ? escape '\\'"_s, db,
                        {BeginsWith(classKey)})
               .toInt()
        >= 1;
}

bool ReadSheetPhotoOn()
{
    try {
        return TextToBool(ReadIniSetting(IniSection::Base, IniKey::PhotoOnSign, u"False"_s, u"False"_s));
    } catch (const ConversionError &) {
        return false;
    }
}

void RollCallTextOf(const QString &r1, const QString &r2, const QString &r3, QString *text,
                    QString *mask)
{
    QString t;
    QString m;
    for (const QString *r : {&r1, &r2, &r3}) {
        const QString time = r->trimmed();
        if (!time.isEmpty())
            t += u'(' + time + u')';
        m += time.isEmpty() ? u'0' : u'1';
    }
    if (text)
        *text = t;
    if (mask)
        *mask = m;
}

// ---- Sheet windows ---------------------------------------------------------------------------

DayWindows SheetWindowsFrom(const ReportClassRow &classRow, bool hasLessons, const QString &clsIOType,
                            const QList<ReportLesson> &chosenLessonRows, const ReportSettings &settings)
{
    DayWindows w;
    // The class's own times for the parts its SignType names.
    for (int k = 0; k < 3; ++k) {
        if (classRow.SignType.mid(2 * k, 1) == u"1") {
            w.in[k] = classRow.TimeStart.left(5);
            w.out[k] = classRow.TimeEnd.left(5);
            w.partOn[k] = true;
        }
    }
    FinishPartBounds(w, settings);
    if (!hasLessons)
        return w;

    w = DayWindows();
    if (chosenLessonRows.isEmpty()) {
        FinishPartBounds(w, settings);
        return w;
    }
    const ReportLesson &lesson = chosenLessonRows.first();
    w.in[0] = lesson.TimeStart;
    w.out[0] = lesson.TimeEnd;
    // A whole day's lesson across lunch: the morning ends at lunch and the afternoon follows.
    if (clsIOType.startsWith(u"1111") && w.in[0] < lesson.noonRS && w.out[0] > lesson.noonRE) {
        w.out[0] = lesson.noonRS;
        w.in[1] = lesson.noonRE;
        w.out[1] = lesson.TimeEnd;
    }
    bool morning = true;
    bool afternoon = false;
    bool evening = false;
    if (clsIOType.startsWith(u"00") && clsIOType.mid(2, 2) == u"11") {
        w.in[1] = lesson.TimeStart;
        w.out[1] = lesson.TimeEnd;
        morning = false;
        afternoon = true;
        if (clsIOType == u"001111" && w.in[1] < lesson.nightRS && w.out[1] > lesson.nightRE) {
            w.out[1] = lesson.nightRS;
            w.in[2] = lesson.nightRE;
            w.out[2] = lesson.TimeEnd;
            evening = true;
        }
    }
    if (clsIOType.startsWith(u"0000") && clsIOType.endsWith(u"11")) {
        w.in[2] = lesson.TimeStart;
        w.out[2] = lesson.TimeEnd;
        morning = false;
        afternoon = false;
        evening = true;
    }
    w.partOn = {morning, afternoon, evening};

    // Joining as in the hours run, but a new part starts only after a break longer than
    // RestLimit, and it ends the part before it.
    const QString &rest = settings.RestLimit;
    for (const ReportLesson &row : chosenLessonRows) {
        const QString &s = row.TimeStart;
        const QString &e = row.TimeEnd;
        if (morning && s >= w.out[0] && Gap(s, w.out[0]) < rest)
            w.out[0] = e;
        if (afternoon && s >= w.out[0] && Gap(s, w.out[0]) > rest) {
            w.in[1] = s;
            w.out[1] = e;
            morning = false;
        }
        if (afternoon && s >= w.out[1] && Gap(s, w.out[1]) < rest)
            w.out[1] = e;
        if (evening && s >= w.out[1] && Gap(s, w.out[1]) > rest) {
            w.in[2] = s;
            w.out[2] = e;
            afternoon = false;
        }
        if (evening && s >= w.out[2] && Gap(s, w.out[2]) < rest)
            w.out[2] = e;
    }
    FinishPartBounds(w, settings);
    return w;
}

namespace {

// The rows of the chosen lesson on the lesson date.
QList<ReportLesson> ChosenLessonRows(const QList<ReportLesson> &lessons, const QString &lessonDate,
                                     const QString &lessonKey)
{
    QList<ReportLesson> rows;
    for (const ReportLesson &l : lessons) {
        if (l.DateStart == lessonDate && l.CNo4 + l.TimeStart == lessonKey)
            rows.append(l);
    }
    return rows;
}

} // namespace

DayWindows BuildSheetWindows(QSqlDatabase db, const QString &classKey, const QString &lessonDate,
                             const QString &lessonKey, const ReportSettings &settings)
{
    const ReportClassRow classRow = LoadReportClassRow(db, classKey);
    const bool hasLessons = SheetNeedsCourseChoice(db, classKey);
    if (!hasLessons)
        return SheetWindowsFrom(classRow, false, QString(), {}, settings);
    const QString clsIOType = get_IOtypeTimeString(db, classKey, lessonDate, lessonKey).ClsIOType;
    return SheetWindowsFrom(classRow, true, clsIOType,
                            ChosenLessonRows(LoadClassLessons(db, classKey), lessonDate, lessonKey), settings);
}

// ---- Sheet data ------------------------------------------------------------------------------

SheetData BuildSheetData(QSqlDatabase db, const QString &classKey, const SheetChoice &choice,
                         const ReportSettings &settings, bool photoOn,
                         const std::function<void(qsizetype, qsizetype)> &progress)
{
    SheetData d;
    d.ClassKey = classKey;

    const ReportClassRow classRow = LoadReportClassRow(db, classKey);
    if (!classRow.found)
        throw RolvanError(u"找不到講習「%1」的班別資料，無法製作簽到單。"_s.arg(classKey));
    const std::optional<QDate> sheetDay = ReadStationDate(classRow.DateStart);
    if (!sheetDay)
        throw RolvanError(u"講習「%1」的開始日期「%2」不是正確的日期（應為「年/月/日」），無法製作簽到單。"_s
                              .arg(classKey, classRow.DateStart));
    {
        QSqlQuery query = RunQuery(u"select * from Courses where trim(CourseId) || Echelon = ? order by RID"_s,
                                   db, {classKey});
        if (query.next())
            d.ClassRow = query.record();
    }

    d.FullKey = classRow.CourseId;
    d.RocSheetDate = FormatDateByPattern(u"YYYMMDD"_s, *sheetDay);
    d.HasLessons = SheetNeedsCourseChoice(db, classKey);
    if (!d.HasLessons) {
        d.SheetDate = RocDateWithWeekday(*sheetDay);
        d.LessonKey = choice.LessonKey;
    } else {
        if (choice.aborted())
            throw SilentAbort();
        d.SheetDate = choice.Result;
        d.LessonKey = choice.LessonKey;
        d.FullKey = choice.FullLessonKey;
        const int n = settings.CourseNoLength;
        d.TeacherID = QueryValueIn(u"select TeacherID from Course where Index_key like ? escape '\\' and CNO4 = ?"_s,
                                   db, {BeginsWith(d.FullKey.left(n)), d.FullKey.mid(n, 4)})
                          .toString();
    }

    // A class of several days shows the chosen date; a class of one day its start date.
    d.LessonDate = classRow.DateStart;
    if (classRow.DateStart != classRow.DateEnd) {
        d.RocSheetDate = d.SheetDate.left(7);
        const std::optional<QDate> lessonDay = ReadRocDate(d.RocSheetDate);
        if (!lessonDay)
            throw RolvanError(u"簽到單日期「%1」不是正確的民國日期，無法製作簽到單。"_s.arg(d.SheetDate));
        d.LessonDate = FormatDateByPattern(u"YYYY/MM/DD"_s, *lessonDay);
    }

    const QList<ReportLesson> lessons = LoadClassLessons(db, classKey);
    d.SheetSignType = get_IOtypeTimeString(db, classKey, d.LessonDate, d.LessonKey).ClsIOType;
    const QList<ReportLesson> chosenRows = ChosenLessonRows(lessons, d.LessonDate, d.LessonKey);
    d.Windows = SheetWindowsFrom(classRow, d.HasLessons, d.SheetSignType, chosenRows, settings);
    if (d.HasLessons) {
        QSqlQuery query = RunQuery(u"select * from Course where INDEX_KEY = ? and DateStart = ? "
                                   "and CNO4 || TimeStart = ? order by TimeStart, RID"_s,
                                   db, {classKey, d.LessonDate, d.LessonKey});
        if (query.next()) {
            d.ChosenLesson = query.record();
            RollCallTextOf(query.value(u"R1"_s).toString(), query.value(u"R2"_s).toString(),
                           query.value(u"R3"_s).toString(), &d.RollCallText, &d.RollCallMask);
        }
    }

    // The lessons of the date for the pair hours, or the class row standing in for them.
    QList<ReportLesson> dayLessons;
    for (const ReportLesson &l : lessons) {
        if (l.DateStart == d.LessonDate)
            dayLessons.append(l);
    }
    if (dayLessons.isEmpty())
        dayLessons.append(PairSubstituteLesson(classRow));

    QHash<QString, QString> jobTypes;
    {
        QSqlQuery query = RunQuery(u"select ID, JOBTYPE from Booking where INDEX_KEY = ? order by RID"_s,
                                   db, {classKey});
        while (query.next()) {
            const QString id = query.value(0).toString();
            if (!jobTypes.contains(id))
                jobTypes.insert(id, query.value(1).toString());
        }
    }

    struct Event
    {
        QString IDNO, IODATE, IOTIME, IOTYPE, IOWay;
    };
    QList<Event> events;
    {
        const PrefixCondition prefix = BeginsWithCondition(u"INDEX_KEY"_s, d.FullKey);
        QVariantList params = prefix.params;
        params.append(d.RocSheetDate);
        QSqlQuery query = RunQuery(u"select IDNO, IODATE, IOTIME, IOTYPE, IOWay from PSIO where "_s
                                       + prefix.sql + u" and IODATE = ? order by IDNO, IODATE, IOTIME, RID"_s,
                                   db, params);
        while (query.next())
            events.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                           query.value(3).toString(), query.value(4).toString()});
    }

    // One row per person. A person's events go to the row of exactly that identity (not to the
    // first row whose identity merely begins with it, which could be somebody else's).
    QList<AttendanceRow> rows;
    struct Pictures
    {
        std::array<QString, 3> ipic, opic, ppic; // snapshot file names
    };
    QList<Pictures> pictures; // beside rows
    QHash<QString, qsizetype> rowOf;
    QHash<QString, unsigned> periods; // IO_RPT300 of the lesson date, by person
    QStringList periodOrder;
    const RollCallLimits limits = SheetRollCallLimits();
    const qsizetype total = events.size();
    const qsizetype step = std::max<qsizetype>(1, total / 100);
    for (qsizetype e = 0; e < total; ++e) {
        const Event &ev = events.at(e);
        const QString person = ev.IDNO.trimmed();
        auto found = rowOf.constFind(person);
        if (found == rowOf.cend()) {
            AttendanceRow row;
            row.IDNO = person;
            row.JOBTYPE = jobTypes.value(person);
            if (row.JOBTYPE == u"講師") {
                d.LecturerList += (d.LecturerIds.isEmpty() ? u"('"_s : u",'"_s) + person + u"' "_s;
                d.LecturerIds.append(person);
            }
            rows.append(row);
            pictures.append(Pictures());
            found = rowOf.insert(person, rows.size() - 1);
        }
        AttendanceRow &row = rows[*found];
        const int part = ApplyEvent(row, ev.IOTYPE, ev.IOTIME, d.Windows, limits);
        if (part >= 0) {
            row.scr[part] = PairHours(row.iTime[part], row.oTime[part], dayLessons, settings, [&](int n) {
                // Only cos1 .. cos8 exist.
                if (n < 1 || n > 8)
                    return;
                if (!periods.contains(person))
                    periodOrder.append(person);
                periods[person] |= 1u << (n - 1);
            });
        }
        if (photoOn) {
            const QString picture = SignRecorder::SnapshotFileName(classKey, ev.IDNO, ev.IODATE,
                                                                   ev.IOTIME, ev.IOTYPE, ev.IOWay);
            const QString type = ev.IOTYPE.trimmed();
            Pictures &p = pictures[*found];
            if (type == u"9") {
                p.ppic[RollCallSlot(ev.IOTIME, limits)] = picture;
            } else if (const int k = PartOfType(type); k >= 0) {
                (IsSignOutType(type) ? p.opic : p.ipic)[k] = picture;
            }
        }
        if (progress && (e + 1) % step == 0)
            progress(e + 1, total);
    }
    if (!d.LecturerList.isEmpty())
        d.LecturerList += u')';

    // Write both work tables at once.
    if (!db.transaction())
        throw DatabaseError(u"無法開始資料庫交易："_s + db.lastError().text());
    try {
        RecreateWorkTable(db, u"IO_RPT200"_s, Rpt200SheetCreate);
        RecreateWorkTable(db, u"IO_RPT300"_s, Rpt300Create);
        QSqlQuery insert = PrepareOn(u"insert into IO_RPT200 (IDNO, iTime, oTime, ipic, opic, istat, ostat, "
                                     "iTime2, oTime2, ipic2, opic2, istat2, ostat2, iTime3, oTime3, ipic3, opic3, "
                                     "istat3, ostat3, pTime1, pTime2, pTime3, ppic1, ppic2, ppic3, scr, scr2, scr3, "
                                     "JOBTYPE) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                     "?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                                     db);
        for (qsizetype n = 0; n < rows.size(); ++n) {
            const AttendanceRow &r = rows.at(n);
            const Pictures &p = pictures.at(n);
            int i = 0;
            insert.bindValue(i++, r.IDNO);
            for (int k = 0; k < 3; ++k) {
                insert.bindValue(i++, BindableValue(r.iTime[k]));
                insert.bindValue(i++, BindableValue(r.oTime[k]));
                insert.bindValue(i++, BindableValue(p.ipic[k]));
                insert.bindValue(i++, BindableValue(p.opic[k]));
                insert.bindValue(i++, BindableValue(r.istat[k]));
                insert.bindValue(i++, BindableValue(r.ostat[k]));
            }
            for (int k = 0; k < 3; ++k)
                insert.bindValue(i++, BindableValue(r.pTime[k]));
            for (int k = 0; k < 3; ++k)
                insert.bindValue(i++, BindableValue(p.ppic[k]));
            for (int k = 0; k < 3; ++k)
                insert.bindValue(i++, r.scr[k]);
            insert.bindValue(i++, BindableValue(r.JOBTYPE));
            ExecPrepared(insert);
        }
        QSqlQuery marks = PrepareOn(u"insert into IO_RPT300 (IDNO, IODATE, cos1, cos2, cos3, cos4, cos5, cos6, "
                                    "cos7, cos8) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                                    db);
        for (const QString &person : std::as_const(periodOrder)) {
            const unsigned bits = periods.value(person);
            marks.bindValue(0, person);
            marks.bindValue(1, d.LessonDate);
            for (int n = 0; n < 8; ++n)
                marks.bindValue(2 + n, (bits >> n) & 1u ? QVariant(u"V"_s) : QVariant());
            ExecPrepared(marks);
        }
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QString reason = db.lastError().text();
        db.rollback();
        throw DatabaseError(u"無法寫入簽到單資料表："_s + reason);
    }
    if (progress)
        progress(total, total);

    // Head counts.
    d.Expected = QueryValueIn(u"select count(*) from Booking where Index_key like ? escape '\\' and JoBType = ?"_s,
                              db, {BeginsWith(classKey), u"學員"_s})
                     .toInt();
    d.Present = int(rows.size() - d.LecturerIds.size());
    d.Absent = d.Expected - d.Present;
    for (const AttendanceRow &r : std::as_const(rows)) {
        d.MorningRollCalls += r.pTime[0] > u"0" ? 1 : 0;
        d.AfternoonRollCalls += r.pTime[1] > u"0" ? 1 : 0;
        d.EveningRollCalls += r.pTime[2] > u"0" ? 1 : 0;
    }
    return d;
}

// ---- Rows of the sheets ----------------------------------------------------------------------

QList<QSqlRecord> OpenADOBooking(QSqlDatabase db, const QString &classKey, const QString &teacherId,
                                 const QStringList &lecturerIds)
{
    QString sql = u"select * from Booking where Index_key like ? escape '\\' "_s;
    QVariantList params{BeginsWith(classKey)};
    if (!lecturerIds.isEmpty()) {
        QStringList marks;
        for (const QString &id : lecturerIds) {
            marks << u"?"_s;
            params << id;
        }
        sql += u"and ( JoBType = ? or ID = ? or ID in ("_s + marks.join(u", "_s) + u") ) "_s;
        params.insert(1, u"學員"_s);
        params.insert(2, teacherId);
    }
    // Rows without a job type or identity first, on every database (PostgreSQL would put
    // them last).
    sql += u"order by JOBTYPE nulls first, ID nulls first"_s;

    // The person's IO_RPT200 values; the first row of an identity counts.
    QHash<QString, QStringList> values;
    if (TableExistsOn(u"IO_RPT200"_s, db)) {
        QStringList columns;
        for (const SheetColumn &c : SheetColumns)
            columns << QString::fromUtf16(c.column);
        QSqlQuery query = RunQuery(u"select IDNO, "_s + columns.join(u", "_s) + u" from IO_RPT200"_s, db);
        while (query.next()) {
            const QString id = query.value(0).toString();
            if (values.contains(id))
                continue;
            QStringList texts;
            for (qsizetype c = 0; c < columns.size(); ++c)
                texts << query.value(int(c) + 1).toString().left(SheetColumns[c].length);
            values.insert(id, texts);
        }
    }

    QList<QSqlRecord> rows;
    QSqlQuery query = RunQuery(sql, db, params);
    while (query.next()) {
        QSqlRecord record = query.record();
        const QStringList texts = values.value(record.value(u"ID"_s).toString());
        int c = 0;
        for (const SheetColumn &column : SheetColumns) {
            QSqlField field(QString::fromUtf16(column.name), QMetaType(QMetaType::QString));
            field.setValue(texts.value(c++));
            record.append(field);
        }
        rows.append(record);
    }
    return rows;
}

#include "classes/ClassImport.h"

#include "Fun/CsvExport.h"
#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "classes/TrainingService.h"
#include "base/RolvanError.h"
#include "net/OrderedJson.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace ClassImport {

namespace {

const QString StudentJob = u"學員"_s;
const QString TeacherJob = u"講師"_s;
const QString FindPersonSql = u"select RID from Booking where INDEX_KEY = ? and ID = ?"_s;

bool IsBlankOrControl(QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; }

QString TrimField(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && IsBlankOrControl(text.at(start)))
        ++start;
    while (end > start && IsBlankOrControl(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

using CsvRecord = CsvTextRecord;

// Splits CSV text into records of trimmed fields, "null" standing for an empty field. A double
// quote opens a quoted part (in which "" is one quote and separators and line feeds are text)
// wherever it stands; records end at line feeds.
QList<CsvRecord> SplitCsv(const QString &text)
{
    QList<CsvRecord> kept;
    for (CsvRecord record : SplitCsvRecords(text, u',', CsvRecordEnd::LineFeed)) {
        for (QString &field : record.fields) {
            const QString value = TrimField(field);
            field = value == u"null"_s ? QString() : value;
        }
        // A record of one blank field (blanks or "null" alone on a line) carries no person.
        if (record.fields.size() == 1 && record.fields.first().isEmpty())
            continue;
        kept << record;
    }
    return kept;
}

QVariant HoursValue(const QString &hours)
{
    if (hours.trimmed().isEmpty())
        return QVariant();
    bool ok = false;
    const int whole = hours.trimmed().toInt(&ok);
    return ok ? QVariant(whole) : QVariant(hours);
}

// A prepared statement on db that throws DatabaseError when the database refuses it.
class Statement
{
public:
    Statement(QSqlDatabase db, const QString &sql)
        : m_query(db)
        , m_sql(sql)
    {
        if (!m_query.prepare(sql))
            throw DatabaseError(sql + u"\n"_s + m_query.lastError().text());
    }
    QSqlQuery &run(const QVariantList &params)
    {
        for (int i = 0; i < params.size(); ++i)
            m_query.bindValue(i, BindableValue(params.at(i)));
        if (!m_query.exec())
            throw DatabaseError(m_sql + u"\n"_s + m_query.lastError().text());
        return m_query;
    }
    bool exists(const QVariantList &params)
    {
        QSqlQuery &q = run(params);
        const bool found = q.next();
        q.finish();
        return found;
    }

private:
    QSqlQuery m_query;
    QString m_sql;
};

} // namespace

} // namespace ClassImport

QString ImportSummary::message() const
{
    return u"匯入課程編號 :%1 及學員 %2筆"_s.arg(classNo).arg(students);
}

QString StudentLineProblem::text() const { return u"第 %1 行：%2"_s.arg(line).arg(reason); }

namespace ClassImport {

QString NameWithoutNumber(const QString &name, const QString &classNo)
{
    if (!classNo.isEmpty() && name.startsWith(classNo))
        return name.mid(classNo.size());
    return name;
}

std::optional<WebClassList> ParseClassList(
    const QByteArray &answer, const QDate &today, QString *error)
{
    QString why;
    const auto members = ReadJsonMembers(answer, &why);
    if (!members) {
        if (error)
            *error = u"講習清單無法解讀：%1"_s.arg(why);
        return std::nullopt;
    }
    if (members->size() < 2 || !members->at(1).value.isArray()) {
        if (error)
            *error = u"講習清單的第二個欄位不是講習陣列"_s;
        return std::nullopt;
    }
    WebClassList list;
    list.rawText = answer;
    const QJsonArray array = members->at(1).value.toArray();
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject object = array.at(i).toObject();
        WebClassEntry entry;
        entry.element = i;
        entry.classNo = JsonValueText(object.value(u"clssno"_s)).trimmed();
        entry.name = NameWithoutNumber(JsonValueText(object.value(u"clsnam"_s)), entry.classNo);
        entry.hours = JsonValueText(object.value(u"hours"_s));
        entry.lessons = object.value(u"sctcourse"_s).toArray();
        const QString first = JsonValueText(object.value(u"clssdt"_s)).trimmed();
        const QString last = JsonValueText(object.value(u"clsedt"_s)).trimmed();
        static const QRegularExpression rocDate(u"^\\d{7}$"_s);
        try {
            if (!rocDate.match(first).hasMatch() || !rocDate.match(last).hasMatch())
                throw ConversionError(QString());
            const QDate firstDay = ParseDateByPattern(first, u"YYYMMDD"_s);
            const QDate lastDay = ParseDateByPattern(last, u"YYYMMDD"_s);
            entry.firstDay = FormatDateByPattern(u"YYYY/MM/DD"_s, firstDay);
            entry.lastDay = FormatDateByPattern(u"YYYY/MM/DD"_s, lastDay);
            entry.listed = lastDay.daysTo(today) < 365;
        } catch (const ConversionError &) {
            if (error)
                *error = u"講習清單第 %1 筆（%2）的起訖日期無法辨識：%3 %4"_s.arg(i + 1).arg(
                    entry.classNo, first, last);
            return std::nullopt;
        }
        list.entries << entry;
    }
    return list;
}

std::optional<QList<WebStudent>> ParseStudentList(const QByteArray &bytes, QString *error)
{
    QList<StudentLineProblem> problems;
    auto students = ReadStudentText(QString::fromUtf8(bytes), &problems, error);
    if (!students)
        return std::nullopt;
    if (!problems.isEmpty()) {
        // The service's list is whole or not at all: one bad record refuses it.
        const StudentLineProblem &first = problems.first();
        if (error)
            *error = u"學員名單第 %1 行%2%3"_s.arg(first.line)
                         .arg(first.reason,
                             first.kind == StudentLineProblem::Kind::ShortRecord
                                 ? u"，名單可能不完整"_s
                                 : QString());
        return std::nullopt;
    }
    return students;
}

std::optional<QList<WebStudent>> ReadStudentText(
    const QString &decoded, QList<StudentLineProblem> *problems, QString *error)
{
    QString text = decoded;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QList<CsvRecord> records = SplitCsv(text);
    if (records.isEmpty()) {
        if (error)
            *error = u"學員名單是空的"_s;
        return std::nullopt;
    }
    const QStringList header = records.first().fields;
    const QStringList names { u"sno"_s, u"name"_s, u"tnsadr"_s, u"tel"_s, u"tel2"_s, u"mobile"_s,
        u"email"_s };
    QList<int> column;
    QStringList missing;
    for (const QString &name : names) {
        int found = -1;
        for (int c = 0; c < header.size(); ++c) {
            if (header.at(c).compare(name, Qt::CaseInsensitive) == 0) {
                found = c;
                break;
            }
        }
        if (found < 0)
            missing << name;
        column << found;
    }
    if (!missing.isEmpty()) {
        if (error)
            *error = u"學員名單的標題列缺少欄位：%1"_s.arg(missing.join(u", "_s));
        return std::nullopt;
    }
    const int needed = *std::max_element(column.cbegin(), column.cend()) + 1;
    QList<WebStudent> students;
    for (qsizetype r = 1; r < records.size(); ++r) {
        const CsvRecord &record = records.at(r);
        if (record.fields.size() < needed) {
            if (problems)
                *problems << StudentLineProblem { StudentLineProblem::Kind::ShortRecord,
                    record.line,
                    u"欄位不足（需要 %1 欄，只有 %2 欄）"_s.arg(needed).arg(record.fields.size()) };
            continue;
        }
        WebStudent s;
        s.line = record.line;
        s.id = record.fields.at(column.at(0));
        s.name = record.fields.at(column.at(1));
        s.address = record.fields.at(column.at(2));
        s.tel = record.fields.at(column.at(3));
        s.mobile = record.fields.at(column.at(5));
        s.email = record.fields.at(column.at(6));
        if (s.id.isEmpty()) {
            if (problems)
                *problems << StudentLineProblem { StudentLineProblem::Kind::NoIdentity, record.line,
                    u"沒有身分證字號 (sno)"_s };
            continue;
        }
        students << s;
    }
    return students;
}

std::optional<QList<WebLesson>> ParseLessons(const QJsonArray &array, QString *error)
{
    static const QStringList keys { u"index_key"_s, u"subject"_s, u"cno2"_s, u"cno4"_s,
        u"datestart"_s, u"timestart"_s, u"timeend"_s, u"hours"_s, u"teacherid"_s, u"teacher"_s,
        u"noonrs"_s, u"noonre"_s, u"nightrs"_s, u"nightre"_s, u"r1"_s, u"r2"_s, u"r3"_s };
    QList<WebLesson> lessons;
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject object = array.at(i).toObject();
        QStringList v;
        for (const QString &key : keys) {
            if (!object.contains(key)) {
                if (error)
                    *error = u"課程資料第 %1 筆缺少欄位 %2"_s.arg(i + 1).arg(key);
                return std::nullopt;
            }
            v << JsonValueText(object.value(key));
        }
        lessons << WebLesson { v[0].trimmed(), v[1], v[2], v[3], v[4].trimmed(), v[5].trimmed(),
            v[6], v[7], v[8].trimmed(), v[9], v[10], v[11], v[12], v[13], v[14], v[15], v[16] };
    }
    return lessons;
}

QString ImportStamp(const QDateTime &at) { return FormatDateByPattern(u"YYYYMMDDHHMMSS"_s, at); }

bool IsImportStamp(const QString &crDate)
{
    static const QRegularExpression stamp(u"^\\d{14}$"_s);
    return stamp.match(crDate.trimmed()).hasMatch();
}

std::optional<ImportSummary> WriteClass(QSqlDatabase db, const WebClassEntry &entry,
    const QList<WebStudent> &students, const QList<WebLesson> &lessons,
    const QString &organisationName, const QDateTime &at, QString *error)
{
    if (entry.classNo.trimmed().isEmpty()) {
        if (error)
            *error = u"講習編號空白，無法匯入"_s;
        return std::nullopt;
    }
    const QString no = entry.classNo.trimmed();
    const QString key = no + u"00"_s;
    const QString stamp = ImportStamp(at);
    ImportSummary summary;
    summary.classNo = no;

    if (!db.transaction()) {
        if (error)
            *error = u"無法開始資料庫交易：%1"_s.arg(db.lastError().text());
        return std::nullopt;
    }
    try {
        // The class row: an existing one keeps its times, place, sign-event kinds and days.
        Statement findClass(db, u"select RID from Courses where CourseId = ? and Echelon = '00'"_s);
        if (findClass.exists({ no })) {
            Statement(db,
                u"update Courses set Course = ?, DateStart = ?, DateEnd = ?, TotHours = ? "
                "where CourseId = ? and Echelon = '00'"_s)
                .run({ entry.name, entry.firstDay, entry.lastDay, entry.hours, no });
        } else {
            Statement(db,
                u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, Charge, "
                u"Signer, "
                "TotHours, Bookin) values (?, '00', ?, ?, ?, ?, '外部', ?, ?)"_s)
                .run({ no, entry.name, entry.firstDay, entry.lastDay, organisationName, entry.hours,
                    true });
        }

        const StudentCounts written = WriteStudents(db, key, students, { stamp, QString(), true });
        summary.students = written.added + written.updated;

        Statement findPerson(db, FindPersonSql);

        Statement findLesson(db,
            u"select RID from Course where INDEX_KEY = ? and DateStart = ? and TimeStart = ?"_s);
        Statement updateLesson(db,
            u"update Course set INDEX_KEY = ?, Subject = ?, CNo2 = ?, CNo4 = ?, DateStart = ?, "
            "TimeStart = ?, TimeEnd = ?, Hours = ?, teacherID = ?, teacher = ?, noonRS = ?, "
            "noonRE = ?, nightRS = ?, nightRE = ?, R1 = ?, R2 = ?, R3 = ?, CR_DATE = ? "
            "where INDEX_KEY = ? and DateStart = ? and TimeStart = ?"_s);
        Statement insertLesson(db,
            u"insert into Course (INDEX_KEY, Subject, CNo2, CNo4, DateStart, TimeStart, "
            "TimeEnd, Hours, teacherID, teacher, noonRS, noonRE, nightRS, nightRE, R1, R2, R3, "
            "CR_DATE) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
        Statement updateTeacher(db,
            u"update Booking set NAME = ?, JOBTYPE = ?, CR_DATE = ? "
            "where INDEX_KEY = ? and ID = ?"_s);
        Statement insertTeacher(db,
            u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE, CR_DATE) "
            "values (?, ?, ?, ?, ?)"_s);
        for (const WebLesson &l : lessons) {
            const QString lessonKey = (l.indexKey.isEmpty() ? no : l.indexKey) + u"00"_s;
            const QVariantList values { lessonKey, l.subject, l.cno2, l.cno4, l.dateStart,
                l.timeStart, l.timeEnd, HoursValue(l.hours), l.teacherId, l.teacher, l.noonRS,
                l.noonRE, l.nightRS, l.nightRE, l.r1, l.r2, l.r3, stamp };
            if (findLesson.exists({ lessonKey, l.dateStart, l.timeStart }))
                updateLesson.run(values + QVariantList { lessonKey, l.dateStart, l.timeStart });
            else
                insertLesson.run(values);
            ++summary.lessons;
            // A lesson without a teacher identity enrols nobody.
            if (l.teacherId.isEmpty())
                continue;
            if (findPerson.exists({ lessonKey, l.teacherId }))
                updateTeacher.run({ l.teacher, TeacherJob, stamp, lessonKey, l.teacherId });
            else
                insertTeacher.run({ lessonKey, l.teacherId, l.teacher, TeacherJob, stamp });
            ++summary.teachers;
        }

        // Students an earlier import wrote and this list no longer has. Enrolment made by hand
        // or at the station carries no import stamp and stays.
        QList<int> gone;
        Statement imported(
            db, u"select RID, CR_DATE from Booking where INDEX_KEY = ? and JOBTYPE = ?"_s);
        QSqlQuery &rows = imported.run({ key, StudentJob });
        while (rows.next()) {
            const QString crDate = rows.value(1).toString();
            if (IsImportStamp(crDate) && crDate.trimmed() != stamp)
                gone << rows.value(0).toInt();
        }
        rows.finish();
        Statement remove(db, u"delete from Booking where RID = ?"_s);
        for (int rid : std::as_const(gone))
            remove.run({ rid });
        summary.studentsRemoved = int(gone.size());
    } catch (const RolvanError &e) {
        db.rollback();
        if (error)
            *error = u"匯入講習 %1 失敗，資料庫未變更：%2"_s.arg(no, e.message());
        return std::nullopt;
    }
    if (!db.commit()) {
        const QString why = db.lastError().text();
        db.rollback();
        if (error)
            *error = u"匯入講習 %1 失敗，資料庫未變更：%2"_s.arg(no, why);
        return std::nullopt;
    }
    return summary;
}

StudentCounts WriteStudents(QSqlDatabase db, const QString &classKey,
    const QList<WebStudent> &students, const StudentOrigin &origin)
{
    StudentCounts counts;
    Statement findPerson(db, FindPersonSql);
    Statement updateStudent(db,
        origin.restampUpdated
            ? u"update Booking set NAME = ?, Address = ?, TEL = ?, Mobile = ?, eMail = ?, "
              "JOBTYPE = ?, CR_DATE = ? where INDEX_KEY = ? and ID = ?"_s
            : u"update Booking set NAME = ?, Address = ?, TEL = ?, Mobile = ?, eMail = ?, "
              "JOBTYPE = ? where INDEX_KEY = ? and ID = ?"_s);
    Statement insertStudent(db,
        u"insert into Booking (INDEX_KEY, ID, NAME, Address, TEL, Mobile, eMail, "
        "JOBTYPE, CR_DATE, CR_TYPE) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    const QVariant crType = origin.crType.isEmpty() ? QVariant() : QVariant(origin.crType);
    for (const WebStudent &s : students) {
        if (findPerson.exists({ classKey, s.id })) {
            QVariantList values { s.name, s.address, s.tel, s.mobile, s.email, StudentJob };
            if (origin.restampUpdated)
                values << origin.crDate;
            updateStudent.run(values + QVariantList { classKey, s.id });
            ++counts.updated;
        } else {
            insertStudent.run({ classKey, s.id, s.name, s.address, s.tel, s.mobile, s.email,
                StudentJob, origin.crDate, crType });
            ++counts.added;
        }
    }
    return counts;
}

StudentCounts CountStudents(
    QSqlDatabase db, const QString &classKey, const QList<WebStudent> &students)
{
    StudentCounts counts;
    Statement findPerson(db, FindPersonSql);
    // Identities compare without regard to letter case, as the database compares them.
    QSet<QString> seen;
    for (const WebStudent &s : students) {
        const QString id = s.id.toUpper();
        if (seen.contains(id) || findPerson.exists({ classKey, s.id }))
            ++counts.updated;
        else
            ++counts.added;
        seen.insert(id);
    }
    return counts;
}

std::optional<ImportSummary> DownloadClass(TrainingService &service, QSqlDatabase db,
    const WebClassEntry &entry, const QString &organisationName, const QDateTime &at,
    QString *error, const std::function<void(const QString &)> &stage)
{
    auto tell = [&](const QString &text) {
        if (stage)
            stage(text);
    };
    auto fail = [&](const QString &text) -> std::optional<ImportSummary> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    if (entry.classNo.trimmed().isEmpty())
        return fail(u"講習編號空白，無法匯入"_s);

    // Everything is fetched and read before anything is written.
    QString why;
    const auto lessons = ParseLessons(entry.lessons, &why);
    if (!lessons)
        return fail(why);
    tell(u"取得連線憑據"_s);
    const ServiceOutcome<QString> token
        = service.FetchServiceToken(TrainingService::TokenMember::First);
    if (!token.ok())
        return fail(token.error);
    tell(u"下載學員名單"_s);
    const ServiceOutcome<QByteArray> list
        = service.FetchStudentList(entry.classNo.trimmed(), token.value);
    if (!list.ok())
        return fail(list.error);
    const auto students = ParseStudentList(list.value, &why);
    if (!students)
        return fail(why);
    tell(u"寫入講習、學員與課程資料"_s);
    return WriteClass(db, entry, *students, *lessons, organisationName, at, error);
}

int MarkPersonnelOfClass(QSqlDatabase db, const QString &courseId)
{
    const QString no = courseId.trimmed();
    if (no.isEmpty())
        return 0;
    const QString sql = u"UPDATE PSPN SET STATUS = 'A' WHERE IDNO IN "
                        "(SELECT IDNO FROM PSIO WHERE INDEX_KEY like ? escape '\\')"_s;
    QSqlQuery query(db);
    if (!query.prepare(sql))
        throw DatabaseError(sql + u"\n"_s + query.lastError().text());
    query.addBindValue(BeginsWith(no));
    if (!query.exec())
        throw DatabaseError(sql + u"\n"_s + query.lastError().text());
    return query.numRowsAffected();
}

} // namespace ClassImport

#include "classes/RosterImport.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "classes/ClassRecords.h"
#include "base/RolvanError.h"
#include "core/Schema.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace RosterImport {

namespace {

// A roster is a list of people, not a data dump: a file this large was chosen by mistake.
constexpr qint64 LargestRosterFile = 16 * 1024 * 1024;
// Lines that cannot be read named one by one in the question; more are counted.
constexpr int ProblemsNamed = 12;

const QString NoClassChosen = u"尚未選定課程"_s;

// A character no roster means: the replacement character, a character of the private use
// area (a Big5 byte pair without a standard character, or a character the user made up) or a
// C1 control (a stray byte read as Big5).
bool IsUnreadable(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0xFFFD || (u >= 0xE000 && u <= 0xF8FF) || (u >= 0x80 && u <= 0x9F);
}

bool HasUnreadable(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), IsUnreadable);
}

struct RosterField
{
    QString WebStudent::*member;
    QString column; // of Booking
    QString caption;
};

const QList<RosterField> &RosterFields()
{
    static const QList<RosterField> fields {
        { &WebStudent::id, u"ID"_s, u"身分證字號 (sno)"_s },
        { &WebStudent::name, u"NAME"_s, u"姓名 (name)"_s },
        { &WebStudent::address, u"Address"_s, u"地址 (tnsadr)"_s },
        { &WebStudent::tel, u"TEL"_s, u"電話 (tel)"_s },
        { &WebStudent::mobile, u"Mobile"_s, u"手機 (mobile)"_s },
        { &WebStudent::email, u"eMail"_s, u"電子郵件 (email)"_s },
    };
    return fields;
}

// Why a person read from the roster cannot be written; empty when he can.
QString RosterFault(const WebStudent &s)
{
    for (const RosterField &field : RosterFields()) {
        if (HasUnreadable(s.*field.member))
            return u"%1含有無法辨識的字元（檔案編碼不符或含造字）"_s.arg(field.caption);
    }
    for (const RosterField &field : RosterFields()) {
        const int size = DeclaredTextSize(u"Booking"_s, field.column);
        if (size > 0 && (s.*field.member).size() > size)
            return u"%1超過 %2 個字"_s.arg(field.caption).arg(size);
    }
    return QString();
}

std::optional<RosterPlan> Refuse(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return std::nullopt;
}

} // namespace

std::optional<RosterText> DecodeRoster(const QByteArray &bytes, QString *error)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return RosterText { text, u"UTF-8"_s };
    // Excel on a Traditional Chinese Windows saves CSV in code page 950, which ICU knows as Big5.
    QStringDecoder big5("Big5");
    if (!big5.isValid()) {
        if (error)
            *error = u"學員名單檔不是 UTF-8 編碼，而這個版本無法讀取 Big5 編碼；請將名單另存為"
                     "「CSV UTF-8」後再匯入"_s;
        return std::nullopt;
    }
    text = big5.decode(bytes);
    return RosterText { text, u"Big5"_s };
}

QString RosterCrType() { return u"名單檔"_s; }

QString RosterPlan::Question() const
{
    QStringList lines;
    lines << u"匯入學員名單檔「%1」（%2）"_s.arg(fileName, encoding);
    lines << u"講習：%1 %2"_s.arg(courseId, course);
    lines << u"新增 %1 筆，更新 %2 筆"_s.arg(counts.added).arg(counts.updated);
    if (!problems.isEmpty()) {
        lines << u"以下 %1 行無法讀取，不會匯入："_s.arg(problems.size());
        for (qsizetype i = 0; i < problems.size() && i < ProblemsNamed; ++i)
            lines << problems.at(i).text();
        if (problems.size() > ProblemsNamed)
            lines << u"……另有 %1 行"_s.arg(problems.size() - ProblemsNamed);
    }
    lines << u"確定要匯入嗎?"_s;
    return lines.join(u'\n');
}

std::optional<RosterPlan> PlanRoster(
    QSqlDatabase db, int classRid, const QByteArray &bytes, const QString &fileName, QString *error)
{
    if (classRid <= 0)
        return Refuse(error, NoClassChosen);
    RosterPlan plan;
    plan.classRid = classRid;
    plan.fileName = fileName;
    try {
        QSqlQuery cls = RunQuery(
            u"select CourseId, Echelon, Course from Courses where RID = ?"_s, db, { classRid });
        if (!cls.next())
            return Refuse(error, NoClassChosen);
        plan.courseId = cls.value(0).toString().trimmed();
        plan.classKey = ClassKeyOf(plan.courseId, cls.value(1).toString());
        plan.course = cls.value(2).toString().trimmed();
    } catch (const RolvanError &e) {
        return Refuse(error, e.message());
    }
    if (plan.classKey.isEmpty())
        return Refuse(error, u"講習編號空白，無法匯入"_s);

    QString why;
    const auto decoded = DecodeRoster(bytes, &why);
    if (!decoded)
        return Refuse(error, why);
    plan.encoding = decoded->encoding;
    const auto students = ClassImport::ReadStudentText(decoded->text, &plan.problems, &why);
    if (!students)
        return Refuse(error,
            u"學員名單檔「%1」無法匯入：%2\n第一行須為欄名 sno, name, tnsadr, tel, tel2, mobile, "
            "email（順序不拘）"_s.arg(fileName, why));

    // Each identity once: a second line with the same one is named, not written over the first.
    QHash<QString, int> firstLine;
    for (const WebStudent &s : *students) {
        const QString fault = RosterFault(s);
        if (!fault.isEmpty()) {
            plan.problems << StudentLineProblem { StudentLineProblem::Kind::Other, s.line, fault };
            continue;
        }
        const QString id = s.id.toUpper();
        if (const auto seen = firstLine.constFind(id); seen != firstLine.cend()) {
            plan.problems << StudentLineProblem { StudentLineProblem::Kind::Other, s.line,
                u"身分證字號 %1 與第 %2 行重複"_s.arg(s.id).arg(*seen) };
            continue;
        }
        firstLine.insert(id, s.line);
        plan.students << s;
    }
    std::stable_sort(plan.problems.begin(), plan.problems.end(),
        [](const StudentLineProblem &a, const StudentLineProblem &b) { return a.line < b.line; });

    if (plan.students.isEmpty()) {
        QStringList lines { u"學員名單檔「%1」中沒有可匯入的學員"_s.arg(fileName) };
        for (qsizetype i = 0; i < plan.problems.size() && i < ProblemsNamed; ++i)
            lines << plan.problems.at(i).text();
        if (plan.problems.size() > ProblemsNamed)
            lines << u"……另有 %1 行"_s.arg(plan.problems.size() - ProblemsNamed);
        return Refuse(error, lines.join(u'\n'));
    }
    try {
        plan.counts = ClassImport::CountStudents(db, plan.classKey, plan.students);
    } catch (const RolvanError &e) {
        return Refuse(error, e.message());
    }
    return plan;
}

std::optional<RosterPlan> PlanRosterFile(
    QSqlDatabase db, int classRid, const QString &path, QString *error)
{
    if (classRid <= 0)
        return Refuse(error, NoClassChosen);
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Refuse(error, u"無法開啟學員名單檔「%1」：%2"_s.arg(path, file.errorString()));
    if (file.size() > LargestRosterFile)
        return Refuse(error,
            u"學員名單檔「%1」過大（%2 MB），不像是學員名單"_s.arg(name).arg(file.size() >> 20));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Refuse(error, u"無法讀取學員名單檔「%1」：%2"_s.arg(path, file.errorString()));
    return PlanRoster(db, classRid, bytes, name, error);
}

std::optional<StudentCounts> ImportRoster(
    QSqlDatabase db, const RosterPlan &plan, const QDateTime &at, QString *error)
{
    auto fail = [&](const QString &why) -> std::optional<StudentCounts> {
        if (error)
            *error = u"學員名單檔匯入失敗，資料庫未變更：%1"_s.arg(why);
        return std::nullopt;
    };
    if (plan.classRid <= 0 || plan.classKey.isEmpty()) {
        if (error)
            *error = NoClassChosen;
        return std::nullopt;
    }
    if (!db.transaction())
        return fail(db.lastError().text());
    StudentCounts counts;
    try {
        // The class may have been deleted at another station since the question.
        QSqlQuery cls = RunQuery(u"select RID from Courses where RID = ?"_s, db, { plan.classRid });
        if (!cls.next())
            throw RolvanError(u"講習 %1 已不存在"_s.arg(plan.courseId));
        cls.finish();
        counts = ClassImport::WriteStudents(db, plan.classKey, plan.students,
            { FormatDateByPattern(u"YYYY/MM/DD"_s, at), RosterCrType(), false });
    } catch (const RolvanError &e) {
        db.rollback();
        return fail(e.message());
    }
    if (!db.commit()) {
        const QString why = db.lastError().text();
        db.rollback();
        return fail(why);
    }
    return counts;
}

QString DoneMessage(const StudentCounts &counts)
{
    return u"學員名單檔匯入完成：新增 %1 筆，更新 %2 筆"_s.arg(counts.added).arg(counts.updated);
}

} // namespace RosterImport

#include "classes/CourseUpload.h"

#include "core/DbFunctions.h"
#include "classes/TrainingService.h"
#include "base/RolvanError.h"
#include "core/Schema.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace CourseUpload {

namespace {

bool IsNumberColumn(const QString &column)
{
    const ColumnDef *def = FindColumn(u"Course"_s, column);
    if (!def)
        return false;
    switch (def->type) {
    case ColumnType::AutoNumber:
    case ColumnType::Integer16:
    case ColumnType::Integer32:
    case ColumnType::Number:
        return true;
    default:
        return false;
    }
}

QString NumberText(const QVariant &value)
{
    bool ok = false;
    const QString text = value.toString().trimmed();
    const double d = text.toDouble(&ok);
    if (!ok)
        return {};
    if (d == double(qint64(d)) && qAbs(d) < 1e15)
        return QString::number(qint64(d));
    return QString::number(d, 'g', 15);
}

bool Blank(const QSqlRecord &r, const QString &column)
{
    const QVariant v = r.value(column);
    return v.isNull() || v.toString().trimmed().isEmpty();
}

} // namespace

QString JsonString(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out += u"\\\""_s;
            break;
        case u'\\':
            out += u"\\\\"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        case u'\t':
            out += u"\\t"_s;
            break;
        case u'\b':
            out += u"\\b"_s;
            break;
        case u'\f':
            out += u"\\f"_s;
            break;
        default:
            if (c.unicode() < 0x20)
                out += u"\\u%1"_s.arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

QString LessonsJson(const QList<QSqlRecord> &lessons)
{
    QString out = u"["_s;
    for (int i = 0; i < lessons.size(); ++i) {
        const QSqlRecord &r = lessons.at(i);
        if (i > 0)
            out += u',';
        out += u'{';
        bool first = true;
        for (int c = 0; c < r.count(); ++c) {
            const QString name = r.fieldName(c);
            if (name.compare(u"RID"_s, Qt::CaseInsensitive) == 0
                || name.compare(u"INDEX_KEY"_s, Qt::CaseInsensitive) == 0)
                continue;
            if (!first)
                out += u',';
            first = false;
            out += JsonString(name.toLower()) + u':';
            const QVariant value = r.value(c);
            if (value.isNull()) {
                out += u"\"\""_s;
                continue;
            }
            // A number column whose value is not a number (text stored by hand) stays a string.
            const QString number = IsNumberColumn(name) ? NumberText(value) : QString();
            out += number.isEmpty() ? JsonString(value.toString()) : number;
        }
        out += u'}';
    }
    out += u']';
    return out;
}

QList<QSqlRecord> LessonsOfClass(QSqlDatabase db, const QString &classKey)
{
    const QString sql
        = u"select * from Course where INDEX_KEY like ? escape '\\' order by DateStart nulls first, TimeStart nulls first"_s;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw DatabaseError(sql + u"\n"_s + query.lastError().text());
    query.addBindValue(BeginsWith(classKey));
    if (!query.exec())
        throw DatabaseError(sql + u"\n"_s + query.lastError().text());
    QList<QSqlRecord> rows;
    while (query.next())
        rows << query.record();
    return rows;
}

QString CheckLessons(const QList<QSqlRecord> &lessons)
{
    for (const QSqlRecord &r : lessons) {
        if (Blank(r, u"teacherID"_s))
            return u"所有課程需填講師身分證資料"_s;
        if (Blank(r, u"Subject"_s) || Blank(r, u"CNo4"_s))
            return u"所有課程需填課程編號與課程名稱"_s;
    }
    return {};
}

Outcome Upload(TrainingService &service, QSqlDatabase db, const QString &stationNo,
    const QString &classKey, const QString &courseIdShown)
{
    Outcome outcome;
    outcome.refused = true;
    if (stationNo != u"00"_s) {
        outcome.message = u"本上傳作業限制電腦編號必須為00"_s;
        return outcome;
    }
    const QList<QSqlRecord> lessons = LessonsOfClass(db, classKey);
    if (lessons.isEmpty()) {
        outcome.message = u"無課程資料可上傳"_s;
        return outcome;
    }
    outcome.message = CheckLessons(lessons);
    if (!outcome.message.isEmpty())
        return outcome;
    const QString data = LessonsJson(lessons);

    outcome.refused = false;
    const ServiceOutcome<QString> token
        = service.FetchServiceToken(TrainingService::TokenMember::Named);
    if (!token.ok()) {
        outcome.message = token.error;
        return outcome;
    }
    const ServiceOutcome<QString> msg = service.PostCourses(token.value, courseIdShown, data);
    if (!msg.ok()) {
        outcome.message = msg.error;
        return outcome;
    }
    if (msg.value == u"OK"_s) {
        outcome.sent = true;
        outcome.message = u"資料成功上傳"_s;
    } else {
        outcome.refused = true;
        outcome.message = u"資料上傳失敗:"_s + msg.value;
    }
    return outcome;
}

} // namespace CourseUpload

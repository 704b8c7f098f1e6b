#include "core/ClassRecord.h"

#include "Fun/DateTimeFunctions.h"

#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

std::optional<bool> FlagOf(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toBool();
}

} // namespace

ClassRecord ClassRecord::FromSqlRecord(const QSqlRecord &record)
{
    auto text = [&record](const QString &name) { return record.value(name).toString(); };
    ClassRecord r;
    r.RID = record.value(u"RID"_s).toInt();
    r.CourseId = text(u"CourseId"_s);
    r.Echelon = text(u"Echelon"_s);
    r.Course = text(u"Course"_s);
    r.DateStart = text(u"DateStart"_s);
    r.DateEnd = text(u"DateEnd"_s);
    r.DateBet = text(u"DateBet"_s);
    r.TimeStart = text(u"TimeStart"_s);
    r.TimeEnd = text(u"TimeEnd"_s);
    r.Place = text(u"Place"_s);
    r.Charge = text(u"Charge"_s);
    r.Teacher = text(u"Teacher"_s);
    r.TeacherId = text(u"TeacherId"_s);
    r.TotHours = text(u"TotHours"_s);
    r.CNo4 = text(u"CNo4"_s);
    r.CNo2 = text(u"CNo2"_s);
    r.Bookin = FlagOf(record.value(u"Bookin"_s));
    r.SignType = text(u"SignType"_s);
    r.Score = FlagOf(record.value(u"Score"_s));
    r.Signer = text(u"Signer"_s);
    r.CourseContent = text(u"CourseContent"_s);
    return r;
}

QString ClassKeyOf(const QString &courseId, const QString &echelon)
{
    if (courseId.trimmed().isEmpty() || echelon.trimmed().isEmpty())
        return QString();
    return courseId.trimmed() + ZeroPad(StrToIntSafe(echelon), 2);
}

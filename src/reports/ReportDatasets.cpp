#include "reports/ReportDatasets.h"

#include "core/DbFunctions.h"

#include <QHash>
#include <QMetaType>
#include <QSqlField>
#include <QSqlQuery>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// A LIKE pattern that matches every text beginning with prefix; "\" escapes the wildcards of
// the prefix itself (the statement says escape '\').
QString PrefixPattern(const QString &prefix)
{
    QString escaped = prefix;
    escaped.replace(u"\\"_s, u"\\\\"_s);
    escaped.replace(u"%"_s, u"\\%"_s);
    escaped.replace(u"_"_s, u"\\_"_s);
    return escaped + u'%';
}

// Characters from..from+1 ":" from+2..from+3 of the class periods (1-based positions).
QString PeriodTime(const QString &classPeriods, int from)
{
    return classPeriods.mid(from - 1, 2) + u':' + classPeriods.mid(from + 1, 2);
}

void AppendText(QSqlRecord &record, const QString &name, const QString &value)
{
    QSqlField field(name, QMetaType(QMetaType::QString));
    field.setValue(value);
    record.append(field);
}

QList<QSqlRecord> Open(QSqlDatabase db, const DatasetStatement &statement,
                       const std::function<void(QSqlRecord &)> &calcFields)
{
    QSqlQuery query = RunQuery(statement.sql, db, statement.params);
    QList<QSqlRecord> rows;
    while (query.next()) {
        QSqlRecord record = query.record();
        if (calcFields)
            calcFields(record);
        rows << record;
    }
    return rows;
}

} // namespace

QString IotypeCal(const QString &ioType)
{
    static const QHash<QString, QString> captions{
        {u"0"_s, u"簽到"_s}, {u"1"_s, u"簽退"_s}, {u"2"_s, u"午到"_s}, {u"3"_s, u"午退"_s},
        {u"4"_s, u"晚到"_s}, {u"5"_s, u"晚退"_s}, {u"9"_s, u"點名"_s}, {u"A"_s, u"上班"_s},
        {u"D"_s, u"下班"_s},
    };
    return captions.value(ioType);
}

QString IOWAYCal(const QString &ioWay)
{
    if (ioWay == u"KB"_s)
        return u"鍵盤"_s;
    if (ioWay == u"SC"_s)
        return u"螢幕"_s;
    return {};
}

QString iTimeCal(const QString &t1, const QString &t3, const QString &t5)
{
    if (!t1.trimmed().isEmpty())
        return t1;
    if (!t3.trimmed().isEmpty())
        return t3;
    return t5;
}

QString oTimeCal(const QString &t2, const QString &t4, const QString &t6)
{
    if (!t6.trimmed().isEmpty())
        return t6;
    if (!t4.trimmed().isEmpty())
        return t4;
    return t2;
}

QString CalNs(const QString &classPeriods)
{
    return PeriodTime(classPeriods, 5);
}

QString CalNe(const QString &classPeriods)
{
    return PeriodTime(classPeriods, 9);
}

QString Cal9s(const QString &classPeriods)
{
    return PeriodTime(classPeriods, 13);
}

QString Cal9e(const QString &classPeriods)
{
    return PeriodTime(classPeriods, 17);
}

QString CalIndex(const QString &indexKey)
{
    return indexKey.left(11);
}

DatasetStatement ADO_PSIO_Statement(const QString &classNumber)
{
    return {u"select * from PSIO where Index_key LIKE ? escape '\\'  order by RID"_s,
            {PrefixPattern(classNumber)}};
}

DatasetStatement ADO_Course_Statement(const QString &classKey)
{
    return {u"select * from Course where Index_key = ?  order by DateStart nulls first, TimeStart nulls first"_s, {classKey}};
}

DatasetStatement ADO_Courses_Statement(const QString &classKey)
{
    return {u"select * from Courses where trim(CourseId) || Echelon = ?"_s, {classKey}};
}

DatasetStatement ADO_SCORE_Statement()
{
    return {u"select * from IO_SCORE00"_s, {}};
}

DatasetStatement ADO_Booking_Statement(const QString &classKey)
{
    // Persons without an identity first, on every database (PostgreSQL would put them last).
    return {u"select * from Booking where Index_key = ?  order by ID nulls first"_s, {classKey}};
}

QString FieldText(const QSqlRecord &record, const QString &name)
{
    const int index = record.indexOf(name);
    if (index < 0)
        return {};
    const QVariant value = record.value(index);
    if (value.isNull())
        return {};
    return value.toString();
}

QList<QSqlRecord> OpenADO_PSIO(QSqlDatabase db, const QString &classNumber)
{
    return Open(db, ADO_PSIO_Statement(classNumber), [](QSqlRecord &record) {
        AppendText(record, u"IotypeCal"_s, IotypeCal(FieldText(record, u"IOTYPE"_s)));
        AppendText(record, u"IOWAYCal"_s, IOWAYCal(FieldText(record, u"IOWay"_s)));
        // Declared with the others but never filled.
        AppendText(record, u"IODateCal"_s, QString());
    });
}

QList<QSqlRecord> OpenADO_Course(QSqlDatabase db, const QString &classKey)
{
    return Open(db, ADO_Course_Statement(classKey), {});
}

QList<QSqlRecord> OpenADO_Courses(QSqlDatabase db, const QString &classKey, const QString &classPeriods)
{
    return Open(db, ADO_Courses_Statement(classKey), [&classPeriods](QSqlRecord &record) {
        AppendText(record, u"CalNs"_s, CalNs(classPeriods));
        AppendText(record, u"CalNe"_s, CalNe(classPeriods));
        AppendText(record, u"Cal9s"_s, Cal9s(classPeriods));
        AppendText(record, u"Cal9e"_s, Cal9e(classPeriods));
    });
}

QList<QSqlRecord> OpenADO_SCORE(QSqlDatabase db)
{
    return Open(db, ADO_SCORE_Statement(), [](QSqlRecord &record) {
        AppendText(record, u"iTimeCal"_s,
                   iTimeCal(FieldText(record, u"t1"_s), FieldText(record, u"t3"_s),
                            FieldText(record, u"t5"_s)));
        AppendText(record, u"oTimeCal"_s,
                   oTimeCal(FieldText(record, u"t2"_s), FieldText(record, u"t4"_s),
                            FieldText(record, u"t6"_s)));
    });
}

QList<QSqlRecord> OpenADO_Booking(QSqlDatabase db, const QString &classKey)
{
    return Open(db, ADO_Booking_Statement(classKey), [](QSqlRecord &record) {
        AppendText(record, u"CalIndex"_s, CalIndex(FieldText(record, u"INDEX_KEY"_s)));
    });
}

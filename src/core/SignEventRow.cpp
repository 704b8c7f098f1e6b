#include "core/SignEventRow.h"

#include "core/DbFunctions.h"

using namespace Qt::StringLiterals;

namespace {

QVariant OrNull(const std::optional<QString> &text)
{
    return text ? QVariant(*text) : QVariant();
}

} // namespace

const QStringList &SignEventColumns()
{
    static const QStringList columns{u"IDNO"_s,  u"IODATE"_s, u"IOTIME"_s, u"IOTYPE"_s,
                                     u"INDEX_KEY"_s, u"IOWay"_s, u"DOOR"_s, u"NET"_s,
                                     u"Web"_s,   u"RID2"_s,   u"NTP"_s};
    return columns;
}

QVariantList SignEventValues(const SignEventRow &row)
{
    return {row.IDNO,
            row.IODATE,
            row.IOTIME,
            row.IOTYPE,
            row.INDEX_KEY,
            row.IOWay,
            row.DOOR,
            row.NET,
            OrNull(row.Web),
            row.RID2 ? QVariant(*row.RID2) : QVariant(),
            OrNull(row.NTP)};
}

QString SignEventInsertSql(NewRowNumber rowNumber)
{
    static const QString insert = [] {
        const QStringList &columns = SignEventColumns();
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks << u"?"_s;
        return QString(u"insert into PSIO ("_s + columns.join(u", "_s) + u") values ("_s
                       + marks.join(u", "_s) + u")"_s);
    }();
    static const QString returning = insert + u" returning RID"_s;
    return rowNumber == NewRowNumber::Returned ? returning : insert;
}

void InsertSignEvent(QSqlDatabase db, const SignEventRow &row)
{
    RunQuery(SignEventInsertSql(), db, SignEventValues(row));
}

SignEventInserter::SignEventInserter(QSqlDatabase db)
    : m_insert(PrepareOn(SignEventInsertSql(), db))
{
}

void SignEventInserter::Insert(const SignEventRow &row)
{
    ExecPrepared(m_insert, SignEventValues(row));
}

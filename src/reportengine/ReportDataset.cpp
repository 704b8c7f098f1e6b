#include "reportengine/ReportDataset.h"

#include "base/RolvanError.h"

#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>

using namespace Qt::Literals::StringLiterals;

namespace {

QStringList FieldNames(const QSqlRecord &record)
{
    QStringList names;
    for (int i = 0; i < record.count(); ++i)
        names.append(record.fieldName(i));
    return names;
}

QVariantList FieldValues(const QSqlRecord &record)
{
    QVariantList values;
    for (int i = 0; i < record.count(); ++i)
        values.append(record.value(i));
    return values;
}

} // namespace

ReportDataset::ReportDataset(const QStringList &columns)
    : m_columns(columns)
{
}

ReportDataset ReportDataset::FromQuery(QSqlQuery &query)
{
    ReportDataset data(FieldNames(query.record()));
    bool more = query.at() == QSql::BeforeFirstRow ? query.next() : query.first();
    while (more) {
        data.addRow(FieldValues(query.record()));
        more = query.next();
    }
    return data;
}

ReportDataset ReportDataset::FromModel(QSqlQueryModel &model)
{
    while (model.canFetchMore())
        model.fetchMore();
    ReportDataset data(FieldNames(model.record()));
    for (int row = 0; row < model.rowCount(); ++row)
        data.addRow(FieldValues(model.record(row)));
    return data;
}

ReportDataset ReportDataset::FromRecords(const QList<QSqlRecord> &records)
{
    if (records.isEmpty())
        return ReportDataset();
    ReportDataset data(FieldNames(records.first()));
    for (const QSqlRecord &record : records) {
        QVariantList values;
        for (const QString &column : std::as_const(data.m_columns))
            values.append(record.value(column));
        data.addRow(values);
    }
    return data;
}

int ReportDataset::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void ReportDataset::addRow(const QVariantList &values)
{
    if (values.size() > m_columns.size())
        throw RolvanError(u"報表資料列的值多於欄位：%1 個值，%2 個欄位"_s.arg(values.size())
                              .arg(m_columns.size()));
    QVariantList row = values;
    while (row.size() < m_columns.size())
        row.append(QVariant());
    m_rows.append(row);
}

QVariant ReportDataset::value(int row, const QString &column) const
{
    const int index = columnIndex(column);
    if (index < 0)
        throw RolvanError(u"報表資料欄位不存在：%1"_s.arg(column));
    return value(row, index);
}

QVariant ReportDataset::value(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_columns.size())
        throw RolvanError(u"報表資料超出範圍：第 %1 列第 %2 欄"_s.arg(row + 1).arg(column + 1));
    return m_rows.at(row).at(column);
}

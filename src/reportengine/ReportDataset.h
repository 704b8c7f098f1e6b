#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class QSqlQuery;
class QSqlQueryModel;
class QSqlRecord;

// The rows a master-data band prints: named columns and rows of values, held in memory.
// Column names are matched without regard to case, as database field names are.
class ReportDataset
{
public:
    ReportDataset() = default;
    explicit ReportDataset(const QStringList &columns);

    // Every row of a query, from its first row on (an active query; a forward-only query must
    // not have been advanced).
    static ReportDataset FromQuery(QSqlQuery &query);
    // Every row of a query model (rows not yet fetched are fetched).
    static ReportDataset FromModel(QSqlQueryModel &model);
    // Rows read as records; the columns are those of the first record.
    static ReportDataset FromRecords(const QList<QSqlRecord> &records);

    const QStringList &columns() const { return m_columns; }
    // Index of a column, -1 when there is none.
    int columnIndex(const QString &name) const;

    // Adds a row; missing trailing values are null, extra values raise RolvanError.
    void addRow(const QVariantList &values);
    int rowCount() const { return static_cast<int>(m_rows.size()); }

    // A value; an unknown column or a row out of range raises RolvanError.
    QVariant value(int row, const QString &column) const;
    QVariant value(int row, int column) const;

private:
    QStringList m_columns;
    QList<QVariantList> m_rows;
};

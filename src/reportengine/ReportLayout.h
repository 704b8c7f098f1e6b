#pragma once

#include "reportengine/ReportDataset.h"
#include "reportengine/ReportTemplate.h"

#include <QList>
#include <QPageLayout>
#include <QRectF>

// One band as printed: where it lands and its objects after the row script, with pictures
// already loaded at their printed size.
struct ReportPlacedBand
{
    ReportBandKind kind = ReportBandKind::MasterData;
    int column = -1; // page column of a column-header or master-data band, else -1
    int row = -1; // dataset row of a master-data band, else -1
    QRectF rect; // mm on the paper
    QList<ReportObject> objects;

    const ReportObject *findObject(const QString &name) const;
};

struct ReportPage
{
    QList<ReportPlacedBand> bands;
};

// Where a dataset row was printed.
struct ReportRowPlace
{
    int page = -1;
    int column = -1;
    QRectF rect; // mm on the paper
};

// The laid-out report: what the painter prints, as plain data a test can read.
struct ReportLayout
{
    QString title;
    QPageLayout pageLayout; // paper, orientation and margins
    QList<ReportPage> pages;
    QList<ReportRowPlace> rows; // by dataset row

    int pageCount() const { return static_cast<int>(pages.size()); }
    // Dataset rows printed in one page column, in order.
    QList<int> rowsIn(int page, int column) const;
    // The master-data band of a dataset row, nullptr when out of range.
    const ReportPlacedBand *rowBand(int row) const;
    // The first band of a kind on a page (nullptr when there is none).
    const ReportPlacedBand *findBand(int page, ReportBandKind kind, int column = -1) const;
};

// What the row script sees of one master-data row.
class ReportRowContext
{
public:
    ReportRowContext(const ReportDataset &data, int row, const QVariantMap &variables,
        QList<ReportObject> &objects);

    int row() const { return m_row; }
    const ReportDataset &dataset() const { return m_data; }
    // The row's value of a column; an unknown column raises RolvanError.
    QVariant value(const QString &column) const;
    // The same as text ("" for a null value).
    QString text(const QString &column) const;
    // A script variable (null when not set).
    QVariant variable(const QString &name) const;

    // This row's copy of a master-data object; an unknown name raises RolvanError.
    ReportObject &object(const QString &name);
    void setText(const QString &name, const QString &text);
    void setVisible(const QString &name, bool visible);
    void setLeft(const QString &name, qreal left);
    // Shows an image file. A file that cannot be read leaves the picture as it was (empty unless
    // set before), so a placeholder set first stays; returns whether the file was taken.
    bool setPicture(const QString &name, const QString &fileName);
    void setPicture(const QString &name, const QImage &image);

private:
    const ReportDataset &m_data;
    int m_row;
    const QVariantMap &m_variables;
    QList<ReportObject> &m_objects;
};

// Lays out a template over a dataset: runs the row script once per row, in order, flows the
// rows through the page columns and pages, and loads every picture once at its printed size.
// Each row starts from the template's master-data objects, so what the script changes for one
// row does not carry over to the next. A template error (duplicate object names, fewer than
// one column, rows without a master-data height) raises RolvanError.
ReportLayout LayoutReport(const ReportTemplate &reportTemplate, const ReportDataset &data);

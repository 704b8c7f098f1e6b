#include "reportengine/ReportPreviewDialog.h"

#include "platform/ErrorReport.h"
#include "reportengine/ReportRender.h"

#include <QAction>
#include <QFileDialog>
#include <QPrinter>
#include <QToolBar>

using namespace Qt::Literals::StringLiterals;

ReportPreviewDialog::ReportPreviewDialog(
    const ReportLayout &layout, QWidget *parent, const QString &pdfFileName)
    : QPrintPreviewDialog(parent)
    , m_layout(layout)
    , m_pdfFileName(pdfFileName)
{
    setObjectName(u"ReportPreviewDialog"_s);
    setWindowTitle(layout.title.isEmpty() ? u"預覽列印"_s : u"預覽列印 - %1"_s.arg(layout.title));
    printer()->setPageLayout(layout.pageLayout);
    printer()->setDocName(layout.title);
    resize(900, 760);

    ExportPdfAction = new QAction(u"匯出PDF"_s, this);
    ExportPdfAction->setObjectName(u"ExportPdfAction"_s);
    ExportPdfAction->setToolTip(u"將報表存成 PDF 檔"_s);
    if (QToolBar *bar = findChild<QToolBar *>()) {
        bar->addSeparator();
        bar->addAction(ExportPdfAction);
    }
    connect(
        ExportPdfAction, &QAction::triggered, this, &ReportPreviewDialog::ExportPdfActionTriggered);
    connect(this, &QPrintPreviewDialog::paintRequested, this, &ReportPreviewDialog::PaintRequested);
}

void ReportPreviewDialog::ShowPreview(
    const ReportLayout &layout, QWidget *parent, const QString &pdfFileName)
{
    ReportPreviewDialog dialog(layout, parent, pdfFileName);
    dialog.exec();
}

void ReportPreviewDialog::PaintRequested(QPrinter *printer)
{
    GuardAction([&] { PrintReport(*printer, m_layout); });
}

void ReportPreviewDialog::ExportPdf(const QString &fileName)
{
    ExportReportPdf(m_layout, fileName);
    m_exported = fileName;
}

void ReportPreviewDialog::ExportPdfActionTriggered()
{
    GuardAction([&] {
        const QString fileName = QFileDialog::getSaveFileName(this, u"匯出PDF"_s,
            m_exported.isEmpty() ? m_pdfFileName : m_exported, u"PDF 檔 (*.pdf)"_s);
        if (!fileName.isEmpty())
            ExportPdf(fileName);
    });
}

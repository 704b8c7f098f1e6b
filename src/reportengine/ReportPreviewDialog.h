#pragma once

#include "reportengine/ReportLayout.h"

#include <QPrintPreviewDialog>

class QAction;
class QPrinter;
class QWidget;

// The preview of a laid-out report: pages as they print, the print button of the preview and
// a button that saves the report as a PDF file. Pages are painted by PaintReportPage, the
// same routine the PDF export uses.
class ReportPreviewDialog : public QPrintPreviewDialog
{
    Q_OBJECT
public:
    // pdfFileName: the name the PDF button proposes (may be empty).
    explicit ReportPreviewDialog(const ReportLayout &layout, QWidget *parent = nullptr,
        const QString &pdfFileName = QString());

    // Shows the preview modally and returns when it is closed.
    static void ShowPreview(const ReportLayout &layout, QWidget *parent = nullptr,
        const QString &pdfFileName = QString());

    // Writes the PDF to a file without asking (what the PDF button does after its dialog).
    void ExportPdf(const QString &fileName);
    // The file of the last PDF written from this window (empty before).
    QString ExportedFileName() const { return m_exported; }

    QAction *ExportPdfAction = nullptr; // "匯出PDF"

private:
    void PaintRequested(QPrinter *printer);
    void ExportPdfActionTriggered();

    ReportLayout m_layout;
    QString m_pdfFileName;
    QString m_exported;
};

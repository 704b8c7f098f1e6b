#pragma once

#include "reportengine/ReportLayout.h"

#include <QPointF>
#include <QString>

class QPagedPaintDevice;
class QPainter;

// Maps the sheets' font "標楷體" to the installed Traditional-Chinese Kai font, with Noto Sans
// CJK TC behind it. Without the mapping fontconfig picks the simplified-Chinese Kai variant.
// Safe to call more than once; printing calls it itself.
void InstallReportFonts();

// Paints one page of a laid-out report: the one painting routine of the preview, the printer
// and the PDF. originMm is the point of the paper (in mm) at the painter's (0,0); the painter's
// device gives the resolution.
void PaintReportPage(
    QPainter &painter, const ReportLayout &layout, int page, QPointF originMm = QPointF());

// Prints every page on a paged device (a printer or a PDF writer): sets the device's page
// layout to the report's, then paints page after page.
void PrintReport(QPagedPaintDevice &device, const ReportLayout &layout);

// Writes the report as a PDF file with its fonts embedded, without a dialog. The file is
// made in memory and written through AtomicFile, so a failed export (a full disk included)
// leaves no empty or half file and the old one stays; a file that cannot be written raises
// RolvanError naming it and the reason.
void ExportReportPdf(const ReportLayout &layout, const QString &fileName);

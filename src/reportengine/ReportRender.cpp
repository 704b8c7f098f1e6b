#include "reportengine/ReportRender.h"

#include "base/AtomicFile.h"
#include "base/RolvanError.h"

#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qreal MmPerInch = 25.4;
constexpr qreal TextPaddingMm = 0.5; // space between a text and the sides of its rectangle

// Millimetres on the paper to the painter's device coordinates.
class PageMapping
{
public:
    PageMapping(const QPaintDevice &device, QPointF originMm)
        : m_origin(originMm)
        , m_x(device.logicalDpiX() / MmPerInch)
        , m_y(device.logicalDpiY() / MmPerInch)
    {
    }

    QRectF rect(const QRectF &mm) const
    {
        return QRectF(point(mm.topLeft()), QSizeF(mm.width() * m_x, mm.height() * m_y));
    }
    QPointF point(const QPointF &mm) const
    {
        return QPointF((mm.x() - m_origin.x()) * m_x, (mm.y() - m_origin.y()) * m_y);
    }
    qreal length(qreal mm) const { return mm * m_x; }

private:
    QPointF m_origin;
    qreal m_x;
    qreal m_y;
};

QFont ObjectFont(const ReportFont &font, qreal pointSize)
{
    QFont f(font.family);
    f.setPointSizeF(pointSize > 0 ? pointSize : 10);
    f.setBold(font.bold);
    return f;
}

void PaintText(QPainter &painter, const ReportObject &o, const QRectF &rect, const PageMapping &map)
{
    if (o.text.isEmpty())
        return;
    const qreal pad = qMin(map.length(TextPaddingMm), rect.width() / 4);
    const QRectF box = rect.adjusted(pad, 0, -pad, 0);
    const int flags = int(o.alignment) | (o.wordWrap ? int(Qt::TextWordWrap) : 0);
    QFont font = ObjectFont(o.font, o.font.pointSize);
    if (o.shrinkToFit) {
        const qreal smallest = font.pointSizeF() / 2;
        for (qreal size = font.pointSizeF(); size >= smallest; size *= 0.9) {
            font = ObjectFont(o.font, size);
            const QRectF needed
                = QFontMetricsF(font, painter.device()).boundingRect(box, flags, o.text);
            if (needed.width() <= box.width() + 0.5 && needed.height() <= box.height() + 0.5)
                break;
        }
    }
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(box, flags, o.text); // clipped to its rectangle
}

void PaintPicture(QPainter &painter, const ReportObject &o, const QRectF &rect)
{
    if (o.picture.isNull())
        return;
    QRectF target(QPointF(), o.picture.size().toSizeF().scaled(rect.size(), Qt::KeepAspectRatio));
    target.moveCenter(rect.center());
    painter.drawImage(target, o.picture);
}

void PaintFrame(QPainter &painter, const ReportObject &o, const QRectF &r)
{
    if (o.frame == FrameNone)
        return;
    if (o.frame.testFlag(FrameLeft))
        painter.drawLine(r.topLeft(), r.bottomLeft());
    if (o.frame.testFlag(FrameTop))
        painter.drawLine(r.topLeft(), r.topRight());
    if (o.frame.testFlag(FrameRight))
        painter.drawLine(r.topRight(), r.bottomRight());
    if (o.frame.testFlag(FrameBottom))
        painter.drawLine(r.bottomLeft(), r.bottomRight());
}

} // namespace

void InstallReportFonts()
{
    const QString kai = ReportKaiFamily();
    const QStringList present = QFont::substitutes(kai);
    for (const QString &family : { u"AR PL UKai TW"_s, u"Noto Sans CJK TC"_s }) {
        if (!present.contains(family, Qt::CaseInsensitive))
            QFont::insertSubstitution(kai, family);
    }
}

void PaintReportPage(QPainter &painter, const ReportLayout &layout, int page, QPointF originMm)
{
    if (page < 0 || page >= layout.pageCount() || !painter.device())
        return;
    const PageMapping map(*painter.device(), originMm);
    painter.save();
    painter.setRenderHints(
        QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    for (const ReportPlacedBand &band : layout.pages.at(page).bands) {
        for (const ReportObject &o : band.objects) {
            if (!o.visible)
                continue;
            const QRectF rect = map.rect(o.rect.translated(band.rect.topLeft()));
            QPen pen(
                Qt::black, qMax<qreal>(map.length(o.lineWidth), 0.5), Qt::SolidLine, Qt::SquareCap);
            painter.setPen(pen);
            switch (o.kind) {
            case ReportObjectKind::Text:
                PaintText(painter, o, rect, map);
                break;
            case ReportObjectKind::Picture:
                PaintPicture(painter, o, rect);
                break;
            case ReportObjectKind::Line:
                painter.drawLine(rect.topLeft(), rect.bottomRight());
                break;
            }
            painter.setPen(pen);
            PaintFrame(painter, o, rect);
        }
    }
    painter.restore();
}

void PrintReport(QPagedPaintDevice &device, const ReportLayout &layout)
{
    InstallReportFonts();
    device.setPageLayout(layout.pageLayout);
    QPainter painter;
    if (!painter.begin(&device))
        throw RolvanError(u"無法開始列印報表"_s);
    // The device may keep wider margins than asked (a printer's unprintable edge): the
    // painter's origin is the corner of the area it actually prints.
    const QPointF origin = device.pageLayout().paintRect(QPageLayout::Millimeter).topLeft();
    for (int page = 0; page < layout.pageCount(); ++page) {
        if (page > 0 && !device.newPage())
            throw RolvanError(u"無法開始報表的第 %1 頁"_s.arg(page + 1));
        PaintReportPage(painter, layout, page, origin);
    }
    painter.end();
}

void ExportReportPdf(const ReportLayout &layout, const QString &fileName)
{
    auto failed = [&fileName](const QString &reason) {
        return RolvanError(
            u"無法寫入 PDF 檔案：%1\n%2"_s.arg(QDir::toNativeSeparators(fileName), reason));
    };
    if (fileName.isEmpty())
        throw failed(u"沒有檔名"_s);
    // The PDF is made in memory and written in one go, so a failure of the disk is seen and
    // the old file stays.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(layout.title);
        writer.setCreator(u"Rolvan"_s);
        PrintReport(writer, layout);
    }
    buffer.close();
    if (buffer.data().isEmpty())
        throw failed(u"報表沒有產生任何內容"_s);
    AtomicFile file(fileName);
    if (!file.begin() || !file.write(buffer.data()) || !file.commit())
        throw failed(file.reason());
}

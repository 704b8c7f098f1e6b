#include "reportengine/ReportTemplate.h"

#include "base/RolvanError.h"

using namespace Qt::Literals::StringLiterals;

ReportObject &ReportBand::add(const ReportObject &object)
{
    objects.append(object);
    return objects.last();
}

ReportBand &ReportTemplate::band(ReportBandKind kind)
{
    return const_cast<ReportBand &>(std::as_const(*this).band(kind));
}

const ReportBand &ReportTemplate::band(ReportBandKind kind) const
{
    switch (kind) {
    case ReportBandKind::Title:
        return title;
    case ReportBandKind::PageHeader:
        return pageHeader;
    case ReportBandKind::ColumnHeader:
        return columnHeader;
    case ReportBandKind::MasterData:
        return masterData;
    case ReportBandKind::PageFooter:
        break;
    }
    return pageFooter;
}

const ReportObject *ReportTemplate::findObject(const QString &name) const
{
    for (const ReportBand *b : { &title, &pageHeader, &columnHeader, &masterData, &pageFooter }) {
        for (const ReportObject &o : b->objects) {
            if (o.name == name)
                return &o;
        }
    }
    return nullptr;
}

ReportObject &ReportTemplate::object(const QString &name)
{
    const ReportObject *found = std::as_const(*this).findObject(name);
    if (!found)
        throw RolvanError(u"報表物件不存在：%1"_s.arg(name));
    return const_cast<ReportObject &>(*found);
}

void ReportTemplate::setText(const QString &name, const QString &text) { object(name).text = text; }

void ReportTemplate::setVisible(const QString &name, bool visible)
{
    object(name).visible = visible;
}

void ReportTemplate::setLeft(const QString &name, qreal left) { object(name).rect.moveLeft(left); }

void ReportTemplate::setFont(const QString &name, const QString &family, qreal pointSize)
{
    ReportObject &o = object(name);
    o.font.family = family;
    o.font.pointSize = pointSize;
}

void ReportTemplate::setVariable(const QString &name, const QVariant &value)
{
    variables.insert(name, value);
}

QSizeF ReportTemplate::paperSize() const
{
    const QSizeF size = pageSize.size(QPageSize::Millimeter);
    return orientation == QPageLayout::Landscape ? size.transposed() : size;
}

QRectF ReportTemplate::printableRect() const
{
    return QRectF(QPointF(0, 0), paperSize()).marginsRemoved(margins);
}

qreal ReportTemplate::columnWidth() const
{
    const int n = qMax(1, columns);
    return (printableRect().width() - (n - 1) * columnGap) / n;
}

QPageLayout ReportTemplate::pageLayout() const
{
    return QPageLayout(pageSize, orientation, margins, QPageLayout::Millimeter);
}

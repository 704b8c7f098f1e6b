#include "reportengine/ReportLayout.h"

#include "base/RolvanError.h"

#include <QHash>
#include <QImageReader>
#include <QSet>
#include <QtMath>

using namespace Qt::Literals::StringLiterals;

namespace {

// Pictures of one layout. Each file (and each image the script hands over) is decoded and
// scaled once per printed size, so a placeholder shown on every row is one shared image, and
// a camera snapshot is kept at print resolution instead of its full frame.
class PictureCache
{
public:
    explicit PictureCache(qreal dpi)
        : m_dpi(dpi > 0 ? dpi : 300)
    {
    }

    QImage fromFile(const QString &fileName, const QSizeF &sizeMm)
    {
        const QSize box = pixelBox(sizeMm);
        const QString key
            = fileName % u'|' % QString::number(box.width()) % u'x' % QString::number(box.height());
        const auto found = m_files.constFind(key);
        if (found != m_files.constEnd())
            return found.value();
        QImageReader reader(fileName);
        const QSize full = reader.size();
        if (full.isValid() && (full.width() > box.width() || full.height() > box.height()))
            reader.setScaledSize(full.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        const QImage image = reader.read(); // null when missing or unreadable
        m_files.insert(key, image);
        return image;
    }

    QImage fromImage(const QImage &image, const QSizeF &sizeMm)
    {
        const QSize box = pixelBox(sizeMm);
        if (image.isNull() || (image.width() <= box.width() && image.height() <= box.height()))
            return image;
        const QString key = QString::number(image.cacheKey()) % u'|' % QString::number(box.width())
            % u'x' % QString::number(box.height());
        const auto found = m_images.constFind(key);
        if (found != m_images.constEnd())
            return found.value();
        const QImage scaled = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        m_images.insert(key, scaled);
        return scaled;
    }

private:
    QSize pixelBox(const QSizeF &sizeMm) const
    {
        return QSize(qMax(1, qCeil(sizeMm.width() / 25.4 * m_dpi)),
            qMax(1, qCeil(sizeMm.height() / 25.4 * m_dpi)));
    }

    qreal m_dpi;
    QHash<QString, QImage> m_files;
    QHash<QString, QImage> m_images;
};

void LoadPictures(QList<ReportObject> &objects, PictureCache &cache)
{
    for (ReportObject &o : objects) {
        if (o.kind != ReportObjectKind::Picture || !o.visible)
            continue;
        if (!o.picture.isNull())
            o.picture = cache.fromImage(o.picture, o.rect.size());
        else if (!o.pictureFile.isEmpty())
            o.picture = cache.fromFile(o.pictureFile, o.rect.size());
    }
}

void CheckTemplate(const ReportTemplate &t, const ReportDataset &data)
{
    if (t.columns < 1)
        throw RolvanError(u"報表的頁欄數必須至少為 1：%1"_s.arg(t.columns));
    if (t.columnWidth() <= 0)
        throw RolvanError(
            u"報表的頁欄寬度不足：%1 欄，欄距 %2 mm"_s.arg(t.columns).arg(t.columnGap));
    if (data.rowCount() > 0 && t.masterData.height <= 0)
        throw RolvanError(u"報表的資料區沒有高度"_s);
    QSet<QString> names;
    for (const ReportBand *b :
        { &t.title, &t.pageHeader, &t.columnHeader, &t.masterData, &t.pageFooter }) {
        for (const ReportObject &o : b->objects) {
            if (o.name.isEmpty())
                continue;
            if (names.contains(o.name))
                throw RolvanError(u"報表物件名稱重複：%1"_s.arg(o.name));
            names.insert(o.name);
        }
    }
}

// "[Page]" and "[Pages]" in the texts of the bands around the data.
void FillPageNumbers(ReportLayout &layout)
{
    const QString pages = QString::number(layout.pageCount());
    for (int p = 0; p < layout.pages.size(); ++p) {
        const QString page = QString::number(p + 1);
        for (ReportPlacedBand &band : layout.pages[p].bands) {
            if (band.kind == ReportBandKind::MasterData)
                continue;
            for (ReportObject &o : band.objects) {
                if (o.kind == ReportObjectKind::Text && o.text.contains(u'['))
                    o.text.replace(u"[Page]"_s, page).replace(u"[Pages]"_s, pages);
            }
        }
    }
}

} // namespace

const ReportObject *ReportPlacedBand::findObject(const QString &name) const
{
    for (const ReportObject &o : objects) {
        if (o.name == name)
            return &o;
    }
    return nullptr;
}

QList<int> ReportLayout::rowsIn(int page, int column) const
{
    QList<int> result;
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).page == page && rows.at(row).column == column)
            result.append(row);
    }
    return result;
}

const ReportPlacedBand *ReportLayout::rowBand(int row) const
{
    if (row < 0 || row >= rows.size())
        return nullptr;
    for (const ReportPlacedBand &band : pages.at(rows.at(row).page).bands) {
        if (band.kind == ReportBandKind::MasterData && band.row == row)
            return &band;
    }
    return nullptr;
}

const ReportPlacedBand *ReportLayout::findBand(int page, ReportBandKind kind, int column) const
{
    if (page < 0 || page >= pages.size())
        return nullptr;
    for (const ReportPlacedBand &band : pages.at(page).bands) {
        if (band.kind == kind && (column < 0 || band.column == column))
            return &band;
    }
    return nullptr;
}

ReportRowContext::ReportRowContext(
    const ReportDataset &data, int row, const QVariantMap &variables, QList<ReportObject> &objects)
    : m_data(data)
    , m_row(row)
    , m_variables(variables)
    , m_objects(objects)
{
}

QVariant ReportRowContext::value(const QString &column) const
{
    return m_data.value(m_row, column);
}

QString ReportRowContext::text(const QString &column) const
{
    const QVariant v = value(column);
    return v.isNull() ? QString() : v.toString();
}

QVariant ReportRowContext::variable(const QString &name) const { return m_variables.value(name); }

ReportObject &ReportRowContext::object(const QString &name)
{
    for (ReportObject &o : m_objects) {
        if (o.name == name)
            return o;
    }
    throw RolvanError(u"報表資料區沒有物件：%1"_s.arg(name));
}

void ReportRowContext::setText(const QString &name, const QString &text)
{
    object(name).text = text;
}

void ReportRowContext::setVisible(const QString &name, bool visible)
{
    object(name).visible = visible;
}

void ReportRowContext::setLeft(const QString &name, qreal left)
{
    object(name).rect.moveLeft(left);
}

bool ReportRowContext::setPicture(const QString &name, const QString &fileName)
{
    ReportObject &o = object(name);
    if (fileName.isEmpty() || !QImageReader(fileName).canRead())
        return false;
    o.pictureFile = fileName;
    o.picture = QImage();
    return true;
}

void ReportRowContext::setPicture(const QString &name, const QImage &image)
{
    ReportObject &o = object(name);
    o.pictureFile.clear();
    o.picture = image;
}

ReportLayout LayoutReport(const ReportTemplate &t, const ReportDataset &data)
{
    CheckTemplate(t, data);

    ReportLayout layout;
    layout.title = t.name;
    layout.pageLayout = t.pageLayout();
    layout.rows.reserve(data.rowCount());

    PictureCache pictures(t.pictureDpi);
    const QRectF area = t.printableRect();
    const qreal columnWidth = t.columnWidth();
    const qreal rowHeight = t.masterData.height;
    const qreal dataBottom = area.bottom() - qMax<qreal>(0, t.pageFooter.height);
    constexpr qreal slack = 1e-6; // rounding of band heights that add up to the page exactly

    auto place = [&](ReportBandKind kind, const QList<ReportObject> &objects, const QRectF &rect,
                     int column, int row) {
        ReportPlacedBand band { kind, column, row, rect, objects };
        LoadPictures(band.objects, pictures);
        layout.pages.last().bands.append(std::move(band));
    };
    auto columnLeft
        = [&](int column) { return area.left() + column * (columnWidth + t.columnGap); };

    qreal y = 0;
    qreal columnsTop = 0;
    int column = 0;
    int rowsInColumn = 0;

    auto startColumn = [&] {
        y = columnsTop;
        rowsInColumn = 0;
        if (t.columnHeader.height > 0) {
            place(ReportBandKind::ColumnHeader, t.columnHeader.objects,
                QRectF(columnLeft(column), y, columnWidth, t.columnHeader.height), column, -1);
            y += t.columnHeader.height;
        }
    };
    auto startPage = [&] {
        layout.pages.append(ReportPage());
        y = area.top();
        if (layout.pages.size() == 1 && t.title.height > 0) {
            place(ReportBandKind::Title, t.title.objects,
                QRectF(area.left(), y, area.width(), t.title.height), -1, -1);
            y += t.title.height;
        }
        if (t.pageHeader.height > 0) {
            place(ReportBandKind::PageHeader, t.pageHeader.objects,
                QRectF(area.left(), y, area.width(), t.pageHeader.height), -1, -1);
            y += t.pageHeader.height;
        }
        columnsTop = y;
        column = 0;
        startColumn();
    };

    startPage();
    for (int row = 0; row < data.rowCount(); ++row) {
        QList<ReportObject> objects = t.masterData.objects;
        if (t.onRow) {
            ReportRowContext context(data, row, t.variables, objects);
            t.onRow(context);
        }
        // A row that does not fit goes to the next column, after the last column to the next
        // page; a row taller than an empty column is printed there all the same (cut off).
        if (rowsInColumn > 0 && y + rowHeight > dataBottom + slack) {
            if (++column < t.columns)
                startColumn();
            else
                startPage();
        }
        const QRectF rect(columnLeft(column), y, columnWidth, rowHeight);
        place(ReportBandKind::MasterData, objects, rect, column, row);
        layout.rows.append(
            ReportRowPlace { static_cast<int>(layout.pages.size()) - 1, column, rect });
        y += rowHeight;
        ++rowsInColumn;
    }

    if (t.pageFooter.height > 0) {
        for (ReportPage &page : layout.pages) {
            ReportPlacedBand band { ReportBandKind::PageFooter, -1, -1,
                QRectF(area.left(), dataBottom, area.width(), t.pageFooter.height),
                t.pageFooter.objects };
            LoadPictures(band.objects, pictures);
            page.bands.append(std::move(band));
        }
    }
    FillPageNumbers(layout);
    return layout;
}

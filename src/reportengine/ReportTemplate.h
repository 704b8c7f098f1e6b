#pragma once

#include <QFlags>
#include <QImage>
#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>

// A report template: a page, bands stacked on it and named objects in the bands.
//
// Every length is in millimetres. Objects sit relative to their band: objects of the title,
// page-header and page-footer bands to the left margin, objects of the column-header and
// master-data bands to the left edge of their page column.
//
// A sheet builds its whole template in one function from plain values, for example
//
//     ReportTemplate t;
//     t.columns = 2;
//     t.title.height = 22;
//     t.title.objects = {
//         {.name = u"Title"_s, .rect = {0, 0, 196, 10}, .text = u"講習課程簽到單(簡式)"_s,
//          .font = {.pointSize = 18}, .alignment = Qt::AlignCenter},
//     };
//     t.masterData.height = 8;
//     t.masterData.objects = {
//         {.name = u"Name"_s, .rect = {0, 0, 20, 8}, .frame = FrameAll},
//         {.name = u"Photo"_s, .kind = ReportObjectKind::Picture, .rect = {20, 0, 10, 8}},
//     };
//     t.onRow = [](ReportRowContext &row) { row.setText(u"Name"_s, row.text(u"NAME"_s)); };

class ReportRowContext;

// The family the sheets print in. InstallReportFonts maps it to an installed Kai font.
inline QString ReportKaiFamily() { return QStringLiteral("標楷體"); }

enum class ReportObjectKind {
    Text, // a text in its rectangle, clipped to it
    Picture, // an image file or image, scaled to fit, keeping its aspect ratio, centred
    Line // a line from the rectangle's top-left to its bottom-right corner
};

// Sides of an object's rectangle drawn as frame lines; neighbouring cells that share a side
// draw the same line, so a row of framed cells is a ruled table.
enum ReportFrameSide {
    FrameNone = 0x0,
    FrameLeft = 0x1,
    FrameTop = 0x2,
    FrameRight = 0x4,
    FrameBottom = 0x8,
    FrameAll = 0xf
};
Q_DECLARE_FLAGS(ReportFrames, ReportFrameSide)
Q_DECLARE_OPERATORS_FOR_FLAGS(ReportFrames)

struct ReportFont
{
    QString family = ReportKaiFamily();
    qreal pointSize = 10;
    bool bold = false;
};

struct ReportObject
{
    QString name;
    ReportObjectKind kind = ReportObjectKind::Text;
    QRectF rect; // mm, relative to the band (see above)
    QString text; // Text: the text; "[Page]" and "[Pages]" outside the master data
    ReportFont font;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    ReportFrames frame = FrameNone;
    qreal lineWidth = 0.2; // mm, for the frame and for a Line
    bool visible = true;
    bool wordWrap = false; // Text: break into lines inside the rectangle
    bool shrinkToFit = false; // Text: a smaller font (down to half) when the text is too wide
    QString pictureFile; // Picture: the file shown (empty: nothing)
    QImage picture; // Picture: the image shown; wins over pictureFile
};

enum class ReportBandKind {
    Title, // once, at the top of the first page, across the page
    PageHeader, // at the top of every page (below the title on the first), across the page
    ColumnHeader, // at the top of every page column that holds rows
    MasterData, // once per dataset row, flowing down column 1, then column 2, ... then on
    PageFooter // at the bottom of every page, across the page
};

// A band is printed when its height is above zero.
struct ReportBand
{
    qreal height = 0; // mm
    QList<ReportObject> objects;

    // Adds an object and returns it for further settings.
    ReportObject &add(const ReportObject &object);
};

// Called before each master-data row is printed: reads the row's values and the script
// variables, and changes that row's copies of the master-data objects.
using ReportRowScript = std::function<void(ReportRowContext &row)>;

class ReportTemplate
{
public:
    QString name; // also the title of the PDF document
    QPageSize pageSize { QPageSize::A4 };
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF margins { 7, 10, 7, 10 }; // mm: left, top, right, bottom
    int columns = 1; // page columns of the master data
    qreal columnGap = 0; // mm between two page columns
    qreal pictureDpi = 300; // pictures are stored at this resolution of their printed size

    ReportBand title;
    ReportBand pageHeader;
    ReportBand columnHeader;
    ReportBand masterData;
    ReportBand pageFooter;

    QVariantMap variables; // script variables (the sheets pass "imagePath")
    ReportRowScript onRow; // the per-row script of the master data (may be empty)

    ReportBand &band(ReportBandKind kind);
    const ReportBand &band(ReportBandKind kind) const;

    // Named objects of every band. An unknown name raises RolvanError.
    ReportObject &object(const QString &name);
    const ReportObject *findObject(const QString &name) const;

    void setText(const QString &name, const QString &text);
    void setVisible(const QString &name, bool visible);
    void setLeft(const QString &name, qreal left);
    void setFont(const QString &name, const QString &family, qreal pointSize);
    void setVariable(const QString &name, const QVariant &value);

    // Paper size in mm in the template's orientation, the area inside the margins and the
    // width of one page column.
    QSizeF paperSize() const;
    QRectF printableRect() const;
    qreal columnWidth() const;
    QPageLayout pageLayout() const;
};

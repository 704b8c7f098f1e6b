// The band report engine: rows flowing through page columns and pages, the bands around them,
// the program's and the row script's changes to named objects, pictures at print size, the
// dataset adapters, and the PDF file (read back with poppler's tools).

#include "SampleSheet.h"
#include "base/RolvanError.h"
#include "reportengine/ReportEngine.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace Qt::Literals::StringLiterals;

using TemplateChange = std::function<void(ReportTemplate &)>;
Q_DECLARE_METATYPE(TemplateChange)

namespace {

// Page 1: top margin 10, title 37, column header 10, rows from 57 down to the footer at 267:
// seven rows of 30 mm. Later pages have no title: rows from 20, eight of them.
ReportTemplate FlowTemplate(int columns)
{
    ReportTemplate t;
    t.name = u"流向"_s;
    t.columns = columns;
    t.title.height = 37;
    t.title.objects
        = { { .name = u"Title"_s, .rect = { 0, 0, 196, 10 }, .text = u"講習課程簽到單(簡式)"_s } };
    t.columnHeader.height = 10;
    t.columnHeader.objects = { { .name = u"Head"_s,
        .rect = { 0, 0, 30, 10 },
        .text = u"姓名"_s,
        .frame = FrameAll,
        .lineWidth = 1 } };
    t.masterData.height = 30;
    t.masterData.objects
        = { { .name = u"Name"_s, .rect = { 0, 0, 30, 30 }, .frame = FrameAll, .lineWidth = 1 } };
    t.pageFooter.height = 20;
    t.pageFooter.objects = {
        { .name = u"PageNo"_s, .rect = { 0, 0, 196, 20 }, .text = u"Page: [Page] / [Pages]"_s }
    };
    return t;
}

ReportDataset Numbers(int count)
{
    ReportDataset data({ u"N"_s });
    for (int i = 0; i < count; ++i)
        data.addRow({ i });
    return data;
}

// "1.1:0-6 1.2:7-13": page.column:first-last row of every page column, in order.
QString Flow(const ReportLayout &layout)
{
    QStringList parts;
    for (int page = 0; page < layout.pageCount(); ++page) {
        for (int column = 0; column < 8; ++column) {
            const QList<int> rows = layout.rowsIn(page, column);
            if (rows.isEmpty())
                continue;
            const QString span = rows.size() == 1 ? QString::number(rows.first())
                                                  : u"%1-%2"_s.arg(rows.first()).arg(rows.last());
            parts << u"%1.%2:%3"_s.arg(page + 1).arg(column + 1).arg(span);
        }
    }
    return parts.join(u' ');
}

int CountBands(const ReportLayout &layout, int page, ReportBandKind kind)
{
    int n = 0;
    for (const ReportPlacedBand &band : layout.pages.at(page).bands)
        n += band.kind == kind ? 1 : 0;
    return n;
}

// A page painted at 4 pixels per millimetre.
QImage PaintPage(const ReportLayout &layout, int page)
{
    QImage image(210 * 4, 297 * 4, QImage::Format_RGB32);
    image.setDotsPerMeterX(4000);
    image.setDotsPerMeterY(4000);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintReportPage(painter, layout, page);
    painter.end();
    return image;
}

bool DarkAt(const QImage &page, qreal xMm, qreal yMm)
{
    return qGray(page.pixel(qRound(xMm * 4), qRound(yMm * 4))) < 128;
}

QString RunTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList Entries(const QString &dir)
{
    QStringList all;
    QDir root(dir);
    for (const QString &e :
        root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        all << e;
        if (QFileInfo(root.filePath(e)).isDir())
            all << Entries(root.filePath(e));
    }
    return all;
}

} // namespace

class TestReportEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void rowsFlowDownColumnsThenPages_data();
    void rowsFlowDownColumnsThenPages();
    void bandsAroundTheRows();
    void programSetsObjectsBeforeLayout();
    void rowScriptChangesOnlyItsRow();
    void picturesAreKeptAtPrintSize();
    void datasetAdapters();
    void templateErrorsAreRefused_data();
    void templateErrorsAreRefused();
    void pdfHoldsTextPagesAndPictures();
    void unwritablePdfTargetLeavesNoFile_data();
    void unwritablePdfTargetLeavesNoFile();
};

void TestReportEngine::initTestCase()
{
    QGuiApplication::setFont(QFont(u"Noto Sans CJK TC"_s));
    InstallReportFonts();
    InstallReportFonts(); // a second call changes nothing
    QCOMPARE(QFont::substitutes(ReportKaiFamily()).join(u'|').toLower(),
        u"ar pl ukai tw|noto sans cjk tc"_s);
    // The sheets' "標楷體" prints in the Traditional-Chinese Kai font.
    QCOMPARE(QFontInfo(QFont(ReportKaiFamily())).family(), u"AR PL UKai TW"_s);
}

void TestReportEngine::rowsFlowDownColumnsThenPages_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QString>("headersPerPage");

    QTest::newRow("one column") << 1 << 20 << u"1.1:0-6 2.1:7-14 3.1:15-19"_s << u"1,1,1"_s;
    QTest::newRow("two columns") << 2 << 20 << u"1.1:0-6 1.2:7-13 2.1:14-19"_s << u"2,1"_s;
    QTest::newRow("three columns")
        << 3 << 30 << u"1.1:0-6 1.2:7-13 1.3:14-20 2.1:21-28 2.2:29"_s << u"3,2"_s;
    QTest::newRow("first page exactly full") << 1 << 7 << u"1.1:0-6"_s << u"1"_s;
    QTest::newRow("second column exactly full") << 2 << 14 << u"1.1:0-6 1.2:7-13"_s << u"2"_s;
    QTest::newRow("no rows") << 3 << 0 << QString() << u"1"_s;
}

void TestReportEngine::rowsFlowDownColumnsThenPages()
{
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QString, flow);
    QFETCH(QString, headersPerPage);

    const ReportLayout layout = LayoutReport(FlowTemplate(columns), Numbers(rows));
    QCOMPARE(Flow(layout), flow);

    QStringList headers;
    for (int page = 0; page < layout.pageCount(); ++page)
        headers << QString::number(CountBands(layout, page, ReportBandKind::ColumnHeader));
    QCOMPARE(headers.join(u','), headersPerPage);

    // Columns side by side across the printable width; each column starts below its header.
    const qreal width = 196.0 / columns;
    for (int row = 0; row < rows; ++row) {
        const ReportRowPlace &place = layout.rows.at(row);
        QCOMPARE(place.rect.left(), 7 + place.column * width);
        QCOMPARE(place.rect.width(), width);
        const bool first = row == 0 || layout.rows.at(row - 1).column != place.column
            || layout.rows.at(row - 1).page != place.page;
        if (first)
            QCOMPARE(place.rect.top(), place.page == 0 ? 57.0 : 20.0);
        QVERIFY(place.rect.bottom() <= 267.0 + 1e-9);
        QCOMPARE(layout.rowBand(row)->rect, place.rect);
    }
}

void TestReportEngine::bandsAroundTheRows()
{
    ReportTemplate t = FlowTemplate(1);
    t.pageHeader.height = 5;
    t.pageHeader.objects
        = { { .name = u"Running"_s, .rect = { 0, 0, 196, 5 }, .text = u"第 [Page] 頁"_s } };
    const ReportLayout layout = LayoutReport(t, Numbers(10));
    QCOMPARE(layout.pageCount(), 2);

    // The title only on the first page; the page header and the footer on every page, with
    // the page numbers filled in; rows start below the page header.
    QVERIFY(layout.findBand(0, ReportBandKind::Title));
    QVERIFY(!layout.findBand(1, ReportBandKind::Title));
    QCOMPARE(layout.findBand(0, ReportBandKind::PageHeader)->rect, QRectF(7, 47, 196, 5));
    QCOMPARE(layout.findBand(1, ReportBandKind::PageHeader)->rect, QRectF(7, 10, 196, 5));
    QCOMPARE(layout.findBand(1, ReportBandKind::PageHeader)->findObject(u"Running"_s)->text,
        u"第 2 頁"_s);
    for (int page = 0; page < 2; ++page) {
        const ReportPlacedBand *footer = layout.findBand(page, ReportBandKind::PageFooter);
        QVERIFY(footer);
        QCOMPARE(footer->rect, QRectF(7, 267, 196, 20));
        QCOMPARE(footer->findObject(u"PageNo"_s)->text, u"Page: %1 / 2"_s.arg(page + 1));
    }
    QCOMPARE(layout.findBand(1, ReportBandKind::ColumnHeader)->rect.top(), 15.0);
    QCOMPARE(layout.rows.at(layout.rowsIn(1, 0).first()).rect.top(), 25.0);
    // Page-number fields are not filled in the rows' own texts.
    t.masterData.objects.first().text = u"[Page]"_s;
    QCOMPARE(LayoutReport(t, Numbers(1)).rowBand(0)->objects.first().text, u"[Page]"_s);
}

void TestReportEngine::programSetsObjectsBeforeLayout()
{
    ReportTemplate t = FlowTemplate(1);
    t.setVisible(u"Head"_s, false);
    t.setLeft(u"Name"_s, 50);
    t.setText(u"Title"_s, u"講習課程簽到單(點名)"_s);
    t.setFont(u"Title"_s, u"Noto Sans CJK TC"_s, 16);
    QVERIFY_THROWS_EXCEPTION(RolvanError, t.setText(u"NoSuchObject"_s, u"x"_s));

    const ReportLayout layout = LayoutReport(t, Numbers(2));
    const ReportObject *title = layout.findBand(0, ReportBandKind::Title)->findObject(u"Title"_s);
    QCOMPARE(title->text, u"講習課程簽到單(點名)"_s);
    QCOMPARE(title->font.family, u"Noto Sans CJK TC"_s);
    QCOMPARE(title->font.pointSize, 16.0);
    QVERIFY(!layout.findBand(0, ReportBandKind::ColumnHeader)->findObject(u"Head"_s)->visible);
    QCOMPARE(layout.rowBand(1)->findObject(u"Name"_s)->rect, QRectF(50, 0, 30, 30));

    // Printed: the moved frame at 7 + 50 mm, nothing at the old place nor of the hidden header.
    const QImage page = PaintPage(layout, 0);
    QVERIFY(DarkAt(page, 57, 70));
    QVERIFY(!DarkAt(page, 7, 70));
    QVERIFY(!DarkAt(page, 7, 52));
    QVERIFY(!DarkAt(page, 37, 52));
}

void TestReportEngine::rowScriptChangesOnlyItsRow()
{
    QTemporaryDir dir;
    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(Qt::red);
    QImage grey(64, 48, QImage::Format_RGB32);
    grey.fill(Qt::gray);
    QVERIFY(red.save(dir.filePath(u"p1.png"_s)));
    QVERIFY(grey.save(dir.filePath(u"NoSign.png"_s)));

    ReportTemplate t;
    t.masterData.height = 10;
    t.masterData.objects = {
        { .name = u"Name"_s, .rect = { 0, 0, 30, 10 } },
        { .name = u"Time"_s, .rect = { 30, 0, 20, 10 } },
        { .name = u"Late"_s, .rect = { 50, 0, 10, 10 }, .text = u"遲到"_s },
        { .name = u"Photo"_s, .kind = ReportObjectKind::Picture, .rect = { 60, 0, 20, 10 } },
    };
    t.setVariable(u"imagePath"_s, QString(dir.path() + u'/'));
    QList<int> calls;
    QList<bool> taken;
    t.onRow = [&](ReportRowContext &row) {
        calls << row.row();
        row.setText(u"Name"_s, row.text(u"name"_s)); // column names in any case
        const QString time = row.text(u"TIME"_s);
        row.setText(u"Time"_s, time.isEmpty() ? QString() : time.left(2) % u':' % time.mid(2, 2));
        if (row.row() == 0) {
            row.setVisible(u"Late"_s, false);
            row.setLeft(u"Time"_s, 80);
        }
        const QString path = row.variable(u"imagePath"_s).toString();
        row.setPicture(u"Photo"_s, path + u"NoSign.png"_s);
        if (!time.isEmpty())
            taken << row.setPicture(u"Photo"_s, path + row.text(u"PIC"_s));
    };
    ReportDataset data({ u"NAME"_s, u"TIME"_s, u"PIC"_s });
    data.addRow({ u"王小明"_s, u"080130"_s, u"p1.png"_s });
    data.addRow({ u"李大華"_s, QVariant(), u"p2.png"_s });
    data.addRow({ u"陳美玲"_s, u"091500"_s, u"missing.png"_s });

    const ReportLayout layout = LayoutReport(t, data);
    QCOMPARE(calls, QList<int>({ 0, 1, 2 }));
    QCOMPARE(taken, QList<bool>({ true, false }));

    const ReportPlacedBand *first = layout.rowBand(0);
    QCOMPARE(first->findObject(u"Name"_s)->text, u"王小明"_s);
    QCOMPARE(first->findObject(u"Time"_s)->text, u"08:01"_s);
    QCOMPARE(first->findObject(u"Time"_s)->rect.left(), 80.0);
    QVERIFY(!first->findObject(u"Late"_s)->visible);
    QCOMPARE(first->findObject(u"Photo"_s)->picture.pixelColor(5, 5), QColor(Qt::red));

    // The next rows start again from the template: what row 0 changed does not carry over.
    const ReportPlacedBand *second = layout.rowBand(1);
    QCOMPARE(second->findObject(u"Time"_s)->text, QString());
    QCOMPARE(second->findObject(u"Time"_s)->rect.left(), 30.0);
    QVERIFY(second->findObject(u"Late"_s)->visible);
    QCOMPARE(second->findObject(u"Photo"_s)->picture.pixelColor(5, 5), QColor(Qt::gray));
    // A snapshot file that is missing leaves the placeholder.
    QCOMPARE(layout.rowBand(2)->findObject(u"Photo"_s)->picture.pixelColor(5, 5), QColor(Qt::gray));

    // A script that names an object or a column that does not exist stops the layout.
    t.onRow = [](ReportRowContext &row) { row.setText(u"Nmae"_s, QString()); };
    QVERIFY_THROWS_EXCEPTION(RolvanError, LayoutReport(t, data));
    t.onRow = [](ReportRowContext &row) { row.text(u"MOBILE"_s); };
    QVERIFY_THROWS_EXCEPTION(RolvanError, LayoutReport(t, data));
}

void TestReportEngine::picturesAreKeptAtPrintSize()
{
    QTemporaryDir dir;
    const QString snapshot = dir.filePath(u"snap.jpg"_s);
    const QString placeholder = dir.filePath(u"NoSign.jpg"_s);
    QVERIFY(SampleSheet::WriteSnapshot(snapshot, Qt::darkCyan, u"簽到"_s));
    QVERIFY(SampleSheet::WriteSnapshot(placeholder, Qt::lightGray, u"未簽"_s));
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(Qt::blue);
    QImage frame(640, 480, QImage::Format_RGB32);
    frame.fill(Qt::green);

    ReportTemplate t; // 300 dpi: a 20 x 20 mm picture box holds 237 x 237 pixels
    t.masterData.height = 20;
    t.masterData.objects = {
        { .name = u"File"_s,
            .kind = ReportObjectKind::Picture,
            .rect = { 0, 0, 20, 20 },
            .pictureFile = snapshot },
        { .name = u"Frame"_s, .kind = ReportObjectKind::Picture, .rect = { 20, 0, 20, 20 } },
        { .name = u"Small"_s,
            .kind = ReportObjectKind::Picture,
            .rect = { 40, 0, 20, 20 },
            .picture = small },
        { .name = u"Missing"_s,
            .kind = ReportObjectKind::Picture,
            .rect = { 60, 0, 20, 20 },
            .pictureFile = dir.filePath(u"none.jpg"_s) },
        { .name = u"Hidden"_s,
            .kind = ReportObjectKind::Picture,
            .rect = { 80, 0, 20, 20 },
            .visible = false,
            .pictureFile = snapshot },
        { .name = u"NoSign"_s,
            .kind = ReportObjectKind::Picture,
            .rect = { 100, 0, 20, 20 },
            .pictureFile = placeholder },
    };
    t.onRow = [&](ReportRowContext &row) { row.setPicture(u"Frame"_s, frame); };
    const ReportLayout layout = LayoutReport(t, Numbers(30));

    const ReportPlacedBand *band = layout.rowBand(0);
    for (const QString &name : { u"File"_s, u"Frame"_s }) {
        const QImage image = band->findObject(name)->picture;
        QVERIFY2(image.width() <= 237 && image.width() >= 230, qPrintable(name));
        QVERIFY2(qAbs(qreal(image.width()) / image.height() - 4.0 / 3.0) < 0.02, qPrintable(name));
    }
    QCOMPARE(band->findObject(u"Small"_s)->picture.size(), QSize(40, 30)); // never enlarged
    QVERIFY(band->findObject(u"Missing"_s)->picture.isNull());
    QVERIFY(band->findObject(u"Hidden"_s)->picture.isNull()); // not decoded for nothing

    // One decode per file and size: every row shares the same image (one image in the PDF).
    const qint64 key = band->findObject(u"NoSign"_s)->picture.cacheKey();
    const qint64 frameKey = band->findObject(u"Frame"_s)->picture.cacheKey();
    for (int row = 1; row < 30; ++row) {
        QCOMPARE(layout.rowBand(row)->findObject(u"NoSign"_s)->picture.cacheKey(), key);
        QCOMPARE(layout.rowBand(row)->findObject(u"Frame"_s)->picture.cacheKey(), frameKey);
    }

    // Painted centred in its box, keeping the aspect ratio: the 4:3 picture leaves bands
    // above and below inside a square box.
    const QImage page = PaintPage(layout, 0);
    const qreal top = layout.rows.at(0).rect.top();
    QCOMPARE(page.pixelColor(qRound(30.0 * 4), qRound((top + 10) * 4)), QColor(Qt::green));
    QCOMPARE(page.pixelColor(qRound(30.0 * 4), qRound((top + 1) * 4)), QColor(Qt::white));
}

void TestReportEngine::datasetAdapters()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"reportengine"_s);
        db.setDatabaseName(u":memory:"_s);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(u"create table Booking (NAME text, ID text, GHour integer)"_s));
        QVERIFY(q.exec(
            u"insert into Booking values ('王小明', 'A123456789', 3), ('O''Brien', 'B223456789', null)"_s));

        QSqlQuery advanced(db);
        QVERIFY(advanced.exec(u"select * from Booking order by ID"_s));
        QVERIFY(advanced.next() && advanced.next()); // read from the first row all the same
        QSqlQuery forward(db);
        forward.setForwardOnly(true);
        QVERIFY(forward.exec(u"select * from Booking order by ID"_s));
        QSqlQueryModel model;
        model.setQuery(u"select * from Booking order by ID"_s, db);
        QList<QSqlRecord> records;
        QSqlQuery r(db);
        QVERIFY(r.exec(u"select * from Booking order by ID"_s));
        while (r.next())
            records << r.record();

        const QList<ReportDataset> sets { ReportDataset::FromQuery(advanced),
            ReportDataset::FromQuery(forward), ReportDataset::FromModel(model),
            ReportDataset::FromRecords(records) };
        for (const ReportDataset &data : sets) {
            QCOMPARE(data.columns(), QStringList({ u"NAME"_s, u"ID"_s, u"GHour"_s }));
            QCOMPARE(data.rowCount(), 2);
            QCOMPARE(data.value(0, u"name"_s).toString(), u"王小明"_s);
            QCOMPARE(data.value(1, u"Name"_s).toString(), u"O'Brien"_s);
            QCOMPARE(data.value(0, u"ghour"_s).toInt(), 3);
            QVERIFY(data.value(1, u"GHOUR"_s).isNull());
            QCOMPARE(data.columnIndex(u"Mobile"_s), -1);
            QVERIFY_THROWS_EXCEPTION(RolvanError, data.value(0, u"Mobile"_s));
            QVERIFY_THROWS_EXCEPTION(RolvanError, data.value(2, u"NAME"_s));
        }
        QCOMPARE(ReportDataset::FromRecords({}).rowCount(), 0);
    }
    QSqlDatabase::removeDatabase(u"reportengine"_s);

    ReportDataset data({ u"A"_s, u"B"_s });
    data.addRow({ 1 });
    QVERIFY(data.value(0, u"B"_s).isNull());
    QVERIFY_THROWS_EXCEPTION(RolvanError, data.addRow({ 1, 2, 3 }));
    QCOMPARE(data.rowCount(), 1);
}

void TestReportEngine::templateErrorsAreRefused_data()
{
    QTest::addColumn<TemplateChange>("change");
    QTest::addColumn<QString>("message");

    QTest::newRow("same name twice")
        << TemplateChange([](ReportTemplate &t) { t.title.objects.append({ .name = u"Name"_s }); })
        << u"報表物件名稱重複：Name"_s;
    QTest::newRow("no columns") << TemplateChange([](ReportTemplate &t) { t.columns = 0; })
                                << u"報表的頁欄數必須至少為 1"_s;
    QTest::newRow("gap wider than the page") << TemplateChange([](ReportTemplate &t) {
        t.columns = 3;
        t.columnGap = 100;
    }) << u"報表的頁欄寬度不足"_s;
    QTest::newRow("rows without height")
        << TemplateChange([](ReportTemplate &t) { t.masterData.height = 0; })
        << u"報表的資料區沒有高度"_s;
}

void TestReportEngine::templateErrorsAreRefused()
{
    QFETCH(TemplateChange, change);
    QFETCH(QString, message);

    ReportTemplate t = FlowTemplate(1);
    change(t);
    try {
        LayoutReport(t, Numbers(3));
        QFAIL("the template was accepted");
    } catch (const RolvanError &e) {
        QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
    }
}

void TestReportEngine::pdfHoldsTextPagesAndPictures()
{
    QTemporaryDir dir;
    const QString pictures = dir.filePath(u"PIC"_s);
    QVERIFY(QDir().mkpath(pictures));
    const QList<SampleSheet::Person> people = SampleSheet::People(40);
    QVERIFY(SampleSheet::WritePictures(pictures, people));
    ReportTemplate t = SampleSheet::Template(pictures + u"/NoSign.jpg"_s);
    t.setVariable(u"imagePath"_s, QString(pictures + u'/'));
    const ReportLayout layout = LayoutReport(t, SampleSheet::Rows(people));
    QCOMPARE(layout.pageCount(), 2);

    const QString pdf = dir.filePath(u"PDF/11300001201A1010900_1130905(四)Pic.pdf"_s);
    QVERIFY(QDir().mkpath(dir.filePath(u"PDF"_s)));
    ExportReportPdf(layout, pdf);
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(5), QByteArray("%PDF-"));
    QCOMPARE(QDir(dir.filePath(u"PDF"_s)).entryList(QDir::Files),
        QStringList({ QFileInfo(pdf).fileName() }));

    const QString shots = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        QFile::remove(shots + u"/engine-sample.pdf"_s);
        QFile::copy(pdf, shots + u"/engine-sample.pdf"_s);
        PaintPage(layout, 0).save(shots + u"/engine-page1-painted.png"_s);
    }

    const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_s);
    const QString pdffonts = QStandardPaths::findExecutable(u"pdffonts"_s);
    const QString pdfimages = QStandardPaths::findExecutable(u"pdfimages"_s);
    if (pdftotext.isEmpty() || pdffonts.isEmpty() || pdfimages.isEmpty())
        QSKIP("pdftotext, pdffonts or pdfimages (poppler-utils) is not installed");
    const QString text = RunTool(pdftotext, { u"-layout"_s, pdf, u"-"_s });
    for (const QString &expected :
        { u"講習課程簽到單(照片)"_s, u"主辦單位：臺北市職業訓練中心"_s, u"職業安全衛生教育訓練"_s,
            u"Page: 1"_s, u"Page: 2"_s, u"王小明"_s, u"講師56000"_s, u"*****56037"_s, u"08:36"_s })
        QVERIFY2(
            text.contains(expected), qPrintable(expected + u" missing in:\n"_s + text.left(2000)));
    // The Kai font is embedded (not left to the reader's machine).
    const QString fonts = RunTool(pdffonts, { pdf });
    QVERIFY2(
        QRegularExpression(u"UKai\\S*\\s.*\\byes\\b"_s).match(fonts).hasMatch(), qPrintable(fonts));

    // Pictures are stored at their printed size, and the placeholder once for all rows.
    const QString list = RunTool(pdfimages, { u"-list"_s, pdf });
    QSet<QString> objects;
    int images = 0;
    for (const QString &line : list.split(u'\n')) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() < 12 || f.at(2) != u"image"_s)
            continue;
        ++images;
        QVERIFY2(f.at(3).toInt() <= 154 && f.at(4).toInt() <= 142, qPrintable(line)); // 13 x 12 mm
        objects.insert(f.at(10));
    }
    int snapshots = 0;
    for (const SampleSheet::Person &p : people)
        snapshots += (p.timeIn.isEmpty() ? 0 : 1) + (p.timeOut.isEmpty() ? 0 : 1);
    QCOMPARE(images, 40 * 4);
    QCOMPARE(objects.size(), snapshots + 1);
}

void TestReportEngine::unwritablePdfTargetLeavesNoFile_data()
{
    QTest::addColumn<QString>("target"); // relative to a scratch folder

    QTest::newRow("folder missing") << u"missing/sheet.pdf"_s;
    QTest::newRow("parent is a file") << u"note.txt/sheet.pdf"_s;
    QTest::newRow("target is a folder") << u"PDF"_s;
}

void TestReportEngine::unwritablePdfTargetLeavesNoFile()
{
    QFETCH(QString, target);

    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"PDF"_s)));
    QFile note(dir.filePath(u"note.txt"_s));
    QVERIFY(note.open(QIODevice::WriteOnly));
    note.write("x");
    note.close();
    const QStringList before = Entries(dir.path());

    const QString fileName = dir.filePath(target);
    const ReportLayout layout = LayoutReport(FlowTemplate(2), Numbers(10));
    try {
        ExportReportPdf(layout, fileName);
        QFAIL("an unwritable target was accepted");
    } catch (const RolvanError &e) {
        QVERIFY2(
            e.message().startsWith(u"無法寫入 PDF 檔案："_s + QDir::toNativeSeparators(fileName)),
            qPrintable(e.message()));
    }
    QCOMPARE(Entries(dir.path()), before);
}

QTEST_MAIN(TestReportEngine)
#include "tst_reportengine.moc"

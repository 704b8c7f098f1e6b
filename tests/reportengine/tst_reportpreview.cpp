// The preview window of a report: every page of the layout shown, and its PDF button's export.

#include "SampleSheet.h"
#include "reportengine/ReportPreviewDialog.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPrintPreviewWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

using namespace Qt::Literals::StringLiterals;

class TestReportPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void previewShowsEveryPageAndExportsPdf();
};

void TestReportPreview::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
    InstallReportFonts();
}

void TestReportPreview::previewShowsEveryPageAndExportsPdf()
{
    QTemporaryDir dir;
    const QList<SampleSheet::Person> people = SampleSheet::People(40);
    QVERIFY(SampleSheet::WritePictures(dir.path(), people));
    ReportTemplate t = SampleSheet::Template(dir.filePath(u"NoSign.jpg"_s));
    t.setVariable(u"imagePath"_s, QString(dir.path() + u'/'));
    const ReportLayout layout = LayoutReport(t, SampleSheet::Rows(people));

    ReportPreviewDialog dialog(layout, nullptr, dir.filePath(u"sheet.pdf"_s));
    dialog.show();
    auto *preview = dialog.findChild<QPrintPreviewWidget *>();
    QVERIFY(preview);
    QTRY_COMPARE(preview->pageCount(), layout.pageCount());
    QVERIFY(dialog.ExportPdfAction);
    QVERIFY(dialog.findChild<QToolBar *>()->actions().contains(dialog.ExportPdfAction));

    const QString shots = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        preview->fitToWidth();
        QApplication::processEvents();
        dialog.grab().save(shots + u"/engine-preview.png"_s);
    }

    dialog.ExportPdf(dir.filePath(u"sheet.pdf"_s));
    QCOMPARE(dialog.ExportedFileName(), dir.filePath(u"sheet.pdf"_s));
    QFile pdf(dir.filePath(u"sheet.pdf"_s));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(pdf.read(5), QByteArray("%PDF-"));
}

QTEST_MAIN(TestReportPreview)
#include "tst_reportpreview.moc"

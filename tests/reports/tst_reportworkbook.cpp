// The Excel workbook written beside the report CSV files, read back from its XML: which values
// are text and which are numbers (a value that looks like a formula stays text), the frozen
// title row, column widths for Chinese text, and the old file kept when the new one cannot be
// committed.

#include "base/AtomicFile.h"
#include "reports/ReportWorkbook.h"

#include "WorkbookReader.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;

class TestReportWorkbook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cellKinds_data();
    void cellKinds();
    void titleRowFrozenAndWidthsCountChineseTwice();
    void failedCommitKeepsTheOldWorkbook();
    void workbookNameBesideTheCsv();

private:
    QTemporaryDir m_dir;
};

void TestReportWorkbook::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (QStandardPaths::findExecutable(u"unzip"_s).isEmpty())
        QSKIP("unzip is not installed");
}

void TestReportWorkbook::cellKinds_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("hoursColumn");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("read");

    QTest::newRow("station number keeps its zero") << u"01"_s << false << u"s"_s << u"01"_s;
    QTest::newRow("event time keeps its zero") << u"082521"_s << false << u"s"_s << u"082521"_s;
    QTest::newRow("time of day stays text") << u"09:00"_s << false << u"s"_s << u"09:00"_s;
    QTest::newRow("date stays text") << u"2024/09/05"_s << false << u"s"_s << u"2024/09/05"_s;
    QTest::newRow("identity") << u"A123456789"_s << false << u"s"_s << u"A123456789"_s;
    QTest::newRow("name beginning with =") << u"=HYPERLINK(\"http://x\",\"王\")"_s << false << u"s"_s
                                           << u"=HYPERLINK(\"http://x\",\"王\")"_s;
    QTest::newRow("beginning with +") << u"+1+1"_s << false << u"s"_s << u"+1+1"_s;
    QTest::newRow("beginning with -") << u"-2"_s << false << u"s"_s << u"-2"_s;
    QTest::newRow("beginning with @") << u"@SUM(A1)"_s << false << u"s"_s << u"@SUM(A1)"_s;
    QTest::newRow("Chinese with comma and quote") << u"陳, \"小華\""_s << false << u"s"_s
                                                  << u"陳, \"小華\""_s;
    QTest::newRow("hours are numbers") << u"3"_s << true << u"n"_s << u"3"_s;
    QTest::newRow("larger hours") << u"123"_s << true << u"n"_s << u"123"_s;
    QTest::newRow("text in an hours column stays text") << u"=1+1"_s << true << u"s"_s << u"=1+1"_s;
}

void TestReportWorkbook::cellKinds()
{
    QFETCH(QString, value);
    QFETCH(bool, hoursColumn);
    QFETCH(QString, type);
    QFETCH(QString, read);

    const QString path = m_dir.filePath(u"cells.xlsx"_s);
    QString error;
    QVERIFY2(WriteReportWorkbook(path, u"cells"_s, {u"代碼"_s, u"值"_s}, {{u"01"_s, value}},
                                 {WorkbookCell::Text, hoursColumn ? WorkbookCell::Number : WorkbookCell::Text},
                                 &error),
             qPrintable(error));
    const WorkbookRead book = ReadWorkbook(path);
    QVERIFY(book.ok);
    QCOMPARE(book.cells.value(u"A1"_s).value, u"代碼"_s);
    QCOMPARE(book.cells.value(u"B1"_s).value, u"值"_s);
    const WorkbookCellRead cell = book.cells.value(u"B2"_s);
    QCOMPARE(cell.type, type);
    QCOMPARE(cell.value, read);
    QVERIFY(!cell.formula);
    QVERIFY(!book.sheetXml.contains("<f>"));
}

void TestReportWorkbook::titleRowFrozenAndWidthsCountChineseTwice()
{
    QCOMPARE(WorkbookTextWidth(u"A123456789"_s), 10);
    QCOMPARE(WorkbookTextWidth(u"堆高機操作"_s), 10);
    QCOMPARE(WorkbookTextWidth(u"O'Neil 實務"_s), 11);
    QCOMPARE(WorkbookTextWidth(u"ＡＢ"_s), 4); // full-width letters

    const QString path = m_dir.filePath(u"widths.xlsx"_s);
    const QString longName = u"堆高機操作人員安全衛生教育訓練"_s; // 15 characters, 30 wide
    QString error;
    QVERIFY2(WriteReportWorkbook(path, u"widths"_s, {u"講習編號"_s, u"姓名"_s, u"時數"_s},
                                 {{u"11300001201"_s, longName, u"3"_s}, {u"11300001201"_s, u"王"_s, {}}},
                                 {WorkbookCell::Text, WorkbookCell::Text, WorkbookCell::Number}, &error),
             qPrintable(error));
    const WorkbookRead book = ReadWorkbook(path);
    QVERIFY(book.ok);
    // The title row stays in view.
    QVERIFY2(book.sheetXml.contains(R"(<pane ySplit="1" topLeftCell="A2" activePane="bottomLeft" state="frozen"/>)"),
             book.sheetXml.constData());
    // Widths: widest value plus a margin of two (the file adds the library's cell padding).
    const QRegularExpression col(uR"x(<col min="(\d+)" max="\d+" width="([\d.]+)")x"_s);
    QHash<int, double> widths;
    for (const auto &match : col.globalMatch(QString::fromUtf8(book.sheetXml)))
        widths.insert(match.captured(1).toInt(), match.captured(2).toDouble());
    QCOMPARE(int(widths.value(1)), 13); // "11300001201"
    QCOMPARE(int(widths.value(2)), 32); // the class name, 15 CJK characters
    QCOMPARE(int(widths.value(3)), 6); // the title "時數"
    // An empty hours value leaves an empty cell, not a zero.
    QVERIFY(!book.cells.contains(u"C3"_s));
}

void TestReportWorkbook::failedCommitKeepsTheOldWorkbook()
{
    const QString path = m_dir.filePath(u"kept.xlsx"_s);
    QString error;
    QVERIFY(WriteReportWorkbook(path, u"kept"_s, {u"姓名"_s}, {{u"舊"_s}}, {WorkbookCell::Text}, &error));
    const QByteArray old = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY(!old.isEmpty());

    InjectAtomicFileFault(AtomicFileStep::Sync, ENOSPC);
    const bool written = WriteReportWorkbook(path, u"kept"_s, {u"姓名"_s}, {{u"新"_s}}, {WorkbookCell::Text}, &error);
    InjectAtomicFileFault(AtomicFileStep::Sync, 0);
    QVERIFY(!written);
    QVERIFY2(error.contains(u"kept.xlsx"_s), qPrintable(error));
    QVERIFY2(error.contains(u"磁碟空間不足"_s), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
    // No temporary file is left beside it.
    QCOMPARE(QDir(m_dir.path()).entryList({u".kept.xlsx*"_s}, QDir::Files | QDir::Hidden), QStringList());
}

void TestReportWorkbook::workbookNameBesideTheCsv()
{
    QCOMPARE(WorkbookPathFor(u"/d/11300001201.csv"_s), u"/d/11300001201.xlsx"_s);
    QCOMPARE(WorkbookPathFor(u"/d/11300001201_PermitHours.csv"_s), u"/d/11300001201_PermitHours.xlsx"_s);
}

QTEST_GUILESS_MAIN(TestReportWorkbook)
#include "tst_reportworkbook.moc"

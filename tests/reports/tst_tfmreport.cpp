// The reports window offscreen: caption and labels of a one-day and a several-day class, the
// visible sheet buttons and the hidden output buttons, the modal opening with its geometry,
// the window activated without being shown as the class window's uploads use it, and the
// submission run's four files with their stage texts and the progress panel.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "reports/TFmAttendanceChart.h"
#include "reports/TFmReport.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"1130000120101"_s;
const QString ClassNumber = u"11300001201"_s;

void SaveShot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + u'/' + name, "PNG");
}

void Exec(const QString &sql, const QVariantList &params = {})
{
    QSqlQuery query = RunQuery(sql, WorkingConnection(), params);
    Q_UNUSED(query);
}

void AddClass(const QString &courseId, const QString &name, const QString &first, const QString &last)
{
    Exec(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, TimeEnd, "
         "Place, TotHours, CNo2, CNo4, SignType) "
         "values (?, '01', ?, ?, ?, '09:00', '16:00', '本中心第一教室', '6', '必修', 'A101', '111100')"_s,
         {courseId, name, first, last});
}

QStringList FileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(u"\r\n"_s);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestTFmReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void captionAndLabels_data();
    void captionAndLabels();
    void sheetButtonsShowAndOutputButtonsStayHidden();
    void openShowsModallyAndKeepsItsGeometry();
    void hiddenOutputButtonsWriteOrReport();
    void submissionRunWritesTheFourFiles();
    void chartPageShowsAndExportsPngAndPdf();

private:
    QString PictureFolder() const { return m_db->dir() + u"/查核資料檔案"_s; }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestTFmReport::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestTFmReport::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_prompter = std::make_unique<ScriptedPrompter>();
    // The template beside the program (its sys_ini holds the shared settings) and a working
    // database copied from it.
    const QString templatePath = qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
    const QString sample = m_db->globals().samplePath();
    const QString working = m_db->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(templatePath, sample));
    QVERIFY(QFile::copy(templatePath, working));
    QFile::setPermissions(sample, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(working, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(m_db->dm().OpenSampleDatabase(sample, &error), qPrintable(error));
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_db->dm(), working, &error), qPrintable(error));
    WriteIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, PictureFolder());
    Globals &g = G();
    g.EditionText = u"客製版"_s;
    g.VersionText = u" 版本序號：1.0.0.1 更新時間:2024/09/01 08:00:00"_s;
    g.CurrentClassKey = ClassKey;

    AddClass(u"11300001201"_s, u"堆高機操作人員安全衛生教育訓練"_s, u"2024/09/05"_s, u"2024/09/05"_s);
    AddClass(u"11300001301"_s, u"職業安全衛生管理人員在職教育訓練"_s, u"2024/09/02"_s, u"2024/09/06"_s);
    Exec(u"insert into Course (INDEX_KEY, CNo2, CNo4, DateStart, TimeStart, TimeEnd, Hours, Subject) "
         "values (?, '必修', 'A101', '2024/09/05', '09:00', '12:00', 3, ?)"_s,
         {ClassKey, u"堆高機安全, O'Neil 法規概論"_s});
    const QStringList people{u"A123456789"_s, u"B234567890"_s, u"C345678901"_s};
    const QStringList names{u"王大明"_s, u"O'Brien 林"_s, u"陳, 小華"_s};
    const QStringList signInTimes{u"085000"_s, u"085100"_s, u"085200"_s};
    const QString lessonKey = ClassNumber + u"A10109:00"_s;
    for (qsizetype i = 0; i < people.size(); ++i) {
        Exec(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, JOBTYPE) values (?, ?, ?, ?, '學員')"_s,
             {ClassKey, people.at(i), people.at(i), names.at(i)});
        Exec(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, Web, INDEX_KEY, NTP) "
             "values ('01', ?, '1130905', ?, '0', 'KB', 'N', '0', ?, 'Y')"_s,
             {people.at(i), signInTimes.at(i), lessonKey});
        Exec(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, Web, INDEX_KEY, NTP) "
             "values ('01', ?, '1130905', '120500', '1', 'SC', 'N', '0', ?, 'Y')"_s,
             {people.at(i), lessonKey});
    }
}

void TestTFmReport::cleanup()
{
    m_prompter.reset();
    m_db.reset();
}

void TestTFmReport::captionAndLabels_data()
{
    QTest::addColumn<QString>("classKey");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("date");

    QTest::newRow("one day") << ClassKey << u"科目：堆高機操作人員安全衛生教育訓練"_s
                             << u"日期：2024/09/05"_s;
    QTest::newRow("several days") << u"1130000130101"_s << u"科目：職業安全衛生管理人員在職教育訓練"_s
                                  << u"日期：2024/09/02～2024/09/06"_s;
}

void TestTFmReport::captionAndLabels()
{
    QFETCH(QString, classKey);
    QFETCH(QString, subject);
    QFETCH(QString, date);

    G().CurrentClassKey = classKey;
    const auto window = TFmReport::CreateActivated(m_db->dm());
    QVERIFY(!window->isVisible());
    QCOMPARE(window->objectName(), u"FmReport"_s);
    QCOMPARE(window->windowTitle(),
             u"送署查核資料 版本：客製版 版本序號：1.0.0.1 更新時間:2024/09/01 08:00:00"_s);
    QCOMPARE(window->Label1->text(), subject);
    QCOMPARE(window->Label2->text(), date);
    // The class folder and its picture and PDF folders exist after the activation.
    const QString classFolder = QDir(PictureFolder()).filePath(classKey.left(11));
    QVERIFY(QFileInfo(classFolder + u"/PIC"_s).isDir());
    QVERIFY(QFileInfo(classFolder + u"/PDF"_s).isDir());
}

void TestTFmReport::sheetButtonsShowAndOutputButtonsStayHidden()
{
    TFmReport window(m_db->dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.Label1->text(), u"科目：堆高機操作人員安全衛生教育訓練"_s);

    const QList<std::pair<QString, QString>> visible{
        {u"BitBtnPhoto"_s, u"講習課程簽到單(照片)"_s},
        {u"BitBtnSimple"_s, u"講習課程簽到單(簡式)"_s},
        {u"BitBtnRollCall"_s, u"講習課程簽到單(點名)"_s},
        {u"BitBtnClose"_s, u"結束"_s},
    };
    for (const auto &[name, caption] : visible) {
        auto *button = window.findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
        QVERIFY2(button->isVisible(), qPrintable(name));
    }
    const QList<std::pair<QString, QString>> hidden{
        {u"BitBtnPSIO"_s, u"講習期間所有刷卡記錄"_s},
        {u"BitBtnCourse"_s, u"講習期間所有課程記錄"_s},
        {u"BitBtnScore"_s, u"學員各課程核定時數明細"_s},
        {u"BitBtnBooking"_s, u"學員講習核定時數清單"_s},
    };
    for (const auto &[name, caption] : hidden) {
        auto *button = window.findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
        QVERIFY2(!button->isVisible(), qPrintable(name));
    }
    QVERIFY(!window.Panel1->isVisible());
    QCOMPARE(window.LabelPanel1->text(), u" 資料處理中  "_s);
    SaveShot(&window, u"tfmreport.png"_s);

    QVERIFY(window.isVisible());

    // The progress panel as it shows during an hours run.
    window.Panel1->show();
    window.ProgressBar1->setRange(0, 120);
    window.ProgressBar1->setValue(45);
    SaveShot(&window, u"tfmreport-progress.png"_s);
    window.Panel1->hide();
    window.close();
}

void TestTFmReport::openShowsModallyAndKeepsItsGeometry()
{
    bool seen = false;
    QString subject;
    QTimer::singleShot(0, this, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *report = qobject_cast<TFmReport *>(w); report && report->isVisible()) {
                seen = true;
                subject = report->Label1->text();
                report->resize(640, 600);
                QTest::mouseClick(report->BitBtnClose, Qt::LeftButton);
            }
        }
    });
    TFmReport::Open(m_db->dm(), nullptr);
    QVERIFY(seen);
    QCOMPARE(subject, u"科目：堆高機操作人員安全衛生教育訓練"_s);
    QCOMPARE(ReadIniSetting(IniSection::FormSize, u"FmReport_width"_s, QString(), QString()), u"640"_s);
    QCOMPARE(ReadIniSetting(IniSection::FormSize, u"FmReport_height"_s, QString(), QString()), u"600"_s);

    // The next window opens with that size; a new station gets 600 x 630.
    TFmReport again(m_db->dm());
    again.FormActivate();
    QCOMPARE(again.size(), QSize(640, 600));
}

void TestTFmReport::hiddenOutputButtonsWriteOrReport()
{
    const auto window = TFmReport::CreateActivated(m_db->dm());
    window->BitBtnPSIO->click();
    window->BitBtnCourse->click();
    QVERIFY(m_prompter->errors.isEmpty());
    const QString classFolder = QDir(PictureFolder()).filePath(ClassNumber);
    QCOMPARE(FileLines(classFolder + u"/11300001201.csv"_s).size(), 1 + 6);
    QCOMPARE(FileLines(classFolder + u"/11300001201_Course.csv"_s),
             QStringList({u"選必修,課程代碼,上課日期,上課時間,下課時間,核定時數,午休起時,午休迄時,"
                          "晚休起時,晚休迄時,課程名稱,點名1,點名2,點名3,課程備註"_s,
                          u"必修,A101,2024/09/05,09:00,12:00,3,,,,,\"堆高機安全, O'Neil 法規概論\",,,,"_s}));

    // A file that cannot be written is reported and the window stays.
    QVERIFY(QFile::remove(classFolder + u"/11300001201.csv"_s));
    QVERIFY(QDir().mkpath(classFolder + u"/11300001201.csv/blocked"_s));
    window->BitBtnPSIO->click();
    QCOMPARE(m_prompter->errors.size(), 1);
    QVERIFY2(m_prompter->errors.first().contains(u"無法寫入檔案"_s), qPrintable(m_prompter->errors.first()));
}

void TestTFmReport::submissionRunWritesTheFourFiles()
{
    QStringList stages;
    const QStringList files =
        TFmReport::RunSubmissionOutputs(m_db->dm(), nullptr, [&stages](const QString &stage) { stages << stage; });
    QCOMPARE(stages, QStringList({u"產出簽到退紀錄"_s, u"產出課程明細紀錄"_s, u"產出各課程核可時數"_s,
                                  u"產出各學員核可時數"_s}));
    QStringList names;
    for (const QString &file : files) {
        QCOMPARE(QFileInfo(file).absolutePath(), QDir(PictureFolder()).filePath(ClassNumber));
        names << QFileInfo(file).fileName();
    }
    QCOMPARE(names, QStringList({u"11300001201.csv"_s, u"11300001201_Course.csv"_s,
                                 u"11300001201_HoursPerCourse.csv"_s, u"11300001201_PermitHours.csv"_s}));

    // The hours run credited each person's lesson; the list carries the totals of the run.
    const QStringList detail = FileLines(files.at(2));
    QCOMPARE(detail.size(), 1 + 3);
    QCOMPARE(detail.first(), u"講習編號,身分證字號,課程科目,日期,開課起時,開課迄時,開課時數,起時,迄時,時數,"
                             "必選修,課程名稱,備註"_s);
    QVERIFY2(detail.contains(u"11300001201,A123456789,A10109:00,1130905,09:00,12:00,3,08:50,12:05,3,必修,"
                             "\"堆高機安全, O'Neil 法規概論\","_s),
             qPrintable(detail.join(u'\n')));
    const QStringList list = FileLines(files.at(3));
    QCOMPARE(list.size(), 1 + 3);
    QCOMPARE(list.first(), u"講習編號,身分證字號,姓名,時數,選修"_s);
    QVERIFY2(list.contains(u"11300001201,C345678901,\"陳, 小華\",3,0"_s), qPrintable(list.join(u'\n')));
    QVERIFY2(list.contains(u"11300001201,B234567890,O'Brien 林,3,0"_s), qPrintable(list.join(u'\n')));
}

void TestTFmReport::chartPageShowsAndExportsPngAndPdf()
{
    // A fourth person enrolled who never signed.
    Exec(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, JOBTYPE) values (?, ?, ?, '林小美', '學員')"_s,
         {ClassKey, u"D456789012"_s, u"D456789012"_s});
    const auto window = TFmReport::CreateActivated(m_db->dm());
    QCOMPARE(window->BitBtnChart->text(), u"出勤統計圖表"_s);
    const std::unique_ptr<TFmAttendanceChart> page = window->CreateChartPage();
    QVERIFY(!window->Panel1->isVisible());
    page->show();
    QVERIFY(QTest::qWaitForWindowExposed(page.get()));
    QVERIFY(page->LessonChart->isVisible());
    QVERIFY(page->HoursChart->isVisible());
    QCOMPARE(page->LabelTitle->text(), u"科目：堆高機操作人員安全衛生教育訓練　日期：2024/09/05"_s);

    // One lesson: three present in time, the fourth absent.
    const auto *series = qobject_cast<QBarSeries *>(page->LessonChart->chart()->series().value(0));
    QVERIFY(series);
    QStringList bars;
    for (const QBarSet *set : series->barSets())
        bars << set->label() + u'=' + QString::number(set->at(0));
    QCOMPARE(bars, QStringList({u"出席=3"_s, u"遲到=0"_s, u"早退=0"_s, u"缺席=1"_s}));
    SaveShot(page.get(), u"attendance-chart.png"_s);

    const QStringList files = page->Export();
    const QString pdfDir = window->outputs().PdfDir;
    QCOMPARE(files, QStringList({QDir(pdfDir).filePath(ClassNumber + u"_AttendanceChart.png"_s),
                                 QDir(pdfDir).filePath(ClassNumber + u"_AttendanceChart.pdf"_s)}));
    const QImage png(files.at(0));
    QVERIFY(!png.isNull());
    QVERIFY(png.width() > 600);
    QFile pdf(files.at(1));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray pdfBytes = pdf.readAll();
    QVERIFY(pdfBytes.startsWith("%PDF"));
    QVERIFY(pdfBytes.size() > 1000);
    QVERIFY(page->LabelExport->text().startsWith(u"圖表已匯出："_s));
    page->close();
}

QTEST_MAIN(TestTFmReport)
#include "tst_tfmreport.moc"

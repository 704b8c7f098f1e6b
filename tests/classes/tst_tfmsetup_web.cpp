// The class window's web actions offscreen against the fake training service: the certificate
// gate and check, the web class list panel, downloading a class (which then shows in the class
// window with its students and today's lesson), the network-error box, and the lesson window's
// course upload.

#include "app/StandardWindows.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/TFmSetup.h"
#include "classes/Tfm_Course.h"
#include "classes/TrainingService.h"
#include "base/Globals.h"
#include "core/Schema.h"
#include "core/TDM.h"
#include "fakeservice/FakeService.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "station/IdentityResolver.h"
#include "station/StationState.h"

#include <QApplication>
#include <QDir>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void SaveShot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + u'/' + name, "PNG");
}

} // namespace

class TestTFmSetupWeb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void gateListDownloadAndUpload();
};

void TestTFmSetupWeb::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestTFmSetupWeb::gateListDownloadAndUpload()
{
    FakeService fake;
    QVERIFY2(fake.start(), qPrintable(fake.error()));
    TestDatabase db;
    QSqlQuery schema(db.dm().Con1());
    for (const QString &statement : SchemaStatementsFor(db.dm().Con1()))
        QVERIFY2(schema.exec(statement), qPrintable(statement));
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, db.dir());
    fake.configureStation();
    G().OrganisationName = u"北區職業訓練中心"_s;
    FixedClock clock(QDateTime::currentDateTime());
    SetCurrentClock(&clock);
    ScriptedPrompter prompter;
    RecordingUrlOpener browser;
    TrainingService::CheckToken().clear();

    TFmSetup window(db.dm(), StandardWindowOpeners());
    window.resize(980, 710);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(window.LabelCount->text().startsWith(u"總筆數:0"_s));

    // Before any check: the message, and the check starts by itself in the browser.
    QVERIFY(window.BitBtn3->isEnabled());
    QTest::mouseClick(window.BitBtn3, Qt::LeftButton);
    QCOMPARE(prompter.all(), QStringList { u"請先 【驗自然人憑證】"_s });
    QCOMPARE(browser.opened.size(), 1);
    QVERIFY(browser.opened.first().startsWith(fake.base() + u"/sctstulist/checkPki?token=chk"_s));
    QVERIFY(!window.PanelWeb->isVisible());

    // Not completed in the browser yet.
    prompter.clear();
    QTest::mouseClick(window.BitBtn3, Qt::LeftButton);
    QCOMPARE(prompter.all(), QStringList { u"憑證沒驗過或已逾時 請再 【驗自然人憑證】"_s });
    QCOMPARE(browser.opened.size(), 2);

    // "【驗自然人憑證】" by hand, then the operator completes the check.
    QTest::mouseClick(window.BitBtn13, Qt::LeftButton);
    QCOMPARE(browser.opened.size(), 3);
    QVERIFY(fake.markChecked(TrainingService::CheckToken()));
    prompter.clear();
    QTest::mouseClick(window.BitBtn3, Qt::LeftButton);
    QVERIFY2(prompter.all().isEmpty(), qPrintable(prompter.all().join(u'\n')));
    QVERIFY(window.PanelWeb->isVisible());
    QCOMPARE(window.LabelWebHint->text(), u"選擇講習後點下載"_s);
    // Top right of the main area.
    QCOMPARE(window.PanelWeb->geometry().right(), window.PageControl1->geometry().right());
    QTableWidget *grid = window.StringGrid1;
    QCOMPARE(grid->rowCount(), 4);
    QCOMPARE(grid->item(0, 0)->text(), u"講習編號"_s);
    QCOMPARE(grid->item(1, 0)->text(), u"11501000001"_s);
    QCOMPARE(grid->item(1, 1)->text(), u"職業安全衛生教育訓練"_s);
    QCOMPARE(grid->item(1, 2)->text(), QDate::currentDate().addDays(-2).toString(u"yyyy/MM/dd"_s));
    QCOMPARE(grid->item(1, 4)->text(), u"12"_s);
    QVERIFY(grid->item(1, 5)->text().startsWith(u"{\"status\""_s));
    QCOMPARE(grid->item(2, 0)->text(), QString()); // ended 400 days ago
    QCOMPARE(grid->item(3, 1)->text(), u"危險性機械操作人員訓練"_s);
    SaveShot(&window, u"tfmsetup-web-list.png"_s);

    // Declining the question writes nothing.
    prompter.queueButton(Prompter::Button::No);
    QTest::mouseClick(window.BtnWebDownload, Qt::LeftButton); // no row chosen: the first
    QCOMPARE(prompter.asked,
        QStringList { u"匯入編號: 11501000001 講習名稱:職業安全衛生教育訓練 ??"_s });
    QCOMPARE(QueryValue(u"select count(*) from Courses"_s).toInt(), 0);

    // Download the first class.
    prompter.clear();
    grid->setCurrentCell(1, 1);
    prompter.queueButton(Prompter::Button::Yes);
    QTest::mouseClick(window.BtnWebDownload, Qt::LeftButton);
    QCOMPARE(prompter.messages, QStringList { u"匯入課程編號 :11501000001 及學員 4筆"_s });
    QVERIFY(!window.PanelProgress->isVisible());
    QCOMPARE(window.LabelProgress->text(), u"人員基本資料下載中"_s);
    // The class runs today: the list shows it and stands on it.
    QCOMPARE(window.rowCount(), 1);
    QCOMPARE(window.GatherFields().CourseId, u"11501000001"_s);
    QCOMPARE(window.GatherFields().Course, u"職業安全衛生教育訓練"_s);
    QCOMPARE(
        QueryValue(
            u"select count(*) from Booking where INDEX_KEY = '1150100000100' and JOBTYPE = '學員'"_s)
            .toInt(),
        4);
    QCOMPARE(
        QueryValue(
            u"select count(*) from Course where INDEX_KEY = '1150100000100' and DateStart = ?"_s,
            { QDate::currentDate().toString(u"yyyy/MM/dd"_s) })
            .toInt(),
        1);

    // The station finds a downloaded student by the last five digits of the identity number.
    {
        StationState station;
        station.ClassKey = u"1150100000100"_s;
        station.CurrentIoType = u"0"_s;
        IdentityResolver resolver(station, db.dm());
        resolver.LoadSettings();
        station.ManualKind = IdentityKind::Last5;
        const std::optional<QString> entry = resolver.ValidateEntry(u"56780"_s);
        QVERIFY(entry);
        const IdentityResolver::Resolution found = resolver.Resolve(*entry, u"KB"_s);
        QVERIFY2(found.outcome == IdentityResolver::Resolution::Outcome::Found,
            qPrintable(found.failText));
        QCOMPARE(found.person.saveId, u"C123456780"_s);
        QCOMPARE(found.person.name, u"O'Brien 陳"_s);
    }

    // A double click on row 3 downloads array element 2.
    prompter.clear();
    prompter.queueButton(Prompter::Button::Yes);
    emit grid->cellDoubleClicked(3, 1);
    QCOMPARE(prompter.asked,
        QStringList { u"匯入編號: 11501000003 講習名稱:危險性機械操作人員訓練 ??"_s });
    QCOMPARE(prompter.messages, QStringList { u"匯入課程編號 :11501000003 及學員 2筆"_s });

    // The empty row of an old class cannot be downloaded.
    prompter.clear();
    grid->setCurrentCell(2, 0);
    QTest::mouseClick(window.BtnWebDownload, Qt::LeftButton);
    QCOMPARE(prompter.messages, QStringList { u"講習編號空白，無法匯入"_s });

    // A failing class list: the error box, the panel stays open with its rows.
    prompter.clear();
    QVERIFY(fake.set(u"status=500&path=list2"_s));
    QTest::mouseClick(window.BitBtn3, Qt::LeftButton);
    QCOMPARE(prompter.errors.size(), 1);
    QCOMPARE(prompter.errorCaptions, QStringList { u"網路連線錯誤"_s });
    QVERIFY(prompter.errors.first().startsWith(u"無法連結至網站,請確認網路連線是否正常"_s));
    QVERIFY(prompter.errors.first().contains(u"HTTP 500"_s));
    QVERIFY(window.PanelWeb->isVisible());
    QCOMPARE(grid->rowCount(), 4);
    QVERIFY(fake.reset());
    QTest::mouseClick(window.BtnWebClose, Qt::LeftButton);
    QVERIFY(!window.PanelWeb->isVisible());

    // Upload progress on the bar and the label.
    window.ShowUploadProgress(0, 400000);
    QVERIFY(!window.ProgressBar1->isHidden());
    window.ShowUploadProgress(150000, 400000);
    QCOMPARE(window.LabelUpload->text(), u"資料上傳進度 37 ％"_s);
    window.ShowUploadProgress(400000, 400000);
    QVERIFY(window.ProgressBar1->isHidden());
    QCOMPARE(window.LabelUpload->text(), u"資料上傳進度 100 ％"_s);

    // The lesson window sends the class's lessons.
    prompter.clear();
    {
        Tfm_Course lessons(db.dm(), &window);
        G().CurrentClassKey = u"1150100000100"_s;
        lessons.show();
        QVERIFY(QTest::qWaitForWindowExposed(&lessons));
        QTRY_VERIFY(lessons.BitBtnUpload->isEnabled());
        QTest::mouseClick(lessons.BitBtnUpload, Qt::LeftButton);
        QCOMPARE(prompter.messages, QStringList { u"資料成功上傳"_s });
        QCOMPARE(fake.posted()
                     .last()
                     .toObject()
                     .value(u"form"_s)
                     .toObject()
                     .value(u"index_key"_s)
                     .toString(),
            u"11501000001"_s);
        lessons.close();
    }
    window.close();
    SetCurrentClock(nullptr);
}

QTEST_MAIN(TestTFmSetupWeb)
#include "tst_tfmsetup_web.moc"

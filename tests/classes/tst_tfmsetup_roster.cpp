// The class window's "匯入學員名單檔" offscreen, the file dialog replaced by a chooser: refused
// without a class in the list, nothing written when the question is declined, the class the
// list stands on receiving the roster when it is confirmed, a file that cannot be used shown
// as an error.

#include "app/StandardWindows.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/TFmSetup.h"
#include "base/Globals.h"
#include "core/Schema.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTFmSetupRoster : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rosterButton();
};

void TestTFmSetupRoster::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestTFmSetupRoster::rosterButton()
{
    TestDatabase db;
    QSqlQuery schema(db.dm().Con1());
    for (const QString &statement : SchemaStatementsFor(db.dm().Con1()))
        QVERIFY2(schema.exec(statement), qPrintable(statement));
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, db.dir());
    FixedClock clock(QDateTime(QDate(2024, 5, 8), QTime(8, 40)));
    SetCurrentClock(&clock);
    ScriptedPrompter prompter;
    ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, Signer, Bookin) "
            "values ('11305000001', '00', '急救人員安全衛生教育訓練', '2024/05/08', '2024/05/08', "
            "'外部', 1)"_s);

    // The roster as Excel saves it on a Traditional Chinese Windows: Big5, CR LF.
    QStringEncoder big5("Big5");
    const QString rosterPath = db.dir() + u"/學員名單.csv"_s;
    {
        QFile file(rosterPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(big5.encode(u"sno,name,tnsadr,tel,tel2,mobile,email\r\n"
                               "A123456789,王小明,\"台北市信義區, 松仁路100號\",,,0912-345-678,\r\n"
                               "B223456789,李美玲\r\n"
                               "C123456780,陳大同,新北市板橋區,,,,\r\n"_s));
    }
    QStringList chosen; // what the chooser handed out
    QString next = rosterPath;

    TFmSetup window(db.dm(), StandardWindowOpeners());
    window.chooseRosterFile = [&](QWidget *parent) {
        if (parent != &window)
            return QString();
        chosen << next;
        return next;
    };
    window.resize(980, 710);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(window.LabelCount->text().startsWith(u"總筆數:1"_s));
    QCOMPARE(window.BitBtnRosterImport->text(), u"匯入學員名單檔"_s);
    // Beside the web import, on the same row.
    QCOMPARE(window.BitBtnRosterImport->parentWidget(), window.BitBtn3->parentWidget());
    QCOMPARE(window.BitBtnRosterImport->y(), window.BitBtn3->y());
    QVERIFY(window.BitBtnRosterImport->x() > window.BitBtn3->x());

    // Declined: nothing written.
    prompter.queueButton(Prompter::Button::No);
    QTest::mouseClick(window.BitBtnRosterImport, Qt::LeftButton);
    QCOMPARE(chosen, QStringList { rosterPath });
    QCOMPARE(prompter.asked,
        QStringList { u"匯入學員名單檔「學員名單.csv」（Big5）\n"
                      "講習：11305000001 急救人員安全衛生教育訓練\n"
                      "新增 2 筆，更新 0 筆\n"
                      "以下 1 行無法讀取，不會匯入：\n"
                      "第 3 行：欄位不足（需要 7 欄，只有 2 欄）\n"
                      "確定要匯入嗎?"_s });
    QCOMPARE(QueryValue(u"select count(*) from Booking"_s).toInt(), 0);

    // Confirmed: the class the list stands on receives the two readable persons.
    prompter.clear();
    prompter.queueButton(Prompter::Button::Yes);
    QTest::mouseClick(window.BitBtnRosterImport, Qt::LeftButton);
    QCOMPARE(prompter.messages, QStringList { u"學員名單檔匯入完成：新增 2 筆，更新 0 筆"_s });
    QCOMPARE(QueryToList(u"ADDRESS"_s,
                 u"select Address from Booking where INDEX_KEY = '1130500000100' order by ID"_s),
        (QStringList { u"台北市信義區, 松仁路100號"_s, u"新北市板橋區"_s }));

    // The dialog closed without a file: nothing asked.
    prompter.clear();
    next.clear();
    QTest::mouseClick(window.BitBtnRosterImport, Qt::LeftButton);
    QVERIFY(prompter.all().isEmpty());

    // A file that is not there: an error, nothing asked.
    next = db.dir() + u"/沒有這個檔.csv"_s;
    QTest::mouseClick(window.BitBtnRosterImport, Qt::LeftButton);
    QCOMPARE(prompter.errors.size(), 1);
    QVERIFY2(prompter.errors.first().startsWith(u"無法開啟學員名單檔"_s),
        qPrintable(prompter.errors.first()));
    QVERIFY(prompter.asked.isEmpty());

    // No class in the list: refused before any file is asked for.
    prompter.clear();
    window.EditQDate->setText(u"2023/01/01"_s);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QVERIFY(window.LabelCount->text().startsWith(u"總筆數:0"_s));
    const qsizetype asked = chosen.size();
    QTest::mouseClick(window.BitBtnRosterImport, Qt::LeftButton);
    QCOMPARE(prompter.all(), QStringList { u"尚未選定課程"_s });
    QCOMPARE(chosen.size(), asked);
    QCOMPARE(QueryValue(u"select count(*) from Booking"_s).toInt(), 2);
    SetCurrentClock(nullptr);
}

QTEST_MAIN(TestTFmSetupRoster)
#include "tst_tfmsetup_roster.moc"

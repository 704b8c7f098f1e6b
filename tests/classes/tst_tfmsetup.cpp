// The class window offscreen on a database with a few classes: it opens on today's classes,
// searches by name, date, year and range, sorts by a title click, shows a class on the detail
// page, marks the days of a long class with the period-date panel, opens the lesson window,
// adds a class of the unit's own and starts the station on a class.

#include "app/StandardWindows.h"
#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/TFmSetup.h"
#include "classes/Tfm_Course.h"
#include "base/Globals.h"
#include "core/Schema.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"
#include "station/StationState.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

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

int AddClass(const QString &courseId, const QString &name, const QString &first, const QString &last,
             const QString &dateBet, const QString &place, const QString &charge, const QString &teacher,
             const QString &signType, const QString &hours)
{
    ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, DateBet, TimeStart, "
            "TimeEnd, Place, Charge, Teacher, TotHours, SignType, Signer, Bookin, Score) "
            "values (?, '00', ?, ?, ?, ?, '09:00', '16:00', ?, ?, ?, ?, ?, '外部', 1, 0)"_s,
            { courseId, name, first, last, dateBet, place, charge, teacher, hours, signType });
    return QueryValue(u"select max(RID) from Courses"_s).toInt();
}

void AddLesson(const QString &classKey, const QString &date)
{
    ExecSql(u"insert into Course (INDEX_KEY, Subject, CNo4, DateStart, TimeStart, TimeEnd, Hours) "
            "values (?, '職業安全衛生概論', 'A001', ?, '09:00', '12:00', 3)"_s,
            { classKey, date });
}

// Presses Enter on nothing: closes the modal lesson window as soon as it is shown.
class LessonWindowCloser : public QObject
{
public:
    bool seen = false;
    QString title;
    void start()
    {
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *lessons = qobject_cast<Tfm_Course *>(w); lessons && lessons->isVisible()) {
                    seen = true;
                    title = lessons->windowTitle();
                    SaveShot(lessons, u"tfmsetup-lessons.png"_s);
                    lessons->reject();
                    timer->stop();
                }
            }
        });
        timer->start(20);
    }
};

} // namespace

class TestTFmSetup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void browseSearchDetailLessonsAndStart();

private:
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<FixedClock> m_clock;
};

void TestTFmSetup::initTestCase()
{
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPointSize(10);
    QApplication::setFont(font);
}

void TestTFmSetup::browseSearchDetailLessonsAndStart()
{
    m_db = std::make_unique<TestDatabase>();
    QSqlQuery schema(m_db->dm().Con1());
    for (const QString &statement : SchemaStatementsFor(m_db->dm().Con1()))
        QVERIFY2(schema.exec(statement), qPrintable(statement));
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, m_db->dir());
    Globals &g = G();
    g.EditionLevel = 2;
    g.EditionText = u"客製版"_s;
    g.VersionText = u" 版本序號：1.0.0"_s;
    g.OrganisationName = u"北區職業訓練中心"_s;
    // Wednesday 2024/05/08.
    m_clock = std::make_unique<FixedClock>(QDateTime(QDate(2024, 5, 8), QTime(8, 40)));
    SetCurrentClock(m_clock.get());
    ScriptedPrompter prompter;

    const QString charge = u"勞動部職業安全衛生署"_s;
    const int forklift = AddClass(u"11305000001"_s, u"堆高機操作人員安全衛生教育訓練"_s, u"2024/05/06"_s,
                                  u"2024/05/10"_s, u"11111"_s, u"本中心第一教室"_s, charge, u"陳建宏"_s, u"111100"_s, u"18"_s);
    AddClass(u"11305000002"_s, u"急救人員安全衛生教育訓練"_s, u"2024/05/08"_s, u"2024/05/08"_s, QString(),
             u"二樓會議室"_s, u"北區職業訓練中心"_s, u"林怡君"_s, u"110000"_s, u"6"_s);
    const int manager = AddClass(u"11305000003"_s, u"職業安全衛生管理人員在職教育訓練"_s, u"2024/05/07"_s,
                                 u"2024/05/09"_s, u"101"_s, u"第三講堂"_s, charge, u"黃志明"_s, u"111111"_s, u"12"_s);
    AddClass(u"11304000010"_s, u"有機溶劑作業主管安全衛生教育訓練"_s, u"2024/04/15"_s, u"2024/04/19"_s,
             u"11111"_s, u"本中心第二教室"_s, charge, u"張美玲"_s, u"111100"_s, u"18"_s);
    AddClass(u"11212000003"_s, u"營造作業主管在職訓練"_s, u"2023/12/28"_s, u"2024/01/05"_s, QString(),
             u"工地現場"_s, u"新北市勞動檢查處"_s, u"吳俊傑"_s, u"110000"_s, u"6"_s);
    AddClass(u"11306000004"_s, u"高壓氣體特定設備操作人員訓練"_s, u"2024/06/03"_s, u"2024/06/03"_s, QString(),
             u"本中心第一教室"_s, charge, u"李宗翰"_s, u"110000"_s, u"6"_s);
    for (const QString &day : { u"2024/05/06"_s, u"2024/05/08"_s, u"2024/05/10"_s })
        AddLesson(u"1130500000100"_s, day);
    AddLesson(u"1130500000300"_s, u"2024/05/07"_s);
    AddLesson(u"1130500000300"_s, u"2024/05/09"_s);

    StationState station;
    station.io5Cap = u"晚到"_s;
    TFmSetup window(m_db->dm(), StandardWindowOpeners());
    window.setStation(&station);
    window.resize(980, 710);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Opening shows the classes running today.
    QTRY_COMPARE(window.rowCount(), 3);
    QVERIFY2(prompter.all().isEmpty(), qPrintable(prompter.all().join(u'\n')));
    QCOMPARE(window.windowTitle(), u"講習基本資料  版本：客製版 版本序號：1.0.0"_s);
    QCOMPARE(window.EditQDate->text(), u"2024/05/08"_s);
    QCOMPARE(window.LabelCount->text(), u"總筆數:3     "_s);
    QCOMPARE(window.PageControl1->currentIndex(), 0);
    QCOMPARE(window.CheckBoxSign.at(4)->text(), u"晚到"_s);
    QVERIFY(window.BitBtn3->isEnabled());

    // A year lists the classes touching it, newest first.
    window.EditQDate->setText(u"2024"_s);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(window.rowCount(), 6);
    QCOMPARE(window.EditQDateS->text(), u"<=2024/12/31"_s);
    QCOMPARE(window.EditQDateE->text(), u">=2024/01/01"_s);
    QCOMPARE(window.DBGrid1->model()->index(0, 1).data().toString(),
             u"11306000004"_s);
    SaveShot(&window, u"tfmsetup-list.png"_s);

    // A title click sorts ascending, the next descending.
    auto *proxy = qobject_cast<QSortFilterProxyModel *>(window.DBGrid1->model());
    QVERIFY(proxy);
    const int idColumn = 1; // RID, CourseId, ...
    QCOMPARE(proxy->headerData(idColumn, Qt::Horizontal).toString(), u"講習編號"_s);
    emit window.DBGrid1->horizontalHeader()->sectionClicked(idColumn);
    QCOMPARE(proxy->index(0, idColumn).data().toString(), u"11212000003"_s);
    emit window.DBGrid1->horizontalHeader()->sectionClicked(idColumn);
    QCOMPARE(proxy->index(0, idColumn).data().toString(), u"11306000004"_s);

    // Name search without a date; the range fields keep what the last search set.
    window.EditQDate->clear();
    window.EditQCourse->setText(u"急救"_s);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(window.rowCount(), 1);
    QCOMPARE(window.GatherFields().Course, u"急救人員安全衛生教育訓練"_s);

    // The label switches to the range fields; a range of my own.
    QTest::mouseClick(window.LabelDate, Qt::LeftButton);
    QVERIFY(window.EditQDateS->isVisible());
    QVERIFY(!window.EditQDate->isVisible());
    QCOMPARE(window.LabelDate->text(), u"起迄日期"_s);
    window.EditQCourse->clear();
    window.EditQDateS->setText(u"<=2024/04/30"_s);
    window.EditQDateE->setText(u">=2024/04/01"_s);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(window.rowCount(), 1);
    QCOMPARE(window.GatherFields().CourseId, u"11304000010"_s);
    QTest::mouseClick(window.LabelDate, Qt::LeftButton);
    QVERIFY(window.EditQDate->isVisible());

    // "條件清除" empties every field: all classes.
    QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
    QVERIFY(window.EditQDateS->text().isEmpty());
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(window.rowCount(), 6);

    // The detail page of the five-day class.
    QVERIFY(window.SelectClass(forklift));
    QCOMPARE(G().CurrentClassKey, u"1130500000100"_s);
    const QModelIndex current = window.DBGrid1->selectionModel()->currentIndex();
    emit window.DBGrid1->doubleClicked(current);
    QCOMPARE(window.PageControl1->currentIndex(), 1);
    QCOMPARE(window.DBEditCourse->text(), u"堆高機操作人員安全衛生教育訓練"_s);
    QVERIFY(window.DBEditCourse->isReadOnly());
    QVERIFY2(window.DBEditCourseId->isReadOnly(), "a class with lessons keeps its number");
    QCOMPARE(window.DBComboPlace->currentText(), u"本中心第一教室"_s);
    QVERIFY(window.CheckBoxSign.at(3)->isChecked());
    QVERIFY(!window.CheckBoxSign.at(4)->isChecked());
    QVERIFY(window.BitBtn12->isVisible());
    QCOMPARE(window.mode(), TFmSetup::Mode::Browse);

    // The period-date panel: Monday to Friday, "1.3.5" keeps the Monday, Wednesday and Friday.
    QTest::mouseClick(window.BitBtn12, Qt::LeftButton);
    QVERIFY(window.PanelPeriod->isVisible());
    QCOMPARE(window.CheckListBox1->count(), 5);
    QCOMPARE(window.CheckListBox1->item(0)->text(), u"2024/05/06(一)"_s);
    QCOMPARE(window.LabelPeriodCount->text(), u"前後共5天"_s);
    QTest::mouseClick(window.BtnPeriod135, Qt::LeftButton);
    QCOMPARE(window.LabelPeriodCount->text(), u"前後共3天"_s);
    QCOMPARE(window.CheckListBox1->item(1)->checkState(), Qt::Unchecked);
    SaveShot(&window, u"tfmsetup-detail.png"_s);
    QTest::mouseClick(window.BtnPeriodOk, Qt::LeftButton);
    QVERIFY(!window.PanelPeriod->isVisible());
    QCOMPARE(window.mode(), TFmSetup::Mode::Edit);
    // Starting the station waits until the change is stored.
    QTest::mouseClick(window.BitBtn7, Qt::LeftButton);
    QCOMPARE(prompter.messages.size(), 1);
    QVERIFY(window.isVisible());
    QTest::mouseClick(window.NavPost, Qt::LeftButton);
    QCOMPARE(window.mode(), TFmSetup::Mode::Browse);
    QCOMPARE(QueryValue(u"select DateBet from Courses where RID = ?"_s, { forklift }).toString(), u"10101"_s);
    // The sign-kind boxes were not touched: the stored kinds stay as they were.
    QCOMPARE(QueryValue(u"select SignType from Courses where RID = ?"_s, { forklift }).toString(), u"111100"_s);

    // The lesson window opens for the class and the list comes back.
    LessonWindowCloser closer;
    closer.start();
    QTest::mouseClick(window.BitBtn8, Qt::LeftButton);
    QVERIFY(closer.seen);
    QVERIFY(closer.title.startsWith(u"課程明細"_s));
    QCOMPARE(window.currentRid(), forklift);

    // A class whose today is not one of its marked days is refused.
    prompter.clear();
    QVERIFY(window.SelectClass(manager));
    QTest::mouseClick(window.BitBtn7, Qt::LeftButton);
    QCOMPARE(prompter.messages, QStringList { u"請點選期間日期查看"_s });
    QVERIFY(window.isVisible());
    QVERIFY(!window.classChosen());

    // A class of the unit's own: numbered, named, stored and listed.
    prompter.clear();
    QTest::mouseClick(window.NavInsert, Qt::LeftButton);
    QCOMPARE(window.mode(), TFmSetup::Mode::Insert);
    QCOMPARE(window.DBEditCourseId->text(), u"INT11305001"_s);
    QVERIFY(!window.DBEditCourse->isReadOnly());
    window.DBEditCourse->insert(u"新進人員職業安全衛生訓練"_s);
    window.DBComboPlace->setEditText(u"三樓訓練教室"_s);
    QTest::mouseClick(window.NavPost, Qt::LeftButton);
    QVERIFY2(prompter.all().isEmpty(), qPrintable(prompter.all().join(u'\n')));
    QCOMPARE(window.mode(), TFmSetup::Mode::Browse);
    QCOMPARE(window.rowCount(), 7);
    QCOMPARE(window.GatherFields().CourseId, u"INT11305001"_s);
    QCOMPARE(G().CurrentClassKey, u"INT1130500100"_s);

    // Editing and leaving asks first; "否" keeps the window open.
    QTest::keyClicks(window.DBEditTeacher, u"Wang"_s);
    QCOMPARE(window.mode(), TFmSetup::Mode::Edit);
    prompter.queueButton(Prompter::Button::No);
    QTest::mouseClick(window.BitBtnClose, Qt::LeftButton);
    QCOMPARE(prompter.asked.last(), u"資料尚未儲存 確定要離開嗎?"_s);
    QVERIFY(window.isVisible());
    prompter.queueButton(Prompter::Button::Yes);
    QTest::mouseClick(window.NavCancel, Qt::LeftButton);
    QCOMPARE(prompter.asked.last(), u"資料尚未儲存 確定要取消嗎?"_s);
    QCOMPARE(window.mode(), TFmSetup::Mode::Browse);
    QVERIFY(window.DBEditTeacher->text().isEmpty());

    // "開始簽到退" on the five-day class on its Wednesday: the station takes it.
    QVERIFY(window.SelectClass(forklift));
    QTest::mouseClick(window.BitBtn7, Qt::LeftButton);
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QVERIFY(window.classChosen());
    QVERIFY(station.ClassChosenByUser);
    QCOMPARE(G().CurrentClassKey, u"1130500000100"_s);
    QVERIFY(!window.isVisible());
    QCOMPARE(ReadIniSetting(IniSection::FormSize, u"FmSetup_Width"_s, QString(), QString()), u"980"_s);

    SetCurrentClock(nullptr);
}

QTEST_MAIN(TestTFmSetup)
#include "tst_tfmsetup.moc"

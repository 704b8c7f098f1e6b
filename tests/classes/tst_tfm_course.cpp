// The lesson window on a template copy, offscreen: a class with lessons is listed, a lesson is
// added through the detail page as an operator would type it, refusals keep the lesson in
// editing, and closing the window records the days that have lessons.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/LessonRules.h"
#include "dialogs/TDialog_Date.h"
#include "classes/Tfm_Course.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QCalendarWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassKey = u"1130123456701"_s;

void SaveShot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + u'/' + name, "PNG");
}

void AddLesson(const QString &cno4, const QString &subject, const QString &date,
               const QString &start, const QString &end, int hours, const QString &teacher,
               const QString &teacherId)
{
    ExecSql(u"insert into Course (INDEX_KEY, CNo4, CNo2, Subject, DateStart, TimeStart, TimeEnd,"
            " Hours, teacher, teacherID) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
            {ClassKey, cno4, u"必修"_s, subject, date, start, end, hours, teacher, teacherId});
}

} // namespace

class TestTfmCourse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addsALessonThroughTheDetailPage();
    void refusedLessonStaysInEditing();
    void leavingABreakFieldWithABadTimeReturnsToIt();
    void deletesAfterTheQuestion();
    void dateFieldAidsAndHelpOfThePage();

private:
    template <typename T>
    T *Find(const QString &name)
    {
        T *widget = m_window->findChild<T *>(name);
        if (!widget)
            qFatal("no widget %s", qPrintable(name));
        return widget;
    }
    void Click(const QString &button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    void Type(const QString &field, const QString &text)
    {
        QWidget *widget = m_window->findChild<QWidget *>(field);
        if (auto *combo = qobject_cast<QComboBox *>(widget))
            widget = combo->lineEdit();
        widget->setFocus();
        // Latin text is typed key by key; Chinese arrives as an input method commits it.
        bool latin = true;
        for (const QChar c : text)
            latin = latin && c.unicode() < 0x80;
        if (latin) {
            QTest::keyClicks(widget, text);
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QApplication::sendEvent(widget, &commit);
        }
    }

    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<Tfm_Course> m_window;
    FixedClock m_clock{QDateTime(QDate(2024, 5, 6), QTime(8, 0))};
};

void TestTfmCourse::initTestCase()
{
    // As the program starts: Traditional Chinese font and locale (month and day names).
    QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
}

void TestTfmCourse::init()
{
    SetCurrentClock(&m_clock);
    m_station = std::make_unique<TestDatabase>();
    const QString work = m_station->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(m_station->dm(), work, &error), qPrintable(error));
    // A scratch copy need not survive a power cut: no waiting for the disk in tests.
    if (!TestBackend::UsesPostgres())
        ExecSql(u"PRAGMA synchronous = OFF"_s);
    m_prompter = std::make_unique<ScriptedPrompter>();
    G().EditionText = u"單機版"_s;
    G().VersionText = u"1.0.0.1"_s;
    G().CourseNoLength = 11;

    ExecSql(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, DateBet) values (?, ?, ?, ?, ?, ?)"_s,
            {u"11301234567"_s, u"01"_s, u"職業安全衛生教育訓練"_s, u"2024/05/06"_s, u"2024/05/08"_s, QString()});
    AddLesson(u"A001"_s, u"職業安全衛生概論"_s, u"2024/05/06"_s, u"09:00"_s, u"12:00"_s, 3, u"林美惠"_s, u"F223456789"_s);
    AddLesson(u"A002"_s, u"勞動法令概要"_s, u"2024/05/06"_s, u"13:30"_s, u"16:30"_s, 3, u"陳建宏"_s, u"A123456780"_s);
    AddLesson(u"A003"_s, u"急救與心肺復甦術"_s, u"2024/05/08"_s, u"09:00"_s, u"12:00"_s, 3, u"林美惠"_s, u"F223456789"_s);
    AddLesson(u"A012"_s, u"緊急應變與事故處理"_s, u"2024/05/08"_s, u"13:30"_s, u"17:30"_s, 4, u"王志明"_s, u"H124567890"_s);
    ExecSql(u"insert into Booking (INDEX_KEY, ID, NAME, JOBTYPE) values (?, ?, ?, ?)"_s,
            {ClassKey, u"B120000001"_s, u"張家豪"_s, u"講師"_s});

    m_window = std::make_unique<Tfm_Course>(m_station->dm());
    G().CurrentClassKey = ClassKey;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestTfmCourse::cleanup()
{
    if (m_window && m_window->isVisible())
        m_window->close();
    m_window.reset();
    m_prompter.reset();
    m_station.reset();
    SetCurrentClock(nullptr);
}

void TestTfmCourse::addsALessonThroughTheDetailPage()
{
    QCOMPARE(m_window->windowTitle(), u"課程明細  版本：單機版1.0.0.1"_s);
    auto *pages = Find<QTabWidget>(u"PageControl1"_s);
    QCOMPARE(pages->currentIndex(), 0);
    QCOMPARE(pages->tabText(0), u"多筆瀏覽"_s);
    QCOMPARE(pages->tabText(1), u"單筆明細"_s);
    auto *grid = Find<QTableView>(u"DBGrid1"_s);
    QCOMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), u"日期"_s);
    QCOMPARE(grid->model()->headerData(7, Qt::Horizontal).toString(), u"編號"_s);
    // The list stands on the first lesson and shows it on the detail page.
    QCOMPARE(Find<QLineEdit>(u"DBEditCNo4"_s)->text(), u"A001"_s);
    QCOMPARE(Find<QComboBox>(u"DBLookupCNo4"_s)->currentText(), u"職業安全衛生概論"_s);
    SaveShot(m_window.get(), u"tfm_course_list.png"_s);

    Click(u"BitBtnInsert"_s);
    QCOMPARE(pages->currentIndex(), 1);
    QCOMPARE(m_window->mode(), Tfm_Course::Mode::Insert);
    QCOMPARE(Find<QLineEdit>(u"DBEditCNo4"_s)->text(), QString());

    Type(u"DBEditCNo4"_s, u"A005"_s);
    QCOMPARE(Find<QComboBox>(u"DBLookupCNo4"_s)->currentText(), u"電氣安全"_s);
    Type(u"DBComboSubject"_s, u"電氣安全"_s);
    Type(u"DBEditDateStart"_s, u"2024/05/07"_s);
    Type(u"DBComboTimeStart"_s, u"09:00"_s);
    Type(u"DBComboTimeEnd"_s, u"12:00"_s);
    Type(u"DBEditHours"_s, u"3"_s);
    Type(u"DBEditR1"_s, u"08:50"_s);
    QTest::keyClick(Find<QLineEdit>(u"DBEditR1"_s), Qt::Key_Tab);
    // A teacher enrolled in the class: the identity number comes by itself.
    Type(u"DBComboTeacher"_s, u"張家豪"_s);
    QCOMPARE(Find<QLineEdit>(u"DBEditTeacherID"_s)->text(), u"B120000001"_s);
    Type(u"DBMemoCourseContent"_s, u"請攜帶絕緣手套"_s);
    SaveShot(m_window.get(), u"tfm_course_detail.png"_s);

    Click(u"BitBtnPost"_s);
    QVERIFY2(m_prompter->all().isEmpty(), qPrintable(m_prompter->all().join(u'\n')));
    QCOMPARE(m_window->mode(), Tfm_Course::Mode::Browse);
    QCOMPARE(grid->model()->rowCount(), 5);
    const int rid = m_window->currentRid();
    QVERIFY(rid > 0);
    LessonRules rules(m_station->dm(), ClassKey, 11);
    const LessonRecord stored = *rules.LoadLesson(rid);
    QCOMPARE(stored.INDEX_KEY, ClassKey);
    QCOMPARE(stored.CNo4, u"A005"_s);
    QCOMPARE(stored.Subject, u"電氣安全"_s);
    QCOMPARE(stored.DateStart, u"2024/05/07"_s);
    QCOMPARE(stored.TimeStart, u"09:00"_s);
    QCOMPARE(stored.TimeEnd, u"12:00"_s);
    QCOMPARE(stored.Hours, u"3"_s);
    QCOMPARE(stored.R1, u"08:50"_s);
    QCOMPARE(stored.teacher, u"張家豪"_s);
    QCOMPARE(stored.teacherID, u"B120000001"_s);
    QCOMPARE(stored.CourseContent, u"請攜帶絕緣手套"_s);
    // Already enrolled: not a second time.
    QCOMPARE(QueryValue(u"select count(*) from Booking where ID = ?"_s, {u"B120000001"_s}).toInt(), 1);
    // The list stands on the new lesson, the third by date and time.
    QCOMPARE(grid->currentIndex().row(), 2);

    // Closing records the days with lessons: days 1, 2 and 3 now.
    m_window->close();
    QCOMPARE(QueryValue(u"select DateBet from Courses where CourseId = ?"_s, {u"11301234567"_s}).toString(),
             u"111"_s);
}

void TestTfmCourse::refusedLessonStaysInEditing()
{
    Click(u"BitBtnInsert"_s);
    Type(u"DBEditCNo4"_s, u"A006"_s);
    Type(u"DBEditDateStart"_s, u"2024/05/06"_s);
    Type(u"DBComboTimeStart"_s, u"12:00"_s); // the minute the morning lesson ends
    Type(u"DBComboTimeEnd"_s, u"13:00"_s);
    Click(u"BitBtnPost"_s);
    QCOMPARE(m_prompter->messages, QStringList{u"課程起訖時間請勿重疊 "_s});
    QCOMPARE(m_window->mode(), Tfm_Course::Mode::Insert);

    // A time that does not exist is refused as well, and nothing is written.
    auto *end = Find<QComboBox>(u"DBComboTimeEnd"_s);
    end->lineEdit()->clear();
    Type(u"DBComboTimeEnd"_s, u"25:61"_s);
    Click(u"BitBtnPost"_s);
    QCOMPARE(m_prompter->messages.last(), u"時間格式錯誤"_s);
    QCOMPARE(QueryValue(u"select count(*) from Course"_s).toInt(), 4);

    // Leaving while editing asks first; "否" keeps the window open.
    m_prompter->queueButton(Prompter::Button::No);
    m_window->close();
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_prompter->asked.last(), u"資料尚未儲存 確定要離開嗎?"_s);

    Click(u"BitBtnCancel"_s);
    QCOMPARE(m_window->mode(), Tfm_Course::Mode::Browse);
    QCOMPARE(Find<QLineEdit>(u"DBEditCNo4"_s)->text(), u"A001"_s);
    m_window->close();
    QVERIFY(!m_window->isVisible());
    QCOMPARE(QueryValue(u"select DateBet from Courses where CourseId = ?"_s, {u"11301234567"_s}).toString(),
             u"101"_s);
}

void TestTfmCourse::leavingABreakFieldWithABadTimeReturnsToIt()
{
    Find<QTabWidget>(u"PageControl1"_s)->setCurrentIndex(1);
    auto *noon = Find<QLineEdit>(u"DBEditNoonRS"_s);
    Type(u"DBEditNoonRS"_s, u"1230"_s);
    QCOMPARE(m_window->mode(), Tfm_Course::Mode::Edit);
    QTest::keyClick(noon, Qt::Key_Tab);
    QTRY_COMPARE(m_prompter->messages, QStringList{u"時間格式有誤"_s});
    QTRY_VERIFY(noon->hasFocus());

    noon->clear();
    Type(u"DBEditNoonRS"_s, u"12:30"_s);
    QTest::keyClick(noon, Qt::Key_Tab);
    QTest::qWait(20);
    QCOMPARE(m_prompter->messages.size(), 1);
    QVERIFY(!noon->hasFocus());
    Click(u"BitBtnPost"_s);
    QCOMPARE(m_window->mode(), Tfm_Course::Mode::Browse);
    QCOMPARE(QueryValue(u"select noonRS from Course where CNo4 = ?"_s, {u"A001"_s}).toString(), u"12:30"_s);
}

void TestTfmCourse::deletesAfterTheQuestion()
{
    auto *grid = Find<QTableView>(u"DBGrid1"_s);
    Click(u"BtnNext"_s);
    QCOMPARE(Find<QLineEdit>(u"DBEditCNo4"_s)->text(), u"A002"_s);

    m_prompter->queueButton(Prompter::Button::No);
    Click(u"BitBtnDelete"_s);
    QCOMPARE(m_prompter->asked.last(), u"刪除這筆 課程名稱: 勞動法令概要 的資料? ??"_s);
    QCOMPARE(grid->model()->rowCount(), 4);

    m_prompter->queueButton(Prompter::Button::Yes);
    Click(u"BitBtnDelete"_s);
    QCOMPARE(grid->model()->rowCount(), 3);
    // The list stands on the lesson that followed.
    QCOMPARE(Find<QLineEdit>(u"DBEditCNo4"_s)->text(), u"A003"_s);
    QVERIFY(m_prompter->messages.isEmpty());
}

void TestTfmCourse::dateFieldAidsAndHelpOfThePage()
{
    auto *pages = Find<QTabWidget>(u"PageControl1"_s);
    auto *grid = Find<QTableView>(u"DBGrid1"_s);
    // A double-click on the list opens the detail page.
    const QRect cell = grid->visualRect(grid->model()->index(1, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(pages->currentIndex(), 1);
    QCOMPARE(Find<QLineEdit>(u"DBEditCNo4"_s)->text(), u"A002"_s);

    // A double-click on the date puts today in and starts editing.
    auto *date = Find<QLineEdit>(u"DBEditDateStart"_s);
    QTest::mouseDClick(date, Qt::LeftButton);
    QCOMPARE(date->text(), u"2024/05/06"_s);
    QCOMPARE(m_window->mode(), Tfm_Course::Mode::Edit);
    Click(u"BitBtnCancel"_s);

    // The right mouse button opens the date dialog over the field with the field's date.
    QDate shown;
    QTimer::singleShot(0, this, [&shown] {
        auto *dialog = qobject_cast<TDialog_Date *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shown = dialog->MonthCalendar1->selectedDate();
        dialog->MonthCalendar1->setSelectedDate(QDate(2024, 5, 7));
        dialog->BitBtnOK->click();
    });
    QTest::mouseClick(date, Qt::RightButton);
    QCOMPARE(shown, QDate(2024, 5, 6));
    QCOMPARE(date->text(), u"2024/05/07"_s);
    QCOMPARE(m_window->mode(), Tfm_Course::Mode::Edit);
    Click(u"BitBtnCancel"_s);
    QCOMPARE(date->text(), u"2024/05/06"_s);

    // Help names the window and the page on show.
    QString helpName;
    QString subject;
    QTimer::singleShot(0, this, [&] {
        QWidget *help = QApplication::activeModalWidget();
        if (!help || help == m_window.get())
            return;
        helpName = G().HelpName;
        subject = m_station->dm().vString;
        help->close();
    });
    Click(u"BitBtnHelp"_s);
    QCOMPARE(helpName, u"課程明細"_s);
    QCOMPARE(subject, u"單筆明細"_s);
}

QTEST_MAIN(TestTfmCourse)
#include "tst_tfm_course.moc"

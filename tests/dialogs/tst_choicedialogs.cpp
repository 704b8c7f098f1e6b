// The date and course choice dialogs: what a confirmed choice hands back, what closing without
// one leaves, and the rules behind them (the lesson lines and how a line is cut into its key).

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "dialogs/ChoiceDialogs.h"
#include "dialogs/TDialog_Date.h"
#include "dialogs/Tdialog_course.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QDate Today(2024, 5, 20);

void SaveShot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + u'/' + name, "PNG");
}

// Double-clicks the day cell of the calendar's current page that shows the date.
void DoubleClickDay(QCalendarWidget *calendar, const QDate &date)
{
    auto *view = calendar->findChild<QTableView *>(u"qt_calendar_calendarview"_s);
    QVERIFY(view);
    QAbstractItemModel *model = view->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        for (int c = 0; c < model->columnCount(); ++c) {
            const QModelIndex index = model->index(r, c);
            if (r > 0 && index.data().toInt() == date.day()
                && !(date.day() > 20 && r < 3) && !(date.day() < 10 && r > 4)) {
                const QPoint centre = view->visualRect(index).center();
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
                QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
                return;
            }
        }
    }
    QFAIL("day not on the page");
}

} // namespace

class TestChoiceDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void courseLineGivesKeysAndDate_data();
    void courseLineGivesKeysAndDate();
    void lessonLinesOfTheClass();
    void dateDialogStartDate_data();
    void dateDialogStartDate();

    void dateDialogMovesAndConfirms();
    void dateDialogClosedWithoutChoiceKeepsTheText();
    void dateDialogRemembersItsSize();
    void dateFieldUsesTheDialogWithAPattern();
    void courseDialogHandsBackTheChosenLesson();
    void courseDialogWithoutAChoiceStaysAbort();

private:
    std::unique_ptr<TestDatabase> m_station;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    FixedClock m_clock{QDateTime(Today, QTime(8, 30))};
};

void TestChoiceDialogs::initTestCase()
{
    // As the program starts: Traditional Chinese font and locale (month and day names).
    QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
}

void TestChoiceDialogs::init()
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
}

void TestChoiceDialogs::cleanup()
{
    m_prompter.reset();
    m_station.reset();
    SetCurrentClock(nullptr);
}

void TestChoiceDialogs::courseLineGivesKeysAndDate_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("classKey");
    QTest::addColumn<int>("courseNoLength");
    QTest::addColumn<QString>("lessonKey");
    QTest::addColumn<QString>("fullLessonKey");
    QTest::addColumn<QString>("result");

    QTest::newRow("four-character code")
        << u"A001:2024/05/06(09:00-12:00):職業安全"_s << u"1130123456700"_s << 11
        << u"A00109:00"_s << u"11301234567A00109:00"_s << u"1130506(一)"_s;
    QTest::newRow("longer code")
        << u"A0012:2024/05/07(13:30-16:30):急救訓練"_s << u"1130123456700"_s << 11
        << u"A001213:30"_s << u"11301234567A001213:30"_s << u"1130507(二)"_s;
    QTest::newRow("shorter code, Sunday")
        << u"B1:2024/05/12(19:00-21:00):夜間課程"_s << u"1130123456700"_s << 11
        << u"B119:00"_s << u"11301234567B119:00"_s << u"1130512(日)"_s;
    QTest::newRow("title with separators")
        << u"A001:2024/05/06(09:00-12:00):安全-衛生:概論(一)"_s << u"1130123456700"_s << 11
        << u"A00109:00"_s << u"11301234567A00109:00"_s << u"1130506(一)"_s;
    QTest::newRow("shorter class number")
        << u"A001:2024/05/06(09:00-12:00):職業安全"_s << u"ABC1234567801"_s << 8
        << u"A00109:00"_s << u"ABC12345A00109:00"_s << u"1130506(一)"_s;
    QTest::newRow("date without leading zeros")
        << u"A001:2024/5/6(09:00-12:00):職業安全"_s << u"1130123456700"_s << 11
        << u"A00109:00"_s << u"11301234567A00109:00"_s << u"1130506(一)"_s;
    QTest::newRow("typed by hand: fixed places and today")
        << u"A001 第一堂"_s << u"1130123456700"_s << 11
        << u"A001 第一堂"_s << u"11301234567A001 第一堂"_s << u"1130520(一)"_s;
}

void TestChoiceDialogs::courseLineGivesKeysAndDate()
{
    QFETCH(QString, line);
    QFETCH(QString, classKey);
    QFETCH(int, courseNoLength);
    QFETCH(QString, lessonKey);
    QFETCH(QString, fullLessonKey);
    QFETCH(QString, result);

    const CourseChoice choice = ChooseCourseLine(line, classKey, courseNoLength);
    QCOMPARE(choice.LessonKey, lessonKey);
    QCOMPARE(choice.FullLessonKey, fullLessonKey);
    QCOMPARE(choice.Result, result);
}

void TestChoiceDialogs::lessonLinesOfTheClass()
{
    const auto add = [](const QString &key, const QString &cno4, const QString &date,
                        const QString &start, const QString &end, const QVariant &subject) {
        ExecSql(u"insert into Course (INDEX_KEY, CNo4, DateStart, TimeStart, TimeEnd, Subject) values (?, ?, ?, ?, ?, ?)"_s,
                {key, cno4, date, start, end, subject});
    };
    add(u"1130123456700"_s, u"A003"_s, u"2024/05/07"_s, u"09:00"_s, u"12:00"_s, u"急救與心肺復甦術"_s);
    add(u"1130123456700"_s, u"A002"_s, u"2024/05/06"_s, u"13:30"_s, u"16:30"_s, u"O'Neil 講座"_s);
    add(u"1130123456700"_s, u"A001"_s, u"2024/05/06"_s, u"09:00"_s, u"12:00"_s, QVariant());
    add(u"1130999999900"_s, u"A001"_s, u"2024/05/06"_s, u"09:00"_s, u"12:00"_s, u"別班"_s);

    QCOMPARE(CourseChoiceLines(m_station->dm().Con1(), u"1130123456700"_s),
             (QStringList{u"A001:2024/05/06(09:00-12:00):"_s,
                          u"A002:2024/05/06(13:30-16:30):O'Neil 講座"_s,
                          u"A003:2024/05/07(09:00-12:00):急救與心肺復甦術"_s}));
}

void TestChoiceDialogs::dateDialogStartDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QDate>("shown");

    QTest::newRow("empty field: today") << u""_s << u""_s << Today;
    QTest::newRow("short text: today") << u"113/5/6"_s << u""_s << Today;
    QTest::newRow("default pattern") << u"2024/05/06"_s << u""_s << QDate(2024, 5, 6);
    QTest::newRow("ROC pattern") << u"1130506"_s << u"YYYMMDD"_s << QDate(2024, 5, 6);
    QTest::newRow("unreadable: today") << u"2024/13/45"_s << u""_s << Today;
}

void TestChoiceDialogs::dateDialogStartDate()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QDate, shown);
    QCOMPARE(DateDialogStartDate(text, pattern), shown);
}

void TestChoiceDialogs::dateDialogMovesAndConfirms()
{
    TDialog_Date dialog(u"2024/05/06"_s);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), u"日期選擇"_s);
    auto *calendar = dialog.findChild<QCalendarWidget *>(u"MonthCalendar1"_s);
    QCOMPARE(calendar->selectedDate(), QDate(2024, 5, 6));
    SaveShot(&dialog, u"dialog_date.png"_s);

    // "年" twice: 730 days back, not two calendar years.
    auto *year = dialog.findChild<QPushButton *>(u"SpeedButtonYear"_s);
    QTest::mouseClick(year, Qt::LeftButton);
    QTest::mouseClick(year, Qt::LeftButton);
    QCOMPARE(calendar->selectedDate(), QDate(2022, 5, 7));
    QCOMPARE(calendar->monthShown(), 5);
    QCOMPARE(calendar->yearShown(), 2022);
    QTest::mouseClick(dialog.findChild<QPushButton *>(u"SpeedButtonForward"_s), Qt::LeftButton);
    QCOMPARE(calendar->selectedDate(), QDate(2023, 5, 7));

    // Arrow keys: a day to either side, a week up or down.
    auto *view = calendar->findChild<QTableView *>(u"qt_calendar_calendarview"_s);
    QVERIFY(view);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(calendar->selectedDate(), QDate(2023, 5, 8));
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(calendar->selectedDate(), QDate(2023, 5, 15));
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_Left);
    QCOMPARE(calendar->selectedDate(), QDate(2023, 5, 7));

    QTest::mouseClick(dialog.findChild<QPushButton *>(u"BitBtnOK"_s), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.dateText(), u"2023/05/07"_s);

    // A double-click on a day chooses it as well, here in the ROC pattern.
    dialog.setDateText(u"1130506"_s, u"YYYMMDD"_s);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(calendar->selectedDate(), QDate(2024, 5, 6));
    DoubleClickDay(calendar, QDate(2024, 5, 23));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.dateText(), u"1130523"_s);
}

void TestChoiceDialogs::dateDialogClosedWithoutChoiceKeepsTheText()
{
    TDialog_Date dialog(u"2024/05/06"_s);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.findChild<QPushButton *>(u"SpeedButtonYear"_s), Qt::LeftButton);
    dialog.close();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.dateText(), u"2024/05/06"_s);

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.dateText(), u"2024/05/06"_s);
}

void TestChoiceDialogs::dateDialogRemembersItsSize()
{
    {
        TDialog_Date dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.resize(420, 330);
        dialog.close();
    }
    QCOMPARE(ReadIniSetting(IniSection::FormSize, u"Dialog_Date_Width"_s, QString(), QString()), u"420"_s);
    QCOMPARE(ReadIniSetting(IniSection::FormSize, u"Dialog_Date_height"_s, QString(), QString()), u"330"_s);
    TDialog_Date again;
    QCOMPARE(again.size(), QSize(420, 330));
}

void TestChoiceDialogs::dateFieldUsesTheDialogWithAPattern()
{
    QWidget owner;
    auto *field = new QLineEdit(u"1130506"_s, &owner);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    bool seen = false;
    QTimer::singleShot(0, this, [&seen] {
        auto *dialog = qobject_cast<TDialog_Date *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = dialog->MonthCalendar1->selectedDate() == QDate(2024, 5, 6);
        dialog->SpeedButtonForwardClick();
        dialog->BitBtnOK->click();
    });
    QVERIFY(TDialog_Date::ChooseDateForField(field, u"YYYMMDD"_s));
    QVERIFY(seen);
    QCOMPARE(field->text(), u"1140506"_s);
}

void TestChoiceDialogs::courseDialogHandsBackTheChosenLesson()
{
    const QString key = u"1130123456700"_s;
    ExecSql(u"insert into Course (INDEX_KEY, CNo4, DateStart, TimeStart, TimeEnd, Subject) values (?, ?, ?, ?, ?, ?)"_s,
            {key, u"A001"_s, u"2024/05/06"_s, u"09:00"_s, u"12:00"_s, u"職業安全衛生概論"_s});
    ExecSql(u"insert into Course (INDEX_KEY, CNo4, DateStart, TimeStart, TimeEnd, Subject) values (?, ?, ?, ?, ?, ?)"_s,
            {key, u"A002"_s, u"2024/05/06"_s, u"13:30"_s, u"16:30"_s, u"勞動法令概要"_s});
    ExecSql(u"insert into Course (INDEX_KEY, CNo4, DateStart, TimeStart, TimeEnd, Subject) values (?, ?, ?, ?, ?, ?)"_s,
            {key, u"A003"_s, u"2024/05/07"_s, u"09:00"_s, u"12:00"_s, u"急救與心肺復甦術"_s});
    G().CourseNoLength = 11;

    Tdialog_course dialog(m_station->dm(), {key, u"2024/05/06"_s, u"2024/05/07"_s});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), u"課程選擇"_s);
    QCOMPARE(dialog.choice().Result, u"abort"_s);
    QCOMPARE(dialog.findChild<QLabel *>(u"Label1"_s)->text(), u"日期：2024/05/06～2024/05/07"_s);
    auto *combo = dialog.findChild<QComboBox *>(u"ComboBox1"_s);
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->currentText(), u"至少選1個課程"_s);
    SaveShot(&dialog, u"dialog_course.png"_s);

    combo->setCurrentIndex(1);
    QTest::mouseClick(dialog.findChild<QPushButton *>(u"BitBtnOK"_s), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.choice().Result, u"1130506(一)"_s);
    QCOMPARE(dialog.choice().LessonKey, u"A00213:30"_s);
    QCOMPARE(dialog.choice().FullLessonKey, u"11301234567A00213:30"_s);

    // Shown again and closed without OK: "abort", the keys of the last choice stay.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    combo->setCurrentIndex(2);
    dialog.close();
    QCOMPARE(dialog.choice().Result, u"abort"_s);
    QCOMPARE(dialog.choice().LessonKey, u"A00213:30"_s);
}

void TestChoiceDialogs::courseDialogWithoutAChoiceStaysAbort()
{
    Tdialog_course dialog(m_station->dm(), {u"1130123456700"_s, QString(), QString()});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // OK on the prompt itself asks for a lesson and keeps the dialog open.
    QTest::mouseClick(dialog.findChild<QPushButton *>(u"BitBtnOK"_s), Qt::LeftButton);
    QCOMPARE(m_prompter->messages, QStringList{u"至少選1個課程"_s});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.choice().Result, u"abort"_s);
    QTest::mouseClick(dialog.findChild<QPushButton *>(u"BitBtnCancel"_s), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.choice().Result, u"abort"_s);
}

QTEST_MAIN(TestChoiceDialogs)
#include "tst_choicedialogs.moc"

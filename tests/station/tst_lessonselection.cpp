// Lesson selection of the sign-in station: the automatic choice of today's class, the lesson
// box, the time windows of the event types, the automatic mode between two lessons and the
// one-second tick.

#include "core/DbFunctions.h"
#include "Fun/DateTimeFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "station/Activation.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"
#include "station/LessonSelection.h"
#include "station/StationState.h"

#include "mock/TestDatabase.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Class A runs five days, 2025/05/05 .. 2025/05/09, held on the days DateBet "01010" marks and
// always on its first and last day. Class B runs two days, 2025/05/06 .. 2025/05/07, in the
// afternoon.
const QString KeyA = u"ABC1234567801"_s;
const QString KeyB = u"XYZ9876543202"_s;
const QDate Tuesday(2025, 5, 6); // A: morning, afternoon and evening lessons and a roll call
const QDate Thursday(2025, 5, 8); // A: lessons across 13:00 and 18:30

const QString Morning = u"0001:法規(09:00)"_s;
const QString Afternoon = u"0002:實務(12:10)"_s;
const QString Evening = u"0003:夜間(19:00)"_s;

} // namespace

class TestLessonSelection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void getCodes_data();
    void getCodes();
    void amplifyTimestring_data();
    void amplifyTimestring();

    void automaticClassChoice_data();
    void automaticClassChoice();
    void activationLoadsTheClassAndTheLessonAroundNow_data();
    void activationLoadsTheClassAndTheLessonAroundNow();
    void lessonWhoseWindowsHoldNowIsChosen_data();
    void lessonWhoseWindowsHoldNowIsChosen();
    void lessonBoxListsTodaysLessonsOfTheClass();
    void classWindowWithoutAClassReturnsToNoClass();
    void classWindowLeftWithoutAChoiceKeepsTheClass();
    void dayWithoutLessonsOffersNoType();

    void formRefreshPlacesTheTypeButtons_data();
    void formRefreshPlacesTheTypeButtons();
    void typeWindows_data();
    void typeWindows();
    void afternoonOnlyLessonUsesTheAfternoonWindows();
    void windowsWithoutALimit_data();
    void windowsWithoutALimit();
    void typeBeyondTheEveningHasNoWindow_data();
    void typeBeyondTheEveningHasNoWindow();
    void settingsLoadCountsAndChoosesTheInitialType();
    void initialTypeFollowsTheWindows_data();
    void initialTypeFollowsTheWindows();
    void classWindowAndRestartKeepTheSelection();
    void departureLeftCheckedGivesWayWhileArrivalsAreTaken_data();
    void departureLeftCheckedGivesWayWhileArrivalsAreTaken();

    void automaticModeSwitchesAtTheNextLessonsStart();
    void automaticModeOutsideABreak_data();
    void automaticModeOutsideABreak();
    void automaticModeDeparturePairFollowsThePreviousLesson_data();
    void automaticModeDeparturePairFollowsThePreviousLesson();
    void automaticModeEndsWhenATypeIsChosen();

    void tickSynchronisesAtSecondZeroOfOddMinutes_data();
    void tickSynchronisesAtSecondZeroOfOddMinutes();
    void tickSynchronisesFirstAfterTheTimerStarts();

private:
    void At(const QDate &date, int h, int m, int s = 0) { m_clock.set(QDateTime(date, QTime(h, m, s))); }
    void AddClass(const QString &courseId, const QString &echelon, const QString &name,
                  const QString &first, const QString &last, const QString &dateBet,
                  const QString &start, const QString &end, const QString &signType);
    void AddLesson(const QString &classKey, const QString &cno4, const QString &subject,
                   const QString &date, const QString &start, const QString &end,
                   const QString &rollCall = QString());
    void AddEvent(const QString &indexKey, const QString &ioType, const QString &ioDate);
    // Class A loaded at activation on the day and time given.
    void LoadA(const QDate &date, int h, int m);

    QTemporaryDir m_dir;
    std::unique_ptr<Globals> m_globals;
    std::unique_ptr<TDM> m_dm;
    FixedClock m_clock;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<StationState> m_station;
    std::unique_ptr<LessonSelection> m_selection;
};

void TestLessonSelection::init()
{
    static int run = 0;
    const QString home = m_dir.filePath(u"run"_s + QString::number(++run));
    QVERIFY(QDir().mkpath(home));
    const QString db = home + u"/Quorin.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, db));
    QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner);

    m_globals = std::make_unique<Globals>();
    m_globals->ExeDir = home + QDir::separator();
    m_globals->CourseNoLength = 11;
    SetGlobals(m_globals.get());
    m_dm = std::make_unique<TDM>(*m_globals);
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(*m_dm, db, &error), qPrintable(error));
    SetCurrentClock(&m_clock);
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_station = std::make_unique<StationState>();
    m_selection = std::make_unique<LessonSelection>(*m_station, *m_dm);

    AddClass(u"ABC12345678"_s, u"01"_s, u"職業安全衛生講習"_s, u"2025/05/05"_s, u"2025/05/09"_s,
             u"01010"_s, u"09:00"_s, u"21:00"_s, u"111111"_s);
    AddClass(u"XYZ98765432"_s, u"02"_s, u"急救人員訓練"_s, u"2025/05/06"_s, u"2025/05/07"_s,
             QString(), u"13:30"_s, u"16:30"_s, u"001100"_s);
    // Stored out of order: the box lists them by start time.
    AddLesson(KeyA, u"0003"_s, u"夜間"_s, u"2025/05/06"_s, u"19:00"_s, u"21:00"_s);
    AddLesson(KeyA, u"0001"_s, u"法規"_s, u"2025/05/06"_s, u"09:00"_s, u"12:00"_s, u"09:10"_s);
    AddLesson(KeyA, u"0002"_s, u"實務"_s, u"2025/05/06"_s, u"12:10"_s, u"15:00"_s);
    AddLesson(KeyA, u"0004"_s, u"跨午"_s, u"2025/05/08"_s, u"09:00"_s, u"14:00"_s);
    AddLesson(KeyA, u"0005"_s, u"下午"_s, u"2025/05/08"_s, u"14:10"_s, u"16:00"_s);
    AddLesson(KeyA, u"0006"_s, u"跨晚"_s, u"2025/05/08"_s, u"16:30"_s, u"19:00"_s);
    AddLesson(KeyA, u"0007"_s, u"晚間"_s, u"2025/05/08"_s, u"19:10"_s, u"21:00"_s);
    // Another class's lesson on the same day stays out of A's box.
    AddLesson(KeyB, u"0001"_s, u"別班"_s, u"2025/05/06"_s, u"13:30"_s, u"16:30"_s);
}

void TestLessonSelection::cleanup()
{
    m_selection.reset();
    m_station.reset();
    m_prompter.reset();
    m_dm.reset();
    SetCurrentClock(nullptr);
    SetGlobals(nullptr);
    m_globals.reset();
}

void TestLessonSelection::AddClass(const QString &courseId, const QString &echelon, const QString &name,
                                   const QString &first, const QString &last, const QString &dateBet,
                                   const QString &start, const QString &end, const QString &signType)
{
    QVERIFY(ExecSqlOn(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, DateBet, "
                      "TimeStart, TimeEnd, Bookin, SignType, Signer) values (?, ?, ?, ?, ?, ?, ?, ?, 1, ?, ?)"_s,
                      m_dm->Con1(),
                      {courseId, echelon, name, first, last, dateBet, start, end, signType, u"內外"_s}));
}

void TestLessonSelection::AddLesson(const QString &classKey, const QString &cno4, const QString &subject,
                                    const QString &date, const QString &start, const QString &end,
                                    const QString &rollCall)
{
    QVERIFY(ExecSqlOn(u"insert into Course (INDEX_KEY, CNo4, Subject, DateStart, TimeStart, TimeEnd, R1) "
                      "values (?, ?, ?, ?, ?, ?, ?)"_s,
                      m_dm->Con1(), {classKey, cno4, subject, date, start, end, rollCall}));
}

void TestLessonSelection::AddEvent(const QString &indexKey, const QString &ioType, const QString &ioDate)
{
    QVERIFY(ExecSqlOn(u"insert into PSIO (IDNO, IODATE, IOTIME, IOTYPE, INDEX_KEY, DOOR) "
                      "values ('A123456789', ?, '090000', ?, ?, '00')"_s,
                      m_dm->Con1(), {ioDate, ioType, indexKey}));
}

void TestLessonSelection::LoadA(const QDate &date, int h, int m)
{
    At(date, h, m);
    QVERIFY(m_selection->ChooseTodaysClass());
    QCOMPARE(m_globals->CurrentClassKey, KeyA);
}

// ---- Free routines ----------------------------------------------------------------------------

void TestLessonSelection::getCodes_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("code");
    QTest::newRow("lesson item") << u"0003:法規(13:30)"_s << u"000313:30"_s;
    QTest::newRow("blanks trimmed") << u" 0003 :法規( 13:3)"_s << u"000313:3"_s;
    QTest::newRow("first colon and first parenthesis") << u"0012:實務:演練(08:05)"_s << u"001208:05"_s;
    QTest::newRow("no colon") << u"法規(13.30)"_s << u"13.30"_s;
    QTest::newRow("colon only inside the time") << u"法規(13:30)"_s << u"法規(1313:30"_s;
    QTest::newRow("no parenthesis") << u"0003:法規"_s << u"0003"_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestLessonSelection::getCodes()
{
    QFETCH(QString, item);
    QFETCH(QString, code);
    QCOMPARE(get_codes(item), code);
}

void TestLessonSelection::amplifyTimestring_data()
{
    QTest::addColumn<QString>("merged");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("result");
    QTest::newRow("nothing yet takes the new times")
        << u"000000000000000000000000"_s << u"090012001330163000000000"_s << u"090012001330163000000000"_s;
    QTest::newRow("earlier starts, later ends")
        << u"090012001330163000000000"_s << u"083011301400170019002100"_s << u"083012001330170019002100"_s;
    QTest::newRow("a zero never wins a start")
        << u"000012000000000000000000"_s << u"093011000000000000000000"_s << u"093012000000000000000000"_s;
    QTest::newRow("short texts count as zeros")
        << QString() << u"0900"_s << u"090000000000000000000000"_s;
}

void TestLessonSelection::amplifyTimestring()
{
    QFETCH(QString, merged);
    QFETCH(QString, added);
    QFETCH(QString, result);
    QCOMPARE(amplify_Timestring(merged, added), result);
}

// ---- Today's class ----------------------------------------------------------------------------

void TestLessonSelection::automaticClassChoice_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("beforeStart");
    QTest::addColumn<bool>("autoSync");
    QTest::addColumn<QString>("chosen");

    const QString none;
    // Default settings: the first class held today, whatever the hour.
    QTest::newRow("day DateBet marks, first of two") << Tuesday << QTime(6, 0) << u"00:00"_s << true << KeyA;
    QTest::newRow("first day always held") << QDate(2025, 5, 5) << QTime(6, 0) << u"00:00"_s << true << KeyA;
    QTest::newRow("last day always held") << QDate(2025, 5, 9) << QTime(6, 0) << u"00:00"_s << true << KeyA;
    QTest::newRow("day DateBet leaves out: the other class") << QDate(2025, 5, 7) << QTime(6, 0) << u"00:00"_s << true << KeyB;
    QTest::newRow("before the classes") << QDate(2025, 5, 4) << QTime(10, 0) << u"00:00"_s << true << none;
    QTest::newRow("after the classes") << QDate(2025, 5, 10) << QTime(10, 0) << u"00:00"_s << true << none;
    // One class today with a lead time: its widened hours, unless synchronisation is off.
    QTest::newRow("one class, before its lead time") << Thursday << QTime(8, 30) << u"00:30"_s << true << none;
    QTest::newRow("one class, inside its lead time") << Thursday << QTime(8, 31) << u"00:30"_s << true << KeyA;
    QTest::newRow("one class, synchronisation off") << Thursday << QTime(8, 0) << u"00:30"_s << false << KeyA;
    // Several classes with a lead time: the first whose widened hours hold now, bounds included.
    QTest::newRow("two classes, none yet") << QDate(2025, 5, 7) << QTime(12, 59) << u"00:30"_s << false << none;
    QTest::newRow("two classes, second at its bound") << QDate(2025, 5, 7) << QTime(13, 0) << u"00:30"_s << false << KeyB;
    QTest::newRow("two classes, first held") << Tuesday << QTime(13, 10) << u"00:30"_s << false << KeyA;
}

void TestLessonSelection::automaticClassChoice()
{
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(QString, beforeStart);
    QFETCH(bool, autoSync);
    QFETCH(QString, chosen);

    m_clock.set(QDateTime(date, time));
    m_station->BeforeStart = beforeStart;
    m_station->autoSyncModule = autoSync;
    m_station->ClassChosenAuto = true; // left from an earlier choice
    m_globals->CurrentClassKey = u"OLD0000000001"_s;

    QCOMPARE(m_selection->CheckVDefaultChoice(), !chosen.isEmpty());
    QCOMPARE(m_station->ClassChosenAuto, !chosen.isEmpty());
    QCOMPARE(m_station->StationReady, !chosen.isEmpty());
    QCOMPARE(m_globals->CurrentClassKey, chosen.isEmpty() ? u"OLD0000000001"_s : chosen);
}

void TestLessonSelection::activationLoadsTheClassAndTheLessonAroundNow_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("lesson");
    QTest::addColumn<QString>("lessonKey");

    QTest::newRow("inside the morning") << QTime(10, 0) << Morning << u"ABC12345678000109:00"_s;
    QTest::newRow("short break: the earlier lesson") << QTime(12, 5) << Morning << u"ABC12345678000109:00"_s;
    QTest::newRow("long break: no lesson") << QTime(16, 0) << QString() << KeyA;
    QTest::newRow("limit before the evening") << QTime(18, 45) << Evening << u"ABC12345678000319:00"_s;
}

void TestLessonSelection::activationLoadsTheClassAndTheLessonAroundNow()
{
    QFETCH(QTime, time);
    QFETCH(QString, lesson);
    QFETCH(QString, lessonKey);

    int loads = 0;
    m_selection->SetSettingsLoader([&] {
        ++loads;
        m_selection->LoadLessonSettings();
    });
    m_clock.set(QDateTime(Tuesday, time));
    QVERIFY(m_selection->ChooseTodaysClass());

    QCOMPARE(loads, 1);
    QCOMPARE(m_station->ClassCaption, u"講習：職業安全衛生講習"_s);
    QCOMPARE(m_station->ClassKey, KeyA);
    QCOMPARE(m_station->ClassSigner, u"內外"_s);
    QVERIFY(m_station->preBooking);
    QCOMPARE(m_station->TodayText, u"2025/05/06"_s);
    QCOMPARE(m_station->LessonText, lesson);
    QCOMPARE(m_station->CourseCode, get_codes(lesson));
    QCOMPARE(m_station->VINDEX_IO, lessonKey);
    QVERIFY(m_station->StationReady);
    QVERIFY(m_station->TimerOn);
    QVERIFY(m_station->jstart);
}

// Among several lessons of today a load takes the first whose arrival window holds now, else the
// last whose departure window does; only when none does, the kept one inside its hours or the
// one around now. A lesson that has ended while the next one takes arrivals would refuse every
// entry. Minutes -1: no limit.
void TestLessonSelection::lessonWhoseWindowsHoldNowIsChosen_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("kept"); // the lesson served before (a restart), or none
    QTest::addColumn<QString>("lesson");

    const QString none;
    QTest::newRow("the next lesson has begun") << QTime(12, 15) << 0 << 0 << none << Afternoon;
    QTest::newRow("kept lesson over, the next begun") << QTime(12, 15) << 0 << 0 << Morning << Afternoon;
    QTest::newRow("break, no window holds: the earlier") << QTime(12, 5) << 0 << 0 << none << Morning;
    QTest::newRow("break, no window holds: the kept one") << QTime(12, 5) << 0 << 0 << Morning << Morning;
    QTest::newRow("lead time opens the next lesson") << QTime(12, 5) << 30 << 0 << none << Afternoon;
    QTest::newRow("grace keeps the lesson just ended") << QTime(15, 30) << 0 << 60 << none << Afternoon;
    QTest::newRow("kept lesson still takes departures") << QTime(12, 15) << 0 << 60 << Morning << Morning;
    QTest::newRow("no limit before: the next lesson") << QTime(16, 0) << -1 << 0 << none << Evening;
    QTest::newRow("no limit after: the last one ended") << QTime(16, 0) << 0 << -1 << none << Afternoon;
    QTest::newRow("no limit either way: arrivals first") << QTime(16, 0) << -1 << -1 << none << Evening;
}

void TestLessonSelection::lessonWhoseWindowsHoldNowIsChosen()
{
    QFETCH(QTime, time);
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(QString, kept);
    QFETCH(QString, lesson);

    m_station->BeforeStartUnlimited = before < 0;
    m_station->BeforeStart = MinutesToTimeText(qMax(0, before), u":"_s);
    m_station->AfterEndUnlimited = after < 0;
    m_station->AfterEnd = MinutesToTimeText(qMax(0, after), u":"_s);
    if (!kept.isEmpty())
        m_selection->KeepSelection({KeyA, u"1140506"_s, kept, u"0"_s});
    m_clock.set(QDateTime(Tuesday, time));
    QVERIFY(m_selection->ChooseTodaysClass());
    QCOMPARE(m_station->LessonText, lesson);
    QCOMPARE(m_station->CourseCode, get_codes(lesson));
}

void TestLessonSelection::lessonBoxListsTodaysLessonsOfTheClass()
{
    LoadA(Tuesday, 16, 0);
    QCOMPARE(m_selection->LessonItems(), QStringList({Morning, Afternoon, Evening}));

    At(Tuesday, 19, 30);
    m_selection->ChooseLesson(Evening);
    QCOMPARE(m_station->LessonText, Evening);
    QCOMPARE(m_station->CourseCode, u"000319:00"_s);
    QCOMPARE(m_station->VINDEX_IO, u"ABC12345678000319:00"_s);
    // An evening-only lesson offers the first pair, checked against the evening windows.
    QCOMPARE(m_station->SignTypeFlags, u"110000"_s);
    QCOMPARE(m_station->TypeShift, 4);
    QVERIFY(m_station->TypeChecked);
    QCOMPARE(m_station->CurrentIoType, u"0"_s);

    // The class window with several lessons today takes the lesson around now, as the start
    // does: an empty box would refuse every entry until the staff noticed.
    m_globals->CurrentClassKey = KeyA;
    QVERIFY(m_selection->ClassWindowClosed(true));
    QVERIFY(m_station->ClassChosenByUser);
    QCOMPARE(m_station->LessonText, Evening);
    QCOMPARE(m_station->VINDEX_IO, u"ABC12345678000319:00"_s);
    // Between lessons there is none around: the box stays empty.
    At(Tuesday, 17, 0);
    QVERIFY(m_selection->ClassWindowClosed(true));
    QCOMPARE(m_station->LessonText, QString());
    QCOMPARE(m_station->VINDEX_IO, KeyA);
}

void TestLessonSelection::classWindowWithoutAClassReturnsToNoClass()
{
    LoadA(Tuesday, 10, 0);
    At(QDate(2025, 5, 10), 10, 0);
    QVERIFY(!m_selection->ClassWindowClosed(false));
    QVERIFY(!m_station->StationReady);
    QVERIFY(!m_station->TimerOn);
    QVERIFY(!m_station->ClassChosenAuto);
    QVERIFY(m_station->ClassKey.isEmpty());
    QCOMPARE(m_station->ClassCaption, u"講習：進入講習選定點選講習"_s);
    // The clock still shows; nothing else runs while no class is loaded.
    const TickView tick = m_selection->Tick();
    QCOMPARE(tick.timeText, u"10:00:00"_s);
    QVERIFY(!tick.synchronise);
}

// "離開" in the class window: the station goes on with the class, lesson and type it had,
// whatever class the window stood on when it was left.
void TestLessonSelection::classWindowLeftWithoutAChoiceKeepsTheClass()
{
    // Class B, chosen in the class window in the afternoon of its first day.
    const QString lessonB = u"0001:別班(13:30)"_s;
    At(Tuesday, 14, 0);
    m_globals->CurrentClassKey = KeyB;
    QVERIFY(m_selection->ClassWindowClosed(true));
    QCOMPARE(m_station->LessonText, lessonB);

    // The window stood on class A, the first class held today, when it was left.
    At(Tuesday, 14, 5);
    m_globals->CurrentClassKey = KeyA;
    m_selection->KeepSelection(m_selection->CurrentSelection());
    QVERIFY(m_selection->ClassWindowClosed(false));
    QCOMPARE(m_globals->CurrentClassKey, KeyB);
    QCOMPARE(m_station->ClassKey, KeyB);
    QCOMPARE(m_station->ClassCaption, u"講習：急救人員訓練"_s);
    QCOMPARE(m_station->LessonText, lessonB);
    QCOMPARE(m_station->VINDEX_IO, u"XYZ98765432000113:30"_s);
    QVERIFY(m_station->StationReady);
    QVERIFY(m_station->TimerOn);
    QVERIFY(!m_station->ClassChosenByUser);
    QVERIFY(m_station->classChosen()); // the next activation chooses no other class
    QVERIFY(m_station->TypeChecked);
    QCOMPARE(m_station->CurrentIoType, u"0"_s);

    // Without the keeping being asked for first, the same.
    m_globals->CurrentClassKey = KeyA;
    QVERIFY(m_selection->ClassWindowClosed(false));
    QCOMPARE(m_globals->CurrentClassKey, KeyB);
    QCOMPARE(m_station->LessonText, lessonB);
}

void TestLessonSelection::dayWithoutLessonsOffersNoType()
{
    LoadA(QDate(2025, 5, 9), 10, 0);
    const TypePanelView panel = m_selection->FormRefresh();
    QCOMPARE(panel.panelCaption, u"本日無課程明細資料 或重選今日課程"_s);
    for (const TypeButtonView &button : panel.buttons)
        QVERIFY2(!button.visible, qPrintable(button.name));
}

// ---- Type buttons and their windows ---------------------------------------------------------

void TestLessonSelection::formRefreshPlacesTheTypeButtons_data()
{
    QTest::addColumn<QString>("flags");
    QTest::addColumn<bool>("rollCall");
    QTest::addColumn<QString>("visible"); // codes shown
    QTest::addColumn<QList<int>>("lefts"); // of "0", "1", "2", "3", "4", "5", "9"

    QTest::newRow("whole day") << u"111111"_s << true << u"0123459"_s << QList<int>{11, 11, 162, 162, 313, 313, 464};
    QTest::newRow("morning only") << u"110000"_s << false << u"01"_s << QList<int>{11, 11, 162, 162, 162, 162, 162};
    QTest::newRow("afternoon and evening") << u"001111"_s << true << u"23459"_s << QList<int>{11, 11, 11, 11, 162, 162, 313};
    QTest::newRow("nothing") << u"000000"_s << true << u"9"_s << QList<int>{11, 11, 11, 11, 11, 11, 11};
}

void TestLessonSelection::formRefreshPlacesTheTypeButtons()
{
    QFETCH(QString, flags);
    QFETCH(bool, rollCall);
    QFETCH(QString, visible);
    QFETCH(QList<int>, lefts);

    m_station->SignTypeFlags = flags;
    m_station->RollCallOffered = rollCall;
    const TypePanelView panel = m_selection->FormRefresh();
    QCOMPARE(panel.buttons.size(), 7);
    QString shown;
    QList<int> placed;
    for (const TypeButtonView &button : panel.buttons) {
        if (button.visible)
            shown += button.code;
        placed << button.left;
    }
    QCOMPARE(shown, visible);
    QCOMPARE(placed, lefts);
    QCOMPARE(panel.panelCaption.isEmpty(), flags != u"000000");
    QCOMPARE(panel.button(u"2"_s)->name, u"RadioButton3"_s);
}

void TestLessonSelection::typeWindows_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("pressed");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QString>("message");

    // Whole day: 09:00-12:00, 12:10-15:00, 19:00-21:00; 30 minutes before, 60 after. The
    // message names the window that applies and the minutes configured.
    QTest::newRow("sign-in before its window") << u"0"_s << QTime(8, 29) << u"0"_s << false
        << u"上課前30分鐘內始得簽到!（08:30～12:00）"_s;
    QTest::newRow("sign-in at its start") << u"0"_s << QTime(8, 30) << u"0"_s << true << QString();
    QTest::newRow("sign-in at the morning's end") << u"0"_s << QTime(12, 0) << u"0"_s << true << QString();
    QTest::newRow("sign-in after the morning") << u"0"_s << QTime(12, 1) << u"0"_s << false
        << u"下課後不得簽到!（08:30～12:00）"_s;
    QTest::newRow("sign-out before the morning") << u"1"_s << QTime(8, 0) << u"1"_s << false
        << u"上課後始得簽退!（09:00～13:00）"_s;
    QTest::newRow("sign-out within the hour after") << u"1"_s << QTime(13, 0) << u"1"_s << true << QString();
    QTest::newRow("sign-out too late") << u"1"_s << QTime(13, 1) << u"1"_s << false
        << u"下課已逾60分鐘不得簽退!（09:00～13:00）"_s;
    QTest::newRow("afternoon arrival early") << u"2"_s << QTime(11, 39) << u"2"_s << false
        << u"上課前30分鐘內始得簽到!（11:40～15:00）"_s;
    QTest::newRow("afternoon arrival") << u"2"_s << QTime(11, 40) << u"2"_s << true << QString();
    QTest::newRow("evening departure late") << u"5"_s << QTime(22, 1) << u"5"_s << false
        << u"下課已逾60分鐘不得簽退!（19:00～22:00）"_s;
    QTest::newRow("evening departure") << u"5"_s << QTime(22, 0) << u"5"_s << true << QString();
    QTest::newRow("refused by keyboard: silent") << u"1"_s << QTime(8, 0) << QString() << false << QString();
    QTest::newRow("mouse on another button: silent") << u"1"_s << QTime(8, 0) << u"0"_s << false << QString();
    QTest::newRow("roll call at any time") << u"9"_s << QTime(3, 0) << u"9"_s << true << QString();
}

void TestLessonSelection::typeWindows()
{
    QFETCH(QString, code);
    QFETCH(QTime, time);
    QFETCH(QString, pressed);
    QFETCH(bool, kept);
    QFETCH(QString, message);

    m_station->BeforeStart = u"00:30"_s;
    m_station->AfterEnd = u"01:00"_s;
    LoadA(Tuesday, 17, 0); // no lesson's windows hold, none around: the whole day's windows
    QCOMPARE(m_station->WinStart, u"083009001140121018301900"_s);
    QCOMPARE(m_station->WinEnd, u"120013001500160021002200"_s);
    m_prompter->clear();
    m_station->AutoMode = true;

    At(Tuesday, time.hour(), time.minute());
    if (!pressed.isEmpty())
        m_selection->MousePressedOnType(pressed);
    QCOMPARE(m_selection->ChooseType(code), kept);
    QCOMPARE(m_station->TypeChecked, kept);
    QCOMPARE(m_station->CurrentIoType, code);
    QVERIFY(!m_station->AutoMode);
    QCOMPARE(m_prompter->all(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty())
        QVERIFY(m_station->LastPressedType.isEmpty());
}

void TestLessonSelection::afternoonOnlyLessonUsesTheAfternoonWindows()
{
    m_station->BeforeStart = u"00:20"_s;
    LoadA(Tuesday, 16, 0);
    // Before any window was computed, every type is refused.
    LessonSelection fresh(*m_station, *m_dm);
    m_station->WinStart.clear();
    m_station->WinEnd.clear();
    QVERIFY(!fresh.InsideWindow(u"0"_s));

    At(Tuesday, 11, 49);
    m_selection->ChooseLesson(Afternoon);
    QCOMPARE(m_station->SignTypeFlags, u"110000"_s);
    QCOMPARE(m_station->TypeShift, 2);
    QVERIFY(!m_station->RollCallOffered); // the roll call belongs to the morning lesson
    QVERIFY(!m_selection->ChooseType(u"0"_s)); // the afternoon's 11:50-15:00
    At(Tuesday, 11, 50);
    QVERIFY(m_selection->ChooseType(u"0"_s));
    At(Tuesday, 15, 0);
    QVERIFY(m_selection->ChooseType(u"1"_s));
    At(Tuesday, 15, 1);
    QVERIFY(!m_selection->ChooseType(u"1"_s));
}

// 上課前幾分鐘開始簽到 and 下課後幾分鐘內可簽退 of 0 minutes, blank or missing put no limit on
// that side of a lesson (as the settings window says): the arrival windows open with the day,
// the departure windows stay open until its end. A refusal names the window that applies.
// The morning lesson 09:00-12:00; "-" leaves the key out.
void TestLessonSelection::windowsWithoutALimit_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QString>("message");

    QTest::newRow("blank: sign-in long before") << QString() << u"0"_s << u"0"_s << QTime(6, 0) << true << QString();
    QTest::newRow("no keys: sign-out until the day's end") << u"-"_s << u"-"_s << u"1"_s << QTime(23, 59) << true << QString();
    QTest::newRow("00: sign-in refused after the lesson") << u"00"_s << u"00"_s << u"0"_s << QTime(12, 1) << false
        << u"下課後不得簽到!（00:00～12:00）"_s;
    QTest::newRow("0: sign-out refused before the lesson") << u"0"_s << u"0"_s << u"1"_s << QTime(8, 59) << false
        << u"上課後始得簽退!（09:00～23:59）"_s;
    QTest::newRow("30 minutes before") << u"30"_s << u"90"_s << u"0"_s << QTime(8, 29) << false
        << u"上課前30分鐘內始得簽到!（08:30～12:00）"_s;
    QTest::newRow("90 minutes after") << u"30"_s << u"90"_s << u"1"_s << QTime(13, 31) << false
        << u"下課已逾90分鐘不得簽退!（09:00～13:30）"_s;
    QTest::newRow("90 minutes after, at the end") << u"30"_s << u"90"_s << u"1"_s << QTime(13, 30) << true << QString();
}

void TestLessonSelection::windowsWithoutALimit()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, code);
    QFETCH(QTime, time);
    QFETCH(bool, kept);
    QFETCH(QString, message);

    if (before != u"-")
        WriteIniSetting(IniSection::Base, IniKey::MinutesBeforeStart, before);
    if (after != u"-")
        WriteIniSetting(IniSection::Base, IniKey::MinutesAfterEnd, after);
    ReadTimeLimits(*m_station);
    LoadA(Tuesday, 10, 0);
    QCOMPARE(m_station->LessonText, Morning);
    m_prompter->clear();

    At(Tuesday, time.hour(), time.minute());
    m_selection->MousePressedOnType(code);
    QCOMPARE(m_selection->ChooseType(code), kept);
    QCOMPARE(m_prompter->all(), message.isEmpty() ? QStringList() : QStringList{message});
}

// A one-day class set up for every type (SignType "111111") whose only lesson is in the evening:
// "簽到"/"簽退" take the evening's windows and the other types have none, so they are never
// inside, never start the station by themselves and are refused with their reason. 2025/05/10,
// lesson 19:00-20:00, no minutes before or after.
void TestLessonSelection::typeBeyondTheEveningHasNoWindow_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("inside");
    QTest::addColumn<QString>("message");

    const QTime after(20, 10);
    const QTime during(19, 30);
    QTest::newRow("after: 簽到") << after << u"0"_s << false << u"下課後不得簽到!（19:00～20:00）"_s;
    QTest::newRow("after: 簽退") << after << u"1"_s << false << u"下課已逾0分鐘不得簽退!（19:00～20:00）"_s;
    QTest::newRow("after: 午到") << after << u"2"_s << false << u"本堂課程沒有午到時段!"_s;
    QTest::newRow("after: 午退") << after << u"3"_s << false << u"本堂課程沒有午退時段!"_s;
    QTest::newRow("after: 晚到") << after << u"4"_s << false << u"本堂課程沒有晚到時段!"_s;
    QTest::newRow("after: 晚退") << after << u"5"_s << false << u"本堂課程沒有晚退時段!"_s;
    QTest::newRow("after: 點名") << after << u"9"_s << true << QString();
    QTest::newRow("during: 簽到") << during << u"0"_s << true << QString();
    QTest::newRow("during: 簽退") << during << u"1"_s << true << QString();
    QTest::newRow("during: 午到") << during << u"2"_s << false << u"本堂課程沒有午到時段!"_s;
    QTest::newRow("during: 晚退") << during << u"5"_s << false << u"本堂課程沒有晚退時段!"_s;
}

void TestLessonSelection::typeBeyondTheEveningHasNoWindow()
{
    QFETCH(QTime, time);
    QFETCH(QString, code);
    QFETCH(bool, inside);
    QFETCH(QString, message);

    const QDate saturday(2025, 5, 10);
    AddClass(u"EVE00000000"_s, u"01"_s, u"夜間講習"_s, u"2025/05/10"_s, u"2025/05/10"_s, u"1"_s,
             u"19:00"_s, u"20:00"_s, u"111111"_s);
    AddLesson(u"EVE0000000001"_s, u"0001"_s, u"夜課"_s, u"2025/05/10"_s, u"19:00"_s, u"20:00"_s);
    m_clock.set(QDateTime(saturday, time));
    QVERIFY(m_selection->ChooseTodaysClass());
    QCOMPARE(m_station->LessonText, u"0001:夜課(19:00)"_s);
    QCOMPARE(m_station->SignTypeFlags, u"111111"_s);
    QCOMPARE(m_station->TypeShift, 4);
    // The station starts with a type whose window holds now, or with none.
    QCOMPARE(m_station->TypeChecked, time == QTime(19, 30));
    QCOMPARE(m_station->CurrentIoType, u"0"_s);

    QCOMPARE(m_selection->InsideWindow(code), inside);
    m_prompter->clear();
    m_selection->MousePressedOnType(code);
    QCOMPARE(m_selection->ChooseType(code), inside);
    QCOMPARE(m_prompter->all(), message.isEmpty() ? QStringList() : QStringList{message});
}

void TestLessonSelection::settingsLoadCountsAndChoosesTheInitialType()
{
    const QString lesson = u"ABC12345678000109:00"_s;
    const QString today = u"1140506"_s;
    AddEvent(lesson, u"0"_s, today);
    AddEvent(lesson, u"0"_s, today);
    AddEvent(lesson, u"4"_s, today);
    AddEvent(lesson, u"0"_s, u"1140505"_s);            // another day
    AddEvent(u"ABC12345678000212:10"_s, u"0"_s, today); // another lesson

    LoadA(Tuesday, 10, 0);
    SettingsLoadView view = m_selection->LoadLessonSettings();
    QCOMPARE(view.dateText, u"2025/05/06"_s);
    QCOMPARE(m_station->TodayRoc, today);
    QCOMPARE(view.captions.value(u"0"_s), u"簽到(2)"_s);
    QCOMPARE(view.captions.value(u"1"_s), u"簽退(0)"_s);
    QCOMPARE(view.captions.value(u"4"_s), u"晚到(1)"_s);
    QCOMPARE(view.captions.value(u"5"_s), u"晚退(0)"_s);
    QCOMPARE(view.panel.panelCaption, QString());
    // The morning lesson alone: its pair and its roll call.
    QCOMPARE(m_station->SignTypeFlags, u"110000"_s);
    QVERIFY(m_station->RollCallOffered);
    // The counts do not choose the type: "晚到" has one, but at 10:00 the lesson takes arrivals.
    QVERIFY(m_station->TypeChecked);
    QCOMPARE(m_station->CurrentIoType, u"0"_s);
    QVERIFY(m_prompter->all().isEmpty());

    // One early leaver's sign-out does not turn the next late arrival into a sign-out.
    AddEvent(lesson, u"1"_s, today);
    At(Tuesday, 11, 0);
    view = m_selection->LoadLessonSettings();
    QCOMPARE(view.captions.value(u"1"_s), u"簽退(1)"_s);
    QVERIFY(m_station->TypeChecked);
    QCOMPARE(m_station->CurrentIoType, u"0"_s);
}

// The type a load starts with: the one kept for the same class, day and lesson while inside its
// window, otherwise the one the lesson's windows give now: its arrival until its end, then its
// departure. The morning lesson 09:00-12:00, 30 minutes' lead, an hour's grace.
void TestLessonSelection::initialTypeFollowsTheWindows_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("checked");

    QTest::newRow("before the start") << QTime(8, 40) << QString() << u"0"_s << true;
    QTest::newRow("during the lesson") << QTime(11, 59) << QString() << u"0"_s << true;
    QTest::newRow("after its end") << QTime(12, 30) << QString() << u"1"_s << true;
    QTest::newRow("after the grace") << QTime(13, 30) << QString() << u"0"_s << false;
    QTest::newRow("sign-out left checked during the lesson") << QTime(11, 0) << u"1"_s << u"0"_s << true;
    QTest::newRow("sign-out kept after the lesson") << QTime(12, 30) << u"1"_s << u"1"_s << true;
    QTest::newRow("sign-in kept past its window") << QTime(12, 30) << u"0"_s << u"1"_s << true;
    QTest::newRow("roll call kept") << QTime(10, 0) << u"9"_s << u"9"_s << true;
}

void TestLessonSelection::initialTypeFollowsTheWindows()
{
    QFETCH(QTime, time);
    QFETCH(QString, kept);
    QFETCH(QString, type);
    QFETCH(bool, checked);

    m_station->BeforeStart = u"00:30"_s;
    m_station->AfterEnd = u"01:00"_s;
    LoadA(Tuesday, 10, 0);
    AddEvent(u"ABC12345678000109:00"_s, u"1"_s, u"1140506"_s); // counts never decide
    At(Tuesday, time.hour(), time.minute());
    if (!kept.isEmpty())
        m_selection->KeepSelection({KeyA, u"1140506"_s, Morning, kept});
    m_selection->ChooseLesson(Morning);
    QCOMPARE(m_station->CurrentIoType, type);
    QCOMPARE(m_station->TypeChecked, checked);
}

// Returning from the class window, or starting again with the same class, keeps the lesson and
// the type while they are still on; once the lesson is over, the lesson around now is taken.
void TestLessonSelection::classWindowAndRestartKeepTheSelection()
{
    m_station->AfterEnd = u"01:00"_s;
    LoadA(Tuesday, 12, 20);
    QCOMPARE(m_station->LessonText, Afternoon); // the lesson around now
    m_selection->ChooseLesson(Morning);
    m_prompter->queueButton(Prompter::Button::Ok);
    QVERIFY(m_selection->ChooseType(u"1"_s));

    // The class window: same class, same lesson, same type.
    m_selection->KeepSelection(m_selection->CurrentSelection());
    QVERIFY(m_selection->ClassWindowClosed(true));
    QCOMPARE(m_station->LessonText, Morning);
    QVERIFY(m_station->TypeChecked);
    QCOMPARE(m_station->CurrentIoType, u"1"_s);

    // A restart finds the selection in the settings file.
    {
        StationState restarted;
        restarted.AfterEnd = u"01:00"_s;
        LessonSelection again(restarted, *m_dm);
        QVERIFY(again.ChooseTodaysClass());
        QCOMPARE(restarted.LessonText, Morning);
        QCOMPARE(restarted.VINDEX_IO, u"ABC12345678000109:00"_s);
        QVERIFY(restarted.TypeChecked);
        QCOMPARE(restarted.CurrentIoType, u"1"_s);
    }
    // Once the morning's grace is over, a restart takes the lesson of now and its type.
    At(Tuesday, 13, 30);
    StationState later;
    later.AfterEnd = u"01:00"_s;
    LessonSelection third(later, *m_dm);
    QVERIFY(third.ChooseTodaysClass());
    QCOMPARE(later.LessonText, Afternoon);
    QVERIFY(later.TypeChecked);
    QCOMPARE(later.CurrentIoType, u"0"_s);
}

// A departure type left checked before a restart, the class window or the administration menu
// comes back only once the lesson's sign-in window has closed; while it is open the station
// starts with the arrival, so that the next late comer is not stored as leaving. The morning
// lesson 09:00-12:00 with an hour's grace.
void TestLessonSelection::departureLeftCheckedGivesWayWhileArrivalsAreTaken_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("type");

    for (const QString &way : {u"restart"_s, u"class window"_s, u"class window left"_s, u"settings load"_s}) {
        QTest::addRow("%s, sign-in window open", qPrintable(way)) << way << QTime(9, 30) << u"0"_s;
        QTest::addRow("%s, sign-in window closed", qPrintable(way)) << way << QTime(12, 30) << u"1"_s;
    }
}

void TestLessonSelection::departureLeftCheckedGivesWayWhileArrivalsAreTaken()
{
    QFETCH(QString, way);
    QFETCH(QTime, time);
    QFETCH(QString, type);

    m_station->AfterEnd = u"01:00"_s;
    const LessonSelection::Selection left{KeyA, u"1140506"_s, Morning, u"1"_s};
    if (way == u"restart") {
        // 最近簽到選定 as the station wrote it before it was closed.
        WriteIniSetting(IniSection::Base, IniKey::LastSignSelection,
                        QStringList{left.classKey, left.todayRoc, left.ioType, left.lessonText}.join(u'|'));
        At(Tuesday, time.hour(), time.minute());
        QVERIFY(m_selection->ChooseTodaysClass());
    } else {
        LoadA(Tuesday, time.hour(), time.minute());
        m_selection->ChooseLesson(Morning);
        m_selection->KeepSelection(left);
        if (way == u"class window")
            QVERIFY(m_selection->ClassWindowClosed(true));
        else if (way == u"class window left")
            QVERIFY(m_selection->ClassWindowClosed(false));
        else
            m_selection->LoadLessonSettings();
    }
    QCOMPARE(m_station->LessonText, Morning);
    QVERIFY(m_station->TypeChecked);
    QCOMPARE(m_station->CurrentIoType, type);
}

// ---- Automatic mode ---------------------------------------------------------------------------

void TestLessonSelection::automaticModeSwitchesAtTheNextLessonsStart()
{
    LoadA(Tuesday, 12, 5);
    QCOMPARE(m_station->LessonText, Morning);

    QVERIFY(m_selection->AutoModeReleased());
    QVERIFY(m_station->AutoMode);
    QVERIFY(m_prompter->all().isEmpty());
    QVERIFY(!m_station->TypeChecked);
    QCOMPARE(m_station->PrevCourseCode, u"000109:00"_s);
    QCOMPARE(m_station->NextCourseCode, u"000212:10"_s);
    QCOMPARE(m_station->NextCourseTitle, u"0002:實務"_s);
    QCOMPARE(m_station->NextTimeStart, u"12:10"_s);
    QCOMPARE(m_station->PrevInType, u"0"_s);
    QCOMPARE(m_station->PrevOutType, u"1"_s);

    // Through the minute the next lesson starts, the station stays in automatic mode.
    At(Tuesday, 12, 10, 59);
    TickView tick = m_selection->Tick();
    QVERIFY(!tick.lessonSwitched);
    QVERIFY(m_station->AutoMode);

    At(Tuesday, 12, 11, 0);
    tick = m_selection->Tick();
    QVERIFY(tick.lessonSwitched);
    QCOMPARE(tick.timeText, u"12:11:00"_s);
    QVERIFY(!m_station->AutoMode);
    QCOMPARE(m_station->LessonText, Afternoon);
    QCOMPARE(m_station->CourseCode, u"000212:10"_s);
    QCOMPARE(m_station->VINDEX_IO, u"ABC12345678000212:10"_s);
    QVERIFY(m_station->TypeChecked);
    QCOMPARE(m_station->CurrentIoType, u"0"_s);
    QVERIFY(m_prompter->all().isEmpty());
}

void TestLessonSelection::automaticModeOutsideABreak_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("before the first lesson") << QTime(8, 0)
        << QStringList{u"時間區間(12:00～12:10) 才會有自動 功能"_s};
    QTest::newRow("in a break longer than the limit") << QTime(16, 0)
        << QStringList{u"課間休息限制 15 分鐘內,才會有此功能 "_s, u"時間區間(12:00～12:10) 才會有自動 功能"_s};
}

void TestLessonSelection::automaticModeOutsideABreak()
{
    QFETCH(QTime, time);
    QFETCH(QStringList, messages);
    LoadA(Tuesday, time.hour(), time.minute());
    m_prompter->clear();
    QVERIFY(!m_selection->AutoModeReleased());
    QVERIFY(!m_station->AutoMode);
    QCOMPARE(m_prompter->all(), messages);
}

void TestLessonSelection::automaticModeDeparturePairFollowsThePreviousLesson_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("prevIn");
    QTest::addColumn<QString>("prevOut");
    QTest::addColumn<QString>("next");
    QTest::newRow("previous lesson across 13:00") << QTime(14, 5) << u"2"_s << u"3"_s << u"000514:10"_s;
    QTest::newRow("previous lesson across 18:30") << QTime(19, 5) << u"4"_s << u"5"_s << u"000719:10"_s;
}

void TestLessonSelection::automaticModeDeparturePairFollowsThePreviousLesson()
{
    QFETCH(QTime, time);
    QFETCH(QString, prevIn);
    QFETCH(QString, prevOut);
    QFETCH(QString, next);
    LoadA(Thursday, time.hour(), time.minute());
    QVERIFY(m_selection->AutoModeReleased());
    QCOMPARE(m_station->PrevInType, prevIn);
    QCOMPARE(m_station->PrevOutType, prevOut);
    QCOMPARE(m_station->NextCourseCode, next);
}

void TestLessonSelection::automaticModeEndsWhenATypeIsChosen()
{
    LoadA(Tuesday, 12, 5);
    QVERIFY(m_selection->AutoModeReleased());
    m_selection->ChooseType(u"1"_s);
    QVERIFY(!m_station->AutoMode);
    // A tick after the next lesson's start no longer switches.
    At(Tuesday, 12, 20);
    QVERIFY(!m_selection->Tick().lessonSwitched);
    QCOMPARE(m_station->LessonText, Morning);

    // Pressing "自動" again inside the break switches it back on; outside, off.
    At(Tuesday, 12, 5);
    QVERIFY(m_selection->AutoModeReleased());
    At(Tuesday, 12, 9);
    m_prompter->clear();
    QVERIFY(m_selection->AutoModeReleased());
    At(Tuesday, 10, 0);
    QVERIFY(!m_selection->AutoModeReleased());
    QVERIFY(!m_station->AutoMode);
}

// ---- The one-second tick ----------------------------------------------------------------------

void TestLessonSelection::tickSynchronisesAtSecondZeroOfOddMinutes_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("typeChecked");
    QTest::addColumn<bool>("synchronise");
    QTest::newRow("hh:01:00") << QTime(10, 1, 0) << true << true;
    QTest::newRow("hh:03:00") << QTime(10, 3, 0) << true << true;
    QTest::newRow("hh:11:00") << QTime(10, 11, 0) << true << true;
    QTest::newRow("hh:59:00") << QTime(10, 59, 0) << true << true;
    QTest::newRow("even minute") << QTime(10, 2, 0) << true << false;
    QTest::newRow("hh:10:00") << QTime(10, 10, 0) << true << false;
    QTest::newRow("second 01") << QTime(10, 1, 1) << true << false;
    QTest::newRow("no type chosen") << QTime(10, 1, 0) << false << false;
}

void TestLessonSelection::tickSynchronisesAtSecondZeroOfOddMinutes()
{
    QFETCH(QTime, time);
    QFETCH(bool, typeChecked);
    QFETCH(bool, synchronise);
    LoadA(Tuesday, 10, 0);
    m_station->jstart = false;
    m_station->TypeChecked = typeChecked;
    m_clock.set(QDateTime(Tuesday, time));
    const TickView tick = m_selection->Tick();
    QCOMPARE(tick.synchronise, synchronise);
    QCOMPARE(tick.dateText, u"2025/05/06"_s);
    QCOMPARE(tick.timeText, time.toString(u"hh:mm:ss"_s));
}

void TestLessonSelection::tickSynchronisesFirstAfterTheTimerStarts()
{
    LoadA(Tuesday, 10, 0);
    QVERIFY(m_station->jstart);
    At(Tuesday, 10, 2, 17);
    QVERIFY(m_selection->Tick().synchronise);
    QVERIFY(!m_station->jstart);
    At(Tuesday, 10, 2, 18);
    QVERIFY(!m_selection->Tick().synchronise);

    // A later settings load with the timer running does not start it again.
    m_selection->LoadLessonSettings();
    QVERIFY(!m_station->jstart);
}

QTEST_GUILESS_MAIN(TestLessonSelection)
#include "tst_lessonselection.moc"

// The attendance rules one by one, as functions of their inputs: day windows, the way an event
// enters a row, pair hours, roll calls, the credit of each kind of lesson and the break merge.

#include "mock/ScriptedPrompter.h"
#include "core/ClassDayProfile.h"
#include "reports/AttendanceRules.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

ReportLesson Lesson(const QString &start, const QString &end, int hours,
                    const QString &noonRS = {}, const QString &noonRE = {},
                    const QString &nightRS = {}, const QString &nightRE = {})
{
    ReportLesson l;
    l.DateStart = u"2024/09/05"_s;
    l.TimeStart = start;
    l.TimeEnd = end;
    l.Hours = hours;
    l.CNo4 = u"0001"_s;
    l.noonRS = noonRS;
    l.noonRE = noonRE;
    l.nightRS = nightRS;
    l.nightRE = nightRE;
    return l;
}

ReportLesson WithRollCalls(ReportLesson l, const QString &r1, const QString &r2 = {},
                           const QString &r3 = {})
{
    l.R1 = r1;
    l.R2 = r2;
    l.R3 = r3;
    return l;
}

// Parts as "in-out" texts, for compact expectations.
QString Parts(const DayWindows &w)
{
    QStringList parts;
    for (int k = 0; k < 3; ++k)
        parts << (w.partOn[k] ? w.in[k] + u'-' + w.out[k] : u"off"_s);
    return parts.join(u' ');
}

QString Bounds(const DayWindows &w)
{
    QStringList bounds;
    for (int k = 0; k < 3; ++k)
        bounds << w.ArrivalDeadline[k] + u'/' + w.LeaveEarliest[k];
    return bounds.join(u' ');
}

using Lessons = QList<ReportLesson>;

} // namespace

Q_DECLARE_METATYPE(ReportLesson)

class TestAttendanceRules : public QObject
{
    Q_OBJECT

private slots:
    void dayWindows_data();
    void dayWindows();
    void rollCallFlagsComeFromTheLastLessonThatSetsThem();

    void marksAtTheBoundsOfTheDay_data();
    void marksAtTheBoundsOfTheDay();
    void laterEventsReplaceTimesButMarksStay();
    void rollCallSlots_data();
    void rollCallSlots();

    void pairHours_data();
    void pairHours();

    void rollCall_data();
    void rollCall();

    void segmentCodes_data();
    void segmentCodes();
    void partBoundariesOfALesson_data();
    void partBoundariesOfALesson();
    void stationPairShift_data();
    void stationPairShift();
    void credit_data();
    void credit();

    void breakMerge_data();
    void breakMerge();
};

// ---- Day windows -----------------------------------------------------------------------------

void TestAttendanceRules::dayWindows_data()
{
    QTest::addColumn<Lessons>("lessons");
    QTest::addColumn<QString>("parts");
    QTest::addColumn<QString>("bounds");
    QTest::addColumn<bool>("mergeMorningAfternoon");

    QTest::newRow("one lesson without breaks is a morning")
        << Lessons{Lesson(u"09:00"_s, u"17:00"_s, 8)} << u"09:00-17:00 off off"_s
        << u"091559/1645 001559/0015 001559/0015"_s << false;
    QTest::newRow("no lessons: every part off")
        << Lessons{} << u"off off off"_s << u"001559/0015 001559/0015 001559/0015"_s << false;
    // Four lessons with a lunch: each part runs from its first lesson to its last one.
    const QString n1 = u"12:00"_s, n2 = u"13:30"_s;
    QTest::newRow("two lessons a part")
        << Lessons{Lesson(u"08:00"_s, u"10:00"_s, 2, n1, n2), Lesson(u"10:10"_s, u"12:00"_s, 2, n1, n2),
                   Lesson(u"13:30"_s, u"15:20"_s, 2, n1, n2), Lesson(u"15:30"_s, u"17:30"_s, 2, n1, n2)}
        << u"08:00-12:00 13:30-17:30 off"_s << u"081559/1145 134559/1715 001559/0015"_s << false;
    QTest::newRow("morning, afternoon and evening")
        << Lessons{Lesson(u"09:00"_s, u"12:00"_s, 3, n1, n2, u"17:00"_s, u"18:00"_s),
                   Lesson(u"13:00"_s, u"17:00"_s, 4, n1, n2, u"17:00"_s, u"18:00"_s),
                   Lesson(u"18:00"_s, u"21:00"_s, 3, n1, n2, u"17:00"_s, u"18:00"_s)}
        << u"09:00-12:00 13:00-17:00 18:00-21:00"_s << u"091559/1145 131559/1645 181559/2045"_s
        << false;
    QTest::newRow("morning and evening")
        << Lessons{Lesson(u"09:00"_s, u"12:00"_s, 3, n1, n2, u"17:00"_s, u"18:30"_s),
                   Lesson(u"18:30"_s, u"19:30"_s, 1, n1, n2, u"17:00"_s, u"18:30"_s),
                   Lesson(u"19:40"_s, u"21:00"_s, 1, n1, n2, u"17:00"_s, u"18:30"_s)}
        << u"09:00-12:00 off 18:30-21:00"_s << u"091559/1145 001559/0015 184559/2045"_s << false;
    // A break of exactly RestLimit starts the afternoon and lets one swipe serve both parts.
    QTest::newRow("afternoon after a break of RestLimit")
        << Lessons{Lesson(u"09:00"_s, u"12:00"_s, 3, n1, u"12:30"_s),
                   Lesson(u"12:30"_s, u"16:00"_s, 3, n1, u"12:30"_s)}
        << u"09:00-12:00 12:30-16:00 off"_s << u"091559/1145 124559/1545 001559/0015"_s << true;
    QTest::newRow("a shorter break joins the lesson to the morning")
        << Lessons{Lesson(u"09:00"_s, u"12:00"_s, 3, n1, u"12:20"_s),
                   Lesson(u"12:20"_s, u"16:00"_s, 3, n1, u"12:20"_s)}
        << u"09:00-16:00 00:00-00:00 off"_s << u"091559/1545 001559/0015 001559/0015"_s << false;
    QTest::newRow("an afternoon-only day")
        << Lessons{Lesson(u"13:30"_s, u"15:30"_s, 2, n1, n2), Lesson(u"15:40"_s, u"17:30"_s, 2, n1, n2)}
        << u"off 13:30-17:30 off"_s << u"001559/0015 134559/1715 001559/0015"_s << false;
}

void TestAttendanceRules::dayWindows()
{
    QFETCH(Lessons, lessons);
    QFETCH(QString, parts);
    QFETCH(QString, bounds);
    QFETCH(bool, mergeMorningAfternoon);

    const DayWindows w = BuildDayWindows(lessons, ReportSettings());
    QCOMPARE(Parts(w), parts);
    QCOMPARE(Bounds(w), bounds);
    QCOMPARE(w.MergeMorningAfternoon, mergeMorningAfternoon);
}

void TestAttendanceRules::rollCallFlagsComeFromTheLastLessonThatSetsThem()
{
    const Lessons lessons{WithRollCalls(Lesson(u"09:00"_s, u"10:00"_s, 1), u"09:30"_s, u"x"_s),
                          WithRollCalls(Lesson(u"10:00"_s, u"11:00"_s, 1), u"10:15"_s),
                          WithRollCalls(Lesson(u"11:00"_s, u"12:00"_s, 1), u""_s, u""_s, u" 19:10"_s)};
    const DayWindows w = BuildDayWindows(lessons, ReportSettings());
    QCOMPARE(w.rollCall, (std::array<bool, 3>{true, false, true}));
    QCOMPARE(w.rollCallTime[0], u"10:15"_s);
    QCOMPARE(w.rollCallTime[2], u"19:10"_s);
}

// ---- Events into rows ------------------------------------------------------------------------

void TestAttendanceRules::marksAtTheBoundsOfTheDay_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("istat");
    QTest::addColumn<QString>("ostat");
    QTest::addColumn<int>("signOutPart");

    QTest::newRow("sign-in in the last second of grace") << u"0"_s << u"091559"_s << u""_s << u""_s << -1;
    QTest::newRow("sign-in one second later") << u"0"_s << u"091600"_s << u"遲到"_s << u""_s << -1;
    QTest::newRow("sign-out at the earliest leave") << u"1"_s << u"164500"_s << u""_s << u""_s << 0;
    QTest::newRow("sign-out one second earlier") << u"1"_s << u"164459"_s << u""_s << u"早退"_s << 0;
    // The afternoon part is off: its bounds are 001559 and 0015.
    QTest::newRow("afternoon sign-in on a morning day") << u"2"_s << u"130000"_s << u""_s << u""_s << -1;
    QTest::newRow("afternoon sign-out") << u"3"_s << u"170000"_s << u""_s << u""_s << 1;
    QTest::newRow("time-card kind is ignored") << u"A"_s << u"080000"_s << u""_s << u""_s << -1;
}

void TestAttendanceRules::marksAtTheBoundsOfTheDay()
{
    QFETCH(QString, type);
    QFETCH(QString, time);
    QFETCH(QString, istat);
    QFETCH(QString, ostat);
    QFETCH(int, signOutPart);

    const DayWindows w = BuildDayWindows({Lesson(u"09:00"_s, u"17:00"_s, 8)}, ReportSettings());
    AttendanceRow row;
    QCOMPARE(ApplyEvent(row, type, time, w, HoursRollCallLimits()), signOutPart);
    QCOMPARE(row.istat[0], istat);
    QCOMPARE(row.ostat[0], ostat);
    if (type == u"2")
        QCOMPARE(row.istat[1], u"遲到"_s);
    if (type == u"A")
        QCOMPARE(row.iTime, (std::array<QString, 3>{}));
}

void TestAttendanceRules::laterEventsReplaceTimesButMarksStay()
{
    const DayWindows w = BuildDayWindows({Lesson(u"09:00"_s, u"17:00"_s, 8)}, ReportSettings());
    AttendanceRow row;
    ApplyEvent(row, u"0"_s, u"092000"_s, w, HoursRollCallLimits());
    ApplyEvent(row, u"0"_s, u"093000"_s, w, HoursRollCallLimits());
    ApplyEvent(row, u"1"_s, u"150000"_s, w, HoursRollCallLimits());
    ApplyEvent(row, u"1"_s, u"170500"_s, w, HoursRollCallLimits());
    QCOMPARE(row.iTime[0], u"093000"_s);
    QCOMPARE(row.oTime[0], u"170500"_s);
    QCOMPARE(row.istat[0], u"遲到"_s);
    QCOMPARE(row.ostat[0], u"早退"_s);
}

void TestAttendanceRules::rollCallSlots_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("slot");
    QTest::newRow("09:29") << u"092900"_s << 0;
    QTest::newRow("12:30 is still the morning's") << u"123000"_s << 0;
    QTest::newRow("12:59") << u"125959"_s << 0;
    QTest::newRow("13:00") << u"130000"_s << 1;
    QTest::newRow("18:30 is still the afternoon's") << u"183000"_s << 1;
    QTest::newRow("18:59") << u"185959"_s << 1;
    QTest::newRow("19:00") << u"190000"_s << 2;
}

void TestAttendanceRules::rollCallSlots()
{
    QFETCH(QString, time);
    QFETCH(int, slot);
    // The sheets compare with other texts; six-digit times fall into the same parts.
    QCOMPARE(RollCallSlot(time, HoursRollCallLimits()), slot);
    QCOMPARE(RollCallSlot(time, SheetRollCallLimits()), slot);

    AttendanceRow row;
    ApplyEvent(row, u"9"_s, time, DayWindows(), HoursRollCallLimits());
    QCOMPARE(row.pTime[slot], time);
}

// ---- Pair hours ------------------------------------------------------------------------------

void TestAttendanceRules::pairHours_data()
{
    QTest::addColumn<Lessons>("lessons");
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("hours");
    QTest::addColumn<QList<int>>("marked");

    const Lessons oneHour{Lesson(u"09:00"_s, u"10:00"_s, 1)};
    QTest::newRow("45 minutes of a one-hour lesson") << oneHour << u"091000"_s << u"095500"_s << 1 << QList<int>{1};
    QTest::newRow("44 minutes") << oneHour << u"091000"_s << u"095400"_s << 0 << QList<int>{};
    const Lessons threeHours{Lesson(u"09:00"_s, u"12:00"_s, 3)};
    QTest::newRow("grace on both sides") << threeHours << u"091400"_s << u"115000"_s << 3 << QList<int>{};
    QTest::newRow("09:05 to 12:00 is 175 minutes") << threeHours << u"092000"_s << u"115000"_s << 2 << QList<int>{};
    QTest::newRow("no sign-out") << threeHours << u"091400"_s << u" "_s << 0 << QList<int>{};
    QTest::newRow("sign-in after the sign-out") << threeHours << u"113000"_s << u"091000"_s << 0 << QList<int>{};
    QTest::newRow("pair outside the lesson") << threeHours << u"130000"_s << u"150000"_s << 0 << QList<int>{};
    const Lessons periods{Lesson(u"09:00"_s, u"10:00"_s, 1), Lesson(u"10:00"_s, u"11:00"_s, 1),
                          Lesson(u"11:00"_s, u"12:00"_s, 1), Lesson(u"13:00"_s, u"16:00"_s, 3)};
    QTest::newRow("periods are numbered in start order")
        << periods << u"093000"_s << u"150000"_s << 2 + 2 << QList<int>{2, 3};
    QTest::newRow("no approved hours") << Lessons{Lesson(u"09:00"_s, u"12:00"_s, 0)} << u"090000"_s
                                       << u"120000"_s << 0 << QList<int>{};
}

void TestAttendanceRules::pairHours()
{
    QFETCH(Lessons, lessons);
    QFETCH(QString, in);
    QFETCH(QString, out);
    QFETCH(int, hours);
    QFETCH(QList<int>, marked);

    QList<int> seen;
    QCOMPARE(PairHours(in, out, lessons, ReportSettings(), [&](int n) { seen << n; }), hours);
    QCOMPARE(seen, marked);
}

// ---- Roll calls ------------------------------------------------------------------------------

void TestAttendanceRules::rollCall_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("signTime");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("passed");
    QTest::addColumn<QString>("message");

    QTest::newRow("no roll call") << false << u""_s << 30 << 1 << u""_s;
    QTest::newRow("not answered") << true << u""_s << 30 << 0 << u"點名未到"_s;
    QTest::newRow("a minute early") << true << u"092900"_s << 30 << 0 << u"點名提前簽到"_s;
    QTest::newRow("at the minute") << true << u"093000"_s << 30 << 1 << u""_s;
    QTest::newRow("at the limit") << true << u"100000"_s << 30 << 1 << u""_s;
    QTest::newRow("past the limit") << true << u"100100"_s << 30 << 0 << u"點名簽到超過30分鐘"_s;
    QTest::newRow("limit 0: the minute itself") << true << u"093059"_s << 0 << 1 << u""_s;
    QTest::newRow("limit 0: a minute later") << true << u"093100"_s << 0 << 0 << u"點名簽到超過0分鐘"_s;
}

void TestAttendanceRules::rollCall()
{
    QFETCH(bool, set);
    QFETCH(QString, signTime);
    QFETCH(int, limit);
    QFETCH(int, passed);
    QFETCH(QString, message);

    const RollCallCheck c = CheckRollCall(set, u"09:30"_s, signTime, limit);
    QCOMPARE(c.passed, passed);
    QCOMPARE(c.message, message);
}

// ---- Credit of a lesson ----------------------------------------------------------------------

void TestAttendanceRules::segmentCodes_data()
{
    QTest::addColumn<ReportLesson>("lesson");
    QTest::addColumn<bool>("classRow");
    QTest::addColumn<QString>("code");

    QTest::newRow("morning") << Lesson(u"09:00"_s, u"12:00"_s, 3) << false << u"100"_s;
    QTest::newRow("starting at noon is the afternoon's") << Lesson(u"12:00"_s, u"13:00"_s, 1) << false << u"010"_s;
    QTest::newRow("evening") << Lesson(u"18:00"_s, u"21:00"_s, 3) << false << u"001"_s;
    QTest::newRow("across lunch") << Lesson(u"09:00"_s, u"17:00"_s, 7, u"12:00"_s, u"13:00"_s) << false << u"110"_s;
    QTest::newRow("across dinner") << Lesson(u"13:30"_s, u"21:00"_s, 6, {}, {}, u"17:30"_s, u"18:30"_s) << false << u"011"_s;
    QTest::newRow("all day")
        << Lesson(u"09:00"_s, u"21:00"_s, 9, u"12:00"_s, u"13:00"_s, u"17:00"_s, u"18:00"_s) << false << u"111"_s;
    QTest::newRow("class row across lunch") << Lesson(u"09:00"_s, u"17:00"_s, 7) << true << u"110"_s;
    QTest::newRow("class row into the evening") << Lesson(u"13:30"_s, u"20:00"_s, 5) << true << u"011"_s;
}

void TestAttendanceRules::segmentCodes()
{
    QFETCH(ReportLesson, lesson);
    QFETCH(bool, classRow);
    QFETCH(QString, code);
    QCOMPARE(SegmentCodeOf(lesson, classRow), code);
}

// The exact bounds of the day parts: the station's part of a lesson (against the day template
// 09:30 12:00 13:30 17:30 18:30 21:30), the parts the reports give a day of that one lesson
// (with lunch and dinner named, so that it is not taken as a morning-only day) and the segment
// code of the lesson without breaks.
void TestAttendanceRules::partBoundariesOfALesson_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("stationPart");
    QTest::addColumn<QString>("reportParts"); // morning, afternoon, evening on
    QTest::addColumn<QString>("code");

    QTest::newRow("09:00-17:30 ends at the dinner break")
        << u"09:00"_s << u"17:30"_s << u"4"_s << u"110"_s << u"100"_s;
    QTest::newRow("12:30 start is the afternoon's, not the morning's")
        << u"12:30"_s << u"15:30"_s << u"2"_s << u"010"_s << u"010"_s;
    QTest::newRow("12:29 start: the reports add the morning")
        << u"12:29"_s << u"15:30"_s << u"2"_s << u"110"_s << u"010"_s;
    QTest::newRow("ending at 18:30 has no evening part")
        << u"13:30"_s << u"18:30"_s << u"2"_s << u"010"_s << u"010"_s;
    QTest::newRow("ending at 18:31 has one")
        << u"13:30"_s << u"18:31"_s << u"5"_s << u"011"_s << u"010"_s;
    QTest::newRow("17:45 start is the evening pair")
        << u"17:45"_s << u"20:45"_s << u"3"_s << u"011"_s << u"001"_s;
    QTest::newRow("17:30 start is the evening pair")
        << u"17:30"_s << u"20:30"_s << u"3"_s << u"011"_s << u"001"_s;
    QTest::newRow("17:29 start is the afternoon's")
        << u"17:29"_s << u"18:29"_s << u"2"_s << u"010"_s << u"010"_s;
}

void TestAttendanceRules::partBoundariesOfALesson()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, stationPart);
    QFETCH(QString, reportParts);
    QFETCH(QString, code);

    const QString dayTemplate = u"093012001330173018302130"_s;
    QCOMPARE(DayPartOfLesson(QString(), QString(start).remove(u':'), QString(end).remove(u':'),
                             dayTemplate),
             stationPart);
    const DayWindows w = BuildDayWindows(
        {Lesson(start, end, 3, u"12:00"_s, u"13:30"_s, u"17:30"_s, u"18:30"_s)}, ReportSettings());
    QString parts;
    for (const bool on : w.partOn)
        parts += on ? u'1' : u'0';
    QCOMPARE(parts, reportParts);
    QCOMPARE(SegmentCodeOf(Lesson(start, end, 3), false), code);
}

void TestAttendanceRules::stationPairShift_data()
{
    QTest::addColumn<ReportLesson>("lesson");
    QTest::addColumn<int>("shift");
    QTest::addColumn<QString>("signOutStandsFor");

    QTest::newRow("morning lesson") << Lesson(u"09:00"_s, u"12:00"_s, 3, u"12:00"_s, u"13:30"_s) << 0 << u"1"_s;
    QTest::newRow("lesson across lunch") << Lesson(u"09:00"_s, u"16:00"_s, 6, u"12:00"_s, u"13:00"_s) << 0 << u"1"_s;
    QTest::newRow("afternoon lesson") << Lesson(u"13:30"_s, u"16:30"_s, 3, u"12:00"_s, u"13:00"_s) << 2 << u"3"_s;
    QTest::newRow("evening lesson") << Lesson(u"18:30"_s, u"21:00"_s, 2, u"12:00"_s, u"13:00"_s) << 4 << u"5"_s;
}

void TestAttendanceRules::stationPairShift()
{
    QFETCH(ReportLesson, lesson);
    QFETCH(int, shift);
    QFETCH(QString, signOutStandsFor);
    QCOMPARE(StationPairShift(lesson, u"093012001330173018302130"_s), shift);
    QCOMPARE(TypeWithShift(u"1"_s, shift), signOutStandsFor);
    QCOMPARE(TypeWithShift(u"9"_s, shift), u"9"_s);
}

void TestAttendanceRules::credit_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<ReportLesson>("lesson");
    QTest::addColumn<QStringList>("times"); // iTime, oTime, iTime2, oTime2, iTime3, oTime3, pTime1, pTime2, pTime3
    QTest::addColumn<int>("hours");
    QTest::addColumn<QStringList>("t");
    QTest::addColumn<QString>("message");

    const ReportLesson oneHour = Lesson(u"09:00"_s, u"10:00"_s, 1);
    QTest::newRow("one hour, 45 minutes")
        << u"100"_s << oneHour << QStringList{u"091000"_s, u"095500"_s} << 1
        << QStringList{u"09:10"_s, u"09:55"_s, {}, {}, {}, {}} << u""_s;
    QTest::newRow("one hour, 44 minutes")
        << u"100"_s << oneHour << QStringList{u"091000"_s, u"095400"_s} << 0
        << QStringList{u"09:10"_s, u"09:54"_s, {}, {}, {}, {}} << u""_s;
    const ReportLesson threeHours = Lesson(u"09:00"_s, u"12:00"_s, 3);
    QTest::newRow("three hours with grace")
        << u"100"_s << threeHours << QStringList{u"091400"_s, u"115000"_s} << 3
        << QStringList{u"09:14"_s, u"11:50"_s, {}, {}, {}, {}} << u""_s;
    QTest::newRow("three hours, late by 20 minutes")
        << u"100"_s << threeHours << QStringList{u"092000"_s, u"115000"_s} << 2
        << QStringList{u"09:20"_s, u"11:50"_s, {}, {}, {}, {}} << u""_s;
    QTest::newRow("sign-in only")
        << u"100"_s << threeHours << QStringList{u"090000"_s, u""_s} << 0
        << QStringList{u"09:00"_s, {}, {}, {}, {}, {}} << u""_s;
    QTest::newRow("sign-out only")
        << u"100"_s << threeHours << QStringList{u""_s, u"120000"_s} << 0
        << QStringList{{}, u"12:00"_s, {}, {}, {}, {}} << u""_s;

    // The morning roll call at 09:30 (the day windows below carry it).
    const ReportLesson rollCalled = WithRollCalls(Lesson(u"09:00"_s, u"17:00"_s, 8), u"09:30"_s);
    const QStringList day{u"090000"_s, u"170000"_s, {}, {}, {}, {}}; // then pTime1
    QTest::newRow("roll call early") << u"100"_s << rollCalled << (day + QStringList{u"092900"_s}) << 0
                                     << QStringList{u"09:00"_s, u"17:00"_s, {}, {}, {}, {}} << u"點名提前簽到"_s;
    QTest::newRow("roll call at the limit") << u"100"_s << rollCalled << (day + QStringList{u"100000"_s}) << 8
                                            << QStringList{u"09:00"_s, u"17:00"_s, {}, {}, {}, {}} << u""_s;
    QTest::newRow("roll call too late") << u"100"_s << rollCalled << (day + QStringList{u"100100"_s}) << 0
                                        << QStringList{u"09:00"_s, u"17:00"_s, {}, {}, {}, {}}
                                        << u"點名簽到超過30分鐘"_s;

    // 09:00-12:00 and 13:00-17:00 in one lesson: n1 = 3, n2 = 4.
    const ReportLesson acrossLunch = Lesson(u"09:00"_s, u"17:00"_s, 7, u"12:00"_s, u"13:00"_s);
    QTest::newRow("across lunch, one swipe at noon")
        << u"110"_s << acrossLunch << QStringList{u"085500"_s, u"121000"_s, u""_s, u"170000"_s} << 3 + 4
        << QStringList{u"08:55"_s, u"12:10"_s, u"12:10"_s, u"17:00"_s, {}, {}} << u""_s;
    QTest::newRow("across lunch, afternoon sign-in taken for the morning sign-out")
        << u"110"_s << acrossLunch << QStringList{u"085500"_s, u""_s, u"125500"_s, u"164000"_s} << 3 + 3
        << QStringList{u"08:55"_s, u"12:55"_s, u"12:55"_s, u"16:40"_s, {}, {}} << u""_s;
    QTest::newRow("across lunch, no afternoon sign-out")
        << u"110"_s << acrossLunch << QStringList{u"085500"_s, u"120500"_s, u"125500"_s, u""_s} << 3
        << QStringList{u"08:55"_s, u"12:05"_s, u"12:55"_s, {}, {}, {}} << u""_s;
    // A failing morning roll call costs the morning; the afternoon check clears the message.
    const ReportLesson lunchRollCall = WithRollCalls(acrossLunch, u"09:30"_s, u"13:30"_s);
    QTest::newRow("the last check's message stays")
        << u"110"_s << lunchRollCall
        << QStringList{u"085500"_s, u"120000"_s, u"125500"_s, u"170000"_s, {}, {}, u"110000"_s, u"133000"_s}
        << 4 << QStringList{u"08:55"_s, u"12:00"_s, u"12:55"_s, u"17:00"_s, {}, {}} << u""_s;
    QTest::newRow("a failing last check leaves its message")
        << u"110"_s << lunchRollCall
        << QStringList{u"085500"_s, u"120000"_s, u"125500"_s, u"170000"_s, {}, {}, u"093000"_s, u""_s}
        << 3 << QStringList{u"08:55"_s, u"12:00"_s, u"12:55"_s, u"17:00"_s, {}, {}} << u"點名未到"_s;

    // A morning lesson that names the lunch break has no afternoon part: no hour from the
    // inverted window after lunch, and no afternoon roll-call message on the morning.
    const ReportLesson morningNamingLunch = Lesson(u"09:00"_s, u"12:00"_s, 3, u"12:00"_s, u"13:00"_s);
    QTest::newRow("morning lesson naming lunch, a later sign-out on its key")
        << u"110"_s << morningNamingLunch << QStringList{u"085500"_s, u"120500"_s, {}, u"160000"_s} << 3
        << QStringList{u"08:55"_s, u"12:05"_s, u"12:05"_s, u"16:00"_s, {}, {}} << u""_s;
    QTest::newRow("morning lesson naming lunch, afternoon roll call of the day")
        << u"110"_s << WithRollCalls(morningNamingLunch, u"09:30"_s, u"14:00"_s)
        << QStringList{u"085500"_s, u"120500"_s, {}, {}, {}, {}, u"093200"_s} << 3
        << QStringList{u"08:55"_s, u"12:05"_s, u"12:05"_s, {}, {}, {}} << u""_s;

    // Every lesson of an imported day names the day's lunch break: each is credited over its own
    // span and never above its approved hours, however long the person stays.
    QTest::newRow("one-hour lesson of a day with break fields, stays until 12:05")
        << u"110"_s << Lesson(u"09:00"_s, u"10:00"_s, 1, u"12:00"_s, u"13:00"_s)
        << QStringList{u"085500"_s, u"120500"_s} << 1
        << QStringList{u"08:55"_s, u"12:05"_s, u"12:05"_s, {}, {}, {}} << u""_s;
    QTest::newRow("two-hour lesson of a day with break fields, stays until 12:05")
        << u"110"_s << Lesson(u"09:00"_s, u"11:00"_s, 2, u"12:00"_s, u"13:00"_s)
        << QStringList{u"085500"_s, u"120500"_s} << 2
        << QStringList{u"08:55"_s, u"12:05"_s, u"12:05"_s, {}, {}, {}} << u""_s;
    QTest::newRow("afternoon lesson of a day with break fields, stays until dinner")
        << u"011"_s << Lesson(u"14:00"_s, u"16:00"_s, 2, u"12:00"_s, u"13:00"_s, u"17:30"_s, u"18:30"_s)
        << QStringList{{}, {}, u"135500"_s, u"173000"_s} << 2
        << QStringList{{}, {}, u"13:55"_s, u"17:30"_s, {}, {}} << u""_s;
    QTest::newRow("approved hours cap a lesson across lunch")
        << u"110"_s << Lesson(u"09:00"_s, u"17:00"_s, 6, u"12:00"_s, u"13:00"_s)
        << QStringList{u"085500"_s, u"120000"_s, u"125500"_s, u"170000"_s} << 6
        << QStringList{u"08:55"_s, u"12:00"_s, u"12:55"_s, u"17:00"_s, {}, {}} << u""_s;
    // A lunch break from the lesson's start leaves the morning part empty: no hour and no
    // roll-call message from it; the afternoon part is credited.
    QTest::newRow("break from the lesson's start")
        << u"110"_s << WithRollCalls(Lesson(u"09:00"_s, u"17:00"_s, 7, u"09:00"_s, u"10:00"_s), u"09:30"_s)
        << QStringList{u"095500"_s, u""_s, u""_s, u"170000"_s} << 7
        << QStringList{u"09:55"_s, {}, {}, u"17:00"_s, {}, {}} << u""_s;

    const ReportLesson acrossDinner = Lesson(u"13:00"_s, u"21:00"_s, 7, {}, {}, u"17:00"_s, u"18:00"_s);
    QTest::newRow("across dinner")
        << u"011"_s << acrossDinner << QStringList{{}, {}, u"125000"_s, u"170500"_s, u"175500"_s, u"204500"_s} << 4 + 3
        << QStringList{{}, {}, u"12:50"_s, u"17:05"_s, u"17:55"_s, u"20:45"_s} << u""_s;

    // The whole day without grace: 08:55 counts from 09:00, 09:01 loses the first hour.
    const ReportLesson allDay = Lesson(u"09:00"_s, u"21:00"_s, 10, u"12:00"_s, u"13:00"_s, u"17:00"_s, u"18:00"_s);
    QTest::newRow("all day from 08:55")
        << u"111"_s << allDay
        << QStringList{u"085500"_s, u"120000"_s, u"130000"_s, u"170000"_s, u"180000"_s, u"210000"_s} << 3 + 4 + 3
        << QStringList{u"08:55"_s, u"12:00"_s, u"13:00"_s, u"17:00"_s, u"18:00"_s, u"21:00"_s} << u""_s;
    // A missing sign-in counts from the window's start.
    QTest::newRow("all day from 09:01")
        << u"111"_s << allDay
        << QStringList{u"090100"_s, u"120000"_s, u"130000"_s, u"170000"_s, u""_s, u"210000"_s} << 2 + 4 + 3
        << QStringList{u"09:01"_s, u"12:00"_s, u"13:00"_s, u"17:00"_s, {}, u"21:00"_s} << u""_s;
    QTest::newRow("all day, approved hours cap the sum")
        << u"111"_s << Lesson(u"09:00"_s, u"21:00"_s, 9, u"12:00"_s, u"13:00"_s, u"17:00"_s, u"18:00"_s)
        << QStringList{u"085500"_s, u"120000"_s, u"130000"_s, u"170000"_s, u"180000"_s, u"210000"_s} << 9
        << QStringList{u"08:55"_s, u"12:00"_s, u"13:00"_s, u"17:00"_s, u"18:00"_s, u"21:00"_s} << u""_s;
    QTest::newRow("unknown code") << u"000"_s << allDay << QStringList{u"090000"_s, u"120000"_s} << 0
                                  << QStringList{{}, {}, {}, {}, {}, {}} << u""_s;
}

void TestAttendanceRules::credit()
{
    QFETCH(QString, code);
    QFETCH(ReportLesson, lesson);
    QFETCH(QStringList, times);
    QFETCH(int, hours);
    QFETCH(QStringList, t);
    QFETCH(QString, message);

    AttendanceRow row;
    for (int k = 0; k < 3; ++k) {
        row.iTime[k] = times.value(2 * k);
        row.oTime[k] = times.value(2 * k + 1);
        row.pTime[k] = times.value(6 + k);
    }
    const DayWindows w = BuildDayWindows({lesson}, ReportSettings());
    const LessonCredit c = CreditRow(code, row, lesson, w, ReportSettings());
    QCOMPARE(c.hours, hours);
    QCOMPARE(QStringList(c.t.begin(), c.t.end()), t);
    QCOMPARE(c.message, message);
}

// ---- Break merge -----------------------------------------------------------------------------

void TestAttendanceRules::breakMerge_data()
{
    QTest::addColumn<QString>("oTime");
    QTest::addColumn<QString>("iTime2");
    QTest::addColumn<QString>("mergedOut");
    QTest::addColumn<QString>("mergedIn");

    QTest::newRow("an afternoon sign-in in the break closes the morning")
        << u""_s << u"121000"_s << u"121000"_s << u"121000"_s;
    QTest::newRow("a morning sign-out in the break opens the afternoon")
        << u"120500"_s << u""_s << u"120500"_s << u"120500"_s;
    QTest::newRow("the last second of the afternoon's start minute")
        << u""_s << u"122059"_s << u"122059"_s << u"122059"_s;
    QTest::newRow("after the break") << u""_s << u"122100"_s << u""_s << u"122100"_s;
    QTest::newRow("before the break") << u"115900"_s << u""_s << u"115900"_s << u""_s;
    QTest::newRow("both present") << u"120000"_s << u"121500"_s << u"120000"_s << u"121500"_s;
}

void TestAttendanceRules::breakMerge()
{
    QFETCH(QString, oTime);
    QFETCH(QString, iTime2);
    QFETCH(QString, mergedOut);
    QFETCH(QString, mergedIn);

    // The morning ends at 12:00 and the afternoon starts at 12:20.
    DayWindows w;
    w.MergeMorningAfternoon = true;
    w.MorningEnd = u"1200"_s;
    w.AfternoonStart = u"1220"_s;
    AttendanceRow row;
    row.oTime[0] = oTime;
    row.iTime[1] = iTime2;
    row.istat[1] = u"遲到"_s;
    MergeBreakEvents(row, w);
    QCOMPARE(row.oTime[0], mergedOut);
    QCOMPARE(row.iTime[1], mergedIn);
    QCOMPARE(row.istat[1], u"遲到"_s);

    // Without the flag nothing moves.
    w.MergeMorningAfternoon = false;
    AttendanceRow untouched;
    untouched.oTime[0] = oTime;
    untouched.iTime[1] = iTime2;
    MergeBreakEvents(untouched, w);
    QCOMPARE(untouched.oTime[0], oTime);
    QCOMPARE(untouched.iTime[1], iTime2);
}

QTEST_GUILESS_MAIN(TestAttendanceRules)
#include "tst_attendancerules.moc"

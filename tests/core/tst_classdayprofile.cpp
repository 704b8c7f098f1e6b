// The class-day profile: which sign-event kinds a class day offers, at which reference times,
// with which roll calls, and how a day of only the afternoon or only the evening is offered.

#include "core/DbFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/ClassDayProfile.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/TestDatabase.h"

#include <QFile>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

using ClassRowOption = std::optional<ClassDayClassRow>;

const QString Day = u"2024/09/05"_s;

// A lesson of the day from "HH:MM" start and end; breaks and roll calls added by the helpers.
struct LessonBuilder
{
    ClassDayLesson lesson;

    LessonBuilder(const QString &start, const QString &end)
    {
        lesson.DateStart = Day;
        lesson.TimeStart = start;
        lesson.TimeEnd = end;
    }
    LessonBuilder &noon(const QString &from, const QString &to)
    {
        lesson.noonRS = from;
        lesson.noonRE = to;
        return *this;
    }
    LessonBuilder &night(const QString &from, const QString &to)
    {
        lesson.nightRS = from;
        lesson.nightRE = to;
        return *this;
    }
    LessonBuilder &rollCalls(const QString &r1, const QString &r2, const QString &r3)
    {
        lesson.R1 = r1;
        lesson.R2 = r2;
        lesson.R3 = r3;
        return *this;
    }
    operator ClassDayLesson() const { return lesson; }
};

LessonBuilder L(const QString &start, const QString &end)
{
    return LessonBuilder(start, end);
}

ClassRowOption OneDayClass(const QString &start, const QString &end, const QString &signType)
{
    return ClassDayClassRow{ Day, Day, start, end, signType };
}

ClassRowOption LongClass(const QString &signType = u"111111"_s)
{
    return ClassDayClassRow{ Day, u"2024/09/07"_s, u"09:00"_s, u"16:00"_s, signType };
}

QString Zeros24()
{
    return u"000000000000000000000000"_s;
}

} // namespace

Q_DECLARE_METATYPE(ClassDayLesson)
Q_DECLARE_METATYPE(ClassRowOption)

class TestClassDayProfile : public QObject
{
    Q_OBJECT

private slots:
    void dayPartRules_data();
    void dayPartRules();
    void kindFlagsOfDayPart_data();
    void kindFlagsOfDayPart();
    void referenceTimesOfOneLesson_data();
    void referenceTimesOfOneLesson();
    void breakFieldsReplaceTheTemplate_data();
    void breakFieldsReplaceTheTemplate();

    void profileOfADay_data();
    void profileOfADay();

    void loaderReadsTheClassDayFromTheDatabase();
};

// ---- Day parts -------------------------------------------------------------------------------

void TestClassDayProfile::dayPartRules_data()
{
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("dayTemplate");
    QTest::addColumn<QString>("part");

    const QString T = DefaultClassPeriods(); // 0930 1200 1330 1730 1830 2130
    QTest::newRow("morning: rule 3 overrides rule 2") << u""_s << u"0900"_s << u"1200"_s << T << u"1"_s;
    QTest::newRow("across lunch") << u""_s << u"0900"_s << u"1600"_s << T << u"4"_s;
    QTest::newRow("afternoon") << u""_s << u"1400"_s << u"1600"_s << T << u"2"_s;
    QTest::newRow("evening: rule 5 overrides rule 4") << u""_s << u"1745"_s << u"1815"_s << T << u"3"_s;
    QTest::newRow("evening") << u""_s << u"1900"_s << u"2100"_s << T << u"3"_s;
    QTest::newRow("across dinner") << u""_s << u"1400"_s << u"2100"_s << T << u"5"_s;
    QTest::newRow("whole day: rule 6 overrides rule 1") << u""_s << u"0900"_s << u"2100"_s << T << u"6"_s;
    QTest::newRow("no rule, first lesson") << u""_s << u"0900"_s << u"1800"_s << T << u""_s;
    QTest::newRow("no rule keeps the previous part") << u"1"_s << u"0900"_s << u"1800"_s << T << u"1"_s;
    QTest::newRow("a matching rule replaces the previous part")
        << u"3"_s << u"0900"_s << u"1100"_s << T << u"1"_s;
    QTest::newRow("bounds are inclusive: end at lunch end is morning")
        << u""_s << u"1100"_s << u"1330"_s << T << u"1"_s;
    QTest::newRow("start at lunch start is afternoon") << u""_s << u"1200"_s << u"1330"_s << T << u"2"_s;
    QTest::newRow("start at dinner start is evening") << u""_s << u"1730"_s << u"2000"_s << T << u"3"_s;
    // Without a dinner break rules 1, 2, 4, 5 and 6 are off: only "ends by lunch end" is left.
    QTest::newRow("no dinner break: afternoon fits no part")
        << u""_s << u"1400"_s << u"1600"_s << u"093012001330000000002130"_s << u""_s;
    QTest::newRow("no dinner break: morning still found")
        << u""_s << u"0900"_s << u"1100"_s << u"093012001330000000002130"_s << u"1"_s;
    // Without a lunch break: rules 2, 3, 4 and 6 are off.
    QTest::newRow("no lunch break: day lesson is afternoon and evening")
        << u""_s << u"0900"_s << u"2100"_s << u"093000000000173018302130"_s << u"5"_s;
}

void TestClassDayProfile::dayPartRules()
{
    QFETCH(QString, previous);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, dayTemplate);
    QFETCH(QString, part);
    QCOMPARE(DayPartOfLesson(previous, start, end, dayTemplate), part);
}

// ---- Kind flags ------------------------------------------------------------------------------

void TestClassDayProfile::kindFlagsOfDayPart_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("1") << u"1"_s << u"000000"_s << u"110000"_s;
    QTest::newRow("2") << u"2"_s << u"000000"_s << u"001100"_s;
    QTest::newRow("3") << u"3"_s << u"000000"_s << u"000011"_s;
    QTest::newRow("4") << u"4"_s << u"000000"_s << u"111100"_s;
    QTest::newRow("5") << u"5"_s << u"000000"_s << u"001111"_s;
    QTest::newRow("6") << u"6"_s << u"000000"_s << u"111111"_s;
    QTest::newRow("others are kept") << u"2"_s << u"100001"_s << u"101101"_s;
    QTest::newRow("no part") << u""_s << u"100001"_s << u"100001"_s;
    QTest::newRow("unknown part") << u"7"_s << u"010000"_s << u"010000"_s;
}

void TestClassDayProfile::kindFlagsOfDayPart()
{
    QFETCH(QString, part);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QCOMPARE(get_IOtype(part, before), after);
}

// ---- Reference times -------------------------------------------------------------------------

void TestClassDayProfile::referenceTimesOfOneLesson_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("after");

    // Template fields T2..T5: 1200 1330 1730 1830.
    QTest::newRow("1: first morning lesson") << u"1"_s << Zeros24() << u"0900"_s << u"1000"_s
                                             << u"090010000000000000000000"_s;
    QTest::newRow("1: later morning lesson moves only the end")
        << u"1"_s << u"090010000000000000000000"_s << u"1010"_s << u"1150"_s
        << u"090011500000000000000000"_s;
    QTest::newRow("2") << u"2"_s << u"090012000000000000000000"_s << u"1400"_s << u"1600"_s
                       << u"090012001400160000000000"_s;
    QTest::newRow("3") << u"3"_s << u"000000001400160019002050"_s << u"2055"_s << u"2130"_s
                       << u"000000001400160019002130"_s;
    QTest::newRow("4: breaks from the template") << u"4"_s << Zeros24() << u"0900"_s << u"1600"_s
                                                 << u"090012001330160000000000"_s;
    QTest::newRow("4: a set afternoon end is kept")
        << u"4"_s << u"000000001400170000000000"_s << u"0900"_s << u"1600"_s
        << u"090012001330170000000000"_s;
    QTest::newRow("5") << u"5"_s << Zeros24() << u"1400"_s << u"2100"_s
                       << u"000000001400173018302100"_s;
    QTest::newRow("5: a set afternoon start is kept")
        << u"5"_s << u"000000001330150000000000"_s << u"1400"_s << u"2100"_s
        << u"000000001330173018302100"_s;
    QTest::newRow("6 overwrites everything")
        << u"6"_s << u"080009001000110012001300"_s << u"0900"_s << u"2100"_s
        << u"090012001330173018302100"_s;
    QTest::newRow("no part") << u""_s << u"090012000000000000000000"_s << u"1300"_s << u"1400"_s
                             << u"090012000000000000000000"_s;
    // A time that is not "HHMM" would shift every later field.
    QTest::newRow("a time that is not four characters stays out")
        << u"1"_s << Zeros24() << u""_s << u"09:00:00"_s << Zeros24();
}

void TestClassDayProfile::referenceTimesOfOneLesson()
{
    QFETCH(QString, part);
    QFETCH(QString, before);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, after);
    QCOMPARE(get_TimeString(part, before, start, end, DefaultClassPeriods()), after);
}

void TestClassDayProfile::breakFieldsReplaceTheTemplate_data()
{
    QTest::addColumn<QStringList>("breaks");
    QTest::addColumn<QString>("after");

    QTest::newRow("all four") << QStringList{ u"1230"_s, u"1315"_s, u"1700"_s, u"1800"_s }
                              << u"093012301315170018002130"_s;
    QTest::newRow("blank, 0000 and wrong lengths keep the template")
        << QStringList{ u""_s, u"0000"_s, u"17:00"_s, u"900"_s } << DefaultClassPeriods();
    QTest::newRow("only the dinner end") << QStringList{ u""_s, u""_s, u""_s, u"1900"_s }
                                         << u"093012001330173019002130"_s;
}

void TestClassDayProfile::breakFieldsReplaceTheTemplate()
{
    QFETCH(QStringList, breaks);
    QFETCH(QString, after);
    QCOMPARE(restTimeString(breaks[0], breaks[1], breaks[2], breaks[3], DefaultClassPeriods()),
             after);
}

// ---- The whole day ---------------------------------------------------------------------------

void TestClassDayProfile::profileOfADay_data()
{
    QTest::addColumn<QList<ClassDayLesson>>("lessons");
    QTest::addColumn<ClassRowOption>("classRow");
    QTest::addColumn<QString>("times");
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<QString>("rollCalls");
    QTest::addColumn<int>("shift");

    using Lessons = QList<ClassDayLesson>;

    // Days with lessons in one or more parts.
    QTest::newRow("morning only") << Lessons{ L(u"09:00"_s, u"10:00"_s), L(u"10:10"_s, u"12:00"_s) }
                                  << LongClass() << u"090012000000000000000000"_s << u"110000"_s
                                  << u""_s << 0;
    QTest::newRow("morning and afternoon")
        << Lessons{ L(u"09:00"_s, u"12:00"_s), L(u"13:30"_s, u"16:30"_s) } << LongClass()
        << u"090012001330163000000000"_s << u"111100"_s << u""_s << 0;
    QTest::newRow("afternoon only is offered as the first pair")
        << Lessons{ L(u"14:00"_s, u"16:00"_s) } << LongClass() << u"000000001400160000000000"_s
        << u"110000"_s << u""_s << 2;
    QTest::newRow("evening only is offered as the first pair")
        << Lessons{ L(u"19:00"_s, u"21:00"_s) } << LongClass() << u"000000000000000019002100"_s
        << u"110000"_s << u""_s << 4;
    QTest::newRow("afternoon and evening are not rewritten")
        << Lessons{ L(u"14:00"_s, u"16:00"_s), L(u"19:00"_s, u"21:00"_s) } << LongClass()
        << u"000000001400160019002100"_s << u"001111"_s << u""_s << 0;
    QTest::newRow("all three parts")
        << Lessons{ L(u"09:00"_s, u"12:00"_s), L(u"13:30"_s, u"16:30"_s), L(u"19:00"_s, u"21:00"_s) }
        << LongClass() << u"090012001330163019002100"_s << u"111111"_s << u""_s << 0;
    QTest::newRow("one lesson all day") << Lessons{ L(u"09:00"_s, u"21:00"_s) } << LongClass()
                                        << u"090012001330173018302100"_s << u"111111"_s << u""_s
                                        << 0;

    // Break fields of a lesson.
    QTest::newRow("lunch break of the lesson closes the morning")
        << Lessons{ L(u"09:00"_s, u"17:00"_s).noon(u"12:30"_s, u"13:30"_s) } << LongClass()
        << u"090012301330170000000000"_s << u"111100"_s << u""_s << 0;
    // With the default lunch start (12:00) the second lesson would be an afternoon lesson.
    QTest::newRow("a replaced break holds for the later lessons")
        << Lessons{ L(u"09:00"_s, u"11:00"_s).noon(u"12:30"_s, u"13:30"_s), L(u"12:10"_s, u"12:25"_s) }
        << LongClass() << u"090012250000000000000000"_s << u"110000"_s << u""_s << 0;
    QTest::newRow("dinner break of the lesson across dinner")
        << Lessons{ L(u"14:00"_s, u"21:00"_s).night(u"17:00"_s, u"18:00"_s) } << LongClass()
        << u"000000001400170018002100"_s << u"001111"_s << u""_s << 0;

    // A lesson that fits no part.
    QTest::newRow("09:00-18:00 after a morning lesson counts as morning")
        << Lessons{ L(u"08:00"_s, u"08:50"_s), L(u"09:00"_s, u"18:00"_s) } << LongClass()
        << u"080018000000000000000000"_s << u"110000"_s << u""_s << 0;
    QTest::newRow("09:00-18:00 alone on a longer class gives nothing")
        << Lessons{ L(u"09:00"_s, u"18:00"_s) } << LongClass() << Zeros24() << u"000000"_s
        << u""_s << 0;
    QTest::newRow("09:00-18:00 alone on a one-day class uses the class")
        << Lessons{ L(u"09:00"_s, u"18:00"_s).rollCalls(u"08:50"_s, u""_s, u""_s) }
        << OneDayClass(u"08:30"_s, u"11:30"_s, u"101010"_s) << u"083011300000000000000000"_s
        << u"101010"_s << u"0850"_s << 0;

    // Roll calls.
    QTest::newRow("roll calls in lesson order, blanks left out")
        << Lessons{ L(u"09:00"_s, u"12:00"_s).rollCalls(u"08:50"_s, u""_s, u"19:00"_s),
                    L(u"13:30"_s, u"16:30"_s).rollCalls(u""_s, u" 14:00 "_s, u""_s) }
        << LongClass() << u"090012001330163000000000"_s << u"111100"_s << u"085019001400"_s << 0;

    // No lessons on the date.
    QTest::newRow("no lessons, one-day class: its own times and kinds")
        << Lessons{} << OneDayClass(u"08:30"_s, u"16:30"_s, u"111100"_s)
        << u"083012001330163000000000"_s << u"111100"_s << u""_s << 0;
    QTest::newRow("no lessons, one-day class with SignType 000000")
        << Lessons{} << OneDayClass(u"09:00"_s, u"12:00"_s, u"000000"_s)
        << u"090012000000000000000000"_s << u"000000"_s << u""_s << 0;
    QTest::newRow("no lessons, one-day afternoon class is not shifted")
        << Lessons{} << OneDayClass(u"14:00"_s, u"16:00"_s, u"001100"_s)
        << u"000000001400160000000000"_s << u"001100"_s << u""_s << 0;
    QTest::newRow("no lessons, longer class") << Lessons{} << LongClass() << Zeros24()
                                              << u"000000"_s << u""_s << 0;
    QTest::newRow("no lessons, class without a row") << Lessons{} << ClassRowOption()
                                                     << Zeros24() << u"000000"_s << u""_s << 0;
    QTest::newRow("no lessons, one-day class without times keeps 24 characters")
        << Lessons{} << OneDayClass(u""_s, u""_s, u"110000"_s) << Zeros24() << u"110000"_s
        << u""_s << 0;
}

void TestClassDayProfile::profileOfADay()
{
    QFETCH(QList<ClassDayLesson>, lessons);
    QFETCH(ClassRowOption, classRow);
    QFETCH(QString, times);
    QFETCH(QString, kinds);
    QFETCH(QString, rollCalls);
    QFETCH(int, shift);

    const ClassDayProfile profile = ComputeClassDayProfile(lessons, classRow, DefaultClassPeriods());
    QCOMPARE(profile.ClsioTimeString, times);
    QCOMPARE(profile.ClsIOType, kinds);
    QCOMPARE(profile.ClsRollCallTimes, rollCalls);
    QCOMPARE(profile.ClsIOTypeShift, shift);
}

// ---- Through the database --------------------------------------------------------------------

void TestClassDayProfile::loaderReadsTheClassDayFromTheDatabase()
{
    TestDatabase station;
    const QString work = station.dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s, work));
    QString error;
    QVERIFY2(TestBackend::OpenWorkingDatabase(station.dm(), work, &error), qPrintable(error));

    const QString key = u"ABC1234567801"_s;
    ExecSql(u"insert into Courses (CourseId, Echelon, DateStart, DateEnd, TimeStart, TimeEnd, "
            "SignType) values (?, ?, ?, ?, ?, ?, ?)"_s,
            { u"ABC12345678"_s, u"01"_s, Day, u"2024/09/06"_s, u"09:00"_s, u"16:30"_s,
              u"111100"_s });
    const auto addLesson = [](const QString &indexKey, const QString &date, const QString &cno4,
                              const QString &start, const QString &end, const QString &r1,
                              const QString &r2) {
        ExecSql(u"insert into Course (INDEX_KEY, CNo4, DateStart, TimeStart, TimeEnd, R1, R2) "
                "values (?, ?, ?, ?, ?, ?, ?)"_s,
                { indexKey, cno4, date, start, end, r1, r2 });
    };
    // Stored out of order: the roll calls must still come in lesson order.
    addLesson(key, Day, u"0002"_s, u"13:30"_s, u"16:30"_s, u""_s, u"14:00"_s);
    addLesson(key, Day, u"0001"_s, u"09:00"_s, u"12:00"_s, u"08:50"_s, u""_s);
    addLesson(key, u"2024/09/06"_s, u"0003"_s, u"19:00"_s, u"21:00"_s, u""_s, u""_s);
    addLesson(u"ABC1234567802"_s, Day, u"0001"_s, u"19:00"_s, u"21:00"_s, u""_s, u""_s);
    // A one-day class whose number carries an apostrophe and that has no lessons.
    ExecSql(u"insert into Courses (CourseId, Echelon, DateStart, DateEnd, TimeStart, TimeEnd, "
            "SignType) values (?, ?, ?, ?, ?, ?, ?)"_s,
            { u"O'NEIL"_s, u"03"_s, Day, Day, u"19:00"_s, u"21:00"_s, u"000011"_s });

    // The whole day.
    ClassDayProfile day = get_IOtypeTimeString(station.dm().Con1(), key, Day, QString());
    QCOMPARE(day.ClsioTimeString, u"090012001330163000000000"_s);
    QCOMPARE(day.ClsIOType, u"111100"_s);
    QCOMPARE(day.ClsRollCallTimes, u"08501400"_s);
    QCOMPARE(day.ClsIOTypeShift, 0);

    // One lesson named by number and start time: the afternoon alone.
    day = get_IOtypeTimeString(station.dm().Con1(), key, Day, u"000213:30"_s);
    QCOMPARE(day.ClsIOType, u"110000"_s);
    QCOMPARE(day.ClsIOTypeShift, 2);
    QCOMPARE(day.ClsioTimeString, u"000000001330163000000000"_s);
    QCOMPARE(day.ClsRollCallTimes, u"1400"_s);

    // The station's own day template (section Baae): a lunch from 14:00 to 15:00 makes the
    // 13:30 lesson one across lunch. The settings window's key under Base is not read here.
    WriteIniSetting(IniSection::Base, IniKey::ClassPeriods, u"093010001100120013001400"_s);
    WriteIniSetting(IniSection::Baae, IniKey::ClassPeriods, u"093014001500173018302130"_s);
    day = get_IOtypeTimeString(station.dm().Con1(), key, Day, u"000213:30"_s);
    QCOMPARE(day.ClsioTimeString, u"133014001500163000000000"_s);
    QCOMPARE(day.ClsIOType, u"111100"_s);
    QCOMPARE(day.ClsIOTypeShift, 0);
    // A key stored empty counts as no setting.
    WriteIniSetting(IniSection::Baae, IniKey::ClassPeriods, u""_s);
    QCOMPARE(get_IOtypeTimeString(station.dm().Con1(), key, Day, u"000213:30"_s).ClsIOType, u"110000"_s);

    // A date without lessons of a two-day class.
    day = get_IOtypeTimeString(station.dm().Con1(), key, u"2024/09/07"_s, QString());
    QCOMPARE(day, ClassDayProfile());

    // The one-day class without lessons takes its own times and kinds, found by a bound key.
    day = get_IOtypeTimeString(station.dm().Con1(), u"O'NEIL03"_s, Day, QString());
    QCOMPARE(day.ClsioTimeString, u"000000000000000019002100"_s);
    QCOMPARE(day.ClsIOType, u"000011"_s);
    QCOMPARE(day.ClsIOTypeShift, 0);
}

QTEST_GUILESS_MAIN(TestClassDayProfile)
#include "tst_classdayprofile.moc"

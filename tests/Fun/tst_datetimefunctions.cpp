#include "Fun/DateTimeFunctions.h"

#include "base/RolvanError.h"
#include "mock/FixedClock.h"
#include "mock/ScriptedPrompter.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// 3 May 2025, 14:07:09.045, a Saturday.
const QDateTime Example(QDate(2025, 5, 3), QTime(14, 7, 9, 45));

// The day the fixed clock shows, chosen apart from every date the cases parse.
const QDate Today(2024, 2, 29);

QDateTime Midnight(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(0, 0));
}

const QString IntegerError = u"編號：:EConvertError\n'%1' is not a valid integer value"_s;

} // namespace

class TestDateTimeFunctions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void zeroPad_data();
    void zeroPad();
    void strToIntSafe_data();
    void strToIntSafe();
    void textHelpers();
    void weekdayChar_data();
    void weekdayChar();
    void timeToText();

    void formatDateByPattern_data();
    void formatDateByPattern();

    void parseDateByPattern_data();
    void parseDateByPattern();
    void parseDateByPatternRejectsBadDates_data();
    void parseDateByPatternRejectsBadDates();
    void parseDateByPatternReportsBadRocParts();
    void parseDateSafe_data();
    void parseDateSafe();
    void parseDateOrToday_data();
    void parseDateOrToday();

    void normalizeHHMM_data();
    void normalizeHHMM();
    void stripTimeColon_data();
    void stripTimeColon();
    void formatTimeByPattern_data();
    void formatTimeByPattern();
    void timeTextToMinutes_data();
    void timeTextToMinutes();
    void timeTextToSeconds_data();
    void timeTextToSeconds();
    void timeReadersRejectNonDigits_data();
    void timeReadersRejectNonDigits();
    void minutesToTimeText_data();
    void minutesToTimeText();
    void timeDiffMinutes_data();
    void timeDiffMinutes();
    void timeCalc_data();
    void timeCalc();

private:
    FixedClock m_clock{QDateTime(Today, QTime(9, 30))};
    ScriptedPrompter *m_prompter = nullptr;
};

void TestDateTimeFunctions::init()
{
    SetCurrentClock(&m_clock);
    m_prompter = new ScriptedPrompter;
}

void TestDateTimeFunctions::cleanup()
{
    delete m_prompter;
    m_prompter = nullptr;
    SetCurrentClock(nullptr);
}

// --- Numbers and text ---

void TestDateTimeFunctions::zeroPad_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("leading zero") << 7 << 2 << u"07"_s;
    QTest::newRow("zero") << 0 << 3 << u"000"_s;
    QTest::newRow("fills the width") << 99 << 2 << u"99"_s;
    QTest::newRow("year") << 2025 << 4 << u"2025"_s;
    QTest::newRow("wider than needed") << 5 << 12 << u"000000000005"_s;
    QTest::newRow("negative") << -5 << 2 << u"-05"_s;
    QTest::newRow("overflow 10^width") << 1000 << 3 << u"000"_s;
    QTest::newRow("overflow keeps digits of the sum") << 123 << 2 << u"23"_s;
    QTest::newRow("overflow carries into the kept digits") << 12345 << 2 << u"24"_s;
    QTest::newRow("negative overflow") << -123 << 2 << u"-23"_s;
    QTest::newRow("smallest int") << std::numeric_limits<int>::min() << 2 << u"-14"_s;
    QTest::newRow("largest int") << std::numeric_limits<int>::max() << 10 << u"2147483647"_s;
    QTest::newRow("no width") << 5 << 0 << QString();
}

void TestDateTimeFunctions::zeroPad()
{
    QFETCH(int, value);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(ZeroPad(value, width), expected);
}

void TestDateTimeFunctions::strToIntSafe_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("error");

    QTest::newRow("number") << u"42"_s << 42 << QString();
    QTest::newRow("leading zeros") << u"0099"_s << 99 << QString();
    QTest::newRow("blanks around") << u"  17 "_s << 17 << QString();
    QTest::newRow("negative") << u"-3"_s << -3 << QString();
    QTest::newRow("empty") << QString() << 0 << QString();
    QTest::newRow("blank") << u"   "_s << 0 << QString();
    QTest::newRow("letters") << u"abc"_s << 0 << IntegerError.arg(u"abc"_s);
    QTest::newRow("trailing letter") << u" 12a "_s << 0 << IntegerError.arg(u"12a"_s);
    QTest::newRow("inner blank") << u"1 2"_s << 0 << IntegerError.arg(u"1 2"_s);
    QTest::newRow("too large") << u"99999999999"_s << 0 << IntegerError.arg(u"99999999999"_s);
}

void TestDateTimeFunctions::strToIntSafe()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QFETCH(QString, error);

    QCOMPARE(StrToIntSafe(text), expected);
    QCOMPARE(m_prompter->errors, error.isEmpty() ? QStringList() : QStringList{error});
}

void TestDateTimeFunctions::textHelpers()
{
    QCOMPARE(MaxText(u"08:30"_s, u"10:05"_s), u"10:05"_s);
    QCOMPARE(MaxText(u"10:05"_s, u"08:30"_s), u"10:05"_s);
    QCOMPARE(MinText(u"08:30"_s, u"10:05"_s), u"08:30"_s);
    QCOMPARE(MinText(u"10:05"_s, u"08:30"_s), u"08:30"_s);
    // Ordinal comparison: upper case sorts before lower case.
    QCOMPARE(MaxText(u"a"_s, u"B"_s), u"a"_s);
    QCOMPARE(MinText(u"a"_s, u"B"_s), u"B"_s);

    QCOMPARE(CountChar(u"2025/05/03"_s, u'/'), 2);
    QCOMPARE(CountChar(u"114年05月03日"_s, u'年'), 1);
    QCOMPARE(CountChar(QString(), u':'), 0);
}

void TestDateTimeFunctions::weekdayChar_data()
{
    QTest::addColumn<int>("dayNumber");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Sunday") << 1 << u"日"_s;
    QTest::newRow("Wednesday") << 4 << u"三"_s;
    QTest::newRow("Saturday") << 7 << u"六"_s;
    QTest::newRow("eight is Sunday again") << 8 << u"日"_s;
    QTest::newRow("zero") << 0 << QString();
    QTest::newRow("nine") << 9 << QString();
}

void TestDateTimeFunctions::weekdayChar()
{
    QFETCH(int, dayNumber);
    QFETCH(QString, expected);
    QCOMPARE(WeekdayChar(dayNumber), expected);
}

void TestDateTimeFunctions::timeToText()
{
    QCOMPARE(TimeToHHMM(QTime(14, 7, 9)), u"1407"_s);
    QCOMPARE(TimeToHHMMSS(QTime(14, 7, 9)), u"140709"_s);
    QCOMPARE(TimeToHHMMSS(QTime(0, 0, 0)), u"000000"_s);
    QCOMPARE(TimeToHHMMSS(QTime(23, 59, 59, 999)), u"235959"_s);
}

// --- Date-time to text ---

void TestDateTimeFunctions::formatDateByPattern_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<QString>("expected");

    const QList<std::pair<QString, QString>> forms = {
        {u"YYYY/MM"_s, u"2025/05"_s},
        {u"YYYYMM"_s, u"202505"_s},
        {u"YYYYMMDD"_s, u"20250503"_s},
        {u"2西元年月日"_s, u"250503"_s},
        {u"YYYY-MM-DD"_s, u"2025-05-03"_s},
        {u"YYYY/MM/DD"_s, u"2025/05/03"_s},
        {u"YYYY.MM.DD"_s, u"2025.05.03"_s},
        {u"YYYY"_s, u"2025"_s},
        {u"YYY"_s, u"114"_s},
        {u"YYY/MM"_s, u"114/05"_s},
        {u"YYYMM"_s, u"11405"_s},
        {u"YYYMMDD"_s, u"1140503"_s},
        {u"4民國年月日"_s, u"01140503"_s},
        {u"民國年月日"_s, u"114年05月03日"_s},
        {u"年月日"_s, u"114年05月03日"_s},
        {u"YYY-MM-DD"_s, u"114-05-03"_s},
        {u"YYY/MM/DD"_s, u"114/05/03"_s},
        {u"MM/DD"_s, u"05/03"_s},
        {u"MM/DD()"_s, u"05/03(六)"_s},
        {u"MM/DDP()"_s, u"05/03\n(六)"_s},
        {u"HH:MM"_s, u"14:07"_s},
        {u"HHMM"_s, u"1407"_s},
        {u"HHMMSS"_s, u"140709"_s},
        {u"HH:MM:SS"_s, u"14:07:09"_s},
        {u"MM/DD HH:MM"_s, u"05/03 14:07"_s},
        {u"YYYYMMDDHHMMSSMS"_s, u"2025050314070945"_s},
        {u"YYYYMMDDHHMMSS"_s, u"20250503140709"_s},
        {u"YYYYMMDDHHMM"_s, u"202505031407"_s},
        {u"YYMMDDHHMMSS"_s, u"250503140709"_s},
        {u"YYYMMDDHHMMSS"_s, u"1140503140709"_s},
        {u"YYYY-MM-DD HH:MM:SS"_s, u"2025-05-03 14:07:09"_s},
        {u"YYY-MM-DD HH:MM:SS"_s, u"114-05-03 14:07:09"_s},
        {u"YYY-MM-DD HH:MM"_s, u"114-05-03 14:07"_s},
    };
    for (const auto &[pattern, expected] : forms)
        QTest::newRow(qUtf8Printable(pattern)) << pattern << Example << expected;

    QTest::newRow("lower case pattern") << u"yyymmdd"_s << Example << u"1140503"_s;
    QTest::newRow("YYYMMDD with two-digit month and day")
        << u"YYYMMDD"_s << QDateTime(QDate(2025, 12, 25), QTime(8, 0)) << u"1141225"_s;
    QTest::newRow("mixed case pattern") << u"Mm/dd hh:mm"_s << Example << u"05/03 14:07"_s;
    QTest::newRow("ROC year of two digits")
        << u"yyymmdd"_s << QDateTime(QDate(2010, 1, 5), QTime(8, 0)) << u"0990105"_s;
    QTest::newRow("empty pattern") << QString() << Example << u"2025/05/03"_s;
    QTest::newRow("unknown pattern") << u"DD.MM.YYYY"_s << Example << u"2025/05/03"_s;
    QTest::newRow("Sunday") << u"MM/DD()"_s << QDateTime(QDate(2025, 5, 4), QTime(8, 0))
                            << u"05/04(日)"_s;
    QTest::newRow("Wednesday") << u"MM/DD()"_s << QDateTime(QDate(2025, 5, 7), QTime(8, 0))
                               << u"05/07(三)"_s;
    QTest::newRow("milliseconds below ten")
        << u"YYYYMMDDHHMMSSMS"_s << QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9, 5))
        << u"2025050314070905"_s;
    QTest::newRow("milliseconds of three digits keep the last two")
        << u"YYYYMMDDHHMMSSMS"_s << QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9, 123))
        << u"2025050314070923"_s;
    QTest::newRow("midnight") << u"HH:MM:SS"_s << Midnight(2025, 1, 1) << u"00:00:00"_s;
}

void TestDateTimeFunctions::formatDateByPattern()
{
    QFETCH(QString, pattern);
    QFETCH(QDateTime, at);
    QFETCH(QString, expected);
    QCOMPARE(FormatDateByPattern(pattern, at), expected);
    if (at.time() == QTime(0, 0))
        QCOMPARE(FormatDateByPattern(pattern, at.date()), expected);
}

// --- Text to date ---

void TestDateTimeFunctions::parseDateByPattern_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QDate>("expected");

    const QDate may3(2025, 5, 3);
    QTest::newRow("YYYMMDD") << u"1140503"_s << u"YYYMMDD"_s << may3;
    QTest::newRow("yyymmdd") << u"1140503"_s << u"yyymmdd"_s << may3;
    QTest::newRow("empty pattern is ROC") << u"1140503"_s << QString() << may3;
    QTest::newRow("ROC two-digit year") << u"0990105"_s << u"YYYMMDD"_s << QDate(2010, 1, 5);
    QTest::newRow("ROC two-digit day") << u"1141225"_s << u"YYYMMDD"_s << QDate(2025, 12, 25);
    QTest::newRow("YY-MM-DD") << u"99-01-05"_s << u"YY-MM-DD"_s << QDate(2010, 1, 5);
    QTest::newRow("YY.MM.DD") << u"99.01.05"_s << u"yy.mm.dd"_s << QDate(2010, 1, 5);
    QTest::newRow("YY/MM/DD") << u"99/01/05"_s << u"YY/MM/DD"_s << QDate(2010, 1, 5);
    QTest::newRow("YYY-MM-DD") << u"114-05-03"_s << u"YYY-MM-DD"_s << may3;
    QTest::newRow("YYY.MM.DD") << u"114.05.03"_s << u"YYY.MM.DD"_s << may3;
    QTest::newRow("YYY/MM/DD") << u"114/05/03"_s << u"yyy/mm/dd"_s << may3;
    QTest::newRow("ROC first year") << u"0010101"_s << u"YYYMMDD"_s << QDate(1912, 1, 1);
    QTest::newRow("YYYY/MM/DD") << u"2025/05/03"_s << u"YYYY/MM/DD"_s << may3;
    QTest::newRow("YYYY-MM-DD") << u"2025-05-03"_s << u"yyyy-mm-dd"_s << may3;
    QTest::newRow("YYYY.MM.DD") << u"2025.05.03"_s << u"YYYY.MM.DD"_s << may3;
    QTest::newRow("YYYYMMDD") << u"20250503"_s << u"YYYYMMDD"_s << may3;
    QTest::newRow("leap day") << u"20240229"_s << u"YYYYMMDD"_s << QDate(2024, 2, 29);
    QTest::newRow("EYYMMDD") << u"250503"_s << u"EYYMMDD"_s << may3;
    QTest::newRow("unknown pattern gives the zero date")
        << u"03/05/2025"_s << u"DD/MM/YYYY"_s << QDate(1899, 12, 30);
}

void TestDateTimeFunctions::parseDateByPattern()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QDate, expected);
    QCOMPARE(ParseDateByPattern(text, pattern), expected);
    QVERIFY(m_prompter->errors.isEmpty());
}

void TestDateTimeFunctions::parseDateByPatternRejectsBadDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("inMessage");

    QTest::newRow("month 13") << u"1141303"_s << u"YYYMMDD"_s << u"2025/13/3"_s;
    QTest::newRow("30 February") << u"2025/02/30"_s << u"YYYY/MM/DD"_s << u"2025/02/30"_s;
    QTest::newRow("29 February in a common year")
        << u"20250229"_s << u"YYYYMMDD"_s << u"2025/02/29"_s;
    QTest::newRow("one-digit month misplaces the parts")
        << u"2025/5/3"_s << u"YYYY/MM/DD"_s << u"2025/5/"_s;
    QTest::newRow("day zero") << u"1140500"_s << u"YYYMMDD"_s << u"2025/5/0"_s;
    QTest::newRow("empty text") << QString() << u"YYYYMMDD"_s << u"//"_s;
    QTest::newRow("letters in a Gregorian part")
        << u"2025O503"_s << u"YYYYMMDD"_s << u"2025/O5/03"_s;
    QTest::newRow("EYYMMDD day 32") << u"250532"_s << u"EYYMMDD"_s << u"2025/05/32"_s;
}

void TestDateTimeFunctions::parseDateByPatternRejectsBadDates()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QString, inMessage);
    try {
        ParseDateByPattern(text, pattern);
        QFAIL("no ConversionError");
    } catch (const ConversionError &e) {
        QVERIFY2(e.message().contains(inMessage), qUtf8Printable(e.message()));
        QVERIFY(e.message().contains(u"日期"_s));
    }
}

void TestDateTimeFunctions::parseDateByPatternReportsBadRocParts()
{
    // A ROC part that is not a number is reported, counts as 0, and the date then fails.
    QVERIFY_THROWS_EXCEPTION(ConversionError, ParseDateByPattern(u"114ab03"_s, u"YYYMMDD"_s));
    QCOMPARE(m_prompter->errors, QStringList{IntegerError.arg(u"ab"_s)});
}

void TestDateTimeFunctions::parseDateSafe_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QDateTime>("expected");

    const QDateTime may3 = Midnight(2025, 5, 3);
    const QDateTime today = QDateTime(Today, QTime(0, 0));

    QTest::newRow("empty text, slashes") << QString() << u"YYYY/MM/DD"_s << today;
    QTest::newRow("empty text, ROC") << QString() << u"YYYMMDD"_s << today;
    QTest::newRow("empty text, unknown pattern") << QString() << u"XYZ"_s << today;
    QTest::newRow("blank text") << u"   "_s << u"YYYYMMDD"_s << today;

    QTest::newRow("empty pattern reads the whole text") << u"2025/5/3"_s << QString() << may3;
    QTest::newRow("YYYY/MM/DD reads the whole text") << u"2025/5/3"_s << u"yyyy/mm/dd"_s << may3;
    QTest::newRow("month 13 gives today") << u"2025/13/40"_s << u"YYYY/MM/DD"_s << today;
    QTest::newRow("dashes under empty pattern give today") << u"2025-05-03"_s << QString()
                                                           << today;
    QTest::newRow("YY-MM-DD") << u"99-01-05"_s << u"YY-MM-DD"_s << Midnight(2010, 1, 5);
    QTest::newRow("YY/MM/DD") << u"99/01/05"_s << u"yy/mm/dd"_s << Midnight(2010, 1, 5);
    QTest::newRow("YYY-MM-DD") << u"114-05-03"_s << u"YYY-MM-DD"_s << may3;
    QTest::newRow("YYY.MM.DD") << u"114.05.03"_s << u"yyy.mm.dd"_s << may3;
    QTest::newRow("YYYY-MM-DD") << u"2025-05-03"_s << u"YYYY-MM-DD"_s << may3;
    QTest::newRow("YYYY.MM.DD") << u"2025.05.03"_s << u"YYYY.MM.DD"_s << may3;
    QTest::newRow("MM/DD/YYYY") << u"05/03/2025"_s << u"MM/DD/YYYY"_s << may3;
    QTest::newRow("MM-DD-YYYY") << u"05-03-2025"_s << u"mm-dd-yyyy"_s << may3;
    QTest::newRow("MM.DD.YYYY") << u"05.03.2025"_s << u"MM.DD.YYYY"_s << may3;
    QTest::newRow("YYYMMDD") << u"1140503"_s << u"yyymmdd"_s << may3;
    QTest::newRow("YYYMMDD two-digit day")
        << u"1141231"_s << u"YYYMMDD"_s << Midnight(2025, 12, 31);
    QTest::newRow("YYMMDD") << u"990105"_s << u"YYMMDD"_s << Midnight(2010, 1, 5);
    QTest::newRow("YYYYMMDD") << u"20250503"_s << u"YYYYMMDD"_s << may3;
    QTest::newRow("YYYYMMDD invalid gives today") << u"20250230"_s << u"YYYYMMDD"_s << today;

    QTest::newRow("YYYYMMDDHHMMSS") << u"20250503140709"_s << u"YYYYMMDDHHMMSS"_s
                                    << QDateTime(QDate(2025, 5, 3), QTime(14, 7, 9));
    QTest::newRow("YYYYMMDDHHMM has seconds 00")
        << u"202505031407"_s << u"yyyymmddhhmm"_s << QDateTime(QDate(2025, 5, 3), QTime(14, 7));
    QTest::newRow("hour 25 gives today") << u"20250503250000"_s << u"YYYYMMDDHHMMSS"_s << today;
    QTest::newRow("missing seconds give today")
        << u"202505031407"_s << u"YYYYMMDDHHMMSS"_s << today;

    QTest::newRow("年月日") << u"2025年5月3日"_s << u"年月日"_s << may3;
    QTest::newRow("年月日 with blanks") << u"2025 年 05 月 03 日"_s << u"年月日"_s << may3;
    QTest::newRow("民國年月日") << u"114年05月03日"_s << u"民國年月日"_s << may3;
    QTest::newRow("年月日 with a ROC year gives today") << u"114年05月03日"_s << u"年月日"_s
                                                       << today;

    QTest::newRow("letters give today") << u"abc"_s << QString() << today;
    QTest::newRow("unknown pattern gives the zero date")
        << u"2025/05/03"_s << u"DD/MM/YYYY"_s << Midnight(1899, 12, 30);
}

void TestDateTimeFunctions::parseDateSafe()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QDateTime, expected);
    QCOMPARE(ParseDateSafe(text, pattern), expected);
}

void TestDateTimeFunctions::parseDateOrToday_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected");

    QTest::newRow("two digits") << u"2025/05/03"_s << QDate(2025, 5, 3);
    QTest::newRow("one digit") << u"2025/5/3"_s << QDate(2025, 5, 3);
    QTest::newRow("blanks around") << u" 2025/5/3 "_s << QDate(2025, 5, 3);
    QTest::newRow("empty") << QString() << Today;
    QTest::newRow("dashes") << u"2025-05-03"_s << Today;
    QTest::newRow("ROC year") << u"114/05/03"_s << Today;
    QTest::newRow("31 April") << u"2025/4/31"_s << Today;
    QTest::newRow("with a time") << u"2025/05/03 14:07"_s << Today;
}

void TestDateTimeFunctions::parseDateOrToday()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    QCOMPARE(ParseDateOrToday(text), expected);
}

// --- Times of day ---

void TestDateTimeFunctions::normalizeHHMM_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("HHMM") << u"0830"_s << u"08:30"_s;
    QTest::newRow("HH:MM:SS") << u"08:30:00"_s << u"08:30"_s;
    QTest::newRow("HH:MM") << u"08:30"_s << u"08:30"_s;
    QTest::newRow("HHMMSS") << u"083015"_s << u"08:30"_s;
    QTest::newRow("blanks around") << u" 0830 "_s << u"08:30"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blank") << u"  "_s << QString();
    QTest::newRow("three characters") << u"830"_s << u"830"_s;
    QTest::newRow("colon elsewhere") << u"8:30"_s << u"8:30"_s;
}

void TestDateTimeFunctions::normalizeHHMM()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(NormalizeHHMM(text), expected);
}

void TestDateTimeFunctions::stripTimeColon_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("HH:MM") << u"08:30"_s << u"0830"_s;
    QTest::newRow("HHMM") << u"0830"_s << u"0830"_s;
    QTest::newRow("HH:MM:SS") << u"08:30:00"_s << u"08:30:00"_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestDateTimeFunctions::stripTimeColon()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(StripTimeColon(text), expected);
}

void TestDateTimeFunctions::formatTimeByPattern_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    QTest::newRow("HHMM as HH:MM") << u"0830"_s << u"HH:MM"_s << u"08:30"_s;
    QTest::newRow("HHMM as HH:MM:SS") << u"0830"_s << u"HH:MM:SS"_s << u"08:30:00"_s;
    QTest::newRow("HH:MM as HH:MM:SS") << u"08:30"_s << u"HH:MM:SS"_s << u"08:30:00"_s;
    QTest::newRow("HHMMSS as HH:MM:SS") << u"083015"_s << u"HH:MM:SS"_s << u"08:30:15"_s;
    QTest::newRow("HH:MM stays") << u"08:30"_s << u"HH:MM"_s << u"08:30"_s;
    QTest::newRow("pattern compared exactly") << u"0830"_s << u"hh:mm"_s << u"0830"_s;
    QTest::newRow("empty pattern") << u"0830"_s << QString() << u"0830"_s;
    QTest::newRow("H:MM is not HHMM") << u"8:30"_s << u"HH:MM"_s << u"8:30"_s;
    QTest::newRow("H:MM is not HHMM either") << u"8:30"_s << u"HH:MM:SS"_s << u"8:30"_s;
    QTest::newRow("HH:MM:SS stays") << u"08:30:15"_s << u"HH:MM:SS"_s << u"08:30:15"_s;
}

void TestDateTimeFunctions::formatTimeByPattern()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(FormatTimeByPattern(text, pattern), expected);
}

void TestDateTimeFunctions::timeTextToMinutes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("HHMM") << u"0830"_s << 510;
    QTest::newRow("HH:MM") << u"08:30"_s << 510;
    QTest::newRow("blanks around") << u" 23:59 "_s << 1439;
    QTest::newRow("midnight") << u"0000"_s << 0;
    QTest::newRow("three characters") << u"830"_s << 0;
    QTest::newRow("HH:MM:SS") << u"08:30:00"_s << 0;
    QTest::newRow("empty") << QString() << 0;
}

void TestDateTimeFunctions::timeTextToMinutes()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(TimeTextToMinutes(text), expected);
}

void TestDateTimeFunctions::timeTextToSeconds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("afternoon") << u"140709"_s << 50829;
    QTest::newRow("midnight") << u"000000"_s << 0;
    QTest::newRow("last second") << u"235959"_s << 86399;
}

void TestDateTimeFunctions::timeTextToSeconds()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(TimeTextToSeconds(text), expected);
}

void TestDateTimeFunctions::timeReadersRejectNonDigits_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");

    QTest::newRow("minutes: letter in hours") << u"minutes"_s << u"0a30"_s << QString();
    QTest::newRow("minutes: letter in minutes") << u"minutes"_s << u"08:3x"_s << QString();
    QTest::newRow("minutes: sign") << u"minutes"_s << u"-830"_s << QString();
    QTest::newRow("seconds: colons") << u"seconds"_s << u"14:07:09"_s << QString();
    QTest::newRow("seconds: too short") << u"seconds"_s << u"1407"_s << QString();
    QTest::newRow("seconds: empty") << u"seconds"_s << QString() << QString();
    QTest::newRow("diff: letter") << u"diff"_s << u"08:3x"_s << u"10:05"_s;
    QTest::newRow("diff: mixed forms") << u"diff"_s << u"08:30"_s << u"1005"_s;
}

void TestDateTimeFunctions::timeReadersRejectNonDigits()
{
    QFETCH(QString, routine);
    QFETCH(QString, a);
    QFETCH(QString, b);
    try {
        if (routine == u"minutes")
            TimeTextToMinutes(a);
        else if (routine == u"seconds")
            TimeTextToSeconds(a);
        else
            TimeDiffMinutes(a, b);
        QFAIL("no ConversionError");
    } catch (const ConversionError &e) {
        QVERIFY2(e.message().contains(a), qUtf8Printable(e.message()));
    }
}

void TestDateTimeFunctions::minutesToTimeText_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("colon") << 75 << u":"_s << u"01:15"_s;
    QTest::newRow("no separator") << 75 << QString() << u"0115"_s;
    QTest::newRow("zero") << 0 << u":"_s << u"00:00"_s;
    QTest::newRow("last minute of the day") << 1439 << u":"_s << u"23:59"_s;
    QTest::newRow("beyond a day") << 1500 << QString() << u"2500"_s;
}

void TestDateTimeFunctions::minutesToTimeText()
{
    QFETCH(int, minutes);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(MinutesToTimeText(minutes, separator), expected);
}

void TestDateTimeFunctions::timeDiffMinutes_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    QTest::newRow("HH:MM") << u"08:30"_s << u"10:05"_s << 95;
    QTest::newRow("order does not matter") << u"10:05"_s << u"08:30"_s << 95;
    QTest::newRow("HHMM") << u"0830"_s << u"1005"_s << 95;
    QTest::newRow("same time") << u"12:00"_s << u"12:00"_s << 0;
    QTest::newRow("blanks around") << u" 08:30"_s << u"10:05 "_s << 95;
    QTest::newRow("first empty") << QString() << u"10:05"_s << 0;
    QTest::newRow("second blank") << u"08:30"_s << u"   "_s << 0;
}

void TestDateTimeFunctions::timeDiffMinutes()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(TimeDiffMinutes(a, b), expected);
}

void TestDateTimeFunctions::timeCalc_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("errorsShown");

    QTest::newRow("add with carry") << u"0950"_s << u"+"_s << u"0020"_s << u"1010"_s << 0;
    QTest::newRow("add keeps colon") << u"08:15"_s << u"+"_s << u"01:30"_s << u"09:45"_s << 0;
    QTest::newRow("add past midnight does not wrap")
        << u"23:50"_s << u"+"_s << u"00:20"_s << u"24:10"_s << 0;
    QTest::newRow("colon in b only") << u"0950"_s << u"+"_s << u"00:20"_s << u"09:20"_s << 0;
    QTest::newRow("subtract earlier from later")
        << u"09:50"_s << u"-"_s << u"10:20"_s << u"00:30"_s << 0;
    QTest::newRow("subtract either order") << u"10:20"_s << u"-"_s << u"09:50"_s << u"00:30"_s
                                           << 0;
    QTest::newRow("subtract HHMM") << u"1700"_s << u"-"_s << u"0830"_s << u"0830"_s << 0;
    QTest::newRow("subtract whole hours, no borrow")
        << u"13:30"_s << u"-"_s << u"12:30"_s << u"01:00"_s << 0;
    QTest::newRow("divide") << u"02:30"_s << u"/"_s << u"2"_s << u"01:15"_s << 0;
    QTest::newRow("divide truncates") << u"0001"_s << u"/"_s << u"2"_s << u"0000"_s << 0;
    QTest::newRow("divide by zero") << u"02:30"_s << u"/"_s << u"0"_s << u"00:00"_s << 0;
    QTest::newRow("divide by zero HHMM") << u"0230"_s << u"/"_s << u"0"_s << u"0000"_s << 0;
    QTest::newRow("multiply") << u"01:30"_s << u"*"_s << u"3"_s << u"04:30"_s << 0;
    QTest::newRow("multiply HHMM") << u"0045"_s << u"*"_s << u"4"_s << u"0300"_s << 0;
    QTest::newRow("multiply by negative") << u"01:30"_s << u"*"_s << u"-2"_s << u"00:00"_s << 0;
    QTest::newRow("unknown operator") << u"01:30"_s << u"%"_s << u"3"_s << u"00:00"_s << 0;
    QTest::newRow("unknown operator HHMM") << u"0130"_s << u"x"_s << u"3"_s << u"0000"_s << 0;
    QTest::newRow("bad part counts as 0")
        << u"09:5x"_s << u"+"_s << u"00:10"_s << u"09:10"_s << 1;
    QTest::newRow("bad divisor counts as 0") << u"02:30"_s << u"/"_s << u"two"_s << u"00:00"_s
                                             << 1;
}

void TestDateTimeFunctions::timeCalc()
{
    QFETCH(QString, a);
    QFETCH(QString, op);
    QFETCH(QString, b);
    QFETCH(QString, expected);
    QFETCH(int, errorsShown);
    QCOMPARE(TimeCalc(a, op, b), expected);
    QCOMPARE(m_prompter->errors.size(), errorsShown);
}

QTEST_GUILESS_MAIN(TestDateTimeFunctions)
#include "tst_datetimefunctions.moc"

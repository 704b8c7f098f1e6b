#include "Fun/DateTimeFunctions.h"

#include "base/RolvanError.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

#include <QHash>
#include <QStringList>

#include <initializer_list>

using namespace Qt::StringLiterals;

namespace {

constexpr int RocYearOffset = 1911;

// The date a routine gives for a pattern it does not know.
QDate ZeroDate()
{
    return QDate(1899, 12, 30);
}

// Characters `length` from the 1-based position `position`; short text gives what there is.
QString Mid(const QString &text, int position, int length)
{
    return text.mid(position - 1, length);
}

bool IsDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// ZeroPad of a value that is not negative (wide enough for the absolute value of any int).
QString PadDigits(qint64 value, int width)
{
    if (width <= 0)
        return {};
    const QString digits = QString::number(value);
    if (digits.size() <= width)
        return digits.rightJustified(width, u'0');
    // Too many digits: keep digits 2 .. width+1 of 10^width + value. Here width < 10, no overflow.
    qint64 power = 1;
    for (int i = 0; i < width; ++i)
        power *= 10;
    return QString::number(power + value).mid(1, width);
}

// Part of a time text read with a plain conversion: digits only.
int TimeDigits(const QString &part, const QString &whole)
{
    if (!IsDigits(part))
        throw ConversionError(u"時間「%1」不是正確的數字格式，無法轉換"_s.arg(whole));
    return part.toInt();
}

// Text in the station's date form "YYYY/M/D" (month and day with one or two digits).
QDate DateFromText(const QString &text)
{
    const QStringList parts = text.trimmed().split(u'/');
    if (parts.size() == 3 && parts[0].size() == 4 && IsDigits(parts[0])
        && parts[1].size() <= 2 && IsDigits(parts[1]) && parts[2].size() <= 2
        && IsDigits(parts[2])) {
        const QDate date(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
        if (date.isValid())
            return date;
    }
    throw ConversionError(u"「%1」不是正確的日期，日期應寫成「年/月/日」"_s.arg(text));
}

QDateTime AtMidnight(const QDate &date)
{
    return QDateTime(date, QTime(0, 0));
}

QDateTime Today()
{
    return AtMidnight(CurrentClock().today());
}

// Weekday with 1 = Sunday .. 7 = Saturday.
int SundayFirstDayNumber(const QDate &date)
{
    return date.dayOfWeek() % 7 + 1;
}

// --- Forms of FormatDateByPattern ---

struct DateForm
{
    const char16_t *pattern;
    const char16_t *form; // {YYYY}, {YY}, {YYY}, {RRRR}, {MM}, {DD}, {HH}, {NN}, {SS}, {MS}, {W}
};

// {YY}: last two digits of the year; {YYY}, {RRRR}: ROC year in three and four digits;
// {NN}: minutes; {MS}: milliseconds in two digits; {W}: weekday character.
constexpr DateForm DateForms[] = {
    {u"YYYY/MM", u"{YYYY}/{MM}"},
    {u"YYYYMM", u"{YYYY}{MM}"},
    {u"YYYYMMDD", u"{YYYY}{MM}{DD}"},
    {u"2西元年月日", u"{YY}{MM}{DD}"},
    {u"YYYY-MM-DD", u"{YYYY}-{MM}-{DD}"},
    {u"YYYY/MM/DD", u"{YYYY}/{MM}/{DD}"},
    {u"YYYY.MM.DD", u"{YYYY}.{MM}.{DD}"},
    {u"YYYY", u"{YYYY}"},
    {u"YYY", u"{YYY}"},
    {u"YYY/MM", u"{YYY}/{MM}"},
    {u"YYYMM", u"{YYY}{MM}"},
    {u"YYYMMDD", u"{YYY}{MM}{DD}"},
    {u"4民國年月日", u"{RRRR}{MM}{DD}"},
    {u"民國年月日", u"{YYY}年{MM}月{DD}日"},
    {u"年月日", u"{YYY}年{MM}月{DD}日"},
    {u"YYY-MM-DD", u"{YYY}-{MM}-{DD}"},
    {u"YYY/MM/DD", u"{YYY}/{MM}/{DD}"},
    {u"MM/DD", u"{MM}/{DD}"},
    {u"MM/DD()", u"{MM}/{DD}({W})"},
    {u"MM/DDP()", u"{MM}/{DD}\n({W})"},
    {u"HH:MM", u"{HH}:{NN}"},
    {u"HHMM", u"{HH}{NN}"},
    {u"HHMMSS", u"{HH}{NN}{SS}"},
    {u"HH:MM:SS", u"{HH}:{NN}:{SS}"},
    {u"MM/DD HH:MM", u"{MM}/{DD} {HH}:{NN}"},
    {u"YYYYMMDDHHMMSSMS", u"{YYYY}{MM}{DD}{HH}{NN}{SS}{MS}"},
    {u"YYYYMMDDHHMMSS", u"{YYYY}{MM}{DD}{HH}{NN}{SS}"},
    {u"YYYYMMDDHHMM", u"{YYYY}{MM}{DD}{HH}{NN}"},
    {u"YYMMDDHHMMSS", u"{YY}{MM}{DD}{HH}{NN}{SS}"},
    {u"YYYMMDDHHMMSS", u"{YYY}{MM}{DD}{HH}{NN}{SS}"},
    {u"YYYY-MM-DD HH:MM:SS", u"{YYYY}-{MM}-{DD} {HH}:{NN}:{SS}"},
    {u"YYY-MM-DD HH:MM:SS", u"{YYY}-{MM}-{DD} {HH}:{NN}:{SS}"},
    {u"YYY-MM-DD HH:MM", u"{YYY}-{MM}-{DD} {HH}:{NN}"},
};

// --- Places of year, month and day in a date text ---

enum class YearKind
{
    Gregorian, // four digits, parts taken as they stand
    Roc,       // ROC year; every part read as a number, 1911 added to the year
    Century20, // two digits after "20", parts taken as they stand
};

struct DateFields
{
    int yearPos;
    int yearLength;
    int monthPos; // month and day are two characters each
    int dayPos;
    YearKind year;
};

using FieldTable = QHash<QString, DateFields>;

void AddFields(FieldTable &table, std::initializer_list<const char16_t *> patterns,
               DateFields fields)
{
    for (const char16_t *pattern : patterns)
        table.insert(QString::fromUtf16(pattern), fields);
}

// The places ParseDateByPattern reads.
const FieldTable &ByPatternFields()
{
    static const FieldTable table = [] {
        FieldTable t;
        AddFields(t, {u"", u"YYYMMDD"}, {1, 3, 4, 6, YearKind::Roc});
        AddFields(t, {u"YY-MM-DD", u"YY.MM.DD", u"YY/MM/DD"}, {1, 2, 4, 7, YearKind::Roc});
        AddFields(t, {u"YYY-MM-DD", u"YYY.MM.DD", u"YYY/MM/DD"}, {1, 3, 5, 8, YearKind::Roc});
        AddFields(t, {u"YYYY/MM/DD", u"YYYY-MM-DD", u"YYYY.MM.DD"},
                  {1, 4, 6, 9, YearKind::Gregorian});
        AddFields(t, {u"YYYYMMDD"}, {1, 4, 5, 7, YearKind::Gregorian});
        AddFields(t, {u"EYYMMDD"}, {1, 2, 3, 5, YearKind::Century20});
        return t;
    }();
    return table;
}

// The places ParseDateSafe reads; "YYYY/MM/DD" and the Chinese forms are handled apart.
const FieldTable &SafeFields()
{
    static const FieldTable table = [] {
        FieldTable t;
        AddFields(t, {u"YY-MM-DD", u"YY.MM.DD", u"YY/MM/DD"}, {1, 2, 4, 7, YearKind::Roc});
        AddFields(t, {u"YYY-MM-DD", u"YYY.MM.DD", u"YYY/MM/DD"}, {1, 3, 5, 8, YearKind::Roc});
        AddFields(t, {u"YYYY-MM-DD", u"YYYY.MM.DD"}, {1, 4, 6, 9, YearKind::Gregorian});
        AddFields(t, {u"MM/DD/YYYY", u"MM-DD-YYYY", u"MM.DD.YYYY"},
                  {7, 4, 1, 4, YearKind::Gregorian});
        AddFields(t, {u"YYYMMDD"}, {1, 3, 4, 6, YearKind::Roc});
        AddFields(t, {u"YYMMDD"}, {1, 2, 3, 5, YearKind::Roc});
        AddFields(t, {u"YYYYMMDD"}, {1, 4, 5, 7, YearKind::Gregorian});
        return t;
    }();
    return table;
}

QDate ReadFields(const QString &text, const DateFields &f)
{
    const QString year = Mid(text, f.yearPos, f.yearLength);
    const QString month = Mid(text, f.monthPos, 2);
    const QString day = Mid(text, f.dayPos, 2);
    switch (f.year) {
    case YearKind::Roc:
        return DateFromText(QString::number(StrToIntSafe(year) + RocYearOffset) + u'/'
                            + QString::number(StrToIntSafe(month)) + u'/'
                            + QString::number(StrToIntSafe(day)));
    case YearKind::Century20:
        return DateFromText(u"20"_s + year + u'/' + month + u'/' + day);
    case YearKind::Gregorian:
        break;
    }
    return DateFromText(year + u'/' + month + u'/' + day);
}

// "YYYYMMDDHHMM[SS]": the date, and the time with seconds 00 when they are not given.
QDateTime ReadDateAndTime(const QString &text, bool withSeconds)
{
    const QDate date = ReadFields(text, {1, 4, 5, 7, YearKind::Gregorian});
    const QString hour = Mid(text, 9, 2);
    const QString minute = Mid(text, 11, 2);
    const QString second = withSeconds ? Mid(text, 13, 2) : u"00"_s;
    if (IsDigits(hour) && IsDigits(minute) && IsDigits(second)) {
        const QTime time(hour.toInt(), minute.toInt(), second.toInt());
        if (time.isValid())
            return QDateTime(date, time);
    }
    throw ConversionError(u"「%1」不是正確的時間，時間應寫成「時:分:秒」"_s.arg(text));
}

// "2025年5月3日" as "2025/5/3".
QString ChineseDateToSlashes(const QString &text)
{
    QString s = text;
    s.replace(u'年', u'/').replace(u'月', u'/');
    s.remove(u'日').remove(u' ');
    return s;
}

QDateTime ReadDateSafely(const QString &text, const QString &pattern)
{
    if (pattern == u"年月日")
        return AtMidnight(DateFromText(ChineseDateToSlashes(text)));
    if (pattern == u"民國年月日")
        return AtMidnight(ReadFields(ChineseDateToSlashes(text), SafeFields()[u"YYY/MM/DD"_s]));

    const QString p = pattern.toUpper();
    if (p.isEmpty() || p == u"YYYY/MM/DD")
        return AtMidnight(DateFromText(text));
    if (p == u"YYYYMMDDHHMMSS")
        return ReadDateAndTime(text, true);
    if (p == u"YYYYMMDDHHMM")
        return ReadDateAndTime(text, false);
    const auto found = SafeFields().constFind(p);
    if (found != SafeFields().cend())
        return AtMidnight(ReadFields(text, *found));
    return AtMidnight(ZeroDate());
}

// Hours and minutes of a time text for TimeCalc, the minutes at the 1-based `minutePos`.
struct HourMinute
{
    int hours;
    int minutes;
};

HourMinute ReadHourMinute(const QString &text, int minutePos)
{
    return {StrToIntSafe(Mid(text, 1, 2)), StrToIntSafe(Mid(text, minutePos, 2))};
}

} // namespace

// --- Numbers and text ---

QString ZeroPad(int value, int width)
{
    if (value < 0)
        return u'-' + PadDigits(-qint64(value), width);
    return PadDigits(value, width);
}

int StrToIntSafe(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0;
    bool ok = false;
    const int value = trimmed.toInt(&ok);
    if (ok)
        return value;
    CurrentPrompter().ShowError(u"編號："_s + u":EConvertError\n"_s
                                + u"'%1' is not a valid integer value"_s.arg(trimmed));
    return 0;
}

QString MaxText(const QString &a, const QString &b)
{
    return QString::compare(b, a, Qt::CaseSensitive) > 0 ? b : a;
}

QString MinText(const QString &a, const QString &b)
{
    return QString::compare(b, a, Qt::CaseSensitive) < 0 ? b : a;
}

int CountChar(const QString &text, QChar character)
{
    return int(text.count(character));
}

// --- Date-time to text ---

QString WeekdayChar(int dayNumber)
{
    static const QString days = u"日一二三四五六日"_s;
    if (dayNumber < 1 || dayNumber > days.size())
        return {};
    return days.at(dayNumber - 1);
}

QString TimeToHHMM(const QTime &time)
{
    return ZeroPad(time.hour(), 2) + ZeroPad(time.minute(), 2);
}

QString TimeToHHMMSS(const QTime &time)
{
    return TimeToHHMM(time) + ZeroPad(time.second(), 2);
}

QString FormatDateByPattern(const QString &pattern, const QDateTime &at)
{
    const QDate date = at.date();
    const QTime time = at.time();
    const QString year = ZeroPad(date.year(), 4);
    const QList<std::pair<QString, QString>> values = {
        {u"{YYYY}"_s, year},
        {u"{YY}"_s, year.mid(2, 2)},
        {u"{YYY}"_s, ZeroPad(date.year() - RocYearOffset, 3)},
        {u"{RRRR}"_s, ZeroPad(date.year() - RocYearOffset, 4)},
        {u"{MM}"_s, ZeroPad(date.month(), 2)},
        {u"{DD}"_s, ZeroPad(date.day(), 2)},
        {u"{HH}"_s, ZeroPad(time.hour(), 2)},
        {u"{NN}"_s, ZeroPad(time.minute(), 2)},
        {u"{SS}"_s, ZeroPad(time.second(), 2)},
        {u"{MS}"_s, ZeroPad(time.msec(), 2)},
        {u"{W}"_s, WeekdayChar(SundayFirstDayNumber(date))},
    };

    const QString p = pattern.toUpper();
    QString result = u"{YYYY}/{MM}/{DD}"_s;
    for (const DateForm &form : DateForms) {
        if (p == QStringView(form.pattern)) {
            result = QString::fromUtf16(form.form);
            break;
        }
    }
    for (const auto &[token, value] : values)
        result.replace(token, value);
    return result;
}

QString FormatDateByPattern(const QString &pattern, const QDate &date)
{
    return FormatDateByPattern(pattern, AtMidnight(date));
}

// --- Text to date ---

QDate ParseDateByPattern(const QString &text, const QString &pattern)
{
    const auto found = ByPatternFields().constFind(pattern.toUpper());
    if (found == ByPatternFields().cend())
        return ZeroDate();
    return ReadFields(text, *found);
}

QDateTime ParseDateSafe(const QString &text, const QString &pattern)
{
    if (text.trimmed().isEmpty())
        return Today();
    try {
        return ReadDateSafely(text, pattern);
    } catch (const ConversionError &) {
        return Today();
    }
}

QDate ParseDateOrToday(const QString &text)
{
    try {
        return DateFromText(text);
    } catch (const ConversionError &) {
        return CurrentClock().today();
    }
}

// --- Times of day ---

QString NormalizeHHMM(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() > 4 && t.at(2) == u':')
        return t.left(5);
    if (t.size() > 3 && !t.contains(u':'))
        return t.left(2) + u':' + t.mid(2, 2);
    return t;
}

QString StripTimeColon(const QString &text)
{
    if (text.size() == 5)
        return text.left(2) + text.mid(3, 2);
    return text;
}

QString FormatTimeByPattern(const QString &text, const QString &pattern)
{
    // Four and six characters are "HHMM" and "HHMMSS" only when there is no ":" in them.
    const bool digitsOnly = !text.contains(u':');
    if (pattern == u"HH:MM"_s && text.size() == 4 && digitsOnly)
        return text.left(2) + u':' + text.mid(2, 2);
    if (pattern != u"HH:MM:SS"_s)
        return text;
    if (text.size() == 4 && digitsOnly)
        return text.left(2) + u':' + text.mid(2, 2) + u":00";
    if (text.size() == 5 && text.at(2) == u':')
        return text + u":00";
    if (text.size() == 6 && digitsOnly)
        return text.left(2) + u':' + text.mid(2, 2) + u':' + text.mid(4, 2);
    return text;
}

int TimeTextToMinutes(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() != 4 && t.size() != 5)
        return 0;
    const int minutePos = t.size() == 4 ? 3 : 4;
    return TimeDigits(Mid(t, 1, 2), text) * 60 + TimeDigits(Mid(t, minutePos, 2), text);
}

int TimeTextToSeconds(const QString &text)
{
    return TimeDigits(Mid(text, 1, 2), text) * 3600 + TimeDigits(Mid(text, 3, 2), text) * 60
           + TimeDigits(Mid(text, 5, 2), text);
}

QString MinutesToTimeText(int minutes, const QString &separator)
{
    return ZeroPad(minutes / 60, 2) + separator + ZeroPad(minutes % 60, 2);
}

int TimeDiffMinutes(const QString &a, const QString &b)
{
    const QString ta = a.trimmed();
    const QString tb = b.trimmed();
    if (ta.isEmpty() || tb.isEmpty())
        return 0;
    const int minutePos = ta.contains(u':') && tb.contains(u':') ? 4 : 3;
    const int minutesA = TimeDigits(Mid(ta, 1, 2), a) * 60 + TimeDigits(Mid(ta, minutePos, 2), a);
    const int minutesB = TimeDigits(Mid(tb, 1, 2), b) * 60 + TimeDigits(Mid(tb, minutePos, 2), b);
    return qAbs(minutesA - minutesB);
}

QString TimeCalc(const QString &a, const QString &op, const QString &b)
{
    const int minutePos = a.contains(u':') || b.contains(u':') ? 4 : 3;
    int hours = 0;
    int minutes = 0;

    if (op == u"+") {
        const HourMinute x = ReadHourMinute(a, minutePos);
        const HourMinute y = ReadHourMinute(b, minutePos);
        hours = x.hours + y.hours;
        minutes = x.minutes + y.minutes;
        if (minutes >= 60) {
            minutes -= 60;
            hours += 1;
        }
    } else if (op == u"-") {
        const HourMinute later = ReadHourMinute(MaxText(a, b), minutePos);
        const HourMinute earlier = ReadHourMinute(MinText(a, b), minutePos);
        hours = later.hours - earlier.hours;
        minutes = later.minutes - earlier.minutes;
        if (minutes < 0) {
            minutes += 60;
            hours -= 1;
        }
    } else if (op == u"/" || op == u"*") {
        const HourMinute x = ReadHourMinute(a, minutePos);
        const int n = StrToIntSafe(b);
        const qint64 span = qint64(x.hours) * 60 + x.minutes;
        // Dividing by 0 has no answer: the result stays 0000.
        const qint64 total = op == u"*" ? span * n : (n != 0 ? span / n : 0);
        if (total > 0) {
            hours = int(total / 60);
            minutes = int(total - 60 * qint64(hours));
        }
    }

    return ZeroPad(hours, 2) + (minutePos == 4 ? u":"_s : QString()) + ZeroPad(minutes, 2);
}

std::optional<QDate> ReadStationDate(const QString &text)
{
    const QDate date = QDate::fromString(text.trimmed(), u"yyyy/M/d"_s);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QDate> ReadRocDate(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() != 7)
        return std::nullopt;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const QDate date(t.left(3).toInt() + 1911, t.mid(3, 2).toInt(), t.mid(5, 2).toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

#pragma once

#include <optional>

#include <QChar>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// Dates and times are kept as text throughout the system: "YYYY/MM/DD", the ROC form "YYYMMDD"
// (year minus 1911, three digits), "HH:MM" or "HHMM", and "HHMMSS" for event times. These
// routines turn date-times into such texts, read them back and compute with times of day.
//
// Text is turned into a date in the station's one date form: year, month and day separated by
// "/", a four-digit year, month and day of one or two digits. Text that does not make a valid date
// raises ConversionError. A date pattern the routines do not know yields the zero date,
// 30 December 1899.

// --- Numbers and text -------------------------------------------------------------------------

// The value in exactly `width` digits: the digits after the first one of 10^width + value, so
// ZeroPad(7, 2) is "07", ZeroPad(123, 2) is "23" and ZeroPad(1000, 3) is "000". A negative value
// gives "-" followed by ZeroPad of its absolute value.
QString ZeroPad(int value, int width);

// The whole number in the text (surrounding blanks ignored); empty text gives 0. Text that is not
// a whole number is reported in an error message and counts as 0.
int StrToIntSafe(const QString &text);

// a, or b when b sorts after (MaxText) or before (MinText) a; characters compared by code.
QString MaxText(const QString &a, const QString &b);
QString MinText(const QString &a, const QString &b);

int CountChar(const QString &text, QChar character);

// --- Date-time to text ------------------------------------------------------------------------

// One character of "日一二三四五六日" for a day number with 1 = Sunday .. 7 = Saturday
// (8 is Sunday again); empty for any other number.
QString WeekdayChar(int dayNumber);

QString TimeToHHMM(const QTime &time);   // "HHMM"
QString TimeToHHMMSS(const QTime &time); // "HHMMSS", the form of sign-event times

// The date-time in the form a pattern names ("YYYMMDD", "民國年月日", "MM/DD()", "HH:MM", ...);
// the pattern is compared in upper case. An empty or unknown pattern gives "YYYY/MM/DD".
QString FormatDateByPattern(const QString &pattern, const QDateTime &at);
QString FormatDateByPattern(const QString &pattern, const QDate &date);

// --- Text to date -----------------------------------------------------------------------------

// Reads the year, month and day of the text at the places the pattern names (compared in upper
// case; empty means "YYYMMDD"). A ROC year has 1911 added. Throws ConversionError when the parts do
// not make a valid date; an unknown pattern gives the zero date.
QDate ParseDateByPattern(const QString &text, const QString &pattern);

// Like ParseDateByPattern with its own list of patterns, two of which ("YYYYMMDDHHMMSS",
// "YYYYMMDDHHMM") also carry a time of day; the other results are at midnight. Never fails on bad
// text: empty text or text that cannot be converted gives today. An unknown pattern gives the zero
// date.
QDateTime ParseDateSafe(const QString &text, const QString &pattern);

// The whole text as a date ("YYYY/MM/DD"); today when it cannot be converted.
QDate ParseDateOrToday(const QString &text);

// --- Times of day ("HHMM" or "HH:MM") ---------------------------------------------------------

// "HH:MM" from "HHMM" or "HH:MM:SS"; empty stays empty; anything else is returned as it is.
QString NormalizeHHMM(const QString &text);

// "HH:MM" becomes "HHMM"; any text not of five characters is returned as it is.
QString StripTimeColon(const QString &text);

// "HHMM" in the form "HH:MM" or "HH:MM:SS", "HH:MM" and "HHMMSS" in the form "HH:MM:SS"
// (pattern compared exactly); anything else is returned as it is.
QString FormatTimeByPattern(const QString &text, const QString &pattern);

// Minutes since midnight of "HHMM" or "HH:MM" (blanks around ignored); 0 for any other length.
// Throws ConversionError on a character that is not a digit.
int TimeTextToMinutes(const QString &text);

// Seconds since midnight of "HHMMSS". Throws ConversionError on a missing or non-digit part.
int TimeTextToSeconds(const QString &text);

// "HH" separator "MM" of a number of minutes: 75 gives "01:15" with ":" and "0115" with "".
QString MinutesToTimeText(int minutes, const QString &separator);

// The distance in minutes between two times of day, both "HH:MM" or both "HHMM"; 0 when either
// is blank. Throws ConversionError on a character that is not a digit.
int TimeDiffMinutes(const QString &a, const QString &b);

// Time arithmetic: a "+" b, the later "-" the earlier, a "/" n and a "*" n, where n is a whole
// number. The result is "HH:MM" when a (or else b) has a ":", otherwise "HHMM"; hours do not wrap
// at 24. An unknown operator, or a division by 0, gives "0000" ("00:00").
QString TimeCalc(const QString &a, const QString &op, const QString &b);

// Dates: "YYYY/MM/DD" in the station's date form (year, month and day separated by "/", month
// and day of one or two digits) and ROC "YYYMMDD"; std::nullopt when the text is no date.
std::optional<QDate> ReadStationDate(const QString &text);
std::optional<QDate> ReadRocDate(const QString &text);

#pragma once

// What the stations of the four-station run (tst_fourstations, bench_shared_signin) type, and
// when: one class of Persons enrolled persons with one lesson; every station works through the
// same numbered entries, entry n at the same second of the stations' clocks, so that the
// stations sign the same person at the same moment. Most entries name the same person on every
// station; every fourth entry of a half-day names a different person on each station (who is
// signed again later by the others). Each day holds arrivals, then departures, and a roll call
// every fifty entries; a new day begins every EntriesPerDay entries.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace FourStationPlan {

constexpr int Persons = 300;
constexpr int EntriesPerDay = 500;

inline QString ClassKey() { return QStringLiteral("FSC1234567801"); }
inline QString LessonKey() { return QStringLiteral("FSC12345678000108:00"); }
// Ten characters whose last five differ from person to person: entered by those five.
inline QString PersonId(int person)
{
    return QStringLiteral("A1%1").arg(person, 8, 10, QLatin1Char('0'));
}
inline QString PersonName(int person) { return QStringLiteral("學員%1").arg(person); }
inline QString StationNo(int station) { return QStringLiteral("%1").arg(station + 1, 2, 10, QLatin1Char('0')); }

struct Entry
{
    int person = 0;
    QString ioType; // "0" arrival, "1" departure, "9" roll call
    QDateTime at;
};

// Entry n of station (0 .. 3), from the first day on.
inline Entry At(int station, int n, QDate firstDay)
{
    const int day = n / EntriesPerDay;
    const int k = n % EntriesPerDay;
    Entry e;
    e.at = QDateTime(firstDay.addDays(day), QTime(8, 0, 0).addSecs(k));
    if (k % 50 == 49) {
        e.ioType = QStringLiteral("9");
        e.person = (k + station * 11) % Persons;
        return e;
    }
    e.ioType = k < EntriesPerDay / 2 ? QStringLiteral("0") : QStringLiteral("1");
    const int j = k % (EntriesPerDay / 2);
    // 113 is prime to 300: the persons of one half-day differ from entry to entry.
    e.person = j % 4 == 3 ? ((j + station * 7) * 113) % Persons : (j * 113) % Persons;
    return e;
}

} // namespace FourStationPlan

// make_hours_data <SampleQuorin.db> <out.db>
// Builds the working database of the hours benchmark from a copy of the template: two classes of
// 500 and 5,000 persons over ten class days with four lessons a day (a roll call in the first)
// and six sign events per person and day, and 400 other classes with 1,000,000 events among them.
// Everything goes in one transaction through prepared statements; the file is written under a
// temporary name and renamed at the end.

#include "Fun/DateTimeFunctions.h"
#include "HoursBenchData.h"

#include "BenchDatabaseBuild.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QTime>


using namespace Qt::StringLiterals;

namespace {

const QString Connection = u"make_hours_data"_s;

struct Generator
{
    QSqlDatabase db;
    QTextStream &err;
    QRandomGenerator random{4711};

    bool Exec(QSqlQuery &query)
    {
        if (query.exec())
            return true;
        err << "make_hours_data: " << query.lastQuery() << '\n' << query.lastError().text() << '\n';
        return false;
    }

    bool Prepare(QSqlQuery &query, const QString &sql)
    {
        if (query.prepare(sql))
            return true;
        err << "make_hours_data: " << sql << '\n' << query.lastError().text() << '\n';
        return false;
    }

    static QString Day(int d) { return HoursBench::FirstDay().addDays(d).toString(u"yyyy/MM/dd"_s); }
    static QString RocDay(int d)
    {
        return FormatDateByPattern(u"YYYMMDD"_s, HoursBench::FirstDay().addDays(d));
    }

    // Seconds after midnight as "HHMMSS".
    static QString Time(int seconds) { return QTime(0, 0).addSecs(seconds).toString(u"HHmmss"_s); }

    int FirstDayOf(int c) const
    {
        return c < 2 ? 0 : (c * 7) % (HoursBench::OtherDays - HoursBench::ClassDays);
    }

    bool Classes(int classCount)
    {
        QSqlQuery courses(db);
        QSqlQuery lesson(db);
        if (!Prepare(courses, u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, "
                              "TimeStart, TimeEnd, TotHours, Bookin, SignType, Signer) "
                              "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s)
            || !Prepare(lesson, u"insert into Course (INDEX_KEY, Subject, CNo4, CNo2, DateStart, "
                                "TimeStart, TimeEnd, Hours, noonRS, noonRE, R1) "
                                "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s))
            return false;
        for (int c = 0; c < classCount; ++c) {
            const int first = FirstDayOf(c);
            courses.bindValue(0, HoursBench::CourseId(c));
            courses.bindValue(1, HoursBench::Echelon);
            courses.bindValue(2, u"職業安全衛生教育訓練第%1班"_s.arg(c + 1));
            courses.bindValue(3, Day(first));
            courses.bindValue(4, Day(first + HoursBench::ClassDays - 1));
            courses.bindValue(5, u"08:00"_s);
            courses.bindValue(6, u"17:30"_s);
            courses.bindValue(7, QString::number(8 * HoursBench::ClassDays));
            courses.bindValue(8, true);
            courses.bindValue(9, u"111100"_s);
            courses.bindValue(10, u"內外"_s);
            if (!Exec(courses))
                return false;
            for (int d = 0; d < HoursBench::ClassDays; ++d) {
                for (int l = 0; l < HoursBench::LessonCount; ++l) {
                    lesson.bindValue(0, HoursBench::ClassKey(c));
                    lesson.bindValue(1, u"課程%1"_s.arg(l + 1));
                    lesson.bindValue(2, HoursBench::LessonCode(l));
                    lesson.bindValue(3, l == 3 ? u"選修"_s : u"必修"_s);
                    lesson.bindValue(4, Day(first + d));
                    lesson.bindValue(5, HoursBench::LessonStart(l));
                    lesson.bindValue(6, HoursBench::LessonEnd(l));
                    lesson.bindValue(7, 2);
                    lesson.bindValue(8, u"12:00"_s);
                    lesson.bindValue(9, u"13:30"_s);
                    lesson.bindValue(10, l == 0 ? u"08:30"_s : QString());
                    if (!Exec(lesson))
                        return false;
                }
            }
        }
        return true;
    }

    bool MeasuredClasses()
    {
        QSqlQuery booking(db);
        QSqlQuery event(db);
        if (!Prepare(booking, u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, JOBTYPE, CR_TYPE) "
                              "values (?, ?, ?, ?, ?, ?)"_s)
            || !Prepare(event, u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, "
                               "INDEX_KEY, NTP) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s))
            return false;
        // Six events a day: sign-in, roll call and sign-out of the first lesson, the sign-out of
        // the second, the afternoon sign-in of the third and the afternoon sign-out of the fourth.
        struct Planned
        {
            int lesson;
            const char16_t *type;
            int base; // seconds after midnight
            int spread;
        };
        static const Planned plan[] = {
            {0, u"0", 7 * 3600 + 45 * 60, 40 * 60}, {0, u"9", 8 * 3600 + 28 * 60, 35 * 60},
            {0, u"1", 9 * 3600 + 55 * 60, 10 * 60}, {1, u"1", 11 * 3600 + 40 * 60, 25 * 60},
            {2, u"2", 13 * 3600 + 15 * 60, 30 * 60}, {3, u"3", 17 * 3600 + 10 * 60, 30 * 60},
        };
        for (int c = 0; c < 2; ++c) {
            for (int p = 0; p < HoursBench::ClassSize(c); ++p) {
                booking.bindValue(0, HoursBench::ClassKey(c));
                booking.bindValue(1, HoursBench::PersonId(c, p));
                booking.bindValue(2, QString::number(p + 1).rightJustified(6, u'0'));
                booking.bindValue(3, u"學員%1"_s.arg(p + 1));
                booking.bindValue(4, p % 100 == 99 ? u"講師"_s : u"學員"_s);
                booking.bindValue(5, u"匯入"_s);
                if (!Exec(booking))
                    return false;
                for (int d = 0; d < HoursBench::ClassDays; ++d) {
                    for (const Planned &e : plan) {
                        event.bindValue(0, u"01"_s);
                        event.bindValue(1, HoursBench::PersonId(c, p));
                        event.bindValue(2, RocDay(d));
                        event.bindValue(3, Time(e.base + int(random.bounded(e.spread))));
                        event.bindValue(4, QString::fromUtf16(e.type));
                        event.bindValue(5, u"KB"_s);
                        event.bindValue(6, u"N"_s);
                        event.bindValue(7, HoursBench::LessonKey(c, e.lesson));
                        event.bindValue(8, u"Y"_s);
                        if (!Exec(event))
                            return false;
                    }
                }
            }
        }
        return true;
    }

    bool OtherEvents()
    {
        QSqlQuery event(db);
        if (!Prepare(event, u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, "
                            "INDEX_KEY, NTP) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s))
            return false;
        static const char16_t types[] = u"01239";
        for (int e = 0; e < HoursBench::OtherEventCount; ++e) {
            const int c = 2 + int(random.bounded(HoursBench::OtherClassCount));
            const int day = FirstDayOf(c) + int(random.bounded(HoursBench::ClassDays));
            const int l = int(random.bounded(HoursBench::LessonCount));
            event.bindValue(0, u"02"_s);
            event.bindValue(1, QString(u"Z"_s + QString::number(200000000 + int(random.bounded(40000)))));
            event.bindValue(2, RocDay(day));
            event.bindValue(3, Time(7 * 3600 + int(random.bounded(11 * 3600))));
            event.bindValue(4, QString(QChar(types[random.bounded(5)])));
            event.bindValue(5, u"KB"_s);
            event.bindValue(6, u"N"_s);
            event.bindValue(7, HoursBench::LessonKey(c, l));
            event.bindValue(8, u"Y"_s);
            if (!Exec(event))
                return false;
        }
        return true;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    return BuildBenchDatabase(argc, argv, Connection, [](QSqlDatabase &db, QTextStream &err) {
        Generator generator{db, err};
        return generator.Classes(2 + HoursBench::OtherClassCount)
            && generator.MeasuredClasses() && generator.OtherEvents();
    });
}

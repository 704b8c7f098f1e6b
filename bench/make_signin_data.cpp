// make_signin_data <SampleQuorin.db> <out.db>
// Builds the working database of the sign-in benchmark from a copy of the template: 500
// classes of eight days each over 200 days, four lessons a day, 100,000 enrolment rows
// (2,000 of them in the class the benchmark signs in to, whose last five identity digits are
// all different) and 1,000,000 sign events. Everything goes in one transaction through
// prepared statements; the file is written under a temporary name and renamed at the end.
// The last of the 200 days is the benchmark's "today": the benchmark class has no event on it.

#include "Fun/DateTimeFunctions.h"
#include "Fun/IdentityNumber.h"
#include "SigninBenchData.h"

#include "BenchDatabaseBuild.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>


using namespace Qt::StringLiterals;

namespace {

const QString Connection = u"make_signin_data"_s;

struct Generator
{
    QSqlDatabase db;
    QTextStream &err;
    QRandomGenerator random{7013};
    QSet<QString> usedIds;
    QList<QStringList> classIds; // the identity numbers enrolled in each class

    bool Exec(QSqlQuery &query)
    {
        if (query.exec())
            return true;
        err << "make_signin_data: " << query.lastQuery() << '\n' << query.lastError().text() << '\n';
        return false;
    }

    bool Prepare(QSqlQuery &query, const QString &sql)
    {
        if (query.prepare(sql))
            return true;
        err << "make_signin_data: " << sql << '\n' << query.lastError().text() << '\n';
        return false;
    }

    QString NewId()
    {
        static const char16_t letters[] = u"ABCDEFGHJKLMNPQRSTUVXYWZIO";
        for (;;) {
            const QString id = MakeIdentityNumber(QChar(letters[random.bounded(26)]),
                                                  random.bounded(2) + 1, random.bounded(10000000));
            if (!usedIds.contains(id)) {
                usedIds.insert(id);
                return id;
            }
        }
    }

    QString NewName()
    {
        static const char16_t surnames[] = u"陳林黃張李王吳劉蔡楊許鄭謝郭洪曾邱廖賴周徐蘇葉莊呂江何蕭羅高";
        static const char16_t given[] = u"志豪冠宇家承恩俊宏宗翰建柏彥廷明哲信國華文傑偉倫子軒育誠淑芬怡君雅婷佳穎欣美玲惠雯詩涵宜蓁佩珊秀英";
        const int surnameCount = int(std::size(surnames)) - 1;
        const int givenCount = int(std::size(given)) - 1;
        QString name(QChar(surnames[random.bounded(surnameCount)]));
        name += QChar(given[random.bounded(givenCount)]);
        name += QChar(given[random.bounded(givenCount)]);
        return name;
    }

    bool Classes()
    {
        QSqlQuery courses(db);
        QSqlQuery lesson(db);
        if (!Prepare(courses, u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, "
                              "DateBet, TimeStart, TimeEnd, Bookin, SignType, Signer) "
                              "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s)
            || !Prepare(lesson, u"insert into Course (INDEX_KEY, Subject, CNo4, DateStart, "
                                "TimeStart, TimeEnd, Hours, noonRS, noonRE) "
                                "values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s))
            return false;
        for (int c = 0; c < SigninBench::ClassCount; ++c) {
            const int first = SigninBench::FirstDay(c);
            const QString start = SigninBench::Date(first).toString(u"yyyy/MM/dd"_s);
            const QString end =
                SigninBench::Date(first + SigninBench::ClassDays - 1).toString(u"yyyy/MM/dd"_s);
            courses.bindValue(0, SigninBench::CourseId(c));
            courses.bindValue(1, SigninBench::Echelon);
            courses.bindValue(2, u"職業安全衛生教育訓練第%1班"_s.arg(c + 1));
            courses.bindValue(3, start);
            courses.bindValue(4, end);
            courses.bindValue(5, QString(SigninBench::ClassDays, u'1'));
            courses.bindValue(6, u"08:00"_s);
            courses.bindValue(7, u"17:30"_s);
            courses.bindValue(8, true);
            courses.bindValue(9, u"111111"_s);
            courses.bindValue(10, u"內外"_s);
            if (!Exec(courses))
                return false;
            for (int d = 0; d < SigninBench::ClassDays; ++d) {
                for (int l = 0; l < SigninBench::LessonCount; ++l) {
                    lesson.bindValue(0, SigninBench::ClassKey(c));
                    lesson.bindValue(1, u"課程%1"_s.arg(l + 1));
                    lesson.bindValue(2, SigninBench::LessonCode(l));
                    lesson.bindValue(3, SigninBench::Date(first + d).toString(u"yyyy/MM/dd"_s));
                    lesson.bindValue(4, SigninBench::LessonStart(l));
                    lesson.bindValue(5, SigninBench::LessonEnd(l));
                    lesson.bindValue(6, 2);
                    lesson.bindValue(7, u"12:00"_s);
                    lesson.bindValue(8, u"13:30"_s);
                    if (!Exec(lesson))
                        return false;
                }
            }
        }
        return true;
    }

    bool Bookings()
    {
        QSqlQuery booking(db);
        if (!Prepare(booking, u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, SEX, CR_TYPE) "
                              "values (?, ?, ?, ?, ?, ?)"_s))
            return false;
        classIds.resize(SigninBench::ClassCount);
        QSet<QString> lastFive; // of the benchmark class
        for (int b = 0; b < SigninBench::BookingCount; ++b) {
            // The benchmark class first, then the others in turn.
            const int c = b < SigninBench::EnrolledInClass
                ? 0
                : 1 + (b - SigninBench::EnrolledInClass) % (SigninBench::ClassCount - 1);
            QString id = NewId();
            while (c == 0 && lastFive.contains(id.right(5)))
                id = NewId();
            if (c == 0)
                lastFive.insert(id.right(5));
            classIds[c].append(id);
            booking.bindValue(0, SigninBench::ClassKey(c));
            booking.bindValue(1, id);
            booking.bindValue(2, QString::number(b + 1).rightJustified(6, u'0'));
            booking.bindValue(3, NewName());
            booking.bindValue(4, id.at(1) == u'1' ? u"男"_s : u"女"_s);
            booking.bindValue(5, u"匯入"_s);
            if (!Exec(booking))
                return false;
        }
        return true;
    }

    bool Events()
    {
        QSqlQuery event(db);
        if (!Prepare(event, u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, "
                            "INDEX_KEY, NTP) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s))
            return false;
        static const char16_t types[] = u"0123";
        QList<QString> rocDays;
        for (int d = 0; d < SigninBench::DayCount; ++d)
            rocDays.append(FormatDateByPattern(u"YYYMMDD"_s, QDateTime(SigninBench::Date(d), QTime(8, 0))));
        for (int e = 0; e < SigninBench::EventCount; ++e) {
            const int c = random.bounded(SigninBench::ClassCount);
            // The benchmark class has had no event yet on the last day.
            const int days = c == 0 ? SigninBench::ClassDays - 1 : SigninBench::ClassDays;
            const int day = SigninBench::FirstDay(c) + random.bounded(days);
            const int l = random.bounded(SigninBench::LessonCount);
            const QStringList &ids = classIds.at(c);
            const int seconds = random.bounded(7200) + (l == 0 ? 8 : l == 1 ? 10 : l == 2 ? 13 : 15) * 3600;
            event.bindValue(0, u"01"_s);
            event.bindValue(1, ids.at(random.bounded(int(ids.size()))));
            event.bindValue(2, rocDays.at(day));
            event.bindValue(3, QTime(0, 0).addSecs(seconds).toString(u"HHmmss"_s));
            event.bindValue(4, QString(QChar(types[random.bounded(4)])));
            event.bindValue(5, u"KB"_s);
            event.bindValue(6, u"N"_s);
            event.bindValue(7, SigninBench::LessonKey(c, l));
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
        return generator.Classes() && generator.Bookings() && generator.Events();
    });
}

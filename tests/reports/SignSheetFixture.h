#pragma once

// A one-day class as the sign-in sheets see it: class 11300001201 echelon 01 on 5 September
// 2024 with a whole-day lesson A101 (09:00-16:00, lunch 12:00-13:00) and its morning and
// afternoon roll calls, students with Chinese names, a lecturer who signs in and the lesson's
// teacher, their sign events of the day and, when asked, a 640 x 480 snapshot JPEG for each
// event.

#include "core/DbFunctions.h"
#include "mock/TestDataModule.h"
#include "station/SignRecorder.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

namespace SignSheetFixture {

using namespace Qt::StringLiterals;

inline const QString CourseId = u"11300001201"_s;
inline const QString ClassKey = u"1130000120101"_s;
inline const QString Day = u"2024/09/05"_s;
inline const QString DayRoc = u"1130905"_s;
inline const QString SheetDate = u"1130905(四)"_s;
inline const QString LessonKey = u"A10109:00"_s;
inline const QString FullKey = CourseId + LessonKey;
inline const QString TeacherId = u"T223456789"_s;
inline const QString LecturerId = u"L123498765"_s;

struct Person
{
    QString id;
    QString name;
    QString mobile;
    QString jobType;
};

// students students, then the lecturer who signs in and the teacher who does not.
inline QList<Person> People(int students)
{
    static const QStringList names { u"王小明"_s, u"李大華"_s, u"陳美玲"_s, u"林志偉"_s,
        u"張雅婷"_s, u"黃國強"_s, u"吳淑芬"_s, u"劉建宏"_s, u"蔡佩君"_s, u"鄭家豪"_s, u"歐陽志明"_s,
        u"許文馨"_s, u"謝宗翰"_s, u"郭怡君"_s };
    QList<Person> people;
    for (int i = 0; i < students; ++i) {
        people.append({ u"A1%1"_s.arg(23450000 + i * 1013, 8, 10, QLatin1Char('0')),
            names.at(i % names.size())
                + (i >= names.size() ? QString::number(i / names.size()) : QString()),
            u"09%1"_s.arg(12345000 + i * 7, 8, 10, QLatin1Char('0')), u"學員"_s });
    }
    people.append({ LecturerId, u"周建國"_s, u"0933111222"_s, u"講師"_s });
    people.append({ TeacherId, u"蘇怡萍"_s, u"0955666777"_s, u"講師"_s });
    return people;
}

// signType: the class's own SignType (used when it has no lessons).
inline void AddClass(const QString &signType = u"111100"_s)
{
    ExecSql(
        u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, TimeEnd, "
        "TotHours, SignType, Place, CNo2, CNo4, CourseContent) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
        { CourseId, u"01"_s, u"堆高機操作人員安全衛生教育訓練"_s, Day, Day, u"09:00"_s, u"16:00"_s,
            u"6"_s, signType, u"臺北市中正區延平南路 1 號 3 樓第二教室"_s, u"必修"_s, u"A101"_s,
            u"全日班，請攜帶證件"_s });
}

inline void AddLesson(
    const QString &r1 = u"09:30"_s, const QString &r2 = u"14:00"_s, const QString &r3 = QString())
{
    ExecSql(
        u"insert into Course (INDEX_KEY, CNo2, CNo4, DateStart, TimeStart, TimeEnd, Hours, "
        u"Subject, "
        "TeacherID, R1, R2, R3, CourseContent, noonRS, noonRE) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
        { ClassKey, u"必修"_s, u"A101"_s, Day, u"09:00"_s, u"16:00"_s, 6, u"堆高機安全作業與法規"_s,
            TeacherId, r1, r2, r3, u"實作課程請著工作服"_s, u"12:00"_s, u"13:00"_s });
}

// A 640 x 480 snapshot: a coloured background, a head and a caption.
inline QImage Snapshot(int hue, const QString &caption)
{
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(hue % 360, 90, 190));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 90));
    p.drawRoundedRect(QRectF(180, 300, 280, 200), 80, 80);
    p.setBrush(QColor(240, 205, 175));
    p.drawEllipse(QPointF(320, 200), 100, 125);
    p.setBrush(QColor(40, 40, 50));
    p.drawEllipse(QPointF(283, 185), 12, 9);
    p.drawEllipse(QPointF(357, 185), 12, 9);
    p.setPen(Qt::white);
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPixelSize(44);
    p.setFont(font);
    p.drawText(QRect(0, 400, 640, 70), Qt::AlignCenter, caption);
    p.end();
    return image;
}

// The sign events of the day for the lesson A101 and, when pictureDir is not empty, a snapshot of
// each in it (named as the station names them). Student i signs in at 08:50 + i minutes (every
// sixth one late, at 09:20; every seventh one not at all), signs out at 12:05 (every fifth one
// early, at 11:40), comes back at 13:05 and leaves at 16:05; the morning roll call at 09:30 is
// answered by three of four, the afternoon one at 14:05 by half. The lecturer signs in at 08:45.
inline int AddEvents(const QList<Person> &people, const QString &pictureDir, int quality = 40)
{
    int pictures = 0;
    const QString key = FullKey;
    auto add = [&](const Person &p, int index, const QString &time, const QString &type) {
        ExecSql(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY, NET, "
                u"Web, NTP) "
                "values ('01', ?, ?, ?, ?, 'KB', ?, 'N', '0', 'Y')"_s,
            { p.id, DayRoc, time, type, key });
        if (pictureDir.isEmpty())
            return;
        const QString file = pictureDir + u'/'
            + SignRecorder::SnapshotFileName(ClassKey, p.id, DayRoc, time, type, u"KB"_s);
        Snapshot(index * 47, p.name + u' ' + time.left(2) + u':' + time.mid(2, 2))
            .save(file, "JPEG", quality);
        ++pictures;
    };
    for (int i = 0; i < people.size(); ++i) {
        const Person &p = people.at(i);
        if (p.id == TeacherId)
            continue;
        if (p.id == LecturerId) {
            add(p, i, u"084500"_s, u"0"_s);
            continue;
        }
        if (i % 7 != 3)
            add(p, i, i % 6 == 5 ? u"092000"_s : u"08%1%2"_s.arg(50 + i % 10).arg(u"00"_s), u"0"_s);
        add(p, i, i % 5 == 4 ? u"114000"_s : u"120500"_s, u"1"_s);
        if (i % 4 != 2)
            add(p, i, u"093000"_s, u"9"_s);
        add(p, i, u"130500"_s, u"2"_s);
        add(p, i, u"160500"_s, u"3"_s);
        if (i % 2 == 0)
            add(p, i, u"140500"_s, u"9"_s);
    }
    return pictures;
}

inline void AddBookings(const QList<Person> &people)
{
    for (const Person &p : people) {
        ExecSql(
            u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, Mobile, JOBTYPE) values (?, ?, ?, ?, ?, ?)"_s,
            { ClassKey, p.id, p.id, p.name, p.mobile, p.jobType });
    }
}

} // namespace SignSheetFixture

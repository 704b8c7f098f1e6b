// make_demo_data [--at HH:mm] [--ini <Rolvan.ini> | --read-ini <Rolvan.ini>] <Quorin.db> <yyyy/MM/dd>
// Writes a demonstration class held on the given day into an existing working database (a copy
// of the template): the class, its five lessons over the morning, afternoon and evening with
// the breaks between them and one roll call, and forty fictitious students with well-formed
// identity numbers. Prints five of the students, "<identity number> <name>" one a line, for a
// new user to sign in with.
// The day runs from 08:00 to 21:00. With --at, the time the demonstration starts, the whole day
// is moved as little as needed (in steps of five minutes, within the day) for a lesson to be in
// progress then, so that the station offers it and its sign-in at once.
// A class of that day already written is left as it is and its students are printed again.
// With --ini, also switches on in the section Base of that INI file what the demonstration
// shows: the snapshot with the camera, keyboard input of the last five digits, the name on
// screen.
// With --ini or --read-ini (which only reads the file), a class already held on the day before
// is added as well, for the reports to have something to show: a morning and an afternoon
// lesson with a roll call each, thirty students and a lecturer, and the sign events of that
// day as the station would have stored them (station "01", keyboard entry; a few late
// arrivals, early leaves, missed roll calls and absentees), each with its snapshot written
// where the station keeps them under that INI's settings (picture folder, sub-folder rule,
// JPEG quality). Without an INI there is no place for the snapshots, so that class is left
// out. The rows of both classes are written in one transaction.
// Exits 0 on success, 1 when the database or a snapshot cannot be written, 2 on bad arguments.

#include "Fun/DateTimeFunctions.h"
#include "Fun/IdentityNumber.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/JpegWriter.h"
#include "station/SignRecorder.h"

#include <QColor>
#include <QDate>
#include <QDateTime>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTime>
#include <QTextStream>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int StudentCount = 40;
constexpr int ShownStudents = 5;
const QString Connection = u"make_demo_data"_s;
const QString Echelon = u"01"_s;

struct LessonSpec
{
    const char16_t *code;
    const char16_t *subject;
    int start; // minutes after midnight
    int end;
    int hours;
    const char16_t *teacher;
};

// A full day: two morning lessons, two in the afternoon after the lunch break and one in the
// evening after the dinner break; the morning roll call ten minutes into the first lesson.
const LessonSpec Lessons[] = {
    {u"A001", u"職業安全衛生概論", 8 * 60, 10 * 60, 2, u"陳建宏"},
    {u"A002", u"勞動法令概要", 10 * 60 + 10, 12 * 60, 2, u"林淑芬"},
    {u"A003", u"急救與心肺復甦術", 13 * 60 + 30, 15 * 60 + 20, 2, u"黃志明"},
    {u"A004", u"消防安全與防災演練", 15 * 60 + 30, 17 * 60 + 30, 2, u"張雅婷"},
    {u"A005", u"電氣安全", 19 * 60, 21 * 60, 2, u"李俊傑"},
};
constexpr int LessonCount = int(std::size(Lessons));
constexpr int NoonStart = 12 * 60;
constexpr int NoonEnd = 13 * 60 + 30;
constexpr int NightStart = 17 * 60 + 30;
constexpr int NightEnd = 19 * 60;
constexpr int RollCallAfter = 10;
constexpr int LastMinute = 24 * 60 - 1;

QString TimeText(int minutes)
{
    return QTime(0, 0).addSecs(minutes * 60).toString(u"HH:mm"_s);
}

// Minutes to add to every time of the day so that a lesson is in progress at `at`, about
// twenty minutes after its start: none when a lesson already runs then with half an hour
// left, otherwise the smallest move (a multiple of five minutes) that keeps the day between
// midnight and midnight.
int DayShift(std::optional<int> at)
{
    if (!at)
        return 0;
    const int t = *at;
    for (const LessonSpec &lesson : Lessons) {
        if (lesson.start <= t && t <= lesson.end - 30)
            return 0;
    }
    const int earliest = -Lessons[0].start;
    const int latest = LastMinute - Lessons[LessonCount - 1].end;
    std::optional<int> best;
    for (const LessonSpec &lesson : Lessons) {
        int shift = t - lesson.start - 20;
        shift -= ((shift % 5) + 5) % 5; // down to a multiple of five
        shift = std::clamp(shift, earliest + (5 - earliest % 5) % 5, latest - latest % 5);
        if (t < lesson.start + shift || t > lesson.end + shift - 10)
            continue;
        if (!best || std::abs(shift) < std::abs(*best))
            best = shift;
    }
    return best.value_or(0);
}

const char16_t *const Surnames[] = {
    u"陳", u"林", u"黃", u"張", u"李", u"王", u"吳", u"劉", u"蔡", u"楊",
    u"許", u"鄭", u"謝", u"郭", u"洪", u"曾", u"邱", u"廖", u"賴", u"周",
};
const char16_t *const MaleNames[] = {
    u"志豪", u"冠宇", u"家豪", u"承恩", u"俊宏", u"宗翰", u"建志", u"柏翰", u"彥廷", u"明哲",
    u"信宏", u"國華", u"文傑", u"偉倫", u"子軒", u"育誠", u"哲瑋", u"正雄", u"嘉宏", u"耀中",
};
const char16_t *const FemaleNames[] = {
    u"淑芬", u"怡君", u"雅婷", u"佳穎", u"欣怡", u"美玲", u"惠雯", u"詩涵", u"宜蓁", u"佩珊",
    u"秀英", u"筱涵", u"靜宜", u"玉珍", u"家瑜", u"思妤", u"雅雯", u"淑惠", u"婉婷", u"麗華",
};
// Place letters of the larger cities and counties.
const char16_t PlaceLetters[] = u"AFHBDEJKNPTQ";
const char16_t *const Employers[] = {
    u"臺灣精密機械股份有限公司", u"南港物流股份有限公司", u"大同營造有限公司",
    u"新竹電子股份有限公司", u"港都食品工業股份有限公司", u"中興化工股份有限公司",
};

struct Student
{
    QString id;
    QString name;
    QString sex;
    QString birthday;
    QString mobile;
    QString memberNo;
    QString employer;
};

// The same students every time for a seed: the printed identities of a demo home stay the same
// from one day to the next. No two share the last five characters, so five digits always name
// one student.
constexpr quint32 TodaySeed = 20240917;
QList<Student> MakeStudents(quint32 seed = TodaySeed, int count = StudentCount)
{
    QRandomGenerator random(seed);
    QList<Student> students;
    QSet<QString> lastFive;
    QSet<QString> names;
    const int placeCount = int(std::size(PlaceLetters)) - 1;
    while (students.size() < count) {
        const int sex = random.bounded(2) + 1;
        const QString id = MakeIdentityNumber(QChar(PlaceLetters[random.bounded(placeCount)]), sex,
                                              random.bounded(10000000));
        const char16_t *const *given = sex == 1 ? MaleNames : FemaleNames;
        const int givenCount = int(sex == 1 ? std::size(MaleNames) : std::size(FemaleNames));
        const QString name = QString::fromUtf16(Surnames[random.bounded(int(std::size(Surnames)))])
            + QString::fromUtf16(given[random.bounded(givenCount)]);
        if (lastFive.contains(id.right(5)) || names.contains(name))
            continue;
        lastFive.insert(id.right(5));
        names.insert(name);
        Student s;
        s.id = id;
        s.name = name;
        s.sex = sex == 1 ? u"男"_s : u"女"_s;
        s.birthday = QDate(1965 + random.bounded(40), 1 + random.bounded(12), 1 + random.bounded(28))
                         .toString(u"yyyy/MM/dd"_s);
        s.mobile = u"09"_s + QString::number(random.bounded(100000000)).rightJustified(8, u'0');
        s.memberNo = QString::number(students.size() + 1).rightJustified(6, u'0');
        s.employer = QString::fromUtf16(Employers[random.bounded(int(std::size(Employers)))]);
        students.append(s);
    }
    return students;
}

// ---- The class of the day before: its sign events and snapshots ----------------------------

constexpr int PreviousStudentCount = 30;
constexpr quint32 PreviousSeed = 20240916;
const QString PreviousSerial = u"0002"_s; // today's class is serial 0001
const QString StationNo = u"01"_s;
const QString EntryWay = u"KB"_s;
const QString LecturerName = u"吳國棟"_s;
constexpr int SnapshotWidth = 320;
constexpr int SnapshotHeight = 240;

// A morning and an afternoon lesson with the lunch break between them; a roll call in each.
const LessonSpec PreviousLessons[] = {
    {u"B001", u"堆高機安全作業實務", 9 * 60, 12 * 60, 3, u"吳國棟"},
    {u"B002", u"危害性化學品標示及通識", 13 * 60, 16 * 60, 3, u"吳國棟"},
};
const QString PreviousRollCalls[] = {u"09:30"_s, u"14:00"_s};

// One sign event of the day before, in seconds after midnight.
struct DemoEvent
{
    QString id;
    QString name;
    int person = 0; // index of the person, for the snapshot's colour
    int seconds = 0;
    QString type;   // "0"/"1" morning sign-in/out, "2"/"3" afternoon, "9" roll call
    int lesson = 0; // index into PreviousLessons
};

QString SixDigitTime(int seconds)
{
    return QTime(0, 0).addSecs(seconds).toString(u"HHmmss"_s);
}

QString RocDate(const QDate &day)
{
    return QString::number(day.year() - 1911).rightJustified(3, u'0') + day.toString(u"MMdd"_s);
}

QString CourseIdOf(const QDate &day, const QString &serial)
{
    return RocDate(day) + serial;
}

QString TypeName(const QString &type)
{
    if (type == u"0"_s)
        return u"簽到"_s;
    if (type == u"1"_s)
        return u"簽退"_s;
    if (type == u"2"_s)
        return u"午到"_s;
    if (type == u"3"_s)
        return u"午退"_s;
    return u"點名"_s;
}

// Who did what on the day before, by student number: most came on time and stayed; these did
// not.
const QSet<int> Absent = {6, 17, 25};
const QSet<int> LateMorning = {2, 11, 22};
const QSet<int> EarlyMorning = {8};
const QSet<int> MorningOnly = {14};
const QSet<int> AfternoonOnly = {20};
const QSet<int> LateAfternoon = {4, 27};
const QSet<int> EarlyAfternoon = {10, 29};
const QSet<int> MissedMorningRollCall = {16};
const QSet<int> MissedAfternoonRollCall = {3};

// The events of the students and the lecturer, in the order they happened.
QList<DemoEvent> MakePreviousDayEvents(const QList<Student> &students, const Student &lecturer)
{
    QRandomGenerator random(PreviousSeed + 1);
    const auto at = [&](int hour, int minute, int spanMinutes) {
        return (hour * 60 + minute) * 60 + random.bounded(spanMinutes * 60);
    };
    QList<DemoEvent> events;
    for (int n = 0; n < students.size(); ++n) {
        if (Absent.contains(n))
            continue;
        const Student &s = students.at(n);
        const auto add = [&](int seconds, const QString &type, int lesson) {
            events.append({s.id, s.name, n, seconds, type, lesson});
        };
        if (!AfternoonOnly.contains(n)) {
            const int in = LateMorning.contains(n) ? at(9, 17, 23) : at(8, 25, 33);
            add(in, u"0"_s, 0);
            if (!MissedMorningRollCall.contains(n))
                add(std::max(in + 60 + random.bounded(120), at(9, 30, 12)), u"9"_s, 0);
            add(EarlyMorning.contains(n) ? at(11, 15, 20) : at(12, 0, 8), u"1"_s, 0);
        }
        if (!MorningOnly.contains(n)) {
            const int in = LateAfternoon.contains(n) ? at(13, 18, 17) : at(12, 38, 20);
            add(in, u"2"_s, 1);
            if (!MissedAfternoonRollCall.contains(n))
                add(std::max(in + 60 + random.bounded(120), at(14, 0, 12)), u"9"_s, 1);
            add(EarlyAfternoon.contains(n) ? at(15, 5, 30) : at(16, 0, 9), u"3"_s, 1);
        }
    }
    const int lecturerIndex = int(students.size());
    events.append({lecturer.id, lecturer.name, lecturerIndex, at(8, 40, 5), u"0"_s, 0});
    events.append({lecturer.id, lecturer.name, lecturerIndex, at(12, 2, 3), u"1"_s, 0});
    events.append({lecturer.id, lecturer.name, lecturerIndex, at(12, 45, 5), u"2"_s, 1});
    events.append({lecturer.id, lecturer.name, lecturerIndex, at(16, 3, 4), u"3"_s, 1});
    std::stable_sort(events.begin(), events.end(),
                     [](const DemoEvent &a, const DemoEvent &b) { return a.seconds < b.seconds; });
    return events;
}

// A lecturer whose identity shares its last five characters with none of the students.
Student MakeLecturer(const QList<Student> &students)
{
    QSet<QString> lastFive;
    for (const Student &s : students)
        lastFive.insert(s.id.right(5));
    int serial = 3581246;
    QString id = MakeIdentityNumber(u'A', 1, serial);
    while (lastFive.contains(id.right(5)))
        id = MakeIdentityNumber(u'A', 1, ++serial);
    Student lecturer;
    lecturer.id = id;
    lecturer.name = LecturerName;
    lecturer.sex = u"男"_s;
    lecturer.birthday = u"1972/08/15"_s;
    lecturer.mobile = u"0912345678"_s;
    lecturer.memberNo = QString::number(students.size() + 1).rightJustified(6, u'0');
    lecturer.employer = u"示範訓練中心"_s;
    return lecturer;
}

// Where and how the station writes its snapshots under an INI file's settings.
struct SnapshotRules
{
    QString pictureFolder; // Base/ImageFileLocationPath, or <data root>/查核資料檔案
    QString subPathRule;   // "年月" or "課程編號"
    int quality = 15;
    int courseNoLength = 11;
};

SnapshotRules ReadSnapshotRules(const QString &iniPath)
{
    SnapshotRules rules;
    rules.pictureFolder = ReadIniSettingAt(iniPath, IniSection::Base, IniKey::ImageFileLocationPath,
                                           QString(), QString());
    // Without a folder of its own the station uses the one its start-up creates.
    if (rules.pictureFolder.trimmed().isEmpty())
        rules.pictureFolder = JoinPath(DefaultDataRoot(), u"查核資料檔案"_s);
    rules.subPathRule = ReadIniSettingAt(iniPath, IniSection::Base, IniKey::PhotoSubPathRule,
                                         u"年月"_s, u"年月"_s);
    bool ok = false;
    const int quality = ReadIniSettingAt(iniPath, IniSection::Base, IniKey::PhotoQuality, u"15"_s,
                                         u"15"_s).trimmed().toInt(&ok);
    rules.quality = ok ? quality : 15;
    const int length = ReadIniSettingAt(iniPath, IniSection::Base, IniKey::CourseNoLength, u"11"_s,
                                        u"11"_s).trimmed().toInt(&ok);
    rules.courseNoLength = ok && length > 0 ? length : 11;
    return rules;
}

// What the camera would have seen: a plain background in the person's colour, a head and
// shoulders, and the name, date, time and kind of the event along the bottom.
QImage PaintSnapshot(const DemoEvent &event, const QDate &day)
{
    QImage image(SnapshotWidth, SnapshotHeight, QImage::Format_RGB32);
    const QColor background = QColor::fromHsv((event.person * 47) % 360, 70, 215);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(70, 78, 92));
    QPainterPath shoulders;
    shoulders.addRoundedRect(QRectF(72, 150, 176, 140), 70, 60);
    painter.drawPath(shoulders);
    painter.drawRect(QRectF(142, 120, 36, 40)); // neck
    painter.setBrush(QColor(92, 100, 116));
    painter.drawEllipse(QPointF(160, 92), 38, 46);

    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawRect(QRectF(0, 184, SnapshotWidth, SnapshotHeight - 184));
    painter.setPen(Qt::white);
    QFont font(u"Noto Sans CJK TC"_s);
    font.setPixelSize(20);
    painter.setFont(font);
    painter.drawText(QRectF(10, 186, 300, 26), Qt::AlignLeft | Qt::AlignVCenter,
                     event.name + u"  "_s + TypeName(event.type));
    font.setPixelSize(16);
    painter.setFont(font);
    painter.drawText(QRectF(10, 212, 300, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     day.toString(u"yyyy/MM/dd"_s) + u"  "_s
                         + QTime(0, 0).addSecs(event.seconds).toString(u"HH:mm:ss"_s));
    painter.end();
    return image;
}

class DemoWriter
{
public:
    explicit DemoWriter(QSqlDatabase db)
        : m_db(db)
    {
    }

    // Runs a statement with its values bound; a refusal raises DatabaseError.
    QSqlQuery Run(const QString &sql, const QVariantList &params = {})
    {
        QSqlQuery query(m_db);
        if (!query.prepare(sql))
            throw DatabaseError(sql + u'\n' + query.lastError().text());
        for (const QVariant &value : params)
            query.addBindValue(value);
        if (!query.exec())
            throw DatabaseError(sql + u'\n' + query.lastError().text());
        return query;
    }

    // The students of a class, in the order they were enrolled.
    QStringList Shown(const QString &courseId)
    {
        QSqlQuery query = Run(u"select ID, NAME from Booking where INDEX_KEY = ? order by RID limit ?"_s,
                              {QString(courseId + Echelon), ShownStudents});
        QStringList lines;
        while (query.next())
            lines << query.value(0).toString() + u' ' + query.value(1).toString();
        return lines;
    }

    bool ClassExists(const QString &courseId)
    {
        QSqlQuery query = Run(u"select count(*) from Courses where CourseId = ? and Echelon = ?"_s,
                              {courseId, Echelon});
        return query.next() && query.value(0).toInt() > 0;
    }

    void Write(const QString &courseId, const QDate &day, int shift)
    {
        const QString date = day.toString(u"yyyy/MM/dd"_s);
        const QString classKey = courseId + Echelon;
        const QString stamp = QDateTime::currentDateTime().toString(u"yyyy/MM/dd HH:mm:ss"_s);
        int totalHours = 0;
        for (const LessonSpec &lesson : Lessons)
            totalHours += lesson.hours;

        Run(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, DateBet, "
            "TimeStart, TimeEnd, Place, Charge, Teacher, TotHours, CNo4, Bookin, SignType, Score, "
            "Signer, CourseContent) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
            {courseId, Echelon, u"職業安全衛生教育訓練（示範班）"_s, date, date, u"1"_s,
             TimeText(Lessons[0].start + shift), TimeText(Lessons[LessonCount - 1].end + shift),
             u"示範訓練中心 第一教室"_s, u"示範訓練中心"_s, QString::fromUtf16(Lessons[0].teacher),
             QString::number(totalHours), u"A001"_s, true, u"111111"_s, false, u"內外"_s,
             u"示範用的講習：學員輸入身分證字號末5碼簽到。"_s});

        QSqlQuery lesson(m_db);
        const QString lessonSql =
            u"insert into Course (INDEX_KEY, Subject, CNo4, DateStart, TimeStart, TimeEnd, Hours, "
            "teacher, noonRS, noonRE, nightRS, nightRE, R1, R2, R3, CR_DATE) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s;
        if (!lesson.prepare(lessonSql))
            throw DatabaseError(lessonSql + u'\n' + lesson.lastError().text());
        for (int n = 0; n < LessonCount; ++n) {
            const LessonSpec &spec = Lessons[n];
            const QVariantList values = {
                classKey, QString::fromUtf16(spec.subject), QString::fromUtf16(spec.code), date,
                TimeText(spec.start + shift), TimeText(spec.end + shift), spec.hours,
                QString::fromUtf16(spec.teacher), TimeText(NoonStart + shift),
                TimeText(NoonEnd + shift), TimeText(NightStart + shift), TimeText(NightEnd + shift),
                n == 0 ? TimeText(spec.start + RollCallAfter + shift) : QString(u""_s), u""_s, u""_s,
                stamp};
            for (int i = 0; i < values.size(); ++i)
                lesson.bindValue(i, values.at(i));
            if (!lesson.exec())
                throw DatabaseError(lessonSql + u'\n' + lesson.lastError().text());
        }

        QSqlQuery booking(m_db);
        const QString bookingSql =
            u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, SEX, BIRTHDAY, Mobile, DEPT, "
            "JOBTYPE, CR_DATE, CR_TYPE, BookingNo) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s;
        if (!booking.prepare(bookingSql))
            throw DatabaseError(bookingSql + u'\n' + booking.lastError().text());
        const QList<Student> students = MakeStudents();
        for (int n = 0; n < students.size(); ++n) {
            const Student &s = students.at(n);
            const QVariantList values = {
                classKey, s.id, s.memberNo, s.name, s.sex, s.birthday, s.mobile, s.employer,
                u"學員"_s, stamp, u"示範"_s, QString(courseId.right(6) + QString::number(n + 1).rightJustified(3, u'0'))};
            for (int i = 0; i < values.size(); ++i)
                booking.bindValue(i, values.at(i));
            if (!booking.exec())
                throw DatabaseError(bookingSql + u'\n' + booking.lastError().text());
        }
    }

    // The class of the day before with its students, lecturer and sign events; each event's
    // snapshot is written where the station would have put it. A snapshot that cannot be
    // written raises RolvanError (the caller rolls the rows back).
    void WritePreviousDay(const QString &courseId, const QDate &day, const SnapshotRules &rules)
    {
        const QString date = day.toString(u"yyyy/MM/dd"_s);
        const QString classKey = courseId + Echelon;
        const QString roc = RocDate(day);
        const QString stamp = QDateTime::currentDateTime().toString(u"yyyy/MM/dd HH:mm:ss"_s);
        const QList<Student> students = MakeStudents(PreviousSeed, PreviousStudentCount);
        const Student lecturer = MakeLecturer(students);
        constexpr int lessonCount = int(std::size(PreviousLessons));
        int totalHours = 0;
        for (const LessonSpec &lesson : PreviousLessons)
            totalHours += lesson.hours;

        Run(u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, DateBet, "
            "TimeStart, TimeEnd, Place, Charge, Teacher, TeacherId, TotHours, CNo4, Bookin, "
            "SignType, Score, Signer, CourseContent) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
            {courseId, Echelon, u"堆高機操作人員安全衛生在職教育訓練（示範班）"_s, date, date, u"1"_s,
             TimeText(PreviousLessons[0].start), TimeText(PreviousLessons[lessonCount - 1].end),
             u"示範訓練中心 第二教室"_s, u"示範訓練中心"_s, lecturer.name, lecturer.id,
             QString::number(totalHours), QString::fromUtf16(PreviousLessons[0].code), true,
             u"111100"_s, false, u"內外"_s,
             u"示範用的已結訓講習：前一天的簽到退、點名與照片。"_s});

        QStringList lessonKeys;
        for (int n = 0; n < lessonCount; ++n) {
            const LessonSpec &spec = PreviousLessons[n];
            lessonKeys << courseId + QString::fromUtf16(spec.code) + TimeText(spec.start);
            Run(u"insert into Course (INDEX_KEY, Subject, CNo4, DateStart, TimeStart, TimeEnd, "
                "Hours, teacher, teacherID, noonRS, noonRE, nightRS, nightRE, R1, R2, R3, CR_DATE) "
                "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {classKey, QString::fromUtf16(spec.subject), QString::fromUtf16(spec.code), date,
                 TimeText(spec.start), TimeText(spec.end), spec.hours, lecturer.name, lecturer.id,
                 TimeText(NoonStart), u"13:00"_s, u""_s, u""_s,
                 n == 0 ? PreviousRollCalls[0] : QString(u""_s),
                 n == 1 ? PreviousRollCalls[1] : QString(u""_s), u""_s, stamp});
        }

        QList<Student> people = students;
        people.append(lecturer);
        for (int n = 0; n < people.size(); ++n) {
            const Student &s = people.at(n);
            const bool isLecturer = n == people.size() - 1;
            Run(u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, SEX, BIRTHDAY, Mobile, DEPT, "
                "JOBTYPE, CR_DATE, CR_TYPE, BookingNo) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {classKey, s.id, s.memberNo, s.name, s.sex, s.birthday, s.mobile, s.employer,
                 isLecturer ? u"講師"_s : u"學員"_s, stamp, u"示範"_s,
                 QString(courseId.right(6) + QString::number(n + 1).rightJustified(3, u'0'))});
        }

        const QString folder = JoinPath(
            rules.pictureFolder,
            SignRecorder::PhotoSubPath(rules.subPathRule, classKey, roc, rules.courseNoLength, QString()));
        QSqlQuery insert(m_db);
        const QString insertSql =
            u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, NET, INDEX_KEY, NTP) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s;
        if (!insert.prepare(insertSql))
            throw DatabaseError(insertSql + u'\n' + insert.lastError().text());
        for (const DemoEvent &event : MakePreviousDayEvents(students, lecturer)) {
            const QString time = SixDigitTime(event.seconds);
            const QVariantList values = {StationNo, event.id, roc, time, event.type, EntryWay,
                                         u"N"_s, lessonKeys.at(event.lesson), u"N"_s};
            for (int i = 0; i < values.size(); ++i)
                insert.bindValue(i, values.at(i));
            if (!insert.exec())
                throw DatabaseError(insertSql + u'\n' + insert.lastError().text());
            const QString path = JoinPath(
                folder, SignRecorder::SnapshotFileName(classKey, event.id, roc, time, event.type, EntryWay));
            QString error;
            if (!WriteJpegFile(PaintSnapshot(event, day), path, rules.quality, &error))
                throw RolvanError(u"無法寫入照片 "_s + path + u"："_s + error);
        }
    }

private:
    QSqlDatabase m_db;
};

// The station settings the demonstration relies on.
void WriteStationSettings(const QString &iniPath)
{
    const QList<QPair<QString, QString>> keys = {
        {IniKey::PhotoOnSign, u"True"_s},
        // The synthetic camera is device 0 while the station has no real camera back end.
        {IniKey::CameraDevice, u"0"_s},
        {IniKey::IOKeyboard, u"True"_s},
        {IniKey::IdentityInputKind, u"身分證末5碼"_s},
        {IniKey::IdentityStoreKind, u"身分證字號"_s},
        {IniKey::IdentityShowKind, u"姓名"_s},
        {IniKey::PhotoQuality, u"75"_s},
    };
    for (const auto &[key, value] : keys)
        WriteIniSettingAt(iniPath, IniSection::Base, key, value);
}

} // namespace

int main(int argc, char *argv[])
{
    // The snapshots are painted with fonts, which need the GUI application; no screen is used.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QGuiApplication::arguments().mid(1);
    std::optional<int> at;
    QString iniPath;
    bool writeSettings = false;
    bool usable = true;
    while (usable && args.size() >= 2 && args.first().startsWith(u"--"_s)) {
        const QString option = args.takeFirst();
        const QString value = args.takeFirst();
        if (option == u"--at"_s) {
            const QTime time = QTime::fromString(value, u"HH:mm"_s);
            if (!time.isValid()) {
                err << u"make_demo_data: 時間格式錯誤（應為 HH:mm）："_s << value << '\n';
                return 2;
            }
            at = time.hour() * 60 + time.minute();
        } else if ((option == u"--ini"_s || option == u"--read-ini"_s) && !value.isEmpty()
                   && iniPath.isEmpty()) {
            iniPath = value;
            writeSettings = option == u"--ini"_s;
        } else {
            usable = false;
        }
    }
    if (!usable || args.size() != 2) {
        err << "usage: make_demo_data [--at HH:mm] [--ini <Rolvan.ini> | --read-ini <Rolvan.ini>] "
               "<Quorin.db> <yyyy/MM/dd>\n";
        return 2;
    }
    const QString dbPath = args.at(0);
    const QDate day = QDate::fromString(args.at(1), u"yyyy/MM/dd"_s);
    if (!day.isValid() || day.year() < 1912 || day.year() > 2910) {
        err << u"make_demo_data: 日期格式錯誤（應為 yyyy/MM/dd）："_s << args.at(1) << '\n';
        return 2;
    }
    // The class number: the day in the Republic-of-China calendar and a serial, eleven
    // characters as the training agency writes them.
    const QString courseId = CourseIdOf(day, u"0001"_s);
    const QDate previousDay = day.addDays(-1);
    const QString previousId = CourseIdOf(previousDay, PreviousSerial);

    QSqlDatabase::addDatabase(u"QSQLITE"_s, Connection);
    int status = 0;
    {
        QString error;
        if (!OpenSqliteFile(Connection, dbPath, &error)) {
            err << "make_demo_data: " << error << '\n';
            status = 1;
        } else {
            QSqlDatabase db = QSqlDatabase::database(Connection, false);
            DemoWriter writer(db);
            try {
                // The settings first: the snapshots of the day before follow them.
                if (writeSettings)
                    WriteStationSettings(iniPath);
                // A class already written stays as it is.
                const bool today = !writer.ClassExists(courseId);
                const bool previous = !iniPath.isEmpty() && previousDay.year() >= 1912
                    && !writer.ClassExists(previousId);
                if (today || previous) {
                    if (!db.transaction())
                        throw DatabaseError(db.lastError().text());
                    try {
                        if (today)
                            writer.Write(courseId, day, DayShift(at));
                        if (previous)
                            writer.WritePreviousDay(previousId, previousDay, ReadSnapshotRules(iniPath));
                    } catch (...) {
                        db.rollback();
                        throw;
                    }
                    if (!db.commit())
                        throw DatabaseError(db.lastError().text());
                }
                for (const QString &line : writer.Shown(courseId))
                    out << line << '\n';
            } catch (const RolvanError &e) {
                err << "make_demo_data: " << e.message() << '\n';
                status = 1;
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(Connection);
    return status;
}

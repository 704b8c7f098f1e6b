// make_demo_data [--at HH:mm] [--ini <Rolvan.ini>] <Quorin.db> <yyyy/MM/dd>
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
// Exits 0 on success, 1 when the database cannot be written, 2 on bad arguments.

#include "Fun/IdentityNumber.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/RolvanError.h"
#include "core/TDM.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
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

// The same forty students every time: a fixed seed, so the printed identities of a demo home
// stay the same from one day to the next. No two share the last five characters, so five
// digits always name one student.
QList<Student> MakeStudents()
{
    QRandomGenerator random(20240917);
    QList<Student> students;
    QSet<QString> lastFive;
    QSet<QString> names;
    const int placeCount = int(std::size(PlaceLetters)) - 1;
    while (students.size() < StudentCount) {
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
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    std::optional<int> at;
    QString iniPath;
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
        } else if (option == u"--ini"_s && !value.isEmpty()) {
            iniPath = value;
        } else {
            usable = false;
        }
    }
    if (!usable || args.size() != 2) {
        err << "usage: make_demo_data [--at HH:mm] [--ini <Rolvan.ini>] <Quorin.db> <yyyy/MM/dd>\n";
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
    const QString courseId =
        QString::number(day.year() - 1911).rightJustified(3, u'0') + day.toString(u"MMdd"_s) + u"0001"_s;

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
                // A class of that day already written stays as it is.
                if (!writer.ClassExists(courseId)) {
                    if (!db.transaction())
                        throw DatabaseError(db.lastError().text());
                    try {
                        writer.Write(courseId, day, DayShift(at));
                    } catch (...) {
                        db.rollback();
                        throw;
                    }
                    if (!db.commit())
                        throw DatabaseError(db.lastError().text());
                }
                if (!iniPath.isEmpty())
                    WriteStationSettings(iniPath);
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

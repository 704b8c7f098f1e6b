// The photo sign-in sheet of a lesson with 500 persons, each with a sign-in and a sign-out
// snapshot (640 x 480 JPEG files at quality 15, made once by the bench), from the sheet data to
// the PDF file without preview: BuildSheetData, the sheet rows, the layout with its pictures and
// the PDF export. In the same run, alternating with the sheets, the floor: reading and decoding
// those 1,000 JPEG files once. Prints the medians, their ratio (target: sheet <= 3 x floor), the
// size of the PDF and the peak memory of the process.
//
//   bench_photosheet [--repeat N] [--keep <folder>]
//
// Works in a temporary folder (or in <folder>, which is kept for a look at the PDF).

#include "BenchSupport.h"
#include "core/DbFunctions.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/JpegWriter.h"
#include "reports/SignSheets.h"
#include "station/SignRecorder.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <sys/resource.h>
#include <time.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString CourseId = u"11300009901"_s;
const QString ClassKey = u"1130000990101"_s;
const QString Day = u"2024/09/05"_s;
const QString DayRoc = u"1130905"_s;
const QString LessonKey = u"A10109:00"_s;
constexpr int Persons = 500;

double CpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

struct Timing
{
    double wallMs = 0;
    double cpuMs = 0;
};

template<typename F> Timing Measure(F &&work)
{
    QElapsedTimer wall;
    const double cpu = CpuMs();
    wall.start();
    work();
    return { wall.nsecsElapsed() / 1e6, CpuMs() - cpu };
}

QString Ms(double ms) { return QString::number(ms, 'f', 0) + u" ms"_s; }

QString PersonId(int i) { return u"A1%1"_s.arg(20000000 + i, 8, 10, QLatin1Char('0')); }

void Exec(QSqlQuery &query)
{
    if (!query.exec())
        throw DatabaseError(query.lastQuery() + u"\n"_s + query.lastError().text());
}

// The class, its lesson, 500 students with a sign-in and a sign-out each, and the snapshots.
QStringList MakeData(QSqlDatabase db, const QString &picDir)
{
    db.transaction();
    QSqlQuery q(db);
    q.prepare(
        u"insert into Courses (CourseId, Echelon, Course, DateStart, DateEnd, TimeStart, TimeEnd, "
        "TotHours, SignType, Place) values (?, '01', ?, ?, ?, '09:00', '12:00', '3', '110000', ?)"_s);
    q.addBindValue(CourseId);
    q.addBindValue(u"職業安全衛生教育訓練"_s);
    q.addBindValue(Day);
    q.addBindValue(Day);
    q.addBindValue(u"第一教室"_s);
    Exec(q);
    q.prepare(u"insert into Course (INDEX_KEY, CNo2, CNo4, DateStart, TimeStart, TimeEnd, Hours, "
              u"Subject) "
              "values (?, '必修', 'A101', ?, '09:00', '12:00', 3, ?)"_s);
    q.addBindValue(ClassKey);
    q.addBindValue(Day);
    q.addBindValue(u"職業安全衛生概論"_s);
    Exec(q);

    QSqlQuery booking(db);
    booking.prepare(
        u"insert into Booking (INDEX_KEY, ID, IDNO, NAME, Mobile, JOBTYPE) values (?, ?, ?, ?, ?, '學員')"_s);
    QSqlQuery event(db);
    event.prepare(
        u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY, NET, Web, NTP) "
        "values ('01', ?, ?, ?, ?, 'KB', ?, 'N', '0', 'Y')"_s);
    static const QStringList names { u"王小明"_s, u"李大華"_s, u"陳美玲"_s, u"林志偉"_s,
        u"張雅婷"_s };
    QStringList files;
    QImage image(640, 480, QImage::Format_RGB32);
    for (int i = 0; i < Persons; ++i) {
        const QString id = PersonId(i);
        booking.addBindValue(ClassKey);
        booking.addBindValue(id);
        booking.addBindValue(id);
        booking.addBindValue(QString(names.at(i % names.size()) + QString::number(i)));
        booking.addBindValue(u"09%1"_s.arg(12000000 + i, 8, 10, QLatin1Char('0')));
        Exec(booking);
        const QString times[2]
            = { u"08%1%2"_s.arg(30 + i % 30).arg(i % 60, 2, 10, QLatin1Char('0')),
                  u"12%1%2"_s.arg(1 + i % 30, 2, 10, QLatin1Char('0'))
                      .arg(i % 60, 2, 10, QLatin1Char('0')) };
        for (int k = 0; k < 2; ++k) {
            const QString type = QString::number(k);
            event.addBindValue(id);
            event.addBindValue(DayRoc);
            event.addBindValue(times[k]);
            event.addBindValue(type);
            event.addBindValue(QString(CourseId + LessonKey));
            Exec(event);
            // A camera-like picture: a coloured background with a face and a caption.
            image.fill(QColor::fromHsv((i * 37 + k * 20) % 360, 80, 180));
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(235, 200, 170));
            p.drawEllipse(QPointF(320 + (i % 40) - 20, 210), 105, 130);
            p.setBrush(QColor(50, 50, 70));
            p.drawRect(180, 360, 280, 120);
            p.setPen(Qt::white);
            p.drawText(QRect(0, 430, 640, 40), Qt::AlignCenter, id + u' ' + times[k]);
            p.end();
            const QString file = picDir + u'/'
                + SignRecorder::SnapshotFileName(ClassKey, id, DayRoc, times[k], type, u"KB"_s);
            QString error;
            if (!WriteJpegFile(image, file, 15, &error))
                throw RolvanError(error);
            files << file;
        }
    }
    if (!db.commit())
        throw DatabaseError(db.lastError().text());
    return files;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int repeat = 3;
    QString keep;
    const QStringList args = QCoreApplication::arguments();
    bool usage = args.size() % 2 == 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == u"--repeat"_s)
            repeat = args.at(i + 1).toInt();
        else if (args.at(i) == u"--keep"_s)
            keep = args.at(i + 1);
        else
            usage = true;
    }
    if (usage || repeat < 1) {
        Out() << "usage: bench_photosheet [--repeat N] [--keep <folder>]" << Qt::endl;
        return 2;
    }

    QTemporaryDir temporary;
    const QString home = keep.isEmpty() ? temporary.path() : QDir(keep).absolutePath();
    QDir(home).removeRecursively();
    const QString picDir = home + u"/PIC"_s;
    const QString pdfDir = home + u"/PDF"_s;
    QDir().mkpath(picDir);
    QDir().mkpath(pdfDir);
    const QString build = QStringLiteral(ROLVAN_BENCH_BUILD_DIR);
    const QString working = home + u"/Quorin.db"_s;
    if (!QFile::copy(build + u"/SampleQuorin.db"_s, working)) {
        Out() << "cannot copy the template " << build << "/SampleQuorin.db" << Qt::endl;
        return 1;
    }
    QFile::setPermissions(working, QFile::ReadOwner | QFile::WriteOwner);

    Globals globals;
    globals.ExeDir = build + QDir::separator(); // NoSign.jpg lies beside the program
    globals.CurrentClassKey = ClassKey;
    globals.OrganisationName = u"職業安全衛生訓練中心"_s;
    SetGlobals(&globals);
    auto dm = std::make_unique<TDM>(globals);
    QString error;
    if (!dm->OpenWorkingDatabase(working, &error)) {
        Out() << error << Qt::endl;
        return 1;
    }

    QStringList files;
    QElapsedTimer made;
    made.start();
    try {
        files = MakeData(dm->Con1(), picDir);
    } catch (const RolvanError &e) {
        Out() << "data not made: " << e.message() << Qt::endl;
        return 1;
    }
    qint64 pictureBytes = 0;
    for (const QString &f : std::as_const(files))
        pictureBytes += QFileInfo(f).size();
    Out() << Persons << " persons, " << files.size() << " snapshots 640x480 at quality 15 ("
          << pictureBytes / 1024 << " KiB) made in " << made.elapsed() << " ms" << Qt::endl;
    const long peakBefore = PeakKilobytes();

    const SheetChoice choice { u"1130905(四)"_s, LessonKey, CourseId + LessonKey };
    const ReportSettings settings;
    SignSheetPlaces places;
    places.PicDir = picDir;
    places.PdfDir = pdfDir;
    places.NoSignFile = build + u"/NoSign.jpg"_s;
    places.OrganisationName = globals.OrganisationName;
    std::vector<double> sheet, sheetCpu, floor, floorCpu;
    QString pdf;
    int pages = 0;
    int faults = 0;
    int loadedPictures = 0;
    for (int n = 0; n < repeat; ++n) {
        const Timing t = Measure([&] {
            try {
                const SignSheetOutput out = PrepareSignSheet(
                    dm->Con1(), SignSheetKind::Photo, ClassKey, choice, settings, true,
                    [&](const SheetData &) { return places; }, QString());
                ExportReportPdf(out.Layout, out.PdfFileName);
                pdf = out.PdfFileName;
                pages = out.Layout.pageCount();
                loadedPictures = 0;
                for (const ReportPage &page : out.Layout.pages) {
                    for (const ReportPlacedBand &band : page.bands) {
                        for (const ReportObject &o : band.objects)
                            loadedPictures += o.kind == ReportObjectKind::Picture && o.visible
                                && o.pictureFile.startsWith(picDir);
                    }
                }
            } catch (const RolvanError &e) {
                Out() << "sheet failed: " << e.message() << Qt::endl;
                ++faults;
            }
        });
        sheet.push_back(t.wallMs);
        sheetCpu.push_back(t.cpuMs);
        int decoded = 0;
        const Timing f = Measure([&] {
            for (const QString &file : std::as_const(files))
                decoded += QImageReader(file).read().isNull() ? 0 : 1;
        });
        floor.push_back(f.wallMs);
        floorCpu.push_back(f.cpuMs);
        if (decoded != files.size())
            ++faults;
    }
    if (loadedPictures != files.size())
        ++faults;

    const long peak = PeakKilobytes();
    const double ratio = Median(sheet) / Median(floor);
    Out() << Qt::endl
          << "photo sheet (sheet data, rows, layout, PDF): median " << Ms(Median(sheet)) << " of "
          << sheet.size() << ", processor " << Ms(Median(sheetCpu)) << Qt::endl
          << "floor (read and decode the " << files.size() << " JPEG files once): median "
          << Ms(Median(floor)) << ", processor " << Ms(Median(floorCpu)) << Qt::endl
          << "sheet / floor = " << QString::number(ratio, 'f', 2)
          << " (target <= 3): " << (ratio <= 3 ? "met" : "MISSED") << Qt::endl
          << "PDF " << QFileInfo(pdf).fileName() << ": " << pages << " pages, " << loadedPictures
          << " snapshots, " << QString::number(QFileInfo(pdf).size() / (1024.0 * 1024.0), 'f', 1)
          << " MiB" << Qt::endl
          << "peak memory (ru_maxrss) " << peak / 1024 << " MiB; " << peakBefore / 1024
          << " MiB before the first sheet" << Qt::endl
          << "faults " << faults << Qt::endl;

    dm.reset();
    SetGlobals(nullptr);
    return faults == 0 ? 0 : 1;
}

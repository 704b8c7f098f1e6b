// The sign-event package of a class of 500 persons with 10,000 sign events and 10,000 snapshots
// (20 KiB each, incompressible like JPEG files), its upload to the fake training service on
// 127.0.0.1, and on a second station's database the download, extraction and merge of the
// class's package the service builds from it (events and snapshots), then the same merge again
// (every line finds its row). Prints the time of each step, the peak memory of the process after
// it and the size of the package.
//
//   bench_recordupload [--keep <folder>]

#include "BenchSupport.h"
#include "core/DbFunctions.h"
#include "classes/RecordUpload.h"
#include "classes/TrainingService.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "fakeservice/FakeService.h"
#include "station/SignRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ClassNo = u"11501000099"_s;
const QString ClassKey = ClassNo + u"00"_s;
constexpr int Persons = 500;
constexpr int EventsPerPerson = 20;
constexpr int SnapshotBytes = 20 * 1024;

std::unique_ptr<TDM> OpenStation(Globals &globals, const QString &home, QString *error)
{
    QDir().mkpath(home);
    const QString working = home + u"/Quorin.db"_s;
    if (!QFile::copy(QStringLiteral(ROLVAN_BENCH_BUILD_DIR) + u"/SampleQuorin.db"_s, working)) {
        *error = u"cannot copy the template"_s;
        return nullptr;
    }
    QFile::setPermissions(working, QFile::ReadOwner | QFile::WriteOwner);
    auto dm = std::make_unique<TDM>(globals);
    if (!dm->OpenWorkingDatabase(working, error))
        return nullptr;
    return dm;
}

void Report(const QString &step, double ms, const QString &extra = QString())
{
    Out() << step.leftJustified(44) << QString::number(ms / 1000.0, 'f', 2) << " s   peak "
          << PeakKilobytes() / 1024 << " MiB" << (extra.isEmpty() ? QString() : u"   "_s + extra)
          << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QString keep;
    if (args.size() == 3 && args.at(1) == u"--keep"_s)
        keep = args.at(2);
    else if (args.size() != 1) {
        Out() << "usage: bench_recordupload [--keep <folder>]" << Qt::endl;
        return 2;
    }
    qputenv("ROLVAN_SOURCE_DIR", QByteArray(ROLVAN_BENCH_SOURCE_DIR));
    QTemporaryDir temporary;
    const QString root = keep.isEmpty() ? temporary.path() : QDir(keep).absolutePath();
    QDir(root).removeRecursively();

    Globals globals;
    globals.ExeDir = root + QDir::separator();
    SetGlobals(&globals);
    CountingPrompter prompter;
    SetCurrentPrompter(&prompter);
    QString error;
    auto sender = OpenStation(globals, root + u"/station01"_s, &error);
    auto receiver = sender ? OpenStation(globals, root + u"/station02"_s, &error) : nullptr;
    if (!receiver) {
        Out() << error << Qt::endl;
        return 1;
    }
    RecordUpload::Places from;
    from.pictureDir = root + u"/station01/pictures"_s;
    from.stationNo = u"01"_s;
    from.snapshotRule = u"課程編號"_s;
    RecordUpload::Places to = from;
    to.pictureDir = root + u"/station02/pictures"_s;
    to.stationNo = u"02"_s;

    // The class's events and snapshots on station 01.
    QElapsedTimer made;
    made.start();
    const QString pic = from.classFolder(ClassNo) + u"/PIC"_s;
    QDir().mkpath(pic);
    QSqlDatabase db = sender->Con1();
    QSqlQuery(db).exec(u"PRAGMA synchronous = OFF"_s);
    db.transaction();
    QSqlQuery insert(db);
    insert.prepare(u"insert into PSIO (DOOR, IDNO, IODATE, IOTIME, IOTYPE, IOWay, INDEX_KEY, NTP) "
                   "values ('01', ?, ?, ?, ?, 'KB', ?, 'Y')"_s);
    QByteArray picture(SnapshotBytes, '\0');
    for (int p = 0; p < Persons; ++p) {
        const QString idno = u"A1%1"_s.arg(p, 8, 10, QLatin1Char('0'));
        for (int e = 0; e < EventsPerPerson; ++e) {
            const QString date = u"11501%1"_s.arg(e / 2 + 1, 2, 10, QLatin1Char('0'));
            const QString type = e % 2 == 0 ? u"0"_s : u"1"_s;
            const QString time = (e % 2 == 0 ? u"0855"_s : u"1605"_s)
                + u"%1"_s.arg(p % 60, 2, 10, QLatin1Char('0'));
            for (const QString &v : { idno, date, time, type, QString(ClassNo + u"A10109:00"_s) })
                insert.addBindValue(v);
            insert.exec();
            QRandomGenerator::global()->fillRange(
                reinterpret_cast<quint32 *>(picture.data()), SnapshotBytes / 4);
            QFile f(pic + u'/'
                + SignRecorder::SnapshotFileName(ClassKey, idno, date, time, type, u"KB"_s));
            f.open(QIODevice::WriteOnly);
            f.write(picture);
        }
    }
    db.commit();
    Out() << "Made " << Persons * EventsPerPerson << " events and snapshots in "
          << made.elapsed() / 1000.0 << " s" << Qt::endl;

    FakeService fake;
    if (!fake.start()) {
        Out() << fake.error() << Qt::endl;
        return 1;
    }
    ServiceSettings settings;
    settings.baseUrl = fake.base();
    settings.trustedCaFile = fake.caFile();
    settings.unitCode = u"X001"_s;
    settings.timeoutMs = 120000;
    TrainingService service(settings);
    const QString token = service.FetchCheckToken().value;
    fake.markChecked(token);

    try {
        QElapsedTimer t;
        t.start();
        const auto package = RecordUpload::BuildEventPackage(db, from, ClassKey, ClassNo);
        Report(u"package (CSV, 10,000 snapshots, ZIP)"_s, t.elapsed(),
            u"ZIP %1 MiB, %2 events, %3 pictures"_s
                .arg(QFileInfo(package.zipPath).size() / 1048576.0, 0, 'f', 1)
                .arg(package.events)
                .arg(package.pictures));
        t.restart();
        const QString answer
            = RecordUpload::UploadPackage(service, ClassNo, token, package.zipPath);
        Report(u"upload to the fake service"_s, t.elapsed(), answer);

        QElapsedTimer stage;
        QString last;
        stage.start();
        t.restart();
        const auto merged = RecordUpload::DownloadAndMerge(
            service, receiver->Con1(), to, ClassKey, ClassNo, [&](const QString &next) {
                if (!last.isEmpty())
                    Report(u"  "_s + last, stage.elapsed());
                last = next;
                stage.restart();
            });
        Report(u"  "_s + last, stage.elapsed());
        Report(u"download, extraction and merge"_s, t.elapsed(),
            u"%1 merged, %2 added, %3 pictures"_s.arg(merged.merged)
                .arg(merged.added)
                .arg(merged.pictures));
        t.restart();
        const auto again
            = RecordUpload::MergeDownloadedPackage(receiver->Con1(), to, ClassKey, ClassNo);
        Report(u"the same merge again"_s, t.elapsed(),
            u"%1 merged, %2 added"_s.arg(again.merged).arg(again.added));
    } catch (const RolvanError &e) {
        Out() << "failed: " << e.message() << Qt::endl;
        return 1;
    }
    SetCurrentPrompter(nullptr);
    return 0;
}

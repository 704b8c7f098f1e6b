// The download of a class of 500 students and 60 lessons from the fake training service on
// loopback, into a copy of the template database with the station's durable settings: the whole
// download (token, student list, reading, one transaction) as a first import and as a re-import,
// against its floor (the same token and student list requests alone, and the write alone).

#include "BenchSupport.h"
#include "core/DbFunctions.h"
#include "classes/ClassImport.h"
#include "classes/TrainingService.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "fakeservice/FakeService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

constexpr int Students = 500;
constexpr int Lessons = 60;
constexpr int Runs = 7;

double Ms(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("ROLVAN_SOURCE_DIR"))
        qputenv("ROLVAN_SOURCE_DIR", ROLVAN_BENCH_SOURCE_DIR);
    CountingPrompter prompter;
    SetCurrentPrompter(&prompter);

    QTemporaryDir dir;
    Globals globals;
    globals.ExeDir = dir.path() + u'/';
    SetGlobals(&globals);
    TDM dm(globals);

    FakeService fake(
        { u"--students"_s, QString::number(Students), u"--lessons"_s, QString::number(Lessons) });
    if (!fake.start()) {
        Out() << "fake service: " << fake.error() << Qt::endl;
        return 1;
    }
    fake.configureStation();
    TrainingService service(ServiceSettings::FromIni());
    const ServiceOutcome<QByteArray> listText = service.FetchClassListText();
    QString error;
    const auto list = ClassImport::ParseClassList(listText.value, QDate::currentDate(), &error);
    if (!list) {
        Out() << "class list: " << (listText.ok() ? error : listText.error) << Qt::endl;
        return 1;
    }
    const WebClassEntry entry = list->entries.last();

    std::vector<double> first, again, fetchOnly, writeOnly;
    for (int run = 0; run < Runs; ++run) {
        const QString path = dir.path() + u"/Quorin%1.db"_s.arg(run);
        QFile::copy(QStringLiteral(ROLVAN_BENCH_BUILD_DIR) + u"/SampleQuorin.db"_s, path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        if (!dm.OpenWorkingDatabase(path, &error)) {
            Out() << error << Qt::endl;
            return 1;
        }
        QElapsedTimer t;
        t.start();
        auto summary = ClassImport::DownloadClass(service, dm.Con1(), entry, u"測試"_s,
            QDateTime::currentDateTime().addSecs(run * 10), &error);
        first.push_back(Ms(t));
        if (!summary || summary->students != Students || summary->lessons != Lessons) {
            Out() << "import failed: " << error << Qt::endl;
            return 1;
        }
        t.restart();
        summary = ClassImport::DownloadClass(service, dm.Con1(), entry, u"測試"_s,
            QDateTime::currentDateTime().addSecs(run * 10 + 5), &error);
        again.push_back(Ms(t));

        // The floor: the two requests and the reading alone, then the write alone.
        t.restart();
        const auto token = service.FetchServiceToken(TrainingService::TokenMember::First);
        const auto text = service.FetchStudentList(entry.classNo, token.value);
        const auto students = ClassImport::ParseStudentList(text.value, &error);
        const auto lessons = ClassImport::ParseLessons(entry.lessons, &error);
        fetchOnly.push_back(Ms(t));
        t.restart();
        ClassImport::WriteClass(dm.Con1(), entry, *students, *lessons, u"測試"_s,
            QDateTime::currentDateTime().addSecs(run * 10 + 7), &error);
        writeOnly.push_back(Ms(t));
        dm.CloseWorking();
    }
    Out() << "Class of " << Students << " students and " << Lessons
          << " lessons, fake service on loopback, " << Runs << " runs (median):" << Qt::endl;
    Out() << "  first import (fetch + read + one transaction): " << Median(first) << " ms"
          << Qt::endl;
    Out() << "  re-import (every row updated):                 " << Median(again) << " ms"
          << Qt::endl;
    Out() << "  floor: token + student list + reading:         " << Median(fetchOnly) << " ms"
          << Qt::endl;
    Out() << "  floor: the transaction alone (re-import):      " << Median(writeOnly) << " ms"
          << Qt::endl;
    Out() << "  peak memory: " << PeakKilobytes() / 1024
          << " MiB; messages shown: " << prompter.count << Qt::endl;
    return 0;
}

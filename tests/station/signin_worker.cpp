// One sign-in station of the four-station run, without windows: opens the shared database,
// sets up the station as the sign-in screen does (one class, one lesson, entry by the last five
// characters of the identity number) and types the entries of FourStationPlan with its clock
// set to each entry's second. Prints "ready" once the class is loaded, starts at the first line
// on its standard input, and writes one line per entry to the output file. In lock step
// ("lockstep" after the other arguments) it also waits for a line on its standard input before
// each further entry and prints "done" after each, so that a conductor can start entry n on
// every station at the same moment.
//
// The output file:
//
//   n <TAB> identity <TAB> type <TAB> date <TAB> stored|greeted|failed|other <TAB> RID
//     <TAB> microseconds <TAB> message
//
// "stored" carries the RID of the new row, "greeted" the RID of the first event the entry was
// greeted with, "failed" the message the operator would read. Lines starting with "#" give the
// wall-clock start and end (milliseconds since the epoch).
//
//   signin_worker <conninfo file> <station 0..3> <entries> <output file> <first day yyyy-MM-dd>
//                 [lockstep]
//
// The conninfo file is one line of NetDbSettings::ToConnInfo.

#include "FourStationPlan.h"

#include "Fun/DateTimeFunctions.h"
#include "station/Activation.h"
#include "base/Globals.h"
#include "core/NetDatabase.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "station/IdentityResolver.h"
#include "station/SignRecorder.h"
#include "station/StationState.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

using namespace Qt::StringLiterals;

namespace {

class SteppedClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &at) { m_now = at; }

private:
    QDateTime m_now;
};

// Keeps the last message instead of showing it; a choice is never made.
class NotingPrompter final : public Prompter
{
public:
    void ShowMessage(const QString &text) override { last = text; }
    void ShowError(const QString &text) override { last = text; }
    Button MessageDlgCaptions(const QString &message, const QList<ButtonSpec> &buttons) override
    {
        last = message;
        return buttons.isEmpty() ? Button::Cancel : buttons.last().kind;
    }
    int ChooseFromList(const QString &title, const QStringList &) override
    {
        last = title;
        return -1;
    }
    QString last;
};

// What the screen would show: only the history is kept.
class KeptSignView final : public SignView
{
public:
    void ShowHistory(const QList<HistoryRow> &rows) override { history = rows; }
    void ShowFailure(const QString &text) override { failure = text; }
    void HideFailure() override { failure.clear(); }
    void UpdateCounter(const QString &, const QString &) override {}
    void FocusEntry() override {}
    QList<HistoryRow> history;
    QString failure;
};

bool ReadConnInfo(const QString &path, NetDbSettings *settings)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *settings = NetDbSettings::FromConnInfo(QString::fromUtf8(file.readAll()));
    return settings->MissingKeys().isEmpty();
}

QString OneLine(QString text)
{
    return text.replace(u'\t', u' ').replace(u'\n', u" / "_s);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool lockstep = args.size() == 7 && args.at(6) == u"lockstep"_s;
    if (args.size() != 6 && !lockstep) {
        std::fprintf(stderr, "usage: signin_worker <conninfo file> <station 0..3> <entries> "
                             "<output file> <first day yyyy-MM-dd> [lockstep]\n");
        return 2;
    }
    NetDbSettings settings;
    if (!ReadConnInfo(args.at(1), &settings)) {
        std::fprintf(stderr, "signin_worker: no usable conninfo in %s\n", qPrintable(args.at(1)));
        return 2;
    }
    const int stationIndex = args.at(2).toInt();
    const int entries = args.at(3).toInt();
    const QDate firstDay = QDate::fromString(args.at(5), Qt::ISODate);
    QFile output(args.at(4));
    if (stationIndex < 0 || entries < 1 || !firstDay.isValid()
        || !output.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "signin_worker: bad arguments\n");
        return 2;
    }

    // A home of its own: no settings file, so the station keeps the default identity kinds
    // (entered by the last five characters, the whole identity number stored).
    QTemporaryDir home;
    Globals globals;
    globals.ExeDir = home.path() + QDir::separator();
    globals.CourseNoLength = 11;
    globals.CurrentClassKey = FourStationPlan::ClassKey();
    SetGlobals(&globals);
    auto dm = std::make_unique<TDM>(globals);
    QString error;
    if (!dm->OpenSharedWorkingDatabase(settings, &error)) {
        std::fprintf(stderr, "signin_worker: %s\n", qPrintable(error));
        return 1;
    }
    globals.IdnoCaption = ReadIdnoCaption(dm->Con1());
    SteppedClock clock;
    clock.set(QDateTime(firstDay, QTime(7, 59, 0)));
    SetCurrentClock(&clock);
    NotingPrompter prompter;
    SetCurrentPrompter(&prompter);

    StationState station;
    station.ClassKey = FourStationPlan::ClassKey();
    station.ClassSigner = u"內外"_s;
    station.VINDEX_IO = FourStationPlan::LessonKey();
    station.LessonText = u"0001:法規(08:00)"_s;
    station.StationReady = true;
    station.TypeChecked = true;
    station.CurrentIoType = u"0"_s;
    station.StationNo = FourStationPlan::StationNo(stationIndex);
    station.NtpFlag = u"Y"_s;
    station.preBooking = true;
    station.photoOn = false;
    station.OkSoundOn = false;
    station.ManualKind = IdentityKind::Last5;
    KeptSignView view;
    auto resolver = std::make_unique<IdentityResolver>(station, *dm);
    resolver->LoadSettings();
    auto recorder = std::make_unique<SignRecorder>(station, *dm, *resolver, view);

    // The class is loaded before the start, as on a station that has been open for a while.
    if (resolver->Resolve(FourStationPlan::PersonId(0).right(5), u"KB"_s).outcome
        != IdentityResolver::Resolution::Outcome::Found) {
        std::fprintf(stderr, "signin_worker: the class is not enrolled\n");
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string go;
    std::getline(std::cin, go);

    QTextStream out(&output);
    out << "# start " << QDateTime::currentMSecsSinceEpoch() << '\n';
    QElapsedTimer timer;
    for (int n = 0; n < entries; ++n) {
        if (lockstep && n > 0)
            std::getline(std::cin, go);
        const FourStationPlan::Entry entry = FourStationPlan::At(stationIndex, n, firstDay);
        clock.set(entry.at);
        station.CurrentIoType = entry.ioType;
        prompter.last.clear();
        view.history.clear();
        const QString id = FourStationPlan::PersonId(entry.person);
        timer.start();
        const SignRecorder::Outcome outcome = recorder->ConfirmEntry(id.right(5)).outcome;
        const qint64 micros = timer.nsecsElapsed() / 1000;
        QString kind = u"other"_s;
        qint64 rid = 0;
        QString message;
        if (outcome == SignRecorder::Outcome::Recorded || outcome == SignRecorder::Outcome::Duplicate) {
            kind = outcome == SignRecorder::Outcome::Recorded ? u"stored"_s : u"greeted"_s;
            rid = view.history.isEmpty() ? 0 : view.history.first().rid;
        } else if (outcome == SignRecorder::Outcome::Failed) {
            kind = u"failed"_s;
            message = prompter.last;
        } else {
            message = u"outcome %1 %2 %3"_s.arg(int(outcome)).arg(prompter.last, view.failure);
        }
        out << n << '\t' << id << '\t' << entry.ioType << '\t'
            << FormatDateByPattern(u"YYYMMDD"_s, entry.at) << '\t' << kind << '\t' << rid << '\t'
            << micros << '\t' << OneLine(message) << '\n';
        if (lockstep)
            std::cout << "done" << std::endl;
    }
    out << "# end " << QDateTime::currentMSecsSinceEpoch() << '\n';
    out.flush();
    const bool written = output.flush() && out.status() == QTextStream::Ok;
    output.close();

    SetCurrentPrompter(nullptr);
    SetCurrentClock(nullptr);
    recorder.reset();
    resolver.reset();
    dm.reset();
    SetGlobals(nullptr);
    return written ? 0 : 1;
}

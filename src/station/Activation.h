#pragma once

#include <QString>
#include <QStringList>

#include "core/DataFolders.h"

class TDM;
struct StationState;

// What the activation asks of the main window and of the parts that later issues fill.
class ActivationHooks
{
public:
    virtual ~ActivationHooks() = default;
    // Step 14: list the capture devices and start the camera. Returns false when the program
    // must end (no device while the photo switch is on).
    virtual bool StartCamera(StationState &) { return true; }
    // Step 20: the conversion window, shown modally; the activation continues after it.
    virtual void OpenConversionWindow() {}
    // Step 22: the automatic choice of today's class and lesson.
    virtual void ChooseTodaysClass(StationState &) {}
    // Step 25: clock synchronisation in the given mode ("ST" at activation).
    virtual void SynchroniseClock(StationState &, const QString &) {}
};

// The time limits of the sign-in windows (section Base): 上課前幾分鐘開始簽到 and
// 下課後幾分鐘內可簽退 as "HH:MM" (a value of 0 minutes, blank or missing means no limit, as the
// settings window says), 課間休息分鐘限制 and 課間自動課程班別切換限制. Read at each activation and
// at each station settings load, so that a saved value counts as soon as the station is back.
void ReadTimeLimits(StationState &station);

// The duties of the main window each time it becomes active: settings, data folders, the
// working database (copied from the template when missing), the database-version check.
class MainActivation
{
public:
    MainActivation(TDM &dm, StationState &station, ActivationHooks &hooks);

    enum class Outcome {
        Done,        // every step ran
        Stopped,     // an error stopped this activation; the program keeps running
        Terminate,   // the program must end (no camera)
    };

    // Runs every step in order. `arguments` are the program's command-line arguments,
    // index 0 the program path. `executablePath` is the file whose version is read.
    Outcome Run(const QStringList &arguments, const QString &executablePath);

    // The text of the error that stopped the last run, if any. Empty when the run stopped on a
    // database problem already reported by an earlier run: it is shown once, not at every
    // activation.
    QString lastError() const { return m_lastError; }


private:
    bool OpenSharedDatabase();
    bool OpenWorkingDatabase();
    void CheckStorageKind();
    void CheckDatabaseVersion();
    void RecordVersions(const QString &executablePath);

    TDM &m_dm;
    StationState &m_station;
    ActivationHooks &m_hooks;
    QString m_lastError;
};


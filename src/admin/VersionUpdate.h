#pragma once

#include "net/WebClient.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// Where updates come from and where they are unpacked, as the station's settings say.
struct UpdateSettings
{
    QString baseUrl; // Base/版更網址 followed by "/"
    QString workFolder; // Base/DataBaseLocationPath
    QString trustedCaFile; // Base/信任憑證檔, empty = the system's store alone
    int timeoutMs = WebClient::DefaultTimeoutMs;

    static UpdateSettings FromIni();
};

// What the version check found.
struct UpdateCheck
{
    enum class Result { Newer, UpToDate, HttpError, Failed };
    Result result = Result::Failed;
    QString offered; // the server's version (Newer, UpToDate)
    // HttpError: the status, the client's error text and the server's reply, shown in turn.
    int status = 0;
    QString errorText;
    QString replyText;
};

// The outcome of a step that may fail: the reason in the operator's words when it did.
struct UpdateStep
{
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// How the updater is started once the station has ended.
struct UpdaterLaunch
{
    QString program; // the updater in the program folder
    QStringList arguments;
    QString workingFolder;
};

// What the designer's package is made of.
struct PackageSources
{
    QString programFile; // the station program, packed as Rolvan (Rolvan.exe)
    QString updaterFile; // runUpdate
    QString templateFile; // SampleQuorin.db
};

// The version update of the station: the check against RolvanVer.txt, the download of
// RolvanUpdate.zip (checked against RolvanUpdate.zip.sha256 when the server has one), the
// unpacking and the hand-over to the updater; and, for the designer, the package itself.
// Nothing here shows anything: each step returns what the window shows.
class VersionUpdate
{
public:
    VersionUpdate(const UpdateSettings &settings, const QString &currentVersion);
    ~VersionUpdate();

    WebClient &client() { return *m_client; }
    const UpdateSettings &settings() const { return m_settings; }
    QString currentVersion() const { return m_currentVersion; }

    QString packagePath() const; // work folder + RolvanUpdate.zip
    QString unpackFolder() const; // work folder + UnZip

    // Fetches RolvanVer.txt and compares its version with the current one, number by number.
    UpdateCheck Check();

    // Fetches RolvanUpdate.zip into the work folder. percent is called with 0..100 while the
    // answer announces its length. A cut, failed or mismatching download leaves no package.
    UpdateStep Download(const std::function<void(int percent)> &percent = {});

    // Unpacks the downloaded package into the unpack folder (emptied first) and deletes it.
    // Only a complete package is kept: every entry extracted (escaping entries refuse the whole
    // archive), the program and the updater present, the program newer than the current one,
    // and no settings file or working database among the files. Returns the new version.
    UpdateStep Unpack(QString *newVersion);

    // Puts the unpacked updater in place of the program folder's: it must answer --version
    // first; it is copied beside the old one and renamed over it only when complete.
    UpdateStep PlaceUpdater(const QString &programFolder);

    // The updater replaces the files of the program folder: refused when the station takes its
    // settings and template from another folder (ROLVAN_HOME), which the update would not reach.
    static UpdateStep CheckProgramFolder(
        const QString &programFolder, const QString &settingsFolder);

    // How to start the updater for the station with that process id.
    UpdaterLaunch MakeLaunch(
        const QString &programFolder, const QString &newVersion, qint64 pid, bool restart) const;

    // The failure the last updater run left in the work folder (once: the note is removed).
    QString TakeUpdaterFailure() const;

    // Builds the update package in work folder/upload: RolvanUpdate.zip with the program (its
    // version read from its marker), the updater and the template at the top level,
    // RolvanVer.txt with that version and RolvanUpdate.zip.sha256. Returns the package's path.
    static UpdateStep BuildPackage(
        const PackageSources &sources, const QString &workFolder, QString *packagePath);

private:
    QString url(const QString &name) const { return m_settings.baseUrl + name; }

    UpdateSettings m_settings;
    QString m_currentVersion;
    std::unique_ptr<WebClient> m_client;
    QString m_setupError;
};

// The updater the station starts when it ends (set by the update window, taken by the entry).
void SetPendingUpdaterLaunch(const UpdaterLaunch &launch);
std::optional<UpdaterLaunch> TakePendingUpdaterLaunch();

#pragma once

#include <QString>

// Program-wide values. One object is created at entry and reached through the data module;
// tests make their own.
struct Globals
{
    // Constants fixed at entry.
    QString SystemType = QStringLiteral("Ostwick委託辦理訓練講習班");
    QString ProgramName = QStringLiteral("Rolvan");
    QString DbFileName = QStringLiteral("Quorin.db");
    QString SampleDbFileName = QStringLiteral("SampleQuorin.db");
    QString TempDbFileName = QStringLiteral("QuorinTemp.db");
    QString OrgDbFileName = QStringLiteral("ORGDB.db");
    // Kept for the record: the password the Jet files carried. SQLite files have none.
    QString DbPassword = QStringLiteral("山水花鳥風月雲雨雪霜星辰日夜春秋冬");
    // The station's own folder, with a trailing separator: Rolvan.ini and what the settings
    // window creates there. ROLVAN_HOME, else the folder of the executable, else (an installed
    // program, see InstalledMarkerFileName) the per-user folder of PerUserHome().
    QString ExeDir;
    // The folder of the read-only program files (template, sounds, pictures), with a trailing
    // separator; empty means ExeDir (a build tree, a demo or test home).
    QString ProgramDir;
    QString IniFileName = QStringLiteral("Rolvan.ini");

    // Set by the main window.
    QString StartDir;
    QString ExeVersion;
    QString EditionText;
    QString VersionText;
    int EditionLevel = 0;
    bool DesignerMode = false;
    QString OrganisationName;
    int CourseNoLength = 11;
    QString IdnoCaption;

    // The class being worked on (class key = trimmed CourseId + Echelon as two digits).
    QString CurrentClassKey;
    // Help window topic: the help name; the subject travels in TDM::vString.
    QString HelpName;

    QString iniPath() const { return ExeDir + IniFileName; }
    QString programDir() const { return ProgramDir.isEmpty() ? ExeDir : ProgramDir; }
    QString samplePath() const { return programDir() + SampleDbFileName; }
};

// The Globals of the running program (or of the current test). Set once at entry.
Globals &G();
void SetGlobals(Globals *globals);

// An installed program carries this file beside its executable: its own folder is read-only,
// and the station keeps its writable files in PerUserHome().
inline const QString InstalledMarkerFileName = QStringLiteral("rolvan-installed");

// The writable folder of an installed station: $XDG_DATA_HOME/rolvan (~/.local/share/rolvan).
QString PerUserHome();

// The folder that stands for the executable's folder: ROLVAN_HOME when set; else, for an
// installed program (the marker beside the executable), PerUserHome(), created when missing;
// else the executable's own folder. Always ends with the platform separator.
QString ResolveExeDir(const QString &applicationDirPath);

// The folder of the read-only program files: ROLVAN_HOME when it holds the template (a demo or
// test home carries its own copies), else the executable's folder. Always ends with the platform separator.
QString ResolveProgramDir(const QString &applicationDirPath);

// The default root of the data folders: C:\RolvanDAP on Windows, $HOME/RolvanDAP elsewhere.
QString DefaultDataRoot();

// Joins path parts with the platform's separator.
QString JoinPath(const QString &folder, const QString &name);

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
    QString ExeDir;      // folder of the executable (or ROLVAN_HOME), with a trailing separator
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

    // Values the choice dialogs and the class and lesson windows exchange.

    QString iniPath() const { return ExeDir + IniFileName; }
    QString samplePath() const { return ExeDir + SampleDbFileName; }
};

// The Globals of the running program (or of the current test). Set once at entry.
Globals &G();
void SetGlobals(Globals *globals);

// The folder that stands for the executable's folder: ROLVAN_HOME when set, else the
// executable's own folder. Always ends with the platform separator.
QString ResolveExeDir(const QString &applicationDirPath);

// The default root of the data folders: C:\RolvanDAP on Windows, $HOME/RolvanDAP elsewhere.
QString DefaultDataRoot();

// Joins path parts with the platform's separator.
QString JoinPath(const QString &folder, const QString &name);

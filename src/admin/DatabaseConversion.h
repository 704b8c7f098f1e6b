#pragma once

#include "admin/JetStaging.h"
#include "admin/SharedDatabaseBackup.h"

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

class TDM;

// What the backup and conversion show while they run: two status lines and a bar.
struct ConversionProgress
{
    QString tableLine; // "資料表：Courses 轉換中 ", then "Courses     Process finish  "
    QString rowLine;   // "120筆之 第 7      "
    int percent = 0;   // 0 .. 100 of the current step
};

// The backup of the working database and its conversion to the layout of the template.
//
// The backup is taken through SQLite itself (VACUUM INTO a temporary name in the backup folder,
// checked with integrity_check, then renamed), so rows still in the write-ahead log are in it and
// a write in progress can never tear it. A backup that fails stops the work with a message.
//
// The conversion builds QuorinTemp.db in the data folder from the template, copies the old data
// into it table by table, checks it, and only then puts it in place of Quorin.db in one rename.
// Until that rename Quorin.db is never written: any error leaves it as it was, with the backup
// beside it. The working connection Con1 is closed for the work and opened again afterwards, on
// the new file or, after a failure, on the unchanged one.
class DatabaseConversion
{
public:
    using ProgressCallback = std::function<void(const ConversionProgress &)>;
    // Called at the start of every table step with the new table's name (tests throw from it).
    using StepHook = std::function<void(const QString &table)>;

    struct Options
    {
        QString dataFolder;     // folder of Quorin.db and QuorinTemp.db
        QString backupFolder;   // created when missing
        QString backupFileName; // a bare file name, "<yyyymmddhhmmss>_QuorinBackup.db"
        QString templatePath;   // SampleQuorin.db
        bool backupOnly = true; // "備份不轉換"
        // Folders searched for pg_dump when the shared database is backed up.
        QStringList pgDumpSearchPath = SharedDatabaseBackup::DefaultSearchPath();
    };

    struct Result
    {
        QString backupPath;
        bool converted = false;
    };

    explicit DatabaseConversion(TDM &dm);

    // "<yyyymmddhhmmss>_QuorinBackup.db" of the given moment.
    static QString BackupFileName(const QDateTime &at);
    // Whether the station works on the shared database (INI Base "useNetDB"): then the backup
    // is a pg_dump of it ("<yyyymmddhhmmss>_QuorinBackup.pgdump") and nothing is converted.
    static bool SharedDatabaseInUse();
    // Why a shared database is not converted.
    static QString SharedConversionRefusal();
    // The data folder and the backup folder as the start-up uses them (with their defaults).
    static QString DataFolder();
    static QString BackupFolder();
    // The options of a run from the settings, with a backup name made from CurrentClock()
    // (the pg_dump name when the shared database is in use).
    static Options DefaultOptions();

    void setProgressCallback(ProgressCallback callback) { m_progress = std::move(callback); }
    void setStepHook(StepHook hook) { m_stepHook = std::move(hook); }

    // Backs up and, unless backupOnly, converts. Throws RolvanError with a message for the user
    // on any failure; Con1 is open again (on the unchanged Quorin.db) when it returns or throws,
    // if it was open before (a file the station refused stays closed).
    // On the shared database the backup is SharedDatabaseBackup's into the backup folder (Con1
    // stays open: pg_dump reads one consistent snapshot while the stations go on working), and
    // a conversion is refused before anything is done.
    Result Run(const Options &options);

    // An old Access database (Quorin.mdb of the data folder, Quorin.db missing) read through a
    // staging SQLite file and converted into a new Quorin.db. The .mdb is only read: it stays as
    // it was and is the backup. The staging file and QuorinTemp.db are this run's own and are
    // removed whatever happens; Quorin.db appears only when everything succeeded. Throws
    // RolvanError with a message for the user; Con1 is open on the new Quorin.db on success.
    struct JetResult
    {
        JetStaging::Result staging;
        QString databasePath;
    };
    JetResult RunFromJet(const QString &mdbPath, const Options &options);
    // The staging file of the Jet conversion in the data folder.
    static QString JetStagingPath(const QString &dataFolder);

    // The steps on their own. BackupDatabase writes a checked copy of the database at
    // sourcePath to targetPath (replacing a file of that name) or throws.
    static void BackupDatabase(const QString &sourcePath, const QString &targetPath);

    // Copies the tables of oldDb into newDb (both open), in one transaction of newDb.
    void ConvertTables(QSqlDatabase oldDb, QSqlDatabase newDb);

    // The "Y"/"N" a yes/no value becomes in a text column.
    static QString YesNoText(const QVariant &value);

    // Kinds of column compared by the row copy; a value is copied between columns of one kind.
    enum class ColumnKind { Untyped, Text, Integer, Real, YesNo, DateTime, Binary };
    static ColumnKind KindOfDeclaredType(const QString &declaredType);

private:
    struct Column
    {
        QString name;
        ColumnKind kind = ColumnKind::Untyped;
    };
    static QList<Column> ColumnsOf(QSqlDatabase db, const QString &table);
    static QString ExistingTable(QSqlDatabase db, const QString &name);
    static QString KeyColumn(const QList<Column> &oldColumns);

    void Report(const QString &tableLine, const QString &rowLine, int percent);
    void ReportRow(int ordinal, int count);

    void RowCopy(QSqlDatabase oldDb, QSqlDatabase newDb, const QString &newTable,
                 const QString &oldTable);
    void CodeMerge(QSqlDatabase oldDb, QSqlDatabase newDb);
    void HelpMerge(QSqlDatabase oldDb, QSqlDatabase newDb);
    QString CompletedLessonKey(QSqlDatabase oldDb, const QString &key, const QString &rocDate);

    Result RunShared(const Options &options);
    void ConvertInto(const QString &workingPath, const QString &templatePath,
                     const QString &tempPath);

    TDM &m_dm;
    ProgressCallback m_progress;
    StepHook m_stepHook;
    QString m_tableLine;
    int m_lastPercent = -1;
    QHash<QString, QString> m_startTimes; // lesson start times found for key completion
    bool m_oldHasCourse = false;
};

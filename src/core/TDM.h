#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class QThread;

struct Globals;
struct NetDbSettings;

// The data module: owns the working connection (Con1, the attendance database Quorin.db)
// and the template connection (ConSample, SampleQuorin.db beside the executable). One is
// created at entry and lives for the whole run, handed to whatever works on its connections.
// Tests create their own, one after the other or several at once: every instance has
// connection names of its own.
class TDM : public QObject
{
    Q_OBJECT

public:
    explicit TDM(Globals &globals, QObject *parent = nullptr);
    ~TDM() override;

    Globals &globals();

    QSqlDatabase Con1() const;
    QSqlDatabase ConSample() const;

    QString con1Name() const { return m_con1Name; }
    QString conSampleName() const { return m_conSampleName; }

    // Points Con1 at an existing SQLite file and opens it. A missing, unreadable or corrupt
    // file is refused with a message naming it, and the file is left as it was.
    bool OpenWorkingDatabase(const QString &filePath, QString *error = nullptr);
    // OpenWorkingDatabase for the station's own database, after the checks that must come
    // before anything changes the file: the file, its folder and the disk let us write
    // (CheckDatabaseWritable) and the file is one of ours (CheckOurDatabase). A refused file is
    // not touched; *error is the message of DatabaseProblemMessage, naming the newest backup.
    bool OpenCheckedWorkingDatabase(const QString &filePath, const QString &backupFolder,
                                    QString *error = nullptr);
    // Points Con1 at the shared database server (INI Base "useNetDB" = True): connects, makes
    // the schema and the template's rows on an empty database (ConSample must be open for
    // that) and checks nothing else; the version check is the caller's, as for a file.
    bool OpenSharedWorkingDatabase(const NetDbSettings &settings, QString *error = nullptr);
    // Only connects Con1 to the server, leaving an empty database empty.
    bool ConnectSharedWorkingDatabase(const NetDbSettings &settings, QString *error = nullptr);
    // Whether Con1 is (to be) the shared PostgreSQL database.
    bool isShared() const { return m_con1Name == m_sharedCon1Name && !m_sharedCon1Name.isEmpty(); }

    // The same for the template connection (opened read-write: the help texts are edited
    // in it).
    bool OpenSampleDatabase(const QString &filePath, QString *error = nullptr);

    // Counts every open of the working connection: statements prepared on an earlier one are
    // gone (on PostgreSQL they live in the server's session).
    int workingOpens() const { return m_workingOpens; }

    void CloseWorking();
    void CloseSample();
    bool isWorkingOpen() const;
    bool isSampleOpen() const;

    // The page or subject that the next help window shows; the caller sets it first.
    QString vString;

    // Whether an open problem of the working database is news: the station reports a problem
    // once, not again at every activation while it stays the same. A successful open forgets it.
    bool IsNewOpenProblem(const QString &message);
    void ForgetOpenProblem() { m_reportedOpenProblem.clear(); }
    // Whether a problem that does not stop the station (the settings file cannot be written)
    // is shown for the first time in this run.
    bool IsNewProblemOfThisRun(const QString &message);

    // SQLite's page check of the working database, once per file and run, on a thread of its
    // own (on a database of a million events it takes about 1.5 s from a cold disk): the
    // station is usable meanwhile. A damaged file is reported by pageCheckDamaged() and shown
    // by the current prompter, naming the newest backup in backupFolder; then the newest backup
    // that passes the check is offered for restoring (RestoreWorkingDatabase), "暫不還原" being
    // the default answer.
    void StartPageCheck(const QString &filePath, const QString &backupFolder);
    // Puts backup in the place of the working database filePath (see RestoreDatabaseFromBackup):
    // the working connection is closed first and the file opened again afterwards. What was done,
    // or why not, is shown by the current prompter. Returns whether the backup was put in place.
    bool RestoreWorkingDatabase(const QString &filePath, const QString &backupFolder,
                                const QString &backup);
    // Waits for a running page check (tests, the end of the run).
    void WaitForPageCheck();

signals:
    void pageCheckDamaged(const QString &message);

private:
    void OfferRestore(const QString &filePath, const QString &backupFolder);

    Globals &m_globals;
    QString m_con1Name;
    QString m_localCon1Name;
    QString m_sharedCon1Name;
    int m_workingOpens = 0;
    QString m_conSampleName;
    QString m_reportedOpenProblem;
    QStringList m_reportedProblems;
    QStringList m_pageChecked;
    QThread *m_pageCheck = nullptr;
};

// Why a database file cannot be used, in the words the operator reads.
enum class DatabaseProblem {
    None,
    Missing,            // no file
    NoWriteAccess,      // a read-only file, folder or mount
    DiskFull,           // too little room left to record safely
    Damaged,            // an empty file, or SQLite finds it damaged
    NotOurs,            // not a database, or a database without our version row
    TemplateCopyFailed, // a new working database could not be made from the template
};

struct DatabaseCheck
{
    DatabaseProblem problem = DatabaseProblem::None;
    QString detail; // what exactly, in Chinese (may carry SQLite's or the system's text)
    bool ok() const { return problem == DatabaseProblem::None; }
};

// The short Chinese name of a case ("資料庫檔案已損毀").
QString DatabaseProblemText(DatabaseProblem problem);

// Looks at a database file without changing it, before it is opened for writing or copied:
// an existing, non-empty SQLite file whose SYS_CODE holds the database version row. Read only
// (a separate read-only connection); nothing beside the file is created.
DatabaseCheck CheckOurDatabase(const QString &filePath);

// Whether the program may write the database: the file, its folder (SQLite keeps its log
// files beside it) and the disk (a read-only mount, too little free room).
DatabaseCheck CheckDatabaseWritable(const QString &filePath);

// SQLite's page check (PRAGMA quick_check) on a read-only connection of its own, so it may
// run on another thread while the station works. "ok" gives no problem. fullCheck runs
// integrity_check instead, which also compares every index with its table (slower).
DatabaseCheck QuickCheckDatabase(const QString &filePath, bool fullCheck = false);

// Makes a new working database at target as a copy of the template, once the template has been
// found to be one of ours (a damaged or foreign template is never copied). The copy goes
// through AtomicFile: every write checked and synchronised, renamed only when complete, so a
// copy that fails half-way (a full disk) leaves no broken database behind. False with the
// reason in *error.
bool CopyTemplateDatabase(const QString &templatePath, const QString &target, QString *error);

// The newest backup "<yyyymmddhhmmss>_QuorinBackup.db" in folder, as a full path; empty when
// there is none.
QString NewestDatabaseBackup(const QString &backupFolder);

// The message shown when the working database cannot be used:
// "無法開啟資料庫 <path>：<case>" + the detail + the newest backup, when there is one.
QString DatabaseProblemMessage(const QString &filePath, const DatabaseCheck &check,
                               const QString &backupFolder);

// Opens an existing SQLite file on the connection named connectionName (closing it first):
// never creates a missing file, reads the file before anything writes to it, then switches
// on WAL, synchronous FULL and a busy time-out and registers the Jet helper functions.
// On failure the connection is closed and *error holds a message naming the file and the case
// (missing, empty, not a database, damaged, no write access, disk full). An empty file is
// refused before SQLite would turn it into an empty database.
// The working database keeps a write-ahead log; the template a plain rollback journal.
enum class SqliteJournal { WriteAheadLog, Rollback };
bool OpenSqliteFile(const QString &connectionName, const QString &filePath, QString *error,
                    SqliteJournal journal = SqliteJournal::WriteAheadLog);

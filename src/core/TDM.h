#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

struct Globals;

// The data module: owns the working connection (Con1, the attendance database Quorin.db)
// and the template connection (ConSample, SampleQuorin.db beside the executable). One is
// created at entry and lives for the whole run; the free database routines reach the
// connections through TDM::instance(). Tests create their own, one after the other or
// several at once: every instance has connection names of its own.
class TDM : public QObject
{
    Q_OBJECT

public:
    explicit TDM(Globals &globals, QObject *parent = nullptr);
    ~TDM() override;

    // The most recently created data module that is still alive (nullptr when none).
    static TDM *instance();

    Globals &globals();

    QSqlDatabase Con1() const;
    QSqlDatabase ConSample() const;

    QString con1Name() const { return m_con1Name; }
    QString conSampleName() const { return m_conSampleName; }

    // Points Con1 at an existing SQLite file and opens it. A missing, unreadable or corrupt
    // file is refused with a message naming it, and the file is left as it was.
    bool OpenWorkingDatabase(const QString &filePath, QString *error = nullptr);
    // The same for the template connection (opened read-write: the help texts are edited
    // in it).
    bool OpenSampleDatabase(const QString &filePath, QString *error = nullptr);

    void CloseWorking();
    void CloseSample();
    bool isWorkingOpen() const;
    bool isSampleOpen() const;

    // The page or subject that the next help window shows; the caller sets it first.
    QString vString;

private:
    Globals &m_globals;
    QString m_con1Name;
    QString m_conSampleName;
};

// Opens an existing SQLite file on the connection named connectionName (closing it first):
// never creates a missing file, reads the file before anything writes to it, then switches
// on WAL, synchronous FULL and a busy time-out and registers the Jet helper functions.
// On failure the connection is closed and *error holds a message naming the file.
// The working database keeps a write-ahead log; the template a plain rollback journal.
enum class SqliteJournal { WriteAheadLog, Rollback };
bool OpenSqliteFile(const QString &connectionName, const QString &filePath, QString *error,
                    SqliteJournal journal = SqliteJournal::WriteAheadLog);

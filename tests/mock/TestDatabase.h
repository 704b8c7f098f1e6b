#pragma once

#include "base/Globals.h"
#include "core/NetDatabase.h"
#include "mock/TestDataModule.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// The kind of database a suite runs on. By default SQLite files; with the environment variable
// ROLVAN_TEST_PG naming the "conninfo" file of a server started by scripts/test-postgres (CTest
// does this for the suites registered on both), every database a test opens is a new database
// on that PostgreSQL server instead: the same tests, run once on each kind.
namespace TestBackend {

bool UsesPostgres();
// The server of ROLVAN_TEST_PG with a new, empty schema made for the caller (in a database of
// the test process that holds the helper functions, dropped when the process ends).
NetDbSettings NewPostgresDatabase();
// Opens the station's working database for a test: the SQLite file itself, or on PostgreSQL a
// new database holding the schema and every row of that file (the file is only read), dropped
// when the TestDatabase that holds dm goes.
bool OpenWorkingDatabase(TDM &dm, const QString &sqlitePath, QString *error);
// Opens the working database again after CloseWorking: the same file, or the same database
// on the server that OpenWorkingDatabase made.
bool ReopenWorkingDatabase(TDM &dm, const QString &sqlitePath, QString *error);
// Opens other's working connection on the same database as first's (a second station).
bool OpenSameDatabase(TDM &other, TDM &first, QString *error);
// Where dm works on the server (after OpenWorkingDatabase or OpenSameDatabase).
NetDbSettings SettingsOf(const TDM &dm);
// "SQLite" or "PostgreSQL", for messages.
QString Name();
// A fault made on purpose: from now on the database refuses, giving message as its reason, every
// new row of table whose column holds value (a trigger called name). AllowRows takes it away.
// Names, value and message are the test's own; false with the database's reason in *error.
bool RefuseRows(QSqlDatabase db, const QString &name, const QString &table, const QString &column,
                const QString &value, const QString &message, QString *error);
bool AllowRows(QSqlDatabase db, const QString &name, const QString &table, QString *error);

} // namespace TestBackend

// A scratch station: a temporary folder that stands for the executable's folder, Globals of its
// own (installed as the current ones) and a data module (the current TestDataModule) whose
// working connection is open on a new, empty database: the SQLite file <dir>/Quorin.db, or an
// empty PostgreSQL database when the suite runs there. Everything goes away with the object.
class TestDatabase
{
public:
    TestDatabase();
    ~TestDatabase();

    TDM &dm() { return *m_dm; }
    Globals &globals() { return m_globals; }
    // The temporary folder, without a trailing separator.
    QString dir() const { return m_dir.path(); }
    QString workingPath() const;

    // Makes an empty SQLite database file at path (the file must not exist yet).
    static bool CreateEmptyDatabase(const QString &path);

private:
    QTemporaryDir m_dir;
    Globals m_globals;
    Globals *m_previousGlobals = nullptr;
    std::unique_ptr<TDM> m_dm;
};

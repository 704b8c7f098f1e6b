#include "mock/TestDatabase.h"

#include "core/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace {

NetDbSettings ServerSettings()
{
    QFile file(qEnvironmentVariable("ROLVAN_TEST_PG"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("ROLVAN_TEST_PG: cannot read %s", qPrintable(file.fileName()));
    return NetDbSettings::FromConnInfo(QString::fromUtf8(file.readAll()));
}

// Where each data module of this process works on PostgreSQL, so that a second station can be
// opened on the same database.
QHash<const TDM *, NetDbSettings> &OpenedDatabases()
{
    static QHash<const TDM *, NetDbSettings> opened;
    return opened;
}

} // namespace

bool TestBackend::UsesPostgres()
{
    return !qEnvironmentVariableIsEmpty("ROLVAN_TEST_PG");
}

QString TestBackend::Name()
{
    return UsesPostgres() ? u"PostgreSQL"_s : u"SQLite"_s;
}

namespace {

// Runs statements on a connection of its own to the given database of the test server.
void RunAsAdministrator(const QString &database, const QStringList &statements)
{
    NetDbSettings server = ServerSettings();
    server.database = database;
    const QString connection = u"TestBackend-admin-"_s + QUuid::createUuid().toString();
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(u"QPSQL"_s, connection);
        QString error;
        if (!OpenPostgresConnection(connection, server, &error))
            qFatal("TestBackend: %s", qPrintable(error));
        QSqlQuery query(admin);
        for (const QString &statement : statements) {
            if (!query.exec(statement))
                qFatal("TestBackend: %s: %s", qPrintable(statement),
                       qPrintable(query.lastError().text()));
        }
        query = QSqlQuery();
        admin.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

// The database of this test process on the server, made at its first use and dropped when the
// process ends; every use gets a schema of its own in it (a new database per test would copy
// megabytes each time).
QString ProcessDatabase()
{
    static QString name;
    if (name.isEmpty()) {
        name = u"rolvan_p"_s + QString::number(QCoreApplication::applicationPid()) + u'_'
            + QUuid::createUuid().toString(QUuid::Id128).left(8);
        RunAsAdministrator(ServerSettings().database, { u"create database "_s + name });
        RunAsAdministrator(name, PostgresHelperStatements());
        qAddPostRoutine([] {
            RunAsAdministrator(ServerSettings().database,
                               { u"drop database if exists "_s + name + u" with (force)"_s });
        });
    }
    return name;
}

} // namespace

NetDbSettings TestBackend::NewPostgresDatabase()
{
    NetDbSettings settings = ServerSettings();
    settings.database = ProcessDatabase();
    settings.schema = u"t_"_s + QUuid::createUuid().toString(QUuid::Id128).left(16).toLower();
    RunAsAdministrator(settings.database, { u"create schema "_s + settings.schema });
    return settings;
}

bool TestBackend::OpenWorkingDatabase(TDM &dm, const QString &sqlitePath, QString *error)
{
    if (!UsesPostgres())
        return dm.OpenWorkingDatabase(sqlitePath, error);
    const NetDbSettings settings = NewPostgresDatabase();
    if (!dm.ConnectSharedWorkingDatabase(settings, error))
        return false;
    const bool ok = MoveLocalFileToShared(dm.Con1(), sqlitePath, error);
    if (ok)
        OpenedDatabases().insert(&dm, settings);
    return ok;
}

bool TestBackend::ReopenWorkingDatabase(TDM &dm, const QString &sqlitePath, QString *error)
{
    if (!UsesPostgres() || !OpenedDatabases().contains(&dm))
        return dm.OpenWorkingDatabase(sqlitePath, error);
    return dm.OpenSharedWorkingDatabase(OpenedDatabases().value(&dm), error);
}

bool TestBackend::OpenSameDatabase(TDM &other, TDM &first, QString *error)
{
    if (!UsesPostgres())
        return other.OpenWorkingDatabase(first.Con1().databaseName().startsWith(u"file:"_s)
                                             ? QUrl(first.Con1().databaseName()).toLocalFile()
                                             : first.Con1().databaseName(),
                                         error);
    if (!OpenedDatabases().contains(&first)) {
        *error = u"the first station is not on PostgreSQL"_s;
        return false;
    }
    const NetDbSettings settings = OpenedDatabases().value(&first);
    if (!other.ConnectSharedWorkingDatabase(settings, error))
        return false;
    OpenedDatabases().insert(&other, settings);
    return true;
}

namespace {

bool RunAll(QSqlDatabase db, const QStringList &statements, QString *error)
{
    QSqlQuery query(db);
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            *error = statement + u'\n' + query.lastError().text();
            return false;
        }
    }
    return true;
}

} // namespace

bool TestBackend::RefuseRows(QSqlDatabase db, const QString &name, const QString &table,
                             const QString &column, const QString &value, const QString &message,
                             QString *error)
{
    if (!IsPostgres(db))
        return RunAll(db,
            { u"create trigger %1 before insert on %2 when new.%3 = '%4' "
              "begin select raise(abort, '%5'); end"_s.arg(name, table, column, value, message) },
            error);
    return RunAll(db,
        { u"create function %1() returns trigger language plpgsql as $$ begin "
          "if new.%2 = '%3' then raise exception '%4'; end if; return new; end $$"_s
              .arg(name, column, value, message),
          u"create trigger %1 before insert on %2 for each row execute function %1()"_s.arg(name, table) },
        error);
}

bool TestBackend::AllowRows(QSqlDatabase db, const QString &name, const QString &table, QString *error)
{
    if (!IsPostgres(db))
        return RunAll(db, { u"drop trigger %1"_s.arg(name) }, error);
    return RunAll(db,
        { u"drop trigger %1 on %2"_s.arg(name, table), u"drop function %1()"_s.arg(name) }, error);
}

TestDatabase::TestDatabase()
{
    m_globals.ExeDir = QDir::toNativeSeparators(m_dir.path()) + QDir::separator();
    m_previousGlobals = &G();
    SetGlobals(&m_globals);
    m_dm = std::make_unique<TestDataModule>(m_globals);
    const QString path = workingPath();
    if (!CreateEmptyDatabase(path))
        qFatal("TestDatabase: cannot create %s", qPrintable(path));
    QString error;
    if (TestBackend::UsesPostgres()) {
        const NetDbSettings settings = TestBackend::NewPostgresDatabase();
        if (!m_dm->ConnectSharedWorkingDatabase(settings, &error))
            qFatal("TestDatabase: %s", qPrintable(error));
        OpenedDatabases().insert(m_dm.get(), settings);
        // Empty, but with what every connection of the station has: the helper functions (in
        // the process database's public schema).
        return;
    }
    if (!m_dm->OpenWorkingDatabase(path, &error))
        qFatal("TestDatabase: %s", qPrintable(error));
}

TestDatabase::~TestDatabase()
{
    OpenedDatabases().remove(m_dm.get());
    m_dm.reset();
    SetGlobals(m_previousGlobals);
}

QString TestDatabase::workingPath() const
{
    return JoinPath(m_dir.path(), m_globals.DbFileName);
}

bool TestDatabase::CreateEmptyDatabase(const QString &path)
{
    const QString name = u"TestDatabase-create-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        if (db.open()) {
            // Writing the user version makes SQLite put a database header in the file.
            QSqlQuery query(db);
            ok = query.exec(u"PRAGMA user_version = 0"_s) && query.exec(u"create table TestDatabaseProbe (x)"_s)
                 && query.exec(u"drop table TestDatabaseProbe"_s);
            query = QSqlQuery();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

NetDbSettings TestBackend::SettingsOf(const TDM &dm)
{
    return OpenedDatabases().value(&dm);
}

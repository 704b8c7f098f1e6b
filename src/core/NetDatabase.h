#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The shared database: several stations of a unit work on one PostgreSQL server (INI Base
// "useNetDB" = True) instead of each on its own SQLite file. Reached through Qt's QPSQL driver;
// the statements of the program are written so that they mean the same on both.

// Where the shared database is, from the settings file ([Base] "NetDB Host", "NetDB Port",
// "NetDB Database", "NetDB User", "NetDB Password"; the password is kept as Base64 of its UTF-8
// bytes, as the administrator password is).
struct NetDbSettings
{
    QString host;
    int port = 5432;
    QString database;
    QString user;
    QString password;
    // [Base] "NetDB Schema": the schema of the attendance tables on a server that holds other
    // data too; empty = the database's own (public).
    QString schema;

    static NetDbSettings FromIni();
    // The same from a settings file that is not the station's (the settings window's copy).
    static NetDbSettings FromIniFile(const QString &iniPath);
    void WriteToIni() const;

    // The settings as one line "host=... port=... user=... password=... dbname=... [schema=...]"
    // (libpq's words, values without blanks), as tools and tests pass them to each other.
    QString ToConnInfo() const;
    static NetDbSettings FromConnInfo(const QString &line);

    // "user@host:port/database", for messages.
    QString Describe() const;
    // The keys a usable connection needs that are empty, by their INI names; empty when complete.
    QStringList MissingKeys() const;
};

// The password as the settings file keeps it, and back.
QString EncodeNetDbPassword(const QString &password);
QString DecodeNetDbPassword(const QString &stored);

// Whether the connection is a PostgreSQL one (the shared database).
bool IsPostgres(const QSqlDatabase &db);

// The statements that make an empty attendance database on the connection's kind of database.
QStringList SchemaStatementsFor(const QSqlDatabase &db);

// Opens the server as the connection named connectionName (added with the QPSQL driver):
// TLS when the server offers it, a connect time-out of a few seconds. On failure *error is a
// Chinese message that says what failed (no answer from the server, login refused, no such
// database) and names the INI keys to check.
bool OpenPostgresConnection(const QString &connectionName, const NetDbSettings &settings,
                            QString *error);

// Makes an empty shared database ready: creates the schema (tables, indexes and the Jet helper
// functions) and copies the rows the template ships with (parameter codes, version marker,
// sys_ini, help texts) from templateDb. A database that already holds the schema is left as it
// is. Several stations starting at once: one builds it, the others wait and find it built.
// False with *error when the template is not open or a statement fails (nothing is kept then).
bool PrepareSharedDatabase(QSqlDatabase db, QSqlDatabase templateDb, QString *error);

// A unit that moves to the shared database brings its records along: makes the schema on an
// empty shared database and copies every row of the station's own file into it, in one
// transaction. A shared database that already has the tables is refused (nothing is
// overwritten).
bool MoveLocalDatabaseToShared(QSqlDatabase target, QSqlDatabase source, QString *error);
// The same from a SQLite file, opened read-only for it.
bool MoveLocalFileToShared(QSqlDatabase target, const QString &sqlitePath, QString *error);

// "新增以下目錄與Rolvan.mdb" of a station on the shared database: the schema and the template's
// rows on the server (connections of its own; an existing schema is left as it is). *message
// says what was done or why not.
bool CreateSharedSchema(const NetDbSettings &settings, const QString &templatePath,
                        QString *message);

// What "測試連線" of the settings window tells: whether a connection could be made (on a
// connection of its own, closed again), the server's version, whether the link is encrypted
// and whether the attendance tables are there yet.
struct NetDbProbe
{
    bool ok = false;
    QString message; // Chinese, several lines
};
NetDbProbe ProbeNetDatabase(const NetDbSettings &settings);

// Whether a failed statement on a PostgreSQL connection lost the link to the server (the
// server stopped, the network went away). Such a connection is closed, so that the next
// statement connects anew.
bool DropLostPostgresConnection(QSqlDatabase &db);

// Connects a closed connection to the server again, unless the program closed it on purpose;
// true when it is open again.
bool ReconnectLostPostgres(QSqlDatabase &db);
// How many times a lost link was connected anew in this run: statements a caller prepared
// before belong to the old session and are gone.
int SharedReconnects();
// Whether the connection to the server is closed without the program having closed it.
bool IsLostPostgres(const QSqlDatabase &db);
// The data module says when it closes or opens a connection on purpose.
void SetClosedOnPurpose(const QString &connectionName, bool closed);

// The message of a statement that failed because the server went away.
QString LostConnectionMessage(const QSqlDatabase &db);

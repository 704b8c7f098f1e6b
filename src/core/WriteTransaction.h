#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <map>
#include <memory>

class QSqlQuery;
class TDM;

// The writes of one writer (the recorder, for example) on the working connection of a data
// module, on the station's own SQLite file or on the shared database. The connection is asked
// of the data module at every step, so the writer follows it when it is reopened or switched.
// Statements stay prepared between transactions while the connection stays the same; a link to
// the shared database that was lost is connected anew before the next statement.
class WriteSession
{
public:
    explicit WriteSession(const TDM &dm);
    ~WriteSession();

    WriteSession(const WriteSession &) = delete;
    WriteSession &operator=(const WriteSession &) = delete;

    // The connection written on now.
    QSqlDatabase Connection() const;
    // Whether it is the shared database.
    bool IsShared() const;

    // Runs a statement with its values bound, prepared at its first use on the connection. On
    // SQLite a statement prepared before the connection was closed and opened again is
    // prepared anew and tried once more; never BEGIN, COMMIT or ROLLBACK, and never after
    // SQLite answered about the database itself (busy or locked elsewhere, read-only, I/O
    // error, damaged, full, a refused row). A full disk is reported as such, naming the
    // database's folder. On the shared database a failed statement ends the transaction: it is not
    // tried again, and a lost link throws LostConnectionMessage. Throws DatabaseError.
    QSqlQuery &Run(const QString &sql, const QVariantList &params = {});

    // Transaction control: BEGIN IMMEDIATE, COMMIT, ROLLBACK on SQLite; the driver's on the
    // shared database. Throws DatabaseError.
    void Begin();
    void Commit();
    void Rollback();

private:
    // Lets go of the prepared statements of an earlier open of the working connection.
    void ForgetStaleStatements(const QSqlDatabase &db);
    void ForgetAllStatements();
    // Connects a lost link to the shared database anew; throws the lost-link message if it
    // cannot.
    void RestoreSharedLink(QSqlDatabase &db);

    const TDM &m_dm;
    QString m_connection; // the connection and open the statements belong to
    std::map<QString, std::unique_ptr<QSqlQuery>> m_statements;
};

// One write transaction of a session: begun when made (on SQLite BEGIN IMMEDIATE takes the
// write lock at once, waiting for a lock held elsewhere up to the connection's busy time-out),
// rolled back when it ends without Commit() (a failed rollback is only logged).
class WriteTransaction
{
public:
    explicit WriteTransaction(WriteSession &session);
    ~WriteTransaction();

    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    QSqlQuery &Run(const QString &sql, const QVariantList &params = {})
    {
        return m_session.Run(sql, params);
    }
    bool IsShared() const { return m_session.IsShared(); }
    // Makes the writes durable; throws DatabaseError (the transaction is rolled back then).
    void Commit();

private:
    WriteSession &m_session;
    bool m_committed = false;
};

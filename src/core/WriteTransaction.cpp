#include "core/WriteTransaction.h"

#include "base/RolvanError.h"
#include "core/DbFunctions.h"
#include "core/NetDatabase.h"
#include "core/TDM.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// SQLite's primary result codes after which a statement is not run a second time: the answer
// is about the database or its disk, and a second run would only hide it.
bool IsFinalSqliteFailure(int code)
{
    switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_READONLY:
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
    case SQLITE_CONSTRAINT:
    case SQLITE_NOTADB:
        return true;
    default:
        return false;
    }
}

// BEGIN, COMMIT and ROLLBACK: after a failed COMMIT SQLite may already have rolled back, and
// committing "again" would report that no transaction is active instead of the reason.
bool IsTransactionControl(const QString &sql)
{
    const QString verb = sql.trimmed().section(u' ', 0, 0).toUpper();
    return verb == u"BEGIN"_s || verb == u"COMMIT"_s || verb == u"ROLLBACK"_s || verb == u"END"_s;
}

// What the operator reads when SQLite refused a statement on the station's file.
QString SqliteFailureText(const QSqlDatabase &db, const QString &sql, const QSqlError &error,
                          int code)
{
    const QString detail = error.text();
    if (code == SQLITE_FULL) {
        const QFileInfo file(db.databaseName());
        return u"磁碟空間不足，資料沒有存入資料庫 %1。\n"
               u"請清出資料庫所在磁碟的空間（資料夾 %2）後再試。\n（SQLite：%3）"_s
            .arg(QDir::toNativeSeparators(file.absoluteFilePath()),
                 QDir::toNativeSeparators(file.absolutePath()), error.databaseText().trimmed());
    }
    return sql + u'\n' + detail;
}

// Whether the SQLite connection is inside a transaction (SQLite ends one by itself after some
// failures, a full disk among them).
bool InSqliteTransaction(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return true;
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    return connection && sqlite3_get_autocommit(connection) == 0;
}

} // namespace

// ---- WriteSession ----------------------------------------------------------------------------

WriteSession::WriteSession(const TDM &dm)
    : m_dm(dm)
{
}

WriteSession::~WriteSession() = default;

QSqlDatabase WriteSession::Connection() const { return m_dm.Con1(); }

bool WriteSession::IsShared() const { return IsPostgres(m_dm.Con1()); }

QSqlQuery &WriteSession::Run(const QString &sql, const QVariantList &params)
{
    QSqlDatabase db = m_dm.Con1();
    const bool shared = IsPostgres(db);
    if (shared)
        RestoreSharedLink(db);
    if (!db.isOpen())
        throw DatabaseError(sql + u"\n資料庫未開啟"_s);
    ForgetStaleStatements(db);
    std::unique_ptr<QSqlQuery> &query = m_statements[sql];
    // A statement prepared before the connection was closed and opened again is gone: the
    // first failure prepares it anew and tries once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!query || attempt > 0) {
            query = std::make_unique<QSqlQuery>(db);
            query->setForwardOnly(true);
            if (!query->prepare(sql)) {
                const QString detail = query->lastError().text();
                query.reset();
                throw DatabaseError(sql + u'\n' + detail);
            }
        }
        for (int i = 0; i < params.size(); ++i)
            query->bindValue(i, BindableValue(params.at(i)));
        if (query->exec())
            return *query;
        // A database locked by another connection (after the busy time-out), a full disk or
        // a refused row is not a statement gone stale: no second try.
        bool numeric = false;
        const int code = query->lastError().nativeErrorCode().toInt(&numeric) & 0xFF;
        if (shared) {
            // On the server a failed statement ends the transaction: no second try in it.
            const QString detail = query->lastError().text();
            query.reset();
            if (DropLostPostgresConnection(db)) {
                ForgetAllStatements();
                throw DatabaseError(LostConnectionMessage(db) + u'\n' + detail.trimmed());
            }
            throw DatabaseError(sql + u'\n' + detail);
        }
        if (attempt > 0 || (numeric && IsFinalSqliteFailure(code)) || IsTransactionControl(sql)) {
            const QSqlError error = query->lastError();
            query.reset();
            throw DatabaseError(SqliteFailureText(db, sql, error, numeric ? code : 0));
        }
    }
    return *query;
}

void WriteSession::ForgetAllStatements()
{
    for (auto &statement : m_statements)
        statement.second.reset();
}

void WriteSession::RestoreSharedLink(QSqlDatabase &db)
{
    if (db.isOpen())
        return;
    // The link to the server was lost: statements prepared on it are gone with it (let go while
    // closed, so that nothing is sent for them to the new session).
    ForgetAllStatements();
    if (!ReconnectLostPostgres(db))
        throw DatabaseError(LostConnectionMessage(db) + u'\n' + db.lastError().text().trimmed());
}

void WriteSession::ForgetStaleStatements(const QSqlDatabase &db)
{
    // The connection by name and by its open: one opened or connected again has none of the
    // statements.
    const QString connection = db.connectionName() + u'#' + QString::number(m_dm.workingOpens())
        + u'#' + QString::number(SharedReconnects());
    if (m_connection != connection) {
        ForgetAllStatements();
        m_connection = connection;
    }
}

void WriteSession::Begin()
{
    QSqlDatabase db = m_dm.Con1();
    if (!IsPostgres(db)) {
        Run(u"BEGIN IMMEDIATE"_s).finish();
        return;
    }
    // Transaction control is not a statement PostgreSQL prepares: the driver runs it.
    RestoreSharedLink(db);
    // Statements of an earlier session are let go before the transaction begins: letting one
    // go inside it would fail and end the transaction.
    ForgetStaleStatements(db);
    if (!db.transaction())
        throw DatabaseError(u"BEGIN\n"_s + db.lastError().text());
}

void WriteSession::Commit()
{
    QSqlDatabase db = m_dm.Con1();
    if (!IsPostgres(db)) {
        Run(u"COMMIT"_s).finish();
        return;
    }
    if (!db.commit()) {
        const QString detail = db.lastError().text();
        if (DropLostPostgresConnection(db)) {
            ForgetAllStatements();
            throw DatabaseError(LostConnectionMessage(db) + u'\n' + detail.trimmed());
        }
        throw DatabaseError(u"COMMIT\n"_s + detail);
    }
}

void WriteSession::Rollback()
{
    QSqlDatabase db = m_dm.Con1();
    if (!IsPostgres(db)) {
        // Nothing to roll back when SQLite has ended the transaction itself.
        if (db.isOpen() && !InSqliteTransaction(db))
            return;
        Run(u"ROLLBACK"_s).finish();
        return;
    }
    if (!db.rollback()) {
        const QString detail = db.lastError().text();
        if (DropLostPostgresConnection(db)) {
            ForgetAllStatements();
            throw DatabaseError(LostConnectionMessage(db) + u'\n' + detail.trimmed());
        }
        throw DatabaseError(u"ROLLBACK\n"_s + detail);
    }
}

// ---- WriteTransaction ------------------------------------------------------------------------

WriteTransaction::WriteTransaction(WriteSession &session)
    : m_session(session)
{
    m_session.Begin();
}

WriteTransaction::~WriteTransaction()
{
    if (m_committed)
        return;
    try {
        m_session.Rollback();
    } catch (const RolvanError &error) {
        qWarning().noquote() << error.message();
    }
}

void WriteTransaction::Commit()
{
    m_session.Commit();
    m_committed = true;
}

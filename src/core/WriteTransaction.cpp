#include "core/WriteTransaction.h"

#include "base/RolvanError.h"
#include "core/DbFunctions.h"
#include "core/NetDatabase.h"
#include "core/TDM.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

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
        // A database locked by another connection (after the busy time-out) is not a
        // statement gone stale: no second wait.
        const QString code = query->lastError().nativeErrorCode();
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
        if (attempt > 0 || code == u"5"_s || code == u"6"_s) {
            const QString detail = query->lastError().text();
            query.reset();
            throw DatabaseError(sql + u'\n' + detail);
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

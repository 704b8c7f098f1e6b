#include "core/TDM.h"

#include "core/Globals.h"
#include "core/JetFunctions.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

TDM *g_instance = nullptr;
std::atomic<int> g_serial{0};

void closeConnection(const QString &name)
{
    if (!QSqlDatabase::contains(name))
        return;
    QSqlDatabase db = QSqlDatabase::database(name, false);
    db.close();
}

} // namespace

bool OpenSqliteFile(const QString &connectionName, const QString &filePath, QString *error,
                    SqliteJournal journal)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    db.close();

    const QString shown = QDir::toNativeSeparators(filePath);
    auto fail = [&](const QString &detail) {
        db.close();
        QString message = u"無法開啟資料庫 "_s + shown + u"：檔案不存在或已損毀"_s;
        if (!detail.trimmed().isEmpty())
            message += u'\n' + detail.trimmed();
        qWarning().noquote() << message;
        if (error)
            *error = message;
        return false;
    };

    if (!db.isValid())
        return fail(u"資料庫驅動程式無法載入"_s);

    // SQLite makes an empty database of any name it is given: a missing file must stay
    // missing, so the existence is tested first and the file is opened with mode=rw, which
    // refuses to create it even if it vanished in between.
    const QFileInfo info(filePath);
    if (filePath.isEmpty() || !info.exists() || !info.isFile())
        return fail(QString());

    const QString uri =
        QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) + u"?mode=rw"_s;
    db.setDatabaseName(uri);
    db.setConnectOptions(u"QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"_s);
    if (!db.open())
        return fail(db.lastError().text());

    // Read before anything writes: a file that is not a database (or is damaged) fails here
    // and is left byte for byte as it was.
    {
        QSqlQuery check(db);
        if (!check.exec(u"select count(*) from sqlite_master"_s) || !check.next()) {
            const QString detail = check.lastError().text();
            check = QSqlQuery();
            return fail(detail);
        }
    }

    {
        QSqlQuery pragma(db);
        const bool wal = journal == SqliteJournal::WriteAheadLog;
        if (!pragma.exec(wal ? u"PRAGMA journal_mode=WAL"_s : u"PRAGMA journal_mode=DELETE"_s)) {
            const QString detail = pragma.lastError().text();
            pragma = QSqlQuery();
            return fail(detail);
        }
        if (wal && pragma.next()
            && pragma.value(0).toString().compare(u"wal"_s, Qt::CaseInsensitive) != 0)
            qWarning().noquote() << "SQLite journal mode stays" << pragma.value(0).toString()
                                 << "for" << shown;
        pragma.finish();
        if (!pragma.exec(u"PRAGMA synchronous=FULL"_s)) {
            const QString detail = pragma.lastError().text();
            pragma = QSqlQuery();
            return fail(detail);
        }
    }

    QString registerError;
    if (!RegisterJetFunctions(db, &registerError))
        return fail(registerError);
    return true;
}

TDM::TDM(Globals &globals, QObject *parent)
    : QObject(parent), m_globals(globals)
{
    const int serial = ++g_serial;
    m_con1Name = u"Con1#"_s + QString::number(serial);
    m_conSampleName = u"ConSample#"_s + QString::number(serial);
    QSqlDatabase::addDatabase(u"QSQLITE"_s, m_con1Name);
    QSqlDatabase::addDatabase(u"QSQLITE"_s, m_conSampleName);
    g_instance = this;
}

TDM::~TDM()
{
    if (g_instance == this)
        g_instance = nullptr;
    closeConnection(m_con1Name);
    closeConnection(m_conSampleName);
    QSqlDatabase::removeDatabase(m_con1Name);
    QSqlDatabase::removeDatabase(m_conSampleName);
}

TDM *TDM::instance() { return g_instance; }

Globals &TDM::globals() { return m_globals; }

QSqlDatabase TDM::Con1() const { return QSqlDatabase::database(m_con1Name, false); }

QSqlDatabase TDM::ConSample() const { return QSqlDatabase::database(m_conSampleName, false); }

bool TDM::OpenWorkingDatabase(const QString &filePath, QString *error)
{
    return OpenSqliteFile(m_con1Name, filePath, error);
}

bool TDM::OpenSampleDatabase(const QString &filePath, QString *error)
{
    // The template stays one self-contained file (no write-ahead log beside it), because new
    // working databases are byte copies of it.
    return OpenSqliteFile(m_conSampleName, filePath, error, SqliteJournal::Rollback);
}

void TDM::CloseWorking() { closeConnection(m_con1Name); }

void TDM::CloseSample() { closeConnection(m_conSampleName); }

bool TDM::isWorkingOpen() const { return Con1().isOpen(); }

bool TDM::isSampleOpen() const { return ConSample().isOpen(); }

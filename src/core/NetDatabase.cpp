#include "core/NetDatabase.h"

#include "Fun/IniFile.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "core/DbFunctions.h"
#include "core/Schema.h"

#include <QDebug>

#include <atomic>

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace {

constexpr int DefaultPort = 5432;
// Seconds a connection attempt may take before the server counts as unreachable.
constexpr int ConnectSeconds = 5;
// An arbitrary number that every station uses to take turns building an empty database.
constexpr qint64 SchemaLockKey = 0x526f6c76616eLL; // "Rolvan"

// libpq's connection options: TLS when the server offers it, a bounded connect, and a link
// that is found dead within seconds (keep-alives, a TCP time-out) instead of blocking a
// sign-in for minutes when the network goes away.
// Every session waits at most 5 s for another station's lock, as a sign-in waits on a local
// file, also after the driver connects anew. A schema of the settings comes first in the
// search path (the helper functions and citext stay reachable in public).
QString ConnectOptions(const NetDbSettings &settings)
{
    QString server = u"-clock_timeout=5s -cclient_min_messages=warning"_s;
    if (!settings.schema.isEmpty())
        server += u" -csearch_path="_s + settings.schema + u",public"_s;
    return u"sslmode=prefer;connect_timeout=%1;application_name=Rolvan;keepalives=1;"
           "keepalives_idle=10;keepalives_interval=3;keepalives_count=3;tcp_user_timeout=10000;"
           "options='%2'"_s
        .arg(ConnectSeconds)
        .arg(server);
}

bool IsPlainName(const QString &name)
{
    static const QRegularExpression plain(u"^[A-Za-z_][A-Za-z0-9_]{0,62}$"_s);
    return plain.match(name).hasMatch();
}

QString KeysText()
{
    return u"Rolvan.ini [Base] %1、%2、%3、%4、%5"_s.arg(IniKey::NetDbHost, IniKey::NetDbPort,
                                                         IniKey::NetDbDatabase, IniKey::NetDbUser,
                                                         IniKey::NetDbPassword);
}

// The server's own words, without the driver's prefix.
QString ServerText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

// What went wrong when a connection could not be made, in the operator's words.
QString OpenFailureMessage(const NetDbSettings &s, const QSqlError &error)
{
    const QString detail = ServerText(error);
    const QString lower = detail.toLower();
    QString what;
    if (lower.contains(u"password authentication failed"_s)
        || lower.contains(u"no password supplied"_s) || lower.contains(u"authentication failed"_s)
        || lower.contains(u"no pg_hba.conf entry"_s))
        what = u"資料庫伺服器拒絕登入：使用者「%1」或密碼不正確，或伺服器不允許這台電腦連線"_s.arg(s.user);
    else if (lower.contains(u"database \""_s) && lower.contains(u"does not exist"_s))
        what = u"資料庫伺服器上沒有名為「%1」的資料庫（請系統管理員先建立空白資料庫）"_s.arg(s.database);
    else if (lower.contains(u"role \""_s) && lower.contains(u"does not exist"_s))
        what = u"資料庫伺服器上沒有使用者「%1」"_s.arg(s.user);
    else if (lower.contains(u"could not translate host name"_s)
             || lower.contains(u"name or service not known"_s))
        what = u"找不到資料庫伺服器「%1」（主機名稱無法解析）"_s.arg(s.host);
    else if (lower.contains(u"timeout"_s) || lower.contains(u"timed out"_s))
        what = u"資料庫伺服器 %1:%2 在 %3 秒內沒有回應"_s.arg(s.host).arg(s.port).arg(ConnectSeconds);
    else if (lower.contains(u"connection refused"_s) || lower.contains(u"could not connect"_s)
             || lower.contains(u"no route to host"_s) || lower.contains(u"network is unreachable"_s))
        what = u"無法連線到資料庫伺服器 %1:%2（伺服器未啟動、位址或連接埠不對，或網路不通）"_s
                   .arg(s.host)
                   .arg(s.port);
    else if (lower.contains(u"too many"_s))
        what = u"資料庫伺服器連線數已滿，請稍後再試"_s;
    else
        what = u"無法開啟共用資料庫 %1"_s.arg(s.Describe());
    return u"%1\n伺服器回覆：%2\n請檢查 %3。"_s.arg(what, detail, KeysText());
}

bool HasSchema(QSqlDatabase &db)
{
    QSqlQuery query = RunQueryOrSqlError(u"select to_regclass('sys_code') is not null"_s, db);
    return query.next() && query.value(0).toBool();
}

} // namespace

// Table by table, with their row numbers; each serial counter then continues after the largest
// row number.
static void CopyRows(QSqlDatabase &target, const QSqlDatabase &templateDb)
{
    for (const TableDef &table : SchemaTables()) {
        const QStringList columns = table.columnNames();
        QSqlQuery source(templateDb);
        source.setForwardOnly(true);
        if (!source.exec(u"select "_s + columns.join(u", "_s) + u" from "_s + table.name))
            continue; // a template without the table has no rows for it
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks << u"?"_s;
        QSqlQuery insert(target);
        if (!insert.prepare(u"insert into "_s + table.name + u" ("_s + columns.join(u", "_s)
                            + u") values ("_s + marks.join(u", "_s) + u')'))
            throw insert.lastError();
        while (source.next()) {
            for (int i = 0; i < columns.size(); ++i) {
                QVariant value = source.value(i);
                if (value.typeId() == QMetaType::Bool)
                    value = QVariant(value.toBool() ? 1 : 0);
                insert.bindValue(i, value);
            }
            if (!insert.exec())
                throw insert.lastError();
        }
        const ColumnDef *rid = table.findColumn(u"RID"_s);
        if (rid && rid->type == ColumnType::AutoNumber) {
            RunQueryOrSqlError(u"select setval(pg_get_serial_sequence(?, 'rid'), "
                               "coalesce((select max(RID) from "_s
                                   + table.name + u"), 0) + 1, false)"_s,
                               target, { table.name.toLower() });
        }
    }
}

NetDbSettings NetDbSettings::FromIni()
{
    return FromIniFile(G().iniPath());
}

NetDbSettings NetDbSettings::FromIniFile(const QString &iniPath)
{
    auto read = [&](const QString &key, const QString &fallback = QString()) {
        return ReadIniSettingAt(iniPath, IniSection::Base, key, fallback, fallback).trimmed();
    };
    NetDbSettings s;
    s.host = read(IniKey::NetDbHost);
    bool numeric = false;
    const int port = read(IniKey::NetDbPort, QString::number(DefaultPort)).toInt(&numeric);
    s.port = numeric && port > 0 && port < 65536 ? port : DefaultPort;
    s.database = read(IniKey::NetDbDatabase);
    s.user = read(IniKey::NetDbUser);
    s.schema = read(IniKey::NetDbSchema);
    s.password = DecodeNetDbPassword(
        ReadIniSettingAt(iniPath, IniSection::Base, IniKey::NetDbPassword, QString(), QString()));
    return s;
}

void NetDbSettings::WriteToIni() const
{
    WriteIniSetting(IniSection::Base, IniKey::NetDbHost, host);
    WriteIniSetting(IniSection::Base, IniKey::NetDbPort, QString::number(port));
    WriteIniSetting(IniSection::Base, IniKey::NetDbDatabase, database);
    WriteIniSetting(IniSection::Base, IniKey::NetDbUser, user);
    WriteIniSetting(IniSection::Base, IniKey::NetDbPassword, EncodeNetDbPassword(password));
    if (!schema.isEmpty())
        WriteIniSetting(IniSection::Base, IniKey::NetDbSchema, schema);
}

QString NetDbSettings::ToConnInfo() const
{
    QString line = u"host=%1 port=%2 user=%3 password=%4 dbname=%5"_s.arg(host)
                       .arg(port)
                       .arg(user, password, database);
    if (!schema.isEmpty())
        line += u" schema="_s + schema;
    return line;
}

NetDbSettings NetDbSettings::FromConnInfo(const QString &line)
{
    NetDbSettings s;
    const QStringList pairs = line.simplified().split(u' ', Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const QString key = pair.section(u'=', 0, 0);
        const QString value = pair.section(u'=', 1);
        if (key == u"host"_s)
            s.host = value;
        else if (key == u"port"_s)
            s.port = value.toInt();
        else if (key == u"user"_s)
            s.user = value;
        else if (key == u"password"_s)
            s.password = value;
        else if (key == u"dbname"_s)
            s.database = value;
        else if (key == u"schema"_s)
            s.schema = value;
    }
    return s;
}

QString NetDbSettings::Describe() const
{
    return u"%1@%2:%3/%4"_s.arg(user, host).arg(port).arg(database);
}

QStringList NetDbSettings::MissingKeys() const
{
    QStringList missing;
    if (host.isEmpty())
        missing << IniKey::NetDbHost;
    if (database.isEmpty())
        missing << IniKey::NetDbDatabase;
    if (user.isEmpty())
        missing << IniKey::NetDbUser;
    return missing;
}

QString EncodeNetDbPassword(const QString &password)
{
    return QString::fromLatin1(password.toUtf8().toBase64());
}

QString DecodeNetDbPassword(const QString &stored)
{
    return QString::fromUtf8(QByteArray::fromBase64(stored.trimmed().toLatin1()));
}

bool IsPostgres(const QSqlDatabase &db)
{
    return db.isValid() && db.driverName() == u"QPSQL"_s;
}

QStringList SchemaStatementsFor(const QSqlDatabase &db)
{
    return IsPostgres(db) ? PostgresSchemaStatements() : SqliteSchemaStatements();
}

bool OpenPostgresConnection(const QString &connectionName, const NetDbSettings &settings,
                            QString *error)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    db.close();
    if (!db.isValid() || db.driverName() != u"QPSQL"_s) {
        if (error)
            *error = u"無法使用共用資料庫：本機沒有 PostgreSQL 資料庫驅動程式（Qt 的 QPSQL）"_s;
        return false;
    }
    const QStringList missing = settings.MissingKeys();
    if (!missing.isEmpty()) {
        if (error)
            *error = u"Rolvan.ini [Base] useNetDB=True，但共用資料庫的設定不完整：%1 未設定。\n"
                     "請在系統設定的「共用資料庫」填寫，或改為 useNetDB=False 使用本機資料庫。"_s
                         .arg(missing.join(u"、"_s));
        return false;
    }
    if (!settings.schema.isEmpty() && !IsPlainName(settings.schema)) {
        if (error)
            *error = u"Rolvan.ini [Base] %1「%2」不是有效的結構描述名稱（只能用英文字母、數字與底線）"_s
                         .arg(IniKey::NetDbSchema, settings.schema);
        return false;
    }
    db.setHostName(settings.host);
    db.setPort(settings.port);
    db.setDatabaseName(settings.database);
    db.setUserName(settings.user);
    db.setPassword(settings.password);
    db.setConnectOptions(ConnectOptions(settings));
    if (!db.open()) {
        const QString message = OpenFailureMessage(settings, db.lastError());
        qWarning().noquote() << message;
        if (error)
            *error = message;
        db.close();
        return false;
    }
    return true;
}

namespace {

enum class WhenBuilt { Keep, Refuse };

// Builds the schema and copies the rows of source in one transaction under the stations' schema
// lock. A database that has the tables already (perhaps built by another station while this one
// waited) is kept as it is, or refused; *built tells whether this call built it.
void BuildSharedSchema(QSqlDatabase &target, const QSqlDatabase &source, WhenBuilt whenBuilt,
                       bool *built)
{
    *built = false;
    if (!target.transaction())
        throw target.lastError();
    try {
        RunQueryOrSqlError(u"select pg_advisory_xact_lock(?)"_s, target, { SchemaLockKey });
        if (!HasSchema(target)) {
            for (const QString &statement : PostgresSchemaStatements())
                RunQueryOrSqlError(statement, target);
            CopyRows(target, source);
            *built = true;
        }
        if (!*built && whenBuilt == WhenBuilt::Refuse) {
            target.rollback();
            return;
        }
        if (!target.commit())
            throw target.lastError();
    } catch (...) {
        target.rollback();
        throw;
    }
}

} // namespace

bool PrepareSharedDatabase(QSqlDatabase db, QSqlDatabase templateDb, QString *error)
{
    try {
        if (HasSchema(db))
            return true;
        if (!templateDb.isOpen()) {
            if (error)
                *error = u"共用資料庫 %1 是空的，但範本資料庫 SampleQuorin.db 未開啟，無法建立資料表"_s
                             .arg(db.hostName() + u'/' + db.databaseName());
            return false;
        }
        bool built = false;
        BuildSharedSchema(db, templateDb, WhenBuilt::Keep, &built);
        if (built)
            qInfo().noquote() << "共用資料庫已建立資料表:" << db.hostName() << db.databaseName();
        return true;
    } catch (const QSqlError &sqlError) {
        if (error)
            *error = u"無法在共用資料庫建立資料表：%1"_s.arg(ServerText(sqlError));
        return false;
    }
}

NetDbProbe ProbeNetDatabase(const NetDbSettings &settings)
{
    NetDbProbe probe;
    const QString name = u"NetDbProbe-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
        QString error;
        if (!OpenPostgresConnection(name, settings, &error)) {
            probe.message = u"連線失敗\n"_s + error;
        } else {
            QStringList lines { u"連線成功：%1"_s.arg(settings.Describe()) };
            try {
                QSqlQuery version = RunQueryOrSqlError(u"show server_version"_s, db);
                if (version.next())
                    lines << u"伺服器版本：PostgreSQL %1"_s.arg(version.value(0).toString());
                QSqlQuery tls = RunQueryOrSqlError(u"select ssl, version from pg_stat_ssl "
                                                   "where pid = pg_backend_pid()"_s,
                                                   db);
                if (tls.next() && tls.value(0).toBool())
                    lines << u"連線加密：是（%1）"_s.arg(tls.value(1).toString());
                else
                    lines << u"連線加密：否（伺服器未提供 TLS，資料以明文傳送）"_s;
                if (HasSchema(db)) {
                    QSqlQuery dbVersion = RunQueryOrSqlError(u"select CODE_SEQ from SYS_CODE "
                                                             "where CODE_TYPE = 'DBVersion'"_s,
                                                             db);
                    lines << u"資料表：已建立（資料庫版本 %1）"_s.arg(
                        dbVersion.next() ? dbVersion.value(0).toString().trimmed() : u"未知"_s);
                } else {
                    lines << u"資料表：尚未建立（第一台使用共用資料庫的簽到電腦啟動時建立）"_s;
                }
                probe.ok = true;
            } catch (const QSqlError &sqlError) {
                lines << u"查詢失敗：%1"_s.arg(ServerText(sqlError));
            }
            probe.message = lines.join(u'\n');
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return probe;
}

namespace {
// The connections the program closed on purpose (a window that works on the database alone):
// every other closed connection to the server lost its link and is connected anew.
QSet<QString> &ClosedOnPurpose()
{
    static QSet<QString> closed;
    return closed;
}
QMutex g_closedMutex;
std::atomic<int> g_reconnects { 0 };
} // namespace

void SetClosedOnPurpose(const QString &connectionName, bool closed)
{
    QMutexLocker lock(&g_closedMutex);
    if (closed)
        ClosedOnPurpose().insert(connectionName);
    else
        ClosedOnPurpose().remove(connectionName);
}

bool ReconnectLostPostgres(QSqlDatabase &db)
{
    if (!IsPostgres(db) || db.isOpen() || db.hostName().isEmpty())
        return false;
    {
        QMutexLocker lock(&g_closedMutex);
        if (ClosedOnPurpose().contains(db.connectionName()))
            return false;
    }
    if (!db.open())
        return false;
    g_reconnects.fetch_add(1);
    qInfo().noquote() << "共用資料庫已重新連線:" << db.hostName() << db.databaseName();
    return true;
}

int SharedReconnects()
{
    return g_reconnects.load();
}

bool IsLostPostgres(const QSqlDatabase &db)
{
    if (!IsPostgres(db) || db.isOpen() || db.hostName().isEmpty())
        return false;
    QMutexLocker lock(&g_closedMutex);
    return !ClosedOnPurpose().contains(db.connectionName());
}

bool DropLostPostgresConnection(QSqlDatabase &db)
{
    if (!IsPostgres(db) || !db.isOpen())
        return false;
    QSqlQuery probe(db);
    if (probe.exec(u"select 1"_s))
        return false;
    // A statement that failed inside a transaction leaves it aborted: the link itself is fine.
    if (ServerText(probe.lastError()).contains(u"current transaction is aborted"_s))
        return false;
    probe = QSqlQuery();
    db.close();
    return true;
}

QString LostConnectionMessage(const QSqlDatabase &db)
{
    return u"與共用資料庫伺服器 %1:%2 的連線中斷，這筆資料沒有存入。\n"
           "請檢查網路或伺服器；下一次操作會自動重新連線。"_s
        .arg(db.hostName())
        .arg(db.port());
}

bool MoveLocalDatabaseToShared(QSqlDatabase target, QSqlDatabase source, QString *error)
{
    try {
        bool built = false;
        BuildSharedSchema(target, source, WhenBuilt::Refuse, &built);
        if (!built && error)
            *error = u"共用資料庫 %1 已經有簽到資料表，不覆蓋；請改用空白的資料庫"_s.arg(
                target.hostName() + u'/' + target.databaseName());
        return built;
    } catch (const QSqlError &sqlError) {
        if (error)
            *error = u"無法把資料複製到共用資料庫：%1"_s.arg(ServerText(sqlError));
        return false;
    }
}

bool MoveLocalFileToShared(QSqlDatabase target, const QString &sqlitePath, QString *error)
{
    const QString name = u"MoveLocal-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool moved = false;
    {
        QSqlDatabase local = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        local.setDatabaseName(sqlitePath);
        local.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        if (!local.open()) {
            if (error)
                *error = u"無法開啟本機資料庫 %1：%2"_s.arg(QDir::toNativeSeparators(sqlitePath),
                                                       local.lastError().text());
        } else {
            moved = MoveLocalDatabaseToShared(target, local, error);
        }
        local.close();
    }
    QSqlDatabase::removeDatabase(name);
    return moved;
}

bool CreateSharedSchema(const NetDbSettings &settings, const QString &templatePath,
                        QString *message)
{
    const QString serverName = u"NetDbCreate-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString templateName = serverName + u"-template"_s;
    bool ok = false;
    {
        QSqlDatabase server = QSqlDatabase::addDatabase(u"QPSQL"_s, serverName);
        QSqlDatabase sample = QSqlDatabase::addDatabase(u"QSQLITE"_s, templateName);
        sample.setDatabaseName(templatePath);
        sample.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        QString error;
        if (!OpenPostgresConnection(serverName, settings, &error)) {
            *message = error;
        } else if (!QFileInfo::exists(templatePath) || !sample.open()) {
            *message = u"範本資料庫 %1 無法開啟，共用資料庫的資料表未建立"_s.arg(
                QDir::toNativeSeparators(templatePath));
        } else {
            bool existed = false;
            try {
                existed = HasSchema(server);
            } catch (const QSqlError &) {
            }
            ok = PrepareSharedDatabase(server, sample, &error);
            *message = !ok ? error
                : existed  ? u"共用資料庫 %1 已有資料表，未變更"_s.arg(settings.Describe())
                           : u"共用資料庫 %1 的資料表已建立"_s.arg(settings.Describe());
        }
        sample.close();
        server.close();
    }
    QSqlDatabase::removeDatabase(templateName);
    QSqlDatabase::removeDatabase(serverName);
    return ok;
}

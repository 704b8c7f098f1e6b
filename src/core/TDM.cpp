#include "core/TDM.h"

#include "base/Globals.h"
#include "base/AtomicFile.h"
#include "base/RolvanError.h"
#include "core/DatabaseRestore.h"
#include "core/JetFunctions.h"
#include "core/NetDatabase.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> g_serial{0};

void closeConnection(const QString &name)
{
    if (!QSqlDatabase::contains(name))
        return;
    QSqlDatabase db = QSqlDatabase::database(name, false);
    db.close();
}

} // namespace

namespace {

// Below this much free room a sign-in may not be stored safely.
constexpr qint64 MinimumFreeBytes = 1024 * 1024;

// SQLite's primary result codes that tell the cases apart.
enum SqliteCode { Perm = 3, ReadOnly = 8, IoErr = 10, Corrupt = 11, Full = 13, CantOpen = 14,
                  NotADb = 26 };

QString Shown(const QString &path) { return QDir::toNativeSeparators(path); }

// The case of a statement SQLite refused on the file.
DatabaseCheck ClassifySqlError(const QString &filePath, const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xFF;
    const QString lower = text.toLower();
    if ((numeric && (code == Corrupt || code == NotADb)) || lower.contains(u"malformed"_s)
        || lower.contains(u"not a database"_s))
        return { DatabaseProblem::Damaged, u"SQLite："_s + text };
    if ((numeric && code == Full) || lower.contains(u"disk is full"_s))
        return { DatabaseProblem::DiskFull, u"SQLite："_s + text };
    const DatabaseCheck access = CheckDatabaseWritable(filePath);
    if (!access.ok())
        return access;
    if ((numeric && (code == ReadOnly || code == Perm)) || lower.contains(u"readonly"_s))
        return { DatabaseProblem::NoWriteAccess, u"SQLite："_s + text };
    return { DatabaseProblem::Damaged, u"SQLite："_s + text };
}

// A read-only connection of its own on a file, for looking without changing anything.
class ReadOnlyConnection
{
public:
    explicit ReadOnlyConnection(const QString &filePath)
    {
        static std::atomic<int> serial{0};
        m_name = u"RolvanCheck#"_s + QString::number(++serial);
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath())
                               .toString(QUrl::FullyEncoded)
                           + u"?mode=ro"_s);
        db.setConnectOptions(u"QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"_s);
        m_open = db.open();
        if (!m_open)
            m_openError = db.lastError();
    }
    ~ReadOnlyConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    ReadOnlyConnection(const ReadOnlyConnection &) = delete;
    ReadOnlyConnection &operator=(const ReadOnlyConnection &) = delete;

    bool isOpen() const { return m_open; }
    QSqlError openError() const { return m_openError; }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
    bool m_open = false;
    QSqlError m_openError;
};

// The file exists, is a file and is not empty. Only the file's entry is looked at: while the
// station has a connection on the file, opening and closing another descriptor of it would drop
// every POSIX lock the process holds on it (SQLite's own included), and another program could
// then take itself for the last connection and delete the write-ahead log under the station.
// The header is read by SQLite itself (see FirstReadProblem).
DatabaseCheck CheckFileShape(const QString &filePath)
{
    const QFileInfo info(filePath);
    if (filePath.isEmpty() || !info.exists())
        return { DatabaseProblem::Missing, QString() };
    if (!info.isFile())
        return { DatabaseProblem::Missing, u"同名的是資料夾，不是檔案"_s };
    if (info.size() == 0)
        return { DatabaseProblem::Damaged, u"檔案是空的（0 位元組）"_s };
    if (!info.isReadable())
        return { DatabaseProblem::NoWriteAccess, u"檔案無法讀取：沒有讀取權限"_s };
    return {};
}

// The first statement on a new connection reads the file's header: SQLite refuses a file that
// does not start like one of its databases with "not a database".
DatabaseCheck FirstReadProblem(const QString &filePath, const QSqlError &error)
{
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xFF;
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if ((numeric && code == NotADb) || text.toLower().contains(u"not a database"_s))
        return { DatabaseProblem::NotOurs,
                 u"檔案開頭不是 SQLite 資料庫（不是資料庫檔，或檔頭已損毀）"_s };
    return ClassifySqlError(filePath, error);
}

} // namespace

QString DatabaseProblemText(DatabaseProblem problem)
{
    switch (problem) {
    case DatabaseProblem::None:
        return QString();
    case DatabaseProblem::Missing:
        return u"找不到資料庫檔案"_s;
    case DatabaseProblem::NoWriteAccess:
        return u"沒有寫入權限"_s;
    case DatabaseProblem::DiskFull:
        return u"磁碟空間不足"_s;
    case DatabaseProblem::Damaged:
        return u"資料庫檔案已損毀"_s;
    case DatabaseProblem::NotOurs:
        return u"不是本系統的資料庫"_s;
    case DatabaseProblem::TemplateCopyFailed:
        return u"無法由範本複製出新的資料庫"_s;
    }
    return QString();
}

DatabaseCheck CheckDatabaseWritable(const QString &filePath)
{
    const QFileInfo info(filePath);
    const QString folder = info.absolutePath();
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.isReadOnly())
        return { DatabaseProblem::NoWriteAccess,
                 u"磁碟（%1）是唯讀掛載的"_s.arg(Shown(storage.rootPath())) };
    if (info.exists() && !info.isWritable())
        return { DatabaseProblem::NoWriteAccess, u"檔案是唯讀的"_s };
    if (!QFileInfo(folder).isWritable())
        return { DatabaseProblem::NoWriteAccess,
                 u"資料夾「%1」不允許寫入（資料庫須在同一資料夾寫入記錄檔）"_s.arg(Shown(folder)) };
    if (storage.isValid() && storage.bytesAvailable() >= 0
        && storage.bytesAvailable() < MinimumFreeBytes)
        return { DatabaseProblem::DiskFull,
                 u"磁碟（%1）只剩 %2 KB"_s.arg(Shown(storage.rootPath()))
                     .arg(storage.bytesAvailable() / 1024) };
    return {};
}

DatabaseCheck CheckOurDatabase(const QString &filePath)
{
    const DatabaseCheck shape = CheckFileShape(filePath);
    if (!shape.ok())
        return shape;
    ReadOnlyConnection connection(filePath);
    if (!connection.isOpen())
        return FirstReadProblem(filePath, connection.openError());
    QSqlQuery query(connection.db());
    const bool hasTable = query.exec(u"select count(*) from sqlite_master where type = 'table' "
                                     "and upper(name) = 'SYS_CODE'"_s)
        && query.next();
    if (!hasTable)
        return FirstReadProblem(filePath, query.lastError());
    if (query.value(0).toInt() == 0)
        return { DatabaseProblem::NotOurs, u"資料庫中沒有本系統的資料表"_s };
    // The whole row, so that the table itself is read and not only an index.
    if (!query.exec(u"select * from SYS_CODE where CODE_TYPE = 'DBVersion'"_s))
        return ClassifySqlError(filePath, query.lastError());
    const bool hasRow = query.next();
    if (!hasRow && query.lastError().isValid())
        return ClassifySqlError(filePath, query.lastError());
    if (!hasRow || query.value(u"CODE_SEQ"_s).toString().trimmed().isEmpty())
        return { DatabaseProblem::NotOurs, u"資料庫中沒有資料庫版本記錄"_s };
    return {};
}

DatabaseCheck QuickCheckDatabase(const QString &filePath, bool fullCheck)
{
    const DatabaseCheck shape = CheckFileShape(filePath);
    if (!shape.ok())
        return shape;
    ReadOnlyConnection connection(filePath);
    if (!connection.isOpen())
        return FirstReadProblem(filePath, connection.openError());
    QSqlQuery query(connection.db());
    if (!query.exec(fullCheck ? u"PRAGMA integrity_check"_s : u"PRAGMA quick_check"_s))
        return FirstReadProblem(filePath, query.lastError());
    QStringList complaints;
    while (query.next()) {
        const QString line = query.value(0).toString();
        if (line.compare(u"ok"_s, Qt::CaseInsensitive) != 0 && complaints.size() < 3)
            complaints << line;
    }
    if (query.lastError().isValid())
        return ClassifySqlError(filePath, query.lastError());
    if (!complaints.isEmpty())
        return { DatabaseProblem::Damaged, u"SQLite 檢查："_s + complaints.join(u"；"_s) };
    return {};
}

QString NewestDatabaseBackup(const QString &backupFolder)
{
    if (backupFolder.trimmed().isEmpty())
        return QString();
    static const QRegularExpression name(u"^\\d{14}_QuorinBackup\\.db$"_s);
    const QDir dir(backupFolder);
    const QStringList names = dir.entryList(QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString &candidate : names) {
        if (name.match(candidate).hasMatch() && QFileInfo(dir.filePath(candidate)).size() > 0)
            return dir.filePath(candidate);
    }
    return QString();
}

QString DatabaseProblemMessage(const QString &filePath, const DatabaseCheck &check,
                               const QString &backupFolder)
{
    QString message = u"無法開啟資料庫 "_s + Shown(filePath) + u"："_s
        + DatabaseProblemText(check.problem);
    if (!check.detail.trimmed().isEmpty())
        message += u'\n' + check.detail.trimmed();
    const QString backup = NewestDatabaseBackup(backupFolder);
    if (!backup.isEmpty())
        message += u"\n最新的備份：" + Shown(backup);
    else if (check.problem == DatabaseProblem::Damaged || check.problem == DatabaseProblem::NotOurs)
        message += u"\n備份資料夾 "_s + Shown(backupFolder) + u" 中沒有備份"_s;
    return message;
}

bool CopyTemplateDatabase(const QString &templatePath, const QString &target, QString *error)
{
    const DatabaseCheck templateCheck = CheckOurDatabase(templatePath);
    if (!templateCheck.ok()) {
        *error = QStringLiteral("範本 %1：%2\n%3")
                     .arg(QDir::toNativeSeparators(templatePath),
                          DatabaseProblemText(templateCheck.problem), templateCheck.detail)
                     .trimmed();
        return false;
    }
    // A byte copy: new stations rely on starting from exactly the template. The template is kept
    // in rollback-journal mode, so the template connection holds a lock on it only while one of
    // its statements runs, never across this copy, and there is no write-ahead log to lose.
    QFile source(templatePath);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("範本 %1 無法讀取：%2")
                     .arg(QDir::toNativeSeparators(templatePath), source.errorString());
        return false;
    }
    AtomicFile file(target);
    if (!file.begin()) {
        *error = file.reason();
        return false;
    }
    while (!source.atEnd()) {
        const QByteArray block = source.read(1 << 20);
        if (source.error() != QFileDevice::NoError) {
            file.cancel();
            *error = QStringLiteral("範本 %1 無法讀取：%2")
                         .arg(QDir::toNativeSeparators(templatePath), source.errorString());
            return false;
        }
        if (!file.write(block)) {
            *error = file.reason();
            return false;
        }
    }
    if (!file.commit()) {
        *error = file.reason();
        return false;
    }
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                      | QFile::ReadOther);
    return true;
}

bool OpenSqliteFile(const QString &connectionName, const QString &filePath, QString *error,
                    SqliteJournal journal)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    db.close();

    auto fail = [&](const DatabaseCheck &check) {
        db.close();
        QString message = u"無法開啟資料庫 "_s + Shown(filePath) + u"："_s
            + DatabaseProblemText(check.problem);
        if (!check.detail.trimmed().isEmpty())
            message += u'\n' + check.detail.trimmed();
        qWarning().noquote() << message;
        if (error)
            *error = message;
        return false;
    };
    auto failSql = [&](const QSqlError &sqlError) {
        return fail(ClassifySqlError(filePath, sqlError));
    };

    if (!db.isValid())
        return fail({ DatabaseProblem::Damaged, u"資料庫驅動程式無法載入"_s });

    // SQLite makes an empty database of any name it is given, and takes an empty file for an
    // empty database: a missing file must stay missing and an empty one is refused. The file is
    // opened with mode=rw, which refuses to create it even if it vanished in between.
    const DatabaseCheck shape = CheckFileShape(filePath);
    if (!shape.ok())
        return fail(shape);
    const QFileInfo info(filePath);

    const QString uri =
        QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) + u"?mode=rw"_s;
    db.setDatabaseName(uri);
    db.setConnectOptions(u"QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"_s);
    if (!db.open())
        return failSql(db.lastError());

    // Read before anything writes: a file that is not a database (or is damaged) fails here
    // and is left byte for byte as it was.
    {
        QSqlQuery check(db);
        if (!check.exec(u"select count(*) from sqlite_master"_s) || !check.next()) {
            const QSqlError sqlError = check.lastError();
            check = QSqlQuery();
            return fail(FirstReadProblem(filePath, sqlError));
        }
    }

    {
        QSqlQuery pragma(db);
        const bool wal = journal == SqliteJournal::WriteAheadLog;
        if (!pragma.exec(wal ? u"PRAGMA journal_mode=WAL"_s : u"PRAGMA journal_mode=DELETE"_s)) {
            const QSqlError sqlError = pragma.lastError();
            pragma = QSqlQuery();
            return failSql(sqlError);
        }
        if (wal && pragma.next()
            && pragma.value(0).toString().compare(u"wal"_s, Qt::CaseInsensitive) != 0)
            qWarning().noquote() << "SQLite journal mode stays" << pragma.value(0).toString()
                                 << "for" << Shown(filePath);
        pragma.finish();
        if (!pragma.exec(u"PRAGMA synchronous=FULL"_s)) {
            const QSqlError sqlError = pragma.lastError();
            pragma = QSqlQuery();
            return failSql(sqlError);
        }
    }

    QString registerError;
    if (!RegisterJetFunctions(db, &registerError))
        return fail({ DatabaseProblem::Damaged, registerError });
    return true;
}

TDM::TDM(Globals &globals, QObject *parent)
    : QObject(parent), m_globals(globals)
{
    const int serial = ++g_serial;
    m_con1Name = u"Con1#"_s + QString::number(serial);
    m_localCon1Name = m_con1Name;
    m_conSampleName = u"ConSample#"_s + QString::number(serial);
    QSqlDatabase::addDatabase(u"QSQLITE"_s, m_con1Name);
    QSqlDatabase::addDatabase(u"QSQLITE"_s, m_conSampleName);
}

TDM::~TDM()
{
    WaitForPageCheck();
    closeConnection(m_localCon1Name);
    closeConnection(m_conSampleName);
    QSqlDatabase::removeDatabase(m_localCon1Name);
    if (!m_sharedCon1Name.isEmpty()) {
        closeConnection(m_sharedCon1Name);
        QSqlDatabase::removeDatabase(m_sharedCon1Name);
    }
    QSqlDatabase::removeDatabase(m_conSampleName);
}

Globals &TDM::globals() { return m_globals; }

QSqlDatabase TDM::Con1() const { return QSqlDatabase::database(m_con1Name, false); }

QSqlDatabase TDM::ConSample() const { return QSqlDatabase::database(m_conSampleName, false); }

bool TDM::OpenWorkingDatabase(const QString &filePath, QString *error)
{
    if (m_con1Name != m_localCon1Name) {
        CloseWorking();
        m_con1Name = m_localCon1Name;
    }
    ++m_workingOpens;
    return OpenSqliteFile(m_con1Name, filePath, error);
}

bool TDM::ConnectSharedWorkingDatabase(const NetDbSettings &settings, QString *error)
{
    CloseWorking();
    // A connection of its own kind: the SQLite one stays registered (closed) beside it.
    if (m_sharedCon1Name.isEmpty()) {
        m_sharedCon1Name = m_localCon1Name + u"-shared"_s;
        QSqlDatabase::addDatabase(u"QPSQL"_s, m_sharedCon1Name);
    }
    m_con1Name = m_sharedCon1Name;
    ++m_workingOpens;
    SetClosedOnPurpose(m_con1Name, false);
    return OpenPostgresConnection(m_con1Name, settings, error);
}

bool TDM::OpenSharedWorkingDatabase(const NetDbSettings &settings, QString *error)
{
    if (!ConnectSharedWorkingDatabase(settings, error))
        return false;
    QString prepareError;
    if (!PrepareSharedDatabase(Con1(), ConSample(), &prepareError)) {
        CloseWorking();
        if (error)
            *error = prepareError;
        return false;
    }
    return true;
}

bool TDM::OpenCheckedWorkingDatabase(const QString &filePath, const QString &backupFolder,
                                     QString *error)
{
    DatabaseCheck check = CheckDatabaseWritable(filePath);
    if (check.ok())
        check = CheckOurDatabase(filePath);
    if (!check.ok()) {
        CloseWorking();
        if (error)
            *error = DatabaseProblemMessage(filePath, check, backupFolder);
        return false;
    }
    return OpenWorkingDatabase(filePath, error);
}

bool TDM::OpenSampleDatabase(const QString &filePath, QString *error)
{
    // The template stays one self-contained file (no write-ahead log beside it), because new
    // working databases are byte copies of it.
    return OpenSqliteFile(m_conSampleName, filePath, error, SqliteJournal::Rollback);
}

void TDM::CloseWorking()
{
    closeConnection(m_con1Name);
    SetClosedOnPurpose(m_con1Name, true);
}

void TDM::CloseSample() { closeConnection(m_conSampleName); }

bool TDM::isWorkingOpen() const { return Con1().isOpen(); }

bool TDM::isSampleOpen() const { return ConSample().isOpen(); }

bool TDM::IsNewOpenProblem(const QString &message)
{
    if (message == m_reportedOpenProblem)
        return false;
    m_reportedOpenProblem = message;
    return true;
}

bool TDM::IsNewProblemOfThisRun(const QString &message)
{
    if (m_reportedProblems.contains(message))
        return false;
    m_reportedProblems << message;
    return true;
}

void TDM::StartPageCheck(const QString &filePath, const QString &backupFolder)
{
    const QString key = QFileInfo(filePath).absoluteFilePath();
    if (m_pageCheck || m_pageChecked.contains(key))
        return;
    m_pageChecked << key;
    auto result = std::make_shared<DatabaseCheck>();
    m_pageCheck = QThread::create([key, result] { *result = QuickCheckDatabase(key); });
    connect(m_pageCheck, &QThread::finished, this, [this, key, backupFolder, result] {
        m_pageCheck->deleteLater();
        m_pageCheck = nullptr;
        // A file that went away or cannot be read now is the next open's business.
        if (result->problem != DatabaseProblem::Damaged)
            return;
        // The file is open and in use: the message says what was found, not that it failed
        // to open.
        QString message = u"資料庫 "_s + Shown(key) + u" 檢查發現已損毀"_s;
        if (!result->detail.trimmed().isEmpty())
            message += u'\n' + result->detail.trimmed();
        const QString backup = NewestDatabaseBackup(backupFolder);
        if (!backup.isEmpty())
            message += u"\n最新的備份："_s + Shown(backup);
        message += u"\n請停止簽到，由系統管理員以備份還原資料庫。"_s;
        qWarning().noquote() << message;
        emit pageCheckDamaged(message);
        CurrentPrompter().ShowError(message);
        OfferRestore(key, backupFolder);
    });
    m_pageCheck->start(QThread::LowPriority);
}

void TDM::OfferRestore(const QString &filePath, const QString &backupFolder)
{
    const QString backup = NewestSoundBackup(backupFolder);
    if (backup.isEmpty()) {
        CurrentPrompter().ShowError(u"備份資料夾 %1 中沒有通過檢查的備份，無法還原。"_s.arg(
            Shown(backupFolder)));
        return;
    }
    const QString question
        = u"要以備份 %1（%2）還原資料庫 %3 嗎？\n損毀的檔案會另存一份，不會刪除；備份時間之後的"
          u"簽到退紀錄會列出，以便重新輸入。"_s.arg(Shown(backup),
                                                BackupTime(backup).toString(u"yyyy/MM/dd HH:mm:ss"_s),
                                                Shown(filePath));
    const Prompter::Button answer = CurrentPrompter().MessageDlgCaptions(
        question, { { Prompter::Button::Yes, u"還原"_s }, { Prompter::Button::No, u"暫不還原"_s } });
    if (answer == Prompter::Button::Yes)
        RestoreWorkingDatabase(filePath, backupFolder, backup);
}

bool TDM::RestoreWorkingDatabase(const QString &filePath, const QString &backupFolder,
                                 const QString &backup)
{
    // Nothing of this program may have the file open while it is replaced.
    WaitForPageCheck();
    const bool wasOpen = isWorkingOpen();
    CloseWorking();
    bool restored = false;
    try {
        const RestoreResult result
            = RestoreDatabaseFromBackup(filePath, backupFolder, backup, CurrentClock().now());
        restored = true;
        qWarning().noquote() << result.message();
        CurrentPrompter().ShowMessage(result.message());
    } catch (const RolvanError &e) {
        CurrentPrompter().ShowError(e.message());
    }
    if (wasOpen || restored) {
        QString error;
        if (!OpenCheckedWorkingDatabase(filePath, backupFolder, &error))
            CurrentPrompter().ShowError(error);
    }
    return restored;
}

void TDM::WaitForPageCheck()
{
    if (!m_pageCheck)
        return;
    m_pageCheck->wait();
    // The result is delivered by the event loop; a data module going away drops it.
    QCoreApplication::sendPostedEvents(this);
}

#include "admin/SharedDatabaseBackup.h"

#include "base/AtomicFile.h"
#include "Fun/FileFunctions.h"
#include "base/Globals.h"
#include "base/RolvanError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QVersionNumber>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QString Native(const QString &path) { return QDir::toNativeSeparators(path); }

QString ProgramName()
{
#ifdef Q_OS_WIN
    return u"pg_dump.exe"_s;
#else
    return u"pg_dump"_s;
#endif
}

// The "<version>/bin" folders below root, newest version first.
QStringList VersionBinFolders(const QString &root)
{
    QDir dir(root);
    QStringList versions = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) {
        return QVersionNumber::fromString(a) > QVersionNumber::fromString(b);
    });
    QStringList folders;
    for (const QString &version : versions)
        folders << dir.filePath(version + u"/bin"_s);
    return folders;
}

// A value of a libpq connection text: quoted, with quote and backslash escaped.
QString Quoted(QString value)
{
    value.replace(u'\\', u"\\\\"_s);
    value.replace(u'\'', u"\\'"_s);
    return u'\'' + value + u'\'';
}

// What the administrator can do about pg_dump's complaint (its messages are in English: the
// child runs with LC_MESSAGES=C so that they can be recognised here).
QString Advice(const QString &complaint)
{
    if (complaint.contains(u"password authentication failed"_s)
        || complaint.contains(u"no password supplied"_s)
        || complaint.contains(QRegularExpression(u"role \".*\" does not exist"_s)))
        return u"登入被拒：請檢查使用者（NetDB User）與密碼（NetDB Password）。"_s;
    if (complaint.contains(QRegularExpression(u"database \".*\" does not exist"_s)))
        return u"伺服器上沒有這個資料庫：請檢查資料庫名稱（NetDB Database）。"_s;
    if (complaint.contains(u"server version mismatch"_s))
        return u"pg_dump 的版本比資料庫伺服器舊：請安裝與伺服器相同或較新版本的 PostgreSQL 用戶端工具。"_s;
    if (complaint.contains(u"permission denied"_s))
        return u"這個使用者沒有讀取全部資料表的權限：請以資料庫的擁有者備份。"_s;
    if (complaint.contains(u"could not connect"_s) || complaint.contains(u"Connection refused"_s)
        || complaint.contains(u"timeout expired"_s)
        || complaint.contains(u"could not translate host name"_s))
        return u"無法連到資料庫伺服器：請檢查主機（NetDB Host）與連接埠（NetDB Port），以及伺服器是否已啟動。"_s;
    return QString();
}

QString DurationText(int seconds)
{
    if (seconds % 60 == 0)
        return QString::number(seconds / 60) + u" 分鐘"_s;
    return QString::number(seconds) + u" 秒"_s;
}

} // namespace

QString SharedDatabaseBackup::BackupFileName(const QDateTime &at)
{
    return at.toString(u"yyyyMMddHHmmss"_s) + u"_QuorinBackup.pgdump"_s;
}

QStringList SharedDatabaseBackup::DefaultSearchPath()
{
    QStringList folders;
    const QString path = qEnvironmentVariable("PATH");
    for (const QString &folder : path.split(QDir::listSeparator(), Qt::SkipEmptyParts))
        folders << folder;
#if defined(Q_OS_WIN)
    const QString programFiles = qEnvironmentVariable("ProgramFiles", u"C:\\Program Files"_s);
    folders << VersionBinFolders(programFiles + u"\\PostgreSQL"_s);
#elif defined(Q_OS_UNIX)
    folders << VersionBinFolders(u"/usr/lib/postgresql"_s);
#endif
    return folders;
}

QString SharedDatabaseBackup::FindPgDump(const QStringList &searchPath)
{
    for (const QString &folder : searchPath) {
        const QFileInfo candidate(QDir(folder).filePath(ProgramName()));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.absoluteFilePath();
    }
    return QString();
}

QString SharedDatabaseBackup::PgDumpMissingMessage()
{
    return u"找不到 pg_dump 程式，無法備份共用資料庫；請安裝 PostgreSQL 用戶端工具（Debian 套件 postgresql-client，"
           "Windows 為 PostgreSQL 安裝程式的 Command Line Tools），或由資料庫伺服器的管理者備份。"_s;
}

QString SharedDatabaseBackup::ConnectionText(const NetDbSettings &settings)
{
    return u"host="_s + Quoted(settings.host.trimmed()) + u" port="_s
        + Quoted(QString::number(settings.port)) + u" user="_s + Quoted(settings.user.trimmed())
        + u" dbname="_s + Quoted(settings.database.trimmed())
        + u" sslmode=prefer connect_timeout=10"_s;
}

QString SharedDatabaseBackup::Run(const Options &options, const ProgressCallback &progress)
{
    const QString pgDump = FindPgDump(options.searchPath);
    if (pgDump.isEmpty())
        throw RolvanError(PgDumpMissingMessage());
    const QStringList missing = options.settings.MissingKeys();
    if (!missing.isEmpty())
        throw RolvanError(u"共用資料庫的設定不完整，無法備份；請於系統設定填寫："_s + missing.join(u"、"_s));

    const QString fileName = options.backupFileName.trimmed();
    if (fileName.isEmpty() || fileName.contains(u'/') || fileName.contains(u'\\')
        || fileName == u"."_s || fileName == u".."_s)
        throw RolvanError(u"備份檔名不正確：「"_s + options.backupFileName
                          + u"」\n請輸入不含目錄的檔名。"_s);
    const QString folder = options.backupFolder.trimmed();
    if (folder.isEmpty())
        throw RolvanError(u"請輸入備份目錄。"_s);
    if (!ForceDirectoryPath(folder))
        throw RolvanError(u"共用資料庫備份失敗：無法建立備份目錄 "_s + Native(folder));
    const QString target = QFileInfo(JoinPath(folder, fileName)).absoluteFilePath();

    // A name of our own in the backup folder; removed with this object unless it became the
    // backup.
    QTemporaryFile temporary(QDir(folder).filePath(u"."_s + fileName + u".XXXXXX.part"_s));
    if (!temporary.open())
        throw RolvanError(u"共用資料庫備份失敗：無法在備份目錄寫入檔案 "_s + Native(folder) + u"（"_s
                          + temporary.errorString() + u"）"_s);
    const QString temporaryPath = temporary.fileName();
    temporary.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (options.settings.password.isEmpty())
        environment.remove(u"PGPASSWORD"_s);
    else
        environment.insert(u"PGPASSWORD"_s, options.settings.password);
    environment.remove(u"LC_ALL"_s);
    environment.insert(u"LC_MESSAGES"_s, u"C"_s);

    QProcess process;
    process.setProgram(pgDump);
    process.setArguments({u"--format=custom"_s, u"--no-password"_s, u"--file="_s + temporaryPath,
                          u"--dbname="_s + ConnectionText(options.settings)});
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(30000))
        throw RolvanError(u"共用資料庫備份失敗：無法執行 "_s + Native(pgDump) + u"（"_s
                          + process.errorString() + u"）"_s);

    QByteArray complaint;
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 limit = qint64(options.timeoutSeconds) * 1000;
    bool timedOut = false;
    while (!process.waitForFinished(250)) {
        complaint += process.readAllStandardError();
        if (process.state() == QProcess::NotRunning)
            break;
        if (elapsed.elapsed() > limit) {
            timedOut = true;
            process.kill();
            process.waitForFinished(10000);
            break;
        }
        if (progress)
            progress(QFileInfo(temporaryPath).size());
    }
    complaint += process.readAllStandardError();

    const QString told = QString::fromLocal8Bit(complaint).trimmed().right(1500);
    if (timedOut)
        throw RolvanError(u"共用資料庫備份逾時（超過 "_s + DurationText(options.timeoutSeconds)
                          + u"），已停止 pg_dump，未產生備份檔。"_s);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QString message = u"共用資料庫備份失敗（pg_dump 結束碼 "_s + QString::number(process.exitCode())
            + u"），未產生備份檔。"_s;
        const QString advice = Advice(told);
        if (!advice.isEmpty())
            message += u'\n' + advice;
        if (!told.isEmpty())
            message += u"\n\npg_dump 的訊息：\n"_s + told;
        throw RolvanError(message);
    }

    // A dump in the custom format starts with "PGDMP"; anything else is not a backup.
    QFile written(temporaryPath);
    if (!written.open(QIODevice::ReadOnly) || written.size() == 0 || written.read(5) != "PGDMP")
        throw RolvanError(u"共用資料庫備份失敗：pg_dump 沒有寫出完整的備份檔，未產生備份檔。"_s);
    written.close();
    if (progress)
        progress(QFileInfo(temporaryPath).size());

    QString error;
    if (!AtomicFile::commitWrittenFile(temporaryPath, target, &error))
        throw RolvanError(u"共用資料庫備份失敗："_s + error);
    temporary.setAutoRemove(false);
    return target;
}

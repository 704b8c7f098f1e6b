#include "admin/VersionUpdate.h"

#include "base/AtomicFile.h"
#include "Fun/FileFunctions.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "Fun/VersionInfo.h"
#include "Fun/ZipFunctions.h"
#include "admin/StationSettingsForm.h"
#include "admin/UpdateFiles.h"
#include "admin/UpdateInstaller.h"
#include "admin/VersionNumber.h"
#include "base/RolvanError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

UpdateSettings UpdateSettings::FromIni()
{
    UpdateSettings s;
    s.baseUrl = ReadIniSetting(IniSection::Base, IniKey::UpdateUrl,
                    StationSettingsForm::DefaultUpdateUrl, StationSettingsForm::DefaultUpdateUrl)
                    .trimmed()
        + u"/"_s;
    s.workFolder
        = ReadIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, QString(), QString())
              .trimmed();
    s.trustedCaFile
        = ReadIniSetting(IniSection::Base, IniKey::TrustedCaFile, QString(), QString()).trimmed();
    return s;
}

namespace {

// Passes every written byte on to the package file and keeps its SHA-256 on the way.
class HashingSink final : public QIODevice
{
public:
    explicit HashingSink(AtomicFile &file)
        : m_file(file)
    {
        open(QIODevice::WriteOnly);
    }
    QByteArray hexDigest() const { return m_hash.result().toHex(); }
    qint64 written() const { return m_written; }
    QString failure() const { return m_file.errorString(); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override
    {
        const QByteArray bytes(data, length);
        if (!m_file.write(bytes)) {
            setErrorString(m_file.reason());
            return -1;
        }
        m_hash.addData(bytes);
        m_written += length;
        return length;
    }

private:
    AtomicFile &m_file;
    QCryptographicHash m_hash { QCryptographicHash::Sha256 };
    qint64 m_written = 0;
};

// The SHA-256 of a checksum file: its first word, 64 hexadecimal digits ("sha256sum" form).
QByteArray ReadChecksum(const QByteArray &text)
{
    static const QRegularExpression word(u"^\\s*([0-9A-Fa-f]{64})(\\s|$)"_s);
    const QRegularExpressionMatch match = word.match(QString::fromLatin1(text));
    return match.hasMatch() ? match.captured(1).toLower().toLatin1() : QByteArray();
}

QByteArray FileSha256(const QString &path, QString *error)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        *error = u"無法讀取 %1：%2"_s.arg(path, file.errorString());
        return {};
    }
    return hash.result().toHex();
}

// Empties a folder the update owns (and makes it); refuses a link or a file of that name.
QString PrepareOwnFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || info.isJunction() || (info.exists() && !info.isDir()))
        return u"%1 不是資料夾"_s.arg(folder);
    try {
        if (info.exists())
            DeleteFilesInDirectory(folder, u"*.*"_s, true);
    } catch (const RolvanError &e) {
        return u"無法清除資料夾 %1：%2"_s.arg(folder, e.message());
    }
    if (!ForceDirectoryPath(folder))
        return u"無法建立資料夾 %1"_s.arg(folder);
    return {};
}

std::optional<UpdaterLaunch> &PendingLaunch()
{
    static std::optional<UpdaterLaunch> launch;
    return launch;
}

} // namespace

void SetPendingUpdaterLaunch(const UpdaterLaunch &launch) { PendingLaunch() = launch; }

std::optional<UpdaterLaunch> TakePendingUpdaterLaunch()
{
    std::optional<UpdaterLaunch> launch;
    launch.swap(PendingLaunch());
    return launch;
}

VersionUpdate::VersionUpdate(const UpdateSettings &settings, const QString &currentVersion)
    : m_settings(settings)
    , m_currentVersion(currentVersion)
    , m_client(std::make_unique<WebClient>())
{
    m_client->setTimeoutMs(m_settings.timeoutMs);
    m_client->setExtraCaFile(m_settings.trustedCaFile, &m_setupError);
}

VersionUpdate::~VersionUpdate() = default;

QString VersionUpdate::packagePath() const
{
    return QDir(m_settings.workFolder).filePath(UpdateFiles::PackageName());
}

QString VersionUpdate::unpackFolder() const
{
    return QDir(m_settings.workFolder).filePath(UpdateFiles::UnpackFolderName());
}

UpdateCheck VersionUpdate::Check()
{
    UpdateCheck check;
    if (!m_setupError.isEmpty()) {
        check.errorText = m_setupError;
        return check;
    }
    const WebResult result = m_client->get(url(UpdateFiles::VersionFileName()));
    if (!result.ok()) {
        check.result
            = result.status >= 400 ? UpdateCheck::Result::HttpError : UpdateCheck::Result::Failed;
        check.status = result.status;
        check.errorText = result.error;
        check.replyText = result.text();
        return check;
    }
    check.offered = result.text().trimmed();
    if (!ParseVersionNumber(check.offered)) {
        check.errorText = u"%1 的內容不是版本編號：%2"_s.arg(
            url(UpdateFiles::VersionFileName()), check.offered.left(40));
        return check;
    }
    check.result = IsNewerVersion(check.offered, m_currentVersion) ? UpdateCheck::Result::Newer
                                                                   : UpdateCheck::Result::UpToDate;
    return check;
}

UpdateStep VersionUpdate::Download(const std::function<void(int percent)> &percent)
{
    if (!m_setupError.isEmpty())
        return { m_setupError };
    if (!ForceDirectoryPath(m_settings.workFolder))
        return { u"無法建立資料夾 %1，未下載更新檔"_s.arg(m_settings.workFolder) };

    // The checksum first: a server without one answers 404 and the package goes unchecked.
    QByteArray expected;
    const WebResult sum = m_client->get(url(UpdateFiles::ChecksumFileName()));
    if (sum.ok()) {
        expected = ReadChecksum(sum.body);
        if (expected.isEmpty())
            return { u"%1 的內容不是 SHA-256 檢查碼，未下載更新檔"_s.arg(
                url(UpdateFiles::ChecksumFileName())) };
    } else if (sum.status != 404) {
        return { u"無法取得更新檔的檢查碼，未下載更新檔：%1"_s.arg(sum.error) };
    }

    AtomicFile file(packagePath());
    if (!file.begin())
        return { file.errorString() };
    HashingSink sink(file);
    qint64 announced = -1;
    const auto connection = QObject::connect(m_client.get(), &WebClient::downloadProgress,
        m_client.get(), [&](qint64 received, qint64 total) {
            if (total <= 0)
                return;
            announced = total;
            if (percent)
                percent(int(qMin<qint64>(100, received * 100 / total)));
        });
    const WebResult result = m_client->download(url(UpdateFiles::PackageName()), &sink);
    QObject::disconnect(connection);

    if (!result.ok())
        return { u"更新檔下載失敗，未安裝：%1"_s.arg(result.error) };
    if (announced >= 0 && sink.written() != announced)
        return { u"更新檔下載不完整（收到 %1 位元組，應為 %2 位元組），未安裝"_s.arg(sink.written())
                     .arg(announced) };
    if (sink.written() == 0)
        return { u"更新檔是空的，未安裝"_s };
    if (!expected.isEmpty() && sink.hexDigest() != expected)
        return { u"更新檔的檢查碼不符，已拒絕安裝（應為 %1，下載的檔案為 %2）"_s.arg(
            QString::fromLatin1(expected), QString::fromLatin1(sink.hexDigest())) };
    if (!file.commit())
        return { file.errorString() };
    if (percent)
        percent(100);
    return {};
}

UpdateStep VersionUpdate::Unpack(QString *newVersion)
{
    const QString folder = unpackFolder();
    if (const QString problem = PrepareOwnFolder(folder); !problem.isEmpty())
        return { problem + u"，未安裝"_s };

    QString error;
    const bool extracted = UnzipToFolder(
        m_settings.workFolder, UpdateFiles::PackageName(), UpdateFiles::UnpackFolderName(), &error);
    QFile::remove(packagePath());
    if (!extracted)
        return { u"更新檔無法完整解開，未安裝：%1"_s.arg(error) };

    auto refuse = [&](const QString &why) {
        PrepareOwnFolder(folder);
        return UpdateStep { why };
    };
    const QDir dir(folder);
    for (const QFileInfo &entry :
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!entry.isFile())
            return refuse(u"更新檔中有資料夾 %1，未安裝"_s.arg(entry.fileName()));
        if (UpdateFiles::IsProtectedName(entry.fileName()))
            return refuse(u"更新檔中有不可更新的檔案 %1，未安裝"_s.arg(entry.fileName()));
    }
    for (const QString &name : { UpdateFiles::ProgramFileName(), UpdateFiles::UpdaterFileName() }) {
        if (!QFileInfo(dir.filePath(name)).isFile())
            return refuse(u"更新檔中沒有 %1，未安裝"_s.arg(name));
    }
    QString version;
    try {
        version = GetFileVersionText(dir.filePath(UpdateFiles::ProgramFileName()));
    } catch (const RolvanError &e) {
        return refuse(u"更新檔中的 %1 無法讀出版本（%2），未安裝"_s.arg(
            UpdateFiles::ProgramFileName(), e.message()));
    }
    if (!IsNewerVersion(version, m_currentVersion))
        return refuse(u"更新檔中的程式版本 %1 並不比使用中版本 %2 新，未安裝"_s.arg(
            version, m_currentVersion));
    if (newVersion)
        *newVersion = version;
    return {};
}

UpdateStep VersionUpdate::PlaceUpdater(const QString &programFolder)
{
    const QString unpacked = QDir(unpackFolder()).filePath(UpdateFiles::UpdaterFileName());
    MarkExecutable(unpacked);
    QString error;
    if (QueryProgramVersion(unpacked, 15000, &error).isEmpty())
        return { u"新的更新程式無法執行，未安裝：%1"_s.arg(error) };

    // Beside the old one under a temporary name, complete and executable, then renamed over it.
    const QDir program(programFolder);
    const QString target = program.filePath(UpdateFiles::UpdaterFileName());
    const QString staged = program.filePath(u".%1.new"_s.arg(UpdateFiles::UpdaterFileName()));
    if (!CopyFileDurably(unpacked, staged, &error)) {
        QFile::remove(staged);
        return { u"無法放入新的更新程式，未安裝：%1"_s.arg(error) };
    }
    QString reason;
    if (!RenameOver(staged, target, &reason)) {
        QFile::remove(staged);
        return { u"無法放入新的更新程式 %1，未安裝：%2"_s.arg(target, reason) };
    }
    QFile::remove(unpacked);
    return {};
}

UpdateStep VersionUpdate::CheckProgramFolder(
    const QString &programFolder, const QString &settingsFolder)
{
    const QString program = QFileInfo(programFolder).canonicalFilePath();
    const QString settings = QFileInfo(settingsFolder).canonicalFilePath();
    if (program.isEmpty() || program != settings)
        return { u"設定檔與範本所在的資料夾 %1 不是程式資料夾 %2，無法自動更新，未安裝"_s.arg(
            QDir::toNativeSeparators(settingsFolder), QDir::toNativeSeparators(programFolder)) };
    return {};
}

UpdaterLaunch VersionUpdate::MakeLaunch(
    const QString &programFolder, const QString &newVersion, qint64 pid, bool restart) const
{
    UpdaterLaunch launch;
    launch.program = QDir(programFolder).filePath(UpdateFiles::UpdaterFileName());
    launch.workingFolder = programFolder;
    launch.arguments = { u"--pid"_s, QString::number(pid), u"--from"_s, unpackFolder(), u"--to"_s,
        programFolder, u"--expect"_s, newVersion, u"--log"_s,
        QDir(m_settings.workFolder).filePath(UpdateFiles::UpdaterLogName()) };
    if (restart)
        launch.arguments << u"--restart"_s;
    return launch;
}

QString VersionUpdate::TakeUpdaterFailure() const
{
    const QString path = QDir(m_settings.workFolder).filePath(UpdateFiles::UpdaterFailureName());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll()).trimmed();
    file.close();
    QFile::remove(path);
    return text;
}

UpdateStep VersionUpdate::BuildPackage(
    const PackageSources &sources, const QString &workFolder, QString *packagePath)
{
    const QDir upload(QDir(workFolder).filePath(UpdateFiles::UploadFolderName()));
    const QString build = upload.filePath(UpdateFiles::BuildFolderName());
    if (const QString problem = PrepareOwnFolder(build); !problem.isEmpty())
        return { problem };

    QString version;
    try {
        version = GetFileVersionText(sources.programFile);
    } catch (const RolvanError &e) {
        return { u"%1 無法讀出版本：%2"_s.arg(sources.programFile, e.message()) };
    }

    const QDir buildDir(build);
    const QString packedProgram = buildDir.filePath(UpdateFiles::ProgramFileName());
    const std::pair<QString, QString> copies[] = {
        { sources.updaterFile, buildDir.filePath(UpdateFiles::UpdaterFileName()) },
        { sources.templateFile, buildDir.filePath(QFileInfo(sources.templateFile).fileName()) },
        { sources.programFile, packedProgram },
    };
    for (const auto &[from, to] : copies) {
        QString error;
        if (!CopyFileDurably(from, to, &error))
            return { error };
    }

    QString error;
    const bool zipped = ZipDirectory(
        upload.path(), UpdateFiles::BuildFolderName(), UpdateFiles::PackageName(), &error);
    QFile::remove(packedProgram);
    if (!zipped)
        return { error };

    const QString package = upload.filePath(UpdateFiles::PackageName());
    const QByteArray digest = FileSha256(package, &error);
    if (digest.isEmpty())
        return { error };
    if (!WriteFileAtomically(
            upload.filePath(UpdateFiles::VersionFileName()), version.toLatin1() + "\r\n", &error)
        || !WriteFileAtomically(upload.filePath(UpdateFiles::ChecksumFileName()),
            digest + "  " + UpdateFiles::PackageName().toLatin1() + "\n", &error))
        return { error };
    if (packagePath)
        *packagePath = package;
    return {};
}

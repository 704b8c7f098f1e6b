#include "station/Activation.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/FileFunctions.h"
#include "Fun/IniFile.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "Fun/VersionInfo.h"
#include "core/NetDatabase.h"
#include "admin/JetStaging.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Prompter.h"
#include "station/IdentityResolver.h"
#include "station/SnapshotPlaces.h"
#include "station/StationState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString DesignerCode = QStringLiteral("青紅黃綠藍紫");
const QString DbVersionSql = QStringLiteral("select CODE_SEQ from SYS_CODE where CODE_TYPE ='DBVersion' ");

QString ReadBase(const QString &key, const QString &defaultValue)
{
    return ReadIniSetting(IniSection::Base, key, QString(), defaultValue);
}

QString FileTimeText(const QString &path)
{
    return QFileInfo(path).lastModified().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

} // namespace

void ReadTimeLimits(StationState &station)
{
    // Minutes of 0 (or none) put no limit on that side of a lesson.
    const auto limit = [](const QString &key, QString &text, bool &unlimited) {
        const int minutes = StrToIntSafe(ReadBase(key, QStringLiteral("0")));
        unlimited = minutes <= 0;
        text = MinutesToTimeText(qMax(0, minutes), QStringLiteral(":"));
    };
    limit(IniKey::MinutesBeforeStart, station.BeforeStart, station.BeforeStartUnlimited);
    limit(IniKey::MinutesAfterEnd, station.AfterEnd, station.AfterEndUnlimited);
    station.BreakLimit = StrToIntSafe(ReadBase(IniKey::BreakLimit, QStringLiteral("60")));
    station.AutoSwitchLimit = StrToIntSafe(ReadBase(IniKey::CourseSwitchLimit, QStringLiteral("15")));
}

MainActivation::MainActivation(TDM &dm, StationState &station, ActivationHooks &hooks)
    : m_dm(dm)
    , m_station(station)
    , m_hooks(hooks)
{
}

MainActivation::Outcome MainActivation::Run(const QStringList &arguments,
                                            const QString &executablePath)
{
    Globals &g = G();
    m_lastError.clear();
    try {
        // Nothing is created, opened or started before the settings file has been read: a
        // settings file that cannot be read (UTF-16 as Notepad saves "Unicode", a binary file)
        // would otherwise put the data folders and a new database in the default place.
        {
            IniFile ini;
            if (!ini.load(g.iniPath())) {
                m_lastError = ini.errorString();
                return Outcome::Stopped;
            }
        }

        // 1. Clock flag and input method.
        m_station.NtpFlag = QStringLiteral("N");
        m_station.imeName = ReadBase(IniKey::ImeName, IniDefault::ImeName);

        // 2. Command-line parameters are only shown.
        if (arguments.size() > 1) {
            for (int i = 0; i < arguments.size(); ++i)
                CurrentPrompter().ShowMessage(QStringLiteral("Parameter %1 = %2").arg(i).arg(arguments.at(i)));
        }

        // 3. Working directory.
        if (!g.StartDir.isEmpty())
            QDir::setCurrent(g.StartDir);

        // 4. Version texts.
        g.EditionLevel = 0;
        g.ExeVersion = GetFileVersionText(executablePath);
        g.EditionText = QStringLiteral("客製版");
        g.VersionText = QStringLiteral(" 版本序號：") + g.ExeVersion + QStringLiteral(" 更新時間:")
            + FileTimeText(executablePath);

        // 5 .. 9. Designer mode, modules, organisation, event captions.
        g.DesignerMode = ReadBase(IniKey::SystemManager, QStringLiteral("xxxxxx")) == DesignerCode;
        m_station.autoSyncModule = TextToBool(ReadBase(IniKey::AutoSyncModule, QStringLiteral("False")));
        g.OrganisationName = ReadBase(IniKey::CompanyName, QString());
        m_station.photoOn = true;
        m_station.enrolmentModule = true;
        m_station.io3Cap = QStringLiteral("午到");
        m_station.io4Cap = QStringLiteral("午退");
        m_station.io5Cap = QStringLiteral("晚到");
        m_station.io6Cap = QStringLiteral("晚退");
        m_station.preBooking = true;
        g.CourseNoLength = StrToIntSafe(ReadBase(IniKey::CourseNoLength, QStringLiteral("11")));
        g.EditionLevel = 2;

        // 11. Time limits.
        ReadTimeLimits(m_station);

        // 13. Photo switch and snapshot sub-folder rule.
        m_station.photoOn = TextToBool(ReadBase(IniKey::PhotoOnSign, QStringLiteral("False")));
        m_station.enrolmentModule = true;
        m_station.photoSubPathRule = ReadBase(IniKey::PhotoSubPathRule, QStringLiteral("年月"));

        // 14. Camera.
        m_station.cameraDeviceNo = StrToIntSafe(ReadBase(IniKey::CameraDevice, QStringLiteral("0")));
        if (m_station.photoOn && !m_hooks.StartCamera(m_station))
            return Outcome::Terminate;

        // 16. Data folders.
        const DataFolders folders = ReadDataFolders();
        for (const QString &folder : { folders.database, folders.backup, folders.csv, folders.images })
            ForceDirectoryPath(folder);
        // Snapshots half written when a station was ended mid-write, once per run.
        {
            QString pictures = ReadBase(IniKey::ImageFileLocationPath, QString());
            if (pictures.trimmed().isEmpty())
                pictures = folders.images;
            RemoveStaleSnapshotTemporaries(pictures);
        }

        // 17 .. 18. The working database, copied from the template when missing.
        if (!OpenWorkingDatabase())
            return Outcome::Stopped;

        // 19. Identity caption and the stored identity kind.
        CheckStorageKind();

        // 20. Database version against the template.
        CheckDatabaseVersion();

        // 21. Versions recorded in the INI. A settings file that cannot be written (read-only,
        // a full disk) is told once with the reason; the station works on without the record.
        try {
            RecordVersions(executablePath);
        } catch (const RolvanError &e) {
            if (m_dm.IsNewProblemOfThisRun(e.message()))
                CurrentPrompter().ShowError(e.message());
        }

        // 22. Today's class, unless one is chosen.
        if (!m_station.classChosen())
            m_hooks.ChooseTodaysClass(m_station);

        // 25. Clock synchronisation.
        m_hooks.SynchroniseClock(m_station, QStringLiteral("ST"));
    } catch (const RolvanError &e) {
        m_lastError = e.message();
        return Outcome::Stopped;
    }
    return Outcome::Done;
}

bool MainActivation::OpenWorkingDatabase()
{
    Globals &g = G();
    if (TextToBool(ReadBase(IniKey::UseNetDb, QStringLiteral("False"))))
        return OpenSharedDatabase();
    const DataFolders folders = ReadDataFolders();
    const QString database = JoinPath(folders.database, g.DbFileName);
    // An old Access database (Quorin.mdb, no Quorin.db) is offered for conversion first.
    if (!JetStaging::WaitingJetDatabase(folders.database).isEmpty())
        m_hooks.OpenConversionWindow();
    m_dm.CloseWorking();

    // The problem is shown once; while it stays the same the station stays quiet and usable
    // for closing and for the administration menu. Nothing is written to the file.
    auto refuse = [&](const DatabaseCheck &check) {
        const QString message = DatabaseProblemMessage(database, check, folders.backup);
        if (m_dm.IsNewOpenProblem(message))
            m_lastError = message;
        return false;
    };

    // A missing working database is made from the template, once the template has been found
    // to be one of ours; a damaged template is never copied.
    if (!QFileInfo::exists(database)) {
        const QString sample = g.samplePath();
        if (!QFileInfo::exists(sample)) {
            return refuse({ DatabaseProblem::Missing,
                            QStringLiteral("範本 %1 也不存在，無法建立新的資料庫")
                                .arg(QDir::toNativeSeparators(sample)) });
        }
        QString copyError;
        if (!CopyTemplateDatabase(sample, database, &copyError))
            return refuse({ DatabaseProblem::TemplateCopyFailed, copyError });
    }

    // Before anything changes the file (the switch to the write-ahead log writes its header):
    // the file, its folder and the disk let us write, and the file is one of ours.
    QString error;
    if (!m_dm.OpenCheckedWorkingDatabase(database, folders.backup, &error)) {
        if (m_dm.IsNewOpenProblem(error))
            m_lastError = error;
        return false;
    }
    m_dm.ForgetOpenProblem();
    // SQLite's page check, once per run, while the station works.
    m_dm.StartPageCheck(database, folders.backup);
    return true;
}

bool MainActivation::OpenSharedDatabase()
{
    // An open link to the server is kept; a lost one was closed by the statement that found it.
    if (m_dm.isShared() && m_dm.isWorkingOpen())
        return true;
    // The template gives an empty server database its first rows.
    const QString samplePath = G().samplePath();
    if (!m_dm.isSampleOpen() && QFile::exists(samplePath)) {
        QString sampleError;
        if (!m_dm.OpenSampleDatabase(samplePath, &sampleError))
            qWarning().noquote() << sampleError;
    }
    // A server that does not answer is told once; every later activation (the station coming
    // back to the front, the class window) tries again, and the station stays usable for
    // closing, the administration menu and the settings meanwhile.
    QString error;
    if (!m_dm.OpenSharedWorkingDatabase(NetDbSettings::FromIni(), &error)) {
        if (m_dm.IsNewOpenProblem(error))
            m_lastError = error;
        return false;
    }
    m_dm.ForgetOpenProblem();
    return true;
}

void MainActivation::CheckStorageKind()
{
    Globals &g = G();
    g.IdnoCaption = ReadIdnoCaption(m_dm.Con1());
    // Without the key the station stores the whole identity number (what the settings window
    // writes). The member-number caption would store an empty identity for students imported
    // from the training service, losing who signed.
    m_station.StorageKind = ReadBase(IniKey::IdentityStoreKind, QString());
    if (m_station.StorageKind.isEmpty())
        m_station.StorageKind = IdentityKind::DefaultStorage;
    const int count = QueryValueIn(QStringLiteral("select count(*) from SYS_code where CODE_TYPE = ? "
                                                  "and CODE_DESC = ? "),
                                   m_dm.Con1(), { QStringLiteral("PSPN_DBGRID1"), m_station.StorageKind })
                          .toInt();
    if (count < 1) {
        CurrentPrompter().ShowMessage(QStringLiteral("簽到退識別儲存種類='") + m_station.StorageKind
                                      + QStringLiteral("' ,但人員基本資料 版面設定 無此 對應標題 欄位"));
    }
}

void MainActivation::CheckDatabaseVersion()
{
    const QString samplePath = G().samplePath();
    if (!QFile::exists(samplePath))
        return;
    if (!m_dm.isSampleOpen()) {
        QString error;
        if (!m_dm.OpenSampleDatabase(samplePath, &error))
            throw DatabaseError(error);
    }
    const QString working = QueryValueIn(DbVersionSql, m_dm.Con1()).toString();
    // A template of another program (or a damaged one) would only show the statement that failed.
    QString sample;
    QString whyNot;
    try {
        sample = QueryValueOn(DbVersionSql, m_dm.ConSample()).toString().trimmed();
        if (sample.isEmpty())
            whyNot = QStringLiteral("資料庫中沒有資料庫版本記錄");
    } catch (const RolvanError &e) {
        whyNot = e.message().section(u'\n', 1).trimmed();
    }
    if (!whyNot.isEmpty()) {
        throw RolvanError(QStringLiteral("範本資料庫 %1 不是本系統的範本（%2）。\n請換回程式所附的 %3。")
                              .arg(QDir::toNativeSeparators(QFileInfo(samplePath).absoluteFilePath()),
                                   whyNot, QFileInfo(samplePath).fileName()));
    }
    if (working != sample) {
        CurrentPrompter().ShowMessage(QStringLiteral("資料庫版本不一致 必須先執行資料庫備份轉換作業"));
        m_hooks.OpenConversionWindow();
    }
}

void MainActivation::RecordVersions(const QString &executablePath)
{
    WriteIniSetting(IniSection::Base, IniKey::DbVersion, QueryValueIn(DbVersionSql, m_dm.Con1()).toString());
    WriteIniSetting(IniSection::Base, IniKey::ExeVersion, G().ExeVersion);
    WriteIniSetting(IniSection::Base, IniKey::ExeDateTime, FileTimeText(executablePath));
}

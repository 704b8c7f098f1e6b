// rolvanctl: the station's headless jobs from a command line or cron, on the same core as the
// windows (backup, integrity check, restore from a backup, the class's hours and CSV files, the sign-in sheets as PDF,
// the exchange of sign events between stations).
//
//   rolvanctl [--home <folder>] <command> [arguments]
//
// The station's folder is found as the station finds it (ROLVAN_HOME, the installed per-user
// folder, or the folder of the program); --home names it for one run. Exit status 0 on success;
// 1 when the job failed, 2 for a bad command line, each with one line on stderr.

#include "admin/DatabaseConversion.h"
#include "dialogs/ChoiceDialogs.h"
#include "core/DataFolders.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "core/NetDatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include "Fun/Unit_function.h"
#include "core/DatabaseRestore.h"
#include "core/DbFunctions.h"
#include "core/SysIni.h"
#include "platform/Prompter.h"
#include "platform/SingleInstance.h"
#include "reportengine/ReportRender.h"
#include "reports/HoursRun.h"
#include "reports/ReportOutputs.h"
#include "reports/SheetData.h"
#include "reports/SignSheets.h"
#include "station/SignEventTransfer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#ifdef Q_OS_WIN
#include <io.h>
#define ROLVAN_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define ROLVAN_ISATTY(fd) isatty(fd)
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// A failure of the command line itself (exit status 2).
struct UsageError
{
    QString message;
};

void PrintLine(FILE *stream, const QString &text)
{
    const QByteArray bytes = (text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// One line: a message of several lines is joined with blanks.
QString OneLine(QString text)
{
    text.replace(u"\r\n"_s, u" "_s);
    text.replace(u'\n', u' ');
    text.replace(u'\r', u' ');
    return text.simplified();
}

// A progress bar on stderr, drawn only when stderr is a terminal (a log file or cron mail
// gets no control characters).
class ProgressBar
{
public:
    ProgressBar() : m_enabled(ROLVAN_ISATTY(fileno(stderr)) != 0) {}
    ~ProgressBar() { Finish(); }

    void Show(const QString &label, qsizetype done, qsizetype total)
    {
        if (!m_enabled || total <= 0)
            return;
        const int percent = int(std::clamp<qsizetype>(done * 100 / total, 0, 100));
        if (percent == m_lastPercent && label == m_lastLabel)
            return;
        m_lastPercent = percent;
        m_lastLabel = label;
        constexpr int width = 30;
        const int filled = percent * width / 100;
        const QString bar = QString(filled, u'#') + QString(width - filled, u'-');
        const QByteArray line = u"\r[%1] %2% %3"_s.arg(bar).arg(percent, 3).arg(label).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fputs("\x1b[K", stderr);
        std::fflush(stderr);
        m_drawn = true;
    }

    void Finish()
    {
        if (m_drawn) {
            std::fputs("\r\x1b[K", stderr);
            std::fflush(stderr);
            m_drawn = false;
        }
        m_lastPercent = -1;
    }

private:
    bool m_enabled;
    bool m_drawn = false;
    int m_lastPercent = -1;
    QString m_lastLabel;
};

// Messages of the core go to the terminal; questions take their default answer, lists are
// never chosen from (nobody is there to answer).
class ConsolePrompter final : public Prompter
{
public:
    void ShowMessage(const QString &text) override { PrintLine(stdout, OneLine(text)); }
    void ShowError(const QString &text) override { PrintLine(stderr, OneLine(text)); }
    Button MessageDlgCaptions(const QString &message, const QList<ButtonSpec> &buttons) override
    {
        PrintLine(stderr, OneLine(message));
        if (buttons.size() >= 2)
            return buttons.at(1).kind;
        return buttons.isEmpty() ? Button::Cancel : buttons.first().kind;
    }
    int ChooseFromList(const QString &, const QStringList &) override { return -1; }
};

// The station's settings that the jobs share with the start-up.
void ReadStationGlobals(Globals &g)
{
    g.CourseNoLength = StrToIntSafe(ReadIniSetting(IniSection::Base, IniKey::CourseNoLength, u"11"_s, u"11"_s));
    g.OrganisationName = ReadIniSetting(IniSection::Base, IniKey::CompanyName, QString(), QString());
}

// The station's working database file. A job never makes one from the template: a station
// without its database fails. The jobs work on the local SQLite file only.
QString WorkingDatabasePath()
{
    if (TextToBool(ReadIniSetting(IniSection::Base, IniKey::UseNetDb, u"False"_s, u"False"_s)))
        throw RolvanError(u"Rolvan.ini [Base] useNetDB=True：命令列只處理本機資料庫"_s);
    const QString database = JoinPath(ReadDataFolders().database, G().DbFileName);
    if (!QFileInfo::exists(database))
        throw RolvanError(u"找不到資料庫 %1"_s.arg(QDir::toNativeSeparators(database)));
    return database;
}

// Opens the working database as the station does, after the same checks.
void OpenWorking(TDM &dm)
{
    const DataFolders folders = ReadDataFolders();
    const QString database = WorkingDatabasePath();
    QString error;
    if (!dm.OpenCheckedWorkingDatabase(database, folders.backup, &error))
        throw RolvanError(error);
    // The report settings read the template's sys_ini.
    if (QFileInfo::exists(G().samplePath()) && !dm.OpenSampleDatabase(G().samplePath(), &error))
        throw RolvanError(error);
}

QString RequireOne(const QStringList &positional, const QString &what)
{
    if (positional.size() != 1)
        throw UsageError{u"需要一個%1 / expects one %1"_s.arg(what)};
    return positional.first();
}

// The class key of the command line: an existing class (CourseId + Echelon).
QString RequireClass(const TDM &dm, const QStringList &positional)
{
    const QString classKey = RequireOne(positional, u"班別代碼 (class key)"_s).trimmed();
    if (!LoadReportClassRow(dm.Con1(), classKey).found)
        throw RolvanError(u"找不到班別 %1"_s.arg(classKey));
    return classKey;
}

// --- The commands ---------------------------------------------------------------------------

// The station's own records into the shared database of the settings ([Base] NetDB ...), which
// must be empty: the way a unit moves to several stations on one database.
int ToShared(TDM &dm)
{
    const DataFolders folders = ReadDataFolders();
    const QString database = JoinPath(folders.database, G().DbFileName);
    const DatabaseCheck check = CheckOurDatabase(database);
    if (!check.ok())
        throw RolvanError(DatabaseProblemMessage(database, check, folders.backup));
    const NetDbSettings shared = NetDbSettings::FromIni();
    QString error;
    if (!dm.ConnectSharedWorkingDatabase(shared, &error)
        || !MoveLocalFileToShared(dm.Con1(), database, &error))
        throw RolvanError(error);
    PrintLine(stdout, shared.Describe());
    return 0;
}

int Backup(TDM &dm, ProgressBar &bar)
{
    OpenWorking(dm);
    DatabaseConversion conversion(dm);
    conversion.setProgressCallback([&bar](const ConversionProgress &p) {
        bar.Show(u"備份 / backup"_s, p.percent, 100);
    });
    const DatabaseConversion::Result result = conversion.Run(DatabaseConversion::DefaultOptions());
    bar.Finish();
    PrintLine(stdout, QDir::toNativeSeparators(result.backupPath));
    return 0;
}

// Read only: the file is looked at on connections of its own and never opened for writing.
int Check()
{
    const QString database = WorkingDatabasePath();
    DatabaseCheck check = CheckOurDatabase(database);
    if (check.ok())
        check = QuickCheckDatabase(database, /*fullCheck=*/true);
    if (!check.ok())
        throw RolvanError(DatabaseProblemMessage(database, check, ReadDataFolders().backup));
    PrintLine(stdout, u"ok"_s);
    return 0;
}

// A backup in the place of the working database. Never under a running station: it has the
// file open, and the single-instance lock tells that it runs.
int Restore(const QStringList &positional)
{
    if (positional.size() > 1)
        throw UsageError{u"restore 最多一個參數（備份檔）/ restore takes at most one backup file"_s};
    if (TextToBool(ReadIniSetting(IniSection::Base, IniKey::UseNetDb, u"False"_s, u"False"_s)))
        throw RolvanError(u"Rolvan.ini [Base] useNetDB=True：命令列只處理本機資料庫"_s);
    const DataFolders folders = ReadDataFolders();
    const QString database = JoinPath(folders.database, G().DbFileName);
    if (SingleInstance(G().ProgramName).IsRunning()) {
        throw RolvanError(u"簽到退工作站正在執行，資料庫 %1 使用中：請先關閉工作站再還原"_s.arg(
            QDir::toNativeSeparators(database)));
    }
    QString backup;
    if (!positional.isEmpty()) {
        backup = positional.first();
        // A bare name is one of the backup folder.
        if (!QFileInfo::exists(backup) && QFileInfo::exists(JoinPath(folders.backup, backup)))
            backup = JoinPath(folders.backup, backup);
        if (!QFileInfo(backup).isFile())
            throw RolvanError(u"找不到備份檔 %1"_s.arg(QDir::toNativeSeparators(backup)));
    }
    const RestoreResult result
        = RestoreDatabaseFromBackup(database, folders.backup, backup, QDateTime::currentDateTime());
    PrintLine(stdout, result.message());
    return 0;
}

int Csv(TDM &dm, const QStringList &positional, ProgressBar &bar)
{
    OpenWorking(dm);
    G().CurrentClassKey = RequireClass(dm, positional);
    ReportOutputs outputs(dm);
    outputs.Activate();
    const ReportOutputs::Progress progress = [&bar](qsizetype done, qsizetype total) {
        bar.Show(u"時數計算 / hours"_s, done, total);
    };
    QStringList files;
    files << outputs.SignEventsCsv();
    if (const QString courses = outputs.CoursesCsv(); !courses.isEmpty())
        files << courses;
    files << outputs.HoursPerCourseCsv(progress);
    bar.Finish();
    files << outputs.PermitHoursCsv(progress);
    bar.Finish();
    for (const QString &file : std::as_const(files))
        PrintLine(stdout, QDir::toNativeSeparators(file));
    return 0;
}

// The lesson of "YYYY/MM/DD HH:MM" among the class's lessons.
SheetChoice ChooseLesson(QSqlDatabase db, const QString &classKey, const QString &lesson)
{
    const QStringList lines = CourseChoiceLines(db, classKey);
    if (lesson.isEmpty()) {
        throw UsageError{u"此班有 %1 堂課程，請以 --lesson \"YYYY/MM/DD HH:MM\" 指定 / "
                         "the class has %1 lessons: name one with --lesson"_s.arg(lines.size())};
    }
    const QStringList parts = lesson.simplified().split(u' ');
    const std::optional<QDate> date = parts.size() == 2 ? ReadStationDate(parts.at(0)) : std::nullopt;
    if (!date)
        throw UsageError{u"--lesson 須為 \"YYYY/MM/DD HH:MM\"：%1"_s.arg(lesson)};
    const QString start = QString(parts.at(1)).remove(u':');
    for (const QString &line : lines) {
        if (LessonDateOfLine(line) == *date && QString(LessonStartOfLine(line)).remove(u':') == start) {
            const CourseChoice choice = ChooseCourseLine(line, classKey, G().CourseNoLength);
            return {choice.Result, choice.LessonKey, choice.FullLessonKey};
        }
    }
    throw RolvanError(u"班別 %1 沒有 %2 的課程"_s.arg(classKey, lesson));
}

int Sheets(TDM &dm, const QStringList &positional, const QString &lesson, const QString &kinds,
           ProgressBar &bar)
{
    QList<SignSheetKind> wanted;
    for (const QString &kind : kinds.split(u',', Qt::SkipEmptyParts)) {
        if (kind == u"photo")
            wanted << SignSheetKind::Photo;
        else if (kind == u"simple")
            wanted << SignSheetKind::Simple;
        else if (kind == u"rollcall")
            wanted << SignSheetKind::RollCall;
        else
            throw UsageError{u"不明的表單種類 / unknown sheet kind: %1"_s.arg(kind)};
    }
    OpenWorking(dm);
    const QString classKey = RequireClass(dm, positional);
    G().CurrentClassKey = classKey;
    ReportOutputs outputs(dm);
    outputs.Activate();
    SheetChoice choice;
    if (SheetNeedsCourseChoice(dm.Con1(), classKey))
        choice = ChooseLesson(dm.Con1(), classKey, lesson);
    const ReportSettings settings = ReadReportSettings(dm.ConSample());
    const bool photoOn = ReadSheetPhotoOn();
    const auto places = [&outputs](const SheetData &d) { return SignSheetPlacesOf(outputs, d.RocSheetDate); };
    for (const SignSheetKind kind : std::as_const(wanted)) {
        const QString pp = kind == SignSheetKind::RollCall ? u"點名"_s : QString();
        const SignSheetOutput sheet = PrepareSignSheet(
            dm.Con1(), kind, classKey, choice, settings, photoOn, places, pp,
            [&bar](qsizetype done, qsizetype total) { bar.Show(u"簽到表 / sheets"_s, done, total); });
        bar.Finish();
        if (!sheet.Message.isEmpty())
            throw RolvanError(sheet.Message);
        ForceDirectoryPath(outputs.PdfDir);
        ExportReportPdf(sheet.Layout, sheet.PdfFileName);
        PrintLine(stdout, QDir::toNativeSeparators(sheet.PdfFileName));
    }
    return 0;
}

QString StationNumber()
{
    return ReadIniSetting(IniSection::Base, IniKey::StationNo, IniDefault::StationNo, IniDefault::StationNo);
}

int Export(TDM &dm, const QStringList &positional)
{
    OpenWorking(dm);
    const QString classKey = RequireClass(dm, positional);
    G().CurrentClassKey = classKey;
    QString pictureDir = ReadIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, QString(), QString());
    if (pictureDir.trimmed().isEmpty())
        pictureDir = ReadDataFolders().images;
    const QString rule = ReadIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, u"年月"_s, u"年月"_s);
    const SignEventTransfer::ExportResult result = SignEventTransfer::ExportEvents(
        dm.Con1(), StationNumber(), ClassNumberOfKey(classKey, G().CourseNoLength), classKey, G().CourseNoLength,
        pictureDir, rule);
    if (result.refused)
        throw RolvanError(SignEventTransfer::ExportRefused);
    PrintLine(stdout, QDir::toNativeSeparators(result.filePath));
    return 0;
}

int Import(TDM &dm, const QStringList &positional)
{
    const QString file = RequireOne(positional, u"匯入檔 (exchange file)"_s);
    if (!QFileInfo(file).isFile())
        throw RolvanError(u"找不到匯入檔 %1"_s.arg(QDir::toNativeSeparators(file)));
    OpenWorking(dm);
    const SignEventTransfer::ImportResult result
        = SignEventTransfer::ImportEvents(dm.Con1(), StationNumber(), file);
    if (result.refused)
        throw RolvanError(SignEventTransfer::ImportRefused);
    return 0;
}

struct Command
{
    QString name;
    QString syntax;
    QString description;
};

const QList<Command> &Commands()
{
    static const QList<Command> commands = {
        {u"backup"_s, QString(), u"立即備份工作資料庫（與備份轉換作業相同）/ back up the working database now"_s},
        {u"check"_s, QString(), u"檢查工作資料庫完整性 / integrity check of the working database"_s},
        {u"restore"_s, u"[backup]"_s, u"以備份還原工作資料庫（預設為最新通過檢查的備份；損毀的檔案另存，備份後的簽到退列出待補登；工作站執行中不可還原）/ restore the working database from a backup (the newest sound one by default; the damaged file is kept aside, later sign events are listed for re-entry; not while the station runs)"_s},
        {u"csv"_s, u"<class key>"_s, u"計算核定時數並產出班別的四個 CSV 檔（各附 Excel 活頁簿）/ hours run and the four CSV files of a class, each with its Excel workbook"_s},
        {u"sheets"_s, u"<class key> --lesson \"YYYY/MM/DD HH:MM\" [--kind ...]"_s, u"產出課程的三種簽到表 PDF / the three sign-in sheets of a lesson as PDF"_s},
        {u"export"_s, u"<class key>"_s, u"匯出班別的簽到退資料 / export the sign events of a class"_s},
        {u"import"_s, u"<file.tmp>"_s, u"匯入簽到退資料 / import an exchange file of sign events"_s},
        {u"to-shared"_s, QString(), u"把本機資料庫的全部資料複製到空白的共用資料庫（Rolvan.ini [Base] NetDB ...）/ copy the local database into an empty shared database"_s},
    };
    return commands;
}

QString CommandList()
{
    QString text = u"\n指令 / Commands:\n"_s;
    for (const Command &c : Commands())
        text += u"  %1\n      %2\n"_s.arg(QString(c.name + u' ' + c.syntax).trimmed(), c.description);
    text += u"\n結束代碼 / Exit status: 0 成功 success, 1 作業失敗 job failed, 2 參數錯誤 bad arguments.\n"_s;
    return text;
}

// The first argument that is not an option (nor the value of --home): the command.
QString CommandOf(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == u"--home" || a == u"--lesson" || a == u"--kind") {
            ++i;
            continue;
        }
        if (!a.startsWith(u'-'))
            return a;
    }
    return QString();
}

int Run(const QStringList &arguments)
{
    const QString command = CommandOf(arguments);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"講習教育 簽到退作業 命令列：備份、檢查、報表與簽到退資料交換。\n"
        "Rolvan command line: backup, check, reports and the exchange of sign events."_s);
    const QCommandLineOption helpOption(
        {u"h"_s, u"help"_s}, u"顯示說明 / show this help"_s);
    const QCommandLineOption versionOption({u"v"_s, u"version"_s}, u"顯示版本 / show the version"_s);
    const QCommandLineOption homeOption(
        u"home"_s, u"設定檔 Rolvan.ini 所在資料夾 / the station folder holding Rolvan.ini"_s, u"folder"_s);
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    parser.addOption(homeOption);
    QCommandLineOption lessonOption(
        u"lesson"_s, u"sheets：課程的日期與開始時間 / the lesson's date and start time"_s,
        u"YYYY/MM/DD HH:MM"_s);
    QCommandLineOption kindOption(
        u"kind"_s, u"sheets：photo,simple,rollcall（預設三種 / default all three）"_s, u"kinds"_s,
        u"photo,simple,rollcall"_s);
    parser.addOption(lessonOption);
    parser.addOption(kindOption);
    parser.addPositionalArgument(u"command"_s, u"指令 / command"_s, u"<command> [arguments]"_s);

    if (!parser.parse(arguments))
        throw UsageError{parser.errorText()};
    if (parser.isSet(helpOption)) {
        PrintLine(stdout, parser.helpText() + CommandList());
        return 0;
    }
    if (parser.isSet(versionOption)) {
        PrintLine(stdout, u"rolvanctl "_s + QCoreApplication::applicationVersion());
        return 0;
    }
    if (command.isEmpty())
        throw UsageError{u"缺少指令，請見 --help / no command, see --help"_s};
    bool known = false;
    for (const Command &c : Commands())
        known = known || c.name == command;
    if (!known)
        throw UsageError{u"不明的指令 / unknown command: %1"_s.arg(command)};
    QStringList positional = parser.positionalArguments();
    positional.removeFirst(); // the command

    if (parser.isSet(homeOption))
        qputenv("ROLVAN_HOME", QDir(parser.value(homeOption)).absolutePath().toLocal8Bit());

    Globals globals;
    SetGlobals(&globals);
    globals.ExeDir = ResolveExeDir(QCoreApplication::applicationDirPath());
    globals.ProgramDir = ResolveProgramDir(QCoreApplication::applicationDirPath());
    ReadStationGlobals(globals);
    ConsolePrompter prompter;
    SetCurrentPrompter(&prompter);
    TDM dm(globals);
    ProgressBar bar;

    int result = ExitFailed;
    if (command == u"backup") {
        if (!positional.isEmpty())
            throw UsageError{u"backup 不需參數 / backup takes no arguments"_s};
        result = Backup(dm, bar);
    } else if (command == u"check") {
        if (!positional.isEmpty())
            throw UsageError{u"check 不需參數 / check takes no arguments"_s};
        result = Check();
    } else if (command == u"restore") {
        result = Restore(positional);
    } else if (command == u"csv") {
        result = Csv(dm, positional, bar);
    } else if (command == u"sheets") {
        result = Sheets(dm, positional, parser.value(lessonOption), parser.value(kindOption), bar);
    } else if (command == u"export") {
        result = Export(dm, positional);
    } else if (command == u"import") {
        result = Import(dm, positional);
    } else if (command == u"to-shared") {
        if (!positional.isEmpty())
            throw UsageError{u"to-shared 不需參數 / to-shared takes no arguments"_s};
        result = ToShared(dm);
    }
    SetCurrentPrompter(nullptr);
    return result;
}

// Qt's own notes (a missing XDG_RUNTIME_DIR under cron, font look-ups) would break the one line
// of a failure: they are shown only with ROLVAN_VERBOSE set.
void QuietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg || qEnvironmentVariableIsSet("ROLVAN_VERBOSE"))
        PrintLine(stderr, qFormatLogMessage(type, context, message));
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(QuietMessages);
    // The sheets are painted into PDF files, which needs fonts: a GUI application without a
    // screen (offscreen unless a platform is named), so that cron can run it.
    bool sheets = false;
    for (int i = 1; i < argc; ++i)
        sheets = sheets || qstrcmp(argv[i], "sheets") == 0;
    std::unique_ptr<QCoreApplication> app;
    if (sheets) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        // The sheets ask for "標楷體"; without the mapping fontconfig picks the simplified Kai.
        QFont::insertSubstitution(u"標楷體"_s, u"AR PL UKai TW"_s);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(u"rolvanctl"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(ROLVAN_VERSION_TEXT));
    try {
        return Run(QCoreApplication::arguments());
    } catch (const UsageError &e) {
        PrintLine(stderr, u"rolvanctl: "_s + OneLine(e.message));
        return ExitUsage;
    } catch (const SilentAbort &) {
        PrintLine(stderr, u"rolvanctl: 作業已取消 / cancelled"_s);
    } catch (const RolvanError &e) {
        PrintLine(stderr, u"rolvanctl: "_s + OneLine(e.message()));
    } catch (const std::exception &e) {
        PrintLine(stderr, u"rolvanctl: "_s + OneLine(QString::fromLocal8Bit(e.what())));
    }
    return ExitFailed;
}

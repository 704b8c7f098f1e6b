#include "Fun/VersionInfo.h"
#include "admin/VersionUpdate.h"
#include "app/StandardWindows.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Prompter.h"
#include "platform/QtSoundPlayer.h"
#include "platform/SingleInstance.h"
#include "platform/WidgetPrompter.h"
#include "station/ClockSync.h"
#include "station/TFmRolvan.h"

#include <QApplication>
#include <QProcess>
#include <QDir>
#include <QFont>
#include <QLocale>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

// Exceptions must not cross the event loop: an action that fails shows its error and the
// program keeps running.
class RolvanApplication final : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const SilentAbort &) {
        } catch (const RolvanError &e) {
            CurrentPrompter().ShowError(e.message());
        } catch (const std::exception &e) {
            CurrentPrompter().ShowError(QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

void SetFonts()
{
    // The sheets ask for "標楷體"; without the mapping fontconfig picks the simplified Kai.
    QFont::insertSubstitution(QStringLiteral("標楷體"), QStringLiteral("AR PL UKai TW"));
    QFont font(QStringLiteral("Noto Sans CJK TC"));
    font.setPointSize(10);
    QApplication::setFont(font);
}

// A screenshot of the screen for a person to look at (scripts/screenshot), then the end.
void ScheduleScreenshot()
{
    const QString path = qEnvironmentVariable("ROLVAN_SCREENSHOT");
    if (path.isEmpty())
        return;
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("ROLVAN_SCREENSHOT_DELAY", &ok);
    if (!ok)
        delay = 3000;
    QTimer::singleShot(delay, qApp, [path] {
        if (QScreen *screen = QGuiApplication::primaryScreen())
            screen->grabWindow(0).save(path, "PNG");
        QCoreApplication::exit(0);
    });
}

// "--version" prints the compiled version and ends: no window, no display, no file is made.
// The updater asks it of a new station before it keeps it.
bool AskedForVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (AskedForVersion(argc, argv)) {
        std::fputs((GetOwnVersionText() + QStringLiteral("\n")).toLatin1().constData(), stdout);
        return 0;
    }

    RolvanApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rolvan"));
    // No application display name: the desktop would append it to every window's caption.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Globals globals;
    SetGlobals(&globals);

    // One station per desktop user: a second start wakes the first and ends.
    SingleInstance instance(globals.ProgramName);
    if (instance.WakeRunningInstance())
        return 0;
    instance.Listen();

    globals.ExeDir = ResolveExeDir(QCoreApplication::applicationDirPath());
    globals.ProgramDir = ResolveProgramDir(QCoreApplication::applicationDirPath());
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
    SetFonts();

    WidgetPrompter prompter;
    prompter.setTitle(QStringLiteral("講習教育 簽到退作業"));
    SetCurrentPrompter(&prompter);
    QtSoundPlayer sounds;
    SetCurrentSoundPlayer(&sounds);

    TDM dm(globals);
    TFmRolvan mainWindow(dm, StandardWindowOpeners());
    prompter.setParentWindow(&mainWindow);
    // The station keeps its clock right at each activation and from its one-second timer.
    ClockSync clockSync(mainWindow.station(), dm);
    mainWindow.SetClockSync(&clockSync);
    QObject::connect(&instance, &SingleInstance::wakeRequested, &mainWindow, &TFmRolvan::WakeUp);

    mainWindow.show();
    ScheduleScreenshot();
    const int result = app.exec();
    mainWindow.SetClockSync(nullptr);
    SetCurrentSoundPlayer(nullptr);
    SetCurrentPrompter(nullptr);
    // An unpacked update: the updater takes over once this process is gone.
    if (const auto launch = TakePendingUpdaterLaunch())
        QProcess::startDetached(launch->program, launch->arguments, launch->workingFolder);
    return result;
}

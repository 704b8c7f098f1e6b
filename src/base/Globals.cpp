#include "base/Globals.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
Globals *g_globals = nullptr;
}

Globals &G()
{
    if (!g_globals) {
        static Globals fallback;
        g_globals = &fallback;
    }
    return *g_globals;
}

void SetGlobals(Globals *globals) { g_globals = globals; }

namespace {

QString WithSeparator(const QString &folder)
{
    QString dir = QDir::toNativeSeparators(QDir(folder).absolutePath());
    if (!dir.endsWith(QDir::separator()))
        dir += QDir::separator();
    return dir;
}

} // namespace

QString PerUserHome()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("rolvan"));
}

QString ResolveExeDir(const QString &applicationDirPath)
{
    const QString home = qEnvironmentVariable("ROLVAN_HOME");
    if (!home.isEmpty())
        return WithSeparator(home);
    if (QFileInfo::exists(QDir(applicationDirPath).filePath(InstalledMarkerFileName))) {
        const QString perUser = PerUserHome();
        QDir().mkpath(perUser);
        return WithSeparator(perUser);
    }
    return WithSeparator(applicationDirPath);
}

QString ResolveProgramDir(const QString &applicationDirPath)
{
    const QString home = qEnvironmentVariable("ROLVAN_HOME");
    const Globals defaults;
    if (!home.isEmpty() && QFileInfo::exists(QDir(home).filePath(defaults.SampleDbFileName)))
        return WithSeparator(home);
    return WithSeparator(applicationDirPath);
}

QString DefaultDataRoot()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\RolvanDAP");
#else
    return QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/RolvanDAP"));
#endif
}

QString JoinPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

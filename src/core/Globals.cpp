#include "core/Globals.h"

#include <QDir>

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

QString ResolveExeDir(const QString &applicationDirPath)
{
    QString dir = qEnvironmentVariable("ROLVAN_HOME");
    if (dir.isEmpty())
        dir = applicationDirPath;
    dir = QDir::toNativeSeparators(QDir(dir).absolutePath());
    if (!dir.endsWith(QDir::separator()))
        dir += QDir::separator();
    return dir;
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

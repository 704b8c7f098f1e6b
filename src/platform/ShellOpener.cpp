#include "platform/ShellOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

class DesktopShellOpener final : public ShellOpener
{
public:
    bool OpenPath(const QString &path) override
    {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
};

ShellOpener *g_opener = nullptr;

} // namespace

ShellOpener &CurrentShellOpener()
{
    static DesktopShellOpener desktop;
    return g_opener ? *g_opener : desktop;
}

void SetCurrentShellOpener(ShellOpener *opener) { g_opener = opener; }

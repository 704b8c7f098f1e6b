#include "net/UrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

class DesktopUrlOpener final : public UrlOpener
{
public:
    bool Open(const QString &url) override { return QDesktopServices::openUrl(QUrl(url)); }
};

UrlOpener *g_opener = nullptr;

} // namespace

UrlOpener &CurrentUrlOpener()
{
    static DesktopUrlOpener desktop;
    return g_opener ? *g_opener : desktop;
}

void SetCurrentUrlOpener(UrlOpener *opener) { g_opener = opener; }

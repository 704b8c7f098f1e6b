#include "admin/TFm_Help.h"

#include "core/Globals.h"
#include "core/TDM.h"

TFm_Help::TFm_Help(TDM &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
{
    setObjectName(QStringLiteral("Fm_Help"));
}

void TFm_Help::ShowHelp(TDM &dm, const QString &helpName, const QString &subject, QWidget *parent)
{
    G().HelpName = helpName;
    dm.vString = subject;
    TFm_Help help(dm, parent);
    help.exec();
}

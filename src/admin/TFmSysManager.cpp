#include "admin/TFmSysManager.h"

#include "Fun/FormGeometryWidget.h"
#include "Fun/FormHelpers.h"
#include "Fun/SettingKeys.h"
#include "admin/AdminPassword.h"
#include "admin/TPasswordDlg.h"
#include "admin/TfmDBPath.h"
#include "admin/TfmUpdate.h"
#include "admin/TfrmCopyTable.h"
#include "platform/ErrorReport.h"

#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TFmSysManager::TFmSysManager(TDM &dm, QWidget *parent)
    : QDialog(parent), m_dm(dm)
{
    setObjectName(u"FmSysManager"_s);
    setWindowTitle(u"系統管理作業"_s);

    BitBtn1 = MakeButton(this, u"BitBtn1"_s, u"系統設定"_s);
    BitBtn1->setToolTip(u"權限9才有系統設定權限"_s);
    BitBtn2 = MakeButton(this, u"BitBtn2"_s, u"資料庫備份"_s);
    BitBtn3 = MakeButton(this, u"BitBtn3"_s, u"版本更新偵測"_s);
    BitBtn4 = MakeButton(this, u"BitBtn4"_s, u"結束"_s);

    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    auto *column = new QVBoxLayout(this);
    column->addStretch(1);
    for (QPushButton *button : {BitBtn1, BitBtn2, BitBtn3, BitBtn4}) {
        button->setFont(big);
        button->setFixedSize(260, 64);
        column->addWidget(button, 0, Qt::AlignHCenter);
        column->addSpacing(12);
    }
    column->addStretch(1);

    connect(BitBtn1, &QPushButton::clicked, this, &TFmSysManager::SettingsClick);
    connect(BitBtn2, &QPushButton::clicked, this, &TFmSysManager::BackupClick);
    connect(BitBtn3, &QPushButton::clicked, this, &TFmSysManager::VersionCheckClick);
    connect(BitBtn4, &QPushButton::clicked, this, &TFmSysManager::reject);

    const FormSizeDefault::Geometry &g = FormSizeDefault::FmSysManager;
    RestoreFormGeometry(this, g.top, g.left, g.width, g.height);
}

void TFmSysManager::done(int result)
{
    SaveFormGeometry(this);
    QDialog::done(result);
}

void TFmSysManager::SettingsClick()
{
    TfmDBPath settings(m_dm, this);
    settings.exec();
}

void TFmSysManager::BackupClick()
{
    TfrmCopyTable backup(m_dm, this);
    backup.exec();
}

bool OpenAdministration(TDM &dm, QWidget *parent, bool askPassword)
{
    if (askPassword) {
        const QString stored = ReadAdminPassword();
        if (!stored.isEmpty() && !TPasswordDlg::AskPassword(stored, parent))
            return false;
    }
    TFmSysManager menu(dm, parent);
    menu.exec();
    return true;
}

void TFmSysManager::VersionCheckClick()
{
    TfmUpdate update(this);
    update.exec();
}

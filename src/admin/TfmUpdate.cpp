#include "admin/TfmUpdate.h"

#include "Fun/FormGeometryWidget.h"
#include "Fun/FormHelpers.h"
#include "Fun/SettingKeys.h"
#include "Fun/VersionInfo.h"
#include "admin/UpdateFiles.h"
#include "admin/VersionUpdate.h"
#include "base/Globals.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TfmUpdate::TfmUpdate(QWidget *parent)
    : QDialog(parent)
    , m_programFolder(QCoreApplication::applicationDirPath())
{
    setObjectName(u"fmUpdate"_s);
    m_currentVersion = G().ExeVersion.isEmpty() ? GetOwnVersionText() : G().ExeVersion;

    Label1 = new QLabel(u"訊息"_s, this);
    Label1->setObjectName(u"Label1"_s);
    Label1->setWordWrap(true);
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(u"ProgressBar1"_s);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    BitBtn1 = MakeButton(this, u"BitBtn1"_s, u"下載更新"_s);
    BitBtn2 = MakeButton(this, u"BitBtn2"_s, u"系統管理程式壓縮"_s);
    BitBtn3 = MakeButton(this, u"BitBtn3"_s, u"結束"_s);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn3);
    auto *column = new QVBoxLayout(this);
    column->addWidget(Label1);
    column->addWidget(ProgressBar1);
    column->addStretch(1);
    column->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TfmUpdate::DownloadUpdateClick);
    connect(BitBtn2, &QPushButton::clicked, this, &TfmUpdate::PackProgramClick);
    connect(BitBtn3, &QPushButton::clicked, this, &TfmUpdate::reject);

    m_endStation = [] { QTimer::singleShot(0, qApp, [] { QApplication::closeAllWindows(); }); };

    const FormSizeDefault::Geometry &g = FormSizeDefault::fmUpdate;
    RestoreFormGeometry(this, g.top, g.left, g.width, g.height);
}

TfmUpdate::~TfmUpdate() = default;

void TfmUpdate::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Once per opening: a message box closed over the window must not start another check.
    QTimer::singleShot(0, this, &TfmUpdate::FormActivate);
}

void TfmUpdate::done(int result)
{
    if (m_update && m_update->client().busy())
        m_update->client().cancel();
    SaveFormGeometry(this);
    QDialog::done(result);
}

void TfmUpdate::ShowLine(const QString &text)
{
    Label1->setText(text);
    Label1->repaint();
}

void TfmUpdate::FormActivate()
{
    BitBtn1->setVisible(false);
    ProgressBar1->setVisible(false);
    BitBtn2->setVisible(G().DesignerMode);
    setWindowTitle(u" 版本更新作業      使用中版本::"_s + m_currentVersion);
    m_update = std::make_unique<VersionUpdate>(UpdateSettings::FromIni(), m_currentVersion);

    const QString lastFailure = m_update->TakeUpdaterFailure();
    if (!lastFailure.isEmpty())
        CurrentPrompter().ShowError(u"上次版本更新未完成：%1"_s.arg(lastFailure));
    if (G().DesignerMode)
        return;

    ShowLine(u"版本偵測中..."_s);
    const UpdateCheck check = m_update->Check();
    switch (check.result) {
    case UpdateCheck::Result::Newer:
        ShowLine(u"最新版本:"_s + check.offered);
        BitBtn1->setVisible(true);
        break;
    case UpdateCheck::Result::UpToDate:
        ShowLine(u"已經是最新版本"_s);
        break;
    case UpdateCheck::Result::HttpError:
        CurrentPrompter().ShowError(QString::number(check.status));
        CurrentPrompter().ShowError(check.errorText);
        CurrentPrompter().ShowError(check.replyText);
        ShowLine(u"網路連結失敗"_s);
        break;
    case UpdateCheck::Result::Failed:
        CurrentPrompter().ShowError(check.errorText);
        ShowLine(u"網路連結失敗"_s);
        break;
    }
}

void TfmUpdate::DownloadUpdateClick()
{
    BitBtn1->setVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    const UpdateStep step = m_update->Download([this](int percent) {
        ShowLine(u"%1％"_s.arg(percent));
        ProgressBar1->setValue(percent);
    });
    if (!step.ok()) {
        ShowLine(step.error);
        CurrentPrompter().ShowError(step.error);
        return;
    }
    Install();
}

void TfmUpdate::Install()
{
    auto stop = [this](const QString &why) {
        ShowLine(why);
        CurrentPrompter().ShowError(why);
    };

    ShowLine(u"資料解壓作業"_s);
    QString newVersion;
    UpdateStep step = m_update->Unpack(&newVersion);
    if (!step.ok())
        return stop(step.error);

    ShowLine(u"系統程式複製作業"_s);
    step = VersionUpdate::CheckProgramFolder(m_programFolder, G().ExeDir);
    if (step.ok())
        step = m_update->PlaceUpdater(m_programFolder);
    if (!step.ok())
        return stop(step.error);

    SetPendingUpdaterLaunch(m_update->MakeLaunch(
        m_programFolder, newVersion, QCoreApplication::applicationPid(), true));
    ShowLine(u"程式即將結束，更新為版本 %1 後重新啟動"_s.arg(newVersion));
    m_endStation();
}

void TfmUpdate::PackProgramClick()
{
    const QString workFolder = UpdateSettings::FromIni().workFolder;
    const QDir programFolder(m_programFolder);
    PackageSources sources;
    sources.programFile = programFolder.filePath(UpdateFiles::ProgramFileName());
    sources.updaterFile = programFolder.filePath(UpdateFiles::UpdaterFileName());
    sources.templateFile = G().samplePath();
    ShowLine(u"系統管理程式壓縮中..."_s);
    QString package;
    const UpdateStep step = VersionUpdate::BuildPackage(sources, workFolder, &package);
    if (!step.ok()) {
        ShowLine(step.error);
        CurrentPrompter().ShowError(step.error);
        return;
    }
    ShowLine(QDir::toNativeSeparators(package));
}

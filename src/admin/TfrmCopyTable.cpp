#include "admin/TfrmCopyTable.h"

#include "Fun/FormHelpers.h"
#include "admin/DatabaseConversion.h"
#include "admin/JetStaging.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

} // namespace

TfrmCopyTable::TfrmCopyTable(TDM &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
{
    setObjectName(u"frmCopyTable"_s);
    setWindowTitle(u"資料庫資料表轉換作業"_s);
    setModal(true);

    Label1 = Named(new QLabel(u"當資料庫版本不一致時 系統會要求進行資料庫轉換作業 "_s, this), u"Label1"_s);
    QFont heading = Label1->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.15);
    Label1->setFont(heading);
    Label2 = Named(new QLabel(u"資料重整時會順便備份 備份檔名如下："_s, this), u"Label2"_s);
    Label3 = Named(new QLabel(u"yyyymmddhhmmss  檔名格式"_s, this), u"Label3"_s);
    Label4 = Named(new QLabel(u"備份檔名："_s, this), u"Label4"_s);
    Edit1 = Named(new QLineEdit(this), u"Edit1"_s);
    Label5 = Named(new QLabel(u"備份目錄："_s, this), u"Label5"_s);
    Edit2 = Named(new QLineEdit(this), u"Edit2"_s);
    Label4->setBuddy(Edit1);
    Label5->setBuddy(Edit2);
    CheckBox1 = Named(new QCheckBox(u"備份不轉換"_s, this), u"CheckBox1"_s);
    CheckBox1->setChecked(true);
    BitBtn1 = Named(new QPushButton(u"開始備份"_s, this), u"BitBtn1"_s);
    BitBtn2 = Named(new QPushButton(u"取消"_s, this), u"BitBtn2"_s);
    BitBtn1->setDefault(true);
    BitBtn1->setMinimumWidth(120);
    BitBtn2->setMinimumWidth(90);
    Label6 = Named(new QLabel(this), u"Label6"_s);
    Label7 = Named(new QLabel(this), u"Label7"_s);
    // Long lines are cut at the window's edge rather than widening it.
    Label6->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Label7->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ProgressBar1 = Named(new QProgressBar(this), u"ProgressBar1"_s);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    LabelJet = Named(new QLabel(this), u"LabelJet"_s);
    LabelJet->setWordWrap(true);
    LabelShared = Named(new QLabel(this), u"LabelShared"_s);
    LabelShared->setWordWrap(true);
    MemoSummary = Named(new QPlainTextEdit(this), u"MemoSummary"_s);
    MemoSummary->setReadOnly(true);
    // The summary of a usual old database (about ten tables) shows without scrolling.
    MemoSummary->setMinimumHeight(MemoSummary->fontMetrics().lineSpacing() * 12);
    for (QWidget *status : { static_cast<QWidget *>(Label6), static_cast<QWidget *>(Label7),
                             static_cast<QWidget *>(ProgressBar1), static_cast<QWidget *>(LabelJet),
                             static_cast<QWidget *>(LabelShared), static_cast<QWidget *>(MemoSummary) })
        status->setVisible(false);

    auto *names = new QGridLayout;
    names->addWidget(Label4, 0, 0);
    names->addWidget(Edit1, 0, 1);
    names->addWidget(Label5, 1, 0);
    names->addWidget(Edit2, 1, 1);
    names->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox1);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addSpacing(6);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addWidget(LabelJet);
    layout->addWidget(LabelShared);
    layout->addSpacing(6);
    layout->addLayout(names);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->addSpacing(6);
    layout->addWidget(Label6);
    layout->addWidget(Label7);
    layout->addWidget(ProgressBar1);
    layout->addWidget(MemoSummary, 1);
    layout->addStretch(1);
    setMinimumWidth(560);

    connect(CheckBox1, &QCheckBox::toggled, this, &TfrmCopyTable::CheckBox1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmCopyTable::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmCopyTable::BitBtn2Click);
}

void TfrmCopyTable::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        FormActivate();
    }
}

void TfrmCopyTable::FormActivate()
{
    GuardAction([this] {
        m_shared = DatabaseConversion::SharedDatabaseInUse();
        Edit1->setText(m_shared ? SharedDatabaseBackup::BackupFileName(CurrentClock().now())
                                : DatabaseConversion::BackupFileName(CurrentClock().now()));
        Edit2->setText(DatabaseConversion::BackupFolder());
        // The shared database is never made from a local old database.
        if (!m_shared)
            m_jetPath = JetStaging::WaitingJetDatabase(DatabaseConversion::DataFolder());
    });
    if (m_shared)
        ShowSharedMode();
    if (!m_jetPath.isEmpty()) {
        ShowJetMode();
        // Asked once the window is on the screen, so that the progress shows in it.
        QTimer::singleShot(0, this, &TfrmCopyTable::OfferJetConversion);
    }
}

void TfrmCopyTable::ShowJetMode()
{
    // Nothing to back up: the old file itself stays as it is.
    for (QWidget *backup : { static_cast<QWidget *>(Label2), static_cast<QWidget *>(Label3),
                             static_cast<QWidget *>(Label4), static_cast<QWidget *>(Edit1),
                             static_cast<QWidget *>(Label5), static_cast<QWidget *>(Edit2),
                             static_cast<QWidget *>(CheckBox1) })
        backup->setVisible(false);
    LabelJet->setText(u"發現舊版資料庫："_s + QDir::toNativeSeparators(m_jetPath)
                      + u"\n轉換後產生新的資料庫 Quorin.db，舊版資料庫檔案保留不變。"_s);
    LabelJet->setVisible(true);
    BitBtn1->setText(u"開始轉換"_s);
}

void TfrmCopyTable::ShowSharedMode()
{
    Label1->setText(u"共用資料庫備份"_s);
    Label2->setText(u"目前使用共用資料庫（useNetDB）：以 pg_dump 備份整個共用資料庫，備份檔名如下："_s);
    Label3->setText(u"yyyymmddhhmmss  檔名格式（PostgreSQL 自訂格式，以 pg_restore 還原）"_s);
    LabelShared->setText(u"共用資料庫不做轉換：它的資料表由簽到電腦連線時建立，轉換只處理本機的資料庫檔案。"_s);
    LabelShared->setVisible(true);
    CheckBox1->setChecked(true);
    CheckBox1->setEnabled(false);
}

void TfrmCopyTable::OfferJetConversion()
{
    if (m_jetPath.isEmpty() || m_running || m_jetDone)
        return;
    const Prompter::Button answer = CurrentPrompter().MessageDlgCaptions(
        JetStaging::OfferText(), { { Prompter::Button::Yes, u"是"_s }, { Prompter::Button::No, u"否"_s } });
    if (answer == Prompter::Button::Yes)
        RunJetConversion();
}

void TfrmCopyTable::SetInputsEnabled(bool enabled)
{
    for (QWidget *input : { static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Edit2),
                            static_cast<QWidget *>(CheckBox1), static_cast<QWidget *>(BitBtn1),
                            static_cast<QWidget *>(BitBtn2) })
        input->setEnabled(enabled);
}

void TfrmCopyTable::RunJetConversion()
{
    Label6->clear();
    Label7->clear();
    ProgressBar1->setValue(0);
    Label6->setVisible(true);
    Label7->setVisible(true);
    ProgressBar1->setVisible(true);
    layout()->activate();
    m_running = true;
    SetInputsEnabled(false);

    DatabaseConversion::JetResult result;
    const bool done = GuardAction([&] {
        DatabaseConversion conversion(m_dm);
        conversion.setProgressCallback([this](const ConversionProgress &p) { ShowProgress(p); });
        result = conversion.RunFromJet(m_jetPath, DatabaseConversion::DefaultOptions());
    });

    m_running = false;
    SetInputsEnabled(true);
    if (!done)
        return;
    m_jetDone = true;
    QStringList lines = { u"舊版資料庫轉換完成，共讀取 "_s + QString::number(result.staging.rowsRead())
                          + u" 筆，略過 "_s + QString::number(result.staging.rowsSkipped()) + u" 筆。"_s };
    lines.append(result.staging.summaryLines());
    MemoSummary->setPlainText(lines.join(u'\n'));
    MemoSummary->setVisible(true);
    BitBtn1->setVisible(false);
    BitBtn2->setText(u"關閉"_s);
    BitBtn2->setDefault(true);
    adjustSize();
}

void TfrmCopyTable::CheckBox1Click()
{
    BitBtn1->setText(CheckBox1->isChecked() ? u"開始備份"_s : u"開始備份轉換"_s);
}

void TfrmCopyTable::ShowProgress(const ConversionProgress &progress)
{
    Label6->setText(progress.tableLine);
    Label7->setText(progress.rowLine);
    ProgressBar1->setValue(progress.percent);
    emit progressShown(progress.tableLine, progress.rowLine, progress.percent);
    // Only these are redrawn as the work goes on: no other event (a click, a key, another
    // window's timer reaching for the closed working connection) runs until it is done.
    Label6->repaint();
    Label7->repaint();
    ProgressBar1->repaint();
}

void TfrmCopyTable::BitBtn1Click()
{
    if (m_running)
        return;
    if (!m_jetPath.isEmpty()) {
        if (!m_jetDone)
            RunJetConversion();
        return;
    }
    Label6->clear();
    Label7->clear();
    ProgressBar1->setValue(0);
    Label6->setVisible(true);
    Label7->setVisible(true);
    ProgressBar1->setVisible(true);
    layout()->activate();

    const bool backupOnly = CheckBox1->isChecked();
    m_running = true;
    for (QWidget *input : { static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Edit2),
                            static_cast<QWidget *>(CheckBox1), static_cast<QWidget *>(BitBtn1),
                            static_cast<QWidget *>(BitBtn2) })
        input->setEnabled(false);

    DatabaseConversion::Result result;
    const bool done = GuardAction([&] {
        DatabaseConversion conversion(m_dm);
        conversion.setProgressCallback([this](const ConversionProgress &p) { ShowProgress(p); });
        DatabaseConversion::Options options = DatabaseConversion::DefaultOptions();
        options.backupFileName = Edit1->text();
        options.backupFolder = Edit2->text();
        options.backupOnly = backupOnly;
        result = conversion.Run(options);
    });

    m_running = false;
    for (QWidget *input : { static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Edit2),
                            static_cast<QWidget *>(CheckBox1), static_cast<QWidget *>(BitBtn1),
                            static_cast<QWidget *>(BitBtn2) })
        input->setEnabled(true);
    CheckBox1->setEnabled(!m_shared);
    if (!done)
        return;
    if (m_shared)
        CurrentPrompter().ShowMessage(u"共用資料庫備份完成，備份檔：\n"_s
                                      + QDir::toNativeSeparators(result.backupPath));
    else if (backupOnly)
        CurrentPrompter().ShowMessage(u"備份完成"_s);
    accept();
}

void TfrmCopyTable::BitBtn2Click()
{
    if (m_jetDone) {
        accept();
        return;
    }
    reject();
}

void TfrmCopyTable::reject()
{
    if (m_running)
        return;
    if (m_jetDone) { // the old database was converted: the work is done, whichever way it closes
        QDialog::accept();
        return;
    }
    QDialog::reject();
}

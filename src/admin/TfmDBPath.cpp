#include "admin/TfmDBPath.h"

#include "core/DbFunctions.h"
#include "Fun/FormHelpers.h"
#include "dialogs/TFm_Help.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScopeGuard>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel *Caption(const QString &text, QWidget *parent)
{
    return new QLabel(text, parent);
}

// A short numeric field that sits inside a sentence.
QLineEdit *ShortEdit(const QString &name, QWidget *parent, int maxLength = 0)
{
    auto *edit = Named(new QLineEdit(parent), name);
    edit->setFixedWidth(52);
    edit->setAlignment(Qt::AlignCenter);
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    return edit;
}

// Shows the value in the drop-down list; a stored value that is not in the list is added so
// that saving keeps it. Blanks at the ends do not count ("Win 8 " is stored as "Win 8").
void ShowInList(QComboBox *box, const QString &value)
{
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i).trimmed() == value.trimmed()) {
            box->setCurrentIndex(i);
            return;
        }
    }
    if (!value.isEmpty())
        box->addItem(value);
    box->setCurrentIndex(box->count() - 1);
}

} // namespace

TfmDBPath::TfmDBPath(TDM &dm, QWidget *parent)
    : QDialog(parent), m_dm(dm)
{
    setObjectName(u"fmDBPath"_s);
    setWindowTitle(u"系統設定"_s);
    CreateComponents();
    resize(980, 710);
}

void TfmDBPath::CreateComponents()
{
    PageControl1 = Named(new QTabWidget(this), u"PageControl1"_s);
    PageControl1->tabBar()->setStyleSheet(u"QTabBar::tab { height: 40px; width: 200px; }"_s);
    TabSheet1 = CreateGeneralPage();
    TabSheet2 = CreateScriptPage();
    TabSheet3 = CreateNetDbPage();
    PageControl1->addTab(TabSheet1, u"一般設定"_s);
    PageControl1->addTab(TabSheet2, u"指令執行"_s);
    PageControl1->addTab(TabSheet3, u"共用資料庫"_s);

    BitBtn1 = Named(new QPushButton(u"儲存設定"_s, this), u"BitBtn1"_s);
    BitBtn15 = Named(new QPushButton(u"說明"_s, this), u"BitBtn15"_s);
    BitBtn2 = Named(new QPushButton(u"離開"_s, this), u"BitBtn2"_s);
    for (QPushButton *button : {BitBtn1, BitBtn15, BitBtn2}) {
        button->setAutoDefault(false);
        button->setMinimumSize(120, 36);
    }

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn15);
    buttons->addWidget(BitBtn2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TfmDBPath::SaveSettingsClick);
    connect(BitBtn15, &QPushButton::clicked, this, &TfmDBPath::HelpClick);
    connect(BitBtn2, &QPushButton::clicked, this, &TfmDBPath::reject);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TfmDBPath::PageControl1Change);
}

QWidget *TfmDBPath::CreateGeneralPage()
{
    auto *page = Named(new QWidget, u"TabSheet1"_s);
    auto *left = new QVBoxLayout;
    left->addWidget(CreateUnitGroup(page));
    left->addWidget(CreatePathGroup(page));
    left->addWidget(CreateAddressGroup(page));
    left->addWidget(CreateCardGroup(page));
    left->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(CreateRuleGroup(page));
    right->addWidget(CreatePeriodGroup(page));
    right->addWidget(CreateInputGroup(page));
    right->addStretch();
    auto *columns = new QHBoxLayout(page);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    return page;
}

// The organisation and the station.
QWidget *TfmDBPath::CreateUnitGroup(QWidget *page)
{
    auto *unit = Named(new QGroupBox(u"單位資料"_s, page), u"GroupBox1"_s);
    auto *unitForm = new QFormLayout(unit);
    EditCompanyID = Named(new QLineEdit(unit), u"EditCompanyID"_s);
    EditSYSID = Named(new QLineEdit(unit), u"EditSYSID"_s);
    EditCompany = Named(new QLineEdit(unit), u"EditCompany"_s);
    EditDoor = ShortEdit(u"EditDoor"_s, unit, 2);
    LabelPassword = Named(Caption(u"系統管理密碼："_s, unit), u"LabelPassword"_s);
    Password = Named(new QLineEdit(unit), u"Password"_s);
    Password->setEchoMode(QLineEdit::Password);
    unitForm->addRow(Caption(u"單位代碼或統編："_s, unit), EditCompanyID);
    unitForm->addRow(Caption(u"委託代訓編號："_s, unit), EditSYSID);
    unitForm->addRow(Caption(u"單位名稱："_s, unit), EditCompany);
    unitForm->addRow(Caption(u"電腦編號    01,02,03"_s, unit), EditDoor);
    unitForm->addRow(LabelPassword, Password);
    // The password is kept as stored: this window does not change it.
    LabelPassword->hide();
    Password->hide();
    unitForm->setRowVisible(Password, false);
    return unit;
}

// The folders of the data, backups and audit files.
QWidget *TfmDBPath::CreatePathGroup(QWidget *page)
{
    auto *paths = Named(new QGroupBox(u"路徑設定"_s, page), u"GroupBox2"_s);
    auto *pathGrid = new QGridLayout(paths);
    auto folderButton = [paths](const QString &name) {
        auto *button = Named(new QToolButton(paths), name);
        button->setText(u"…"_s);
        button->setToolTip(u"選擇目錄"_s);
        return button;
    };
    Edit1 = Named(new QLineEdit(paths), u"Edit1"_s);
    Edit1->setEnabled(false);
    SpeedButton2 = folderButton(u"SpeedButton2"_s);
    Edit5 = Named(new QLineEdit(paths), u"Edit5"_s);
    Edit5->setEnabled(false);
    SpeedButton3 = folderButton(u"SpeedButton3"_s);
    Edit24 = Named(new QLineEdit(paths), u"Edit24"_s);
    Edit24->setEnabled(false);
    SpeedButton1 = folderButton(u"SpeedButton1"_s);
    Edit2 = Named(new QLineEdit(paths), u"Edit2"_s);
    SpeedButton4 = folderButton(u"SpeedButton4"_s);
    ComboBox6 = Named(new QComboBox(paths), u"ComboBox6"_s);
    ComboBox6->addItems(StationSettingsForm::DriveLetters());
    auto *databaseName =
        Named(Caption(G().DbFileName, paths), u"LabelDbName"_s);
    auto *csvCaption = Caption(u"終身學習匯出"_s, paths);

    pathGrid->addWidget(Caption(u"路徑設定(本機資料庫)"_s, paths), 0, 0);
    pathGrid->addWidget(Edit1, 0, 1);
    pathGrid->addWidget(SpeedButton2, 0, 2);
    // With the shared database the data is on the server: the folder stays shown, with a word
    // that it does not decide where the data is.
    LabelNetDbFolder = Named(Caption(u"※ 使用共用資料庫：資料在伺服器上，不在此目錄"_s, paths),
                             u"LabelNetDbFolder"_s);
    LabelNetDbFolder->setStyleSheet(u"color: #a04000;"_s);
    LabelNetDbFolder->hide();
    auto *driveRow = new QHBoxLayout;
    driveRow->addWidget(ComboBox6);
    driveRow->addWidget(databaseName);
    driveRow->addStretch();
    pathGrid->addLayout(driveRow, 1, 1);
    pathGrid->addWidget(LabelNetDbFolder, 2, 0, 1, 3);
    pathGrid->addWidget(Caption(u"備份資料"_s, paths), 3, 0);
    pathGrid->addWidget(Edit5, 3, 1);
    pathGrid->addWidget(SpeedButton3, 3, 2);
    pathGrid->addWidget(csvCaption, 4, 0);
    pathGrid->addWidget(Edit24, 4, 1);
    pathGrid->addWidget(SpeedButton1, 4, 2);
    pathGrid->addWidget(Caption(u"查核資料檔案路徑"_s, paths), 5, 0);
    pathGrid->addWidget(Edit2, 5, 1);
    pathGrid->addWidget(SpeedButton4, 5, 2);
    // The export folder is kept but not offered.
    for (QWidget *w : std::initializer_list<QWidget *>{csvCaption, Edit24, SpeedButton1})
        w->hide();
#ifndef Q_OS_WIN
    // Only Windows paths start with a drive.
    ComboBox6->hide();
#endif

    RadioButton6 = Named(new QRadioButton(u"課程編號"_s, paths), u"RadioButton6"_s);
    RadioButton7 = Named(new QRadioButton(u"年月"_s, paths), u"RadioButton7"_s);
    RadioButton6->setChecked(true);
    RadioButton7->setEnabled(false);
    RadioButton7->hide();
    auto *ruleRow = new QHBoxLayout;
    ruleRow->addWidget(RadioButton6);
    ruleRow->addWidget(RadioButton7);
    ruleRow->addStretch();
    pathGrid->addWidget(Caption(u"影像子目錄分類依據"_s, paths), 6, 0);
    pathGrid->addLayout(ruleRow, 6, 1);
    BitBtn20 = Named(new QPushButton(u"新增以下目錄與Rolvan.mdb"_s, paths), u"BitBtn20"_s);
    BitBtn20->setAutoDefault(false);
    pathGrid->addWidget(BitBtn20, 7, 0, 1, 3, Qt::AlignLeft);
    pathGrid->setColumnStretch(1, 1);

    connect(SpeedButton1, &QToolButton::clicked, this, [this] { ChooseFolderClick(Edit24); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { ChooseFolderClick(Edit1); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { ChooseFolderClick(Edit5); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { ChooseFolderClick(Edit2); });
    connect(ComboBox6, &QComboBox::activated, this, &TfmDBPath::DriveChange);
    connect(BitBtn20, &QPushButton::clicked, this, &TfmDBPath::CreateFoldersClick);
    return paths;
}

// The addresses of the training web service and of the version check.
QWidget *TfmDBPath::CreateAddressGroup(QWidget *page)
{
    auto *net = Named(new QGroupBox(u"網址設定"_s, page), u"GroupBox3"_s);
    auto *netForm = new QFormLayout(net);
    netAdd = Named(new QLineEdit(net), u"netAdd"_s);
    VerCheck = Named(new QLineEdit(net), u"VerCheck"_s);
    netForm->addRow(Caption(u"連線網址："_s, net), netAdd);
    netForm->addRow(Caption(u"版更網址："_s, net), VerCheck);
    return net;
}

// The card reader: kept for its keys, not offered.
QWidget *TfmDBPath::CreateCardGroup(QWidget *page)
{
    PanelCard = Named(new QGroupBox(u"感應卡"_s, page), u"PanelCard"_s);
    auto *cardForm = new QFormLayout(PanelCard);
    CheckBox1 = Named(new QCheckBox(u"COM PORT模組"_s, PanelCard), u"CheckBox1"_s);
    ComboBox2 = Named(new QComboBox(PanelCard), u"ComboBox2"_s);
    ComboBox2->addItems(StationSettingsForm::ComPorts());
    ComboBox1 = Named(new QComboBox(PanelCard), u"ComboBox1"_s);
    ComboBox1->addItems(StationSettingsForm::BaudRates());
    Edit15 = Named(new QLineEdit(PanelCard), u"Edit15"_s);
    ComboBox10 = Named(new QComboBox(PanelCard), u"ComboBox10"_s);
    ComboBox10->addItems(StationSettingsForm::CardContentKinds());
    Edit44 = Named(new QLineEdit(PanelCard), u"Edit44"_s);
    Edit44->setToolTip(u"如不需檢核請輸入0"_s);
    cardForm->addRow(CheckBox1);
    cardForm->addRow(Caption(u"讀卡機連接埠"_s, PanelCard), ComboBox2);
    cardForm->addRow(Caption(u"BoudRate"_s, PanelCard), ComboBox1);
    cardForm->addRow(Caption(u"感應卡資料長度"_s, PanelCard), Edit15);
    cardForm->addRow(Caption(u"卡片內容"_s, PanelCard), ComboBox10);
    cardForm->addRow(Caption(u"註冊機碼名稱"_s, PanelCard), Edit44);
    PanelCard->setEnabled(false);
    PanelCard->hide();
    return PanelCard;
}

// The attendance rules, shown as sentences with their numbers in them.
QWidget *TfmDBPath::CreateRuleGroup(QWidget *page)
{
    auto *rules = Named(new QGroupBox(u"簽到退規則"_s, page), u"GroupBox4"_s);
    auto *rulesLayout = new QVBoxLayout(rules);
    auto sentence = [rules, rulesLayout](std::initializer_list<QWidget *> parts) {
        auto *row = new QHBoxLayout;
        for (QWidget *part : parts)
            row->addWidget(part);
        row->addStretch();
        rulesLayout->addLayout(row);
    };
    EditCourseIdLen = ShortEdit(u"EditCourseIdLen"_s, rules);
    EditCourseIdLen->setReadOnly(true);
    Edit61 = ShortEdit(u"Edit61"_s, rules);
    Edit62 = ShortEdit(u"Edit62"_s, rules);
    Edit63 = ShortEdit(u"Edit63"_s, rules);
    Edit4 = ShortEdit(u"Edit4"_s, rules);
    Edit64 = ShortEdit(u"Edit64"_s, rules);
    Edit65 = ShortEdit(u"Edit65"_s, rules);
    Edit3 = ShortEdit(u"Edit3"_s, rules);
    for (QLineEdit *edit : {Edit61, Edit62, Edit63, Edit4, Edit64, Edit65, Edit3})
        edit->setEnabled(false);
    sentence({Caption(u"課程編號長度："_s, rules), EditCourseIdLen});
    sentence({Caption(u"允許簽到退時間區間：上課前"_s, rules), Edit61,
              Caption(u"分鐘，下課後"_s, rules), Edit62,
              Caption(u"分鐘。(00或空白不限制)"_s, rules)});
    sentence({Caption(u"課間休息時間超過"_s, rules), Edit63,
              Caption(u"分鐘需重新簽到退"_s, rules)});
    sentence({Caption(u"課間休息時間低於"_s, rules), Edit4,
              Caption(u"分鐘內提供自動課程班別切換"_s, rules)});
    sentence({Caption(u"遲到早退分鐘認定"_s, rules), Edit64,
              Caption(u"每小時須上滿分鐘數"_s, rules), Edit65});
    sentence({Caption(u"點名簽到期限(分)"_s, rules), Edit3});
    return rules;
}

// The normal class periods: morning, afternoon and evening, sign-in and sign-out.
QWidget *TfmDBPath::CreatePeriodGroup(QWidget *page)
{
    auto *periods = Named(new QGroupBox(u"正常上課時段"_s, page), u"GroupBox5"_s);
    auto *periodGrid = new QGridLayout(periods);
    periodGrid->addWidget(Caption(u"簽到"_s, periods), 0, 1, Qt::AlignCenter);
    periodGrid->addWidget(Caption(u"簽退"_s, periods), 0, 2, Qt::AlignCenter);
    const QStringList rows{u"早"_s, u"午"_s, u"晚"_s};
    for (int i = 0; i < 6; ++i) {
        QLineEdit *edit = ShortEdit(u"Edit"_s + QString::number(31 + i), periods, 4);
        edit->setReadOnly(true);
        ClassPeriodEdits[std::size_t(i)] = edit;
        if (i % 2 == 0)
            periodGrid->addWidget(Caption(rows.at(i / 2), periods), 1 + i / 2, 0);
        periodGrid->addWidget(edit, 1 + i / 2, 1 + i % 2);
    }
    periodGrid->setColumnStretch(3, 1);
    return periods;
}

// The input, the display of identities and the camera.
QWidget *TfmDBPath::CreateInputGroup(QWidget *page)
{
    auto *input = Named(new QGroupBox(u"簽到退輸入與攝影"_s, page), u"GroupBox6"_s);
    auto *inputGrid = new QGridLayout(input);
    CheckBox3 = Named(new QCheckBox(u"鍵盤輸入"_s, input), u"CheckBox3"_s);
    CheckBox17 = Named(new QCheckBox(u"螢幕輸入"_s, input), u"CheckBox17"_s);
    CheckBox17->setEnabled(false);
    CheckBox26 = Named(new QCheckBox(u"成功音效"_s, input), u"CheckBox26"_s);
    CheckBox26->setToolTip(u"部分讀卡機沒有聲效，勾選成功音效可由電腦發出音效"_s);
    ComboBox4 = Named(new QComboBox(input), u"ComboBox4"_s);
    ComboBox4->addItems(StationSettingsForm::IdentityInputKinds());
    ComboBox7 = Named(new QComboBox(input), u"ComboBox7"_s);
    ComboBox7->addItems(StationSettingsForm::IdentityShowKinds());
    ComboBox9 = Named(new QComboBox(input), u"ComboBox9"_s);
    ComboBox9->addItems(StationSettingsForm::OperatingSystems());
    Edit66 = ShortEdit(u"Edit66"_s, input, 2);
    Edit51 = ShortEdit(u"Edit51"_s, input, 2);
    inputGrid->addWidget(CheckBox3, 0, 0);
    inputGrid->addWidget(CheckBox17, 0, 1);
    inputGrid->addWidget(CheckBox26, 0, 2, 1, 2);
    inputGrid->addWidget(Caption(u"輸入種類："_s, input), 1, 0);
    inputGrid->addWidget(ComboBox4, 1, 1);
    inputGrid->addWidget(Caption(u"顯示種類："_s, input), 1, 2);
    inputGrid->addWidget(ComboBox7, 1, 3);
    inputGrid->addWidget(Caption(u"攝影裝置編號"_s, input), 2, 0);
    inputGrid->addWidget(Edit66, 2, 1, Qt::AlignLeft);
    inputGrid->addWidget(Caption(u"影像壓縮比例"_s, input), 2, 2);
    inputGrid->addWidget(Edit51, 2, 3, Qt::AlignLeft);
    inputGrid->addWidget(Caption(u"作業系統"_s, input), 3, 0);
    inputGrid->addWidget(ComboBox9, 3, 1);
    inputGrid->setColumnStretch(4, 1);
    return input;
}

QWidget *TfmDBPath::CreateNetDbPage()
{
    auto *page = Named(new QWidget, u"TabSheet3"_s);
    auto *group = Named(new QGroupBox(u"共用資料庫"_s, page), u"GroupNetDb"_s);
    GroupNetDb = group;
    auto *grid = new QGridLayout(group);
    CheckUseNetDB = Named(new QCheckBox(u"使用共用資料庫（多台簽到電腦共用）"_s, group), u"CheckUseNetDB"_s);
    EditNetDbHost = Named(new QLineEdit(group), u"EditNetDbHost"_s);
    EditNetDbHost->setPlaceholderText(u"伺服器名稱或 IP 位址"_s);
    EditNetDbPort = Named(new QLineEdit(group), u"EditNetDbPort"_s);
    EditNetDbPort->setValidator(
        new QRegularExpressionValidator(QRegularExpression(u"[0-9]{0,5}"_s), EditNetDbPort));
    EditNetDbPort->setMaxLength(5);
    EditNetDbPort->setFixedWidth(70);
    EditNetDbDatabase = Named(new QLineEdit(group), u"EditNetDbDatabase"_s);
    EditNetDbUser = Named(new QLineEdit(group), u"EditNetDbUser"_s);
    EditNetDbPassword = Named(new QLineEdit(group), u"EditNetDbPassword"_s);
    EditNetDbPassword->setEchoMode(QLineEdit::Password);
    BitBtnNetDbTest = Named(new QPushButton(u"測試連線"_s, group), u"BitBtnNetDbTest"_s);
    BitBtnNetDbTest->setAutoDefault(false);
    BitBtnNetDbTest->setToolTip(u"以目前欄位中的設定連線一次，並說明結果（不需先儲存）"_s);

    grid->addWidget(CheckUseNetDB, 0, 0, 1, 4);
    grid->addWidget(Caption(u"主機："_s, group), 1, 0);
    grid->addWidget(EditNetDbHost, 1, 1);
    grid->addWidget(Caption(u"連接埠："_s, group), 1, 2);
    grid->addWidget(EditNetDbPort, 1, 3, Qt::AlignLeft);
    grid->addWidget(Caption(u"資料庫名稱："_s, group), 2, 0);
    grid->addWidget(EditNetDbDatabase, 2, 1);
    grid->addWidget(Caption(u"使用者："_s, group), 2, 2);
    grid->addWidget(EditNetDbUser, 2, 3);
    grid->addWidget(Caption(u"密碼："_s, group), 3, 0);
    grid->addWidget(EditNetDbPassword, 3, 1);
    grid->addWidget(BitBtnNetDbTest, 3, 2, 1, 2, Qt::AlignLeft);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 1);

    auto *note = Named(Caption(u"多台簽到電腦要共用一份簽到資料時，請勾選上方項目並填入 PostgreSQL 資料庫伺服器的資料；"
                               "儲存後重新啟動程式即改用共用資料庫。\n"
                               "「測試連線」以欄位中目前的值連線一次（不需先儲存），並說明伺服器版本、連線是否加密、"
                               "資料表是否已建立，或失敗的原因。\n"
                               "密碼在 Rolvan.ini 中以 Base64 編碼存放，這不是加密：請只讓系統管理者讀取該檔案。"_s,
                               page),
                       u"LabelNetDbNote"_s);
    note->setWordWrap(true);
    // Addresses and names are short: the fields keep a readable width on a wide window.
    group->setMaximumWidth(760);
    note->setMaximumWidth(760);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addWidget(note);
    layout->addStretch();

    connect(CheckUseNetDB, &QCheckBox::toggled, this, &TfmDBPath::CheckUseNetDBClick);
    connect(BitBtnNetDbTest, &QPushButton::clicked, this, &TfmDBPath::BitBtnNetDbTestClick);
    return page;
}

QWidget *TfmDBPath::CreateScriptPage()
{
    auto *page = Named(new QWidget, u"TabSheet2"_s);
    Memo1 = Named(new QPlainTextEdit(page), u"Memo1"_s);
    Memo1->setPlaceholderText(u"以 ; 分隔的 SQL 指令，於範本資料庫執行"_s);
    BitBtn3 = Named(new QPushButton(u"執行"_s, page), u"BitBtn3"_s);
    BitBtn3->setAutoDefault(false);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(Memo1, 1);
    layout->addWidget(BitBtn3, 0, Qt::AlignLeft);
    connect(BitBtn3, &QPushButton::clicked, this, &TfmDBPath::RunScriptClick);
    return page;
}

void TfmDBPath::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormActivate();
}

void TfmDBPath::FormActivate()
{
    PageControl1->setCurrentIndex(0);
    PageControl1->setTabVisible(1, G().DesignerMode);
    HighlightActiveTab(PageControl1);
    // The stored settings are read once: coming back from the help or a folder choice keeps
    // what was typed meanwhile.
    if (m_loaded)
        return;
    GuardAction([this] {
        m_form.Load(G().iniPath(), m_dm.ConSample());
        FormToFields();
        m_loaded = true;
    });
}

void TfmDBPath::FormToFields()
{
    const StationSettingsForm &f = m_form;
    EditCompanyID->setText(f.companyId);
    EditSYSID->setText(f.trainingUnitCode);
    EditCompany->setText(f.companyName);
    EditDoor->setText(f.stationNo);
    Password->setText(f.password);
    Edit1->setText(f.databasePath);
    Edit5->setText(f.backupPath);
    Edit24->setText(f.csvPath);
    Edit2->setText(f.imagePath);
    ComboBox6->setCurrentIndex(ComboBox6->findText(f.Drive(), Qt::MatchFixedString));
    RadioButton6->setChecked(f.photoSubPathByCourseNo);
    EditCourseIdLen->setText(f.courseNoLength);
    Edit61->setText(f.minutesBeforeStart);
    Edit62->setText(f.minutesAfterEnd);
    Edit63->setText(f.breakLimit);
    Edit4->setText(f.courseSwitchLimit);
    Edit64->setText(f.lateTolerance);
    Edit65->setText(f.minutesPerHour);
    for (std::size_t i = 0; i < ClassPeriodEdits.size(); ++i)
        ClassPeriodEdits[i]->setText(f.classPeriods[i]);
    Edit3->setText(f.rollCallLimit);
    Edit66->setText(f.cameraDevice);
    Edit51->setText(f.photoQuality);
    ShowInList(ComboBox9, f.operatingSystem);
    CheckBox3->setChecked(f.ioKeyboard);
    CheckBox17->setChecked(f.ioScreen);
    ShowInList(ComboBox4, f.identityInputKind);
    ShowInList(ComboBox7, f.identityShowKind);
    CheckBox26->setChecked(f.manualSuccessSound);
    netAdd->setText(f.serviceUrl);
    VerCheck->setText(f.updateUrl);
    CheckUseNetDB->setChecked(f.useNetDb);
    CheckUseNetDBClick();
    EditNetDbHost->setText(f.netDbHost);
    EditNetDbPort->setText(f.netDbPort);
    EditNetDbDatabase->setText(f.netDbDatabase);
    EditNetDbUser->setText(f.netDbUser);
    EditNetDbPassword->setText(f.netDbPassword);
    CheckBox1->setChecked(f.comPortModule);
    ShowInList(ComboBox2, f.comPort);
    ShowInList(ComboBox1, f.baudRate);
    Edit15->setText(f.cardDataLength);
    ShowInList(ComboBox10, f.cardContentKind);
    Edit44->setText(f.registryDeviceName);
}

void TfmDBPath::FieldsToForm()
{
    StationSettingsForm &f = m_form;
    f.companyId = EditCompanyID->text();
    f.trainingUnitCode = EditSYSID->text();
    f.companyName = EditCompany->text();
    f.stationNo = EditDoor->text();
    f.password = Password->text();
    f.databasePath = Edit1->text();
    f.backupPath = Edit5->text();
    f.csvPath = Edit24->text();
    f.imagePath = Edit2->text();
    f.photoSubPathByCourseNo = RadioButton6->isChecked();
    f.courseNoLength = EditCourseIdLen->text();
    f.minutesBeforeStart = Edit61->text();
    f.minutesAfterEnd = Edit62->text();
    f.breakLimit = Edit63->text();
    f.courseSwitchLimit = Edit4->text();
    for (std::size_t i = 0; i < ClassPeriodEdits.size(); ++i)
        f.classPeriods[i] = ClassPeriodEdits[i]->text();
    f.rollCallLimit = Edit3->text();
    f.cameraDevice = Edit66->text();
    f.photoQuality = Edit51->text();
    f.operatingSystem = ComboBox9->currentText();
    f.ioKeyboard = CheckBox3->isChecked();
    f.ioScreen = CheckBox17->isChecked();
    f.identityInputKind = ComboBox4->currentText();
    f.identityShowKind = ComboBox7->currentText();
    f.manualSuccessSound = CheckBox26->isChecked();
    f.serviceUrl = netAdd->text();
    f.updateUrl = VerCheck->text();
    f.useNetDb = CheckUseNetDB->isChecked();
    f.netDbHost = EditNetDbHost->text();
    f.netDbPort = EditNetDbPort->text();
    f.netDbDatabase = EditNetDbDatabase->text();
    f.netDbUser = EditNetDbUser->text();
    f.netDbPassword = EditNetDbPassword->text();
    f.comPortModule = CheckBox1->isChecked();
    f.comPort = ComboBox2->currentText();
    f.baudRate = ComboBox1->currentText();
    f.cardDataLength = Edit15->text();
    f.cardContentKind = ComboBox10->currentText();
    f.registryDeviceName = Edit44->text();
}

void TfmDBPath::SaveSettingsClick()
{
    GuardAction([this] {
        FieldsToForm();
        const StationSettingsForm::Refusal refusal = m_form.Validate();
        if (refusal.field != StationSettingsForm::Field::None) {
            m_form.Save(G().iniPath()); // refuses with its message
            FocusField(refusal.field);
            return;
        }
        m_form.SaveAfterAsking(G().iniPath());
    });
}

void TfmDBPath::CreateFoldersClick()
{
    GuardAction([this] {
        FieldsToForm();
        m_form.RunNewStationAction();
        BitBtn1->setEnabled(true);
    });
}

void TfmDBPath::FocusField(StationSettingsForm::Field field)
{
    using Field = StationSettingsForm::Field;
    QLineEdit *edit = EditDoor;
    switch (field) {
    case Field::NetDbPort: edit = EditNetDbPort; break;
    case Field::NetDbHost: edit = EditNetDbHost; break;
    case Field::NetDbDatabase: edit = EditNetDbDatabase; break;
    case Field::NetDbUser: edit = EditNetDbUser; break;
    case Field::StationNo:
    case Field::None: break;
    }
    PageControl1->setCurrentWidget(edit == EditDoor ? TabSheet1 : TabSheet3);
    edit->setFocus();
}

void TfmDBPath::CheckUseNetDBClick()
{
    LabelNetDbFolder->setVisible(CheckUseNetDB->isChecked());
}

void TfmDBPath::BitBtnNetDbTestClick()
{
    GuardAction([this] {
        // The values in the fields, saved or not.
        FieldsToForm();
        const StationSettingsForm::Refusal refusal = m_form.NetDbTestRefusal();
        if (refusal.field != StationSettingsForm::Field::None) {
            CurrentPrompter().ShowError(refusal.message);
            FocusField(refusal.field);
            return;
        }
        const NetDbSettings settings = m_form.NetDb();
        NetDbProbe probe;
        {
            BitBtnNetDbTest->setEnabled(false);
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const auto restore = qScopeGuard([this] {
                QApplication::restoreOverrideCursor();
                BitBtnNetDbTest->setEnabled(true);
            });
            probe = ProbeNetDatabase(settings);
        }
        if (probe.ok)
            CurrentPrompter().ShowMessage(probe.message);
        else
            CurrentPrompter().ShowError(probe.message);
    });
}

void TfmDBPath::ChooseFolderClick(QLineEdit *target)
{
    const QString chosen = QFileDialog::getExistingDirectory(
        this, u"選擇目錄"_s, target->text(), QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty())
        target->setText(QDir::toNativeSeparators(chosen));
}

void TfmDBPath::DriveChange()
{
    FieldsToForm();
    m_form.ChangeDrive(ComboBox6->currentText());
    Edit1->setText(m_form.databasePath);
    Edit2->setText(m_form.imagePath);
    Edit5->setText(m_form.backupPath);
    Edit24->setText(m_form.csvPath);
}

void TfmDBPath::HelpClick()
{
    TFm_Help::ShowHelpOfPage(m_dm, u"系統設定"_s, PageControl1, this);
}

void TfmDBPath::RunScriptClick()
{
    GuardAction([this] { ExecSqlScript(Memo1->toPlainText(), m_dm.ConSample()); });
}

void TfmDBPath::PageControl1Change()
{
    HighlightActiveTab(PageControl1);
}

#include "classes/TFmSetup.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/FormGeometryWidget.h"
#include "Fun/FormHelpers.h"
#include "Fun/QueryBuilder.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "dialogs/RecordWindow.h"
#include "dialogs/TFm_Help.h"
#include "classes/RosterImport.h"
#include "classes/RecordUpload.h"
#include "dialogs/TDialog_Date.h"
#include "classes/TrainingService.h"
#include "classes/Tfm_Course.h"
#include "core/DataFolders.h"
#include "base/Globals.h"
#include "core/NetDatabase.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"
#include "station/StationState.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QResizeEvent>
#include <QTableWidget>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString HelpName = u"課程選定"_s;
const QString NotAvailable = u"尚未提供"_s;
const QString DatePattern = u"YYYY/MM/DD"_s;

void SetItems(QComboBox *combo, const QStringList &items)
{
    const QString text = combo->currentText();
    combo->clear();
    QStringList list = items;
    list.removeAll(QString());
    combo->addItems(list);
    combo->setEditText(text);
}

// Grid columns that are shown, with their captions; every other column of the row is hidden.
struct GridColumn
{
    QString field;
    QString caption;
    int width;
};

const QList<GridColumn> &GridColumns()
{
    static const QList<GridColumn> columns {
        // Width 0: the column takes the room the others leave.
        { u"CourseId"_s, u"講習編號"_s, 100 }, { u"Course"_s, u"名稱"_s, 0 },
        { u"DateStart"_s, u"起日"_s, 82 },     { u"DateEnd"_s, u"迄日"_s, 82 },
        { u"TimeStart"_s, u"時間"_s, 48 },     { u"TimeEnd"_s, u"結束"_s, 48 },
        { u"Place"_s, u"地點"_s, 100 },        { u"Charge"_s, u"主辦單位"_s, 150 },
        { u"Teacher"_s, u"講師"_s, 62 },       { u"TotHours"_s, u"時數"_s, 42 },
    };
    return columns;
}

} // namespace

TFmSetup::TFmSetup(TDM &dm, WindowOpeners openers, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_open(std::move(openers))
    , m_records(std::make_unique<ClassRecords>(dm, G().CourseNoLength))
{
    setObjectName(u"FmSetup"_s);
    setWindowTitle(u"講習基本資料  版本："_s);
    m_record = new RecordWindow(this, u"Nav"_s, 42);
    BuildWindow();
    const auto d = FormSizeDefault::FmSetup;
    RestoreFormGeometry(this, d.top, d.left, d.width, d.height);
}

TFmSetup::~TFmSetup() = default;

// ---- Building -------------------------------------------------------------------------------

QPushButton *TFmSetup::MakeButton(const QString &name, const QString &caption)
{
    return RecordWindow::MakeToolButton(this, name, caption);
}

void TFmSetup::MarkNotAvailable(QPushButton *button)
{
    button->setEnabled(false);
    button->setToolTip(NotAvailable);
}

void TFmSetup::BuildWindow()
{
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(BuildToolbar());

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(u"PageControl1"_s);
    PageControl1->addTab(BuildSearchPage(), u"多筆瀏覽查詢"_s);
    PageControl1->addTab(BuildDetailPage(), u"單筆明細"_s);
    layout->addWidget(PageControl1, 1);

    m_record->Attach({
        .grid = DBGrid1,
        .pages = PageControl1,
        .hasRecord = [this] { return m_current.RID > 0; },
        .applyMode = [this](Mode mode) { ApplyModeStates(mode); },
        .rowChanged = [this] { CurrentRowChanged(); },
        .insertRecord = [this] { NavInsertClick(); },
        .postRecord = [this] { NavPostClick(); },
        .deleteRecord = [this] { DeleteShownClass(); },
        // The list comes back on the class that was edited; after adding one, on the row it
        // stood on.
        .editDropped =
            [this](Mode left) { ReturnToList(left == Mode::Insert ? 0 : m_current.RID); },
        .askBeforeCancel = true,
    });
    BuildWebPanels();
    m_record->SetMode(Mode::Browse);
}

QHBoxLayout *TFmSetup::BuildToolbar()
{
    QHBoxLayout *toolbar = m_record->MakeToolbar(
        { .editPrefix = u"Nav"_s, .deleteCaption = u"刪除"_s, .deleteBeforePost = true },
        { NavInsert, NavEdit, NavPost, NavDelete, NavCancel });
    BitBtnHelp = MakeButton(u"BitBtnHelp"_s, u"Help"_s);
    BitBtnSysManager = MakeButton(u"BitBtnSysManager"_s, u"系統管理"_s);
    BitBtnClose = MakeButton(u"BitBtnClose"_s, u"  離  開  "_s);
    toolbar->addStretch(1);
    for (QPushButton *b : { BitBtnHelp, BitBtnSysManager, BitBtnClose })
        toolbar->addWidget(b);
    connect(BitBtnHelp, &QPushButton::clicked, this, &TFmSetup::BitBtnHelpClick);
    connect(BitBtnSysManager, &QPushButton::clicked, this, &TFmSetup::BitBtnSysManagerClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TFmSetup::BitBtnCloseClick);
    return toolbar;
}

QWidget *TFmSetup::BuildSearchPage()
{
    auto *page = new QWidget(this);
    page->setObjectName(u"TabSheet1"_s);
    auto *layout = new QVBoxLayout(page);

    // The hint (tool tip) of a search field names the column it searches.
    auto *row1 = new QHBoxLayout;
    EditQCourseId = MakeEdit(page, u"EditQCourseId"_s);
    EditQCourseId->setToolTip(u"CourseId"_s);
    EditQCourse = MakeEdit(page, u"EditQCourse"_s);
    EditQCourse->setToolTip(u"Course"_s);
    EditQCharge = MakeEdit(page, u"EditQCharge"_s);
    EditQCharge->setToolTip(u"Charge"_s);
    EditQTeacher = MakeEdit(page, u"EditQTeacher"_s);
    EditQTeacher->setToolTip(u"Teacher"_s);
    EditQCourseId->setFixedWidth(120);
    EditQCharge->setFixedWidth(130);
    EditQTeacher->setFixedWidth(90);
    row1->addWidget(MakeLabel(page, u"講習編號"_s));
    row1->addWidget(EditQCourseId);
    row1->addWidget(MakeLabel(page, u"名稱"_s));
    row1->addWidget(EditQCourse, 1);
    row1->addWidget(MakeLabel(page, u"主辦單位"_s));
    row1->addWidget(EditQCharge);
    row1->addWidget(MakeLabel(page, u"講師"_s));
    row1->addWidget(EditQTeacher);
    layout->addLayout(row1);

    auto *row2 = new QHBoxLayout;
    LabelDate = new QLabel(u"日期"_s, page);
    LabelDate->setObjectName(u"LabelDate"_s);
    LabelDate->setCursor(Qt::PointingHandCursor);
    LabelDate->setStyleSheet(u"color: #1a4f9c; text-decoration: underline;"_s);
    LabelDate->installEventFilter(this);
    EditQDate = MakeEdit(page, u"EditQDate"_s);
    EditQDate->setFixedWidth(110);
    EditQDate->setPlaceholderText(u"2024/05/06 或 2024"_s);
    EditQDateS = MakeEdit(page, u"EditQDateS"_s);
    EditQDateS->setToolTip(u"DateStart"_s);
    EditQDateS->setFixedWidth(120);
    EditQDateE = MakeEdit(page, u"EditQDateE"_s);
    EditQDateE->setToolTip(u"DateEnd"_s);
    EditQDateE->setFixedWidth(120);
    auto *tilde = new QLabel(u"～"_s, page);
    tilde->setObjectName(u"LabelRangeTilde"_s);
    EditQDateS->setVisible(false);
    EditQDateE->setVisible(false);
    tilde->setVisible(false);
    for (QLineEdit *field : { EditQDate, EditQDateS, EditQDateE })
        field->installEventFilter(this);

    BitBtn1 = MakeButton(u"BitBtn1"_s, u"查詢"_s);
    BitBtn2 = MakeButton(u"BitBtn2"_s, u"條件清除"_s);
    BitBtn3 = MakeButton(u"BitBtn3"_s, u"講習與報名人員匯入"_s);
    BitBtnRosterImport = MakeButton(u"BitBtnRosterImport"_s, u"匯入學員名單檔"_s);
    BitBtnRosterImport->setToolTip(u"將學員名單 CSV 檔（UTF-8 或 Big5）匯入清單選定的講習"_s);
    LabelCount = new QLabel(ClassRecords::CountLabel(0), page);
    LabelCount->setObjectName(u"LabelCount"_s);

    row2->addWidget(LabelDate);
    row2->addWidget(EditQDate);
    row2->addWidget(EditQDateS);
    row2->addWidget(tilde);
    row2->addWidget(EditQDateE);
    row2->addSpacing(12);
    row2->addWidget(BitBtn1);
    row2->addWidget(BitBtn2);
    row2->addWidget(BitBtn3);
    row2->addWidget(BitBtnRosterImport);
    row2->addStretch(1);
    row2->addWidget(LabelCount);
    layout->addLayout(row2);

    DBGrid1 = new QTableView(page);
    RecordWindow::SetUpRecordGrid(DBGrid1, u"DBGrid1"_s, 24);
    m_model = new QSqlQueryModel(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    DBGrid1->setModel(m_proxy);
    EnableGridTitleSort(DBGrid1);
    layout->addWidget(DBGrid1, 1);

    connect(BitBtn1, &QPushButton::clicked, this, &TFmSetup::SearchClick);
    connect(BitBtn2, &QPushButton::clicked, this, &TFmSetup::ClearSearchClick);
    connect(BitBtn3, &QPushButton::clicked, this, &TFmSetup::ImportWebClassesClick);
    connect(BitBtnRosterImport, &QPushButton::clicked, this, &TFmSetup::BitBtnRosterImportClick);
    connect(EditQDate, &QLineEdit::returnPressed, this, &TFmSetup::SearchClick);
    connect(DBGrid1, &QTableView::doubleClicked, this, &TFmSetup::DBGrid1DblClick);
    return page;
}

QWidget *TFmSetup::BuildDetailPage()
{
    auto *page = new QWidget(this);
    page->setObjectName(u"TabSheet2"_s);
    auto *outer = new QHBoxLayout(page);
    auto *left = new QVBoxLayout;
    outer->addLayout(left, 1);

    auto *form = new QGridLayout;
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(7);
    int row = 0;
    AddNumberAndNameRows(page, form, row);
    AddDateAndTimeRows(page, form, row);
    AddPlaceAndTeacherRows(page, form, row);
    AddHoursAndSubjectRows(page, form, row);
    form->addWidget(BuildSignKindBox(page), row++, 0, 1, 4);

    DBMemoContent = new QPlainTextEdit(page);
    DBMemoContent->setObjectName(u"DBMemoContent"_s);
    DBMemoContent->setFixedHeight(52);
    form->addWidget(MakeLabel(page, u"備註"_s), row, 0, Qt::AlignTop | Qt::AlignRight);
    form->addWidget(DBMemoContent, row++, 1, 1, 3);
    form->setColumnStretch(1, 1);
    form->setColumnStretch(3, 1);
    left->addLayout(form);

    left->addWidget(BuildClassButtons(page));
    left->addStretch(1);

    PanelPeriod = BuildPeriodPanel();
    PanelPeriod->setVisible(false);
    outer->addWidget(PanelPeriod);

    ConnectClassFields();
    return page;
}

namespace {

// Two fields with "～" between them and a grey format hint behind.
QHBoxLayout *RangeRow(QWidget *page, QWidget *from, QWidget *to, const QString &hint)
{
    auto *range = new QHBoxLayout;
    range->addWidget(from);
    range->addWidget(new QLabel(u"～"_s, page));
    range->addWidget(to);
    auto *hintLabel = new QLabel(hint, page);
    hintLabel->setStyleSheet(u"color: #666;"_s);
    range->addWidget(hintLabel);
    range->addStretch(1);
    return range;
}

// A field that keeps its width at the left of its cell.
QHBoxLayout *LeftAligned(QWidget *field)
{
    auto *box = new QHBoxLayout;
    box->addWidget(field);
    box->addStretch(1);
    return box;
}

} // namespace

void TFmSetup::AddNumberAndNameRows(QWidget *page, QGridLayout *form, int &row)
{
    DBEditCourseId = MakeEdit(page, u"DBEditCourseId"_s);
    DBEditCourseId->setFixedWidth(140);
    LabelCourseIdLen = new QLabel(m_records->ClassNumberLengthLabel(), page);
    LabelCourseIdLen->setObjectName(u"LabelCourseIdLen"_s);
    DBEditEchelon = MakeEdit(page, u"DBEditEchelon"_s);
    DBEditEchelon->setVisible(false);
    LabelUpload = new QLabel(page);
    LabelUpload->setObjectName(u"LabelUpload"_s);
    ProgressBar1 = new QProgressBar(page);
    ProgressBar1->setObjectName(u"ProgressBar1"_s);
    ProgressBar1->setFixedWidth(160);
    ProgressBar1->setVisible(false);
    auto *idRow = new QHBoxLayout;
    idRow->addWidget(DBEditCourseId);
    idRow->addWidget(LabelCourseIdLen);
    idRow->addStretch(1);
    idRow->addWidget(LabelUpload);
    idRow->addWidget(ProgressBar1);
    form->addWidget(MakeLabel(page, u"講習編號"_s), row, 0);
    form->addLayout(idRow, row++, 1, 1, 3);

    DBEditCourse = MakeEdit(page, u"DBEditCourse"_s);
    DBEditCourse->setMaxLength(100);
    form->addWidget(MakeLabel(page, u"名稱"_s), row, 0);
    form->addWidget(DBEditCourse, row++, 1, 1, 3);
}

void TFmSetup::AddDateAndTimeRows(QWidget *page, QGridLayout *form, int &row)
{
    DBEditDateStart = MakeEdit(page, u"DBEditDateStart"_s);
    DBEditDateEnd = MakeEdit(page, u"DBEditDateEnd"_s);
    for (QLineEdit *field : { DBEditDateStart, DBEditDateEnd }) {
        field->setMaxLength(10);
        field->setFixedWidth(110);
        field->installEventFilter(this);
    }
    form->addWidget(MakeLabel(page, u"起迄日期"_s), row, 0);
    QHBoxLayout *dates = RangeRow(page, DBEditDateStart, DBEditDateEnd,
                                  u"格式2019/05/31，雙擊填入今天，右鍵選日期"_s);
    form->addLayout(dates, row++, 1, 1, 3);

    DBComboTimeStart = MakeCombo(page, u"DBComboTimeStart"_s, true);
    DBComboTimeEnd = MakeCombo(page, u"DBComboTimeEnd"_s, true);
    for (QComboBox *field : { DBComboTimeStart, DBComboTimeEnd }) {
        field->setFixedWidth(90);
        field->installEventFilter(this);
    }
    form->addWidget(MakeLabel(page, u"時間"_s), row, 0);
    QHBoxLayout *times = RangeRow(page, DBComboTimeStart, DBComboTimeEnd, u"格式09:30"_s);
    form->addLayout(times, row++, 1, 1, 3);
}

void TFmSetup::AddPlaceAndTeacherRows(QWidget *page, QGridLayout *form, int &row)
{
    DBComboPlace = MakeCombo(page, u"DBComboPlace"_s, true);
    DBComboPlace->lineEdit()->setMaxLength(60);
    DBComboCharge = MakeCombo(page, u"DBComboCharge"_s, true);
    DBComboCharge->lineEdit()->setMaxLength(60);
    form->addWidget(MakeLabel(page, u"地點"_s), row, 0);
    form->addWidget(DBComboPlace, row, 1);
    form->addWidget(MakeLabel(page, u"主辦單位"_s), row, 2);
    form->addWidget(DBComboCharge, row++, 3);

    DBEditTeacher = MakeEdit(page, u"DBEditTeacher"_s);
    DBEditTeacher->setMaxLength(50);
    DBEditTeacherId = MakeEdit(page, u"DBEditTeacherId"_s);
    DBEditTeacherId->setMaxLength(10);
    form->addWidget(MakeLabel(page, u"講師"_s), row, 0);
    form->addWidget(DBEditTeacher, row, 1);
    form->addWidget(MakeLabel(page, u"講師身分證字號"_s), row, 2);
    form->addWidget(DBEditTeacherId, row++, 3);
}

void TFmSetup::AddHoursAndSubjectRows(QWidget *page, QGridLayout *form, int &row)
{
    DBComboTotHours = MakeCombo(page, u"DBComboTotHours"_s, true);
    for (int h = 0; h <= 9; ++h)
        DBComboTotHours->addItem(QString::number(h));
    DBComboTotHours->lineEdit()->setMaxLength(4);
    DBComboTotHours->setFixedWidth(70);
    DBComboCNo2 = MakeCombo(page, u"DBComboCNo2"_s, false);
    DBComboCNo2->addItems({ QString(), u"必修"_s, u"選修"_s });
    DBComboCNo2->setFixedWidth(80);
    form->addWidget(MakeLabel(page, u"核定總時數"_s), row, 0);
    form->addLayout(LeftAligned(DBComboTotHours), row, 1);
    form->addWidget(MakeLabel(page, u"必選修"_s), row, 2);
    form->addLayout(LeftAligned(DBComboCNo2), row++, 3);

    DBEditCNo4 = MakeEdit(page, u"DBEditCNo4"_s);
    DBEditCNo4->setMaxLength(4);
    DBEditCNo4->setFixedWidth(70);
    LabelCNo4Desc = new QLabel(page);
    LabelCNo4Desc->setObjectName(u"LabelCNo4Desc"_s);
    auto *cno4Row = new QHBoxLayout;
    cno4Row->addWidget(DBEditCNo4);
    cno4Row->addWidget(LabelCNo4Desc, 1);
    form->addWidget(MakeLabel(page, u"課程代號"_s), row, 0);
    form->addLayout(cno4Row, row++, 1, 1, 3);
}

QWidget *TFmSetup::BuildSignKindBox(QWidget *page)
{
    auto *signBox = new QGroupBox(u"刷卡種類"_s, page);
    signBox->setObjectName(u"GroupSignType"_s);
    auto *signLayout = new QGridLayout(signBox);
    const QStringList kinds { u"簽到"_s, u"簽退"_s, u"午到"_s, u"午退"_s, u"晚上簽到"_s, u"晚上簽退"_s };
    for (int k = 0; k < kinds.size(); ++k) {
        auto *box = new QCheckBox(kinds.at(k), signBox);
        box->setObjectName(u"CheckBox"_s + QString::number(k + 1));
        signLayout->addWidget(box, 0, k);
        CheckBoxSign << box;
        // Only a box the user pressed changes the stored kinds.
        connect(box, &QCheckBox::clicked, this, [this] {
            m_signTouched = true;
            BeginEdit();
        });
    }
    auto *signNote = new QLabel(u"講習只有1個課程且無課程明細者需選定刷卡種類"_s, signBox);
    signNote->setStyleSheet(u"color: #a33;"_s);
    signLayout->addWidget(signNote, 1, 0, 1, 6);
    return signBox;
}

QWidget *TFmSetup::BuildClassButtons(QWidget *page)
{
    // The buttons that lead from the class elsewhere.
    PanelButtons = new QWidget(page);
    PanelButtons->setObjectName(u"PanelButtons"_s);
    auto *buttons = new QGridLayout(PanelButtons);
    buttons->setContentsMargins(0, 6, 0, 0);
    BitBtn7 = MakeButton(u"BitBtn7"_s, u"開始簽到退"_s);
    BitBtn7->setStyleSheet(u"font-weight: bold; color: #0b5d1e;"_s);
    BitBtn8 = MakeButton(u"BitBtn8"_s, u"課程明細"_s);
    BitBtn9 = MakeButton(u"BitBtn9"_s, u"講習課程出勤報表"_s);
    BitBtn10 = MakeButton(u"BitBtn10"_s, u"刷卡明細資料"_s);
    BitBtn11 = MakeButton(u"BitBtn11"_s, u"學員名單"_s);
    BitBtn12 = MakeButton(u"BitBtn12"_s, u"期間日期"_s);
    BitBtn13 = MakeButton(u"BitBtn13"_s, u"【驗自然人憑證】"_s);
    BitBtn14 = MakeButton(u"BitBtn14"_s, u"點名紀錄上傳"_s);
    BitBtn15 = MakeButton(u"BitBtn15"_s, u"刷卡紀錄上傳彙整"_s);
    BitBtn16 = MakeButton(u"BitBtn16"_s, u"刷卡紀錄下載彙整"_s);
    BitBtn17 = MakeButton(u"BitBtn17"_s, u"送件"_s);
    BitBtn18 = MakeButton(u"BitBtn18"_s, u"簽到資料註記到人員基本資料"_s);
    const QList<QPushButton *> order { BitBtn7, BitBtn8, BitBtn12, BitBtn9, BitBtn10, BitBtn11,
                                       BitBtn13, BitBtn14, BitBtn15, BitBtn16, BitBtn17, BitBtn18 };
    for (int i = 0; i < order.size(); ++i) {
        order.at(i)->setMinimumHeight(30);
        buttons->addWidget(order.at(i), i / 4, i % 4);
    }
    BitBtn18->setVisible(false);

    connect(BitBtn7, &QPushButton::clicked, this, &TFmSetup::BitBtn7Click);
    connect(BitBtn8, &QPushButton::clicked, this, &TFmSetup::LessonsClick);
    connect(BitBtn9, &QPushButton::clicked, this, &TFmSetup::AttendanceReportsClick);
    connect(BitBtn10, &QPushButton::clicked, this, &TFmSetup::SignEventRecordsClick);
    connect(BitBtn11, &QPushButton::clicked, this, &TFmSetup::EnrolmentListClick);
    connect(BitBtn12, &QPushButton::clicked, this, &TFmSetup::PeriodDatesClick);
    connect(BitBtn13, &QPushButton::clicked, this, &TFmSetup::CheckCertificateClick);
    connect(BitBtn18, &QPushButton::clicked, this, &TFmSetup::MarkPersonnelClick);
    connect(BitBtn14, &QPushButton::clicked, this, &TFmSetup::UploadRollCallClick);
    connect(BitBtn15, &QPushButton::clicked, this, &TFmSetup::UploadSignEventsClick);
    connect(BitBtn16, &QPushButton::clicked, this, &TFmSetup::DownloadSignEventsClick);
    connect(BitBtn17, &QPushButton::clicked, this, &TFmSetup::SubmitClick);
    return PanelButtons;
}

void TFmSetup::ConnectClassFields()
{
    // Any change the user makes to a field puts the class into edit mode.
    for (QLineEdit *field : { DBEditCourseId, DBEditCourse, DBEditDateStart, DBEditDateEnd,
                              DBEditTeacher, DBEditTeacherId, DBEditCNo4 })
        connect(field, &QLineEdit::textChanged, this, [this] { BeginEdit(); });
    for (QComboBox *field : { DBComboTimeStart, DBComboTimeEnd, DBComboPlace, DBComboCharge,
                              DBComboTotHours, DBComboCNo2 })
        connect(field, &QComboBox::currentTextChanged, this, [this] { BeginEdit(); });
    connect(DBMemoContent, &QPlainTextEdit::textChanged, this, [this] { BeginEdit(); });
    connect(DBEditCNo4, &QLineEdit::textChanged, this,
            [this](const QString &code) { GuardAction([&] { LabelCNo4Desc->setText(ClassRecords::SubjectDescription(m_dm.Con1(), code)); }); });
    // Either date changing shows or hides the period-date button.
    connect(DBEditDateStart, &QLineEdit::textChanged, this, [this] { UpdatePeriodButton(); });
    connect(DBEditDateEnd, &QLineEdit::textChanged, this, [this] { UpdatePeriodButton(); });
}

QWidget *TFmSetup::BuildPeriodPanel()
{
    auto *panel = new QGroupBox(u"期間日期"_s, this);
    panel->setObjectName(u"PanelPeriod"_s);
    panel->setFixedWidth(300);
    auto *layout = new QVBoxLayout(panel);

    LabelPeriodCount = new QLabel(panel);
    LabelPeriodCount->setObjectName(u"LabelPeriodCount"_s);
    layout->addWidget(LabelPeriodCount);

    CheckListBox1 = new QListWidget(panel);
    CheckListBox1->setObjectName(u"CheckListBox1"_s);
    layout->addWidget(CheckListBox1, 1);
    connect(CheckListBox1, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        if (m_loading)
            return;
        const int row = CheckListBox1->row(item);
        if (row >= 0 && row < m_periodDays.size())
            m_periodDays[row].ticked = item->checkState() == Qt::Checked;
        LabelPeriodCount->setText(ClassRecords::PeriodCountLabel(m_periodDays));
    });

    auto *grid = new QGridLayout;
    BtnPeriodAll = MakeButton(u"BtnPeriodAll"_s, u"全選"_s);
    BtnPeriodNone = MakeButton(u"BtnPeriodNone"_s, u"全刪"_s);
    BtnPeriod135 = MakeButton(u"BtnPeriod135"_s, u"1.3.5"_s);
    BtnPeriod24 = MakeButton(u"BtnPeriod24"_s, u" 2.4"_s);
    BtnPeriodWork = MakeButton(u"BtnPeriodWork"_s, u"工作日"_s);
    grid->addWidget(BtnPeriodAll, 0, 0);
    grid->addWidget(BtnPeriodNone, 0, 1);
    grid->addWidget(BtnPeriod135, 1, 0);
    grid->addWidget(BtnPeriod24, 1, 1);
    grid->addWidget(BtnPeriodWork, 2, 0, 1, 2);
    layout->addLayout(grid);
    auto *days = new QHBoxLayout;
    for (int w = 1; w <= 5; ++w) {
        QPushButton *b = MakeButton(u"BtnPeriodW"_s + QString::number(w), QString::number(w));
        BtnPeriodDay << b;
        days->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, w] { PeriodButtonClick(PeriodButton::AddWeekday, w); });
    }
    layout->addLayout(days);
    auto *end = new QHBoxLayout;
    BtnPeriodOk = MakeButton(u"BtnPeriodOk"_s, u"oK"_s);
    BtnPeriodCancel = MakeButton(u"BtnPeriodCancel"_s, u"取消"_s);
    end->addWidget(BtnPeriodOk);
    end->addWidget(BtnPeriodCancel);
    layout->addLayout(end);

    connect(BtnPeriodAll, &QPushButton::clicked, this, [this] { PeriodButtonClick(PeriodButton::SelectAll); });
    connect(BtnPeriodNone, &QPushButton::clicked, this, [this] { PeriodButtonClick(PeriodButton::ClearAll); });
    connect(BtnPeriod135, &QPushButton::clicked, this, [this] { PeriodButtonClick(PeriodButton::MonWedFri); });
    connect(BtnPeriod24, &QPushButton::clicked, this, [this] { PeriodButtonClick(PeriodButton::TueThu); });
    connect(BtnPeriodWork, &QPushButton::clicked, this, [this] { PeriodButtonClick(PeriodButton::Workdays); });
    connect(BtnPeriodOk, &QPushButton::clicked, this, &TFmSetup::BtnPeriodOkClick);
    connect(BtnPeriodCancel, &QPushButton::clicked, this, &TFmSetup::BtnPeriodCancelClick);
    return panel;
}

// ---- Activation ---------------------------------------------------------------------------------

void TFmSetup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_classChosen = false;
    // Run after the window is on screen, so a message it shows has a parent to sit on.
    QTimer::singleShot(0, this, [this] { GuardAction([this] { FormActivate(); }); });
}

void TFmSetup::ApplyEventCaptions()
{
    if (!m_station)
        return;
    const QStringList captions { m_station->io3Cap, m_station->io4Cap, m_station->io5Cap, m_station->io6Cap };
    for (int i = 0; i < captions.size(); ++i) {
        if (!captions.at(i).isEmpty())
            CheckBoxSign.at(i + 2)->setText(captions.at(i));
    }
}

bool TFmSetup::FormActivate()
{
    Globals &g = G();
    m_serviceUrl = ServiceSettings::FromIni().baseUrl;
    ApplyEventCaptions();

    m_records = std::make_unique<ClassRecords>(m_dm, g.CourseNoLength);
    LabelCourseIdLen->setText(m_records->ClassNumberLengthLabel());
    setWindowTitle(u"講習基本資料  版本："_s + g.EditionText + g.VersionText);
    PageControl1->setCurrentIndex(0);
    HighlightActiveTab(PageControl1);
    EditQDate->setText(FormatDateByPattern(DatePattern, CurrentClock().today()));
    BitBtn18->setVisible(ReadIniBool(IniSection::SystemExtension, IniKey::SystemExtension, false));

    // The working database must be where the settings say.
    if (ReadIniBool(IniSection::Base, IniKey::UseNetDb, false)) {
        // The shared database: connected anew when the link was lost or never made.
        if (!(m_dm.isShared() && m_dm.isWorkingOpen())) {
            QString error;
            if (!m_dm.OpenSharedWorkingDatabase(NetDbSettings::FromIni(), &error))
                throw RolvanError(error);
        }
    } else {
        const QString folder = ReadIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, QString(), QString());
        const QString path = JoinPath(folder, g.DbFileName);
        if (folder.trimmed().isEmpty() || !QFile::exists(path)) {
            CurrentPrompter().ShowMessage(u"資料庫位置尚未設定"_s);
            return false;
        }
        if (!m_dm.isWorkingOpen()) {
            QString error;
            // A file the station refused stays untouched here too.
            if (!m_dm.OpenCheckedWorkingDatabase(path, ReadDataFolders().backup, &error))
                throw RolvanError(error);
        }
    }
    FillDropDowns();
    RunQuery(m_current.RID);
    return true;
}

void TFmSetup::FillDropDowns()
{
    const QDate today = CurrentClock().today();
    m_loading = true;
    SetItems(DBComboPlace, ClassRecords::PlaceList(m_dm.Con1()));
    SetItems(DBComboCharge, ClassRecords::ChargeList(m_dm.Con1()));
    SetItems(DBComboTimeStart, ClassRecords::TimeList(m_dm.Con1(), u"TimeStart"_s, today));
    SetItems(DBComboTimeEnd, ClassRecords::TimeList(m_dm.Con1(), u"TimeEnd"_s, today));
    m_loading = false;
}

// ---- Searching ----------------------------------------------------------------------------------

void TFmSetup::SearchClick()
{
    GuardAction([this] { RunQuery(m_current.RID); });
}

void TFmSetup::RunQuery(int selectRid)
{
    if (const auto range = ClassRecords::RangeForDate(EditQDate->text())) {
        EditQDateS->setText(range->start);
        EditQDateE->setText(range->end);
    }
    const SqlCondition statement = ClassRecords::SearchStatement(CollectSearchInputs(this));
    QSqlQuery query(m_dm.Con1());
    if (!query.prepare(statement.text))
        throw DatabaseError(statement.text + u"\n"_s + query.lastError().text());
    for (const QVariant &value : statement.params)
        query.addBindValue(value);
    if (!query.exec())
        throw DatabaseError(statement.text + u"\n"_s + query.lastError().text());

    m_loading = true;
    m_proxy->sort(-1);
    DBGrid1->horizontalHeader()->setSortIndicatorShown(false);
    m_model->setQuery(std::move(query));
    while (m_model->canFetchMore())
        m_model->fetchMore();
    const QSqlRecord record = m_model->record();
    for (int c = 0; c < record.count(); ++c)
        DBGrid1->setColumnHidden(c, true);
    for (const GridColumn &column : GridColumns()) {
        const int c = record.indexOf(column.field);
        if (c < 0)
            continue;
        m_model->setHeaderData(c, Qt::Horizontal, column.caption);
        DBGrid1->setColumnHidden(c, false);
        if (column.width > 0) {
            DBGrid1->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Interactive);
            DBGrid1->setColumnWidth(c, column.width);
        } else {
            DBGrid1->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Stretch);
        }
    }
    LabelCount->setText(ClassRecords::CountLabel(m_model->rowCount()));
    m_loading = false;

    if (!SelectClass(selectRid))
        m_record->SelectRow(0);
}

int TFmSetup::rowCount() const
{
    return m_proxy->rowCount();
}

void TFmSetup::ClearSearchClick()
{
    ClearFormInputs(this);
    EditQDate->clear();
    EditQDateS->clear();
    EditQDateE->clear();
}

void TFmSetup::LabelDateClick()
{
    m_rangeShown = !m_rangeShown;
    LabelDate->setText(m_rangeShown ? u"起迄日期"_s : u"日期"_s);
    EditQDate->setVisible(!m_rangeShown);
    EditQDateS->setVisible(m_rangeShown);
    EditQDateE->setVisible(m_rangeShown);
    if (auto *tilde = findChild<QLabel *>(u"LabelRangeTilde"_s))
        tilde->setVisible(m_rangeShown);
}

void TFmSetup::DBGrid1DblClick()
{
    m_record->ShowDetailPage();
}

// ---- Moving -------------------------------------------------------------------------------------

bool TFmSetup::SelectClass(int rid)
{
    return m_record->SelectRid(m_model->record().indexOf(u"RID"_s), rid);
}

void TFmSetup::CurrentRowChanged()
{
    if (m_loading || !m_record->browsing())
        return;
    GuardAction([this] {
        const QModelIndex current = DBGrid1->selectionModel()->currentIndex();
        const int ridColumn = m_model->record().indexOf(u"RID"_s);
        std::optional<ClassRecord> record;
        if (current.isValid() && ridColumn >= 0)
            record = m_records->LoadClass(m_proxy->index(current.row(), ridColumn).data().toInt());
        MoveToClass(record.value_or(ClassRecord()));
    });
}

void TFmSetup::MoveToClass(const ClassRecord &record)
{
    m_current = record;
    m_dateBet = record.DateBet;
    m_signTouched = false;
    LoadFields(record);
    PanelPeriod->setVisible(false);
    UpdatePeriodButton();

    const QString key = ClassKeyOf(record.CourseId, record.Echelon);
    if (!key.isEmpty())
        G().CurrentClassKey = key;
    PanelButtons->setVisible(true);
    const bool locked = record.RID > 0 && m_records->ClassNumberLocked(key);
    DBEditCourseId->setReadOnly(record.RID == 0 || locked);
    DBEditEchelon->setReadOnly(record.RID == 0 || locked);
    m_record->SetMode(Mode::Browse);
}

void TFmSetup::LoadFields(const ClassRecord &r)
{
    m_loading = true;
    // A stored number longer than the limit is shown whole, never cut.
    DBEditCourseId->setMaxLength(qMax(m_records->courseNoLength(), int(r.CourseId.size())));
    DBEditCourseId->setText(r.CourseId);
    DBEditEchelon->setText(r.Echelon);
    DBEditCourse->setText(r.Course);
    DBEditDateStart->setText(r.DateStart);
    DBEditDateEnd->setText(r.DateEnd);
    DBComboTimeStart->setEditText(r.TimeStart);
    DBComboTimeEnd->setEditText(r.TimeEnd);
    DBComboPlace->setEditText(r.Place);
    DBComboCharge->setEditText(r.Charge);
    DBEditTeacher->setText(r.Teacher);
    DBEditTeacherId->setText(r.TeacherId);
    DBComboTotHours->setEditText(r.TotHours);
    DBComboCNo2->setCurrentIndex(qMax(0, DBComboCNo2->findText(r.CNo2)));
    DBEditCNo4->setText(r.CNo4);
    DBMemoContent->setPlainText(r.CourseContent);
    const QList<bool> boxes = ClassRecords::SignTypeBoxes(r.SignType);
    for (int k = 0; k < CheckBoxSign.size(); ++k)
        CheckBoxSign.at(k)->setChecked(boxes.at(k));
    m_loading = false;
}

ClassRecord TFmSetup::GatherFields() const
{
    ClassRecord r = m_current;
    r.CourseId = DBEditCourseId->text().trimmed();
    r.Echelon = DBEditEchelon->text().trimmed();
    r.Course = DBEditCourse->text().trimmed();
    r.DateStart = DBEditDateStart->text().trimmed();
    r.DateEnd = DBEditDateEnd->text().trimmed();
    r.DateBet = m_dateBet;
    r.TimeStart = DBComboTimeStart->currentText().trimmed();
    r.TimeEnd = DBComboTimeEnd->currentText().trimmed();
    r.Place = DBComboPlace->currentText().trimmed();
    r.Charge = DBComboCharge->currentText().trimmed();
    r.Teacher = DBEditTeacher->text().trimmed();
    r.TeacherId = DBEditTeacherId->text().trimmed();
    r.TotHours = DBComboTotHours->currentText().trimmed();
    r.CNo2 = DBComboCNo2->currentText();
    r.CNo4 = DBEditCNo4->text().trimmed();
    r.CourseContent = DBMemoContent->toPlainText();
    if (m_signTouched) {
        QList<bool> boxes;
        for (const QCheckBox *box : CheckBoxSign)
            boxes << box->isChecked();
        r.SignType = ClassRecords::SignTypeText(boxes);
    }
    return r;
}

// ---- Editing ------------------------------------------------------------------------------------

void TFmSetup::ApplyModeStates(Mode mode)
{
    const bool browsing = mode == Mode::Browse;
    const bool hasRow = m_current.RID > 0;
    BitBtn1->setEnabled(browsing);
    BitBtn7->setEnabled(hasRow || !browsing);
    BitBtn8->setEnabled(hasRow && browsing);
    // The class name comes from the training agency; only a class of the unit's own is named here.
    DBEditCourse->setReadOnly(mode != Mode::Insert);
}

void TFmSetup::BeginEdit()
{
    if (m_loading || !m_record->browsing() || m_current.RID <= 0)
        return;
    m_record->SetMode(Mode::Edit);
}

void TFmSetup::NavInsertClick()
{
    if (!m_record->browsing())
        return;
    GuardAction([this] {
        const ClassRecord record = m_records->NewClass(CurrentClock().today());
        m_current = record;
        m_dateBet.clear();
        m_signTouched = true; // a new class stores the kinds its boxes show
        LoadFields(record);
        PanelPeriod->setVisible(false);
        DBEditCourseId->setReadOnly(false);
        DBEditCourseId->setMaxLength(m_records->courseNoLength());
        m_record->SetMode(Mode::Insert);
        UpdatePeriodButton();
        m_record->ShowDetailPage();
        DBEditCourse->setFocus();
    });
}

void TFmSetup::NavPostClick()
{
    if (m_record->browsing())
        return;
    GuardAction([this] {
        ClassRecord record = GatherFields();
        if (m_record->mode() == Mode::Insert)
            record.RID = 0;
        const int rid = m_records->StoreClass(record);
        if (rid <= 0)
            return; // refused: the class stays in edit mode
        m_record->SetMode(Mode::Browse);
        FillDropDowns();
        RunQuery(rid);
        if (!SelectClass(rid)) {
            // The stored class falls outside the search: show it anyway.
            if (const auto stored = m_records->LoadClass(rid))
                MoveToClass(*stored);
        }
    });
}

void TFmSetup::ReturnToList(int rid)
{
    GuardAction([this, rid] {
        if (!SelectClass(rid))
            CurrentRowChanged();
    });
}

void TFmSetup::DeleteShownClass()
{
    m_records->DeleteClass(m_current.RID, m_current.Course);
    m_current = ClassRecord();
    RunQuery(0);
}

bool TFmSetup::CheckTimeFieldOnLeave(QComboBox *field)
{
    if (ClassRecords::IsTimeAcceptable(field->currentText()))
        return true;
    CurrentPrompter().ShowMessage(ClassRecords::TimeFormatMessage());
    m_refocusing = true;
    QTimer::singleShot(0, field, [this, field] {
        field->setFocus();
        m_refocusing = false;
    });
    return false;
}

void TFmSetup::UpdatePeriodButton()
{
    BitBtn12->setVisible(ClassRecords::PeriodButtonVisible(DBEditDateStart->text(), DBEditDateEnd->text(),
                                                           G().EditionLevel));
}

void TFmSetup::CheckDayLimit()
{
    if (ClassRecords::ExceedsDayLimit(DBEditDateStart->text(), DBEditDateEnd->text()))
        CurrentPrompter().ShowMessage(ClassRecords::DayLimitMessage());
}

void TFmSetup::DateFieldDoubleClick(QLineEdit *field)
{
    const QDate today = CurrentClock().today();
    if (field == DBEditDateEnd)
        field->setText(ClassRecords::LastDayOnDoubleClick(DBEditDateStart->text(), today));
    else if (field == EditQDateS || field == EditQDateE)
        field->setText(FormatDateByPattern(DatePattern, today));
    else
        field->setText(FormatDateByPattern(DatePattern, today));
}

void TFmSetup::DateFieldRightClick(QLineEdit *field)
{
    if (field == EditQDateS || field == EditQDateE) {
        // The comparison in front of the date stays in front of the chosen one.
        const QString text = field->text();
        const QString date = text.right(10);
        const QString op = text.left(text.size() - date.size());
        TDialog_Date dialog(date, QString(), this);
        if (dialog.Execute(field->mapToGlobal(QPoint(0, field->height()))))
            field->setText(op + dialog.dateText());
        return;
    }
    TDialog_Date::ChooseDateForField(field);
}

bool TFmSetup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LabelDate && event->type() == QEvent::MouseButtonRelease) {
        LabelDateClick();
        return true;
    }
    auto *edit = qobject_cast<QLineEdit *>(watched);
    const bool dateField = edit
        && (edit == EditQDate || edit == EditQDateS || edit == EditQDateE || edit == DBEditDateStart
            || edit == DBEditDateEnd);
    if (dateField) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            if (!edit->isReadOnly())
                DateFieldDoubleClick(edit);
            return true;
        }
        if (event->type() == QEvent::ContextMenu) {
            if (!edit->isReadOnly())
                GuardAction([this, edit] { DateFieldRightClick(edit); });
            return true;
        }
        if (event->type() == QEvent::FocusOut && (edit == DBEditDateStart || edit == DBEditDateEnd)) {
            UpdatePeriodButton();
            if (!m_loading && !m_record->browsing())
                CheckDayLimit();
        }
    }
    auto *combo = qobject_cast<QComboBox *>(watched);
    if (combo && (combo == DBComboTimeStart || combo == DBComboTimeEnd)
        && event->type() == QEvent::FocusOut && !m_refocusing && !m_record->browsing()) {
        CheckTimeFieldOnLeave(combo);
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Period-date panel --------------------------------------------------------------------------

void TFmSetup::PeriodDatesClick()
{
    m_periodDays = ClassRecords::PeriodDays(DBEditDateStart->text(), DBEditDateEnd->text(), m_dateBet);
    ShowPeriodDays();
    PanelPeriod->setVisible(true);
}

void TFmSetup::ShowPeriodDays()
{
    m_loading = true;
    CheckListBox1->clear();
    for (const PeriodDay &day : std::as_const(m_periodDays)) {
        auto *item = new QListWidgetItem(day.caption, CheckListBox1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(day.ticked ? Qt::Checked : Qt::Unchecked);
    }
    m_loading = false;
    LabelPeriodCount->setText(ClassRecords::PeriodCountLabel(m_periodDays));
}

void TFmSetup::PeriodButtonClick(PeriodButton button, int weekday)
{
    ClassRecords::ApplyPeriodButton(m_periodDays, button, weekday);
    ShowPeriodDays();
}

void TFmSetup::BtnPeriodOkClick()
{
    const QString text = ClassRecords::PeriodDateBet(m_periodDays);
    if (m_record->browsing())
        BeginEdit();
    if (text != m_dateBet.trimmed())
        m_dateBet = text;
    PanelPeriod->setVisible(false);
}

void TFmSetup::BtnPeriodCancelClick()
{
    PanelPeriod->setVisible(false);
}

// ---- Leaving the window -------------------------------------------------------------------------

void TFmSetup::BitBtn7Click()
{
    GuardAction([this] {
        if (!m_record->browsing()) {
            CurrentPrompter().ShowMessage(u"資料尚未儲存，請先按「確認」或「取消」"_s);
            return;
        }
        const StartDecision decision = m_records->DecideStart(m_current, CurrentClock().today());
        if (!decision.mayStart) {
            CurrentPrompter().ShowMessage(decision.message);
            return;
        }
        G().CurrentClassKey = decision.classKey;
        m_classChosen = true;
        if (m_station)
            m_station->ClassChosenByUser = true;
        accept();
    });
}

void TFmSetup::LessonsClick()
{
    GuardAction([this] {
        const QString key = ClassKeyOf(m_current.CourseId, m_current.Echelon);
        if (key.isEmpty()) {
            CurrentPrompter().ShowMessage(u"尚未選定課程"_s);
            return;
        }
        G().CurrentClassKey = key;
        {
            Tfm_Course lessons(m_dm, this);
            lessons.OpenForClass(key);
        }
        // The lesson window rewrites the period flags of the class.
        RunQuery(m_current.RID);
    });
}

bool TFmSetup::MakeShownClassCurrent()
{
    const QString key = ClassKeyOf(m_current.CourseId, m_current.Echelon);
    if (key.isEmpty()) {
        CurrentPrompter().ShowMessage(u"尚未選定課程"_s);
        return false;
    }
    G().CurrentClassKey = key;
    return true;
}

void TFmSetup::AttendanceReportsClick()
{
    GuardAction([this] {
        if (MakeShownClassCurrent() && m_open.reportsWindow)
            m_open.reportsWindow(m_dm, this);
    });
}

void TFmSetup::SignEventRecordsClick()
{
    GuardAction([this] {
        if (MakeShownClassCurrent() && m_open.recordsWindow)
            m_open.recordsWindow(m_dm, m_station, this);
    });
}

void TFmSetup::EnrolmentListClick()
{
    GuardAction([this] {
        if (!MakeShownClassCurrent())
            return;
        if (m_open.enrolmentWindow)
            m_open.enrolmentWindow(m_dm, m_station, this, {});
        // The window shows the hours and identities the persons have now.
        RunQuery(m_current.RID);
    });
}

void TFmSetup::BitBtnHelpClick()
{
    TFm_Help::ShowHelpOfPage(m_dm, HelpName, PageControl1, this);
}

void TFmSetup::BitBtnSysManagerClick()
{
    GuardAction([this] {
        if (m_open.administration)
            m_open.administration(m_dm, this, false);
    });
}

void TFmSetup::BitBtnCloseClick()
{
    reject();
}

void TFmSetup::reject()
{
    if (!m_record->browsing()) {
        if (!m_record->ConfirmLeave())
            return;
        ReturnToList(m_current.RID);
    }
    QDialog::reject();
}

void TFmSetup::done(int result)
{
    SaveFormGeometry(this);
    QDialog::done(result);
}

// ---- The training web service -------------------------------------------------------------------

namespace {

const QString NetworkFailure = u"無法連結至網站,請確認網路連線是否正常"_s;
const QString NetworkFailureCaption = u"網路連線錯誤"_s;
const QString IdleProgressCaption = u"人員基本資料下載中"_s;
// Grid colours of the web class list: the title row and the class rows.
const QColor WebTitleColour(170, 186, 110);
const QColor WebRowColour(194, 198, 172);

} // namespace

void TFmSetup::BuildWebPanels()
{
    auto *panel = new QGroupBox(u"網站講習清單資料"_s, this);
    panel->setObjectName(u"PanelWeb"_s);
    panel->setAutoFillBackground(true);
    panel->setStyleSheet(u"QGroupBox#PanelWeb { background: #f4f4ee; border: 2px solid #6e8a3a; margin-top: 14px; }"
                         "QGroupBox#PanelWeb::title { subcontrol-origin: margin; left: 8px; font-weight: bold; }"_s);
    auto *layout = new QVBoxLayout(panel);
    LabelWebHint = new QLabel(u"選擇講習後點下載"_s, panel);
    LabelWebHint->setObjectName(u"LabelWebHint"_s);
    LabelWebHint->setStyleSheet(u"color: #a33;"_s);
    StringGrid1 = new QTableWidget(1, 6, panel);
    StringGrid1->setObjectName(u"StringGrid1"_s);
    StringGrid1->horizontalHeader()->setVisible(false);
    StringGrid1->verticalHeader()->setVisible(false);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->verticalHeader()->setDefaultSectionSize(24);
    const int widths[] = { 110, 0, 82, 82, 44 };
    for (int c = 0; c < 5; ++c) {
        if (widths[c] > 0)
            StringGrid1->setColumnWidth(c, widths[c]);
        else
            StringGrid1->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Stretch);
    }
    // The sixth column holds the whole answer of the class list in every filled row.
    StringGrid1->setColumnHidden(5, true);
    auto *buttons = new QHBoxLayout;
    BtnWebDownload = MakeButton(u"BtnWebDownload"_s, u"下載"_s);
    BtnWebClose = MakeButton(u"BtnWebClose"_s, u"離開"_s);
    buttons->addWidget(LabelWebHint, 1);
    buttons->addWidget(BtnWebDownload);
    buttons->addWidget(BtnWebClose);
    layout->addLayout(buttons);
    layout->addWidget(StringGrid1, 1);
    PanelWeb = panel;
    PanelWeb->setVisible(false);
    FillWebGrid();

    auto *progress = new QFrame(this);
    progress->setObjectName(u"PanelProgress"_s);
    progress->setFrameShape(QFrame::Panel);
    progress->setFrameShadow(QFrame::Raised);
    progress->setAutoFillBackground(true);
    progress->setStyleSheet(u"QFrame#PanelProgress { background: #fffbe6; border: 2px solid #b08a2e; }"_s);
    auto *progressLayout = new QVBoxLayout(progress);
    LabelProgress = new QLabel(IdleProgressCaption, progress);
    LabelProgress->setObjectName(u"LabelProgress"_s);
    LabelProgress->setAlignment(Qt::AlignCenter);
    QFont big = LabelProgress->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    LabelProgress->setFont(big);
    progressLayout->addWidget(LabelProgress);
    PanelProgress = progress;
    PanelProgress->setVisible(false);

    connect(BtnWebDownload, &QPushButton::clicked, this, &TFmSetup::BtnWebDownloadClick);
    connect(BtnWebClose, &QPushButton::clicked, this, &TFmSetup::BtnWebCloseClick);
    connect(StringGrid1, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { StringGrid1SelectCell(row); });
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row < 1)
            return;
        StringGrid1SelectCell(row);
        BtnWebDownloadClick();
    });
}

void TFmSetup::PlaceWebPanels()
{
    if (!PanelWeb)
        return;
    // Top right corner of the main area, in front of everything.
    const QRect area = PageControl1->geometry();
    const int width = qMin(640, area.width());
    const int height = qMin(380, area.height());
    PanelWeb->setGeometry(area.right() - width + 1, area.top(), width, height);
    PanelWeb->raise();
    const QSize size(qMin(420, area.width()), 90);
    PanelProgress->setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
    PanelProgress->raise();
}

void TFmSetup::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    PlaceWebPanels();
}

void TFmSetup::FillWebGrid()
{
    const QStringList titles { u"講習編號"_s, u"講習名稱"_s, u"起始日期"_s, u"結束日期"_s, u"時數"_s, QString() };
    StringGrid1->clearContents();
    StringGrid1->setRowCount(int(m_webList.entries.size()) + 1);
    const QString raw = QString::fromUtf8(m_webList.rawText);
    for (int r = 0; r < StringGrid1->rowCount(); ++r) {
        QStringList cells(6);
        if (r == 0) {
            cells = titles;
        } else if (const WebClassEntry &e = m_webList.entries.at(r - 1); e.listed) {
            cells = { e.classNo, e.name, e.firstDay, e.lastDay, e.hours, raw };
        }
        for (int c = 0; c < 6; ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            item->setTextAlignment(Qt::AlignCenter);
            item->setBackground(r == 0 ? WebTitleColour : WebRowColour);
            if (r == 0)
                item->setForeground(Qt::white);
            StringGrid1->setItem(r, c, item);
        }
    }
}

void TFmSetup::StringGrid1SelectCell(int row)
{
    if (row >= 1)
        m_webRow = row;
}

std::unique_ptr<TrainingService> TFmSetup::MakeService() const
{
    ServiceSettings settings = ServiceSettings::FromIni();
    if (!m_serviceUrl.isEmpty())
        settings.baseUrl = m_serviceUrl;
    return std::make_unique<TrainingService>(settings);
}

void TFmSetup::ShowStage(const QString &text)
{
    LabelProgress->setText(text);
    PanelProgress->setVisible(true);
    PanelProgress->raise();
    PanelProgress->repaint();
}

void TFmSetup::ImportWebClassesClick()
{
    GuardAction([this] {
        auto service = MakeService();
        const GateOutcome gate = service->PassGate(true);
        if (gate.state == GateState::Failed) {
            CurrentPrompter().ShowError(gate.message);
            return;
        }
        if (!gate.passed()) {
            CurrentPrompter().ShowMessage(gate.message);
            // The check starts again by itself.
            const QString error = service->StartCertificateCheck();
            if (!error.isEmpty())
                CurrentPrompter().ShowError(error);
            return;
        }
        PlaceWebPanels();
        PanelWeb->setVisible(true);
        PanelWeb->raise();
        PanelWeb->repaint();
        const ServiceOutcome<QByteArray> answer = service->FetchClassListText();
        QString error = answer.error;
        std::optional<WebClassList> list;
        if (answer.ok())
            list = ClassImport::ParseClassList(answer.value, CurrentClock().today(), &error);
        if (!list) {
            // The panel stays open with what it showed before.
            CurrentPrompter().ShowError(NetworkFailureCaption, NetworkFailure + u"\n\n"_s + error);
            return;
        }
        m_webList = *list;
        m_webRow = 0;
        FillWebGrid();
    });
}

void TFmSetup::BitBtnRosterImportClick()
{
    GuardAction([this] {
        if (!m_record->browsing()) {
            CurrentPrompter().ShowMessage(u"資料尚未儲存，請先按「確認」或「取消」"_s);
            return;
        }
        if (m_current.RID <= 0) {
            CurrentPrompter().ShowMessage(u"尚未選定課程"_s);
            return;
        }
        const QString path = chooseRosterFile
            ? chooseRosterFile(this)
            : QFileDialog::getOpenFileName(this, u"匯入學員名單檔"_s, QString(),
                u"CSV 檔 (*.csv);;文字檔 (*.txt);;所有檔案 (*)"_s);
        if (path.isEmpty())
            return;
        QString error;
        const auto plan = RosterImport::PlanRosterFile(m_dm.Con1(), m_current.RID, path, &error);
        if (!plan) {
            CurrentPrompter().ShowError(error);
            return;
        }
        if (!AskYesNo(plan->Question(), u"是"_s, u"否"_s))
            return;
        const auto counts
            = RosterImport::ImportRoster(m_dm.Con1(), *plan, CurrentClock().now(), &error);
        if (!counts) {
            CurrentPrompter().ShowError(error);
            return;
        }
        CurrentPrompter().ShowMessage(RosterImport::DoneMessage(*counts));
    });
}

void TFmSetup::BtnWebDownloadClick()
{
    GuardAction([this] { ImportWebRow(m_webRow); });
}

void TFmSetup::BtnWebCloseClick()
{
    PanelWeb->setVisible(false);
}

void TFmSetup::ImportWebRow(int row)
{
    if (m_webList.entries.isEmpty())
        return;
    if (row < 1)
        row = 1;
    if (row > m_webList.entries.size() || !m_webList.entries.at(row - 1).listed) {
        CurrentPrompter().ShowMessage(u"講習編號空白，無法匯入"_s);
        return;
    }
    const WebClassEntry entry = m_webList.entries.at(row - 1);
    if (!AskYesNo(u"匯入編號: %1 講習名稱:%2 ??"_s.arg(entry.classNo, entry.name), u"是"_s, u"否"_s))
        return;
    auto service = MakeService();
    QString error;
    std::optional<ImportSummary> summary;
    {
        struct HideAfter
        {
            TFmSetup *w;
            ~HideAfter()
            {
                w->PanelProgress->setVisible(false);
                w->LabelProgress->setText(IdleProgressCaption);
            }
        } hide { this };
        ShowStage(IdleProgressCaption);
        summary = ClassImport::DownloadClass(*service, m_dm.Con1(), entry, G().OrganisationName,
                                             CurrentClock().now(), &error,
                                             [this](const QString &stage) { ShowStage(stage); });
    }
    if (!summary) {
        CurrentPrompter().ShowError(error);
        return;
    }
    CurrentPrompter().ShowMessage(summary->message());
    const int rid = QueryValueOn(u"select RID from Courses where CourseId = ? and Echelon = '00'"_s, m_dm.Con1(),
                                 { entry.classNo })
                        .toInt();
    RunQuery(rid > 0 ? rid : m_current.RID);
}

void TFmSetup::CheckCertificateClick()
{
    GuardAction([this] {
        const QString error = MakeService()->StartCertificateCheck();
        if (!error.isEmpty())
            CurrentPrompter().ShowError(error);
    });
}

void TFmSetup::MarkPersonnelClick()
{
    GuardAction([this] {
        if (m_current.CourseId.trimmed().isEmpty()) {
            CurrentPrompter().ShowMessage(u"尚未選定課程"_s);
            return;
        }
        ClassImport::MarkPersonnelOfClass(m_dm.Con1(), m_current.CourseId);
    });
}

void TFmSetup::FollowUploadProgress(WebClient &client)
{
    connect(&client, &WebClient::uploadProgress, this, &TFmSetup::ShowUploadProgress);
}

void TFmSetup::ShowUploadProgress(qint64 sent, qint64 total)
{
    if (total <= 0)
        return;
    // The bar counts in kilobytes so that large files fit its range.
    const int max = int(qMax<qint64>(1, total / 1024));
    const int value = int(qMin<qint64>(max, sent / 1024));
    if (ProgressBar1->isHidden() || ProgressBar1->maximum() != max) {
        ProgressBar1->setRange(0, max);
        ProgressBar1->setVisible(true);
    }
    ProgressBar1->setValue(value);
    LabelUpload->setText(u"資料上傳進度 %1 ％"_s.arg(sent * 100 / total));
    if (sent >= total) {
        ProgressBar1->setValue(max);
        ProgressBar1->setVisible(false);
    }
}

// ---- Record uploads --------------------------------------------------------------------------

namespace {

// Hides the progress panel when an action ends, however it ends.
struct ProgressPanelGuard
{
    QWidget *panel;
    QLabel *label;
    ~ProgressPanelGuard()
    {
        panel->setVisible(false);
        label->setText(IdleProgressCaption);
    }
};

} // namespace

bool TFmSetup::PassUploadGate(TrainingService &service, bool restartCheck)
{
    const GateOutcome gate = service.PassGate(false);
    if (gate.passed())
        return true;
    if (gate.state == GateState::Failed) {
        CurrentPrompter().ShowError(gate.message);
        return false;
    }
    CurrentPrompter().ShowMessage(gate.message);
    if (restartCheck) {
        const QString error = service.StartCertificateCheck();
        if (!error.isEmpty())
            CurrentPrompter().ShowError(error);
    }
    return false;
}

QString TFmSetup::UploadClassKey()
{
    const QString key = ClassKeyOf(m_current.CourseId, m_current.Echelon);
    if (m_current.CourseId.trimmed().isEmpty() || key.isEmpty()) {
        CurrentPrompter().ShowMessage(RecordUpload::NoClassMessage);
        return {};
    }
    G().CurrentClassKey = key;
    return key;
}

TFmSetup::UploadStart TFmSetup::StartUpload()
{
    UploadStart start;
    start.key = UploadClassKey();
    if (start.key.isEmpty())
        return {};
    start.service = MakeService();
    if (!PassUploadGate(*start.service, true))
        return {};
    return start;
}

void TFmSetup::UploadRollCallClick()
{
    GuardAction([this] {
        auto service = MakeService();
        if (!PassUploadGate(*service, false))
            return;
        const QString key = UploadClassKey();
        if (key.isEmpty())
            return;
        const RecordUpload::Places places = RecordUpload::Places::FromIni();
        const QString number = RecordUpload::ClassNumberOf(key, places.courseNoLength);
        // Only the sheet made now is sent: nothing when it was cancelled or stopped.
        const QString pdf = m_open.rollCallSheet ? m_open.rollCallSheet(m_dm, this) : QString();
        if (pdf.isEmpty())
            return;
        QString answer;
        {
            ProgressPanelGuard guard { PanelProgress, LabelProgress };
            ShowStage(RecordUpload::StageUploading);
            FollowUploadProgress(service->client());
            answer = RecordUpload::UploadPackage(*service, number, TrainingService::CheckToken(), pdf);
        }
        CurrentPrompter().ShowMessage(answer);
    });
}

void TFmSetup::UploadSignEventsClick()
{
    GuardAction([this] {
        const auto [key, service] = StartUpload();
        if (!service)
            return;
        const RecordUpload::Places places = RecordUpload::Places::FromIni();
        const QString number = RecordUpload::ClassNumberOf(key, places.courseNoLength);
        ProgressPanelGuard guard { PanelProgress, LabelProgress };
        ShowStage(RecordUpload::StageSignEvents);
        const RecordUpload::EventPackage package
            = RecordUpload::BuildEventPackage(m_dm.Con1(), places, key, m_current.CourseId);
        if (package.events == 0) {
            CurrentPrompter().ShowMessage(RecordUpload::NoEventsMessage);
            return;
        }
        CurrentPrompter().ShowMessage(package.message());
        ShowStage(RecordUpload::StageUploading);
        FollowUploadProgress(service->client());
        const QString answer
            = RecordUpload::UploadPackage(*service, number, TrainingService::CheckToken(), package.zipPath);
        PanelProgress->setVisible(false);
        CurrentPrompter().ShowMessage(answer);
    });
}

void TFmSetup::DownloadSignEventsClick()
{
    GuardAction([this] {
        const auto [key, service] = StartUpload();
        if (!service)
            return;
        RecordUpload::MergeResult result;
        {
            ProgressPanelGuard guard { PanelProgress, LabelProgress };
            result = RecordUpload::DownloadAndMerge(*service, m_dm.Con1(), RecordUpload::Places::FromIni(), key,
                m_current.CourseId, [this](const QString &stage) { ShowStage(stage); });
        }
        for (const QString &message : result.messages())
            CurrentPrompter().ShowMessage(message);
    });
}

void TFmSetup::SubmitClick()
{
    GuardAction([this] {
        const auto [key, service] = StartUpload();
        if (!service)
            return;
        const RecordUpload::Places places = RecordUpload::Places::FromIni();
        const QString number = RecordUpload::ClassNumberOf(key, places.courseNoLength);
        QString answer;
        {
            ProgressPanelGuard guard { PanelProgress, LabelProgress };
            if (m_open.submissionOutputs)
                m_open.submissionOutputs(m_dm, this, [this](const QString &stage) { ShowStage(stage); });
            ShowStage(RecordUpload::StageTimeStamps);
            RecordUpload::CheckTimeStamps(m_dm.Con1(), places, key, m_current.DateStart);
            ShowStage(RecordUpload::StageCompressing);
            const QString package = RecordUpload::BuildAuditPackage(places, key);
            ShowStage(RecordUpload::StageUploading);
            FollowUploadProgress(service->client());
            answer = RecordUpload::UploadPackage(*service, number, TrainingService::CheckToken(), package);
        }
        CurrentPrompter().ShowMessage(answer);
    });
}

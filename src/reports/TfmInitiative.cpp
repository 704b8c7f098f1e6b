#include "reports/TfmInitiative.h"

#include "Fun/DateTimeFunctions.h"
#include "core/DbFunctions.h"
#include "Fun/FormGeometryWidget.h"
#include "Fun/FormHelpers.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "dialogs/RecordWindow.h"
#include "dialogs/TFm_Help.h"
#include "dialogs/ChoiceDialogs.h"
#include "dialogs/TDialog_Date.h"
#include "dialogs/Tdialog_course.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"
#include "station/IdentityResolver.h"
#include "station/StationState.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString HelpName = u"報名資料"_s;
const QString SignInCaptionText = u"簽到"_s;

} // namespace

// The grid's title-click sort: the masked identity column sorts by the identity itself.
class EnrolmentSortProxy : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    int maskedColumn = -1;
    int identityColumn = -1;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override
    {
        if (left.column() == maskedColumn && identityColumn >= 0) {
            const QString a = sourceModel()->index(left.row(), identityColumn).data().toString();
            const QString b = sourceModel()->index(right.row(), identityColumn).data().toString();
            return a < b;
        }
        return QSortFilterProxyModel::lessThan(left, right);
    }
};

TfmInitiative::TfmInitiative(TDM &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_records(std::make_unique<EnrolmentRecords>(dm, G().CurrentClassKey, G().CourseNoLength))
{
    setObjectName(u"fmInitiative"_s);
    setWindowTitle(u"報名資料 版本："_s);
    m_record = new RecordWindow(this, u"Nav"_s, 42);
    BuildWindow();
}

TfmInitiative::~TfmInitiative() = default;

int TfmInitiative::Open(TDM &dm, StationState *station, QWidget *parent,
                        const std::function<void(const QString &)> &onSignInCounted)
{
    TfmInitiative window(dm, parent);
    window.setStation(station);
    if (onSignInCounted) {
        connect(&window, &TfmInitiative::SignInCounted, &window,
                [onSignInCounted](const QString &caption) { onSignInCounted(caption); });
    }
    window.exec();
    return window.manualSignIns();
}

// ---- Building -------------------------------------------------------------------------------

QPushButton *TfmInitiative::MakeButton(const QString &name, const QString &caption)
{
    return RecordWindow::MakeToolButton(this, name, caption);
}

void TfmInitiative::BuildWindow()
{
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(BuildToolbar());

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(u"PageControl1"_s);
    PageControl1->addTab(BuildListPage(), u"多筆瀏覽"_s);
    PageControl1->addTab(BuildDetailPage(), u"單筆明細"_s);
    layout->addWidget(PageControl1, 1);

    m_record->Attach({
        .grid = DBGrid1,
        .pages = PageControl1,
        .hasRecord = [this] { return m_currentRid > 0; },
        .applyMode = [this](Mode mode) { ApplyModeStates(mode); },
        .rowChanged = [this] { CurrentRowChanged(); },
        .insertRecord = [this] { NavInsertClick(); },
        .postRecord = [this] { NavPostClick(); },
        .deleteRecord = [this] { DeleteShownPerson(); },
    });
    m_record->SetMode(Mode::Browse);
}

QHBoxLayout *TfmInitiative::BuildToolbar()
{
    QHBoxLayout *toolbar = m_record->MakeToolbar(
        { .editPrefix = u"Nav"_s, .deleteCaption = u" 刪除 "_s, .deleteBeforePost = false },
        { NavInsert, NavEdit, NavPost, NavDelete, NavCancel });
    BitBtnHelp = MakeButton(u"BitBtnHelp"_s, u"Help"_s);
    BitBtnDelAll = MakeButton(u"BitBtnDelAll"_s, u"全刪"_s);
    BitBtnClose = MakeButton(u"BitBtnClose"_s, u"  離  開  "_s);
    toolbar->addStretch(1);
    for (QPushButton *b : { BitBtnHelp, BitBtnDelAll, BitBtnClose })
        toolbar->addWidget(b);
    connect(BitBtnHelp, &QPushButton::clicked, this, &TfmInitiative::BitBtnHelpClick);
    connect(BitBtnDelAll, &QPushButton::clicked, this, &TfmInitiative::BitBtnDelAllClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TfmInitiative::BitBtnCloseClick);
    return toolbar;
}

QWidget *TfmInitiative::BuildListPage()
{
    auto *page = new QWidget(this);
    page->setObjectName(u"TabSheet1"_s);
    m_listPage = page;
    auto *layout = new QVBoxLayout(page);

    // The hint (tool tip) of a search box names the column it searches. Only the boxes of
    // this page are search inputs.
    auto *row = new QHBoxLayout;
    LabelCount = new QLabel(EnrolmentRecords::CountLabel(0), page);
    LabelCount->setObjectName(u"LabelCount"_s);
    LabelCount->setMinimumWidth(90);
    EditName = MakeEdit(page, u"EditName"_s, 30);
    EditName->setToolTip(u"NAME"_s);
    EditIndexKey = MakeEdit(page, u"EditIndexKey"_s);
    EditIndexKey->setToolTip(u"INDEX_KEY"_s);
    EditIndexKey->setVisible(false);
    EditMobile = MakeEdit(page, u"EditMobile"_s, 32);
    EditMobile->setToolTip(u"Mobile"_s);
    EditTel = MakeEdit(page, u"EditTel"_s, 20);
    EditTel->setToolTip(u"TEL"_s);
    EditGhour = MakeEdit(page, u"EditGhour"_s, 4);
    EditGhour->setToolTip(u"Ghour"_s);
    EditID = MakeEdit(page, u"EditID"_s);
    EditID->setToolTip(u"ID"_s);
    EditID->setVisible(false);
    EditIdTail = MakeEdit(page, u"EditIdTail"_s, 10);
    EditIdTail->setPlaceholderText(u"末幾碼"_s);
    EditSignDate = MakeEdit(page, u"EditSignDate"_s, 7);
    EditSignDate->setPlaceholderText(u"YYYMMDD"_s);
    EditSignDate->installEventFilter(this);
    BitBtnQuery = MakeButton(u"BitBtnQuery"_s, u"查詢"_s);
    BitBtnClear = MakeButton(u"BitBtnClear"_s, u"條件清除"_s);

    EditName->setFixedWidth(110);
    EditMobile->setFixedWidth(120);
    EditTel->setFixedWidth(120);
    EditGhour->setFixedWidth(50);
    EditIdTail->setFixedWidth(100);
    EditSignDate->setFixedWidth(90);
    row->addWidget(LabelCount);
    row->addSpacing(12);
    row->addWidget(MakeLabel(page, u"姓名"_s));
    row->addWidget(EditName);
    row->addWidget(MakeLabel(page, u"手機"_s));
    row->addWidget(EditMobile);
    row->addWidget(MakeLabel(page, u"電話"_s));
    row->addWidget(EditTel);
    row->addWidget(MakeLabel(page, u"時數"_s));
    row->addWidget(EditGhour);
    row->addWidget(MakeLabel(page, u"身分證字號"_s));
    row->addWidget(EditIdTail);
    row->addWidget(MakeLabel(page, u"簽到日"_s));
    row->addWidget(EditSignDate);
    row->addSpacing(8);
    row->addWidget(BitBtnQuery);
    row->addWidget(BitBtnClear);
    row->addStretch(1);
    layout->addLayout(row);

    DBGrid1 = new QTableView(page);
    RecordWindow::SetUpRecordGrid(DBGrid1, u"DBGrid1"_s, 26);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    m_model = new QSqlQueryModel(this);
    m_proxy = new EnrolmentSortProxy(this);
    m_proxy->setSourceModel(m_model);
    DBGrid1->setModel(m_proxy);
    EnableGridTitleSort(DBGrid1);
    layout->addWidget(DBGrid1, 1);

    connect(BitBtnQuery, &QPushButton::clicked, this, &TfmInitiative::BitBtnQueryClick);
    connect(BitBtnClear, &QPushButton::clicked, this, &TfmInitiative::BitBtnClearClick);
    for (QLineEdit *box : { EditName, EditMobile, EditTel, EditGhour, EditIdTail, EditSignDate })
        connect(box, &QLineEdit::returnPressed, this, &TfmInitiative::BitBtnQueryClick);
    connect(DBGrid1, &QTableView::doubleClicked, this,
            [this](const QModelIndex &index) { DBGrid1DblClick(index.row(), index.column()); });
    return page;
}

void TfmInitiative::AddDetailField(QWidget *page, const QString &caption, QWidget *field,
                                   const QString &dataColumn)
{
    QLabel *label = MakeLabel(page, caption);
    label->setObjectName(u"Label"_s + dataColumn);
    // The field's data column is its hint. It is kept as a property, not a tool tip, so the
    // detail fields never count as search inputs.
    field->setProperty("dataColumn", dataColumn);
    m_detailFields.append({ field, label, dataColumn });
}

QWidget *TfmInitiative::BuildDetailPage()
{
    auto *page = new QWidget(this);
    page->setObjectName(u"TabSheet2"_s);
    // Read-only fields are greyed, so the operator sees what can be typed.
    page->setStyleSheet(u"QLineEdit[readOnly=\"true\"] { background: #eeeeee; color: #333333; }"_s);
    auto *outer = new QVBoxLayout(page);
    auto *form = new QWidget(page);
    form->setObjectName(u"PanelDetail"_s);
    form->setFixedWidth(840);
    m_detailGrid = new QGridLayout(form);
    m_detailGrid->setContentsMargins(8, 8, 8, 8);
    m_detailGrid->setHorizontalSpacing(10);
    m_detailGrid->setVerticalSpacing(8);
    m_detailGrid->setColumnStretch(1, 1);
    m_detailGrid->setColumnStretch(3, 1);
    outer->addWidget(form, 0, Qt::AlignLeft);
    outer->addStretch(1);

    DBEditNAME = MakeEdit(page, u"DBEditNAME"_s, 30);
    DBEditCalID = MakeEdit(page, u"DBEditCalID"_s, 10);
    DBEditIDNO = MakeEdit(page, u"DBEditIDNO"_s, 10);
    DBEditBookingNo = MakeEdit(page, u"DBEditBookingNo"_s, 20);
    DBEditTEL = MakeEdit(page, u"DBEditTEL"_s, 20);
    DBEditMobile = MakeEdit(page, u"DBEditMobile"_s, 32);
    DBEditCARDID = MakeEdit(page, u"DBEditCARDID"_s, 10);
    DBEditeMail = MakeEdit(page, u"DBEditeMail"_s, 50);
    DBEditBIRTHDAY = MakeEdit(page, u"DBEditBIRTHDAY"_s, 10);
    DBComboJOBTYPE = MakeCombo(page, u"DBComboJOBTYPE"_s, false);
    DBEditGHour = MakeEdit(page, u"DBEditGHour"_s, 2);
    DBEditScore = MakeEdit(page, u"DBEditScore"_s, 5);
    DBEditCR_TYPE = MakeEdit(page, u"DBEditCR_TYPE"_s, 10);
    DBEditCR_DATE = MakeEdit(page, u"DBEditCR_DATE"_s, 19);
    DBComboSEX = MakeCombo(page, u"DBComboSEX"_s, false);
    DBComboSEX->addItems({ QString(), u"男"_s, u"女"_s });
    DBEditLINE = MakeEdit(page, u"DBEditLINE"_s, 30);
    DBEditAddress = MakeEdit(page, u"DBEditAddress"_s, 50);
    DBEditZIP = MakeEdit(page, u"DBEditZIP"_s, 5);

    AddDetailField(page, u"姓名"_s, DBEditNAME, u"NAME"_s);
    AddDetailField(page, u"身分證字號"_s, DBEditCalID, u"CalID"_s);
    AddDetailField(page, u"員工編號"_s, DBEditIDNO, u"IDNO"_s);
    AddDetailField(page, u"報名系統編號"_s, DBEditBookingNo, u"BookingNo"_s);
    AddDetailField(page, u"電話"_s, DBEditTEL, u"TEL"_s);
    AddDetailField(page, u"手機"_s, DBEditMobile, u"Mobile"_s);
    AddDetailField(page, u"卡片序號"_s, DBEditCARDID, u"CARDID"_s);
    AddDetailField(page, u"eMail"_s, DBEditeMail, u"eMail"_s);
    AddDetailField(page, u"生日"_s, DBEditBIRTHDAY, u"BIRTHDAY"_s);
    AddDetailField(page, u"工作類別"_s, DBComboJOBTYPE, u"JobType"_s);
    AddDetailField(page, u"必修時數"_s, DBEditGHour, u"GHour"_s);
    AddDetailField(page, u"選修時數"_s, DBEditScore, u"Score"_s);
    AddDetailField(page, u"新增類別"_s, DBEditCR_TYPE, u"CR_TYPE"_s);
    AddDetailField(page, u"新增日期"_s, DBEditCR_DATE, u"CR_DATE"_s);
    AddDetailField(page, u"性別"_s, DBComboSEX, u"SEX"_s);
    AddDetailField(page, u"即時通"_s, DBEditLINE, u"LINE"_s);
    AddDetailField(page, u"通訊地址"_s, DBEditAddress, u"Address"_s);
    AddDetailField(page, u"郵遞區號"_s, DBEditZIP, u"ZIP"_s);

    // Fixed by the system type: these fields (and their labels) are never shown.
    for (QWidget *field : { static_cast<QWidget *>(DBEditBookingNo), static_cast<QWidget *>(DBEditBIRTHDAY),
                            static_cast<QWidget *>(DBEditCARDID), static_cast<QWidget *>(DBEditCR_TYPE),
                            static_cast<QWidget *>(DBComboSEX) }) {
        m_fixedHidden << field << LabelOf(field);
    }

    // Read-only fields: the name and identity (except for a new person), the hours the reports
    // compute and the creation stamp. The job type is chosen from the list: a new person is an
    // attendee ("學員") unless the operator chooses otherwise.
    for (QLineEdit *field : { DBEditNAME, DBEditCalID, DBEditGHour, DBEditScore, DBEditCR_DATE })
        field->setReadOnly(true);

    // A change the user makes to a field puts the person into edit mode.
    for (const DetailField &df : std::as_const(m_detailFields)) {
        if (auto *edit = qobject_cast<QLineEdit *>(df.field))
            connect(edit, &QLineEdit::textEdited, this, [this] { BeginEdit(); });
        else if (auto *combo = qobject_cast<QComboBox *>(df.field))
            connect(combo, &QComboBox::activated, this, [this] { BeginEdit(); });
    }
    ApplyDetailLayout();
    return page;
}

QLabel *TfmInitiative::LabelOf(QWidget *field) const
{
    for (const DetailField &df : m_detailFields) {
        if (df.field == field)
            return df.label;
    }
    return nullptr;
}

// ---- Activation -----------------------------------------------------------------------------

void TfmInitiative::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_manualSignIns = 0;
    // Run after the window is on screen, so a message it shows has a parent to sit on.
    QTimer::singleShot(0, this, [this] { GuardAction([this] { FormActivate(); }); });
}

void TfmInitiative::FormActivate()
{
    const Globals &g = G();
    setWindowTitle(u"報名資料 版本："_s + g.EditionText + g.VersionText);

    m_records = std::make_unique<EnrolmentRecords>(m_dm, g.CurrentClassKey, g.CourseNoLength);
    const QString storageKind = m_station && !m_station->StorageKind.isEmpty()
        ? m_station->StorageKind
        : ReadIniSetting(IniSection::Base, IniKey::IdentityStoreKind, IdentityKind::DefaultStorage,
                         IdentityKind::DefaultStorage);
    m_identityColumn = EnrolmentRecords::IdentityColumnFor(storageKind, g.IdnoCaption);
    if (!m_record->browsing())
        m_record->SetMode(Mode::Browse);
    PageControl1->setCurrentIndex(0);
    HighlightActiveTab(PageControl1);
    EditIndexKey->setText(m_records->classKey());

    m_loading = true;
    DBComboJOBTYPE->clear();
    DBComboJOBTYPE->addItems(m_records->JobTypeChoices());
    m_loading = false;

    const auto d = FormSizeDefault::fmInitiative;
    RestoreFormGeometry(this, d.top, d.left, d.width, d.height);

    // The sign-in column shows the first kind of sign event the class has.
    m_signInField = EnrolmentRecords::SignInColumnFor(m_records->SignType());
    const QString signInTitle = m_signInField == u"CalIoTime"_s
        ? SignInCaptionText
        : (m_station ? m_station->io3Cap : u"午到"_s);
    m_gridColumns = {
        { m_signInField, signInTitle, 80 }, { u"NAME"_s, u"姓名"_s, 110 },
        { u"CalID"_s, u"身分證字號"_s, 120 }, { u"TEL"_s, u"TEL"_s, 140 },
        { u"Mobile"_s, u"Mobile"_s, 140 }, { u"GHour"_s, u"學習時數"_s, 90 },
        { u"JOBTYPE"_s, u"身分"_s, 90 },
    };
    // Titles from the personnel layout.
    for (GridColumn &column : m_gridColumns) {
        const EnrolmentLayoutEntry entry = EnrolmentRecords::LayoutOf(m_dm.Con1(), column.field);
        if (entry.found && !entry.caption.isEmpty())
            column.title = entry.caption;
    }

    RunSearch(m_currentRid);

    // Detail fields: shown or hidden and captioned by the personnel layout.
    for (const DetailField &df : std::as_const(m_detailFields)) {
        const EnrolmentLayoutEntry entry = EnrolmentRecords::LayoutOf(m_dm.Con1(), df.column);
        df.field->setVisible(entry.visible);
        df.label->setVisible(entry.visible);
        if (entry.visible && entry.found && !entry.caption.isEmpty())
            df.label->setText(entry.caption);
    }
    for (QWidget *widget : std::as_const(m_fixedHidden)) {
        if (widget)
            widget->setVisible(false);
    }
    ApplyDetailLayout();
}

void TfmInitiative::ApplyDetailLayout()
{
    for (const DetailField &df : std::as_const(m_detailFields)) {
        m_detailGrid->removeWidget(df.label);
        m_detailGrid->removeWidget(df.field);
    }
    // The shown fields flow two to a row, so hidden ones leave no gaps.
    int at = 0;
    for (const DetailField &df : std::as_const(m_detailFields)) {
        if (df.field->isHidden())
            continue;
        const int row = at / 2;
        const int column = (at % 2) * 2;
        m_detailGrid->addWidget(df.label, row, column);
        m_detailGrid->addWidget(df.field, row, column + 1);
        ++at;
    }
}

// ---- Searching ------------------------------------------------------------------------------

void TfmInitiative::BitBtnQueryClick()
{
    if (!m_record->browsing())
        return;
    GuardAction([this] { RunSearch(m_currentRid); });
}

void TfmInitiative::RunSearch(int selectRid)
{
    // The free identity box searches by the end of the identity; an empty box searches by none.
    EditID->setText(EnrolmentRecords::IdentityTailValue(EditIdTail->text()));
    const SqlCondition statement
        = m_records->Search(CollectSearchInputs(m_listPage), m_identityColumn, EditSignDate->text());

    QSqlQuery query = RunModelQuery(statement.text, m_dm.Con1(), statement.params);

    m_loading = true;
    m_proxy->sort(-1);
    DBGrid1->horizontalHeader()->setSortIndicatorShown(false);
    m_model->setQuery(std::move(query));
    while (m_model->canFetchMore())
        m_model->fetchMore();
    ApplyGridLayout();
    LabelCount->setText(EnrolmentRecords::CountLabel(m_model->rowCount()));
    m_loading = false;

    if (!SelectPerson(selectRid))
        m_record->SelectRow(0);
}

void TfmInitiative::ApplyGridLayout()
{
    const QSqlRecord record = m_model->record();
    QHeaderView *header = DBGrid1->horizontalHeader();
    for (int c = 0; c < record.count(); ++c)
        DBGrid1->setColumnHidden(c, true);
    int visual = 0;
    for (const GridColumn &column : std::as_const(m_gridColumns)) {
        const int c = record.indexOf(column.field);
        if (c < 0)
            continue;
        m_model->setHeaderData(c, Qt::Horizontal, column.title);
        DBGrid1->setColumnHidden(c, false);
        header->moveSection(header->visualIndex(c), visual++);
        header->setSectionResizeMode(c, QHeaderView::Interactive);
        DBGrid1->setColumnWidth(c, column.width);
    }
    // The title-click sort: the masked identity sorts by the identity, the sign-in column by
    // the time it shows.
    const int masked = record.indexOf(u"CalID"_s);
    if (masked >= 0)
        m_model->setHeaderData(masked, Qt::Horizontal, u"ID"_s, GridFieldNameRole);
    const int signIn = record.indexOf(m_signInField);
    if (signIn >= 0)
        m_model->setHeaderData(signIn, Qt::Horizontal, u"IOTIME"_s, GridFieldNameRole);
    m_proxy->maskedColumn = masked;
    m_proxy->identityColumn = record.indexOf(u"ID"_s);
}

int TfmInitiative::SourceColumn(const QString &field) const
{
    return m_model->record().indexOf(field);
}

int TfmInitiative::GridColumnOf(const QString &field) const
{
    const int c = SourceColumn(field);
    return c >= 0 && !DBGrid1->isColumnHidden(c) ? c : -1;
}

int TfmInitiative::rowCount() const
{
    return m_proxy->rowCount();
}

void TfmInitiative::BitBtnClearClick()
{
    ClearFormInputs(m_listPage);
    EditIndexKey->setText(m_records->classKey());
    EditIdTail->clear();
}

void TfmInitiative::EditSignDateDblClick()
{
    EditSignDate->setText(FormatDateByPattern(u"YYYMMDD"_s, CurrentClock().today()));
}

void TfmInitiative::EditSignDateRightClick()
{
    TDialog_Date::ChooseDateForField(EditSignDate, u"YYYMMDD"_s);
}

bool TfmInitiative::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EditSignDate) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            EditSignDateDblClick();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress
            && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
            GuardAction([this] { EditSignDateRightClick(); });
            return true;
        }
        if (event->type() == QEvent::ContextMenu)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Moving ---------------------------------------------------------------------------------

bool TfmInitiative::SelectPerson(int rid)
{
    return m_record->SelectRid(SourceColumn(u"RID"_s), rid);
}

void TfmInitiative::CurrentRowChanged()
{
    if (m_loading || !m_record->browsing())
        return;
    const QModelIndex current = DBGrid1->selectionModel()->currentIndex();
    const int ridColumn = SourceColumn(u"RID"_s);
    int rid = 0;
    if (current.isValid() && ridColumn >= 0)
        rid = m_proxy->index(current.row(), ridColumn).data().toInt();
    LoadFields(rid);
    m_record->SetMode(Mode::Browse);
}

void TfmInitiative::SetComboValue(QComboBox *combo, const QString &value)
{
    int at = combo->findText(value);
    if (at < 0 && !value.isEmpty()) {
        combo->addItem(value);
        at = combo->count() - 1;
    }
    combo->setCurrentIndex(at);
}

void TfmInitiative::LoadFields(int rid)
{
    m_loading = true;
    m_currentRid = 0;
    m_loadedValues.clear();
    QSqlRecord row;
    const QModelIndex current = DBGrid1->selectionModel()->currentIndex();
    if (rid > 0 && current.isValid())
        row = m_model->record(m_proxy->mapToSource(current).row());
    auto text = [&row](const QString &column) { return row.value(column).toString(); };
    if (!row.isEmpty())
        m_currentRid = rid;

    DBEditNAME->setText(text(u"NAME"_s));
    DBEditCalID->setText(text(u"CalID"_s));
    DBEditIDNO->setText(text(u"IDNO"_s));
    DBEditBookingNo->setText(text(u"BookingNo"_s));
    DBEditTEL->setText(text(u"TEL"_s));
    DBEditMobile->setText(text(u"Mobile"_s));
    DBEditCARDID->setText(text(u"CARDID"_s));
    DBEditeMail->setText(text(u"eMail"_s));
    DBEditBIRTHDAY->setText(text(u"BIRTHDAY"_s));
    SetComboValue(DBComboJOBTYPE, text(u"JOBTYPE"_s));
    DBEditGHour->setText(text(u"GHour"_s));
    DBEditScore->setText(text(u"Score"_s));
    DBEditCR_TYPE->setText(text(u"CR_TYPE"_s));
    DBEditCR_DATE->setText(text(u"CR_DATE"_s));
    SetComboValue(DBComboSEX, text(u"SEX"_s));
    DBEditLINE->setText(text(u"LINE"_s));
    DBEditAddress->setText(text(u"Address"_s));
    DBEditZIP->setText(text(u"ZIP"_s));
    if (m_currentRid > 0)
        m_loadedValues = GatherFields();
    m_loading = false;
}

QVariantMap TfmInitiative::GatherFields() const
{
    QVariantMap values {
        { u"IDNO"_s, DBEditIDNO->text() },         { u"BookingNo"_s, DBEditBookingNo->text() },
        { u"TEL"_s, DBEditTEL->text() },           { u"Mobile"_s, DBEditMobile->text() },
        { u"CARDID"_s, DBEditCARDID->text() },     { u"eMail"_s, DBEditeMail->text() },
        { u"BIRTHDAY"_s, DBEditBIRTHDAY->text() }, { u"JOBTYPE"_s, DBComboJOBTYPE->currentText() },
        { u"CR_TYPE"_s, DBEditCR_TYPE->text() },   { u"SEX"_s, DBComboSEX->currentText() },
        { u"LINE"_s, DBEditLINE->text() },         { u"Address"_s, DBEditAddress->text() },
        { u"ZIP"_s, DBEditZIP->text() },
    };
    if (m_record->mode() == Mode::Insert) {
        values.insert(u"NAME"_s, DBEditNAME->text());
        values.insert(u"ID"_s, DBEditCalID->text().toUpper());
    }
    return values;
}

// ---- Editing --------------------------------------------------------------------------------

void TfmInitiative::ApplyModeStates(Mode mode)
{
    const bool browsing = mode == Mode::Browse;
    BitBtnDelAll->setEnabled(browsing);
    BitBtnQuery->setEnabled(browsing);
    // Name and identity are typed only for a new person; otherwise the identity shows masked.
    const bool inserting = mode == Mode::Insert;
    for (QLineEdit *edit : { DBEditNAME, DBEditCalID }) {
        edit->setReadOnly(!inserting);
        edit->style()->unpolish(edit);
        edit->style()->polish(edit);
    }
}

void TfmInitiative::BeginEdit()
{
    if (m_loading || !m_record->browsing() || m_currentRid <= 0)
        return;
    m_record->SetMode(Mode::Edit);
}

void TfmInitiative::NavInsertClick()
{
    if (!m_record->browsing())
        return;
    GuardAction([this] {
        m_record->ShowDetailPage();
        m_newValues = m_records->NewRowValues(CurrentClock().now());
        m_loading = true;
        for (const DetailField &df : std::as_const(m_detailFields)) {
            if (auto *edit = qobject_cast<QLineEdit *>(df.field))
                edit->clear();
        }
        DBComboSEX->setCurrentIndex(0);
        SetComboValue(DBComboJOBTYPE, m_newValues.value(u"JOBTYPE"_s).toString());
        DBEditCR_TYPE->setText(m_newValues.value(u"CR_TYPE"_s).toString());
        DBEditCR_DATE->setText(m_newValues.value(u"CR_DATE"_s).toString());
        m_loading = false;
        m_record->SetMode(Mode::Insert);
        DBEditNAME->setFocus();
    });
}

void TfmInitiative::NavPostClick()
{
    if (m_record->browsing())
        return;
    GuardAction([this] {
        int rid = m_currentRid;
        if (m_record->mode() == Mode::Insert) {
            QVariantMap values = m_newValues;
            const QVariantMap typed = GatherFields();
            for (auto it = typed.cbegin(); it != typed.cend(); ++it)
                values.insert(it.key(), it.value());
            // An identity number that is none is refused; another kind of number is warned about.
            const NewIdentityCheck check = EnrolmentRecords::CheckNewIdentity(values.value(u"ID"_s).toString());
            if (check.verdict == NewIdentityCheck::Verdict::Refuse) {
                CurrentPrompter().ShowError(check.message);
                DBEditCalID->setFocus();
                return;
            }
            if (check.verdict == NewIdentityCheck::Verdict::Warn
                && !AskYesNo(check.message, u"是"_s, u"否"_s)) {
                DBEditCalID->setFocus();
                return;
            }
            rid = m_records->InsertRow(values);
        } else {
            // Only what the operator changed is written.
            QVariantMap changed;
            const QVariantMap typed = GatherFields();
            for (auto it = typed.cbegin(); it != typed.cend(); ++it) {
                if (it.value().toString() != m_loadedValues.value(it.key()).toString())
                    changed.insert(it.key(), it.value());
            }
            m_records->UpdateRow(rid, changed);
        }
        m_record->SetMode(Mode::Browse);
        RunSearch(rid);
    });
}

void TfmInitiative::DeleteShownPerson()
{
    m_records->DeleteRow(m_currentRid);
    m_currentRid = 0;
    RunSearch(0);
}

void TfmInitiative::BitBtnDelAllClick()
{
    if (!m_record->browsing())
        return;
    GuardAction([this] {
        if (m_records->DeleteAllFound())
            RunSearch(0);
    });
}

// ---- Manual sign-in -------------------------------------------------------------------------

QString TfmInitiative::SignInCaption() const
{
    const int counter = m_station ? m_station->InCnt : m_manualSignIns;
    return SignInCaptionText + u"("_s + QString::number(counter) + u")"_s;
}

void TfmInitiative::DBGrid1DblClick(int viewRow, int viewColumn)
{
    if (!m_record->browsing() || viewRow < 0 || viewRow >= m_proxy->rowCount())
        return;
    // The row double-clicked is the current one.
    if (m_record->currentRow() != viewRow)
        m_record->SelectRow(viewRow);
    if (viewColumn == SourceColumn(u"NAME"_s)) {
        m_record->ShowDetailPage();
        return;
    }
    if (viewColumn != SourceColumn(m_signInField))
        return;
    // A person who shows a sign-in time is left alone.
    if (!m_proxy->index(viewRow, viewColumn).data().toString().trimmed().isEmpty())
        return;
    const int rid = m_proxy->index(viewRow, SourceColumn(u"RID"_s)).data().toInt();
    if (rid <= 0)
        return;

    GuardAction([this, rid] {
        const QDateTime now = CurrentClock().now();
        const std::optional<QString> key = ManualSignInKey(now);
        if (!key)
            return; // no lesson chosen: nothing is stored
        ManualSignInContext context;
        context.indexKey = *key;
        if (m_station) {
            context.stationNo = m_station->StationNo;
            context.preBooking = m_station->preBooking;
        } else {
            context.stationNo = ReadIniSetting(IniSection::Base, IniKey::StationNo,
                                               IniDefault::StationNo, IniDefault::StationNo);
            context.preBooking = m_records->ClassRequiresEnrolment();
        }
        context.identityColumn = m_identityColumn;
        context.identityCaption = m_identityColumn == u"IDNO"_s ? G().IdnoCaption : IdentityKind::FullId;
        const ManualSignInResult result = m_records->ManualSignIn(rid, context, now);
        RunSearch(rid);
        if (result.outcome != ManualSignInResult::Outcome::Stored)
            return;
        ++m_manualSignIns;
        if (m_station)
            ++m_station->InCnt;
        emit SignInCounted(SignInCaption());
    });
}

std::optional<QString> TfmInitiative::ManualSignInKey(const QDateTime &now)
{
    // The lesson selected on the sign-in screen, when it serves this class.
    const QString selected = m_station
            && m_station->ClassKey.trimmed().compare(m_records->classKey().trimmed(), Qt::CaseInsensitive) == 0
        ? m_station->CourseCode
        : QString();
    // The station's own windows around a lesson ("0" when not set: the lesson itself).
    const auto minutes = [](const QString &key) {
        return StrToIntSafe(ReadIniSetting(IniSection::Base, key, QString(), u"0"_s));
    };
    std::optional<QString> key = m_records->ManualSignInKey(
        selected, now, minutes(IniKey::MinutesBeforeStart), minutes(IniKey::MinutesAfterEnd));
    if (key)
        return key;

    // No lesson is in progress: the operator chooses it.
    const auto [first, last] = m_records->ClassDates();
    Tdialog_course dialog(m_dm, {G().CurrentClassKey, first, last}, this);
    dialog.exec();
    if (!dialog.chosen() || dialog.choice().FullLessonKey.trimmed().isEmpty())
        return std::nullopt;
    return dialog.choice().FullLessonKey.trimmed();
}

// ---- Help and leaving -----------------------------------------------------------------------

void TfmInitiative::BitBtnHelpClick()
{
    TFm_Help::ShowHelpOfPage(m_dm, HelpName, PageControl1, this);
}

void TfmInitiative::BitBtnCloseClick()
{
    reject();
}

void TfmInitiative::done(int result)
{
    // A person being added or changed is not dropped unseen.
    if (!m_record->ConfirmLeave())
        return;
    SaveFormGeometry(this);
    QDialog::done(result);
}

#include "station/TfmPSIO_Booking.h"

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
#include "core/DataFolders.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"
#include "station/IdentityResolver.h"
#include "station/SignEventTransfer.h"
#include "station/StationState.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString HelpName = u"刷卡明細"_s;
const QString HelpSubject = u"多筆瀏覽"_s;
const QString MissingPicture = u"unSign.jpg"_s;
constexpr QSize SmallPanel(120, 90);
constexpr QSize LargePanel(360, 270);
constexpr int Margin = 6;

QLineEdit *SearchEdit(QWidget *parent, const QString &name, const QString &hint, int width)
{
    QLineEdit *edit = MakeEdit(parent, name);
    edit->setToolTip(hint);
    edit->setFixedWidth(width);
    return edit;
}

// The grid of the window: a table view that can drop the cell editor it has open without
// handing its text to the model ("  取消  ").
class RecordsGrid final : public QTableView
{
public:
    using QTableView::QTableView;

    // Hands the text of an open cell editor to the model and closes it.
    void CommitEditor()
    {
        if (QWidget *editor = OpenEditor()) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }

    // Closes an open cell editor; what was typed in it is dropped.
    void DiscardEditor()
    {
        if (QWidget *editor = OpenEditor())
            closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }

private:
    // The editor has the focus while it is open (the toolbar buttons take none).
    QWidget *OpenEditor() const
    {
        if (state() != QAbstractItemView::EditingState)
            return nullptr;
        QWidget *focus = QApplication::focusWidget();
        while (focus && focus->parentWidget() != viewport())
            focus = focus->parentWidget();
        return focus;
    }
};

} // namespace

TfmPSIO_Booking::TfmPSIO_Booking(TDM &dm, const StationState *station, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_station(station)
{
    setObjectName(u"fmPSIO_Booking"_s);
    setWindowTitle(u"報名刷卡簽到退明細資料"_s);
    setSizeGripEnabled(true);
    StationNo = ReadIniSetting(IniSection::Base, IniKey::StationNo, IniDefault::StationNo,
                               IniDefault::StationNo);
    m_record = new RecordWindow(this, u"Btn"_s, 40);
    BuildWindow();
}

TfmPSIO_Booking::~TfmPSIO_Booking() = default;

void TfmPSIO_Booking::Open(TDM &dm, const StationState *station, QWidget *parent)
{
    TfmPSIO_Booking window(dm, station, parent);
    window.exec();
}

void TfmPSIO_Booking::BuildWindow()
{
    // The top part leaves room at the right for the small picture panel.
    auto *top = new QVBoxLayout;
    top->setContentsMargins(0, 0, SmallPanel.width() + Margin, 0);
    top->setSpacing(6);
    top->addLayout(BuildToolbar());
    top->addWidget(BuildSearchPanel());

    BuildRecordsGrid();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(Margin, Margin, Margin, Margin);
    layout->setSpacing(6);
    layout->addLayout(top);
    layout->addWidget(DBGrid4, 1);

    BuildPicturePanel();
    m_record->Attach({
        .grid = DBGrid4,
        .moveToRow = [this](int row) { SelectRow(row); },
    });
    connect(DBGrid4->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TfmPSIO_Booking::DBGrid4TitleClick);
    connect(DBGrid4->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                RowChanged(current.isValid() ? current.row() : -1,
                           previous.isValid() ? previous.row() : -1);
            });
}

QHBoxLayout *TfmPSIO_Booking::BuildToolbar()
{
    m_record->first()->setToolTip(u"First"_s);
    m_record->prior()->setToolTip(u"Prior"_s);
    m_record->next()->setToolTip(u"Next"_s);
    m_record->last()->setToolTip(u"Last"_s);
    // Toolbar buttons take no focus, so pressing one never closes an open cell editor first.
    BitBtnDelete = RecordWindow::MakeToolButton(this, u"BitBtnDelete"_s, u"刪除"_s);
    BitBtnCancel = RecordWindow::MakeToolButton(this, u"BitBtnCancel"_s, u"  取消  "_s);
    BitBtnEdit = RecordWindow::MakeToolButton(this, u"BitBtnEdit"_s, u"Edit"_s);
    BitBtnPost = RecordWindow::MakeToolButton(this, u"BitBtnPost"_s, u"確認"_s);
    BitBtnExport = RecordWindow::MakeToolButton(this, u"BitBtnExport"_s, u"匯出"_s);
    BitBtnImport = RecordWindow::MakeToolButton(this, u"BitBtnImport"_s, u"匯入"_s);
    BitBtnHelp = RecordWindow::MakeToolButton(this, u"BitBtnHelp"_s, u"Help"_s);
    BitBtnClose = RecordWindow::MakeToolButton(this, u"BitBtnClose"_s, u"離開"_s);
    // Cells are edited in place; the grid posts them when the row is left.
    BitBtnEdit->hide();
    BitBtnPost->hide();
    BitBtnExport->setToolTip(u"本站的刷卡資料匯出成交換檔，帶到電腦編號 00 匯入"_s);
    BitBtnImport->setToolTip(u"匯入其他電腦匯出的刷卡資料交換檔（限電腦編號 00）"_s);

    QHBoxLayout *toolbar = m_record->MakeNavigationRow();
    toolbar->setSpacing(4);
    toolbar->addSpacing(12);
    for (QPushButton *b : {BitBtnDelete, BitBtnCancel, BitBtnEdit, BitBtnPost})
        toolbar->addWidget(b);
    toolbar->addSpacing(12);
    toolbar->addWidget(BitBtnExport);
    toolbar->addWidget(BitBtnImport);
    toolbar->addSpacing(12);
    toolbar->addWidget(BitBtnHelp);
    toolbar->addWidget(BitBtnClose);
    toolbar->addStretch();

    connect(BitBtnDelete, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnDeleteClick);
    connect(BitBtnCancel, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnCancelClick);
    connect(BitBtnPost, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnPostClick);
    connect(BitBtnExport, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnExportClick);
    connect(BitBtnImport, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnImportClick);
    connect(BitBtnHelp, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnHelpClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnCloseClick);
    return toolbar;
}

QWidget *TfmPSIO_Booking::BuildSearchPanel()
{
    // Search inputs, in the order their conditions are written.
    auto *search = new QWidget(this);
    search->setObjectName(u"PanelSearch"_s);
    Edit4 = SearchEdit(search, u"Edit4"_s, u"INDEX_KEY"_s, 130);
    Edit6 = SearchEdit(search, u"Edit6"_s, u"Booking->NAME"_s, 100);
    Edit15 = SearchEdit(search, u"Edit15"_s, u"IDNO"_s, 110);
    Edit14 = SearchEdit(search, u"Edit14"_s, u"IODATE"_s, 90);
    Edit1 = SearchEdit(search, u"Edit1"_s, u"IOTIME"_s, 80);
    Edit2 = SearchEdit(search, u"Edit2"_s, u"NTP"_s, 50);
    Edit9 = SearchEdit(search, u"Edit9"_s, u"DOOR"_s, 50);
    ComboBox4 = MakeCombo(search, u"ComboBox4"_s, false);
    ComboBox4->setToolTip(u"IOTYPE"_s);
    ComboBox4->setMinimumWidth(110);
    ComboBox12 = MakeCombo(search, u"ComboBox12"_s, false);
    ComboBox12->setToolTip(u"IOWay"_s);
    ComboBox12->addItems(SignWayItems());
    ComboBox12->setMinimumWidth(110);
    Edit10 = SearchEdit(search, u"Edit10"_s, u"Booking->GNAME"_s, 80);
    Edit10->hide();
    ComboBox13 = MakeCombo(search, u"ComboBox13"_s, false);
    ComboBox13->setToolTip(u"Booking->GHOUR"_s);
    ComboBox13->hide();
    for (QLineEdit *e : {Edit14, Edit1, Edit2}) {
        e->setContextMenuPolicy(Qt::NoContextMenu);
        e->installEventFilter(this);
    }
    BitBtnQry = new QPushButton(u"查詢"_s, search);
    BitBtnQry->setObjectName(u"BitBtnQry"_s);
    // Enter in a search input searches.
    BitBtnQry->setDefault(true);
    BitBtnClear = MakeButton(search, u"BitBtnClear"_s, u"條件清除"_s);
    LabelIdno = MakeLabel(search, u"學員編號"_s);
    LabelIdno->setObjectName(u"LabelIdno"_s);
    LayOutSearchPanel(search);

    connect(BitBtnQry, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnQryClick);
    connect(BitBtnClear, &QPushButton::clicked, this, &TfmPSIO_Booking::BitBtnClearClick);
    return search;
}

void TfmPSIO_Booking::LayOutSearchPanel(QWidget *search)
{
    auto *grid = new QGridLayout(search);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    grid->addWidget(MakeLabel(search, u"講習編號"_s), 0, 0);
    grid->addWidget(Edit4, 0, 1);
    grid->addWidget(MakeLabel(search, u"姓名"_s), 0, 2);
    grid->addWidget(Edit6, 0, 3);
    grid->addWidget(LabelIdno, 0, 4);
    grid->addWidget(Edit15, 0, 5);
    grid->addWidget(MakeLabel(search, u"卡別"_s), 0, 6);
    grid->addWidget(ComboBox4, 0, 7);
    grid->addWidget(BitBtnQry, 0, 9);
    grid->addWidget(MakeLabel(search, u"日期"_s), 1, 0);
    grid->addWidget(Edit14, 1, 1);
    grid->addWidget(MakeLabel(search, u"時間"_s), 1, 2);
    grid->addWidget(Edit1, 1, 3);
    grid->addWidget(MakeLabel(search, u"校時"_s), 1, 4);
    {
        auto *box = new QHBoxLayout;
        box->setSpacing(6);
        box->addWidget(Edit2);
        box->addWidget(MakeLabel(search, u"電腦"_s));
        box->addWidget(Edit9);
        box->addStretch();
        grid->addLayout(box, 1, 5);
    }
    grid->addWidget(MakeLabel(search, u"方式"_s), 1, 6);
    grid->addWidget(ComboBox12, 1, 7);
    grid->addWidget(BitBtnClear, 1, 9);
    grid->setColumnStretch(8, 1);

    auto *counts = new QHBoxLayout;
    counts->setSpacing(18);
    for (int i = 1; i <= 6; ++i) {
        auto *label = new QLabel(search);
        label->setObjectName(u"Lab_Iotype"_s + QString::number(i));
        label->setStyleSheet(u"color: #1f4e9a; font-weight: bold;"_s);
        Lab_Iotype << label;
        counts->addWidget(label);
    }
    counts->addStretch();
    grid->addLayout(counts, 2, 0, 1, 10);
}

void TfmPSIO_Booking::BuildRecordsGrid()
{
    auto *records = new RecordsGrid(this);
    DBGrid4 = records;
    RecordWindow::SetUpRecordGrid(DBGrid4, u"DBGrid4"_s, 24);
    DBGrid4->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed);
    DBGrid4->horizontalHeader()->setSectionsClickable(true);
    m_records = new SignEventRecords(m_dm, this);
    DBGrid4->setModel(m_records);
    const QList<int> widths{48, 110, 90, 80, 70, 60, 55, 80, 70, 220, 40, 100, 45};
    for (int c = 0; c < SignEventRecords::ColumnCount; ++c) {
        DBGrid4->setColumnWidth(c, widths.value(c, 80));
        DBGrid4->setColumnHidden(c, SignEventRecords::IsHiddenColumn(c));
    }
}

void TfmPSIO_Booking::BuildPicturePanel()
{
    // The picture panel floats at the right edge.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(u"Panel1"_s);
    Panel1->setFrameShape(QFrame::Box);
    Panel1->setStyleSheet(u"QFrame#Panel1 { background: #f4f4f4; border: 1px solid #9a9a9a; }"_s);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(u"Image1"_s);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setScaledContents(true);
    Image1->setToolTip(u"按兩下放大或縮小"_s);
    Image1->installEventFilter(this);
    auto *panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    panelLayout->addWidget(Image1);
    Panel1->resize(SmallPanel);
    Panel1->hide();
}

QString TfmPSIO_Booking::ClassNumber() const
{
    return ClassNumberOfKey(G().CurrentClassKey, G().CourseNoLength);
}

// --- Opening ---

void TfmPSIO_Booking::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormActivate();
    QDialog::showEvent(event);
}

void TfmPSIO_Booking::FormActivate()
{
    const FormSizeDefault::Geometry d = FormSizeDefault::fmPSIO_Booking;
    RestoreFormGeometry(this, d.top, d.left, d.width, d.height);
    setWindowTitle(u"報名刷卡簽到退明細資料 版本："_s + G().EditionText + G().VersionText);

    GuardAction([this] {
        // Picture folder, snapshot rule and photo switch, as the sign-in screen has them.
        m_pictureDir = ReadIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, QString(), QString());
        if (m_pictureDir.trimmed().isEmpty())
            m_pictureDir = ReadDataFolders().images;
        m_snapshotRule = m_station
            ? m_station->photoSubPathRule
            : ReadIniSetting(IniSection::Base, IniKey::PhotoSubPathRule, u"年月"_s, u"年月"_s);
        try {
            m_photoOn = ReadIniBool(IniSection::Base, IniKey::PhotoOnSign, false);
        } catch (const ConversionError &) {
            m_photoOn = false;
        }

        const QString storageKind = m_station && !m_station->StorageKind.isEmpty()
            ? m_station->StorageKind
            : ReadIniSetting(IniSection::Base, IniKey::IdentityStoreKind,
                             IdentityKind::DefaultStorage, IdentityKind::DefaultStorage);
        SignTypeCaptions captions;
        if (m_station) {
            captions.io3Cap = m_station->io3Cap;
            captions.io4Cap = m_station->io4Cap;
            captions.io5Cap = m_station->io5Cap;
            captions.io6Cap = m_station->io6Cap;
        }
        m_records->Open(G().CurrentClassKey, storageKind, captions);
        LabelIdno->setText(storageKind);

        // The type list with the station's captions; the hidden hours list.
        const QString type = ComboBox4->currentText();
        ComboBox4->clear();
        ComboBox4->addItems(SignTypeItems(captions));
        ComboBox4->setCurrentIndex(qMax(0, ComboBox4->findText(type)));
        ComboBox13->clear();
        ComboBox13->addItems(QueryToListOn(QString(), u"select Distinct DEPT from Booking  "_s, m_dm.Con1()));
        ComboBox13->setCurrentIndex(-1);

        Edit4->setText(ClassNumber());
    });
    BitBtnQryClick();
    Panel1->setVisible(m_photoOn);
    PlacePanel1();
    DBGrid4->setFocus();
}

void TfmPSIO_Booking::done(int result)
{
    if (!PostPendingEdit())
        return;
    SaveFormGeometry(this);
    QDialog::done(result);
}

// --- Searching ---

void TfmPSIO_Booking::BitBtnQryClick()
{
    GuardAction([this] {
        const QList<SearchInput> inputs = CollectSearchInputs(this);
        m_records->Search(inputs);
        const QStringList captions = SignCountCaptions(m_records->CountByType(inputs), m_records->captions());
        for (int i = 0; i < Lab_Iotype.size(); ++i)
            Lab_Iotype.at(i)->setText(captions.value(i));
    });
    SelectRow(m_records->rowCount() > 0 ? 0 : -1);
}

void TfmPSIO_Booking::BitBtnClearClick()
{
    // Every search input, the time and clock flag included, so nothing typed earlier keeps
    // narrowing the next search unseen.
    ClearFormInputs(this);
    Edit4->setText(ClassNumber());
}

// --- Rows ---

void TfmPSIO_Booking::SelectRow(int row)
{
    if (row >= 0 && row < m_records->rowCount()) {
        const int column = DBGrid4->currentIndex().isValid() ? DBGrid4->currentIndex().column()
                                                             : int(SignEventRecords::ColDate);
        DBGrid4->setCurrentIndex(m_records->index(row, column));
        DBGrid4->scrollTo(m_records->index(row, column));
    } else {
        DBGrid4->setCurrentIndex(QModelIndex());
        ShowSnapshot(-1);
    }
}

void TfmPSIO_Booking::RowChanged(int row, int previous)
{
    if (previous >= 0 && m_records->hasPendingEdit() && m_records->pendingRow() != row)
        PostPendingEdit();
    ShowSnapshot(row);
}

bool TfmPSIO_Booking::PostPendingEdit()
{
    static_cast<RecordsGrid *>(DBGrid4)->CommitEditor();
    return GuardAction([this] { m_records->PostPending(); });
}

void TfmPSIO_Booking::ShowSnapshot(int row)
{
    if (!m_photoOn)
        return;
    // The station may have filed the snapshot under either layout (its rule can have changed).
    QString path = m_records->FindSnapshotOf(row, m_pictureDir, m_snapshotRule,
                                             m_station ? m_station->photoSubPath : QString(),
                                             G().CourseNoLength);
    if (path.isEmpty())
        path = JoinPath(G().programDir(), MissingPicture);
    m_shownPicture = path;
    const QPixmap picture(path);
    if (picture.isNull()) {
        Image1->setPixmap(QPixmap());
        Image1->setText(u"無影像"_s);
    } else {
        Image1->setPixmap(picture);
    }
}

void TfmPSIO_Booking::DBGrid4TitleClick(int column)
{
    static_cast<RecordsGrid *>(DBGrid4)->CommitEditor();
    const int rid = m_records->Rid(DBGrid4->currentIndex().row());
    bool sorted = false;
    GuardAction([this, column, &sorted] { sorted = m_records->SortByColumn(column); });
    if (!sorted)
        return;
    const bool descending = m_records->sortText().endsWith(u" DESC"_s);
    DBGrid4->horizontalHeader()->setSortIndicatorShown(true);
    DBGrid4->horizontalHeader()->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    SelectRow(rid != 0 ? m_records->RowOfRid(rid) : 0);
}

// --- Edits and deletion ---

void TfmPSIO_Booking::BitBtnDeleteClick()
{
    const int row = DBGrid4->currentIndex().row();
    if (row < 0)
        return;
    static_cast<RecordsGrid *>(DBGrid4)->CommitEditor();
    GuardAction([this, row] {
        m_records->DeleteRow(row);
        SelectRow(qMin(row, m_records->rowCount() - 1));
    });
}

void TfmPSIO_Booking::BitBtnCancelClick()
{
    static_cast<RecordsGrid *>(DBGrid4)->DiscardEditor();
    m_records->CancelPending();
}

void TfmPSIO_Booking::BitBtnPostClick()
{
    PostPendingEdit();
}

// --- Exchange between stations ---

void TfmPSIO_Booking::BitBtnExportClick()
{
    if (!PostPendingEdit())
        return;
    GuardAction([this] {
        SignEventTransfer::ExportEvents(m_dm.Con1(), StationNo, Edit4->text(), G().CurrentClassKey,
                                        G().CourseNoLength, m_pictureDir, m_snapshotRule);
    });
}

void TfmPSIO_Booking::BitBtnImportClick()
{
    if (StationNo != u"00"_s) {
        CurrentPrompter().ShowMessage(SignEventTransfer::ImportRefused);
        return;
    }
    const QString start = SignEventTransfer::ExportFolder(m_pictureDir, G().CurrentClassKey, G().CourseNoLength);
    const QString path = QFileDialog::getOpenFileName(this, u"匯入"_s, start, u"*.tmp (*.tmp)"_s);
    if (path.isEmpty())
        return;
    ImportFile(path);
}

void TfmPSIO_Booking::ImportFile(const QString &path)
{
    if (!PostPendingEdit())
        return;
    GuardAction([this, &path] { SignEventTransfer::ImportEvents(m_dm.Con1(), StationNo, path); });
    // The events imported show at once.
    BitBtnQryClick();
}

// --- Help and closing ---

void TfmPSIO_Booking::BitBtnHelpClick()
{
    TFm_Help::ShowHelp(m_dm, HelpName, HelpSubject, this);
}

void TfmPSIO_Booking::BitBtnCloseClick()
{
    close();
}

// --- Picture panel and date helpers ---

void TfmPSIO_Booking::Image1DblClick()
{
    m_panelLarge = !m_panelLarge;
    PlacePanel1();
}

void TfmPSIO_Booking::PlacePanel1()
{
    const QSize size = m_panelLarge ? LargePanel : SmallPanel;
    QRect rect(QPoint(width() - size.width() - Margin, Margin), size);
    // Where it would cover the search buttons it stands below "條件清除".
    const QRect buttons = QRect(BitBtnQry->mapTo(this, QPoint(0, 0)), BitBtnQry->size())
                              .united(QRect(BitBtnClear->mapTo(this, QPoint(0, 0)), BitBtnClear->size()));
    if (rect.intersects(buttons))
        rect.moveTop(buttons.bottom() + Margin);
    Panel1->setGeometry(rect);
    Panel1->raise();
}

void TfmPSIO_Booking::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    PlacePanel1();
}

void TfmPSIO_Booking::DateFieldDblClick(QLineEdit *field)
{
    field->setText(FormatDateByPattern(u"YYYMMDD"_s, CurrentClock().today()));
}

void TfmPSIO_Booking::DateFieldRightClick(QLineEdit *field)
{
    TDialog_Date::ChooseDateForField(field, u"YYYMMDD"_s);
}

bool TfmPSIO_Booking::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonDblClick) {
        Image1DblClick();
        return true;
    }
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (field && (field == Edit14 || field == Edit1 || field == Edit2)) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            DateFieldDblClick(field);
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress
            && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
            DateFieldRightClick(field);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

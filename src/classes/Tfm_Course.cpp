#include "classes/Tfm_Course.h"

#include "Fun/DateTimeFunctions.h"
#include "Fun/FormGeometryWidget.h"
#include "Fun/FormHelpers.h"
#include "Fun/QueryBuilder.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "classes/CourseUpload.h"
#include "classes/TrainingService.h"
#include "dialogs/RecordWindow.h"
#include "dialogs/TFm_Help.h"
#include "dialogs/TDialog_Date.h"
#include "base/Globals.h"
#include "base/RolvanError.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString HelpName = u"課程明細"_s;

QLabel *MakeHint(QWidget *parent, const QString &caption)
{
    auto *label = new QLabel(caption, parent);
    label->setStyleSheet(u"color: #1f4e9a;"_s);
    return label;
}

void SetComboText(QComboBox *combo, const QString &text)
{
    if (combo->isEditable()) {
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
        return;
    }
    int index = combo->findText(text);
    if (index < 0) {
        combo->addItem(text);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

void RefillCombo(QComboBox *combo, const QStringList &items)
{
    const QString text = combo->currentText();
    combo->clear();
    combo->addItems(items);
    SetComboText(combo, text);
}

} // namespace

Tfm_Course::Tfm_Course(TDM &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
{
    setObjectName(u"fm_Course"_s);
    setWindowTitle(u"課程明細"_s);
    setSizeGripEnabled(true);
    m_record = new RecordWindow(this, u"Btn"_s, 40);
    BuildWindow();
}

Tfm_Course::~Tfm_Course() = default;

void Tfm_Course::BuildWindow()
{
    QHBoxLayout *toolbar = BuildToolbar();
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(u"PageControl1"_s);
    PageControl1->addTab(BuildListPage(), u"多筆瀏覽"_s);
    PageControl1->addTab(BuildDetailPage(), u"單筆明細"_s);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(toolbar);
    layout->addWidget(PageControl1, 1);

    m_record->Attach({
        .grid = DBGrid1,
        .pages = PageControl1,
        .hasRecord = [this] { return currentRid() != 0; },
        // What is sent is what is stored: no upload while a lesson is being edited.
        .applyMode = [this](Mode mode) { BitBtnUpload->setEnabled(mode == Mode::Browse); },
        .rowChanged = [this] { CurrentRowChanged(); },
        .insertRecord = [this] { BitBtnInsertClick(); },
        .postRecord = [this] { BitBtnPostClick(); },
        .deleteRecord = [this] { DeleteShownLesson(); },
        .navigationNeedsRecord = true,
    });
    connect(DBGrid1, &QTableView::doubleClicked, this, &Tfm_Course::DBGrid1DblClick);
    ConnectLessonFields();
    m_record->SetMode(Mode::Browse);
}

QHBoxLayout *Tfm_Course::BuildToolbar()
{
    QHBoxLayout *toolbar = m_record->MakeToolbar(
        {.editPrefix = u"BitBtn"_s, .deleteCaption = u" 刪除 "_s, .deleteBeforePost = false,
         .groupGap = 12},
        {BitBtnInsert, BitBtnEdit, BitBtnPost, BitBtnDelete, BitBtnCancel});
    BitBtnHelp = RecordWindow::MakeToolButton(this, u"BitBtnHelp"_s, u"Help"_s);
    BitBtnClose = RecordWindow::MakeToolButton(this, u"BitBtnClose"_s, u"離開"_s);
    BitBtnUpload = RecordWindow::MakeToolButton(this, u"BitBtnUpload"_s, u"課程上傳"_s);
    toolbar->setSpacing(4);
    toolbar->addSpacing(12);
    toolbar->addWidget(BitBtnHelp);
    toolbar->addWidget(BitBtnClose);
    toolbar->addStretch();
    toolbar->addWidget(BitBtnUpload);
    connect(BitBtnHelp, &QPushButton::clicked, this, &Tfm_Course::BitBtnHelpClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &Tfm_Course::BitBtnCloseClick);
    connect(BitBtnUpload, &QPushButton::clicked, this, &Tfm_Course::BitBtnUploadClick);
    return toolbar;
}

QWidget *Tfm_Course::BuildListPage()
{
    auto *browse = new QWidget(PageControl1);
    browse->setObjectName(u"TabSheet1"_s);
    DBGrid1 = new QTableView(browse);
    RecordWindow::SetUpRecordGrid(DBGrid1, u"DBGrid1"_s, 24);
    m_model = new QSqlQueryModel(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    DBGrid1->setModel(m_proxy);
    EnableGridTitleSort(DBGrid1);
    auto *browseLayout = new QVBoxLayout(browse);
    browseLayout->setContentsMargins(4, 4, 4, 4);
    browseLayout->addWidget(DBGrid1);
    return browse;
}

QWidget *Tfm_Course::BuildDetailPage()
{
    auto *detail = new QWidget(PageControl1);
    detail->setObjectName(u"TabSheet2"_s);
    CreateLessonFields(detail);
    auto *detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(16, 16, 16, 16);
    detailLayout->addLayout(LayOutLessonFields(detail));
    return detail;
}

void Tfm_Course::CreateLessonFields(QWidget *detail)
{
    DBEditCNo4 = MakeEdit(detail, u"DBEditCNo4"_s, 50);
    DBLookupCNo4 = MakeCombo(detail, u"DBLookupCNo4"_s, false);
    DBComboCNo2 = MakeCombo(detail, u"DBComboCNo2"_s, false);
    DBComboCNo2->addItems({QString(), u"必修"_s, u"選修"_s});
    DBComboSubject = MakeCombo(detail, u"DBComboSubject"_s, true);
    DBComboSubject->lineEdit()->setMaxLength(50);
    DBEditDateStart = MakeEdit(detail, u"DBEditDateStart"_s, 10);
    DBEditDateStart->setContextMenuPolicy(Qt::NoContextMenu);
    DBComboTimeStart = MakeCombo(detail, u"DBComboTimeStart"_s, true);
    DBComboTimeStart->lineEdit()->setMaxLength(5);
    DBComboTimeEnd = MakeCombo(detail, u"DBComboTimeEnd"_s, true);
    DBComboTimeEnd->lineEdit()->setMaxLength(5);
    DBEditHours = MakeEdit(detail, u"DBEditHours"_s, 5);
    DBEditHours->setValidator(new QIntValidator(0, 32767, DBEditHours));
    DBComboTeacher = MakeCombo(detail, u"DBComboTeacher"_s, true);
    DBComboTeacher->lineEdit()->setMaxLength(10);
    DBEditTeacherID = MakeEdit(detail, u"DBEditTeacherID"_s, 10);
    DBEditNoonRS = MakeEdit(detail, u"DBEditNoonRS"_s, 5);
    DBEditNoonRE = MakeEdit(detail, u"DBEditNoonRE"_s, 5);
    DBEditNightRS = MakeEdit(detail, u"DBEditNightRS"_s, 5);
    DBEditNightRE = MakeEdit(detail, u"DBEditNightRE"_s, 5);
    DBEditR1 = MakeEdit(detail, u"DBEditR1"_s, 5);
    DBEditR2 = MakeEdit(detail, u"DBEditR2"_s, 5);
    DBEditR3 = MakeEdit(detail, u"DBEditR3"_s, 5);
    DBMemoCourseContent = new QPlainTextEdit(detail);
    DBMemoCourseContent->setObjectName(u"DBMemoCourseContent"_s);
    DBMemoCourseContent->setTabChangesFocus(true);

    const int timeWidth = 70;
    for (QLineEdit *e : OptionalTimeFields())
        e->setFixedWidth(timeWidth);
    DBEditCNo4->setFixedWidth(90);
    DBEditHours->setFixedWidth(60);
    DBEditDateStart->setFixedWidth(120);
    DBComboTimeStart->setFixedWidth(100);
    DBComboTimeEnd->setFixedWidth(100);
    DBComboCNo2->setMinimumWidth(90);
}

namespace {

// Widgets side by side at the left of a grid cell.
QHBoxLayout *Span(std::initializer_list<QWidget *> widgets)
{
    auto *box = new QHBoxLayout;
    box->setSpacing(6);
    for (QWidget *w : widgets)
        box->addWidget(w);
    box->addStretch();
    return box;
}

} // namespace

QGridLayout *Tfm_Course::LayOutLessonFields(QWidget *detail)
{
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(10);
    int row = 0;

    grid->addWidget(MakeLabel(detail, u"編號"_s), row, 0);
    {
        auto *box = Span({DBEditCNo4, DBLookupCNo4});
        box->setStretch(1, 1);
        grid->addLayout(box, row, 1);
    }
    grid->addWidget(MakeLabel(detail, u"必選修"_s), row, 2);
    grid->addLayout(Span({DBComboCNo2}), row, 3);
    ++row;
    grid->addWidget(MakeLabel(detail, u"課程名稱"_s), row, 0);
    grid->addWidget(DBComboSubject, row, 1, 1, 3);
    ++row;
    grid->addWidget(MakeLabel(detail, u"日期"_s), row, 0);
    grid->addLayout(Span({DBEditDateStart, MakeHint(detail, u"格式2019/05/31"_s)}), row, 1);
    grid->addWidget(MakeLabel(detail, u"核定時數"_s), row, 2);
    grid->addLayout(Span({DBEditHours}), row, 3);
    ++row;
    grid->addWidget(MakeLabel(detail, u"上課起時"_s), row, 0);
    grid->addLayout(Span({DBComboTimeStart, MakeHint(detail, u"格式09:30"_s)}), row, 1);
    grid->addWidget(MakeLabel(detail, u"下課時間"_s), row, 2);
    grid->addLayout(Span({DBComboTimeEnd}), row, 3);
    ++row;
    grid->addWidget(MakeLabel(detail, u"講師"_s), row, 0);
    grid->addWidget(DBComboTeacher, row, 1);
    grid->addWidget(MakeLabel(detail, u"講師身分證字號"_s), row, 2);
    grid->addWidget(DBEditTeacherID, row, 3);
    ++row;
    grid->addWidget(MakeLabel(detail, u"午休時段"_s), row, 0);
    grid->addLayout(Span({DBEditNoonRS, new QLabel(u"～"_s, detail), DBEditNoonRE,
                          MakeHint(detail, u"格式12:30"_s)}),
                    row, 1);
    grid->addWidget(MakeLabel(detail, u"晚餐時段"_s), row, 2);
    grid->addLayout(Span({DBEditNightRS, new QLabel(u"～"_s, detail), DBEditNightRE}), row, 3);
    ++row;
    grid->addWidget(MakeLabel(detail, u"早點名"_s), row, 0);
    grid->addLayout(Span({DBEditR1, MakeLabel(detail, u"下午點名"_s), DBEditR2,
                          MakeLabel(detail, u"晚點名"_s), DBEditR3}),
                    row, 1);
    ++row;
    grid->addWidget(MakeLabel(detail, u"課程備註"_s), row, 0, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(DBMemoCourseContent, row, 1, 1, 3);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 2);
    return grid;
}

void Tfm_Course::ConnectLessonFields()
{
    // Typing into any field starts editing the lesson.
    const auto edited = [this] { BeginEdit(); };
    for (QLineEdit *e : {DBEditCNo4, DBEditDateStart, DBEditHours, DBEditTeacherID, DBEditNoonRS,
                         DBEditNoonRE, DBEditNightRS, DBEditNightRE, DBEditR1, DBEditR2, DBEditR3})
        connect(e, &QLineEdit::textEdited, this, edited);
    for (QComboBox *c : {DBComboSubject, DBComboTimeStart, DBComboTimeEnd, DBComboTeacher}) {
        connect(c->lineEdit(), &QLineEdit::textEdited, this, edited);
        connect(c, &QComboBox::activated, this, edited);
    }
    connect(DBComboCNo2, &QComboBox::activated, this, edited);
    connect(DBMemoCourseContent, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            BeginEdit();
    });

    // Editing aids.
    connect(DBComboTeacher, &QComboBox::editTextChanged, this, &Tfm_Course::DBComboTeacherChange);
    connect(DBEditCNo4, &QLineEdit::textChanged, this, [this] { ShowLookupOfNumber(); });
    connect(DBLookupCNo4, &QComboBox::activated, this, &Tfm_Course::DBLookupCNo4Change);
    DBEditDateStart->installEventFilter(this);
    DBEditTeacherID->installEventFilter(this);
    for (QLineEdit *e : OptionalTimeFields())
        e->installEventFilter(this);
}

QList<QLineEdit *> Tfm_Course::OptionalTimeFields() const
{
    return {DBEditNoonRS, DBEditNoonRE, DBEditNightRS, DBEditNightRE, DBEditR1, DBEditR2, DBEditR3};
}

int Tfm_Course::OpenForClass(const QString &classKey)
{
    G().CurrentClassKey = classKey.trimmed();
    return exec();
}

int Tfm_Course::currentRid() const
{
    const QModelIndex current = DBGrid1->currentIndex();
    if (!current.isValid())
        return 0;
    return m_proxy->index(current.row(), 0).data().toInt();
}

// --- Opening ---

void Tfm_Course::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        Activate();
    QDialog::showEvent(event);
}

void Tfm_Course::Activate()
{
    setWindowTitle(u"課程明細  版本："_s + G().EditionText + G().VersionText);
    m_rules = std::make_unique<LessonRules>(m_dm, G().CurrentClassKey, G().CourseNoLength);
    const FormSizeDefault::Geometry d = FormSizeDefault::fm_Course;
    RestoreFormGeometry(this, d.top, d.left, d.width, d.height);
    m_record->SetMode(Mode::Browse);
    GuardAction([this] {
        FillDropDowns();
        ReloadList(0);
    });
    PageControl1->setCurrentIndex(0);
    HighlightActiveTab(PageControl1);
    DBGrid1->setFocus();
}

void Tfm_Course::FillDropDowns()
{
    const bool wasLoading = m_loading;
    m_loading = true;
    DBLookupCNo4->clear();
    for (const SubjectCode &subject : LessonRules::SubjectList(m_dm.Con1()))
        DBLookupCNo4->addItem(subject.description, subject.code);
    RefillCombo(DBComboSubject, LessonRules::DistinctValues(m_dm.Con1(), u"Subject"_s));
    RefillCombo(DBComboTimeStart, LessonRules::DistinctValues(m_dm.Con1(), u"TimeStart"_s));
    RefillCombo(DBComboTimeEnd, LessonRules::DistinctValues(m_dm.Con1(), u"TimeEnd"_s));
    RefillCombo(DBComboTeacher, LessonRules::DistinctValues(m_dm.Con1(), u"teacher"_s));
    ShowLookupOfNumber();
    m_loading = wasLoading;
}

void Tfm_Course::ReloadList(int selectRid)
{
    QSqlQuery query(m_dm.Con1());
    query.prepare(LessonRules::ListSql());
    for (const QVariant &value : m_rules->listParams())
        query.addBindValue(value);
    if (!query.exec())
        throw DatabaseError(LessonRules::ListSql() + u"\n"_s + query.lastError().text());
    m_model->setQuery(std::move(query));
    while (m_model->canFetchMore())
        m_model->fetchMore();

    const QStringList captions = {u"RID"_s, u"日期"_s, u"課程"_s, u"起時"_s, u"迄時"_s,
                                  u"時數"_s, u"講師"_s, u"編號"_s};
    for (int c = 0; c < captions.size(); ++c)
        m_model->setHeaderData(c, Qt::Horizontal, captions[c]);
    DBGrid1->setColumnHidden(0, true);
    const QList<int> widths = {0, 110, 330, 70, 70, 60, 110, 80};
    for (int c = 1; c < widths.size(); ++c)
        DBGrid1->setColumnWidth(c, widths[c]);

    if (!m_record->SelectRid(0, selectRid))
        m_record->SelectRow(0);
}

// The list moved to a row: show it and remember its date, start time and number.
void Tfm_Course::CurrentRowChanged()
{
    if (!m_record->browsing() || !m_rules)
        return;
    GuardAction([this] {
        const int rid = currentRid();
        const std::optional<LessonRecord> lesson
            = rid != 0 ? m_rules->LoadLesson(rid) : std::nullopt;
        LoadFields(lesson.value_or(LessonRecord{}));
        m_remembered = lesson ? RememberedLesson{lesson->DateStart, lesson->TimeStart, lesson->CNo4}
                              : RememberedLesson{};
    });
    m_record->SetMode(Mode::Browse);
}

void Tfm_Course::LoadFields(const LessonRecord &lesson)
{
    const bool wasLoading = m_loading;
    m_loading = true;
    DBEditCNo4->setText(lesson.CNo4);
    SetComboText(DBComboCNo2, lesson.CNo2);
    SetComboText(DBComboSubject, lesson.Subject);
    DBEditDateStart->setText(lesson.DateStart);
    SetComboText(DBComboTimeStart, lesson.TimeStart);
    SetComboText(DBComboTimeEnd, lesson.TimeEnd);
    DBEditHours->setText(lesson.Hours);
    SetComboText(DBComboTeacher, lesson.teacher);
    DBEditTeacherID->setText(lesson.teacherID);
    DBEditNoonRS->setText(lesson.noonRS);
    DBEditNoonRE->setText(lesson.noonRE);
    DBEditNightRS->setText(lesson.nightRS);
    DBEditNightRE->setText(lesson.nightRE);
    DBEditR1->setText(lesson.R1);
    DBEditR2->setText(lesson.R2);
    DBEditR3->setText(lesson.R3);
    DBMemoCourseContent->setPlainText(lesson.CourseContent);
    ShowLookupOfNumber();
    m_loading = wasLoading;
}

LessonRecord Tfm_Course::GatherFields() const
{
    LessonRecord lesson;
    lesson.CNo4 = DBEditCNo4->text();
    lesson.CNo2 = DBComboCNo2->currentText();
    lesson.Subject = DBComboSubject->currentText();
    lesson.DateStart = DBEditDateStart->text();
    lesson.TimeStart = DBComboTimeStart->currentText();
    lesson.TimeEnd = DBComboTimeEnd->currentText();
    lesson.Hours = DBEditHours->text();
    lesson.teacher = DBComboTeacher->currentText();
    lesson.teacherID = DBEditTeacherID->text();
    lesson.noonRS = DBEditNoonRS->text();
    lesson.noonRE = DBEditNoonRE->text();
    lesson.nightRS = DBEditNightRS->text();
    lesson.nightRE = DBEditNightRE->text();
    lesson.R1 = DBEditR1->text();
    lesson.R2 = DBEditR2->text();
    lesson.R3 = DBEditR3->text();
    lesson.CourseContent = DBMemoCourseContent->toPlainText();
    return lesson;
}

// --- Modes ---

void Tfm_Course::BeginEdit()
{
    if (m_loading || !m_record->browsing())
        return;
    if (currentRid() != 0) {
        m_record->SetMode(Mode::Edit);
    } else {
        // Typing into an empty list starts a new lesson.
        m_remembered = RememberedLesson{};
        m_record->SetMode(Mode::Insert);
    }
}

// --- Toolbar ---

void Tfm_Course::BitBtnInsertClick()
{
    if (!m_record->browsing())
        return;
    m_record->SetMode(Mode::Insert);
    LoadFields(LessonRecord{});
    // A new row remembers the values it has when it is inserted: none.
    m_remembered = RememberedLesson{};
    m_record->ShowDetailPage();
    DBEditCNo4->setFocus();
}

void Tfm_Course::BitBtnPostClick()
{
    if (m_record->browsing())
        return;
    GuardAction([this] {
        LessonRecord lesson = GatherFields();
        lesson.RID = m_record->mode() == Mode::Insert ? 0 : currentRid();
        const int rid = m_rules->StoreLesson(lesson, m_remembered);
        if (rid == 0)
            return; // refused: the lesson stays in editing
        m_record->SetMode(Mode::Browse);
        FillDropDowns();
        ReloadList(rid);
    });
}

void Tfm_Course::DeleteShownLesson()
{
    const int rid = currentRid();
    const std::optional<LessonRecord> lesson = m_rules->LoadLesson(rid);
    m_rules->DeleteLesson(rid, lesson ? lesson->Subject : QString());
    ReloadList(0);
}

void Tfm_Course::BitBtnHelpClick()
{
    TFm_Help::ShowHelpOfPage(m_dm, HelpName, PageControl1, this);
}

void Tfm_Course::BitBtnUploadClick()
{
    GuardAction([this] {
        const QString classKey = G().CurrentClassKey.trimmed();
        // The class number as the class window shows it: the class key without its echelon.
        const QString courseId = classKey.left(qMax(0, int(classKey.size()) - 2)).trimmed();
        const QString stationNo = ReadIniSetting(IniSection::Base, IniKey::StationNo, IniDefault::StationNo,
                                                 IniDefault::StationNo);
        TrainingService service(ServiceSettings::FromIni());
        const CourseUpload::Outcome outcome = CourseUpload::Upload(service, m_dm.Con1(), stationNo, classKey, courseId);
        if (outcome.sent || outcome.refused)
            CurrentPrompter().ShowMessage(outcome.message);
        else
            CurrentPrompter().ShowError(outcome.message);
    });
}

void Tfm_Course::BitBtnCloseClick()
{
    close();
}

// --- Closing ---

void Tfm_Course::done(int result)
{
    if (!m_record->ConfirmLeave())
        return;
    SaveFormGeometry(this);
    // The days of the class that have lessons, whether or not anything changed.
    if (m_rules)
        GuardAction([this] { m_rules->WriteDateBet(); });
    QDialog::done(result);
}

// --- List and editing aids ---

void Tfm_Course::DBGrid1DblClick()
{
    m_record->ShowDetailPage();
}

void Tfm_Course::DBComboTeacherChange()
{
    if (m_loading || !m_rules)
        return;
    BeginEdit();
    GuardAction([this] {
        DBEditTeacherID->setText(m_rules->TeacherIdOfName(DBComboTeacher->currentText()));
    });
}

void Tfm_Course::DBEditTeacherIDDblClick()
{
    if (!m_rules)
        return;
    BeginEdit();
    GuardAction([this] {
        DBEditTeacherID->setText(m_rules->TeacherIdOfName(DBComboTeacher->currentText()));
    });
}

void Tfm_Course::DBEditDateStartDblClick()
{
    BeginEdit();
    DBEditDateStart->setText(FormatDateByPattern(QString(), CurrentClock().today()));
}

void Tfm_Course::DBEditDateStartRightClick()
{
    if (TDialog_Date::ChooseDateForField(DBEditDateStart))
        BeginEdit();
}

void Tfm_Course::DBLookupCNo4Change(int index)
{
    if (index < 0)
        return;
    BeginEdit();
    DBEditCNo4->setText(DBLookupCNo4->itemData(index).toString());
}

// The look-up beside the number shows the subject of that number.
void Tfm_Course::ShowLookupOfNumber()
{
    const int index = DBLookupCNo4->findData(DBEditCNo4->text().trimmed());
    if (DBLookupCNo4->currentIndex() != index)
        DBLookupCNo4->setCurrentIndex(index);
}

bool Tfm_Course::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == DBEditDateStart) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            DBEditDateStartDblClick();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress
            && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
            DBEditDateStartRightClick();
            return true;
        }
    } else if (watched == DBEditTeacherID) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            DBEditTeacherIDDblClick();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        auto *field = qobject_cast<QLineEdit *>(watched);
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        const bool leftByUser = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason
                                || reason == Qt::MouseFocusReason
                                || reason == Qt::ShortcutFocusReason;
        if (field && leftByUser && !m_refocusing && !m_loading
            && OptionalTimeFields().contains(field)) {
            // Checked once the focus has settled, so the message does not interrupt the move.
            QTimer::singleShot(0, this, [this, field] {
                if (!isVisible() || LessonRules::IsOptionalTimeAcceptable(field->text()))
                    return;
                CurrentPrompter().ShowMessage(LessonRules::LeaveFieldMessage());
                m_refocusing = true;
                field->setFocus(Qt::OtherFocusReason);
                m_refocusing = false;
            });
        }
    }
    return QDialog::eventFilter(watched, event);
}

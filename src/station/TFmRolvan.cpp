#include "station/TFmRolvan.h"

#include "Fun/DateTimeFunctions.h"
#include "Fun/FormGeometryWidget.h"
#include "Fun/FormHelpers.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "dialogs/TFm_Help.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "platform/CameraSource.h"
#include "platform/Clock.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"
#include "station/TfmPSIO_Booking.h"
#include "station/TVideoImage.h"
#include "station/ClockSync.h"
#include "station/StationWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmapCache>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// Type codes in the order of the buttons RadioButton1 .. RadioButton6.
const QStringList TypeCodes = {u"0"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s};
const QString NoClassCaption = u"講習：進入講習選定點選講習"_s;
const QString HistoryHeaderTail =
    u"  姓名                         時間                  刷卡影像                              "_s;

// Keypad sizes.
constexpr int KeypadWidth = 252;
constexpr int KeypadTitleHeight = 30;
constexpr int KeypadDigitHeight = 40;
constexpr int KeypadLetterHeight = 32;
// Type buttons in Panel1: two rows, arrivals above, departures below.
constexpr int TypeRowTop = 4;
constexpr int TypeRowHeight = 28;

QFont Scaled(const QFont &base, double factor, bool bold = false)
{
    QFont f = base;
    f.setPointSizeF(base.pointSizeF() * factor);
    f.setBold(bold);
    return f;
}

QString ReadBase(const QString &key, const QString &defaultValue)
{
    return ReadIniSetting(IniSection::Base, key, QString(), defaultValue);
}

void SetTextColour(QWidget *widget, QRgb colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgb(colour));
    palette.setColor(QPalette::ButtonText, QColor::fromRgb(colour));
    widget->setPalette(palette);
}

// The snapshot warning across the bottom of the camera preview: it is about the pictures.
QRect SnapshotWarningRect(const QRect &video, const QLabel *label)
{
    const int forWidth = label->heightForWidth(video.width());
    const int height = forWidth > 0 ? forWidth : label->sizeHint().height();
    return QRect(video.left(), video.bottom() - height + 1, video.width(), height);
}

} // namespace

TFmRolvan::TFmRolvan(TDM &dm, WindowOpeners openers, QWidget *parent)
    : QMainWindow(parent)
    , m_dm(dm)
    , m_open(std::move(openers))
    , m_resolver(m_station, dm)
    , m_recorder(m_station, dm, m_resolver, *this)
    , m_lessons(m_station, dm)
{
    setObjectName(u"FmRolvan"_s);
    G().StartDir = QDir::currentPath();
    // Every class or lesson change reloads the station settings through the window.
    m_lessons.SetSettingsLoader([this] { GetSetting(); });
    // Snapshots are encoded at the quality the station is set to.
    m_station.PhotoQuality = StrToIntSafe(ReadBase(IniKey::PhotoQuality, u"15"_s));
    CreateComponents();
    setMinimumSize(MinimumStationSize());
    RestoreFormGeometry(this, 0, 0, 980, 710);

    m_timer = new QTimer(this);
    m_timer->setObjectName(u"Timer1"_s);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &TFmRolvan::Timer1Timer);
    m_timer->start();
    Timer1Timer();
}

TFmRolvan::~TFmRolvan()
{
    StopCamera();
}

// ---- Components ------------------------------------------------------------------------------

void TFmRolvan::CreateComponents()
{
    auto *client = new QWidget(this);
    client->setObjectName(u"ClientArea"_s);
    setCentralWidget(client);
    CreateTitlePanels(client);
    CreateTypePanel(client);
    CreateHistoryRows(client);
    CreateVideoPanel(client);
    CreateCommandButtons(client);
    CreateLessonPanel(client);
    CreateEntryRow(client);
    CreateKeypad(client);

    // Before any class is loaded the six type buttons stand where the design puts them.
    TypePanelView design;
    const int lefts[] = {11, 11, 162, 162, 313, 313};
    for (int i = 0; i < TypeCodes.size(); ++i)
        design.buttons.append({TypeCodes.at(i), TypeButtons.at(i)->objectName(), true, lefts[i]});
    design.buttons.append({u"9"_s, RadioButton9->objectName(), false, 464});
    m_typePanel = design;
}

// The organisation's name and the class the station serves.
void TFmRolvan::CreateTitlePanels(QWidget *client)
{
    const QFont base = font();
    PanelCompany = Named(new QLabel(client), u"PanelCompany"_s);
    PanelCompany->setAlignment(Qt::AlignCenter);
    PanelCompany->setFont(Scaled(base, 1.8, true));
    PanelCompany->setStyleSheet(u"background:#1f4e79; color:white;"_s);

    PanelClass = Named(new QLabel(NoClassCaption, client), u"PanelClass"_s);
    PanelClass->setFont(Scaled(base, 1.3, true));
    PanelClass->setStyleSheet(u"background:#dde8f3; color:#102a43; padding-left:6px;"_s);
}

// The event-type buttons and the automatic switch.
void TFmRolvan::CreateTypePanel(QWidget *client)
{
    const QFont base = font();
    Panel1 = Named(new QLabel(client), u"Panel1"_s);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFont(Scaled(base, 1.1, true));
    Panel1->setStyleSheet(u"QLabel#Panel1 { background:#f0f0f0; color:#a00000; }"_s);
    const QStringList captions = {u"簽到"_s, u"簽退"_s, m_station.io3Cap,
                                  m_station.io4Cap, m_station.io5Cap, m_station.io6Cap};
    for (int i = 0; i < captions.size(); ++i) {
        auto *button = new QRadioButton(captions.at(i), Panel1);
        button->setObjectName(u"RadioButton%1"_s.arg(i + 1));
        button->setToolTip(TypeCodes.at(i)); // the hint is the type code
        TypeButtons << button;
    }
    RadioButton9 = Named(new QRadioButton(u"點名"_s, Panel1), u"RadioButton9"_s);
    RadioButton9->setToolTip(u"9"_s);
    RadioButton9->hide();
    QList<QRadioButton *> allTypes = TypeButtons;
    allTypes << RadioButton9;
    for (QRadioButton *button : allTypes) {
        // The window keeps the checks itself: a refused type is unchecked again, and no type
        // may be checked at all.
        button->setAutoExclusive(false);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFont(Scaled(base, 1.2, true));
        SetTextColour(button, m_station.RowColor);
        const QString code = button->toolTip();
        connect(button, &QRadioButton::clicked, this, [this, code] { TypeButtonClick(code); });
        button->installEventFilter(this);
    }
    CheckBox1 = Named(new QCheckBox(u"自動"_s, Panel1), u"CheckBox1"_s);
    CheckBox1->setFont(Scaled(base, 1.1, true));
    CheckBox1->setFocusPolicy(Qt::NoFocus);
    connect(CheckBox1, &QCheckBox::clicked, this, &TFmRolvan::CheckBox1MouseUp);
}

// The rows of the last events with their pictures, and the notices under them.
void TFmRolvan::CreateHistoryRows(QWidget *client)
{
    const QFont base = font();
    Label5 = Named(new QLabel(client), u"Label5"_s);
    Label5->setStyleSheet(u"background:#404040; color:white; padding-left:4px;"_s);

    PanelIO = Named(new QWidget(client), u"PanelIO"_s);
    for (int i = 1; i <= StationLayout::HistoryRows; ++i) {
        auto *row = new QLabel(i == 1 ? PanelIO : client);
        row->setObjectName(u"LabIO%1"_s.arg(i));
        row->setFont(Scaled(base, i == 1 ? 1.6 : 1.3, true));
        row->setAutoFillBackground(true);
        QPalette palette = row->palette();
        palette.setColor(QPalette::Window, QColor(i % 2 ? 0xf4f8fc : 0xe6eef7));
        row->setPalette(palette);
        row->setContentsMargins(6, 0, 4, 0);
        row->installEventFilter(this); // right mouse button: delete the event
        LabIO << row;
        auto *picture = new QLabel(client);
        picture->setObjectName(u"Image%1"_s.arg(i));
        picture->setScaledContents(true);
        picture->setStyleSheet(u"background:#d0d0d0; border:1px solid #b0b0b0;"_s);
        Image << picture;
    }

    LabIoOk = Named(new QLabel(client), u"LabIoOk"_s);
    LabIoOk->setStyleSheet(u"background:red; color:yellow; padding:2px 6px;"_s);
    LabIoOk->setFont(Scaled(base, 1.3, true));
    LabIoOk->hide();

    // A snapshot that could not be stored: the event is, but the operator must know.
    LabPhotoWarn = Named(new QLabel(client), u"LabPhotoWarn"_s);
    LabPhotoWarn->setStyleSheet(u"background:#fff200; color:#a00000; padding:2px 6px;"_s);
    LabPhotoWarn->setFont(Scaled(base, 1.1, true));
    LabPhotoWarn->setWordWrap(true);
    LabPhotoWarn->hide();

    ClockNotice = new ClockNoticePanel(client);
    ClockNotice->setFont(Scaled(base, 1.1));
    connect(ClockNotice, &ClockNoticePanel::answered, this, [this](bool understood) {
        if (m_clockSync)
            m_clockSync->AnswerReminder(understood);
        FocusEntryIfWanted();
    });
}

// The camera picture with its device list (shown by a double-click).
void TFmRolvan::CreateVideoPanel(QWidget *client)
{
    PanelVideo = Named(new QWidget(client), u"PanelVideo"_s);
    PanelVideo->setStyleSheet(u"background:black;"_s);
    VideoCap1 = Named(new VideoPaintBox(PanelVideo), u"VideoCap1"_s);
    ComboBox2 = Named(new QComboBox(PanelVideo), u"ComboBox2"_s);
    ComboBox2->setStyleSheet(u"background:white;"_s);
    ComboBox2->hide();
    ComboBox2->installEventFilter(this);
    connect(VideoCap1, &VideoPaintBox::doubleClicked, this,
            [this] { ComboBox2->setVisible(!ComboBox2->isVisible()); });
    connect(ComboBox2, &QComboBox::activated, this, &TFmRolvan::ComboBox2Change);
    PanelVideo->hide();
}

// The buttons that lead elsewhere: class choice, enrolment, help, administration, closing.
void TFmRolvan::CreateCommandButtons(QWidget *client)
{
    const QFont base = font();
    BitBtn2 = Named(new QPushButton(u"講習選定"_s, client), u"BitBtn2"_s);
    BitBtn25 = Named(new QPushButton(u"學員"_s, client), u"BitBtn25"_s);
    BitBtn25->setToolTip(u"學員資料"_s);
    // The enrolment records belong to a class: the button waits for one.
    BitBtn25->setEnabled(false);
    BitBtn19 = Named(new QPushButton(u"說明"_s, client), u"BitBtn19"_s);
    BitBtn19->setToolTip(u"簽到說明"_s);
    BitBtn11 = Named(new QPushButton(u"管理"_s, client), u"BitBtn11"_s);
    BitBtn11->setToolTip(u"系統管理"_s);
    BitBtnClose = Named(new QPushButton(u"結束"_s, client), u"BitBtnClose"_s);
    BitBtn8 = Named(new QPushButton(u"列印"_s, client), u"BitBtn8"_s);
    BitBtn8->setToolTip(u"列印作業"_s);
    BitBtn14 = Named(new QPushButton(u"明細"_s, client), u"BitBtn14"_s);
    BitBtn14->setToolTip(u"簽到退明細"_s);
    for (QPushButton *b : {BitBtn8, BitBtn14}) {
        b->hide();
        b->setEnabled(false);
    }
    for (QPushButton *b : {BitBtn2, BitBtn25, BitBtn19, BitBtn11, BitBtnClose})
        b->setFont(Scaled(base, 1.3, true));
    connect(BitBtn2, &QPushButton::clicked, this, &TFmRolvan::ChooseClassClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TFmRolvan::BitBtnCloseClick);
    connect(BitBtn11, &QPushButton::clicked, this, &TFmRolvan::AdministrationClick);
    connect(BitBtn19, &QPushButton::clicked, this, &TFmRolvan::HelpClick);
    connect(BitBtn8, &QPushButton::clicked, this, &TFmRolvan::PrintClick);
    connect(BitBtn14, &QPushButton::clicked, this, &TFmRolvan::SignEventRecordsClick);
    connect(BitBtn25, &QPushButton::clicked, this, &TFmRolvan::EnrolmentClick);
}

// Date, time and today's lessons.
void TFmRolvan::CreateLessonPanel(QWidget *client)
{
    const QFont base = font();
    Panel2 = Named(new QWidget(client), u"Panel2"_s);
    Panel2->setAutoFillBackground(true);
    auto *grid = new QGridLayout(Panel2);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(4);
    grid->addWidget(new QLabel(u"日期"_s, Panel2), 0, 0);
    LabelDispDate = Named(new QLabel(Panel2), u"LabelDispDate"_s);
    LabelDispDate->setFont(Scaled(base, 1.3, true));
    grid->addWidget(LabelDispDate, 0, 1);
    grid->addWidget(new QLabel(u"時刻"_s, Panel2), 0, 2);
    LabelDispTime = Named(new QLabel(Panel2), u"LabelDispTime"_s);
    LabelDispTime->setFont(Scaled(base, 1.3, true));
    grid->addWidget(LabelDispTime, 0, 3);
    grid->addWidget(new QLabel(u"今日課程"_s, Panel2), 1, 0);
    ComboBox1 = Named(new LessonBox(Panel2), u"ComboBox1"_s);
    ComboBox1->setFont(Scaled(base, 1.1));
    ComboBox1->setMinimumContentsLength(8);
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    grid->addWidget(ComboBox1, 1, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    connect(ComboBox1, &LessonBox::aboutToShowPopup, this, &TFmRolvan::ComboBox1DropDown);
    connect(ComboBox1, &QComboBox::activated, this, &TFmRolvan::ComboBox1Select);
}

// The identity entry with its buttons, and the manual-kind selector.
void TFmRolvan::CreateEntryRow(QWidget *client)
{
    const QFont base = font();
    Label10 = Named(new QLabel(u"鍵盤或螢幕輸入身分證末5碼"_s, client), u"Label10"_s);
    Label10->setFont(Scaled(base, 1.3, true));
    Label10->setAlignment(Qt::AlignCenter);
    Label10->setContentsMargins(6, 0, 6, 0);
    Edit1 = Named(new QLineEdit(client), u"Edit1"_s);
    Edit1->setFont(Scaled(base, 1.6, true));
    connect(Edit1, &QLineEdit::returnPressed, this, &TFmRolvan::Edit1KeyEnter);
    // A clock notice that came while an entry was typed shows once the field is empty again.
    connect(Edit1, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            ShowPendingClockNotice();
    });
    BitBtn3 = Named(new QPushButton(u"確認"_s, client), u"BitBtn3"_s);
    BitBtn5 = Named(new QPushButton(u"螢幕輸入"_s, client), u"BitBtn5"_s);
    for (QPushButton *b : {BitBtn3, BitBtn5})
        b->setFont(Scaled(base, 1.2, true));
    connect(BitBtn3, &QPushButton::clicked, this, &TFmRolvan::ConfirmEntryClick);
    connect(BitBtn5, &QPushButton::clicked, this, &TFmRolvan::ShowKeypadClick);

    // The manual-kind selector: not offered, fixed at the last five characters.
    LabelManualKind = Named(new QLabel(u"手動輸入種類"_s, client), u"LabelManualKind"_s);
    LabelManualKind->hide();
    ComboBox4 = Named(new QComboBox(client), u"ComboBox4"_s);
    ComboBox4->addItem(m_station.ManualKind);
    ComboBox4->hide();
    connect(ComboBox4, &QComboBox::currentTextChanged, this, [this](const QString &kind) {
        GuardAction([&] {
            m_station.ManualKind = kind;
            WriteIniSetting(IniSection::Base, IniKey::LastManualInputKind, kind);
        });
    });
}

void TFmRolvan::CreateKeypad(QWidget *client)
{
    const QFont base = font();
    Panel3 = Named(new QWidget(client), u"Panel3"_s);
    Panel3->setAutoFillBackground(true);
    Panel3->setStyleSheet(u"QWidget#Panel3 { background:#e9eef5; border:1px solid #8aa0b8; }"_s);
    LabelKeypad = Named(new QLabel(ScreenKeypad::IdleText(), Panel3), u"LabelKeypad"_s);
    LabelKeypad->setAlignment(Qt::AlignCenter);
    LabelKeypad->setFont(Scaled(base, 1.3, true));
    LabelKeypad->setStyleSheet(u"background:white; border:1px solid #8aa0b8;"_s);
    SpeedButton1 = Named(new QToolButton(Panel3), u"SpeedButton1"_s);
    SpeedButton1->setText(u"×"_s);
    SpeedButton1->setToolTip(u"關閉螢幕輸入"_s);
    connect(SpeedButton1, &QToolButton::clicked, this, &TFmRolvan::SpeedButton1Click);

    const auto key = [&](const QString &name, const QString &caption, int height) {
        auto *button = Named(new QPushButton(caption, Panel3), name);
        button->setFocusPolicy(Qt::NoFocus); // the input field keeps the caret
        button->setFont(Scaled(base, height >= KeypadDigitHeight ? 1.5 : 1.2, true));
        return button;
    };
    const QString digits = u"1234567890"_s;
    for (int i = 0; i < digits.size(); ++i) {
        QPushButton *button = key(u"Button%1"_s.arg(i + 1), digits.mid(i, 1), KeypadDigitHeight);
        connect(button, &QPushButton::clicked, this, [this, button] { KeyClick(button->text()); });
        DigitButtons << button;
    }
    for (int i = 0; i < 26; ++i) {
        QPushButton *button = key(u"Button%1"_s.arg(13 + i), QString(QChar(char16_t(u'A' + i))), KeypadLetterHeight);
        connect(button, &QPushButton::clicked, this, [this, button] { KeyClick(button->text()); });
        LetterButtons << button;
    }
    BitBtn6 = key(u"BitBtn6"_s, u"BackSpace"_s, KeypadDigitHeight);
    BitBtn7 = key(u"BitBtn7"_s, u"Clear"_s, KeypadLetterHeight);
    connect(BitBtn6, &QPushButton::clicked, this, &TFmRolvan::BitBtn6Click);
    connect(BitBtn7, &QPushButton::clicked, this, &TFmRolvan::BitBtn7Click);
    Panel3->hide();
    ApplyKeypadLayout();
}

// Places the keys: the letter rows only when a whole identity number is keyed or numbers
// may carry letters.
void TFmRolvan::ApplyKeypadLayout()
{
    const bool letters = m_station.ManualKind == IdentityKind::FullId || m_lettersOn;
    const KeypadGeometry k =
        KeypadLayout(KeypadWidth, KeypadTitleHeight, KeypadDigitHeight, KeypadLetterHeight, letters);
    Panel3->resize(k.panel);
    LabelKeypad->setGeometry(k.title);
    SpeedButton1->setGeometry(k.hideButton);
    for (int i = 0; i < DigitButtons.size(); ++i)
        DigitButtons[i]->setGeometry(k.digits[i]);
    BitBtn6->setGeometry(k.backSpace);
    for (int i = 0; i < LetterButtons.size(); ++i) {
        LetterButtons[i]->setGeometry(k.letters[i]);
        LetterButtons[i]->setVisible(letters);
    }
    BitBtn7->setGeometry(k.clear);
    BitBtn7->setVisible(letters);
}

// ---- Layout ----------------------------------------------------------------------------------

void TFmRolvan::FormResize()
{
    StationLayoutInput input;
    input.client = size();
    input.frameAllowance = m_frameAllowance;
    input.photoOn = m_station.photoOn;
    input.keypadShown = !Panel3->isHidden();
    input.keypad = Panel3->size();
    m_layout = FormResizeLayout(input);
    const StationLayout &l = m_layout;

    PanelCompany->setGeometry(l.PanelCompany);
    PanelClass->setGeometry(l.PanelClass);
    Panel1->setGeometry(l.Panel1);
    PlaceTypeButtons();
    Label5->setGeometry(l.Label5);
    PanelIO->setGeometry(l.LabIO[0]);
    LabIO[0]->setGeometry(QRect(QPoint(0, 0), l.LabIO[0].size()));
    for (int i = 0; i < StationLayout::HistoryRows; ++i) {
        if (i > 0)
            LabIO[i]->setGeometry(l.LabIO[i]);
        LabIO[i]->setVisible(l.rowShown[i]);
        Image[i]->setGeometry(l.Image[i]);
        Image[i]->setVisible(l.imageShown[i]);
    }
    PanelIO->setVisible(l.rowShown[0]);

    PanelVideo->setGeometry(l.PanelVideo);
    VideoCap1->setGeometry(QRect(QPoint(0, 0), l.PanelVideo.size()));
    ComboBox2->setGeometry(4, 4, l.PanelVideo.width() - 8, ComboBox2->sizeHint().height());
    PanelVideo->setVisible(m_station.photoOn);
    BitBtn2->setGeometry(l.BitBtn2);
    BitBtn25->setGeometry(l.BitBtn25);
    BitBtn19->setGeometry(l.BitBtn19);
    BitBtn11->setGeometry(l.BitBtn11);
    BitBtnClose->setGeometry(l.BitBtnClose);
    for (QPushButton *b : {BitBtn2, BitBtn25, BitBtn19, BitBtn11, BitBtnClose})
        b->raise(); // in front of the camera when the window is too narrow for both
    Panel2->setGeometry(l.Panel2);

    if (!Panel3->isHidden()) {
        Panel3->setGeometry(l.Panel3);
        Panel3->raise();
    }
    if (LabPhotoWarn->isVisible())
        LabPhotoWarn->setGeometry(SnapshotWarningRect(l.PanelVideo, LabPhotoWarn));
    PlaceClockNotice();
    Label10->setGeometry(l.Label10);
    Label10->setAlignment((l.promptCentred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    LabIoOk->setGeometry(l.LabIoOk);
    LabIoOk->setAlignment((l.failureRightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    Edit1->setGeometry(l.Edit1);
    BitBtn3->setGeometry(l.BitBtn3);
    BitBtn5->setGeometry(l.BitBtn5);
    // The hidden manual-kind selector and its caption stand between "確認" and "螢幕輸入".
    ComboBox4->setGeometry(l.BitBtn3.translated(0, l.BitBtn3.height()));
    LabelManualKind->setGeometry(l.BitBtn3.translated(0, l.BitBtn3.height()));
}

// The type buttons at the places FormRefresh gave them: arrivals ("0", "2", "4") and roll
// call in the upper row, departures ("1", "3", "5") below them; "自動" at the right end.
void TFmRolvan::PlaceTypeButtons()
{
    const int panelWidth = Panel1->width();
    CheckBox1->adjustSize();
    const int autoLeft = panelWidth - CheckBox1->width() - 8;
    CheckBox1->move(autoLeft, TypeRowTop + TypeRowHeight);
    // The lefts are those of a panel of three columns 151 wide; a narrower panel squeezes them.
    int needed = 0;
    for (const TypeButtonView &b : std::as_const(m_typePanel.buttons)) {
        if (b.visible)
            needed = qMax(needed, b.left + 120);
    }
    const double factor = needed > autoLeft && needed > 0 ? double(autoLeft) / needed : 1.0;
    for (const TypeButtonView &b : std::as_const(m_typePanel.buttons)) {
        QRadioButton *button = TypeButton(b.code);
        if (!button)
            continue;
        const bool lower = b.code == u"1"_s || b.code == u"3"_s || b.code == u"5"_s;
        button->adjustSize();
        button->move(int(b.left * factor), TypeRowTop + (lower ? TypeRowHeight : 0));
        button->setVisible(b.visible);
    }
}

// ---- Station settings ------------------------------------------------------------------------

void TFmRolvan::GetSetting()
{
    // Station settings, in the order of the catalogue.
    m_comPort = ReadBase(IniKey::ComPort, QString());
    m_station.StationNo = ReadBase(IniKey::StationNo, IniDefault::StationNo);
    m_networkEdition = ReadIniBool(IniSection::Base, IniKey::NetworkEdition, false);
    ReadBase(IniKey::ClientServerMode, u"0"_s);
    m_clientServer = false; // a station never works as the server
    m_station.KeyboardFocusOn = ReadIniBool(IniSection::Base, IniKey::IOKeyboard, false);
    m_ioScreen = ReadIniBool(IniSection::Base, IniKey::IOScreen, false);
    m_lettersOn = ReadIniBool(IniSection::Base, IniKey::EmployeeNoHasLetters, false);
    // The limits of the sign-in windows as saved now: a value saved in the settings window
    // counts from the next load on, not from the next start.
    ReadTimeLimits(m_station);
    // Kinds entered, stored and shown, and the personnel-number length.
    m_resolver.LoadSettings();
    // Without a picture folder of its own the station keeps its snapshots in the one the
    // start-up creates, never in the root of a drive.
    m_station.imgPath = ReadBase(IniKey::ImageFileLocationPath, QString());
    if (m_station.imgPath.trimmed().isEmpty())
        m_station.imgPath = ReadDataFolders().images;
    G().CourseNoLength = StrToIntSafe(ReadBase(IniKey::CourseNoLength, u"11"_s));
    m_station.OkSoundOn = ReadIniBool(IniSection::Base, IniKey::ManualSuccessSound, true);
    // Identities are typed in Latin letters and digits, never through a Chinese input method.
    Edit1->setAttribute(Qt::WA_InputMethodEnabled, false);
    Edit1->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    ApplyKeypadLayout();

    // Today's counters, the initial type, the lesson profile and the type buttons.
    const SettingsLoadView view = m_lessons.LoadLessonSettings();
    LabelDispDate->setText(view.dateText);
    for (auto it = view.captions.cbegin(); it != view.captions.cend(); ++it) {
        if (QRadioButton *button = TypeButton(it.key()))
            button->setText(it.value());
    }
    ShowTypePanel(view.panel);
    SyncTypeButtons();
    if (m_station.TimerOn && !m_timer->isActive())
        m_timer->start();
    ShowHistoryHeader();
    m_resolver.SetStorageColumn();
    ShowLessonState();
    FormResize();
}

void TFmRolvan::ShowHistoryHeader()
{
    QString kind = m_station.DisplayKind;
    if (kind.isEmpty())
        kind = ReadIniSetting(IniSection::Base, IniKey::IdentityShowKind, G().IdnoCaption, G().IdnoCaption);
    // A station that shows the name as the identity has no second name column: the lines
    // carry the name once.
    const bool nameShown = m_station.DisplayField.toUpper().contains(u"NAME"_s) || kind == u"姓名"_s;
    Label5->setText(nameShown ? kind + HistoryHeaderTail.mid(HistoryHeaderTail.indexOf(u"姓名"_s) + 2)
                              : kind + HistoryHeaderTail);
}

// The class caption and the lesson box as lesson selection left them.
void TFmRolvan::ShowLessonState()
{
    PanelClass->setText(m_station.ClassCaption.isEmpty() ? NoClassCaption : m_station.ClassCaption);
    QStringList items;
    // Without an open database (an activation stopped before it) there is nothing to list, and
    // no second message about it.
    if (!G().CurrentClassKey.isEmpty() && m_station.StationReady && m_dm.isWorkingOpen())
        GuardAction([&] { items = m_lessons.LessonItems(); });
    const QSignalBlocker blocker(ComboBox1);
    QStringList shown;
    for (int i = 0; i < ComboBox1->count(); ++i)
        shown << ComboBox1->itemText(i);
    if (shown != items) {
        ComboBox1->clear();
        ComboBox1->addItems(items);
    }
    const QString lesson = m_station.LessonText.trimmed();
    if (lesson.isEmpty()) {
        ComboBox1->setCurrentIndex(-1);
    } else {
        int index = ComboBox1->findText(m_station.LessonText);
        if (index < 0) {
            ComboBox1->addItem(m_station.LessonText);
            index = ComboBox1->count() - 1;
        }
        ComboBox1->setCurrentIndex(index);
    }
    CheckBox1->setChecked(m_station.AutoMode);
}

void TFmRolvan::ShowTypePanel(const TypePanelView &view)
{
    m_typePanel = view;
    Panel1->setText(view.panelCaption);
    PlaceTypeButtons();
}

void TFmRolvan::SyncTypeButtons()
{
    for (int i = 0; i < TypeButtons.size(); ++i)
        TypeButtons[i]->setChecked(m_station.TypeChecked && m_station.CurrentIoType == TypeCodes.at(i));
    RadioButton9->setChecked(m_station.TypeChecked && m_station.CurrentIoType == u"9"_s);
    CheckBox1->setChecked(m_station.AutoMode);
}

QRadioButton *TFmRolvan::TypeButton(const QString &code) const
{
    if (code == u"9"_s)
        return RadioButton9;
    const int index = TypeCodes.indexOf(code);
    return index >= 0 ? TypeButtons.at(index) : nullptr;
}

// ---- Sign events: what the recorder shows ----------------------------------------------------

void TFmRolvan::ShowHistory(const QList<HistoryRow> &rows)
{
    for (int i = 0; i < LabIO.size(); ++i) {
        QLabel *label = LabIO.at(i);
        if (i < rows.size()) {
            const HistoryRow &row = rows.at(i);
            label->setText(row.text);
            label->setToolTip(row.hint);
            SetTextColour(label, row.colour);
            SetPicture(Image.at(i), row.picturePath);
        } else {
            label->clear();
            label->setToolTip(QString());
            SetPicture(Image.at(i), QString());
        }
    }
}

// A snapshot beside a history line. Pictures are kept by file and time of change, so a line
// moving down costs no new read, and a retaken snapshot shows anew.
void TFmRolvan::SetPicture(QLabel *image, const QString &path)
{
    if (path.isEmpty()) {
        image->clear();
        image->setToolTip(QString());
        return;
    }
    const QFileInfo info(path);
    const QString key = u"rolvan-snapshot:"_s + path + u':'
        + QString::number(info.lastModified().toMSecsSinceEpoch());
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        if (!pixmap.load(path)) {
            image->clear();
            return;
        }
        pixmap = pixmap.scaled(image->size() * 2, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPixmapCache::insert(key, pixmap);
    }
    image->setPixmap(pixmap);
}

void TFmRolvan::ShowFailure(const QString &text)
{
    m_failureShownAt = CurrentClock().now();
    LabIoOk->setText(text);
    LabIoOk->setGeometry(m_layout.LabIoOk);
    LabIoOk->show();
    LabIoOk->raise();
}

void TFmRolvan::HideFailure()
{
    LabIoOk->hide();
}

void TFmRolvan::UpdateCounter(const QString &ioType, const QString &caption)
{
    if (QRadioButton *button = TypeButton(ioType)) {
        button->setText(caption);
        button->adjustSize();
    }
}

void TFmRolvan::FocusEntry()
{
    Edit1->setFocus();
}

void TFmRolvan::ShowSnapshotWarning(const QString &reason)
{
    LabPhotoWarn->setText(u"相片未儲存："_s + reason);
    LabPhotoWarn->setGeometry(SnapshotWarningRect(m_layout.PanelVideo, LabPhotoWarn));
    LabPhotoWarn->show();
    LabPhotoWarn->raise();
}

void TFmRolvan::HideSnapshotWarning()
{
    LabPhotoWarn->hide();
}

// ---- Clock notices ---------------------------------------------------------------------------

void TFmRolvan::SetClockSync(ClockSync *clockSync)
{
    if (m_clockSync)
        m_clockSync->SetView(nullptr);
    m_clockSync = clockSync;
    if (m_clockSync)
        m_clockSync->SetView(this);
}

// An attendee is in the middle of an entry: in the field or on the keypad.
bool TFmRolvan::EntryBeingTyped() const
{
    return !Edit1->text().isEmpty() || (!Panel3->isHidden() && m_keypad.text() != ScreenKeypad::IdleText());
}

void TFmRolvan::ShowClockReminder()
{
    m_reminderPending = true;
    ShowPendingClockNotice();
}

void TFmRolvan::HideClockReminder()
{
    m_reminderPending = false;
    if (ClockNotice->hasReminder())
        ClockNotice->Clear();
}

void TFmRolvan::ShowClockWarning(const QString &text)
{
    if (!m_warningsPending.contains(text))
        m_warningsPending << text;
    ShowPendingClockNotice();
}

// Shows what waited, unless an entry is being typed: the notice must not appear under the
// attendee's fingers. It never takes the focus, so the caret stays where it is.
void TFmRolvan::ShowPendingClockNotice()
{
    if ((!m_reminderPending && m_warningsPending.isEmpty()) || EntryBeingTyped())
        return;
    for (const QString &warning : std::as_const(m_warningsPending))
        ClockNotice->AddWarning(warning);
    if (m_reminderPending)
        ClockNotice->AddReminder(ClockSync::ReminderText);
    m_warningsPending.clear();
    m_reminderPending = false;
    PlaceClockNotice();
    ClockNotice->show();
    ClockNotice->raise();
}

// Below the date, time and lesson panel, as wide as it.
void TFmRolvan::PlaceClockNotice()
{
    const QRect below = m_layout.Panel2;
    const int width = below.width();
    const int height = ClockNotice->heightForWidth(width) > 0 ? ClockNotice->heightForWidth(width)
                                                               : ClockNotice->sizeHint().height();
    ClockNotice->setGeometry(below.left(), below.bottom() + 6, width, height);
}

void TFmRolvan::FocusEntryIfWanted()
{
    if (m_station.KeyboardFocusOn)
        Edit1->setFocus();
}

// ---- Input -----------------------------------------------------------------------------------

void TFmRolvan::ConfirmEntryClick()
{
    SignRecorder::Outcome outcome = SignRecorder::Outcome::Refused;
    GuardAction([&] { outcome = m_recorder.ConfirmEntry(Edit1->text()).outcome; });
    // An entry the failure line refuses leaves the field empty for the next attendee.
    if (outcome == SignRecorder::Outcome::BadEntry || outcome == SignRecorder::Outcome::NotFound)
        Edit1->clear();
    FocusEntryIfWanted();
}

// Enter in the input field confirms and empties it, so a card reader that types the number
// followed by Enter records like typing.
void TFmRolvan::Edit1KeyEnter()
{
    ConfirmEntryClick();
    Edit1->clear();
}

void TFmRolvan::ShowKeypadClick()
{
    ApplyKeypadLayout();
    Panel3->show();
    Panel3->raise();
    BitBtn5->hide();
    FormResize();
    FocusEntryIfWanted();
}

void TFmRolvan::SpeedButton1Click()
{
    Panel3->hide();
    BitBtn5->show();
    ComboBox4->setEnabled(true);
    FormResize();
    FocusEntryIfWanted();
}

void TFmRolvan::KeyClick(const QString &caption)
{
    const std::optional<QString> entry = m_keypad.Press(caption, m_resolver.ExpectedLength());
    if (entry) {
        LabelKeypad->setText(*entry);
        GuardAction([&] { m_recorder.KeypadEntry(*entry); });
    }
    LabelKeypad->setText(m_keypad.text());
    ShowPendingClockNotice();
    FocusEntryIfWanted();
}

void TFmRolvan::BitBtn6Click()
{
    m_keypad.BackSpace();
    LabelKeypad->setText(m_keypad.text());
    ShowPendingClockNotice();
    FocusEntryIfWanted();
}

void TFmRolvan::BitBtn7Click()
{
    m_keypad.Clear();
    LabelKeypad->setText(m_keypad.text());
    ShowPendingClockNotice();
    FocusEntryIfWanted();
}

bool TFmRolvan::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(e);
        // The right mouse button on a history line deletes its event, after a confirmation.
        const int row = LabIO.indexOf(qobject_cast<QLabel *>(watched));
        if (row >= 0 && mouse->button() == Qt::RightButton) {
            if (!LabIO.at(row)->toolTip().isEmpty())
                GuardAction([&] { m_recorder.DeleteHistoryRow(row); });
            FocusEntryIfWanted();
            return true;
        }
        // The mouse pressed on a type button marks it, so that its refusal is explained.
        if (auto *button = qobject_cast<QRadioButton *>(watched);
            button && mouse->button() == Qt::LeftButton) {
            m_lessons.MousePressedOnType(button->toolTip());
        }
    } else if (e->type() == QEvent::MouseButtonDblClick && watched == ComboBox2) {
        // A double click on the size box keeps the size for the next start.
        GuardAction([this] {
            WriteIniSetting(IniSection::Base, IniKey::PhotoVideoSize, ComboBox2->currentText());
        });
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

// ---- Lessons and types -----------------------------------------------------------------------

void TFmRolvan::TypeButtonClick(const QString &code)
{
    GuardAction([&] {
        m_lessons.ChooseType(code);
        if (m_station.classChosen())
            ShowTypePanel(m_lessons.FormRefresh());
    });
    SyncTypeButtons();
    FocusEntryIfWanted();
}

void TFmRolvan::CheckBox1MouseUp()
{
    GuardAction([this] { m_lessons.AutoModeReleased(); });
    SyncTypeButtons();
    FocusEntryIfWanted();
}

void TFmRolvan::ComboBox1DropDown()
{
    GuardAction([this] {
        const QString current = ComboBox1->currentText();
        const QStringList items = G().CurrentClassKey.isEmpty() ? QStringList() : m_lessons.LessonItems();
        const QSignalBlocker blocker(ComboBox1);
        ComboBox1->clear();
        ComboBox1->addItems(items);
        ComboBox1->setCurrentIndex(current.isEmpty() ? -1 : ComboBox1->findText(current));
    });
}

void TFmRolvan::ComboBox1Select(int index)
{
    if (index < 0)
        return;
    const QString item = ComboBox1->itemText(index);
    GuardAction([&] { m_lessons.ChooseLesson(item); });
    SyncTypeButtons();
    FocusEntryIfWanted();
}

void TFmRolvan::Timer1Timer()
{
    // The failure line goes after a few seconds (at once when the clock was set back).
    if (LabIoOk->isVisible()) {
        const qint64 shown = m_failureShownAt.secsTo(CurrentClock().now());
        if (shown >= FailureSeconds || shown < 0)
            HideFailure();
    }
    if (!m_station.TimerOn) {
        // No class: the clock is shown all the same.
        const QDateTime now = CurrentClock().now();
        LabelDispDate->setText(now.toString(u"yyyy/MM/dd"_s));
        LabelDispTime->setText(now.toString(u"hh:mm:ss"_s));
        return;
    }
    GuardAction([this] {
        const TickView tick = m_lessons.Tick();
        LabelDispDate->setText(tick.dateText);
        LabelDispTime->setText(tick.timeText);
        if (tick.lessonSwitched) {
            ShowLessonState();
            SyncTypeButtons();
        }
        if (tick.synchronise)
            SynchroniseClock(m_station, u"IO"_s);
    });
}

// ---- Windows ---------------------------------------------------------------------------------

void TFmRolvan::ChooseClassClick()
{
    KeepSelection();
    GuardAction([this] {
        m_station.ClassChosenByUser = false;
        bool startedSigning = false;
        if (m_open.classWindow)
            startedSigning = m_open.classWindow(m_dm, m_station, this);
        if (m_lessons.ClassWindowClosed(startedSigning)) {
            BitBtn8->setEnabled(false);
            BitBtn14->setEnabled(false);
            BitBtn25->setEnabled(true);
        }
        ShowLessonState();
        SyncTypeButtons();
        ShowTypePanel(m_lessons.FormRefresh());
    });
    ActivateAfterModal();
    FormResize();
    FocusEntryIfWanted();
}

void TFmRolvan::AdministrationClick()
{
    // The administration menu, behind the password when one is set.
    bool opened = false;
    KeepSelection();
    GuardAction([&] { opened = m_open.administration && m_open.administration(m_dm, this, true); });
    // What the settings window saved counts as soon as the station is back: the activation
    // reads the station's settings anew, and the class served is loaded with them, keeping its
    // lesson and type.
    const bool served = m_station.classChosen() && m_station.StationReady;
    const MainActivation::Outcome outcome = FormActivate();
    if (opened && served && outcome == MainActivation::Outcome::Done)
        GuardAction([this] { GetSetting(); });
    FocusEntryIfWanted();
}

void TFmRolvan::HelpClick()
{
    GuardAction([this] {
        TFm_Help::ShowHelp(m_dm, u"簽到首頁"_s, u"簽到首頁"_s, this);
    });
    FocusEntryIfWanted();
}

void TFmRolvan::PrintClick()
{
    // The sign-in sheet with photographs of the class being signed.
    m_station.photoSubPath = SignRecorder::PhotoSubPath(m_station.photoSubPathRule, m_station.ClassKey,
                                                        m_station.TodayRoc, G().CourseNoLength,
                                                        m_station.photoSubPath);
    if (!m_station.ClassKey.isEmpty()) {
        G().CurrentClassKey = m_station.ClassKey;
        if (m_open.photoSheet)
            m_open.photoSheet(m_dm, this);
    }
    FocusEntryIfWanted();
}

void TFmRolvan::SignEventRecordsClick()
{
    if (m_station.ClassKey.isEmpty()) {
        CurrentPrompter().ShowMessage(u"尚未  課程選定"_s);
    } else {
        // The records window shows the snapshots of the folder signing writes to now.
        m_station.photoSubPath = SignRecorder::PhotoSubPath(m_station.photoSubPathRule, m_station.ClassKey,
                                                            m_station.TodayRoc, G().CourseNoLength,
                                                            m_station.photoSubPath);
        // Only a class that requires enrolment has the names the records window shows.
        if (m_station.preBooking) {
            G().CurrentClassKey = m_station.ClassKey;
            GuardAction([this] { TfmPSIO_Booking::Open(m_dm, &m_station, this); });
        }
    }
    FocusEntryIfWanted();
}

void TFmRolvan::EnrolmentClick()
{
    if (m_station.ClassKey.isEmpty()) {
        CurrentPrompter().ShowMessage(u"尚未  課程選定"_s);
    } else {
        G().CurrentClassKey = m_station.ClassKey;
        // A manual sign-in in the enrolment window counts on the sign-in button at once.
        GuardAction([this] {
            if (m_open.enrolmentWindow)
                m_open.enrolmentWindow(m_dm, &m_station, this, [this](const QString &caption) {
                    if (QRadioButton *signIn = TypeButton(u"0"_s))
                        signIn->setText(caption);
                });
        });
    }
    FocusEntryIfWanted();
}

void TFmRolvan::BitBtnCloseClick()
{
    m_dm.CloseWorking();
    close();
}

void TFmRolvan::ActivateAfterModal()
{
    FormActivate();
}

void TFmRolvan::KeepSelection()
{
    m_lessons.KeepSelection(m_lessons.CurrentSelection());
}

// ---- Activation ------------------------------------------------------------------------------

bool TFmRolvan::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        if (m_ownWindowUp) {
            // The return from a box or window of this program: no new activation (a handler
            // that wants one after its window runs it itself).
            m_ownWindowUp = false;
        } else if (!m_inActivation) {
            const int seen = m_activationCount;
            QTimer::singleShot(0, this, [this, seen] {
                if (m_activationCount == seen)
                    FormActivate();
            });
        }
        break;
    case QEvent::WindowDeactivate:
        // Who takes the keyboard: a window of ours (a box, a dialog, the class window) or
        // another program (none of ours is active then).
        m_ownWindowUp = QApplication::activeWindow() != nullptr || QApplication::activeModalWidget() != nullptr;
        break;
    default:
        break;
    }
    return QMainWindow::event(e);
}

MainActivation::Outcome TFmRolvan::FormActivate()
{
    if (m_inActivation)
        return MainActivation::Outcome::Stopped;
    m_inActivation = true;
    ++m_activationCount;

    MainActivation activation(m_dm, m_station, *this);
    const MainActivation::Outcome outcome =
        activation.Run(QCoreApplication::arguments(), QCoreApplication::applicationFilePath());

    ShowActivatedState();

    m_inActivation = false;

    switch (outcome) {
    case MainActivation::Outcome::Terminate:
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        break;
    case MainActivation::Outcome::Stopped:
        // A problem already shown stays quiet: one message, no box after every activation.
        if (!activation.lastError().isEmpty())
            CurrentPrompter().ShowError(activation.lastError());
        break;
    case MainActivation::Outcome::Done:
        m_frameHeight = frameGeometry().height() - height();
        GuardAction([this] {
            m_station.KeyboardFocusOn = ReadIniBool(IniSection::Base, IniKey::IOKeyboard, false);
        });
        FocusEntryIfWanted();
        break;
    }
    emit activated(outcome);
    return outcome;
}

void TFmRolvan::ShowActivatedState()
{
    setWindowTitle(MainWindowCaption());
    // Frame allowance of the layout, by the Windows generation the station is set up for.
    m_frameAllowance = FrameAllowance(ReadBase(IniKey::OperatingSystem, u"Win 10"_s));
    PanelCompany->setText(G().OrganisationName);
    // Without a class chosen no type is checked.
    if (!m_station.classChosen()) {
        m_station.TypeChecked = false;
        SyncTypeButtons();
    }
    ShowLessonState();
    ShowHistoryHeader();
    FormResize();
}

void TFmRolvan::ChooseTodaysClass(StationState &)
{
    if (m_lessons.ChooseTodaysClass()) {
        BitBtn8->setEnabled(false);
        BitBtn14->setEnabled(false);
        BitBtn25->setEnabled(true);
    }
    ShowLessonState();
}

void TFmRolvan::SynchroniseClock(StationState &, const QString &mode)
{
    // The activation's last step: the screen shows what it loaded. The attempt itself only
    // starts here; its answer comes later and never holds the window.
    if (mode == u"ST"_s)
        ShowActivatedState();
    if (m_clockSync)
        m_clockSync->set_SNTP(mode);
}

void TFmRolvan::OpenConversionWindow()
{
    if (m_open.conversionWindow)
        m_open.conversionWindow(m_dm, this);
}

void TFmRolvan::WakeUp()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TFmRolvan::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    m_station.CurrentIoType = u"0"_s;
    LabelDispDate->setText(CurrentClock().today().toString(u"yyyy/MM/dd"_s));
    FormResize();
    // Without a window manager (a kiosk session, Xvfb) the window may never be told it is
    // active: the first activation then runs shortly after the first show.
    QTimer::singleShot(500, this, [this] {
        if (m_activationCount == 0)
            FormActivate();
    });
}

void TFmRolvan::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    FormResize();
}

void TFmRolvan::closeEvent(QCloseEvent *e)
{
    // Closing is never refused.
    SaveFormGeometry(this);
    StopCamera();
    e->accept();
}

// ---- Camera ----------------------------------------------------------------------------------
// The camera is one block: the device list, the start at the first activation with the photo
// switch on, the preview and the video-size box. A fuller capture component replaces it here.

namespace {

// The capture component of this station: the Video4Linux2 devices in enumeration order, and the
// synthetic test pattern "#synthetic" last in demo and test homes.
std::unique_ptr<TVideoImage> CreateCameraSource()
{
    return std::make_unique<TVideoImage>();
}

} // namespace

bool TFmRolvan::StartCamera(StationState &station)
{
    if (m_camera)
        return true; // started once, stays started until the window closes
    std::unique_ptr<TVideoImage> camera = CreateCameraSource();
    const QStringList devices = camera->GetListOfDevices();
    if (devices.isEmpty() && station.cameraDeviceNo != -1) {
        CurrentPrompter().ShowError(u"未連接攝影機.\n程式即將結束."_s);
        return false;
    }
    // -1 runs the station without a camera; a number that names no device starts none.
    if (station.cameraDeviceNo < 0 || station.cameraDeviceNo >= devices.size())
        return true;
    // By position: two cameras of one model share a name.
    if (!camera->VideoStartByIndex(station.cameraDeviceNo))
        return true;
    camera->SetFrameCallback([box = VideoCap1](const QImage &) { box->FrameArrived(); });
    m_camera = std::move(camera);
    VideoCap1->SetCamera(m_camera.get());
    m_recorder.SetCamera(m_camera.get());

    const QSignalBlocker blocker(ComboBox2);
    ComboBox2->clear();
    ComboBox2->addItems(m_camera->GetListOfSupportedVideoSizes());
    const QString size = ReadBase(IniKey::PhotoVideoSize, QString()).trimmed();
    if (!size.isEmpty()) {
        const int index = ComboBox2->findText(size);
        if (index >= 0) {
            ComboBox2->setCurrentIndex(index);
            m_camera->SetResolutionByIndex(index);
        }
    }
    return true;
}

void TFmRolvan::ComboBox2Change(int index)
{
    if (m_camera)
        m_camera->SetResolutionByIndex(index);
}

void TFmRolvan::StopCamera()
{
    if (!m_camera)
        return;
    m_camera->SetFrameCallback({});
    m_camera->VideoStop();
}

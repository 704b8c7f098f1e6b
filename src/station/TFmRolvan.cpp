#include "station/TFmRolvan.h"

#include "Fun/DateTimeFunctions.h"
#include "admin/TFm_Help.h"
#include "admin/TFmSysManager.h"
#include "admin/TfrmCopyTable.h"
#include "Fun/FormGeometryWidget.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/Globals.h"
#include "core/TDM.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

constexpr int CompanyHeight = 56;
constexpr int ClassHeight = 40;
constexpr int TypePanelHeight = 44;
constexpr int HeaderHeight = 24;
constexpr int HistoryRowHeight = 50;
constexpr int VideoWidth = 336;
constexpr int VideoHeight = 252;
constexpr int ImageWidth = 66;
constexpr int MinWidth = 618;
constexpr int MinHeight = 513;

template<typename W>
W *Named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QFont Scaled(const QFont &base, double factor, bool bold = false)
{
    QFont f = base;
    f.setPointSizeF(base.pointSizeF() * factor);
    f.setBold(bold);
    return f;
}

} // namespace

TFmRolvan::TFmRolvan(TDM &dm, QWidget *parent)
    : QMainWindow(parent)
    , m_dm(dm)
{
    setObjectName(QStringLiteral("FmRolvan"));
    G().StartDir = QDir::currentPath();
    CreateComponents();
    setMinimumSize(MinWidth, MinHeight);
    RestoreFormGeometry(this, 0, 0, 980, 710);

    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &TFmRolvan::ShowClock);
    m_clockTimer->start();
    ShowClock();
}

TFmRolvan::~TFmRolvan() = default;

void TFmRolvan::CreateComponents()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);
    const QFont base = font();

    PanelCompany = Named(new QLabel(client), "PanelCompany");
    PanelCompany->setAlignment(Qt::AlignCenter);
    PanelCompany->setFont(Scaled(base, 1.8, true));
    PanelCompany->setStyleSheet(QStringLiteral("background:#1f4e79; color:white;"));

    PanelClass = Named(new QLabel(QStringLiteral("講習：進入講習選定點選講習"), client), "PanelClass");
    PanelClass->setFont(Scaled(base, 1.3, true));
    PanelClass->setStyleSheet(QStringLiteral("background:#dde8f3; padding-left:6px;"));

    Panel1 = Named(new QWidget(client), "Panel1");
    auto *typeRow = new QHBoxLayout(Panel1);
    typeRow->setContentsMargins(4, 2, 4, 2);
    const QStringList captions = { QStringLiteral("簽到"), QStringLiteral("簽退"), m_station.io3Cap,
                                   m_station.io4Cap,       m_station.io5Cap,       m_station.io6Cap };
    for (int i = 0; i < captions.size(); ++i) {
        auto *button = new QRadioButton(captions.at(i), Panel1);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        button->setFont(Scaled(base, 1.2, true));
        TypeButtons << button;
        typeRow->addWidget(button);
    }
    typeRow->addStretch();
    CheckBox1 = Named(new QCheckBox(QStringLiteral("自動"), Panel1), "CheckBox1");
    typeRow->addWidget(CheckBox1);

    Label5 = Named(new QLabel(client), "Label5");
    Label5->setStyleSheet(QStringLiteral("background:#404040; color:white; padding-left:4px;"));

    for (int i = 1; i <= 9; ++i) {
        auto *row = new QLabel(client);
        row->setObjectName(QStringLiteral("LabIO%1").arg(i));
        row->setFont(Scaled(base, i == 1 ? 1.6 : 1.25, i == 1));
        row->setStyleSheet(i % 2 ? QStringLiteral("background:#f4f8fc; padding-left:4px;")
                                 : QStringLiteral("background:#e8f0f8; padding-left:4px;"));
        LabIO << row;
        auto *picture = new QLabel(client);
        picture->setObjectName(QStringLiteral("Image%1").arg(i));
        picture->setScaledContents(true);
        picture->setStyleSheet(QStringLiteral("background:#d0d0d0;"));
        Image << picture;
    }

    LabIoOk = Named(new QLabel(client), "LabIoOk");
    LabIoOk->setStyleSheet(QStringLiteral("background:red; color:yellow; padding:2px 6px;"));
    LabIoOk->setFont(Scaled(base, 1.3, true));
    LabIoOk->hide();

    PanelVideo = Named(new QWidget(client), "PanelVideo");
    PanelVideo->setStyleSheet(QStringLiteral("background:black;"));
    VideoCap1 = Named(new QWidget(PanelVideo), "VideoCap1");
    VideoCap1->setGeometry(0, 0, VideoWidth, VideoHeight);
    PanelVideo->hide();

    BitBtn2 = Named(new QPushButton(QStringLiteral("講習選定"), client), "BitBtn2");
    BitBtn25 = Named(new QPushButton(QStringLiteral("學員"), client), "BitBtn25");
    BitBtn25->setToolTip(QStringLiteral("學員資料"));
    BitBtn19 = Named(new QPushButton(QStringLiteral("說明"), client), "BitBtn19");
    BitBtn19->setToolTip(QStringLiteral("簽到說明"));
    BitBtn11 = Named(new QPushButton(QStringLiteral("管理"), client), "BitBtn11");
    BitBtn11->setToolTip(QStringLiteral("系統管理"));
    BitBtnClose = Named(new QPushButton(QStringLiteral("結束"), client), "BitBtnClose");
    for (QPushButton *b : { BitBtn2, BitBtn25, BitBtn19, BitBtn11, BitBtnClose })
        b->setFont(Scaled(base, 1.3, true));
    connect(BitBtnClose, &QPushButton::clicked, this, &TFmRolvan::BitBtnCloseClick);
    connect(BitBtn11, &QPushButton::clicked, this, &TFmRolvan::BitBtn11Click);
    connect(BitBtn19, &QPushButton::clicked, this, &TFmRolvan::BitBtn19Click);

    Panel2 = Named(new QWidget(client), "Panel2");
    auto *grid = new QGridLayout(Panel2);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->addWidget(new QLabel(QStringLiteral("日期"), Panel2), 0, 0);
    LabelDispDate = Named(new QLabel(Panel2), "LabelDispDate");
    LabelDispDate->setFont(Scaled(base, 1.3, true));
    grid->addWidget(LabelDispDate, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("時刻"), Panel2), 0, 2);
    LabelTime = Named(new QLabel(Panel2), "LabelTime");
    LabelTime->setFont(Scaled(base, 1.3, true));
    grid->addWidget(LabelTime, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("今日課程"), Panel2), 1, 0);
    ComboBox1 = Named(new QComboBox(Panel2), "ComboBox1");
    grid->addWidget(ComboBox1, 1, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    Label10 = Named(new QLabel(QStringLiteral("鍵盤或螢幕輸入身分證末5碼"), client), "Label10");
    Label10->setFont(Scaled(base, 1.3, true));
    Edit1 = Named(new QLineEdit(client), "Edit1");
    Edit1->setFont(Scaled(base, 1.6, true));
    BitBtn3 = Named(new QPushButton(QStringLiteral("確認"), client), "BitBtn3");
    BitBtn5 = Named(new QPushButton(QStringLiteral("螢幕輸入"), client), "BitBtn5");
    for (QPushButton *b : { BitBtn3, BitBtn5 })
        b->setFont(Scaled(base, 1.2, true));
}

void TFmRolvan::FormResize()
{
    QWidget *client = centralWidget();
    const int height = client->height();
    const int H = qRound((width() - m_frameAllowance) / 2.0);

    PanelCompany->setGeometry(0, 0, 2 * H, CompanyHeight);
    PanelClass->setGeometry(0, CompanyHeight, H, ClassHeight);
    Panel1->setGeometry(0, PanelClass->geometry().bottom() + 1, H, TypePanelHeight);
    Label5->setGeometry(0, Panel1->geometry().bottom() + 1, H, HeaderHeight);

    const bool pictures = m_station.photoOn;
    int top = Label5->geometry().bottom() + 1;
    for (int i = 0; i < LabIO.size(); ++i) {
        const int rowHeight = i == 0 ? HistoryRowHeight + 10 : HistoryRowHeight;
        // Rows 2 to 5 are always there; later rows only when they fit in the window.
        const bool shown = i < 5 || top + rowHeight <= height;
        LabIO[i]->setGeometry(0, top, pictures ? H - ImageWidth : H, rowHeight);
        LabIO[i]->setVisible(shown);
        Image[i]->setGeometry(H - ImageWidth, top, ImageWidth, rowHeight);
        Image[i]->setVisible(shown && pictures);
        top += rowHeight;
    }

    const int columnTop = CompanyHeight;
    PanelVideo->setGeometry(H, columnTop, VideoWidth, VideoHeight);
    const int buttonsLeft = H + VideoWidth;
    const int buttonsWidth = qMax(2 * H - buttonsLeft, 80);
    const int rowHeight = VideoHeight / 4;
    BitBtn2->setGeometry(buttonsLeft, columnTop, buttonsWidth, rowHeight);
    BitBtn25->setGeometry(buttonsLeft, columnTop + rowHeight, buttonsWidth, rowHeight);
    BitBtn19->setGeometry(buttonsLeft, columnTop + 2 * rowHeight, buttonsWidth / 2, rowHeight);
    BitBtn11->setGeometry(buttonsLeft + buttonsWidth / 2, columnTop + 2 * rowHeight,
                          buttonsWidth - buttonsWidth / 2, rowHeight);
    // "結束" directly below the help button.
    BitBtnClose->setGeometry(buttonsLeft, BitBtn19->geometry().bottom() + 1, buttonsWidth, rowHeight);
    Panel2->setGeometry(H, columnTop + VideoHeight, 2 * H - H, 72);

    // Input group, bottom up, right-aligned to the company panel.
    const int buttonHeight = 36;
    const int right = 2 * H - 8;
    BitBtn5->setGeometry(right - 140, height - int(1.8 * buttonHeight), 140, buttonHeight);
    const int editHeight = 40;
    const int editTop = BitBtn5->y() - editHeight - 12;
    BitBtn3->setGeometry(right - 90, editTop, 90, editHeight);
    Edit1->setGeometry(BitBtn3->x() - 8 - 4 * editHeight, editTop, 4 * editHeight, editHeight);
    Label10->adjustSize();
    const int promptLeft = H + qMax(0, (H - Label10->width()) / 2);
    Label10->move(promptLeft, editTop - Label10->height() - 8);
    LabIoOk->adjustSize();
    LabIoOk->move(right - LabIoOk->width(), Label10->y() - LabIoOk->height() - 6);
}

void TFmRolvan::ShowClock()
{
    LabelTime->setText(CurrentClock().now().toString(QStringLiteral("hh:mm:ss")));
}

bool TFmRolvan::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        if (m_skipNextActivate) {
            // The return from a box the activation itself showed is not a new activation.
            m_skipNextActivate = false;
        } else if (!m_inActivation) {
            QTimer::singleShot(0, this, [this] { FormActivate(); });
        }
        break;
    case QEvent::WindowDeactivate:
        if (m_inActivation)
            m_skipNextActivate = true;
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

    setWindowTitle(activation.windowCaption());
    // Frame allowance of the layout, by the Windows generation the station is set up for.
    const QString os = ReadIniSetting(IniSection::Base, IniKey::OperatingSystem, QString(),
                                      QStringLiteral("Win 10"));
    m_frameAllowance = (os == QLatin1String("Win 10") || os == QLatin1String("Win XP")) ? 8 : 16;
    PanelCompany->setText(G().OrganisationName);
    Label5->setText(m_station.StorageKind
                    + QStringLiteral("  姓名                         時間                  刷卡影像"));
    PanelVideo->setVisible(m_station.photoOn);
    FormResize();

    m_inActivation = false;
    if (isActiveWindow())
        m_skipNextActivate = false;

    switch (outcome) {
    case MainActivation::Outcome::Terminate:
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        break;
    case MainActivation::Outcome::Stopped:
        CurrentPrompter().ShowError(activation.lastError());
        break;
    case MainActivation::Outcome::Done:
        m_frameHeight = frameGeometry().height() - height();
        m_keyboardFocusOn = TextToBool(
            ReadIniSetting(IniSection::Base, IniKey::IOKeyboard, QString(), QStringLiteral("False")));
        FocusEntry();
        break;
    }
    emit activated(outcome);
    return outcome;
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
    if (!TypeButtons.isEmpty())
        TypeButtons.first()->setChecked(true);
    LabelDispDate->setText(CurrentClock().today().toString(QStringLiteral("yyyy/MM/dd")));
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
    e->accept();
}

void TFmRolvan::BitBtnCloseClick()
{
    m_dm.CloseWorking();
    close();
}

bool TFmRolvan::StartCamera(StationState &)
{
    // The camera arrives with its own window parts; until then no device is started.
    return true;
}

void TFmRolvan::OpenConversionWindow()
{
    TfrmCopyTable conversion(m_dm, this);
    conversion.exec();
}

void TFmRolvan::BitBtn11Click()
{
    // The administration menu, behind the password when one is set. Returning here
    // activates the window again, which reloads the settings.
    OpenAdministration(m_dm, this, true);
    FocusEntry();
}

void TFmRolvan::BitBtn19Click()
{
    TFm_Help::ShowHelp(m_dm, QStringLiteral("簽到首頁"), QStringLiteral("簽到首頁"), this);
    FocusEntry();
}

void TFmRolvan::FocusEntry()
{
    if (m_keyboardFocusOn)
        Edit1->setFocus();
}

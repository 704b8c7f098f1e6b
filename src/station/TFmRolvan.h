#pragma once

#include "dialogs/WindowOpeners.h"

#include "station/Activation.h"
#include "station/ClockSync.h"
#include "station/IdentityResolver.h"
#include "station/LessonSelection.h"
#include "station/SignRecorder.h"
#include "station/StationLayout.h"
#include "station/StationState.h"

#include <QDateTime>
#include <QMainWindow>

#include <memory>

class CameraSource;
class ClockNoticePanel;
class LessonBox;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;
class QWidget;
class TDM;
class VideoPaintBox;

// The sign-in screen: the main window for the whole run; closing it ends the program.
// An attendee types (or swipes, or keys on the on-screen keypad) his identity; the station
// records the sign event and shows it in the history. The rules live in the plain classes the
// window owns: identity resolution, the recorder and lesson selection; the window reads the
// settings, lays itself out, and shows what they decide.
//
// The window runs its activation steps each time it becomes active after another program had
// the keyboard. Returning from a box or window of its own is no new activation: the handler that
// opened a window runs the activation itself where the return calls for one (the class window,
// the administration menu), so no box can bring itself back.
class TFmRolvan : public QMainWindow, private ActivationHooks, private SignView, private ClockSyncView
{
    Q_OBJECT
public:
    // openers: the windows it opens (StandardWindowOpeners() in the program).
    TFmRolvan(TDM &dm, WindowOpeners openers, QWidget *parent = nullptr);
    ~TFmRolvan() override;

    StationState &station() { return m_station; }
    IdentityResolver &resolver() { return m_resolver; }
    SignRecorder &recorder() { return m_recorder; }
    LessonSelection &lessons() { return m_lessons; }
    // The camera started by the activation; none while the photo switch is off.
    const CameraSource *camera() const { return m_camera.get(); }
    // The clock synchronisation run at each activation and by the one-second timer; none
    // leaves the clock alone (tests). Its notices go to the screen.
    void SetClockSync(ClockSync *clockSync);

    // Runs the activation steps now (normally run each time the window becomes active).
    MainActivation::Outcome FormActivate();
    int activationCount() const { return m_activationCount; }

    // The station settings load: the settings of the sign-in screen, today's counters, the
    // initial type, the lesson profile and the type buttons.
    void GetSetting();
    // The layout, on every resize and after the keypad is shown or hidden.
    void FormResize();
    // The layout last applied.
    const StationLayout &layout() const { return m_layout; }

    // Brings the window to the front when a second start wakes this one.
    void WakeUp();

    // Widgets reached by name from tests and screenshots.
    QLabel *PanelCompany = nullptr;
    QLabel *PanelClass = nullptr;
    QLabel *Panel1 = nullptr;          // the type buttons; its caption when no type is offered
    QCheckBox *CheckBox1 = nullptr;    // 自動
    QLabel *Label5 = nullptr;          // history header
    QWidget *PanelIO = nullptr;        // holds LabIO1
    QList<QLabel *> LabIO;             // LabIO1 .. LabIO9, newest first
    QList<QLabel *> Image;             // Image1 .. Image9
    QLabel *LabIoOk = nullptr;         // failure label; goes by itself after FailureSeconds
    // Seconds of the station's clock a failure line stays: long enough to read, gone before
    // the next attendee takes it for his own. The one-second timer lets it go.
    static constexpr int FailureSeconds = 5;
    QLabel *LabPhotoWarn = nullptr;    // "相片未儲存：<reason>" until a snapshot is stored again
    ClockNoticePanel *ClockNotice = nullptr; // the clock reminder and warning, never a box
    QWidget *PanelVideo = nullptr;
    VideoPaintBox *VideoCap1 = nullptr;
    QComboBox *ComboBox2 = nullptr;    // video sizes (hidden)
    QPushButton *BitBtn2 = nullptr;    // 講習選定
    QPushButton *BitBtn25 = nullptr;   // 學員
    QPushButton *BitBtn19 = nullptr;   // 簽到說明
    QPushButton *BitBtn11 = nullptr;   // 系統管理
    QPushButton *BitBtnClose = nullptr; // 結束
    QPushButton *BitBtn8 = nullptr;    // 列印作業 (hidden)
    QPushButton *BitBtn14 = nullptr;   // 簽到退明細 (hidden)
    QWidget *Panel2 = nullptr;
    QLabel *LabelDispDate = nullptr;
    QLabel *LabelDispTime = nullptr;
    LessonBox *ComboBox1 = nullptr;    // 今日課程
    QLabel *Label10 = nullptr;         // prompt
    QLineEdit *Edit1 = nullptr;
    QPushButton *BitBtn3 = nullptr;    // 確認
    QPushButton *BitBtn5 = nullptr;    // 螢幕輸入
    QLabel *LabelManualKind = nullptr; // "手動輸入種類" (hidden)
    QComboBox *ComboBox4 = nullptr;    // manual-kind selector (hidden)
    QList<QRadioButton *> TypeButtons; // RadioButton1 .. RadioButton6: "0" .. "5"
    QRadioButton *RadioButton9 = nullptr; // 點名

    // The on-screen keypad.
    QWidget *Panel3 = nullptr;
    QLabel *LabelKeypad = nullptr;     // its title: "螢幕輸入" or the keyed text
    QToolButton *SpeedButton1 = nullptr; // hides the keypad
    QList<QPushButton *> DigitButtons; // Button1 .. Button10: "1" .. "9", "0"
    QList<QPushButton *> LetterButtons; // Button13 .. Button38: "A" .. "Z"
    QPushButton *BitBtn6 = nullptr;    // BackSpace
    QPushButton *BitBtn7 = nullptr;    // Clear

signals:
    void activated(MainActivation::Outcome outcome);

public slots:
    void ChooseClassClick();      // BitBtn2 講習選定
    void ConfirmEntryClick();     // BitBtn3 確認
    void ShowKeypadClick();       // BitBtn5 螢幕輸入: shows the keypad
    void SpeedButton1Click();     // hides the keypad
    void KeyClick(const QString &caption);
    void BitBtn6Click();          // BackSpace
    void BitBtn7Click();          // Clear
    void Edit1KeyEnter();
    void TypeButtonClick(const QString &code);
    void CheckBox1MouseUp();
    void ComboBox1DropDown();
    void ComboBox1Select(int index);
    void PrintClick();            // BitBtn8 列印 (hidden)
    void SignEventRecordsClick(); // BitBtn14 明細 (hidden)
    void EnrolmentClick();        // BitBtn25 學員: the enrolment records window
    void AdministrationClick();   // BitBtn11 管理
    void HelpClick();             // BitBtn19 說明
    void BitBtnCloseClick();
    void Timer1Timer();

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void CreateComponents();
    void CreateTitlePanels(QWidget *client);
    void CreateTypePanel(QWidget *client);
    void CreateHistoryRows(QWidget *client);
    void CreateVideoPanel(QWidget *client);
    void CreateCommandButtons(QWidget *client);
    void CreateLessonPanel(QWidget *client);
    void CreateEntryRow(QWidget *client);
    void CreateKeypad(QWidget *client);
    void ApplyKeypadLayout();
    void FocusEntryIfWanted();
    void ShowHistoryHeader();
    void ShowLessonState();
    void ShowTypePanel(const TypePanelView &view);
    void PlaceTypeButtons();
    void SyncTypeButtons();
    QRadioButton *TypeButton(const QString &code) const;
    void ActivateAfterModal();
    // What the class window or the administration menu must not lose: the class, lesson and
    // type selected before it opened.
    void KeepSelection();
    void SetPicture(QLabel *image, const QString &path);

    // SignView
    void ShowHistory(const QList<HistoryRow> &rows) override;
    void ShowFailure(const QString &text) override;
    void HideFailure() override;
    void UpdateCounter(const QString &ioType, const QString &caption) override;
    void FocusEntry() override;
    void ShowSnapshotWarning(const QString &reason) override;
    void HideSnapshotWarning() override;

    // ClockSyncView: the notices wait while an entry is being typed.
    void ShowClockReminder() override;
    void HideClockReminder() override;
    void ShowClockWarning(const QString &text) override;
    bool EntryBeingTyped() const;
    void ShowPendingClockNotice();
    void PlaceClockNotice();

    // ActivationHooks
    bool StartCamera(StationState &station) override;
    void OpenConversionWindow() override;
    void ChooseTodaysClass(StationState &station) override;
    void SynchroniseClock(StationState &station, const QString &mode) override;

    // Camera
    void StopCamera();
    // Captions, panels and layout after the activation's steps.
    void ShowActivatedState();
    void ComboBox2Change(int index);

    TDM &m_dm;
    const WindowOpeners m_open;
    StationState m_station;
    IdentityResolver m_resolver;
    std::unique_ptr<CameraSource> m_camera;
    SignRecorder m_recorder;
    LessonSelection m_lessons;
    ScreenKeypad m_keypad;
    StationLayout m_layout;
    TypePanelView m_typePanel;
    ClockSync *m_clockSync = nullptr;
    QTimer *m_timer = nullptr;       // Timer1
    bool m_inActivation = false;
    // The window lost the keyboard to a box or window of this program, not to another program.
    bool m_ownWindowUp = false;
    // Clock notices that came while an entry was being typed.
    bool m_reminderPending = false;
    QStringList m_warningsPending;
    int m_activationCount = 0;
    // When the failure line was shown last (the station's clock).
    QDateTime m_failureShownAt;
    int m_frameHeight = 0;
    int m_frameAllowance = 8;
    // Station settings the screen keeps for other windows or for nothing at all.
    QString m_comPort;
    bool m_networkEdition = false;
    bool m_clientServer = false;
    bool m_ioScreen = false;
    bool m_lettersOn = false;
};

#pragma once

#include "core/Activation.h"
#include "station/StationState.h"

#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;
class TDM;

// The sign-in screen: the main window for the whole run; closing it ends the program.
// This is the shell: creation, show, the activation steps and shutdown. The rules of the
// station live in plain classes it owns.
class TFmRolvan : public QMainWindow, private ActivationHooks
{
    Q_OBJECT
public:
    explicit TFmRolvan(TDM &dm, QWidget *parent = nullptr);
    ~TFmRolvan() override;

    StationState &station() { return m_station; }

    // Runs the activation steps now (normally run each time the window becomes active).
    MainActivation::Outcome FormActivate();
    int activationCount() const { return m_activationCount; }

    // Brings the window to the front when a second start wakes this one.
    void WakeUp();

    // Widgets reached by name from tests and screenshots.
    QLabel *PanelCompany = nullptr;
    QLabel *PanelClass = nullptr;
    QWidget *Panel1 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QLabel *Label5 = nullptr;
    QList<QLabel *> LabIO;   // LabIO1 .. LabIO9
    QList<QLabel *> Image;   // Image1 .. Image9
    QLabel *LabIoOk = nullptr;
    QWidget *PanelVideo = nullptr;
    QWidget *VideoCap1 = nullptr;
    QPushButton *BitBtn2 = nullptr;   // 講習選定
    QPushButton *BitBtn25 = nullptr;  // 學員
    QPushButton *BitBtn19 = nullptr;  // 簽到說明
    QPushButton *BitBtn11 = nullptr;  // 系統管理
    QPushButton *BitBtnClose = nullptr;
    QWidget *Panel2 = nullptr;
    QLabel *LabelDispDate = nullptr;
    QLabel *LabelTime = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QLabel *Label10 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *BitBtn3 = nullptr;   // 確認
    QPushButton *BitBtn5 = nullptr;   // 螢幕輸入
    QList<QRadioButton *> TypeButtons; // "0" .. "5"

signals:
    void activated(MainActivation::Outcome outcome);

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void CreateComponents();
    void FormResize();
    void BitBtnCloseClick();
    void BitBtn11Click();
    void BitBtn19Click();
    void FocusEntry();
    void ShowClock();

    // ActivationHooks
    bool StartCamera(StationState &station) override;
    void OpenConversionWindow() override;

    TDM &m_dm;
    StationState m_station;
    QTimer *m_clockTimer = nullptr;
    bool m_inActivation = false;
    bool m_skipNextActivate = false;
    int m_activationCount = 0;
    int m_frameHeight = 0;
    int m_frameAllowance = 8;
    bool m_keyboardFocusOn = false;
};

#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <optional>

// The arithmetic of the sign-in screen's layout and of its on-screen keypad, without widgets:
// the window hands in its client size and switches, and places its parts where this says.

// The fixed sizes of the screen's parts, in pixels.
struct StationMetrics
{
    int companyHeight = 56;  // PanelCompany
    int classHeight = 40;    // PanelClass
    int typePanelHeight = 64; // Panel1: arrivals above, departures below, "自動"
    int headerHeight = 26;   // Label5
    int firstRowHeight = 60; // LabIO1 in PanelIO, the newest event
    int rowHeight = 50;      // LabIO2 .. LabIO9
    int imageWidth = 66;     // Image1 .. Image9, a 4:3 picture of a row's height
    int videoWidth = 336;    // PanelVideo
    int videoHeight = 252;
    int minButtonColumn = 100; // narrowest usable button column
    int panel2Height = 68;   // date, time and the lesson box
    int promptHeight = 30;   // Label10 and LabIoOk
    int inputHeight = 40;    // Edit1 and "確認"
    int keypadButtonHeight = 36; // "螢幕輸入"
    int gap = 6;
};

// What the layout depends on.
struct StationLayoutInput
{
    QSize client;            // the window's client area
    int frameAllowance = 8;  // FrameAllowance() of the station's operating-system setting
    bool photoOn = false;    // pictures beside the history rows
    bool keypadShown = false;
    QSize keypad;            // the keypad panel's size (KeypadGeometry::panel)
    StationMetrics metrics;
};

// Where each part of the screen stands (client coordinates). Names are the components'.
struct StationLayout
{
    static constexpr int HistoryRows = 9;

    int halfWidth = 0; // H
    QRect PanelCompany;
    QRect PanelClass;
    QRect Panel1;
    QRect Label5;
    std::array<QRect, HistoryRows> LabIO;
    std::array<QRect, HistoryRows> Image;
    std::array<bool, HistoryRows> rowShown{};
    std::array<bool, HistoryRows> imageShown{};
    QRect PanelVideo;
    QRect BitBtn2;     // 講習選定
    QRect BitBtn25;    // 學員
    QRect BitBtn19;    // 簽到說明
    QRect BitBtn11;    // 系統管理
    QRect BitBtnClose; // 結束
    QRect Panel2;
    QRect Panel3;      // the keypad (valid when shown)
    QRect Label10;     // the prompt
    QRect LabIoOk;     // the failure label: the prompt's top and width
    QRect Edit1;
    QRect BitBtn3;     // 確認
    QRect BitBtn5;     // 螢幕輸入
    bool promptCentred = true;    // else left-aligned (the keypad covers it)
    bool failureRightAligned = true; // else left-aligned (the keypad reaches above the prompt)

    // History rows shown: between five and nine.
    int visibleRows() const;
};

// The frame allowance of the layout by the operating-system setting ("作業系統"): 8 for
// "Win 10" and "Win XP", 16 for every other generation.
int FrameAllowance(const QString &operatingSystem);

// The screen is never smaller than this.
QSize MinimumStationSize();
// A size raised to the minimum where it is smaller.
QSize ClampStationSize(const QSize &size);

// The layout rules: the half width H, the left column (company, class, types, header and the
// history rows that fit), the camera and the button column, the date panel, the keypad at the
// bottom right and the input group left of it.
StationLayout FormResizeLayout(const StationLayoutInput &input);

// The on-screen keypad's buttons, with u = trunc(title height / 7).
struct KeypadGeometry
{
    int u = 0;
    QSize panel;
    QRect title;
    QRect hideButton;             // SpeedButton1, right of the title
    std::array<QRect, 10> digits; // Button1 .. Button10: "1" .. "9", "0"
    QRect backSpace;              // BitBtn6, beside "0"
    std::array<QRect, 26> letters; // Button13 .. Button38: "A" .. "Z"
    QRect clear;                  // BitBtn7, beside "Z"
    bool lettersShown = false;
};

// Title at the top, the digit rows 7-8-9, 4-5-6, 1-2-3 and 0 with BackSpace, then (with
// letters) the rows A-F, G-L, M-R, S-X and Y, Z with Clear.
KeypadGeometry KeypadLayout(int width, int titleHeight, int digitHeight, int letterHeight,
                            bool letters);

// The text keyed on the on-screen keypad. Its idle text is the keypad's title "螢幕輸入".
class ScreenKeypad
{
public:
    static QString IdleText() { return QStringLiteral("螢幕輸入"); }

    // The title: the keyed text, or the idle text.
    QString text() const { return m_text; }

    // A key press: the key's caption (trimmed) is appended; when the text reaches exactly
    // expectedLength characters it is returned for recording and the keypad is idle again.
    std::optional<QString> Press(const QString &caption, int expectedLength);
    // Removes the last character; an emptied text becomes idle.
    void BackSpace();
    void Clear() { m_text = IdleText(); }

private:
    QString m_text = IdleText();
};

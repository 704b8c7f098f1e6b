#include "station/StationLayout.h"

#include <QtMath>

namespace {

constexpr int MinimumWidth = 618;
constexpr int MinimumHeight = 513;

} // namespace

int StationLayout::visibleRows() const
{
    int rows = 0;
    for (bool shown : rowShown)
        rows += shown ? 1 : 0;
    return rows;
}

int FrameAllowance(const QString &operatingSystem)
{
    return (operatingSystem == QLatin1String("Win 10") || operatingSystem == QLatin1String("Win XP"))
        ? 8
        : 16;
}

QSize MinimumStationSize()
{
    return QSize(MinimumWidth, MinimumHeight);
}

QSize ClampStationSize(const QSize &size)
{
    return size.expandedTo(MinimumStationSize());
}

StationLayout FormResizeLayout(const StationLayoutInput &input)
{
    const StationMetrics &m = input.metrics;
    const int clientWidth = input.client.width();
    const int clientHeight = input.client.height();
    StationLayout l;
    const int H = qRound((clientWidth - input.frameAllowance) / 2.0);
    l.halfWidth = H;

    // Left column, each part directly below the previous one.
    l.PanelCompany = QRect(0, 0, 2 * H, m.companyHeight);
    l.PanelClass = QRect(0, l.PanelCompany.bottom() + 1, H, m.classHeight);
    l.Panel1 = QRect(0, l.PanelClass.bottom() + 1, H, m.typePanelHeight);
    l.Label5 = QRect(0, l.Panel1.bottom() + 1, H, m.headerHeight);

    const int labelWidth = input.photoOn ? H - m.imageWidth : H;
    int top = l.Label5.bottom() + 1;
    for (int i = 0; i < StationLayout::HistoryRows; ++i) {
        const int height = i == 0 ? m.firstRowHeight : m.rowHeight;
        l.LabIO[i] = QRect(0, top, labelWidth, height);
        l.Image[i] = QRect(H - m.imageWidth, top, m.imageWidth, height);
        // The five newest are always there; older ones only when their bottom fits.
        l.rowShown[i] = i < 5 || top + height <= clientHeight;
        l.imageShown[i] = l.rowShown[i] && input.photoOn;
        top += height;
    }

    // The camera at H beside the class panel; the button column directly right of it, in
    // rows of a quarter of the camera's height. A window too narrow for the column beside the
    // camera keeps the column usable at the right edge, in front of the camera's right part.
    const int columnTop = l.PanelClass.top();
    l.PanelVideo = QRect(H, columnTop, m.videoWidth, m.videoHeight);
    int columnLeft = H + m.videoWidth;
    int columnWidth = H - m.videoWidth;
    if (columnWidth < m.minButtonColumn) {
        columnWidth = qMin(m.minButtonColumn, H);
        columnLeft = 2 * H - columnWidth;
    }
    const int buttonRow = m.videoHeight / 4;
    l.BitBtn2 = QRect(columnLeft, columnTop, columnWidth, buttonRow);
    l.BitBtn25 = QRect(columnLeft, columnTop + buttonRow, columnWidth, buttonRow);
    const int halfColumn = columnWidth / 2;
    l.BitBtn19 = QRect(columnLeft, columnTop + 2 * buttonRow, halfColumn, buttonRow);
    l.BitBtn11 = QRect(columnLeft + halfColumn, columnTop + 2 * buttonRow, columnWidth - halfColumn,
                       buttonRow);
    // "結束" directly below the help button.
    l.BitBtnClose = QRect(columnLeft, l.BitBtn19.bottom() + 1, columnWidth, buttonRow);
    l.Panel2 = QRect(H, columnTop + 4 * buttonRow, H, m.panel2Height);

    // The keypad at the bottom right.
    if (input.keypadShown) {
        l.Panel3 = QRect(clientWidth - input.frameAllowance - input.keypad.width(),
                         clientHeight - input.keypad.height() - 2, input.keypad.width(),
                         input.keypad.height());
    }

    // Input group, bottom up: "螢幕輸入", "確認", Edit1 (four times as wide as high), right
    // of it the keypad when shown, else the right edge of the company panel.
    const int groupRight = (input.keypadShown ? l.Panel3.left() : l.PanelCompany.right() + 1) - m.gap;
    const int groupWidth = 4 * m.inputHeight;
    const int groupLeft = groupRight - groupWidth;
    l.BitBtn5 = QRect(groupLeft, clientHeight - int(1.8 * m.keypadButtonHeight), groupWidth,
                      m.keypadButtonHeight);
    l.BitBtn3 = QRect(groupLeft, l.BitBtn5.top() - m.gap - m.inputHeight, groupWidth, m.inputHeight);
    l.Edit1 = QRect(groupLeft, l.BitBtn3.top() - m.gap - m.inputHeight, groupWidth, m.inputHeight);
    // The prompt across the right column above the input field; the failure label takes its
    // top and width.
    l.Label10 = QRect(H, l.Edit1.top() - m.gap - m.promptHeight, H, m.promptHeight);

    // A low window has no room for the stack below the date panel: the prompt goes directly
    // below that panel, "確認" beside the input field, both in the room left above "螢幕輸入".
    if (l.Label10.top() <= l.Panel2.bottom() + m.gap) {
        const int promptHeight = qMin(m.promptHeight, 24);
        l.Label10 = QRect(H, l.Panel2.bottom() + 1 + m.gap / 2, H, promptHeight);
        const int rowTop = l.Label10.bottom() + 1 + m.gap / 2;
        const int rowHeight = qMax(20, qMin(m.inputHeight, l.BitBtn5.top() - m.gap / 2 - rowTop));
        const int confirmWidth = 2 * rowHeight;
        l.BitBtn3 = QRect(groupRight - confirmWidth, rowTop, confirmWidth, rowHeight);
        l.Edit1 = QRect(l.BitBtn3.left() - m.gap - 4 * rowHeight, rowTop, 4 * rowHeight, rowHeight);
    }
    l.LabIoOk = l.Label10;
    if (input.keypadShown) {
        l.failureRightAligned = l.Panel3.top() >= l.Label10.top();
        l.promptCentred = l.Panel3.top() >= l.Label10.top() + l.Label10.height() / 3;
    }
    return l;
}

KeypadGeometry KeypadLayout(int width, int titleHeight, int digitHeight, int letterHeight,
                            bool letters)
{
    KeypadGeometry k;
    const int u = titleHeight / 7;
    k.u = u;
    k.lettersShown = letters;
    const int panelHeight = letters ? 4 * digitHeight + titleHeight + 16 * u + 5 * letterHeight
                                    : 4 * digitHeight + titleHeight + 9 * u;
    k.panel = QSize(width, panelHeight);

    k.hideButton = QRect(width - u - titleHeight, 2 * u, titleHeight, titleHeight);
    k.title = QRect(u, 2 * u, k.hideButton.left() - 2 * u, titleHeight);

    // Digits in three columns; "0" in the first column of the last row, BackSpace in the other two.
    const int digitWidth = (width - 4 * u) / 3;
    const auto digitCell = [&](int row, int column, int span = 1) {
        const int top = k.title.bottom() + 1 + 2 * u + row * (digitHeight + u);
        const int left = u + column * (digitWidth + u);
        return QRect(left, top, span * digitWidth + (span - 1) * u, digitHeight);
    };
    for (int d = 1; d <= 9; ++d) {
        const int row = 2 - (d - 1) / 3; // 7-8-9 on top, 1-2-3 third
        k.digits[d - 1] = digitCell(row, (d - 1) % 3);
    }
    k.digits[9] = digitCell(3, 0);
    k.backSpace = digitCell(3, 1, 2);

    // Letters in six columns, 2u below the digits; Clear after "Z".
    const int letterWidth = (width - 7 * u) / 6;
    const int lettersTop = k.digits[9].bottom() + 1 + 2 * u;
    for (int i = 0; i < 26; ++i) {
        const int row = i / 6;
        const int column = i % 6;
        k.letters[i] = QRect(u + column * (letterWidth + u), lettersTop + row * (letterHeight + u),
                             letterWidth, letterHeight);
    }
    const QRect afterZ = QRect(u + 2 * (letterWidth + u), k.letters[25].top(), 0, letterHeight);
    k.clear = QRect(afterZ.left(), afterZ.top(), width - u - afterZ.left(), letterHeight);
    return k;
}

std::optional<QString> ScreenKeypad::Press(const QString &caption, int expectedLength)
{
    if (m_text == IdleText())
        m_text.clear();
    m_text += caption.trimmed();
    if (m_text.size() == expectedLength) {
        const QString entry = m_text.trimmed();
        m_text = IdleText();
        return entry;
    }
    return std::nullopt;
}

void ScreenKeypad::BackSpace()
{
    if (m_text == IdleText())
        return;
    m_text.chop(1);
    if (m_text.isEmpty())
        m_text = IdleText();
}

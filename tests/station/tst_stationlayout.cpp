// The sign-in screen's layout arithmetic and on-screen keypad text, without a window.

#include "station/StationLayout.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestStationLayout : public QObject
{
    Q_OBJECT

private slots:
    void historyRowsFollowTheHeight_data();
    void historyRowsFollowTheHeight();
    void halfWidthAndColumns_data();
    void halfWidthAndColumns();
    void narrowWindowKeepsTheButtonColumnInside();
    void inputGroupStaysClearOfTheDatePanel_data();
    void inputGroupStaysClearOfTheDatePanel();
    void minimumSize_data();
    void minimumSize();
    void keypadStandsBottomRightAndMovesTheInputGroup();
    void keypadGeometry_data();
    void keypadGeometry();
    void keypadText_data();
    void keypadText();
};

namespace {

StationLayout Layout(int width, int height, bool photo = true, bool keypad = false,
                     const QString &os = QStringLiteral("Win 10"))
{
    StationLayoutInput input;
    input.client = QSize(width, height);
    input.frameAllowance = FrameAllowance(os);
    input.photoOn = photo;
    input.keypadShown = keypad;
    input.keypad = KeypadLayout(244, 28, 40, 32, false).panel;
    return FormResizeLayout(input);
}

} // namespace

void TestStationLayout::historyRowsFollowTheHeight_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("photo");
    QTest::addColumn<int>("rows");

    // The rows start at 56 + 40 + 64 + 26 = 186; the newest is 60 high, the others 50.
    // Row six ends at 496, seven at 546, eight at 596, nine at 646.
    QTest::newRow("below six rows") << 495 << true << 5;
    QTest::newRow("six rows exactly") << 496 << true << 6;
    QTest::newRow("minimum height") << 513 << true << 6;
    QTest::newRow("one short of seven") << 545 << false << 6;
    QTest::newRow("seven") << 546 << false << 7;
    QTest::newRow("eight") << 600 << true << 8;
    QTest::newRow("nine exactly") << 646 << true << 9;
    QTest::newRow("default window") << 710 << true << 9;
    QTest::newRow("tall window") << 1400 << false << 9;
    QTest::newRow("tiny window still five") << 100 << true << 5;
}

void TestStationLayout::historyRowsFollowTheHeight()
{
    QFETCH(int, height);
    QFETCH(bool, photo);
    QFETCH(int, rows);

    const StationLayout l = Layout(980, height, photo);
    QCOMPARE(l.visibleRows(), rows);
    for (int i = 0; i < StationLayout::HistoryRows; ++i) {
        QCOMPARE(l.rowShown[i], i < rows);
        // A picture only beside a shown row, and only with the photo switch on.
        QCOMPARE(l.imageShown[i], i < rows && photo);
        if (l.rowShown[i] && i >= 5)
            QVERIFY(l.LabIO[i].bottom() < height);
    }
    // Rows follow each other without gaps, the newest first.
    for (int i = 1; i < StationLayout::HistoryRows; ++i)
        QCOMPARE(l.LabIO[i].top(), l.LabIO[i - 1].bottom() + 1);
}

void TestStationLayout::halfWidthAndColumns_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("os");
    QTest::addColumn<bool>("photo");
    QTest::addColumn<int>("half");

    QTest::newRow("Win 10") << 980 << QStringLiteral("Win 10") << true << 486;
    QTest::newRow("Win XP") << 981 << QStringLiteral("Win XP") << true << 487; // 486.5 rounds up
    QTest::newRow("Win 7") << 980 << QStringLiteral("Win 7") << false << 482;
    QTest::newRow("Vista") << 1280 << QStringLiteral("Vista") << true << 632;
}

void TestStationLayout::halfWidthAndColumns()
{
    QFETCH(int, width);
    QFETCH(QString, os);
    QFETCH(bool, photo);
    QFETCH(int, half);

    const StationLayout l = Layout(width, 710, photo, false, os);
    QCOMPARE(l.halfWidth, half);
    QCOMPARE(l.PanelCompany, QRect(0, 0, 2 * half, 56));
    QCOMPARE(l.PanelClass.width(), half);
    QCOMPARE(l.Panel1.top(), l.PanelClass.bottom() + 1);
    QCOMPARE(l.Label5.top(), l.Panel1.bottom() + 1);
    QCOMPARE(l.LabIO[0].top(), l.Label5.bottom() + 1);
    // The row label leaves room for its picture at the right end of the left column.
    QCOMPARE(l.LabIO[0].width(), photo ? half - 66 : half);
    QCOMPARE(l.Image[3].right(), half - 1);
    QCOMPARE(l.Image[3].top(), l.LabIO[3].top());

    // Camera at H, the button column right of it from the top of the class panel.
    QCOMPARE(l.PanelVideo, QRect(half, l.PanelClass.top(), 336, 252));
    QCOMPARE(l.BitBtn2, QRect(half + 336, l.PanelClass.top(), half - 336, 63));
    QCOMPARE(l.BitBtn25.top(), l.BitBtn2.bottom() + 1);
    QCOMPARE(l.BitBtn19.top(), l.BitBtn25.bottom() + 1);
    QCOMPARE(l.BitBtn11.top(), l.BitBtn19.top());
    QCOMPARE(l.BitBtn19.width() + l.BitBtn11.width(), half - 336);
    QCOMPARE(l.BitBtn11.left(), l.BitBtn19.right() + 1);
    // "結束" directly below the help button; the date panel below the column.
    QCOMPARE(l.BitBtnClose.top(), l.BitBtn19.bottom() + 1);
    QCOMPARE(l.Panel2.top(), l.BitBtnClose.bottom() + 1);
    QCOMPARE(l.Panel2.left(), half);

    // Input group bottom up, right-aligned to the company panel; Edit1 four times its height.
    QCOMPARE(l.BitBtn5.top(), 710 - int(1.8 * 36));
    QVERIFY(l.BitBtn3.bottom() < l.BitBtn5.top());
    QVERIFY(l.Edit1.bottom() < l.BitBtn3.top());
    QCOMPARE(l.Edit1.width(), 4 * l.Edit1.height());
    QVERIFY(l.Edit1.right() < l.PanelCompany.right());
    QVERIFY(l.Label10.bottom() < l.Edit1.top());
    QVERIFY(l.Label10.top() > l.Panel2.bottom());
    QCOMPARE(l.LabIoOk.top(), l.Label10.top());
    QCOMPARE(l.LabIoOk.width(), l.Label10.width());
}

void TestStationLayout::narrowWindowKeepsTheButtonColumnInside()
{
    // At the minimum width H is 305: no room beside the camera. The column stays reachable
    // at the right edge.
    const StationLayout l = Layout(618, 513);
    QCOMPARE(l.halfWidth, 305);
    QVERIFY(l.BitBtn2.width() >= 100);
    QCOMPARE(l.BitBtn2.right(), 2 * 305 - 1);
    QCOMPARE(l.BitBtnClose.right(), 2 * 305 - 1);
    QVERIFY(l.BitBtn19.width() > 0 && l.BitBtn11.width() > 0);
}

void TestStationLayout::inputGroupStaysClearOfTheDatePanel_data()
{
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("stacked"); // Edit1 above "確認", else side by side

    QTest::newRow("minimum") << QSize(618, 513) << false;
    QTest::newRow("low and wide") << QSize(1280, 540) << false;
    QTest::newRow("just high enough to stack") << QSize(980, 600) << true;
    QTest::newRow("default") << QSize(980, 710) << true;
}

void TestStationLayout::inputGroupStaysClearOfTheDatePanel()
{
    QFETCH(QSize, client);
    QFETCH(bool, stacked);

    const StationLayout l = Layout(client.width(), client.height());
    // Top to bottom: date panel, prompt, input field (and "確認"), "螢幕輸入".
    QVERIFY(l.Label10.top() > l.Panel2.bottom());
    QVERIFY(l.Edit1.top() > l.Label10.bottom());
    QVERIFY(l.BitBtn3.top() > l.Label10.bottom());
    QVERIFY(l.Edit1.bottom() < l.BitBtn5.top());
    QVERIFY(l.BitBtn3.bottom() < l.BitBtn5.top());
    QCOMPARE(l.BitBtn5.top(), client.height() - int(1.8 * 36));
    QCOMPARE(l.Edit1.width(), 4 * l.Edit1.height());
    QCOMPARE(l.BitBtn3.top() > l.Edit1.bottom(), stacked);
    if (!stacked)
        QVERIFY(l.BitBtn3.left() > l.Edit1.right());
    QVERIFY(l.BitBtn3.right() < 2 * l.halfWidth);
    QVERIFY(l.Edit1.left() >= l.halfWidth);
}

void TestStationLayout::minimumSize_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("got");

    QTest::newRow("smaller both ways") << QSize(400, 300) << QSize(618, 513);
    QTest::newRow("too narrow") << QSize(500, 800) << QSize(618, 800);
    QTest::newRow("too low") << QSize(1024, 512) << QSize(1024, 513);
    QTest::newRow("exactly") << QSize(618, 513) << QSize(618, 513);
    QTest::newRow("larger") << QSize(1920, 1080) << QSize(1920, 1080);
}

void TestStationLayout::minimumSize()
{
    QFETCH(QSize, asked);
    QFETCH(QSize, got);
    QCOMPARE(ClampStationSize(asked), got);
    QCOMPARE(MinimumStationSize(), QSize(618, 513));
}

void TestStationLayout::keypadStandsBottomRightAndMovesTheInputGroup()
{
    const QSize keypad = KeypadLayout(244, 28, 40, 32, false).panel;
    const StationLayout hidden = Layout(980, 710, true, false);
    const StationLayout shown = Layout(980, 710, true, true);

    QCOMPARE(shown.Panel3, QRect(980 - 8 - keypad.width(), 710 - keypad.height() - 2,
                                 keypad.width(), keypad.height()));
    // The input group moves left of the keypad.
    QVERIFY(shown.Edit1.right() < shown.Panel3.left());
    QVERIFY(shown.BitBtn3.right() < shown.Panel3.left());
    QVERIFY(hidden.Edit1.right() > shown.Panel3.left());
    // Left of the keypad, the texts of the prompt and the failure label give way when the
    // keypad reaches above them.
    QVERIFY(hidden.promptCentred && hidden.failureRightAligned);
    QCOMPARE(shown.failureRightAligned, shown.Panel3.top() >= shown.Label10.top());

    // A tall keypad (with letters) reaches above the prompt.
    StationLayoutInput input;
    input.client = QSize(980, 710);
    input.keypadShown = true;
    input.keypad = KeypadLayout(244, 28, 40, 32, true).panel;
    const StationLayout tall = FormResizeLayout(input);
    QVERIFY(tall.Panel3.top() < tall.Label10.top());
    QVERIFY(!tall.promptCentred);
    QVERIFY(!tall.failureRightAligned);
}

void TestStationLayout::keypadGeometry_data()
{
    QTest::addColumn<bool>("letters");
    QTest::addColumn<int>("height");

    // u = trunc(28 / 7) = 4.
    QTest::newRow("digits") << false << 4 * 40 + 28 + 9 * 4;
    QTest::newRow("digits and letters") << true << 4 * 40 + 28 + 16 * 4 + 5 * 32;
}

void TestStationLayout::keypadGeometry()
{
    QFETCH(bool, letters);
    QFETCH(int, height);

    const KeypadGeometry k = KeypadLayout(244, 28, 40, 32, letters);
    QCOMPARE(k.u, 4);
    QCOMPARE(k.panel, QSize(244, height));
    QCOMPARE(k.title.top(), 8);
    // 7-8-9 on the first row 2u below the title, then 4-5-6, 1-2-3, and 0 with BackSpace.
    QCOMPARE(k.digits[6].top(), k.title.bottom() + 1 + 8);
    QCOMPARE(k.digits[3].top(), k.digits[6].bottom() + 1 + 4);
    QCOMPARE(k.digits[0].top(), k.digits[3].bottom() + 1 + 4);
    QCOMPARE(k.digits[9].top(), k.digits[0].bottom() + 1 + 4);
    QCOMPARE(k.digits[9].left(), k.digits[0].left());
    QCOMPARE(k.backSpace.top(), k.digits[9].top());
    QCOMPARE(k.backSpace.right(), k.digits[2].right());
    QVERIFY(k.digits[9].bottom() < height);
    // Letters: A-F 2u below the digits, Y and Z with Clear last.
    QCOMPARE(k.letters[0].top(), k.digits[9].bottom() + 1 + 8);
    QCOMPARE(k.letters[6].top(), k.letters[0].bottom() + 1 + 4);
    QCOMPARE(k.letters[24].top(), k.letters[25].top());
    QCOMPARE(k.clear.top(), k.letters[25].top());
    QVERIFY(k.clear.left() > k.letters[25].right());
    if (letters) {
        QVERIFY(k.clear.bottom() < height);
    }
    // Nothing sticks out at the right.
    QVERIFY(k.letters[5].right() < 244);
    QVERIFY(k.hideButton.right() < 244);
    QVERIFY(k.title.right() < k.hideButton.left());
}

void TestStationLayout::keypadText_data()
{
    QTest::addColumn<QStringList>("keys"); // "<" BackSpace, "!" Clear
    QTest::addColumn<int>("length");
    QTest::addColumn<QStringList>("recorded");
    QTest::addColumn<QString>("title");

    const QString idle = ScreenKeypad::IdleText();
    QTest::newRow("five digits record and go idle")
        << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s} << 5 << QStringList{u"12345"_s}
        << idle;
    QTest::newRow("four keys wait") << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s} << 5
                                    << QStringList{} << u"1234"_s;
    QTest::newRow("a sixth key starts a new entry")
        << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s} << 5
        << QStringList{u"12345"_s} << u"6"_s;
    QTest::newRow("backspace corrects") << QStringList{u"1"_s, u"2"_s, u"9"_s, u"<"_s, u"3"_s,
                                                       u"4"_s, u"5"_s}
                                        << 5 << QStringList{u"12345"_s} << idle;
    QTest::newRow("backspace to empty is idle") << QStringList{u"7"_s, u"<"_s} << 5 << QStringList{}
                                                << idle;
    QTest::newRow("backspace on idle keeps idle") << QStringList{u"<"_s, u"<"_s} << 5
                                                  << QStringList{} << idle;
    QTest::newRow("clear discards") << QStringList{u"1"_s, u"2"_s, u"!"_s, u"3"_s} << 5
                                    << QStringList{} << u"3"_s;
    QTest::newRow("letters and a blank caption trimmed")
        << QStringList{u"A"_s, u" 1 "_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s,
                       u"8"_s, u"9"_s}
        << 10 << QStringList{u"A123456789"_s} << idle;
}

void TestStationLayout::keypadText()
{
    QFETCH(QStringList, keys);
    QFETCH(int, length);
    QFETCH(QStringList, recorded);
    QFETCH(QString, title);

    ScreenKeypad keypad;
    QCOMPARE(keypad.text(), ScreenKeypad::IdleText());
    QStringList got;
    for (const QString &key : keys) {
        if (key == u"<"_s) {
            keypad.BackSpace();
        } else if (key == u"!"_s) {
            keypad.Clear();
        } else if (const auto entry = keypad.Press(key, length)) {
            got << *entry;
        }
    }
    QCOMPARE(got, recorded);
    QCOMPARE(keypad.text(), title);
}

QTEST_APPLESS_MAIN(TestStationLayout)
#include "tst_stationlayout.moc"

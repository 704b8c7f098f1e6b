#include "dialogs/RecordWindow.h"
#include "mock/ScriptedPrompter.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using Mode = RecordWindow::Mode;

Q_DECLARE_METATYPE(RecordWindow::Mode)
Q_DECLARE_METATYPE(Prompter::Button)

namespace {

// A record window in small: the toolbar, a list of `rows` records and the two pages. What the
// window's own parts of the rules were asked to do is written down for the test to read.
class SmallRecordWindow : public QWidget
{
public:
    explicit SmallRecordWindow(
        int rows, bool navigationNeedsRecord = false, bool askBeforeCancel = false)
    {
        record = new RecordWindow(this, u"Nav"_s, 42);
        QHBoxLayout *toolbar = record->MakeToolbar(
            { .editPrefix = u"Nav"_s, .deleteCaption = u"刪除"_s, .deleteBeforePost = true },
            { insert, edit, post, remove, cancel });
        model.setRowCount(rows);
        model.setColumnCount(1);
        grid = new QTableView(this);
        RecordWindow::SetUpRecordGrid(grid, u"DBGrid1"_s, 24);
        grid->setModel(&model);
        pages = new QTabWidget(this);
        pages->addTab(grid, u"多筆瀏覽"_s);
        pages->addTab(new QWidget(this), u"單筆明細"_s);
        auto *layout = new QVBoxLayout(this);
        layout->addLayout(toolbar);
        layout->addWidget(pages);
        record->Attach({
            .grid = grid,
            .pages = pages,
            .hasRecord = [this] { return hasRecord; },
            .applyMode = [this](Mode mode) { appliedModes << mode; },
            .rowChanged = [this] { ++rowChanges; },
            .insertRecord = [this] { log << u"insert"_s; },
            .postRecord = [this] { log << u"post"_s; },
            .deleteRecord =
                [this] {
                    log << u"delete"_s;
                    model.removeRow(grid->currentIndex().row());
                },
            .editDropped = askBeforeCancel
                ? std::function<void(Mode)>([this](Mode left) { droppedModes << left; })
                : std::function<void(Mode)>(),
            .askBeforeCancel = askBeforeCancel,
            .navigationNeedsRecord = navigationNeedsRecord,
        });
        record->SetMode(Mode::Browse);
    }

    QPushButton *Find(const QString &name) const { return findChild<QPushButton *>(name); }

    RecordWindow *record = nullptr;
    QPushButton *insert = nullptr;
    QPushButton *edit = nullptr;
    QPushButton *post = nullptr;
    QPushButton *remove = nullptr;
    QPushButton *cancel = nullptr;
    QStandardItemModel model;
    QTableView *grid = nullptr;
    QTabWidget *pages = nullptr;
    bool hasRecord = true;
    QList<Mode> appliedModes;
    QList<Mode> droppedModes;
    QStringList log;
    int rowChanges = 0;
};

} // namespace

class TestRecordWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_prompter = std::make_unique<ScriptedPrompter>(); }
    void cleanup() { m_prompter.reset(); }

    void toolbarButtons();
    void enabledStates_data();
    void enabledStates();
    void navigation_data();
    void navigation();
    void editingButtons_data();
    void editingButtons();
    void deleting_data();
    void deleting();
    void cancelling_data();
    void cancelling();
    void leaving_data();
    void leaving();

private:
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestRecordWindow::toolbarButtons()
{
    SmallRecordWindow window(3);
    const QList<std::pair<QString, QString>> expected {
        { u"NavFirst"_s, u"|◀"_s },
        { u"NavPrior"_s, u"◀"_s },
        { u"NavNext"_s, u"▶"_s },
        { u"NavLast"_s, u"▶|"_s },
        { u"NavInsert"_s, u"新增"_s },
        { u"NavEdit"_s, u"修改"_s },
        { u"NavDelete"_s, u"刪除"_s },
        { u"NavPost"_s, u"確認"_s },
        { u"NavCancel"_s, u"取消"_s },
    };
    for (const auto &[name, caption] : expected) {
        QPushButton *button = window.Find(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
        // Pressing a toolbar button never takes the focus from a field, nor answers Enter.
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        QVERIFY(!button->autoDefault());
    }
    QCOMPARE(window.insert, window.Find(u"NavInsert"_s));
    QCOMPARE(window.cancel, window.Find(u"NavCancel"_s));
    QCOMPARE(window.record->first()->maximumWidth(), 42);
}

void TestRecordWindow::enabledStates_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("hasRecord");
    QTest::addColumn<bool>("navigationNeedsRecord");
    // Enabled: navigation, 新增, 修改, 刪除, 確認, 取消, the list.
    QTest::addColumn<QList<bool>>("enabled");

    QTest::newRow("browsing a record")
        << Mode::Browse << true << false
        << QList<bool> { true, true, true, true, false, false, true };
    QTest::newRow("browsing an empty list")
        << Mode::Browse << false << false
        << QList<bool> { true, true, false, false, false, false, true };
    QTest::newRow("browsing an empty list, navigation needs a record")
        << Mode::Browse << false << true
        << QList<bool> { false, true, false, false, false, false, true };
    QTest::newRow("browsing a record, navigation needs a record")
        << Mode::Browse << true << true
        << QList<bool> { true, true, true, true, false, false, true };
    QTest::newRow("editing") << Mode::Edit << true << false
                             << QList<bool> { false, false, false, false, true, true, false };
    QTest::newRow("adding") << Mode::Insert << false << true
                            << QList<bool> { false, false, false, false, true, true, false };
}

void TestRecordWindow::enabledStates()
{
    QFETCH(Mode, mode);
    QFETCH(bool, hasRecord);
    QFETCH(bool, navigationNeedsRecord);
    QFETCH(QList<bool>, enabled);

    SmallRecordWindow window(3, navigationNeedsRecord);
    window.hasRecord = hasRecord;
    window.appliedModes.clear();
    window.record->SetMode(mode);

    QCOMPARE(window.record->mode(), mode);
    QCOMPARE(window.record->browsing(), mode == Mode::Browse);
    for (QPushButton *nav : { window.record->first(), window.record->prior(), window.record->next(),
             window.record->last() })
        QCOMPARE(nav->isEnabled(), enabled.at(0));
    QCOMPARE(window.insert->isEnabled(), enabled.at(1));
    QCOMPARE(window.edit->isEnabled(), enabled.at(2));
    QCOMPARE(window.remove->isEnabled(), enabled.at(3));
    QCOMPARE(window.post->isEnabled(), enabled.at(4));
    QCOMPARE(window.cancel->isEnabled(), enabled.at(5));
    QCOMPARE(window.grid->isEnabled(), enabled.at(6));
    // The window's own states follow the toolbar's.
    QCOMPARE(window.appliedModes, QList<Mode> { mode });
}

void TestRecordWindow::navigation_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("button");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<int>("row");

    QTest::newRow("first") << 5 << 3 << u"NavFirst"_s << Mode::Browse << 0;
    QTest::newRow("prior") << 5 << 3 << u"NavPrior"_s << Mode::Browse << 2;
    QTest::newRow("prior at the top stays") << 5 << 0 << u"NavPrior"_s << Mode::Browse << 0;
    QTest::newRow("next") << 5 << 3 << u"NavNext"_s << Mode::Browse << 4;
    QTest::newRow("next at the bottom stays") << 5 << 4 << u"NavNext"_s << Mode::Browse << 4;
    QTest::newRow("last") << 5 << 1 << u"NavLast"_s << Mode::Browse << 4;
    QTest::newRow("last of an empty list") << 0 << -1 << u"NavLast"_s << Mode::Browse << -1;
    QTest::newRow("no move while editing") << 5 << 3 << u"NavFirst"_s << Mode::Edit << 3;
}

void TestRecordWindow::navigation()
{
    QFETCH(int, rows);
    QFETCH(int, start);
    QFETCH(QString, button);
    QFETCH(Mode, mode);
    QFETCH(int, row);

    SmallRecordWindow window(rows);
    window.record->SelectRow(start);
    QCOMPARE(window.record->currentRow(), start);
    window.record->SetMode(mode);
    window.rowChanges = 0;

    if (mode == Mode::Browse) {
        window.Find(button)->click();
    } else {
        // The buttons are disabled while editing; the move itself refuses too.
        QVERIFY(!window.Find(button)->isEnabled());
        window.record->MoveFirst();
    }
    QCOMPARE(window.record->currentRow(), row);
    QCOMPARE(window.grid->selectionModel()->isRowSelected(qMax(row, 0)), row >= 0);
    // Every move shows its row, even onto the row that was current.
    QCOMPARE(window.rowChanges > 0, mode == Mode::Browse);
}

void TestRecordWindow::editingButtons_data()
{
    QTest::addColumn<bool>("hasRecord");
    QTest::addColumn<QString>("button");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("修改 a record") << true << u"NavEdit"_s << Mode::Edit << 1 << QStringList();
    QTest::newRow("修改 without a record")
        << false << u"NavEdit"_s << Mode::Browse << 0 << QStringList();
    QTest::newRow("新增") << true << u"NavInsert"_s << Mode::Browse << 0
                          << QStringList { u"insert"_s };
    QTest::newRow("刪除") << true << u"NavDelete"_s << Mode::Browse << 0
                          << QStringList { u"delete"_s };
}

void TestRecordWindow::editingButtons()
{
    QFETCH(bool, hasRecord);
    QFETCH(QString, button);
    QFETCH(Mode, mode);
    QFETCH(int, page);
    QFETCH(QStringList, log);

    SmallRecordWindow window(3);
    window.hasRecord = hasRecord;
    window.record->SetMode(Mode::Browse);
    if (button == u"NavEdit"_s)
        window.record->EditRecord(); // the button is disabled without a record
    else
        window.Find(button)->click();
    QCOMPARE(window.record->mode(), mode);
    QCOMPARE(window.pages->currentIndex(), page);
    QCOMPARE(window.log, log);

    // 確認 is the window's own once a record is edited.
    window.record->SetMode(Mode::Edit);
    window.post->click();
    QCOMPARE(window.log.last(), u"post"_s);
    QVERIFY(m_prompter->asked.isEmpty());
}

void TestRecordWindow::deleting_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("hasRecord");
    QTest::addColumn<int>("rowsAfter");
    QTest::addColumn<int>("row");

    QTest::newRow("a middle row: the next one moves up into its place") << 3 << 1 << true << 2 << 1;
    QTest::newRow("the last row: the new last one") << 3 << 2 << true << 2 << 1;
    QTest::newRow("the only row: nothing is left to stand on") << 1 << 0 << true << 0 << -1;
    QTest::newRow("no record shown: nothing is deleted") << 3 << 1 << false << 3 << 1;
}

void TestRecordWindow::deleting()
{
    QFETCH(int, rows);
    QFETCH(int, start);
    QFETCH(bool, hasRecord);
    QFETCH(int, rowsAfter);
    QFETCH(int, row);

    SmallRecordWindow window(rows);
    window.hasRecord = hasRecord;
    window.record->SelectRow(start);
    window.record->DeleteRecord();
    QCOMPARE(window.model.rowCount(), rowsAfter);
    QCOMPARE(window.record->currentRow(), row);
    QCOMPARE(window.log.size(), hasRecord ? 1 : 0);
}

void TestRecordWindow::cancelling_data()
{
    QTest::addColumn<bool>("askBeforeCancel");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QList<Prompter::Button>>("answers");
    QTest::addColumn<Mode>("modeAfter");
    QTest::addColumn<QList<Mode>>("dropped");
    QTest::addColumn<int>("rowChanges");

    const QList<Prompter::Button> none;
    QTest::newRow("no question: the row is shown again")
        << false << Mode::Edit << none << Mode::Browse << QList<Mode>() << 1;
    QTest::newRow("asked, 是: the window is told which mode was left")
        << true << Mode::Insert << QList<Prompter::Button> { Prompter::Button::Yes } << Mode::Browse
        << QList<Mode> { Mode::Insert } << 0;
    QTest::newRow("asked, 否: the edit stays")
        << true << Mode::Edit << QList<Prompter::Button> { Prompter::Button::No } << Mode::Edit
        << QList<Mode>() << 0;
}

void TestRecordWindow::cancelling()
{
    QFETCH(bool, askBeforeCancel);
    QFETCH(Mode, mode);
    QFETCH(QList<Prompter::Button>, answers);
    QFETCH(Mode, modeAfter);
    QFETCH(QList<Mode>, dropped);
    QFETCH(int, rowChanges);

    SmallRecordWindow window(3, false, askBeforeCancel);
    window.record->SetMode(mode);
    window.rowChanges = 0;
    for (Prompter::Button answer : answers)
        m_prompter->queueButton(answer);
    window.cancel->click();

    QCOMPARE(m_prompter->asked,
        askBeforeCancel ? QStringList { u"資料尚未儲存 確定要取消嗎?"_s } : QStringList());
    QCOMPARE(window.record->mode(), modeAfter);
    QCOMPARE(window.droppedModes, dropped);
    QCOMPARE(window.rowChanges, rowChanges);
}

void TestRecordWindow::leaving_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QList<Prompter::Button>>("answers");
    QTest::addColumn<bool>("mayLeave");
    QTest::addColumn<Mode>("modeAfter");
    QTest::addColumn<QStringList>("asked");

    const QStringList question { u"資料尚未儲存 確定要離開嗎?"_s };
    QTest::newRow("browsing: no question")
        << Mode::Browse << QList<Prompter::Button>() << true << Mode::Browse << QStringList();
    QTest::newRow("editing, 是") << Mode::Edit << QList<Prompter::Button> { Prompter::Button::Yes }
                                 << true << Mode::Browse << question;
    QTest::newRow("adding, 否") << Mode::Insert << QList<Prompter::Button> { Prompter::Button::No }
                                << false << Mode::Insert << question;
}

void TestRecordWindow::leaving()
{
    QFETCH(Mode, mode);
    QFETCH(QList<Prompter::Button>, answers);
    QFETCH(bool, mayLeave);
    QFETCH(Mode, modeAfter);
    QFETCH(QStringList, asked);

    SmallRecordWindow window(3);
    window.record->SetMode(mode);
    for (Prompter::Button answer : answers)
        m_prompter->queueButton(answer);
    QCOMPARE(window.record->ConfirmLeave(), mayLeave);
    QCOMPARE(window.record->mode(), modeAfter);
    QCOMPARE(m_prompter->asked, asked);
}

QTEST_MAIN(TestRecordWindow)
#include "tst_recordwindow.moc"

// The program's choice list, offscreen: the answer is the position of the line chosen, also
// when two lines read alike; closing it chooses nothing. An error box carries the caption it
// is given, the usual one otherwise.

#include "platform/WidgetPrompter.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Once a modal dialog is up, presses the keys in the widget that has the focus.
void PressWhenShown(const QList<Qt::Key> &keys, const QString &shot = QString())
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, keys, shot] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
        if (!shot.isEmpty() && !dir.isEmpty()) {
            QDir().mkpath(dir);
            modal->grab().save(QDir(dir).filePath(shot + u".png"_s), "PNG");
        }
        for (Qt::Key key : keys) {
            QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : modal;
            QTest::keyClick(target, key);
        }
    });
    poll->start(10);
}

// Once a modal message box is up, notes its caption and icon and presses its button.
void NoteAndCloseWhenShown(QString *caption, QMessageBox::Icon *icon)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, caption, icon] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        *caption = box->windowTitle();
        *icon = box->icon();
        box->buttons().first()->click();
    });
    poll->start(10);
}

} // namespace

class TestWidgetPrompter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10)); }
    void choiceList_data();
    void choiceList();
    void errorBoxCaption_data();
    void errorBoxCaption();
};

void TestWidgetPrompter::choiceList_data()
{
    QTest::addColumn<int>("downs");
    QTest::addColumn<Qt::Key>("finish");
    QTest::addColumn<int>("chosen");

    QTest::newRow("first line, Enter") << 0 << Qt::Key_Return << 0;
    QTest::newRow("second line") << 1 << Qt::Key_Return << 1;
    QTest::newRow("third line, the same text as the first") << 2 << Qt::Key_Return << 2;
    QTest::newRow("closed") << 2 << Qt::Key_Escape << -1;
}

void TestWidgetPrompter::choiceList()
{
    QFETCH(int, downs);
    QFETCH(Qt::Key, finish);
    QFETCH(int, chosen);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    WidgetPrompter prompter(&window);

    QList<Qt::Key> keys(downs, Qt::Key_Down);
    keys << finish;
    PressWhenShown(keys, downs == 2 && chosen == 2 ? u"choicelist"_s : QString());
    const QStringList lines
        = { u"王小明  *****12345"_s, u"李大華  *****12345"_s, u"王小明  *****12345"_s };
    QCOMPARE(prompter.ChooseFromList(u"12345"_s, lines), chosen);
}

void TestWidgetPrompter::errorBoxCaption_data()
{
    QTest::addColumn<bool>("ownCaption");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("expected");

    QTest::newRow("the usual caption") << false << QString() << u"講習基本資料"_s;
    QTest::newRow("a caption of its own") << true << u"網路連線錯誤"_s << u"網路連線錯誤"_s;
    QTest::newRow("an empty caption of its own") << true << QString() << u"講習基本資料"_s;
}

void TestWidgetPrompter::errorBoxCaption()
{
    QFETCH(bool, ownCaption);
    QFETCH(QString, caption);
    QFETCH(QString, expected);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    WidgetPrompter widgetPrompter(&window);
    widgetPrompter.setTitle(u"講習基本資料"_s);
    // Reached as every window reaches it.
    Prompter &prompter = widgetPrompter;

    QString shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    NoteAndCloseWhenShown(&shown, &icon);
    if (ownCaption)
        prompter.ShowError(caption, u"無法連結至網站,請確認網路連線是否正常"_s);
    else
        prompter.ShowError(u"無法連結至網站,請確認網路連線是否正常"_s);
    QCOMPARE(shown, expected);
    QCOMPARE(icon, QMessageBox::Critical);
}

QTEST_MAIN(TestWidgetPrompter)
#include "tst_widgetprompter.moc"

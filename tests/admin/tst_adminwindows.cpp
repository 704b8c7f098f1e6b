// The administration windows, offscreen: the settings window loads and saves the station file,
// the password guards the menu, the menu opens its windows, and the help window shows, lays out
// and stores help texts and notes.

#include "Fun/Base64Functions.h"
#include "core/DbFunctions.h"
#include "Fun/IniFile.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "admin/TFmSysManager.h"
#include "dialogs/TFm_Help.h"
#include "admin/TPasswordDlg.h"
#include "admin/TfmDBPath.h"
#include "admin/TfmUpdate.h"
#include "admin/TfrmCopyTable.h"
#include "mock/ScriptedPrompter.h"
#include "mock/TestDatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

QString TemplatePath()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Shot(QWidget *window, const QString &name)
{
    const QString dir = qEnvironmentVariable("ROLVAN_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    window->grab().save(dir + u'/' + name + u".png"_s, "PNG");
}

// Answers the modal windows that an action opens, as a person would: each one that appears is
// handed to the handler, which closes it. The handler sees each window once.
class ModalAnswerer
{
public:
    explicit ModalAnswerer(std::function<void(QWidget *)> handler) : m_handler(std::move(handler))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || m_seen.contains(modal) || !modal->isVisible())
                return;
            m_seen.append(modal);
            m_handler(modal);
        });
        m_timer.start();
    }

private:
    std::function<void(QWidget *)> m_handler;
    QList<QWidget *> m_seen;
    QTimer m_timer;
};

const QByteArray StationIni =
    "[Base]\n"
    "Company ID=10020030\n"
    "Company Name=勞動部勞動力發展署北基宜花金馬分署\n"
    "委託代訓編號=X001\n"
    "ComputerNo=02\n"
    "DataBaseLocationPath=/srv/RolvanDAP\n"
    "BackupLocationPath=/srv/RolvanDAP/Backup\n"
    "ImageFileLocationPath=/srv/RolvanDAP/查核資料檔案\n"
    "班別時間設定=080012001300170018002130\n"
    "簽到退識別顯示種類=身分證字號\n"
    "作業系統=Win 8 \n"
    "連線網址=https://service.example/cco\n";

} // namespace

class TestAdminWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settingsWindowShowsTheStationSettings();
    void settingsWindowSavesOnlyAValidStationNumber();
    void settingsScriptPageIsForTheDesigner();
    void settingsHelpShowsTheCurrentPage_data();
    void settingsHelpShowsTheCurrentPage();

    void passwordDialog_data();
    void passwordDialog();
    void administrationOpensBehindThePassword_data();
    void administrationOpensBehindThePassword();
    void menuOpensItsWindowsAndKeepsItsGeometry();

    void helpWindowLayoutFollowsTheNotes_data();
    void helpWindowLayoutFollowsTheNotes();
    void helpEditingIsForTheDesigner();
    void helpWindowAsksBeforeLosingEdits();

private:
    QString IniPath() const { return m_db->globals().iniPath(); }
    void WriteIni(const QByteArray &bytes)
    {
        QFile file(IniPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QString Ini(const QString &section, const QString &key) const
    {
        IniFile ini;
        ini.load(IniPath());
        return ini.value(section, key).value_or(u"<missing>"_s);
    }
    TDM &Dm() { return m_db->dm(); }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

void TestAdminWindows::initTestCase()
{
    QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));
}

void TestAdminWindows::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_prompter = std::make_unique<ScriptedPrompter>();
    const QString sample = m_db->globals().samplePath();
    const QString working = m_db->dir() + u"/Work.db"_s;
    QVERIFY(QFile::copy(TemplatePath(), sample));
    QVERIFY(QFile::copy(TemplatePath(), working));
    QFile::setPermissions(sample, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(working, QFile::ReadOwner | QFile::WriteOwner);
    QString error;
    QVERIFY2(Dm().OpenSampleDatabase(sample, &error), qPrintable(error));
    QVERIFY2(Dm().OpenWorkingDatabase(working, &error), qPrintable(error));
}

void TestAdminWindows::cleanup()
{
    m_prompter.reset();
    m_db.reset();
}

void TestAdminWindows::settingsWindowShowsTheStationSettings()
{
    WriteIni(StationIni);
    QVERIFY(ExecSqlOn(u"update sys_ini set ini3 = '10' where ini2 = ?"_s, Dm().ConSample(),
                      {u"遲到早退分鐘認定X"_s}));
    TfmDBPath window(Dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), u"系統設定"_s);
    QCOMPARE(window.EditCompany->text(), u"勞動部勞動力發展署北基宜花金馬分署"_s);
    QCOMPARE(window.EditDoor->text(), u"02"_s);
    QCOMPARE(window.Edit1->text(), u"/srv/RolvanDAP"_s);
    QCOMPARE(window.ClassPeriodEdits[5]->text(), u"2130"_s);
    QCOMPARE(window.ComboBox7->currentText(), u"身分證字號"_s);
    QCOMPARE(window.ComboBox9->currentText(), u"Win 8 "_s);
    QCOMPARE(window.netAdd->text(), u"https://service.example/cco"_s);
    // From the template's sys_ini, for the unit "X".
    QCOMPARE(window.Edit64->text(), u"10"_s);
    QCOMPARE(window.Edit65->text(), u"45"_s);
    QVERIFY(!window.Edit64->isEnabled());

    QCOMPARE(window.PageControl1->currentIndex(), 0);
    QCOMPARE(window.PageControl1->tabText(0), u"一般設定"_s);
    QVERIFY(!window.PageControl1->isTabVisible(1));
    QVERIFY(!window.Password->isVisible());
    QVERIFY(!window.PanelCard->isVisible());
    QVERIFY(window.Edit2->isVisible());
#ifndef Q_OS_WIN
    QVERIFY(!window.ComboBox6->isVisible());
#endif
    Shot(&window, u"settings-general"_s);
}

void TestAdminWindows::settingsWindowSavesOnlyAValidStationNumber()
{
    WriteIni(StationIni);
    TfmDBPath window(Dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    window.EditDoor->clear();
    QTest::keyClicks(window.EditDoor, u"1"_s);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(m_prompter->messages, QStringList{u"電腦編號長度只能2碼"_s});
    QCOMPARE(window.focusWidget(), window.EditDoor);
    QCOMPARE(ReadBytes(IniPath()), StationIni);
    QVERIFY(window.isVisible());

    QTest::keyClicks(window.EditDoor, u"5"_s);
    QTest::keyClicks(window.EditDoor, u"9"_s); // the field holds two characters at most
    window.CheckBox3->setChecked(false);
    // The file lacks the keys the station reads with defaults of its own: the save lists what
    // it changes and asks once; a cancelled save writes nothing.
    m_prompter->queueButton(Prompter::Button::No);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(m_prompter->asked.size(), 1);
    QVERIFY(m_prompter->asked.first().contains(u"影像子目錄分類依據：年月 → 課程編號"_s));
    QVERIFY(m_prompter->asked.first().contains(u"螢幕輸入 (IOScreen)：False → True"_s));
    QCOMPARE(ReadBytes(IniPath()), StationIni);
    m_prompter->queueButton(Prompter::Button::Yes);
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(m_prompter->asked.size(), 2);
    QCOMPARE(m_prompter->messages, QStringList{u"電腦編號長度只能2碼"_s}); // saving says nothing else
    QVERIFY(window.isVisible());
    QCOMPARE(Ini(IniSection::Base, IniKey::PhotoSubPathRule), u"課程編號"_s);
    QCOMPARE(Ini(IniSection::Base, IniKey::IOScreen), u"True"_s);
    // Saved once, a second save asks nothing.
    QTest::mouseClick(window.BitBtn1, Qt::LeftButton);
    QCOMPARE(m_prompter->asked.size(), 2);
    QCOMPARE(Ini(IniSection::Base, IniKey::StationNo), u"15"_s);
    QCOMPARE(Ini(IniSection::Base, IniKey::IOKeyboard), u"False"_s);
    QCOMPARE(Ini(IniSection::Base, IniKey::OperatingSystem), u"Win 8"_s);
    QCOMPARE(Ini(IniSection::Base, IniKey::ClassPeriods), u"080012001300170018002130"_s);
    QCOMPARE(Ini(IniSection::Base, IniKey::PhotoOnSign), u"True"_s);
    QCOMPARE(Ini(IniSection::Base, IniKey::SystemPass), QString());
}

void TestAdminWindows::settingsScriptPageIsForTheDesigner()
{
    m_db->globals().DesignerMode = true;
    TfmDBPath window(Dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.PageControl1->isTabVisible(1));
    QCOMPARE(window.PageControl1->tabText(1), u"指令執行"_s);
    window.PageControl1->setCurrentIndex(1);
    QVERIFY(window.PageControl1->widget(1)->property("highlighted").toBool());
    QVERIFY(!window.PageControl1->widget(0)->property("highlighted").toBool());

    window.Memo1->setPlainText(
        u"update sys_ini set ini3 = '20' where ini2 = '遲到早退分鐘認定X';\nselect nothing from nowhere"_s);
    Shot(&window, u"settings-script"_s);
    QTest::mouseClick(window.BitBtn3, Qt::LeftButton);
    QCOMPARE(QueryValueOn(u"select ini3 from sys_ini where ini2 = ?"_s, Dm().ConSample(),
                          {u"遲到早退分鐘認定X"_s})
                 .toString(),
             u"20"_s);
    QCOMPARE(m_prompter->errors.size(), 1);
    QVERIFY(m_prompter->errors.first().endsWith(u"執行失敗"_s));
}

void TestAdminWindows::settingsHelpShowsTheCurrentPage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("subject");
    QTest::newRow("script page") << 1 << u"指令執行"_s;
    QTest::newRow("shared database") << 2 << u"共用資料庫"_s;
}

void TestAdminWindows::settingsHelpShowsTheCurrentPage()
{
    QFETCH(int, page);
    QFETCH(QString, subject);
    m_db->globals().DesignerMode = true;
    TfmDBPath window(Dm());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.PageControl1->setCurrentIndex(page);

    QString shownHelp;
    {
        ModalAnswerer answerer([&shownHelp](QWidget *modal) {
            if (auto *help = qobject_cast<TFm_Help *>(modal)) {
                shownHelp = help->HelpText->toPlainText();
                help->BitBtn3->click();
            }
        });
        QTest::mouseClick(window.BitBtn15, Qt::LeftButton);
    }
    QCOMPARE(G().HelpName, u"系統設定"_s);
    QCOMPARE(Dm().vString, subject);
    QVERIFY(shownHelp.startsWith(u"【系統設定－"_s + subject + u"】"_s));
    QCOMPARE(shownHelp, QueryValueOn(u"select HelpText from SYS_Help where helpID = ? and JobScreen = ?"_s,
                                     Dm().ConSample(), {u"系統設定"_s, subject})
                            .toString());
}

void TestAdminWindows::passwordDialog_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pressOk");
    QTest::addColumn<bool>("matched");
    QTest::newRow("right password") << u"管理員01"_s << true << true;
    QTest::newRow("wrong password") << u"管理員02"_s << true << false;
    QTest::newRow("nothing typed") << QString() << true << false;
    QTest::newRow("cancel") << u"管理員01"_s << false << false;
}

void TestAdminWindows::passwordDialog()
{
    QFETCH(QString, typed);
    QFETCH(bool, pressOk);
    QFETCH(bool, matched);
    TPasswordDlg dialog(Utf8ToBase64(u"管理員01"_s));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), u"系統管理密碼"_s);
    QCOMPARE(dialog.Password->echoMode(), QLineEdit::Password);
    QVERIFY(dialog.OKBtn->isDefault());
    dialog.Password->insert(typed); // typed Chinese arrives through the input method
    QTest::mouseClick(pressOk ? dialog.OKBtn : dialog.CancelBtn, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.Matched(), matched);
    QCOMPARE(dialog.result(), matched ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QVERIFY(m_prompter->all().isEmpty()); // a wrong password shows no message
}

void TestAdminWindows::administrationOpensBehindThePassword_data()
{
    QTest::addColumn<QString>("password");  // stored; empty = none
    QTest::addColumn<QString>("typed");     // null = Cancel
    QTest::addColumn<bool>("askPassword");
    QTest::addColumn<bool>("menuOpened");
    QTest::addColumn<bool>("dialogShown");
    QTest::newRow("no password") << QString() << QString() << true << true << false;
    QTest::newRow("right password") << u"secret"_s << u"secret"_s << true << true << true;
    QTest::newRow("wrong password") << u"secret"_s << u"secrets"_s << true << false << true;
    QTest::newRow("cancel") << u"secret"_s << QString() << true << false << true;
    QTest::newRow("from the class window") << u"secret"_s << QString() << false << true << false;
}

void TestAdminWindows::administrationOpensBehindThePassword()
{
    QFETCH(QString, password);
    QFETCH(QString, typed);
    QFETCH(bool, askPassword);
    QFETCH(bool, menuOpened);
    QFETCH(bool, dialogShown);
    WriteIniSetting(IniSection::Base, IniKey::SystemPass,
                    password.isEmpty() ? QString() : Utf8ToBase64(password));

    bool sawDialog = false;
    bool sawMenu = false;
    bool opened = false;
    {
        ModalAnswerer answerer([&](QWidget *modal) {
            if (auto *dialog = qobject_cast<TPasswordDlg *>(modal)) {
                sawDialog = true;
                if (typed.isNull()) {
                    dialog->CancelBtn->click();
                } else {
                    dialog->Password->insert(typed);
                    dialog->OKBtn->click();
                }
            } else if (auto *menu = qobject_cast<TFmSysManager *>(modal)) {
                sawMenu = true;
                menu->BitBtn4->click();
            }
        });
        opened = OpenAdministration(Dm(), nullptr, askPassword);
    }
    QCOMPARE(opened, menuOpened);
    QCOMPARE(sawMenu, menuOpened);
    QCOMPARE(sawDialog, dialogShown);
    QVERIFY(m_prompter->all().isEmpty());
}

void TestAdminWindows::menuOpensItsWindowsAndKeepsItsGeometry()
{
    {
        TFmSysManager menu(Dm());
        QCOMPARE(menu.windowTitle(), u"系統管理作業"_s);
        // The default 980 x 710, shrunk to the test screen's 800 pixels of width.
        QCOMPARE(menu.height(), 710);
        QCOMPARE(menu.width(), qMin(980, menu.screen()->availableGeometry().width() - 8));
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QCOMPARE(menu.BitBtn1->toolTip(), u"權限9才有系統設定權限"_s);
        QVERIFY(menu.BitBtn3->isEnabled());
        Shot(&menu, u"menu"_s);

        QStringList opened;
        {
            ModalAnswerer answerer([&opened](QWidget *modal) {
                opened << QString::fromLatin1(modal->metaObject()->className());
                if (auto *settings = qobject_cast<TfmDBPath *>(modal))
                    settings->BitBtn2->click();
                else if (auto *backup = qobject_cast<TfrmCopyTable *>(modal))
                    backup->BitBtn2->click();
                else if (auto *update = qobject_cast<TfmUpdate *>(modal))
                    update->BitBtn3->click();
            });
            QTest::mouseClick(menu.BitBtn1, Qt::LeftButton);
            QTest::mouseClick(menu.BitBtn2, Qt::LeftButton);
            // In designer mode the update window asks no server.
            G().DesignerMode = true;
            QTest::mouseClick(menu.BitBtn3, Qt::LeftButton);
            G().DesignerMode = false;
        }
        QCOMPARE(opened, (QStringList{u"TfmDBPath"_s, u"TfrmCopyTable"_s, u"TfmUpdate"_s}));

        menu.resize(700, 500);
        QTest::mouseClick(menu.BitBtn4, Qt::LeftButton);
        QVERIFY(!menu.isVisible());
    }
    QCOMPARE(Ini(IniSection::FormSize, u"FmSysManager_width"_s), u"700"_s);
    QCOMPARE(Ini(IniSection::FormSize, u"FmSysManager_height"_s), u"500"_s);
    TFmSysManager again(Dm());
    QCOMPARE(again.size(), QSize(700, 500));
}

void TestAdminWindows::helpWindowLayoutFollowsTheNotes_data()
{
    QTest::addColumn<QString>("notes");
    QTest::addColumn<int>("upperHeight");
    QTest::addColumn<int>("lowerTop");
    QTest::addColumn<int>("lowerHeight");
    QTest::newRow("with notes") << u"本班點名於 14:00，請提醒學員攜帶證件。"_s << 440 << 490 << 178;
    QTest::newRow("no notes") << QString() << 550 << 600 << 70;
}

void TestAdminWindows::helpWindowLayoutFollowsTheNotes()
{
    QFETCH(QString, notes);
    QFETCH(int, upperHeight);
    QFETCH(int, lowerTop);
    QFETCH(int, lowerHeight);
    QVERIFY(ExecSqlOn(u"update SYS_Help set HelpText2 = ? where helpID = ? and JobScreen = ?"_s,
                      Dm().Con1(), {notes, u"簽到首頁"_s, u"簽到首頁"_s}));
    G().HelpName = u"簽到首頁"_s;
    Dm().vString = u"簽到首頁"_s;
    TFm_Help help(Dm());
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));

    QVERIFY(!help.HelpText->toPlainText().isEmpty());
    QCOMPARE(help.HelpText2->toPlainText(), notes);
    QCOMPARE(help.HelpText->height(), upperHeight);
    QCOMPARE(help.HelpText2->y(), lowerTop);
    QCOMPARE(help.HelpText2->height(), lowerHeight);
    QVERIFY(help.HelpText2->geometry().bottom() < help.height());
    QVERIFY(!help.IsModified());
    if (!notes.isEmpty())
        Shot(&help, u"help"_s);
    else
        Shot(&help, u"help-no-notes"_s);
}

void TestAdminWindows::helpEditingIsForTheDesigner()
{
    G().HelpName = u"課程選定"_s;
    Dm().vString = u"多筆瀏覽查詢"_s;
    {
        TFm_Help help(Dm());
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QVERIFY(help.HelpText->isReadOnly());
        QVERIFY(!help.BitBtn1->isVisible());
        QVERIFY(!help.HelpText2->isReadOnly());
        QVERIFY(help.BitBtn2->isEnabled());
        // The notes are everyone's: stored in the working database only.
        help.HelpText2->insertPlainText(u"It's 我們的筆記"_s);
        QVERIFY(help.IsModified());
        QTest::mouseClick(help.BitBtn2, Qt::LeftButton);
        QVERIFY(!help.IsModified());
        QTest::mouseClick(help.BitBtn3, Qt::LeftButton);
        QVERIFY(!help.isVisible());
        QVERIFY(m_prompter->all().isEmpty());
    }
    // Opening the help does not make anyone a designer.
    QVERIFY(!G().DesignerMode);
    const QVariantList topic{u"課程選定"_s, u"多筆瀏覽查詢"_s};
    QCOMPARE(QueryValueOn(u"select HelpText2 from SYS_Help where helpID = ? and JobScreen = ?"_s,
                          Dm().Con1(), topic).toString(),
             u"It's 我們的筆記"_s);

    G().DesignerMode = true;
    TFm_Help help(Dm());
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    QVERIFY(!help.HelpText->isReadOnly());
    QVERIFY(help.BitBtn1->isVisible());
    QCOMPARE(help.HelpText2->toPlainText(), u"It's 我們的筆記"_s);
    help.HelpText->setPlainText(u"新的說明：輸入 'O''Brien' 也能存。"_s);
    QTest::mouseClick(help.BitBtn1, Qt::LeftButton);
    QVERIFY(!help.IsModified());
    QVERIFY(m_prompter->all().isEmpty());
    for (const QSqlDatabase &db : {Dm().ConSample(), Dm().Con1()}) {
        QCOMPARE(QueryValueOn(u"select HelpText from SYS_Help where helpID = ? and JobScreen = ?"_s,
                              db, topic).toString(),
                 u"新的說明：輸入 'O''Brien' 也能存。"_s);
    }
}

void TestAdminWindows::helpWindowAsksBeforeLosingEdits()
{
    G().HelpName = u"列印作業"_s;
    Dm().vString = u"列印作業"_s;
    TFm_Help help(Dm());
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    help.HelpText2->insertPlainText(u"未存的筆記"_s);

    m_prompter->queueButton(Prompter::Button::No);
    QTest::mouseClick(help.BitBtn3, Qt::LeftButton);
    QCOMPARE(m_prompter->asked, QStringList{u"資料尚未儲存 是否確定離開 ?"_s});
    QVERIFY(help.isVisible());

    // The close box asks the same way.
    m_prompter->queueButton(Prompter::Button::Yes);
    help.close();
    QCOMPARE(m_prompter->asked.size(), 2);
    QVERIFY(!help.isVisible());
}

QTEST_MAIN(TestAdminWindows)
#include "tst_adminwindows.moc"

// The sign-in screen on a working database it cannot use, offscreen: the problem is shown once,
// however often the window becomes active again; the window can still be closed and the
// administration menu opened; neither they nor the class window change the file.

#include "app/StandardWindows.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "mock/ScriptedPrompter.h"
#include "station/TFmRolvan.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QString TemplatePath()
{
    return qEnvironmentVariable("ROLVAN_BUILD_DIR") + u"/SampleQuorin.db"_s;
}

QByteArray FileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestUnusableDatabase : public QObject
{
    Q_OBJECT

private slots:
    void oneMessageThenCloseAndAdministrationWork();
};

void TestUnusableDatabase::oneMessageThenCloseAndAdministrationWork()
{
    QTemporaryDir home;
    QTemporaryDir exeDir;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    auto restoreHome = qScopeGuard([&] { qputenv("HOME", savedHome); });
    QVERIFY(QFile::copy(TemplatePath(), exeDir.filePath(u"SampleQuorin.db"_s)));
    Globals globals;
    globals.ExeDir = exeDir.path() + QDir::separator();
    SetGlobals(&globals);
    auto restoreGlobals = qScopeGuard([] { SetGlobals(nullptr); });

    const QString data = home.filePath(u"RolvanDAP"_s);
    QVERIFY(QDir().mkpath(data + u"/Backup"_s));
    const QString backup = data + u"/Backup/20250502170000_QuorinBackup.db"_s;
    QVERIFY(QFile::copy(TemplatePath(), backup));
    const QString database = data + u"/Quorin.db"_s;
    // A copy of the template with a damaged page of its tables: SQLite still opens it, so any
    // open without the checks would switch it to the write-ahead log.
    QVERIFY(QFile::copy(TemplatePath(), database));
    QFile::setPermissions(database, QFile::ReadOwner | QFile::WriteOwner);
    {
        QFile file(database);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(7 * 4096));
        file.write(QByteArray(4096, '\xA5'));
    }
    const QByteArray before = FileHash(database);
    WriteIniSetting(IniSection::Base, IniKey::DataBaseLocationPath, data);

    ScriptedPrompter prompter;
    TDM dm(globals);
    TFmRolvan window(dm, StandardWindowOpeners());
    QSignalSpy activations(&window, &TFmRolvan::activated);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_VERIFY(activations.size() >= 1);
    QCOMPARE(activations.first().first().value<MainActivation::Outcome>(),
             MainActivation::Outcome::Stopped);
    QCOMPARE(prompter.errors.size(), 1);
    const QString message = prompter.errors.first();
    QVERIFY2(message.startsWith(u"無法開啟資料庫 "_s + QDir::toNativeSeparators(database)
                                + u"：資料庫檔案已損毀"_s),
             qPrintable(message));
    QVERIFY2(message.contains(u"最新的備份："_s + QDir::toNativeSeparators(backup)), qPrintable(message));

    // Each closed box makes the window active again: no second message.
    for (int i = 0; i < 3; ++i) {
        const qsizetype seen = activations.size();
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&window, &activate);
        QTRY_VERIFY(activations.size() > seen);
    }
    QCOMPARE(prompter.errors.size(), 1);

    // The administration menu opens (no password is set) and closes again.
    QString opened;
    QTimer::singleShot(200, [&opened] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            opened = modal->objectName();
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        }
    });
    QTest::mouseClick(window.BitBtn11, Qt::LeftButton);
    QTRY_COMPARE(opened, u"FmSysManager"_s);
    QCOMPARE(prompter.errors.size(), 1);

    // The class window ("講習選定") refuses the file too and does not open it for writing.
    QString classWindow;
    QTimer::singleShot(300, [&classWindow] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            classWindow = modal->objectName();
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        }
    });
    QTest::mouseClick(window.BitBtn2, Qt::LeftButton);
    QTRY_VERIFY(!classWindow.isEmpty());
    QVERIFY(!dm.isWorkingOpen());
    QCOMPARE(FileHash(database), before);

    // "結束" closes the window.
    QTest::mouseClick(window.BitBtnClose, Qt::LeftButton);
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(FileHash(database), before);
    QVERIFY(!QFile::exists(database + u"-wal"_s));
}

QTEST_MAIN(TestUnusableDatabase)
#include "tst_unusabledatabase.moc"

// The sign-in screen shell, offscreen: a first start in an empty home runs the activation when
// the window is shown and active, fills its captions and keeps its geometry in the INI.

#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "core/Globals.h"
#include "core/TDM.h"
#include "mock/ScriptedPrompter.h"
#include "station/TFmRolvan.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestTFmRolvan : public QObject
{
    Q_OBJECT

private slots:
    void firstStartInAnEmptyHome();
};

void TestTFmRolvan::firstStartInAnEmptyHome()
{
    QTemporaryDir home;
    QTemporaryDir exeDir;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    QVERIFY(QFile::copy(qEnvironmentVariable("ROLVAN_BUILD_DIR") + QStringLiteral("/SampleQuorin.db"),
                        exeDir.filePath(QStringLiteral("SampleQuorin.db"))));

    Globals globals;
    globals.ExeDir = exeDir.path() + QDir::separator();
    SetGlobals(&globals);
    ScriptedPrompter prompter;
    {
        TDM dm(globals);
        TFmRolvan window(dm);
        QSignalSpy activations(&window, &TFmRolvan::activated);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_COMPARE(activations.size(), 1);
        QCOMPARE(activations.first().first().value<MainActivation::Outcome>(), MainActivation::Outcome::Done);
        QVERIFY2(prompter.all().isEmpty(), qPrintable(prompter.all().join(u'\n')));

        QVERIFY(QFile::exists(home.filePath(QStringLiteral("RolvanDAP/Quorin.db"))));
        QVERIFY(window.windowTitle().startsWith(QStringLiteral("講習教育 簽到退作業  版本：")));
        QVERIFY(window.findChild<QPushButton *>(QStringLiteral("BitBtn2")));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("PanelClass"))->text(),
                 QStringLiteral("講習：進入講習選定點選講習"));
        // No snapshot switch in a new INI: no camera panel.
        QVERIFY(!window.PanelVideo->isVisible());

        // The window is never smaller than 618 x 513.
        window.resize(400, 300);
        QTRY_VERIFY(window.width() >= 618 && window.height() >= 513);
        window.resize(1000, 720);
        window.close();
    }
    // Closing saved the geometry; the width key is found whatever its letter case.
    QCOMPARE(ReadIniSetting(IniSection::FormSize, QStringLiteral("FmRolvan_Width"), QString(), QString()),
             QStringLiteral("1000"));
    SetGlobals(nullptr);
    qputenv("HOME", savedHome);
}

QTEST_MAIN(TestTFmRolvan)
#include "tst_tfmrolvan.moc"

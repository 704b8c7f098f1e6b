#include "Fun/Base64Functions.h"
#include "Fun/FileFunctions.h"
#include "Fun/Flags.h"
#include "Fun/FormGeometry.h"
#include "Fun/FormGeometryWidget.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "Fun/VersionInfo.h"
#include "base/Globals.h"
#include "base/RolvanError.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

void WriteFile(const QString &path, const QByteArray &content = QByteArray("x"))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

// Every file, link and folder below root, as "/"-separated relative paths, sorted.
QStringList Tree(const QString &root)
{
    QStringList result;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        result.append(QDir(root).relativeFilePath(it.filePath()));
    }
    result.sort();
    return result;
}

// The marker text is put together at run time: a literal copy of a whole marker in this test
// would itself be found in the test executable.
QByteArray MarkerPrefix() { return QByteArray("@(#)ROLVAN-") + QByteArray("FILE-VERSION:"); }

QString ErrorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const RolvanError &error) {
        return error.message();
    }
    return QString();
}

} // namespace

class TestUtilities : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void geometryRoundTrip();
    void geometryDefaultsForMissingKeys();
    void widgetGeometryRoundTrip();
    void frameFittedToTheScreen_data();
    void frameFittedToTheScreen();
    void storedFrameOutsideTheScreenComesBackInside();

    void forceDirectoryPath_data();
    void forceDirectoryPath();

    void deleteFilesByMask_data();
    void deleteFilesByMask();
    void deleteFilesRecursiveFolderNotEmptied();
    void deleteFilesNeverFollowsLinks();
    void deleteFilesReadOnly();
    void deleteFilesRefusesRootAndEmpty_data();
    void deleteFilesRefusesRootAndEmpty();

    void versionOfOwnExecutable();
    void versionFromFile_data();
    void versionFromFile();
    void formatVersionNumber();

    void base64Encode_data();
    void base64Encode();
    void base64Decode_data();
    void base64Decode();
    void base64BadLength_data();
    void base64BadLength();
    void base64AllBytesRoundTrip();
    void base64RefusesWideCharacters();
    void base64Utf8();

    void overlayFlags_data();
    void overlayFlags();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    Globals m_globals;
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
};

void TestUtilities::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_globals = Globals();
    m_globals.ExeDir = m_dir->path() + QLatin1Char('/');
    SetGlobals(&m_globals);
}

void TestUtilities::cleanup()
{
    SetGlobals(nullptr);
    // Make everything removable again for QTemporaryDir.
    QDirIterator it(m_dir->path(), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (!info.isSymLink()) // never through a link: one of them points at the root
            QFile::setPermissions(
                info.filePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    m_dir.reset();
}

// ---------------------------------------------------------------- window geometry

void TestUtilities::geometryRoundTrip()
{
    SaveFormGeometry(QStringLiteral("FmSetup"), QRect(12, 34, 567, 890));

    QVERIFY(QFile::exists(m_globals.iniPath()));
    // Written with the lower-case width key, found again through "_Width".
    QCOMPARE(
        ReadIniSetting(IniSection::FormSize, QStringLiteral("FmSetup_width"), QString(), QString()),
        QStringLiteral("567"));
    QCOMPARE(
        ReadIniSetting(IniSection::FormSize, QStringLiteral("FmSetup_top"), QString(), QString()),
        QStringLiteral("34"));
    QCOMPARE(
        RestoreFormGeometry(QStringLiteral("FmSetup"), 0, 0, 980, 710), QRect(12, 34, 567, 890));
    // Another window's keys are its own.
    QCOMPARE(RestoreFormGeometry(QStringLiteral("fm_Course"), 30, 30, 949, 600),
        QRect(30, 30, 949, 600));
}

void TestUtilities::geometryDefaultsForMissingKeys()
{
    QCOMPARE(RestoreFormGeometry(QStringLiteral("fmUpdate"), 300, 300, 604, 195),
        QRect(300, 300, 604, 195));

    // Only the keys that are there replace the defaults.
    WriteIniSetting(IniSection::FormSize, QStringLiteral("fmUpdate_left"), QStringLiteral("7"));
    WriteIniSetting(IniSection::FormSize, QStringLiteral("fmUpdate_height"), QStringLiteral("99"));
    QCOMPARE(RestoreFormGeometry(QStringLiteral("fmUpdate"), 300, 300, 604, 195),
        QRect(7, 300, 604, 99));
}

void TestUtilities::widgetGeometryRoundTrip()
{
    QWidget window;
    window.setObjectName(QStringLiteral("FmRolvan"));
    RestoreFormGeometry(&window, 10, 20, 400, 300);
    QCOMPARE(window.pos(), QPoint(20, 10));
    QCOMPARE(window.size(), QSize(400, 300));

    window.move(55, 66);
    window.resize(640, 480);
    SaveFormGeometry(&window);

    QWidget again;
    again.setObjectName(QStringLiteral("FmRolvan"));
    RestoreFormGeometry(&again, 0, 0, 980, 710);
    QCOMPARE(again.pos(), QPoint(55, 66));
    QCOMPARE(again.size(), QSize(640, 480));

    // A window without a name gets its defaults and writes nothing.
    QWidget nameless;
    RestoreFormGeometry(&nameless, 1, 2, 300, 200);
    QCOMPARE(nameless.pos(), QPoint(2, 1));
    nameless.resize(333, 222);
    SaveFormGeometry(&nameless);
    QCOMPARE(ReadIniSetting(
                 IniSection::FormSize, QStringLiteral("_width"), QString(), QStringLiteral("none")),
        QStringLiteral("none"));
}

// A stored frame that does not fit the screen's available area (here 1280 x 1024 less a task bar
// of 40 at the bottom) is moved in, and shrunk when larger, never below the window's minimum.
void TestUtilities::frameFittedToTheScreen_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QRect>("fitted");

    const QSize none;
    QTest::newRow("inside: unchanged") << QRect(10, 10, 800, 600) << none << QRect(10, 10, 800, 600);
    QTest::newRow("enrolment window 1152 wide at x = 99")
        << QRect(99, 10, 1152 + 50, 715) << none << QRect(78, 10, 1202, 715);
    QTest::newRow("drifted above the screen") << QRect(98, -50, 1198, 715) << none
                                              << QRect(82, 0, 1198, 715);
    QTest::newRow("left of the screen") << QRect(-300, 100, 600, 400) << none
                                        << QRect(0, 100, 600, 400);
    QTest::newRow("below the task bar") << QRect(100, 900, 600, 400) << none
                                        << QRect(100, 584, 600, 400);
    QTest::newRow("on a screen no longer there") << QRect(2000, 1200, 640, 480) << none
                                                 << QRect(640, 504, 640, 480);
    QTest::newRow("larger than the screen: shrunk")
        << QRect(50, 50, 1400, 1100) << none << QRect(0, 0, 1280, 984);
    QTest::newRow("larger, but not below its minimum")
        << QRect(50, 50, 1400, 1100) << QSize(1300, 500) << QRect(0, 0, 1300, 984);
}

void TestUtilities::frameFittedToTheScreen()
{
    QFETCH(QRect, frame);
    QFETCH(QSize, minimum);
    QFETCH(QRect, fitted);
    QCOMPARE(FitFrameToArea(frame, QRect(0, 0, 1280, 984), minimum), fitted);
}

// A window whose saved frame lies off the screen comes back inside it, and the frame read back
// after a save is the one that was saved.
void TestUtilities::storedFrameOutsideTheScreenComesBackInside()
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget shown; // another window of the program, so the window manager's frame is known
    shown.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown));

    SaveFormGeometry(QStringLiteral("fmInitiative"),
        QRect(area.left() + 30, area.top() - 200, area.width() / 2, area.height() / 2));
    QWidget window;
    window.setObjectName(QStringLiteral("fmInitiative"));
    RestoreFormGeometry(&window, 10, 99, 1150, 690);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.frameGeometry().topLeft(), QPoint(area.left() + 30, area.top()));
    QCOMPARE(window.size(), QSize(area.width() / 2, area.height() / 2));

    // Saved and read back: the same frame, however often.
    for (int round = 0; round < 3; ++round) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect frame = window.frameGeometry();
        SaveFormGeometry(&window);
        window.hide();
        QWidget again;
        again.setObjectName(QStringLiteral("fmInitiative"));
        RestoreFormGeometry(&again, 0, 0, 100, 100);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.frameGeometry(), frame);
        again.hide();
    }
}

// ---------------------------------------------------------------- folders

void TestUtilities::forceDirectoryPath_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("expectedFolder");

    QTest::newRow("missing parents") << "a/b/c/d" << true << "a/b/c/d";
    QTest::newRow("existing folder") << "existing" << true << "existing";
    QTest::newRow("backslashes") << "x\\y\\z" << true << "x/y/z";
    QTest::newRow("trailing separator") << "t/u/" << true << "t/u";
    QTest::newRow("through a file") << "file.txt/sub/deeper" << false << "";
    QTest::newRow("naming a file") << "file.txt" << false << "";
}

void TestUtilities::forceDirectoryPath()
{
    QFETCH(QString, relative);
    QFETCH(bool, expected);
    QFETCH(QString, expectedFolder);

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("existing")));
    WriteFile(path(QStringLiteral("existing/keep.txt")));
    WriteFile(path(QStringLiteral("file.txt")));

    QCOMPARE(ForceDirectoryPath(m_dir->path() + QLatin1Char('/') + relative), expected);
    if (expected)
        QVERIFY(QFileInfo(path(expectedFolder)).isDir());
    // An existing folder keeps what it holds; a file in the way stays a file.
    QVERIFY(QFile::exists(path(QStringLiteral("existing/keep.txt"))));
    QVERIFY(QFileInfo(path(QStringLiteral("file.txt"))).isFile());
}

void TestUtilities::deleteFilesByMask_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("remaining");

    const QStringList sub = { QStringLiteral("sub"), QStringLiteral("sub/d.jpg"),
        QStringLiteral("sub/deeper"), QStringLiteral("sub/deeper/f.txt") };

    QTest::newRow("*.jpg, letter case ignored")
        << "*.jpg" << false
        << (QStringList { QStringLiteral("c.txt"), QStringLiteral("noext") } + sub);
    QTest::newRow("*.* also takes names without a dot") << "*.*" << false << sub;
    QTest::newRow("? is one character")
        << "?.txt" << false
        << (QStringList { QStringLiteral(".hidden.jpg"), QStringLiteral("a.jpg"),
                QStringLiteral("b.JPG"), QStringLiteral("noext") }
               + sub);
    QTest::newRow("*.* recursive empties everything") << "*.*" << true << QStringList();
    QTest::newRow("* recursive") << "*" << true << QStringList();
}

void TestUtilities::deleteFilesByMask()
{
    QFETCH(QString, mask);
    QFETCH(bool, recursive);
    QFETCH(QStringList, remaining);

    const QString root = path(QStringLiteral("root"));
    for (const char *name :
        { "a.jpg", "b.JPG", "c.txt", "noext", ".hidden.jpg", "sub/d.jpg", "sub/deeper/f.txt" })
        WriteFile(root + QLatin1Char('/') + QLatin1String(name));

    DeleteFilesInDirectory(root, mask, recursive);

    remaining.sort();
    QCOMPARE(Tree(root), remaining);
    QVERIFY(QFileInfo(root).isDir()); // the folder itself stays
}

void TestUtilities::deleteFilesRecursiveFolderNotEmptied()
{
    // With a narrower mask a subfolder keeps other files and cannot be removed.
    const QString root = path(QStringLiteral("root"));
    WriteFile(root + QStringLiteral("/a.jpg"));
    WriteFile(root + QStringLiteral("/sub/b.jpg"));
    WriteFile(root + QStringLiteral("/sub/keep.txt"));

    const QString error
        = ErrorOf([&] { DeleteFilesInDirectory(root, QStringLiteral("*.jpg"), true); });
    QVERIFY2(error.startsWith(QStringLiteral("無法刪除資料夾")), qPrintable(error));
    QVERIFY(error.contains(QStringLiteral("sub")));
    QCOMPARE(Tree(root), (QStringList { QStringLiteral("sub"), QStringLiteral("sub/keep.txt") }));
}

void TestUtilities::deleteFilesNeverFollowsLinks()
{
    const QString root = path(QStringLiteral("root"));
    const QString outside = path(QStringLiteral("outside"));
    WriteFile(outside + QStringLiteral("/precious.txt"));
    WriteFile(outside + QStringLiteral("/inner/precious.jpg"));
    WriteFile(root + QStringLiteral("/mine.txt"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/sub")));
    QVERIFY(QFile::link(outside, root + QStringLiteral("/folderlink")));
    QVERIFY(QFile::link(
        outside + QStringLiteral("/precious.txt"), root + QStringLiteral("/sub/filelink.txt")));
    QVERIFY(QFile::link(path(QStringLiteral("nowhere")), root + QStringLiteral("/dangling")));

    // Not recursive: the link to a file goes like a file; the link to a folder is a folder.
    DeleteFilesInDirectory(root, QStringLiteral("*.*"), false);
    QCOMPARE(Tree(root),
        (QStringList { QStringLiteral("folderlink"), QStringLiteral("sub"),
            QStringLiteral("sub/filelink.txt") }));

    DeleteFilesInDirectory(root, QStringLiteral("*.*"), true);
    QCOMPARE(Tree(root), QStringList());
    QCOMPARE(Tree(outside),
        (QStringList { QStringLiteral("inner"), QStringLiteral("inner/precious.jpg"),
            QStringLiteral("precious.txt") }));
}

void TestUtilities::deleteFilesReadOnly()
{
    const QString root = path(QStringLiteral("root"));
    WriteFile(root + QStringLiteral("/locked.txt"));
    WriteFile(root + QStringLiteral("/lockedsub/inner.txt"));
    QVERIFY(QFile::setPermissions(
        root + QStringLiteral("/locked.txt"), QFile::ReadOwner | QFile::ReadUser));
    QVERIFY(QFile::setPermissions(root + QStringLiteral("/lockedsub"),
        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser | QFile::ExeUser));

    DeleteFilesInDirectory(root, QStringLiteral("*.*"), true);
    QCOMPARE(Tree(root), QStringList());
}

void TestUtilities::deleteFilesRefusesRootAndEmpty_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expectedStart");

    QTest::newRow("empty") << QString() << QStringLiteral("未指定");
    QTest::newRow("blank") << QStringLiteral("   ") << QStringLiteral("未指定");
    QTest::newRow("root") << QDir::rootPath() << QStringLiteral("不可清除根目錄");
    QTest::newRow("root with dots")
        << QDir::rootPath() + QStringLiteral("tmp/..") << QStringLiteral("不可清除根目錄");
    QTest::newRow("link to root") << QStringLiteral("@rootlink")
                                  << QStringLiteral("不可清除根目錄");
}

void TestUtilities::deleteFilesRefusesRootAndEmpty()
{
    QFETCH(QString, folder);
    QFETCH(QString, expectedStart);

    if (folder == QLatin1String("@rootlink")) {
        folder = path(QStringLiteral("rootlink"));
        QVERIFY(QFile::link(QDir::rootPath(), folder));
    }
    // A mask that matches nothing there, should the refusal ever fail.
    const QString error = ErrorOf(
        [&] { DeleteFilesInDirectory(folder, QStringLiteral("rolvan-test-never-*.none"), false); });
    QVERIFY2(error.startsWith(expectedStart), qPrintable(error));
}

// ---------------------------------------------------------------- version

void TestUtilities::versionOfOwnExecutable()
{
    QCOMPARE(GetFileVersionText(QCoreApplication::applicationFilePath()),
        QStringLiteral(ROLVAN_VERSION_TEXT));
    QCOMPARE(GetOwnVersionText(), QStringLiteral(ROLVAN_VERSION_TEXT));
}

void TestUtilities::versionFromFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // a version, or the error text

    const QByteArray marker = MarkerPrefix();
    const QString notFound = QStringLiteral("找不到版本資訊");
    const QString incomplete = QStringLiteral("檔案資訊不完整");
    const QByteArray junk(3000, 'j');

    QTest::newRow("marker in the middle") << junk + marker + "2.3.4.5" + '\0' + junk << "2.3.4.5";
    QTest::newRow("marker at the end of the file") << junk + marker + "7.0.0.12"
                                                   << "7.0.0.12";
    QTest::newRow("leading zeros") << marker + "01.002.0.10" + '\0' << "1.2.0.10";
    QTest::newRow("bare prefix before a good marker")
        << marker + '\0' + junk + marker + "3.1.4.1" + '\0' << "3.1.4.1";
    // Straddling the 1 MiB read chunks: prefix cut, version cut.
    QTest::newRow("prefix across chunks")
        << QByteArray((1 << 20) - 10, 'z') + marker + "9.8.7.6" + '\0' << "9.8.7.6";
    QTest::newRow("version across chunks") << QByteArray((1 << 20) - marker.size() - 3, 'z')
            + marker + "11.22.33.44" + '\0' << "11.22.33.44";
    QTest::newRow("empty file") << QByteArray() << notFound;
    QTest::newRow("no marker") << junk << notFound;
    QTest::newRow("prefix cut short at the end") << junk + marker.left(10) << notFound;
    QTest::newRow("three numbers") << marker + "1.2.3" + '\0' << incomplete;
    QTest::newRow("five numbers") << marker + "1.2.3.4.5" + '\0' << incomplete;
    QTest::newRow("empty part") << marker + "1..3.4" + '\0' << incomplete;
    QTest::newRow("number too large") << marker + "1.2.3.65536" + '\0' << incomplete;
    QTest::newRow("nothing after the prefix") << marker << incomplete;
    QTest::newRow("endless digits") << marker + QByteArray(100, '1') << incomplete;
}

void TestUtilities::versionFromFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    const QString file = path(QStringLiteral("program.bin"));
    WriteFile(file, content);
    QString result;
    try {
        result = GetFileVersionText(file);
    } catch (const RolvanError &error) {
        result = error.message();
    }
    QCOMPARE(result, expected);
}

void TestUtilities::formatVersionNumber()
{
    QCOMPARE(FormatVersionNumber(0x00010002, 0x00030004), QStringLiteral("1.2.3.4"));
    QCOMPARE(FormatVersionNumber(0xFFFFFFFF, 0), QStringLiteral("65535.65535.0.0"));
    QCOMPARE(ErrorOf([&] { GetFileVersionText(path(QStringLiteral("missing.exe"))); }),
        QStringLiteral("找不到版本資訊"));
    QCOMPARE(ErrorOf([&] { GetFileVersionText(m_dir->path()); }), QStringLiteral("找不到版本資訊"));
}

// ---------------------------------------------------------------- Base64

void TestUtilities::base64Encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");

    QTest::newRow("empty") << QString() << QStringLiteral("A===");
    QTest::newRow("a") << QStringLiteral("a") << QStringLiteral("YQ==");
    QTest::newRow("ab") << QStringLiteral("ab") << QStringLiteral("YWI=");
    QTest::newRow("abc") << QStringLiteral("abc") << QStringLiteral("YWJj");
    QTest::newRow("abcd") << QStringLiteral("abcd") << QStringLiteral("YWJjZA==");
    QTest::newRow("high bytes") << QString::fromLatin1("\xff\xfe\xfd") << QStringLiteral("//79");
    QTest::newRow("trailing NUL kept") << QString::fromLatin1("a\0", 2) << QStringLiteral("YQA=");
}

void TestUtilities::base64Encode()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QCOMPARE(StrToBase64(text), encoded);
    QCOMPARE(Base64ToStr(encoded), text);
}

void TestUtilities::base64Decode_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("text");

    QTest::newRow("standard padding") << QStringLiteral("YQ==") << QStringLiteral("a");
    // A character outside the alphabet counts as 61: 'Y' (24) and 61 give the byte 'c'.
    QTest::newRow("outside the alphabet") << QStringLiteral("Y!==") << QStringLiteral("c");
    QTest::newRow("only padding") << QStringLiteral("====") << QString();
    QTest::newRow("padding inside is not counted")
        << QStringLiteral("YQ==YWJj") << QString::fromLatin1("a\x0f}abc");
}

void TestUtilities::base64Decode()
{
    QFETCH(QString, encoded);
    QFETCH(QString, text);
    QCOMPARE(Base64ToStr(encoded), text);
}

void TestUtilities::base64BadLength_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::newRow("empty") << QString();
    QTest::newRow("abc") << QStringLiteral("abc");
    QTest::newRow("five") << QStringLiteral("YWJjZ");
    QTest::newRow("seven") << QStringLiteral("YWJjZA=");
}

void TestUtilities::base64BadLength()
{
    QFETCH(QString, encoded);
    try {
        Base64ToStr(encoded);
        QFAIL("no error");
    } catch (const ConversionError &error) {
        QCOMPARE(error.message(), QStringLiteral("Base64ToStr: illegal input length!"));
    }
}

void TestUtilities::base64AllBytesRoundTrip()
{
    QString all;
    for (int i = 0; i < 256; ++i)
        all += QChar(char16_t(i));
    // Every length up to a few past 256, so each padding count meets every byte value.
    for (qsizetype length = 0; length <= all.size(); ++length) {
        const QString text = all.left(length);
        const QString encoded = StrToBase64(text);
        QCOMPARE(Base64ToStr(encoded), text);
        if (length > 0)
            QCOMPARE(encoded, QString::fromLatin1(text.toLatin1().toBase64()));
    }
    QCOMPARE(Base64ToStr(StrToBase64(all + all)), all + all);
}

void TestUtilities::base64RefusesWideCharacters()
{
    try {
        StrToBase64(QStringLiteral("ab簽到"));
        QFAIL("no error");
    } catch (const ConversionError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("簽")), qPrintable(error.message()));
        QVERIFY(error.message().contains(QStringLiteral("3")));
    }
}

void TestUtilities::base64Utf8()
{
    const QString text = QStringLiteral("A123456789,王小明,簽到,2024/05/06");
    QCOMPARE(Base64ToUtf8(Utf8ToBase64(text)), text);
    QCOMPARE(Utf8ToBase64(QStringLiteral("abc")), StrToBase64(QStringLiteral("abc")));
    QCOMPARE(Utf8ToBase64(QStringLiteral("中")), QStringLiteral("5Lit"));
}

// ---------------------------------------------------------------- flags

void TestUtilities::overlayFlags_data()
{
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("expected");

    QTest::newRow("shorter mask") << "000000"
                                  << "0101"
                                  << "010100";
    QTest::newRow("blanks keep the flag") << "000000"
                                          << " 1 1  "
                                          << "010100";
    QTest::newRow("zeros never clear") << "111111"
                                       << "000000"
                                       << "111111";
    QTest::newRow("longer mask cut") << "0000"
                                     << "11111111"
                                     << "1111";
    QTest::newRow("empty mask") << "010101"
                                << ""
                                << "010101";
    QTest::newRow("empty flags") << ""
                                 << "111"
                                 << "";
    QTest::newRow("any other character") << "000000"
                                         << "2x"
                                         << "2x0000";
}

void TestUtilities::overlayFlags()
{
    QFETCH(QString, flags);
    QFETCH(QString, mask);
    QFETCH(QString, expected);
    QCOMPARE(OverlayFlags(flags, mask), expected);
}

QTEST_MAIN(TestUtilities)
#include "tst_utilities.moc"

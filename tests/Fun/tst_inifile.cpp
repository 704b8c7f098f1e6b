#include "Fun/IniFile.h"
#include "Fun/SettingKeys.h"
#include "Fun/Settings.h"
#include "base/Globals.h"
#include "base/RolvanError.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QtTest>

#include <array>
#include <memory>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray nativeEol()
{
#ifdef Q_OS_WIN
    return QByteArray("\r\n");
#else
    return QByteArray("\n");
#endif
}

// While alive, the test runs without root's right to ignore file permissions (when it was
// started as root): real and effective user become "nobody", the saved one stays root so
// the destructor can switch back.
class WithoutRootRights
{
public:
    WithoutRootRights()
    {
#ifdef Q_OS_LINUX
        m_switched = ::geteuid() == 0 && ::setresuid(65534, 65534, 0) == 0;
#endif
    }
    ~WithoutRootRights()
    {
#ifdef Q_OS_LINUX
        if (m_switched && ::setresuid(0, 0, 0) != 0)
            qFatal("could not return to the root user");
#endif
    }
    WithoutRootRights(const WithoutRootRights &) = delete;
    WithoutRootRights &operator=(const WithoutRootRights &) = delete;

private:
    bool m_switched = false;
};

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void read_data();
    void read();
    void caseBlindNames_data();
    void caseBlindNames();
    void writeKeepsLayout_data();
    void writeKeepsLayout();
    void chineseRoundTripThroughGlobals();
    void invalidNamesChangeNothing_data();
    void invalidNamesChangeNothing();
    void undecodableFileIsNeverOverwritten();
    void big5FileIsReadAndRewrittenAsUtf8();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void textToBool_data();
    void textToBool();
    void readIniBoolNamesTheKeyOnBadText();

private:
    QString iniPath() const { return m_dir->filePath(QStringLiteral("Rolvan.ini")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    Globals m_globals;
};

void TestIniFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_globals = Globals();
    m_globals.ExeDir = m_dir->path() + QDir::separator();
    SetGlobals(&m_globals);
}

void TestIniFile::cleanup()
{
    SetGlobals(nullptr);
    m_dir.reset();
}

// ReadIniSetting: default, stored value, and the empty value for an empty result.
void TestIniFile::read_data()
{
    QTest::addColumn<QByteArray>("content"); // "<missing>" = no file at all
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("emptyValue");
    QTest::addColumn<QString>("defaultValue");
    QTest::addColumn<QString>("expected");

    const QString base = IniSection::Base;
    const QString empNo = IniKey::EmployeeNoLength;
    QTest::newRow("stored empty gives the empty value")
        << QByteArray("[Base]\n員工編號長度=\n") << base << empNo << u"0"_s << u"6"_s << u"0"_s;
    QTest::newRow("missing key gives the default")
        << QByteArray("[Base]\nComputerNo=07\n") << base << empNo << u"0"_s << u"6"_s << u"6"_s;
    QTest::newRow("missing file gives the default")
        << QByteArray("<missing>") << base << empNo << u"0"_s << u"6"_s << u"6"_s;
    QTest::newRow("empty file gives the default")
        << QByteArray() << base << empNo << u"0"_s << u"6"_s << u"6"_s;
    QTest::newRow("missing key and empty default give the empty value")
        << QByteArray("[Base]\n") << base << IniKey::ClientServerMode << u"0"_s << QString() << u"0"_s;
    QTest::newRow("stored value wins")
        << QByteArray("[Base]\n員工編號長度=8\n") << base << empNo << u"0"_s << u"6"_s << u"8"_s;
    QTest::newRow("blanks around = and value are trimmed")
        << QByteArray("[Base]\n  員工編號長度 \t=  8 \n") << base << empNo << u"0"_s << u"6"_s << u"8"_s;
    QTest::newRow("blanks only is an empty value")
        << QByteArray("[Base]\n員工編號長度=   \n") << base << empNo << u"0"_s << u"6"_s << u"0"_s;
    QTest::newRow("full-width space is part of the value")
        << QByteArray("[Base]\nCompany Name=\xE3\x80\x80甲\n") << base << IniKey::CompanyName << QString()
        << QString() << u"\u3000甲"_s;
    QTest::newRow("key in another section is not found")
        << QByteArray("[Baae]\n班別時間設定=1\n[Base]\nComputerNo=07\n") << base << IniKey::ClassPeriods
        << QString() << u"D"_s << u"D"_s;
    QTest::newRow("key before any section belongs to none")
        << QByteArray("ComputerNo=09\n[Base]\n") << base << IniKey::StationNo << QString() << u"00"_s
        << u"00"_s;
    QTest::newRow("first of two equal keys")
        << QByteArray("[Base]\nComputerNo=01\nComputerNo=02\n") << base << IniKey::StationNo << QString()
        << QString() << u"01"_s;
    QTest::newRow("key in a repeated section")
        << QByteArray("[Base]\nA=1\n[Baae]\n[base]\nComputerNo=03\n") << base << IniKey::StationNo
        << QString() << QString() << u"03"_s;
    QTest::newRow("value keeps = ; and quotes")
        << QByteArray("[Base]\n連線網址=\"https://x/cco?a=1;b\"\n") << base << IniKey::ServiceUrl << QString()
        << QString() << u"\"https://x/cco?a=1;b\""_s;
    QTest::newRow("byte-order mark before the first header")
        << QByteArray("\xEF\xBB\xBF[Base]\r\nComputerNo=07\r\n") << base << IniKey::StationNo << QString()
        << u"00"_s << u"07"_s;
    QTest::newRow("no byte-order mark")
        << QByteArray("[Base]\r\nComputerNo=07\r\n") << base << IniKey::StationNo << QString() << u"00"_s
        << u"07"_s;
    QTest::newRow("commented key is not a key")
        << QByteArray("[Base]\n;ComputerNo=07\n# ComputerNo=08\n") << base << IniKey::StationNo << QString()
        << u"00"_s << u"00"_s;
}

void TestIniFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, emptyValue);
    QFETCH(QString, defaultValue);
    QFETCH(QString, expected);

    if (content != "<missing>")
        writeBytes(iniPath(), content);
    QCOMPARE(ReadIniSetting(section, key, emptyValue, defaultValue), expected);
}

// Names written one way are found another way: letter case, Unicode folding, blanks.
void TestIniFile::caseBlindNames_data()
{
    QTest::addColumn<QString>("writeSection");
    QTest::addColumn<QString>("writeKey");
    QTest::addColumn<QString>("readSection");
    QTest::addColumn<QString>("readKey");

    QTest::newRow("window width") << IniSection::FormSize << u"FmSetup_width"_s << IniSection::FormSize
                                  << u"FmSetup_Width"_s;
    QTest::newRow("BASE and Base") << u"BASE"_s << IniKey::ImeName << IniSection::Base << u"IMENAME"_s;
    QTest::newRow("trailing blank of DB Version") << IniSection::Base << IniKey::DbVersion << u"base"_s
                                                  << u"DB VERSION"_s;
    QTest::newRow("Greek sigma folds") << u"ΣΤΑΘΜΟΣ"_s << u"Κλειδί"_s << u"σταθμος"_s << u"ΚΛΕΙΔΊ"_s;
    QTest::newRow("full-width Latin folds") << u"ＢＡＳＥ"_s << u"ＫＥＹ"_s << u"ｂａｓｅ"_s << u"ｋｅｙ"_s;
    QTest::newRow("Chinese names") << IniSection::CourseDefaults << IniKey::Place << u"課程基本資料"_s
                                   << u"地點"_s;
}

void TestIniFile::caseBlindNames()
{
    QFETCH(QString, writeSection);
    QFETCH(QString, writeKey);
    QFETCH(QString, readSection);
    QFETCH(QString, readKey);

    WriteIniSetting(writeSection, writeKey, u"first"_s);
    QCOMPARE(ReadIniSetting(readSection, readKey, QString(), u"missing"_s), u"first"_s);

    // Writing under the other spelling replaces the same line instead of adding one.
    WriteIniSetting(readSection, readKey, u"second"_s);
    QCOMPARE(ReadIniSetting(writeSection, writeKey, QString(), u"missing"_s), u"second"_s);
    IniFile ini;
    QVERIFY(ini.load(iniPath()));
    QCOMPARE(ini.sectionNames().size(), 1);
    QCOMPARE(ini.keys(readSection).size(), 1);
}

// A write changes one line or adds one in the right place; every other byte stays.
void TestIniFile::writeKeepsLayout_data()
{
    QTest::addColumn<QByteArray>("before"); // "<missing>" = no file at all
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QByteArray layout = "; station settings\n"
                              "[Base]\n"
                              "# who we are\n"
                              "Company Name = 甲單位\n"
                              "this line has no equals sign\n"
                              "ComputerNo=01\n"
                              "\n"
                              "; periods follow\n"
                              "[Baae]\n"
                              "班別時間設定=093012001330173018302130\n"
                              "\n"
                              "\n";

    QTest::newRow("existing key replaced in place")
        << layout << u"base"_s << u"computerno"_s << u"02"_s
        << QByteArray(layout).replace("ComputerNo=01", "ComputerNo=02");
    QTest::newRow("key spelling and blanks around = kept")
        << layout << u"Base"_s << u"company name"_s << u"乙單位"_s
        << QByteArray(layout).replace("甲單位", "乙單位");
    QTest::newRow("new key after the last key, before blank lines and comment")
        << layout << u"Base"_s << u"IOKeyboard"_s << u"True"_s
        << QByteArray(layout).replace("ComputerNo=01\n", "ComputerNo=01\nIOKeyboard=True\n");
    QTest::newRow("new key after the last key of the last section")
        << layout << u"BAAE"_s << u"X"_s << u"1"_s
        << QByteArray(layout).replace("173018302130\n", "173018302130\nX=1\n");
    QTest::newRow("new section at the end")
        << layout << u"系統擴充"_s << u"系統擴充"_s << u"True"_s
        << QByteArray(layout + "[系統擴充]\n系統擴充=True\n");
    QTest::newRow("new key written exactly, trailing blank included")
        << layout << u"Base"_s << u"DB Version "_s << u"0520"_s
        << QByteArray(layout).replace("ComputerNo=01\n", "ComputerNo=01\nDB Version =0520\n");
    QTest::newRow("section without keys takes the key after its header")
        << QByteArray("[Base]\n; none yet\n[Baae]\n") << u"Base"_s << u"A"_s << u"1"_s
        << QByteArray("[Base]\nA=1\n; none yet\n[Baae]\n");
    QTest::newRow("file without a final line break")
        << QByteArray("[Base]\nA=1") << u"Base"_s << u"B"_s << u"2"_s << QByteArray("[Base]\nA=1\nB=2\n");
    QTest::newRow("replace on a last line without a break keeps it so")
        << QByteArray("[Base]\nA=1") << u"Base"_s << u"A"_s << u"3"_s << QByteArray("[Base]\nA=3");
    QTest::newRow("CRLF kept, added lines use CRLF")
        << QByteArray("[Base]\r\nA=1\r\n\r\n[Baae]\r\nB=2\r\n") << u"Base"_s << u"C"_s << u"3"_s
        << QByteArray("[Base]\r\nA=1\r\nC=3\r\n\r\n[Baae]\r\nB=2\r\n");
    QTest::newRow("CRLF file gets a CRLF section")
        << QByteArray("[Base]\r\nA=1\r\n") << u"感應卡"_s << u"BoudRate"_s << u"9600"_s
        << QByteArray("[Base]\r\nA=1\r\n[感應卡]\r\nBoudRate=9600\r\n");
    QTest::newRow("byte-order mark kept")
        << QByteArray("\xEF\xBB\xBF[Base]\nA=1\n") << u"Base"_s << u"A"_s << u"中"_s
        << QByteArray("\xEF\xBB\xBF[Base]\nA=中\n");
    QTest::newRow("key before any section untouched")
        << QByteArray("A=0\n[Base]\n") << u"Base"_s << u"A"_s << u"1"_s << QByteArray("A=0\n[Base]\nA=1\n");
    QTest::newRow("line breaks in a value become blanks")
        << QByteArray("[Base]\n") << u"課程基本資料"_s << u"地點"_s << u"一樓\r\n二樓\n三樓"_s
        << QByteArray("[Base]\n[課程基本資料]\n地點=一樓 二樓 三樓\n");
    QTest::newRow("empty value written as key=")
        << QByteArray("[感應卡]\n檢核資料=x\n") << u"感應卡"_s << u"檢核資料"_s << QString()
        << QByteArray("[感應卡]\n檢核資料=\n");
    // A file cut inside its last character (a crash while an editor saved it): the bytes that
    // are not a whole character stay as they were.
    QTest::newRow("half a character at the end kept")
        << QByteArray("[Base]\nA=1\nB=\xE4\xB8") << u"Base"_s << u"A"_s << u"2"_s
        << QByteArray("[Base]\nA=2\nB=\xE4\xB8");
    QTest::newRow("key added after a value cut inside a character")
        << QByteArray("[Base]\nA=\xE4\xB8") << u"Base"_s << u"B"_s << u"2"_s
        << QByteArray("[Base]\nA=\xE4\xB8\nB=2\n");
    QTest::newRow("value cut inside a character replaced")
        << QByteArray("[Base]\nA=\xE4\xB8") << u"Base"_s << u"A"_s << u"3"_s
        << QByteArray("[Base]\nA=3");
    QTest::newRow("missing file created")
        << QByteArray("<missing>") << u"Base"_s << u"ComputerNo"_s << u"05"_s
        << QByteArray("[Base]" + nativeEol() + "ComputerNo=05" + nativeEol());
}

void TestIniFile::writeKeepsLayout()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    if (before != "<missing>")
        writeBytes(iniPath(), before);
    WriteIniSettingAt(iniPath(), section, key, value);
    QCOMPARE(readBytes(iniPath()), after);
}

// Several writes through the program-wide file, then every value read back unchanged and
// the sections and keys in the order they were first written.
void TestIniFile::chineseRoundTripThroughGlobals()
{
    QCOMPARE(G().iniPath(), iniPath());
    const QList<std::array<QString, 3>> writes = {
        {IniSection::Base, IniKey::CompanyName, u"臺北市立某某訓練中心"_s},
        {IniSection::Base, IniKey::ImageFileLocationPath, u"/home/站/查核資料檔案"_s},
        {IniSection::CourseDefaults, IniKey::Place, u"第一教室（三樓）"_s},
        {IniSection::Base, IniKey::ImeName, IniDefault::ImeName},
        {IniSection::CourseDefaults, IniKey::Audience, u"全體同仁；含約聘"_s},
        {IniSection::CardReader, IniKey::RegistryDeviceName, u"\\Device\\Serial"_s},
        {IniSection::Base, IniKey::CompanyName, u"新北市某某學苑"_s}, // replaces the first
    };
    for (const auto &w : writes)
        WriteIniSetting(w[0], w[1], w[2]);

    QCOMPARE(ReadIniSetting(IniSection::Base, IniKey::CompanyName, QString(), QString()), u"新北市某某學苑"_s);
    QCOMPARE(ReadIniSetting(IniSection::Base, IniKey::ImageFileLocationPath, QString(), QString()),
             u"/home/站/查核資料檔案"_s);
    QCOMPARE(ReadIniSetting(IniSection::CourseDefaults, IniKey::Place, QString(), QString()), u"第一教室（三樓）"_s);
    QCOMPARE(ReadIniSetting(IniSection::CourseDefaults, IniKey::Audience, QString(), QString()),
             u"全體同仁；含約聘"_s);
    QCOMPARE(ReadIniSetting(IniSection::Base, IniKey::ImeName, QString(), QString()), IniDefault::ImeName);
    QCOMPARE(ReadIniSetting(IniSection::CardReader, IniKey::RegistryDeviceName, QString(), QString()),
             u"\\Device\\Serial"_s);

    IniFile ini;
    QVERIFY(ini.load(iniPath()));
    QVERIFY(!ini.hasByteOrderMark());
    QCOMPARE(ini.sectionNames(), (QStringList{IniSection::Base, IniSection::CourseDefaults, IniSection::CardReader}));
    QCOMPARE(ini.keys(IniSection::Base),
             (QStringList{IniKey::CompanyName, IniKey::ImageFileLocationPath, IniKey::ImeName}));
    QCOMPARE(ini.keys(IniSection::CourseDefaults), (QStringList{IniKey::Place, IniKey::Audience}));
    // Stored as UTF-8 text a person can read.
    QVERIFY(readBytes(iniPath()).contains(u"[課程基本資料]"_s.toUtf8()));
}

// Names the file cannot hold are refused before anything is written.
void TestIniFile::invalidNamesChangeNothing_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");

    QTest::newRow("empty key") << IniSection::Base << u"  "_s;
    QTest::newRow("key with =") << IniSection::Base << u"a=b"_s;
    QTest::newRow("key with a line break") << IniSection::Base << u"a\nb=c"_s;
    QTest::newRow("key like a comment") << IniSection::Base << u";a"_s;
    QTest::newRow("key like a header") << IniSection::Base << u"[a]"_s;
    QTest::newRow("empty section") << QString() << u"a"_s;
    QTest::newRow("section with ]") << u"a]b"_s << u"a"_s;
    QTest::newRow("section with a line break") << u"a\n[b"_s << u"a"_s;
}

void TestIniFile::invalidNamesChangeNothing()
{
    QFETCH(QString, section);
    QFETCH(QString, key);

    const QByteArray before("[Base]\nA=1\n");
    writeBytes(iniPath(), before);
    QVERIFY_THROWS_EXCEPTION(RolvanError, WriteIniSetting(section, key, u"x"_s));
    QCOMPARE(readBytes(iniPath()), before);
}

// A file that is neither UTF-8 nor Big5 text reads as empty and is never replaced.
void TestIniFile::undecodableFileIsNeverOverwritten()
{
    const QByteArray before("[Base]\nComputerNo=07\nCompany Name=\x80\xFF\n");
    writeBytes(iniPath(), before);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"UTF-8"_s));
    QCOMPARE(ReadIniSetting(IniSection::Base, IniKey::StationNo, QString(), u"00"_s), u"00"_s);
    try {
        WriteIniSetting(IniSection::Base, IniKey::StationNo, u"08"_s);
        QFAIL("the write should have been refused");
    } catch (const RolvanError &e) {
        QVERIFY2(e.message().contains(u"Rolvan.ini"_s), qPrintable(e.message()));
    }
    QCOMPARE(readBytes(iniPath()), before);
}

// A file kept by an older station in the Big5 code page is read and, on the next write,
// stored as UTF-8 with every other line unchanged in meaning.
void TestIniFile::big5FileIsReadAndRewrittenAsUtf8()
{
    QStringDecoder big5("Big5");
    if (!big5.isValid())
        QSKIP("no Big5 converter on this platform");
    // "[Base]\nCompany Name=中文\n" with 中文 in Big5.
    writeBytes(iniPath(), QByteArray("[Base]\nCompany Name=\xA4\xA4\xA4\xE5\n"));

    QCOMPARE(ReadIniSetting(IniSection::Base, IniKey::CompanyName, QString(), QString()), u"中文"_s);
    WriteIniSetting(IniSection::Base, IniKey::StationNo, u"03"_s);
    QCOMPARE(readBytes(iniPath()), u"[Base]\nCompany Name=中文\nComputerNo=03\n"_s.toUtf8());
}

// A write that cannot be done raises RolvanError naming the file and leaves the old file
// exactly as it was, with no temporary file left behind.
void TestIniFile::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<bool>("folderReadOnly");
    QTest::addColumn<bool>("fileReadOnly");

    QTest::newRow("read-only folder") << true << false;
    QTest::newRow("read-only file") << false << true;
}

void TestIniFile::failedWriteKeepsOldFile()
{
    QFETCH(bool, folderReadOnly);
    QFETCH(bool, fileReadOnly);

    const QString folder = m_dir->filePath(u"站台"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString path = QDir(folder).filePath(u"Rolvan.ini"_s);
    const QByteArray before("[Base]\r\nComputerNo=01\r\n");
    writeBytes(path, before);

    // Everyone may enter the folders and read the file; only the owner could write, and then
    // the folder or the file is made read-only for everyone.
    const auto readAll = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const auto enterAll = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const auto writeAll = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    QVERIFY(QFile::setPermissions(m_dir->path(), readAll | enterAll | QFile::WriteOwner));
    QVERIFY(QFile::setPermissions(folder, folderReadOnly ? readAll | enterAll : readAll | enterAll | writeAll));
    QVERIFY(QFile::setPermissions(path, fileReadOnly ? readAll : readAll | QFile::WriteOwner));
    auto restore = qScopeGuard([&] {
        QFile::setPermissions(folder, readAll | enterAll | QFile::WriteOwner);
        QFile::setPermissions(path, readAll | QFile::WriteOwner);
    });
    const WithoutRootRights unprivileged;

    // A user still allowed to ignore permissions cannot check this.
    {
        QFile probe(folderReadOnly ? QDir(folder).filePath(u"probe"_s) : path);
        if (probe.open(QIODevice::ReadWrite | QIODevice::Append)) {
            probe.close();
            if (folderReadOnly)
                probe.remove();
            QSKIP("permissions are not enforced for this user");
        }
    }

    try {
        WriteIniSettingAt(path, IniSection::Base, IniKey::StationNo, u"02"_s);
        QFAIL("the write should have failed");
    } catch (const RolvanError &e) {
        QVERIFY2(e.message().contains(path) || e.message().contains(QDir::toNativeSeparators(path)),
                 qPrintable(e.message()));
    }
    QCOMPARE(readBytes(path), before);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"Rolvan.ini"_s});
    QCOMPARE(ReadIniSettingAt(path, IniSection::Base, IniKey::StationNo, QString(), QString()), u"01"_s);
}

void TestIniFile::textToBool_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("expected");

    QTest::newRow("True") << u"True"_s << true << true;
    QTest::newRow("False") << u"False"_s << true << false;
    QTest::newRow("TRUE") << u"TRUE"_s << true << true;
    QTest::newRow("false") << u"false"_s << true << false;
    QTest::newRow("blanks around") << u" True "_s << true << true;
    QTest::newRow("0") << u"0"_s << true << false;
    QTest::newRow("00") << u"00"_s << true << false;
    QTest::newRow("0.0") << u"0.0"_s << true << false;
    QTest::newRow("1") << u"1"_s << true << true;
    QTest::newRow("-1") << u"-1"_s << true << true;
    QTest::newRow("2.5") << u"2.5"_s << true << true;
    QTest::newRow("empty") << QString() << false << false;
    QTest::newRow("Yes") << u"Yes"_s << false << false;
    QTest::newRow("T") << u"T"_s << false << false;
    QTest::newRow("1a") << u"1a"_s << false << false;
    QTest::newRow("Truee") << u"Truee"_s << false << false;
    QTest::newRow("Chinese yes") << u"是"_s << false << false;
}

void TestIniFile::textToBool()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(bool, expected);

    if (valid) {
        QCOMPARE(TextToBool(text), expected);
        return;
    }
    try {
        TextToBool(text);
        QFAIL("a conversion error was expected");
    } catch (const ConversionError &e) {
        QVERIFY2(e.message().contains(u"True"_s) && e.message().contains(u"False"_s), qPrintable(e.message()));
    }
}

void TestIniFile::readIniBoolNamesTheKeyOnBadText()
{
    QVERIFY(ReadIniBool(IniSection::Base, IniKey::IOKeyboard, true));
    QVERIFY(!ReadIniBool(IniSection::Base, IniKey::IOKeyboard, false));
    WriteIniSetting(IniSection::Base, IniKey::IOKeyboard, BoolToText(true));
    QVERIFY(ReadIniBool(IniSection::Base, IniKey::IOKeyboard, false));

    WriteIniSetting(IniSection::Base, IniKey::IOKeyboard, u"是"_s);
    try {
        ReadIniBool(IniSection::Base, IniKey::IOKeyboard, false);
        QFAIL("a conversion error was expected");
    } catch (const ConversionError &e) {
        QVERIFY2(e.message().contains(IniKey::IOKeyboard) && e.message().contains(u"是"_s),
                 qPrintable(e.message()));
    }
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"

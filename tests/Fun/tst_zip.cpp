#include "Fun/ZipFunctions.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <tuple>
#include <zip.h>

#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace {

void WriteFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

// Every file, link and folder below root as "/"-separated relative paths (folders end with
// "/"), sorted; with content when asked.
QStringList Tree(const QString &root, bool withContent = false)
{
    QStringList result;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QString line = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink())
            line += QStringLiteral(" -> link");
        else if (info.isDir())
            line += QLatin1Char('/');
        else if (withContent)
            line += QStringLiteral(" = ")
                + QString::fromLatin1(ReadFile(info.filePath()).toHex().left(64))
                + QStringLiteral(" (%1)").arg(info.size());
        result.append(line);
    }
    result.sort();
    return result;
}

struct HostileEntry
{
    QByteArray name;
    QByteArray content;
    bool symlink = false;
};

// An archive written with libzip as given: names are not cleaned in any way.
bool MakeArchive(const QString &path, const QList<HostileEntry> &entries)
{
    int error = 0;
    zip_t *archive
        = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    // The buffers must live until zip_close.
    QList<QByteArray> contents;
    for (const HostileEntry &entry : entries)
        contents.append(entry.content);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        zip_source_t *source = zip_source_buffer(
            archive, contents[i].constData(), zip_uint64_t(contents[i].size()), 0);
        const zip_int64_t index
            = zip_file_add(archive, entries[i].name.constData(), source, ZIP_FL_ENC_RAW);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        const zip_uint32_t mode = entries[i].symlink ? 0120777u : 0100644u;
        zip_file_set_external_attributes(
            archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX, mode << 16);
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return false;
    }
    return true;
}

struct ArchiveListing
{
    QStringList names;
    bool allDeflated = true; // every non-empty file
};

ArchiveListing ListArchive(const QString &path)
{
    ArchiveListing listing;
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return listing;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, zip_uint64_t(i), 0, &stat);
        const QString name = QString::fromUtf8(stat.name);
        listing.names.append(name);
        if (!name.endsWith(QLatin1Char('/')) && stat.size > 0 && stat.comp_method != ZIP_CM_DEFLATE)
            listing.allDeflated = false;
    }
    zip_discard(archive);
    listing.names.sort();
    return listing;
}

// An archive whose entries are stored uncompressed, so that a test can damage one entry's data.
bool MakeStoredArchive(const QString &path, const QList<HostileEntry> &entries)
{
    int error = 0;
    zip_t *archive
        = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const HostileEntry &entry : entries) {
        zip_source_t *source = zip_source_buffer(
            archive, entry.content.constData(), zip_uint64_t(entry.content.size()), 0);
        const zip_int64_t index
            = zip_file_add(archive, entry.name.constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0 || zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0)) {
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

// Changes the first byte of `marker` inside the file.
bool DamageBytes(const QString &path, const QByteArray &marker)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const qsizetype at = bytes.indexOf(marker);
    if (at < 0)
        return false;
    bytes[at] = char(bytes[at] ^ 0x20);
    file.seek(0);
    return file.write(bytes) == bytes.size();
}

// Makes the archive's headers state `size` as the extracted size of the entry `name`.
bool UnderstateSize(const QString &path, const QByteArray &name, quint32 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const auto u16 = [&bytes](qsizetype at) {
        return int(quint8(bytes[at])) | int(quint8(bytes[at + 1])) << 8;
    };
    const auto put32 = [&bytes](qsizetype at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((value >> (8 * i)) & 0xff);
    };
    int patched = 0;
    // Local header: size at 22, name length at 26, name at 30. Central header: 24, 28, 46.
    for (const auto &[signature, sizeAt, lengthAt, nameAt] :
        { std::tuple { QByteArray("PK\x03\x04"), 22, 26, 30 },
            std::tuple { QByteArray("PK\x01\x02"), 24, 28, 46 } }) {
        for (qsizetype at = bytes.indexOf(signature); at >= 0;
             at = bytes.indexOf(signature, at + 4)) {
            if (bytes.mid(at + nameAt, u16(at + lengthAt)) == name) {
                put32(at + sizeAt, size);
                ++patched;
            }
        }
    }
    file.seek(0);
    return patched == 2 && file.write(bytes) == bytes.size();
}

QByteArray Noise(qsizetype size, quint32 seed)
{
    QByteArray noise(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : noise)
        c = char(generator.bounded(256));
    return noise;
}

// The test's files on a small file system of its own, where the machine allows one: a tmpfs
// mounted in a mount namespace of this process only (so nothing stays mounted after it).
QString MountSmallDisk(const QString &at, int megabytes, QString *why)
{
#ifdef Q_OS_LINUX
    if (geteuid() != 0) {
        *why = QStringLiteral("mounting a small tmpfs needs root");
        return QString();
    }
    static bool ownNamespace = false;
    if (!ownNamespace) {
        if (unshare(CLONE_NEWNS) != 0
            || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            *why = QStringLiteral("no mount namespace of our own: ")
                + QString::fromLocal8Bit(strerror(errno));
            return QString();
        }
        ownNamespace = true;
    }
    QDir().mkpath(at);
    const QByteArray options = "size=" + QByteArray::number(megabytes) + "m";
    if (mount("tmpfs", QFile::encodeName(at).constData(), "tmpfs", 0, options.constData()) != 0) {
        *why = QStringLiteral("tmpfs not mounted: ") + QString::fromLocal8Bit(strerror(errno));
        return QString();
    }
    return at;
#else
    Q_UNUSED(at);
    Q_UNUSED(megabytes);
    *why = QStringLiteral("a small tmpfs is mounted on Linux only");
    return QString();
#endif
}

} // namespace

Q_DECLARE_METATYPE(HostileEntry)

class TestZip : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void roundTrip();
    void zipReplacesOldArchiveAndKeepsCurrentDirectory();
    void zipOfEmptyFolder();
    void zipLeavesOutTheDurableWritersTemporaries();
    void zipArchiveInsideTheFolderItZips();
    void unzipEmptyTargetUsesArchiveName();
    void unzipOverwritesExistingFiles();
    void unzipBackslashSeparators();
    void unzipMissingOrDamagedArchive();
    void unzipRefusesHostileArchive_data();
    void unzipRefusesHostileArchive();
    void unzipRefusesLinkAlreadyInTarget();
    void unzipIsAllOrNothing_data();
    void unzipIsAllOrNothing();
    void unzipSizeLimits_data();
    void unzipSizeLimits();
    void unzipRefusesZipBomb();
    void unzipOntoSmallDisk();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString base() const { return m_dir->path(); }
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    void makeSampleFolder(const QString &folder);
};

void TestZip::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    SetUnzipFailingStepForTesting(0);
}

void TestZip::makeSampleFolder(const QString &folder)
{
    QByteArray noise(300 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char &c : noise)
        c = char(generator.bounded(256));

    WriteFile(folder + QStringLiteral("/readme.txt"), QByteArray(5000, 'r'));
    WriteFile(folder + QStringLiteral("/空白.txt"), QByteArray());
    WriteFile(folder + QStringLiteral("/查核資料/王小明_簽到.jpg"), noise);
    WriteFile(folder + QStringLiteral("/查核資料/深層/a b.csv"), QByteArray("1,2,3\r\n4,5,6\r\n"));
    WriteFile(folder + QStringLiteral("/.hidden"), QByteArray("h"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/空資料夾")));
}

void TestZip::roundTrip()
{
    makeSampleFolder(path(QStringLiteral("pkg")));

    QVERIFY(ZipDirectory(base(), QStringLiteral("pkg"), QStringLiteral("out.zip")));
    const ArchiveListing listing = ListArchive(path(QStringLiteral("out.zip")));
    QStringList expectedNames { QStringLiteral(".hidden"), QStringLiteral("readme.txt"),
        QStringLiteral("空白.txt"), QStringLiteral("空資料夾/"), QStringLiteral("查核資料/"),
        QStringLiteral("查核資料/深層/"), QStringLiteral("查核資料/深層/a b.csv"),
        QStringLiteral("查核資料/王小明_簽到.jpg") };
    expectedNames.sort();
    QCOMPARE(listing.names, expectedNames);
    QVERIFY(listing.allDeflated);
    // Only the archive was added beside the folder: no temporary file is left.
    QCOMPARE(QDir(base()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList { QStringLiteral("out.zip"), QStringLiteral("pkg") }));

    QVERIFY(UnzipToFolder(base(), QStringLiteral("out.zip"), QStringLiteral("restored")));
    QCOMPARE(Tree(path(QStringLiteral("restored")), true), Tree(path(QStringLiteral("pkg")), true));
}

// A snapshot being written, or left half written by a station that was killed, never reaches
// the agency: the durable writer's temporary names (".<name>.NNNNNN") stay out of every archive,
// other hidden files go in as before.
void TestZip::zipLeavesOutTheDurableWritersTemporaries()
{
    for (const char *name : { "PIC/a.jpg", "PIC/.a.jpg.123456", "PIC/.b.jpg.000001", ".csv.csv.654321",
                              ".hidden", "PIC/.c.jpg.12345", "PIC/.d.jpg.1234567", "PIC/.e.jpg.12345x" })
        WriteFile(path(QStringLiteral("pkg/") + QString::fromLatin1(name)), QByteArray("x"));
    QVERIFY(ZipDirectory(base(), QStringLiteral("pkg"), QStringLiteral("out.zip")));
    QStringList expected { QStringLiteral(".hidden"), QStringLiteral("PIC/"), QStringLiteral("PIC/a.jpg"),
        QStringLiteral("PIC/.c.jpg.12345"), QStringLiteral("PIC/.d.jpg.1234567"),
        QStringLiteral("PIC/.e.jpg.12345x") };
    expected.sort();
    QStringList names = ListArchive(path(QStringLiteral("out.zip"))).names;
    names.sort();
    QCOMPARE(names, expected);
    // Left where they are: packing deletes nothing.
    QVERIFY(QFile::exists(path(QStringLiteral("pkg/PIC/.a.jpg.123456"))));
}

void TestZip::zipReplacesOldArchiveAndKeepsCurrentDirectory()
{
    WriteFile(path(QStringLiteral("pkg/new.txt")), QByteArray("new"));
    WriteFile(
        path(QStringLiteral("elsewhere/out.zip")), QByteArray("an old archive, not even a zip"));
    const QString currentBefore = QDir::currentPath();

    // An archive name with its own folder is not placed in the base folder.
    QVERIFY(ZipDirectory(base(), QStringLiteral("pkg"), path(QStringLiteral("elsewhere/out.zip"))));
    QCOMPARE(QDir::currentPath(), currentBefore);
    QCOMPARE(ListArchive(path(QStringLiteral("elsewhere/out.zip"))).names,
        QStringList { QStringLiteral("new.txt") });
    QVERIFY(!QFile::exists(path(QStringLiteral("out.zip"))));

    // A folder that is not there makes no archive: the call says so and why, and the old
    // archive stays as it was.
    QString error;
    QVERIFY(!ZipDirectory(
        base(), QStringLiteral("missing"), path(QStringLiteral("elsewhere/out.zip")), &error));
    QVERIFY2(error.contains(QStringLiteral("不存在")), qPrintable(error));
    QCOMPARE(ListArchive(path(QStringLiteral("elsewhere/out.zip"))).names,
        QStringList { QStringLiteral("new.txt") });
}

void TestZip::zipOfEmptyFolder()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("nothing"))));
    QVERIFY(ZipDirectory(base(), QStringLiteral("nothing"), QStringLiteral("nothing.zip")));
    QVERIFY(QFile::exists(path(QStringLiteral("nothing.zip"))));
    QVERIFY(UnzipToFolder(base(), QStringLiteral("nothing.zip"), QString()));
    QCOMPARE(Tree(path(QStringLiteral("nothing"))), QStringList());
}

void TestZip::zipArchiveInsideTheFolderItZips()
{
    WriteFile(path(QStringLiteral("pkg/a.txt")), QByteArray("a"));
    WriteFile(path(QStringLiteral("pkg/self.zip")), QByteArray("stale"));
    QVERIFY(ZipDirectory(path(QStringLiteral("pkg")), QString(), QStringLiteral("self.zip")));
    QCOMPARE(ListArchive(path(QStringLiteral("pkg/self.zip"))).names,
        QStringList { QStringLiteral("a.txt") });
}

void TestZip::unzipEmptyTargetUsesArchiveName()
{
    WriteFile(path(QStringLiteral("src/runUpdate.exe")), QByteArray("MZ..."));
    WriteFile(path(QStringLiteral("src/bin/Rolvan.exe")), QByteArray("MZ!!!"));
    QVERIFY(ZipDirectory(base(), QStringLiteral("src"), QStringLiteral("RolvanUpdate.zip")));

    QVERIFY(UnzipToFolder(base(), QStringLiteral("RolvanUpdate.zip"), QStringLiteral("   ")));
    QCOMPARE(Tree(path(QStringLiteral("RolvanUpdate"))),
        (QStringList { QStringLiteral("bin/"), QStringLiteral("bin/Rolvan.exe"),
            QStringLiteral("runUpdate.exe") }));
    QCOMPARE(ReadFile(path(QStringLiteral("RolvanUpdate/bin/Rolvan.exe"))), QByteArray("MZ!!!"));
}

void TestZip::unzipOverwritesExistingFiles()
{
    WriteFile(path(QStringLiteral("src/a.txt")), QByteArray("from the archive"));
    QVERIFY(ZipDirectory(base(), QStringLiteral("src"), QStringLiteral("p.zip")));
    WriteFile(path(QStringLiteral("dest/a.txt")), QByteArray("old"));
    WriteFile(path(QStringLiteral("dest/other.txt")), QByteArray("untouched"));

    QVERIFY(UnzipToFolder(base(), QStringLiteral("p.zip"), QStringLiteral("dest")));
    QCOMPARE(ReadFile(path(QStringLiteral("dest/a.txt"))), QByteArray("from the archive"));
    QCOMPARE(ReadFile(path(QStringLiteral("dest/other.txt"))), QByteArray("untouched"));
    QCOMPARE(Tree(path(QStringLiteral("dest"))),
        (QStringList { QStringLiteral("a.txt"), QStringLiteral("other.txt") }));
}

void TestZip::unzipBackslashSeparators()
{
    // Archives made on Windows may separate folders with backslashes.
    QVERIFY(MakeArchive(path(QStringLiteral("win.zip")),
        { { "dir\\file.txt", "x" }, { "dir\\sub\\", "" }, { ".\\top.txt", "t" } }));
    QVERIFY(UnzipToFolder(base(), QStringLiteral("win.zip"), QStringLiteral("out")));
    QCOMPARE(Tree(path(QStringLiteral("out"))),
        (QStringList { QStringLiteral("dir/"), QStringLiteral("dir/file.txt"),
            QStringLiteral("dir/sub/"), QStringLiteral("top.txt") }));
}

void TestZip::unzipMissingOrDamagedArchive()
{
    QString message;
    QVERIFY(!UnzipToFolder(base(), QStringLiteral("missing.zip"), QStringLiteral("out"), &message));
    QCOMPARE(message,
        QStringLiteral("找不到壓縮檔 ")
            + QDir::toNativeSeparators(path(QStringLiteral("missing.zip"))));
    WriteFile(path(QStringLiteral("damaged.zip")),
        QByteArray("PK\x03\x04 this is not really an archive"));
    QVERIFY(!UnzipToFolder(base(), QStringLiteral("damaged.zip"), QStringLiteral("out"), &message));
    QVERIFY2(message.contains(QStringLiteral("已損毀或不是 ZIP 壓縮檔")), qPrintable(message));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("out"))));
}

void TestZip::unzipRefusesHostileArchive_data()
{
    QTest::addColumn<QList<HostileEntry>>("entries");

    // Each archive starts with a harmless file: it must not be written either.
    const HostileEntry good { "good.txt", "fine" };
    const QByteArray absolute = QFile::encodeName(path(QStringLiteral("work/abs-evil")));

    QTest::newRow("parent") << QList<HostileEntry> { good, { "../evil", "x" } };
    QTest::newRow("parent in the middle") << QList<HostileEntry> { good, { "a/../../evil", "x" } };
    QTest::newRow("parent that stays inside") << QList<HostileEntry> { good, { "a/../evil", "x" } };
    QTest::newRow("absolute") << QList<HostileEntry> { good, { "/abs-evil", "x" } };
    QTest::newRow("absolute into the test folder")
        << QList<HostileEntry> { good, { absolute, "x" } };
    QTest::newRow("backslash absolute") << QList<HostileEntry> { good, { "\\abs-evil", "x" } };
    QTest::newRow("drive letter") << QList<HostileEntry> { good, { "C:evil", "x" } };
    QTest::newRow("drive letter and root") << QList<HostileEntry> { good, { "C:\\evil", "x" } };
    QTest::newRow("backslash parent") << QList<HostileEntry> { good, { "..\\evil", "x" } };
    QTest::newRow("mixed separators") << QList<HostileEntry> { good, { "sub/..\\..\\evil", "x" } };
    QTest::newRow("dots Windows reads as parent")
        << QList<HostileEntry> { good, { "... /evil", "x" } };
    QTest::newRow("symbolic link") << QList<HostileEntry> { good, { "link", "../outside", true } };
    QTest::newRow("file through a symbolic link")
        << QList<HostileEntry> { good, { "link", "../outside", true }, { "link/evil", "x" } };
    QTest::newRow("file and folder of one name")
        << QList<HostileEntry> { good, { "same", "x" }, { "same/inner", "y" } };
}

void TestZip::unzipRefusesHostileArchive()
{
    QFETCH(QList<HostileEntry>, entries);

    QVERIFY(QDir().mkpath(path(QStringLiteral("work/outside"))));
    QVERIFY(MakeArchive(path(QStringLiteral("work/hostile.zip")), entries));
    const QStringList before = Tree(base());

    QString message;
    QVERIFY(!UnzipToFolder(path(QStringLiteral("work")), QStringLiteral("hostile.zip"),
        QStringLiteral("dest"), &message));
    // Nothing at all was written: not outside the target, not inside it, not even the target.
    QCOMPARE(Tree(base()), before);
    QVERIFY2(message.startsWith(QStringLiteral("壓縮檔 "))
            && message.endsWith(QStringLiteral(" 未做任何變更。")),
        qPrintable(message));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/abs-evil")));
}

void TestZip::unzipRefusesLinkAlreadyInTarget()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("outside"))));
    QVERIFY(QDir().mkpath(path(QStringLiteral("dest"))));
    QVERIFY(QFile::link(path(QStringLiteral("outside")), path(QStringLiteral("dest/photos"))));
    QVERIFY(MakeArchive(
        path(QStringLiteral("p.zip")), { { "good.txt", "fine" }, { "photos/evil.jpg", "x" } }));

    QVERIFY(!UnzipToFolder(base(), QStringLiteral("p.zip"), QStringLiteral("dest")));
    QCOMPARE(Tree(path(QStringLiteral("outside"))), QStringList());
    QCOMPARE(Tree(path(QStringLiteral("dest"))), QStringList { QStringLiteral("photos -> link") });
}

void TestZip::unzipIsAllOrNothing_data()
{
    QTest::addColumn<int>("failingStep");
    QTest::addColumn<QString>("damage");

    QTest::newRow("damaged data of the third entry") << 0 << QStringLiteral("data");
    QTest::newRow("third entry larger than stated") << 0 << QStringLiteral("size");
    // Writing the four files (steps 1-4), then naming them: a.txt and sub/b.txt replace files
    // that are kept aside first (5-6, 8-9), new.txt (7) and sub/deep/c.txt (10) are new.
    for (int step = 1; step <= 10; ++step)
        QTest::addRow("step %d fails", step) << step << QString();
}

void TestZip::unzipIsAllOrNothing()
{
    QFETCH(int, failingStep);
    QFETCH(QString, damage);
    const bool damaged = !damage.isEmpty();

    WriteFile(path(QStringLiteral("dest/a.txt")), QByteArray("old a"));
    WriteFile(path(QStringLiteral("dest/keep.txt")), QByteArray("mine"));
    WriteFile(path(QStringLiteral("dest/sub/b.txt")), QByteArray("old b"));
    QVERIFY(MakeStoredArchive(path(QStringLiteral("p.zip")),
        { { "a.txt", "new a" }, { "new.txt", "brand new" }, { "sub/b.txt", "THIRD new b" },
            { "sub/deep/c.txt", "new c" }, { "emptydir/", "" } }));
    if (damage == QStringLiteral("data"))
        QVERIFY(DamageBytes(path(QStringLiteral("p.zip")), "THIRD new b"));
    if (damage == QStringLiteral("size"))
        QVERIFY(UnderstateSize(path(QStringLiteral("p.zip")), "sub/b.txt", 5));
    const QStringList before = Tree(base(), true);

    SetUnzipFailingStepForTesting(failingStep);
    QString message;
    QVERIFY(!UnzipToFolder(base(), QStringLiteral("p.zip"), QStringLiteral("dest"), &message));
    SetUnzipFailingStepForTesting(0);
    // The target is exactly as it was: earlier files back, nothing of the archive, no temporary.
    QCOMPARE(Tree(base(), true), before);
    QVERIFY2(message.endsWith(QStringLiteral(" 未做任何變更。")), qPrintable(message));
    if (damage == QStringLiteral("data"))
        QVERIFY2(
            message.contains(QStringLiteral("「sub/b.txt」時失敗：壓縮資料已損毀（檢查碼不符）")),
            qPrintable(message));
    if (damage == QStringLiteral("size"))
        QVERIFY2(
            message.contains(QStringLiteral("「sub/b.txt」時失敗：內容比壓縮檔目錄記載的大小還大")),
            qPrintable(message));

    if (!damaged) {
        // The next extraction goes through whole.
        QVERIFY(UnzipToFolder(base(), QStringLiteral("p.zip"), QStringLiteral("dest"), &message));
        QVERIFY(message.isEmpty());
        QCOMPARE(Tree(path(QStringLiteral("dest")), true),
            (QStringList { QStringLiteral("a.txt = 6e65772061 (5)"), QStringLiteral("emptydir/"),
                QStringLiteral("keep.txt = 6d696e65 (4)"),
                QStringLiteral("new.txt = 6272616e64206e6577 (9)"), QStringLiteral("sub/"),
                QStringLiteral("sub/b.txt = 5448495244206e65772062 (11)"),
                QStringLiteral("sub/deep/"), QStringLiteral("sub/deep/c.txt = 6e65772063 (5)") }));
    }
}

void TestZip::unzipSizeLimits_data()
{
    QTest::addColumn<qint64>("archive");
    QTest::addColumn<qint64>("extracted");
    QTest::addColumn<qint64>("free");
    QTest::addColumn<QString>("refusal"); // the start of it; empty when allowed

    constexpr qint64 MiB = 1024 * 1024;
    const QString bomb = QStringLiteral("解開後共 ");
    const QString full = QStringLiteral("磁碟空間不足");
    QTest::newRow("update package") << 20 * MiB << 45 * MiB << 10000 * MiB << QString();
    QTest::newRow("100 times the archive") << 2 * MiB << 200 * MiB << 10000 * MiB << QString();
    QTest::newRow("more than 100 times") << 2 * MiB << 200 * MiB + 1 << 10000 * MiB << bomb;
    QTest::newRow("small archive may make 100 MiB")
        << qint64(1000) << 100 * MiB << 10000 * MiB << QString();
    QTest::newRow("1 MiB that makes 1 GiB") << MiB << 1024 * MiB << 10000 * MiB << bomb;
    QTest::newRow("free space known to be unknown") << MiB << 5 * MiB << qint64(-1) << QString();
    QTest::newRow("fits with the margin left") << MiB << 8 * MiB << 40 * MiB << QString();
    QTest::newRow("would eat into the margin") << MiB << 8 * MiB + 1 << 40 * MiB << full;
    QTest::newRow("nearly full disk") << qint64(1000) << qint64(1000) << 20 * MiB << full;
}

void TestZip::unzipSizeLimits()
{
    QFETCH(qint64, archive);
    QFETCH(qint64, extracted);
    QFETCH(qint64, free);
    QFETCH(QString, refusal);
    const QString result = UnzipSizeRefusal(archive, extracted, free);
    if (refusal.isEmpty())
        QVERIFY2(result.isEmpty(), qPrintable(result));
    else
        QVERIFY2(result.startsWith(refusal), qPrintable(result));
}

void TestZip::unzipRefusesZipBomb()
{
    // 150 MiB of zeros packs into a few hundred KiB: far beyond any package of ours.
    const QString zeros = path(QStringLiteral("src/zeros.bin"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("src"))));
    {
        QFile file(zeros);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(150LL * 1024 * 1024)); // sparse: costs no disk
    }
    WriteFile(path(QStringLiteral("src/first.txt")), QByteArray("first"));
    QVERIFY(ZipDirectory(base(), QStringLiteral("src"), QStringLiteral("bomb.zip")));
    QVERIFY(QFileInfo(path(QStringLiteral("bomb.zip"))).size() < 1024 * 1024);

    QString message;
    QVERIFY(!UnzipToFolder(base(), QStringLiteral("bomb.zip"), QStringLiteral("out"), &message));
    QVERIFY2(message.contains(QStringLiteral("超過合理範圍")), qPrintable(message));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("out"))));
}

void TestZip::unzipOntoSmallDisk()
{
    QString why;
    const QString disk = MountSmallDisk(path(QStringLiteral("disk")), 40, &why);
    if (disk.isEmpty())
        QSKIP(qPrintable(why));
    const auto unmount
        = qScopeGuard([&disk] { umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });

    // Random bytes do not pack: the archives are as large as what they make.
    WriteFile(path(QStringLiteral("small/photo.jpg")), Noise(1024 * 1024, 1));
    WriteFile(path(QStringLiteral("large/a.jpg")), Noise(4 * 1024 * 1024, 2));
    WriteFile(path(QStringLiteral("large/b.jpg")), Noise(6 * 1024 * 1024, 3));
    QVERIFY(ZipDirectory(base(), QStringLiteral("small"), QStringLiteral("small.zip")));
    QVERIFY(ZipDirectory(base(), QStringLiteral("large"), QStringLiteral("large.zip")));
    WriteFile(disk + QStringLiteral("/dest/earlier.txt"), QByteArray("earlier"));

    // 10 MiB on a 40 MiB disk would leave less than the margin: refused before any write.
    QString message;
    const QStringList before = Tree(disk, true);
    QVERIFY(!UnzipToFolder(
        base(), QStringLiteral("large.zip"), disk + QStringLiteral("/dest"), &message));
    QVERIFY2(message.contains(QStringLiteral("磁碟空間不足")), qPrintable(message));
    QCOMPARE(Tree(disk, true), before);

    // 1 MiB leaves enough.
    QVERIFY2(UnzipToFolder(
                 base(), QStringLiteral("small.zip"), disk + QStringLiteral("/dest"), &message),
        qPrintable(message));
    QCOMPARE(ReadFile(disk + QStringLiteral("/dest/photo.jpg")), Noise(1024 * 1024, 1));
    QCOMPARE(ReadFile(disk + QStringLiteral("/dest/earlier.txt")), QByteArray("earlier"));
}

QTEST_GUILESS_MAIN(TestZip)
#include "tst_zip.moc"

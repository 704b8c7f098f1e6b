#include "Fun/ZipFunctions.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <zip.h>

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
    void zipArchiveInsideTheFolderItZips();
    void unzipEmptyTargetUsesArchiveName();
    void unzipOverwritesExistingFiles();
    void unzipBackslashSeparators();
    void unzipMissingOrDamagedArchive();
    void unzipRefusesHostileArchive_data();
    void unzipRefusesHostileArchive();
    void unzipRefusesLinkAlreadyInTarget();

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
    QVERIFY(!UnzipToFolder(base(), QStringLiteral("missing.zip"), QStringLiteral("out")));
    WriteFile(path(QStringLiteral("damaged.zip")),
        QByteArray("PK\x03\x04 this is not really an archive"));
    QVERIFY(!UnzipToFolder(base(), QStringLiteral("damaged.zip"), QStringLiteral("out")));
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

    QVERIFY(!UnzipToFolder(
        path(QStringLiteral("work")), QStringLiteral("hostile.zip"), QStringLiteral("dest")));
    // Nothing at all was written: not outside the target, not inside it, not even the target.
    QCOMPARE(Tree(base()), before);
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

QTEST_GUILESS_MAIN(TestZip)
#include "tst_zip.moc"

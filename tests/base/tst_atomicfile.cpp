// Every writer of the program (settings, CSV, snapshots, PDF sheets, archives) keeps the old
// file and reports why when the disk refuses the new one: by an injected failure of each
// step, and on a real full disk (a small tmpfs, when the test may mount one).

#include "base/AtomicFile.h"
#include "Fun/CsvExport.h"
#include "Fun/IniFile.h"
#include "Fun/ZipFunctions.h"
#include "base/RolvanError.h"
#include "platform/JpegWriter.h"
#include "reportengine/ReportRender.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <functional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Writes a new version of the file at path; returns the error text, empty on success.
using Writer = std::function<QString(const QString &path)>;

QString WriteIni(const QString &path)
{
    IniFile ini;
    if (!ini.load(path))
        return ini.errorString();
    ini.setValue(u"Base"_s, u"Company Name"_s, u"新的訓練單位名稱"_s);
    return ini.save() ? QString() : ini.errorString();
}

QString WriteCsvFile(const QString &path)
{
    QString error;
    QList<QStringList> rows;
    for (int i = 0; i < 40; ++i)
        rows << QStringList{ QString::number(i), u"王小明"_s, u"1130501"_s };
    return ExportRowsToCsvFile(path, { u"序"_s, u"姓名"_s, u"日期"_s }, rows, u',', &error)
        ? QString()
        : error;
}

QString WriteJpeg(const QString &path)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QString error;
    return WriteJpegFile(image, path, 80, &error) ? QString() : error;
}

QString WritePdf(const QString &path)
{
    ReportLayout layout;
    layout.title = u"簽到表"_s;
    layout.pageLayout = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF());
    layout.pages.append(ReportPage{});
    try {
        ExportReportPdf(layout, path);
    } catch (const RolvanError &e) {
        return e.message();
    }
    return QString();
}

// The archive packs a folder that lies beside the test's folder, outside a full disk.
QString WriteZip(const QString &path, const QString &sourceFolder)
{
    QString error;
    return ZipDirectory(sourceFolder, QString(), path, &error) ? QString() : error;
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList LeftOvers(const QString &folder, const QString &keep)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(keep);
    return names;
}

} // namespace

class TestAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writesAndReplaces();
    void injectedFailureKeepsTheOldFile_data();
    void injectedFailureKeepsTheOldFile();
    void readOnlyFileAndMissingFolderAreRefusedWithTheReason();
    void temporariesOfKilledWritersGo();
    void fullDiskKeepsEveryOldFile_data();
    void fullDiskKeepsEveryOldFile();

private:
    Writer WriterNamed(const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_zipSource;
};

void TestAtomicFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_zipSource = m_dir->filePath(u"zipsource"_s);
    QVERIFY(QDir().mkpath(m_zipSource));
    QFile picture(m_zipSource + u"/a.txt"_s);
    QVERIFY(picture.open(QIODevice::WriteOnly));
    picture.write(QByteArray(3000, 'x'));
}

void TestAtomicFile::cleanup()
{
    InjectAtomicFileFault(AtomicFileStep::Write, 0);
    m_dir.reset();
}

Writer TestAtomicFile::WriterNamed(const QString &name) const
{
    if (name == u"ini"_s)
        return WriteIni;
    if (name == u"csv"_s)
        return WriteCsvFile;
    if (name == u"jpeg"_s)
        return WriteJpeg;
    if (name == u"pdf"_s)
        return WritePdf;
    if (name == u"zip"_s)
        return [source = m_zipSource](const QString &path) { return WriteZip(path, source); };
    return [](const QString &path) {
        QString error;
        return WriteFileAtomically(path, "new content", &error) ? QString() : error;
    };
}

void TestAtomicFile::writesAndReplaces()
{
    const QString path = m_dir->filePath(u"plain.txt"_s);
    QString error;
    QVERIFY2(WriteFileAtomically(path, "first", &error), qPrintable(error));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY2(WriteFileAtomically(path, "second", &error), qPrintable(error));
    QCOMPARE(ReadAll(path), QByteArray("second"));
    // The replacement keeps the old file's permissions and leaves no temporary file.
    QCOMPARE(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    QCOMPARE(LeftOvers(m_dir->path(), u"plain.txt"_s), QStringList());
}

void TestAtomicFile::injectedFailureKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<int>("step");
    const QList<std::pair<const char *, AtomicFileStep>> steps{
        { "flush", AtomicFileStep::Flush },
        { "sync", AtomicFileStep::Sync },
        { "rename", AtomicFileStep::Rename },
    };
    for (const char *writer : { "plain", "ini", "csv", "jpeg", "pdf", "zip" }) {
        for (const auto &[stepName, step] : steps) {
            // An archive is written by libzip and only synchronised and renamed here.
            if (QByteArrayView(writer) == "zip" && step == AtomicFileStep::Flush)
                continue;
            QTest::newRow(QByteArray(QByteArray(writer) + " " + stepName).constData())
                << QString::fromLatin1(writer) << int(step);
        }
    }
    for (const char *writer : { "plain", "ini", "jpeg", "pdf" })
        QTest::newRow(QByteArray(QByteArray(writer) + " write").constData())
            << QString::fromLatin1(writer) << int(AtomicFileStep::Write);
}

void TestAtomicFile::injectedFailureKeepsTheOldFile()
{
    QFETCH(QString, writer);
    QFETCH(int, step);
    const QString name = u"target."_s + writer;
    const QString path = m_dir->filePath(name);
    const Writer write = WriterNamed(writer);

    // A first version, written by the writer itself.
    QString error = write(path);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    if (writer == u"ini"_s) {
        // The new version must differ from the old one, or nothing is written.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Base]\nCompany Name=舊的名稱\n");
    }
    const QByteArray old = ReadAll(path);

    InjectAtomicFileFault(AtomicFileStep(step), ENOSPC);
    error = write(path);
    QVERIFY2(!error.isEmpty(), "the failed write was reported as success");
    QVERIFY2(error.contains(u"磁碟空間不足"_s), qPrintable(error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(LeftOvers(m_dir->path(), name), QStringList());
}

void TestAtomicFile::readOnlyFileAndMissingFolderAreRefusedWithTheReason()
{
    QString error;
    QVERIFY(!WriteFileAtomically(m_dir->filePath(u"no/such/folder/x.txt"_s), "x", &error));
    QVERIFY2(error.contains(u"不存在"_s), qPrintable(error));

    const QString path = m_dir->filePath(u"readonly.txt"_s);
    QVERIFY(WriteFileAtomically(path, "old", &error));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser);
    if (QFileInfo(path).isWritable())
        QSKIP("running as root: a read-only file is writable for this user");
    QVERIFY(!WriteFileAtomically(path, "new", &error));
    QVERIFY2(error.contains(u"唯讀"_s), qPrintable(error));
    QCOMPARE(ReadAll(path), QByteArray("old"));
    QVERIFY(!error.contains(u"Unknown error"_s));
}

// A writer killed before its rename left ".<name>.<six digits>"; the next write of that file
// removes it once it is old, and nothing else.
void TestAtomicFile::temporariesOfKilledWritersGo()
{
    const QString path = m_dir->filePath(u"Rolvan.ini"_s);
    const QStringList stale{ u".Rolvan.ini.123456"_s };
    const QStringList kept{ u".Rolvan.ini.654321"_s /* being written now */,
                            u".Rolvan.ini.bak"_s, u".other.ini.123456"_s };
    for (const QString &name : stale + kept) {
        QFile file(m_dir->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("half");
        file.flush();
        if (!name.contains(u"654321"_s))
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
    }
    QString error;
    QVERIFY2(WriteFileAtomically(path, "[Base]\n", &error), qPrintable(error));
    QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QStringList expected = kept;
    expected << u"Rolvan.ini"_s;
    expected.sort();
    QCOMPARE(left, expected);
}

void TestAtomicFile::fullDiskKeepsEveryOldFile_data()
{
    QTest::addColumn<QString>("writer");
    for (const char *writer : { "plain", "ini", "csv", "jpeg", "pdf", "zip" })
        QTest::newRow(writer) << QString::fromLatin1(writer);
}

void TestAtomicFile::fullDiskKeepsEveryOldFile()
{
#ifndef Q_OS_LINUX
    QSKIP("a full disk is made with a Linux tmpfs");
#else
    QFETCH(QString, writer);
    if (::geteuid() != 0)
        QSKIP("needs root to mount a 2 MiB tmpfs (CI runs as root); the injected failures cover "
              "the logic");
    const QString mountPoint = m_dir->filePath(u"full"_s);
    QVERIFY(QDir().mkpath(mountPoint));
    if (QProcess::execute(u"mount"_s, { u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=2m"_s, u"tmpfs"_s,
                                         mountPoint })
        != 0)
        QSKIP("mount -t tmpfs is not allowed here; the injected failures cover the logic");
    struct Unmount
    {
        QString point;
        ~Unmount() { QProcess::execute(u"umount"_s, { point }); }
    } unmount{ mountPoint };

    const QString name = u"target."_s + writer;
    const QString path = mountPoint + u'/' + name;
    const Writer write = WriterNamed(writer);
    QString error = write(path);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    if (writer == u"ini"_s) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Base]\nCompany Name=舊的名稱\nComputerNo=01\n");
    }
    const QByteArray old = ReadAll(path);
    QVERIFY(!old.isEmpty());

    // Fill the disk to the last byte.
    {
        QFile filler(mountPoint + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(64 * 1024, 'f');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
    }

    error = write(path);
    QVERIFY2(!error.isEmpty(), "a write on a full disk was reported as success");
    QVERIFY2(error.contains(u"磁碟空間不足"_s), qPrintable(error));
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(LeftOvers(mountPoint, name), QStringList{ u"filler"_s });
#endif
}

QTEST_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"

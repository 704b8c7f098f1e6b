// The cost of keeping files and the database safe, on the sign-in benchmark's database of a
// million events (made by make_signin_data when missing):
//   - the start-up look at the working database: the version-row check and SQLite's page
//     check (quick_check), each on a cold and a warm run;
//   - writing a sign-in snapshot (a 640 x 480 JPEG at the station's default quality) and an
//     INI save: the durable write (checked, synchronised, renamed) against the same bytes
//     written and renamed without synchronising.
//
//   QT_QPA_PLATFORM=offscreen bench_durability [--data <signin.db>] [--repeat N]

#include "BenchSupport.h"
#include "base/AtomicFile.h"
#include "Fun/IniFile.h"
#include "core/TDM.h"
#include "platform/JpegWriter.h"

#include <QGuiApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

double Milliseconds(const QElapsedTimer &timer) { return double(timer.nsecsElapsed()) / 1e6; }

// The same bytes written and renamed, without the synchronisation: what the durable write adds.
bool WriteWithoutSync(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + u".nosync"_s;
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    QFile::remove(path);
    return QFile::rename(temporary, path);
}

QImage SnapshotImage()
{
    QImage image(640, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int y = 0; y < 480; y += 8)
        painter.fillRect(0, y, 640, 8, QColor::fromHsv((y * 3) % 360, 120, 200));
    painter.drawText(QRect(0, 0, 640, 480), Qt::AlignCenter, u"王小明 1130506 085501"_s);
    return image;
}

void Report(const char *what, const std::vector<double> &ms)
{
    Out() << qSetFieldWidth(44) << Qt::left << what << qSetFieldWidth(0) << " median "
          << QString::number(Median(ms), 'f', 2) << " ms, max "
          << QString::number(*std::max_element(ms.begin(), ms.end()), 'f', 2) << " ms"
          << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString exeDir = QCoreApplication::applicationDirPath();
    QString dataPath = exeDir + u"/bench-data/signin.db"_s;
    int repeat = 20;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == u"--data"_s)
            dataPath = args.at(i + 1);
        else if (args.at(i) == u"--repeat"_s)
            repeat = std::max(1, args.at(i + 1).toInt());
    }
    if (!EnsureBenchData(dataPath, exeDir, u"make_signin_data"_s))
        return 1;

    Out() << "database " << dataPath << " (" << QFileInfo(dataPath).size() / (1024 * 1024)
          << " MiB)" << Qt::endl;
    for (const char *pass : { "cold", "warm" }) {
        if (QByteArrayView(pass) == "cold") {
            // Drop the file from the page cache where the system allows it (needs root).
            QFile drop(u"/proc/sys/vm/drop_caches"_s);
            if (drop.open(QIODevice::WriteOnly))
                drop.write("1\n");
            else
                Out() << "(cannot drop the page cache: the cold pass is warm)" << Qt::endl;
        }
        QElapsedTimer timer;
        timer.start();
        const DatabaseCheck ours = CheckOurDatabase(dataPath);
        const double oursMs = Milliseconds(timer);
        timer.restart();
        const DatabaseCheck pages = QuickCheckDatabase(dataPath);
        const double pagesMs = Milliseconds(timer);
        Out() << pass << ": version-row check " << QString::number(oursMs, 'f', 1) << " ms ("
              << (ours.ok() ? "ok" : qPrintable(ours.detail)) << "), quick_check "
              << QString::number(pagesMs, 'f', 1) << " ms ("
              << (pages.ok() ? "ok" : qPrintable(pages.detail)) << ")" << Qt::endl;
    }

    // Files beside the data, on the same disk.
    QTemporaryDir dir(QFileInfo(dataPath).absolutePath() + u"/durability-XXXXXX"_s);
    const QByteArray jpeg = EncodeJpeg(SnapshotImage(), 15);
    IniFile ini;
    ini.load(dir.filePath(u"Rolvan.ini"_s));
    for (int i = 0; i < 40; ++i)
        ini.setValue(u"Base"_s, u"Key%1"_s.arg(i), u"設定值 %1"_s.arg(i));
    const QByteArray iniBytes = ini.toBytes();
    Out() << "snapshot " << jpeg.size() << " bytes, INI " << iniBytes.size() << " bytes, "
          << repeat << " writes each" << Qt::endl;

    struct Case
    {
        const char *name;
        QString path;
        QByteArray bytes;
        bool durable;
    };
    const QList<Case> cases{
        { "snapshot, durable write", dir.filePath(u"a.jpg"_s), jpeg, true },
        { "snapshot, written and renamed only", dir.filePath(u"b.jpg"_s), jpeg, false },
        { "INI save, durable write", dir.filePath(u"a.ini"_s), iniBytes, true },
        { "INI save, written and renamed only", dir.filePath(u"b.ini"_s), iniBytes, false },
    };
    for (const Case &c : cases) {
        std::vector<double> ms;
        for (int i = 0; i < repeat; ++i) {
            QElapsedTimer timer;
            timer.start();
            const bool ok = c.durable ? WriteFileAtomically(c.path, c.bytes)
                                      : WriteWithoutSync(c.path, c.bytes);
            ms.push_back(Milliseconds(timer));
            if (!ok) {
                Out() << c.name << ": write failed" << Qt::endl;
                return 1;
            }
        }
        Report(c.name, ms);
    }

    // New snapshots into a class folder that already holds thousands: each write must cost what
    // the first one did, however full the folder is.
    QTemporaryDir full(QFileInfo(dataPath).absolutePath() + u"/durability-full-XXXXXX"_s);
    for (int i = 0; i < 5000; ++i)
        WriteWithoutSync(full.filePath(u"old%1.jpg"_s.arg(i)), jpeg);
    std::vector<double> ms;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer timer;
        timer.start();
        const bool ok = WriteFileAtomically(full.filePath(u"new%1.jpg"_s.arg(i)), jpeg);
        ms.push_back(Milliseconds(timer));
        if (!ok) {
            Out() << "snapshot into a full folder: write failed" << Qt::endl;
            return 1;
        }
    }
    Report("snapshot into a folder of 5,000, durable", ms);
    return 0;
}

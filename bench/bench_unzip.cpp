// Extracting a package of 400 snapshots of 256 KiB (100 MiB, random bytes that do not pack) and
// 2,000 small CSV files: into a new folder, and over a folder that already holds every file (each
// one then replaced, its earlier file kept aside until the whole archive is in place).

#include "Fun/ZipFunctions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

struct Package
{
    std::unique_ptr<QTemporaryDir> dir;
    QString base() const { return dir->path(); }
};

const Package &ThePackage()
{
    static const Package package = [] {
        Package p { std::make_unique<QTemporaryDir>() };
        QRandomGenerator generator(7);
        QByteArray noise(256 * 1024, Qt::Uninitialized);
        for (int i = 0; i < 400; ++i) {
            for (char &c : noise)
                c = char(generator.bounded(256));
            const QString folder = p.base() + QStringLiteral("/src/PIC%1").arg(i % 10);
            QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/snap%1.jpg").arg(i));
            if (file.open(QIODevice::WriteOnly))
                file.write(noise);
        }
        for (int i = 0; i < 2000; ++i) {
            const QString folder = p.base() + QStringLiteral("/src/CSV%1").arg(i % 20);
            QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/rows%1.csv").arg(i));
            if (file.open(QIODevice::WriteOnly))
                file.write(QByteArray("A123456789,1130506,085501,0,KB\r\n").repeated(40));
        }
        if (!ZipDirectory(p.base(), QStringLiteral("src"), QStringLiteral("package.zip")))
            std::fprintf(stderr, "package.zip not written\n");
        return p;
    }();
    return package;
}

void BM_UnzipIntoNewFolder(benchmark::State &state)
{
    const Package &package = ThePackage();
    const QString target = package.base() + QStringLiteral("/out");
    for (auto _ : state) {
        state.PauseTiming();
        QDir(target).removeRecursively();
        state.ResumeTiming();
        if (!UnzipToFolder(package.base(), QStringLiteral("package.zip"), QStringLiteral("out")))
            state.SkipWithError("extraction failed");
    }
    QDir(target).removeRecursively();
}
BENCHMARK(BM_UnzipIntoNewFolder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_UnzipOverExistingFiles(benchmark::State &state)
{
    const Package &package = ThePackage();
    const QString target = package.base() + QStringLiteral("/again");
    UnzipToFolder(package.base(), QStringLiteral("package.zip"), QStringLiteral("again"));
    for (auto _ : state) {
        if (!UnzipToFolder(package.base(), QStringLiteral("package.zip"), QStringLiteral("again")))
            state.SkipWithError("extraction failed");
    }
    QDir(target).removeRecursively();
}
BENCHMARK(BM_UnzipOverExistingFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

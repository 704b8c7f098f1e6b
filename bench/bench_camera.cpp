// The camera path of the sign-in screen: unpacking one 640 × 480 frame (YUY2 and MJPG), drawing
// it stretched into the 336 × 252 preview, and encoding a snapshot at the station's default
// quality (15). Afterwards, the frame rate the synthetic camera sustains through the whole path
// (capture callback, buffers, new-frame message, unpacking, preview) with the window idle.

#include "platform/JpegWriter.h"
#include "platform/SyntheticCamera.h"
#include "station/FrameUnpack.h"
#include "station/TVideoImage.h"
#include "station/VideoPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int DefaultSnapshotQuality = 15;

// One frame of the synthetic pattern, as the device would deliver it.
struct Sample
{
    QImage picture;
    QByteArray yuy2;
    QByteArray mjpg;
};

const Sample &TheSample()
{
    static const Sample sample = [] {
        SyntheticCamera camera;
        camera.VideoStart(SyntheticCamera::DeviceName());
        Sample s;
        s.picture = camera.LatestFrame();
        camera.VideoStop();
        s.yuy2 = SyntheticCamera::PackFrame(s.picture, FrameCode::YUY2);
        s.mjpg = SyntheticCamera::PackFrame(s.picture, FrameCode::MJPG);
        return s;
    }();
    return sample;
}

RawFrame FrameOf(const QByteArray &bytes, quint32 code)
{
    return RawFrame{code, 640, 480, reinterpret_cast<const uchar *>(bytes.constData()), bytes.size()};
}

void Unpack(benchmark::State &state, quint32 code, bool draw)
{
    const Sample &sample = TheSample();
    const QByteArray &bytes = code == FrameCode::MJPG ? sample.mjpg : sample.yuy2;
    JpegFrameDecoder decoder;
    QImage bitmap(640, 480, QImage::Format_RGB888);
    QImage preview(336, 252, QImage::Format_RGB32);
    for (auto _ : state) {
        if (UnpackFrame(FrameOf(bytes, code), bitmap, &decoder) != UnpackResult::Unpacked)
            state.SkipWithError("frame not unpacked");
        if (draw) {
            QPainter painter(&preview);
            DrawStretched(painter, preview.rect(), bitmap);
        }
        benchmark::DoNotOptimize(bitmap.constBits());
    }
    state.SetLabel(std::to_string(bytes.size()) + " bytes");
}

void BM_UnpackYuy2(benchmark::State &state) { Unpack(state, FrameCode::YUY2, false); }
void BM_UnpackMjpg(benchmark::State &state) { Unpack(state, FrameCode::MJPG, false); }
void BM_UnpackAndDrawYuy2(benchmark::State &state) { Unpack(state, FrameCode::YUY2, true); }
void BM_UnpackAndDrawMjpg(benchmark::State &state) { Unpack(state, FrameCode::MJPG, true); }

void BM_DrawStretched(benchmark::State &state)
{
    const QImage &bitmap = TheSample().picture;
    QImage preview(336, 252, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&preview);
        DrawStretched(painter, preview.rect(), bitmap);
    }
}

void BM_EncodeSnapshot(benchmark::State &state)
{
    const QImage &bitmap = TheSample().picture;
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray jpeg = EncodeJpeg(bitmap, DefaultSnapshotQuality);
        bytes = jpeg.size();
        benchmark::DoNotOptimize(jpeg.constData());
    }
    state.SetLabel(std::to_string(bytes) + " bytes at quality 15");
}

BENCHMARK(BM_UnpackYuy2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackMjpg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawStretched)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackAndDrawYuy2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnpackAndDrawMjpg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSnapshot)->Unit(benchmark::kMillisecond);

// Runs the synthetic camera in one format through the station's camera for a while, with a
// shown preview and nothing else to do, and reports what came through.
void SustainedRate(const char *sizeText, int intervalMs, int seconds)
{
    VideoPreview preview;
    preview.resize(336, 252);
    preview.show();
    // The synthetic device of the list, with the frame interval of this run.
    TVideoImage::DeviceEnumerator enumerate = [intervalMs] {
        QList<CameraDeviceEntry> entries;
        entries << CameraDeviceEntry{SyntheticCamera::DeviceName(), [intervalMs] {
                                         auto device = std::make_unique<SyntheticCaptureBackend>();
                                         device->Camera().SetFrameInterval(intervalMs);
                                         return std::unique_ptr<CaptureBackend>(std::move(device));
                                     }};
        return entries;
    };
    TVideoImage camera(enumerate);
    camera.SetDisplayCanvas(&preview);
    if (!camera.VideoStart(SyntheticCamera::DeviceName())) {
        std::printf("synthetic camera did not start\n");
        return;
    }
    const int index = int(camera.GetListOfSupportedVideoSizes().indexOf(QString::fromLatin1(sizeText)));
    camera.SetResolutionByIndex(index);

    QElapsedTimer clock;
    clock.start();
    // Settle for a moment, then count.
    while (clock.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const qint64 framesBefore = camera.FrameCount();
    const qint64 unpackedBefore = camera.UnpackedCount();
    const qint64 skippedBefore = camera.SkipCount();
    clock.restart();
    while (clock.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double elapsed = clock.elapsed() / 1000.0;
    const qint64 frames = camera.FrameCount() - framesBefore;
    const qint64 unpacked = camera.UnpackedCount() - unpackedBefore;
    std::printf("%-18s interval %3d ms: %6.1f frames/s arrived, %6.1f frames/s unpacked and drawn, "
                "%lld dropped, camera's own count %.1f frames/s\n",
                sizeText, intervalMs, frames / elapsed, unpacked / elapsed,
                static_cast<long long>(camera.SkipCount() - skippedBefore), camera.FramesPerSecond());
    camera.VideoStop();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nThe whole path, window idle (synthetic camera -> buffers -> message -> unpack -> preview):\n");
    for (const char *size : {"640*480  (YUY2)", "640*480  (MJPG)"}) {
        SustainedRate(size, 66, 3); // the synthetic camera's own pace, about 15 a second
        SustainedRate(size, 0, 3);  // as fast as the pattern can be made
    }
    return 0;
}

// make_sounds <out folder>
// Writes the station's three sounds into <out folder>: RolvanOK.wav (accepted: a short bright
// rise of two tones), RolvanDup.wav (already signed: two short equal beeps) and RolvanError.wav
// (refused: a low buzz). 16-bit PCM, mono, 22050 Hz, well under a second, with short fades at
// every edge so the loudspeaker does not click. The output is the same on every run.

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int SampleRate = 22050;
constexpr double FadeSeconds = 0.006;

struct Partial
{
    double harmonic; // multiple of the tone's frequency
    double level;    // relative amplitude
};

// Appends a tone of the given length; partials shape its colour. The tone rises from and falls
// back to silence over FadeSeconds (raised-cosine edges).
void AppendTone(std::vector<double> &out, double frequency, double seconds, const std::vector<Partial> &partials)
{
    const int count = int(std::lround(seconds * SampleRate));
    const int fade = int(std::lround(FadeSeconds * SampleRate));
    double norm = 0;
    for (const Partial &p : partials)
        norm += p.level;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / SampleRate;
        double v = 0;
        for (const Partial &p : partials)
            v += p.level * std::sin(2 * std::numbers::pi * frequency * p.harmonic * t);
        v /= norm;
        const int edge = std::min(i, count - 1 - i);
        if (edge < fade)
            v *= 0.5 - 0.5 * std::cos(std::numbers::pi * edge / fade);
        out.push_back(v);
    }
}

void AppendSilence(std::vector<double> &out, double seconds)
{
    out.insert(out.end(), size_t(std::lround(seconds * SampleRate)), 0.0);
}

QByteArray WavBytes(const std::vector<double> &signal, double volume)
{
    const quint32 dataSize = quint32(signal.size() * 2);
    QByteArray bytes;
    bytes.reserve(int(44 + dataSize));
    const auto u32 = [&bytes](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        bytes.append(b, 4);
    };
    const auto u16 = [&bytes](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        bytes.append(b, 2);
    };
    bytes.append("RIFF", 4);
    u32(36 + dataSize);
    bytes.append("WAVE", 4);
    bytes.append("fmt ", 4);
    u32(16);             // size of the format chunk
    u16(1);              // PCM
    u16(1);              // mono
    u32(SampleRate);     // samples per second
    u32(SampleRate * 2); // bytes per second
    u16(2);              // bytes per sample frame
    u16(16);             // bits per sample
    bytes.append("data", 4);
    u32(dataSize);
    for (double v : signal) {
        const long s = std::lround(std::clamp(v * volume, -1.0, 1.0) * 32767.0);
        u16(quint16(qint16(s)));
    }
    return bytes;
}

std::vector<double> OkSound()
{
    // A major sixth upwards (E6 to C#7), each tone with a touch of overtone for brightness.
    const std::vector<Partial> bright{{1, 1.0}, {2, 0.25}, {3, 0.08}};
    std::vector<double> s;
    AppendTone(s, 1318.5, 0.10, bright);
    AppendSilence(s, 0.015);
    AppendTone(s, 2217.5, 0.17, bright);
    return s;
}

std::vector<double> DupSound()
{
    const std::vector<Partial> plain{{1, 1.0}, {2, 0.1}};
    std::vector<double> s;
    AppendTone(s, 988.0, 0.09, plain);
    AppendSilence(s, 0.07);
    AppendTone(s, 988.0, 0.09, plain);
    return s;
}

std::vector<double> ErrorSound()
{
    // Odd harmonics of a low note: a soft square wave, heard as a buzz.
    const std::vector<Partial> buzz{{1, 1.0}, {3, 1.0 / 3}, {5, 1.0 / 5}, {7, 1.0 / 7}, {9, 1.0 / 9}};
    std::vector<double> s;
    AppendTone(s, 146.8, 0.42, buzz);
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: make_sounds <out folder>\n";
        return 2;
    }
    const QDir folder(args.at(1));
    if (!QDir().mkpath(folder.absolutePath())) {
        err << "make_sounds: cannot create " << folder.absolutePath() << '\n';
        return 1;
    }
    const struct
    {
        QString name;
        std::vector<double> signal;
        double volume;
    } sounds[] = {
        {u"RolvanOK.wav"_s, OkSound(), 0.55},
        {u"RolvanDup.wav"_s, DupSound(), 0.55},
        {u"RolvanError.wav"_s, ErrorSound(), 0.6},
    };
    for (const auto &sound : sounds) {
        QSaveFile file(folder.filePath(sound.name));
        if (!file.open(QIODevice::WriteOnly) || file.write(WavBytes(sound.signal, sound.volume)) < 0
            || !file.commit()) {
            err << "make_sounds: cannot write " << file.fileName() << ": " << file.errorString() << '\n';
            return 1;
        }
    }
    return 0;
}

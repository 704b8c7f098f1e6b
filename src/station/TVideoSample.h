#pragma once

#include "platform/CaptureBackend.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// The capture worker of one running device: it owns the device's back end, knows its stream
// formats in the station's order and the play state. It exists only while a device runs.
class TVideoSample
{
public:
    enum class PlayState { Stopped, Paused, Running };

    explicit TVideoSample(std::unique_ptr<CaptureBackend> device);
    ~TVideoSample();
    TVideoSample(const TVideoSample &) = delete;
    TVideoSample &operator=(const TVideoSample &) = delete;

    // Gives every frame to callback (on the device's capture thread). Set before Start.
    void SetFrameCallback(CaptureBackend::RawFrameCallback callback);

    // Opens the device, reads its formats and runs the stream. False with the reason in *error;
    // the device is then let go again.
    bool Start(QString *error = nullptr);
    // Stops the stream and lets the device go; no frame arrives afterwards.
    void Stop();
    bool Pause();
    bool Resume();

    // The stream formats, ascending by width and then by height, and their text forms.
    const QList<VideoFormat> &FormatArr() const { return m_formats; }
    QStringList FormatTexts() const;
    VideoFormat CurrentFormat() const;

    // Stops the stream, sets format index of FormatArr and runs the stream again (in the old
    // format when the new one is refused). False, and nothing changed, for an index outside the
    // list or a refused format.
    bool SetResolutionByIndex(int index, QString *error = nullptr);

    QList<VideoControl> GetVideoPropertySettings() const;
    bool SetVideoPropertySettings(int number, int value, bool automatic);

    PlayState g_psCurrent = PlayState::Stopped;

private:
    std::unique_ptr<CaptureBackend> m_device;
    QList<VideoFormat> m_formats;
    bool m_open = false;
};

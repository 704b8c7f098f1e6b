#include "station/TVideoSample.h"

TVideoSample::TVideoSample(std::unique_ptr<CaptureBackend> device)
    : m_device(std::move(device))
{
}

TVideoSample::~TVideoSample()
{
    Stop();
}

void TVideoSample::SetFrameCallback(CaptureBackend::RawFrameCallback callback)
{
    if (m_device)
        m_device->SetRawFrameCallback(std::move(callback));
}

bool TVideoSample::Start(QString *error)
{
    Stop();
    if (!m_device) {
        if (error)
            *error = QStringLiteral("沒有攝影裝置");
        return false;
    }
    if (!m_device->Open(error))
        return false;
    m_open = true;
    m_formats = SortVideoFormats(m_device->Formats());
    if (!m_device->StartStreaming(error)) {
        Stop();
        return false;
    }
    g_psCurrent = PlayState::Running;
    return true;
}

void TVideoSample::Stop()
{
    if (m_device && m_open) {
        m_device->StopStreaming();
        m_device->Close();
    }
    m_open = false;
    g_psCurrent = PlayState::Stopped;
}

bool TVideoSample::Pause()
{
    if (g_psCurrent != PlayState::Running)
        return false;
    m_device->StopStreaming();
    g_psCurrent = PlayState::Paused;
    return true;
}

bool TVideoSample::Resume()
{
    if (g_psCurrent != PlayState::Paused)
        return false;
    if (!m_device->StartStreaming(nullptr))
        return false;
    g_psCurrent = PlayState::Running;
    return true;
}

QStringList TVideoSample::FormatTexts() const
{
    QStringList texts;
    for (const VideoFormat &format : m_formats)
        texts << format.Text();
    return texts;
}

VideoFormat TVideoSample::CurrentFormat() const
{
    return m_open ? m_device->CurrentFormat() : VideoFormat();
}

bool TVideoSample::SetResolutionByIndex(int index, QString *error)
{
    if (!m_open || index < 0 || index >= m_formats.size())
        return false;
    const PlayState before = g_psCurrent;
    const VideoFormat previous = m_device->CurrentFormat();
    m_device->StopStreaming();
    const bool changed = m_device->SetFormat(m_formats.at(index), error);
    if (!changed)
        m_device->SetFormat(previous, nullptr);
    if (before == PlayState::Running && !m_device->StartStreaming(changed ? error : nullptr)) {
        g_psCurrent = PlayState::Stopped;
        return false;
    }
    return changed;
}

QList<VideoControl> TVideoSample::GetVideoPropertySettings() const
{
    return m_open ? m_device->Controls() : QList<VideoControl>();
}

bool TVideoSample::SetVideoPropertySettings(int number, int value, bool automatic)
{
    return m_open && m_device->SetControl(number, value, automatic);
}

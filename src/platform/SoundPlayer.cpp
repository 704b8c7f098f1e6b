#include "platform/SoundPlayer.h"

namespace {

// Used only when nothing installed a player: the station stays quiet.
class SilentSoundPlayer final : public SoundPlayer
{
public:
    void Play(const QString &) override {}
};

SoundPlayer *g_soundPlayer = nullptr;

} // namespace

SoundPlayer &CurrentSoundPlayer()
{
    static SilentSoundPlayer silent;
    return g_soundPlayer ? *g_soundPlayer : silent;
}

void SetCurrentSoundPlayer(SoundPlayer *player) { g_soundPlayer = player; }

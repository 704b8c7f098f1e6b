#pragma once

#include <QString>

// Plays the station's short sounds ("RolvanOK.wav", "RolvanDup.wav", "RolvanError.wav").
// Playing never blocks and never fails loudly: a missing file or a machine without audio is
// at most a line in the log. Tests install a recorder.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    // Starts playing the WAV file; a relative name is taken from the program folder.
    virtual void Play(const QString &wavFileName) = 0;
};

// The sound player of the running program (or of the current test); silent when none is set.
SoundPlayer &CurrentSoundPlayer();
void SetCurrentSoundPlayer(SoundPlayer *player);

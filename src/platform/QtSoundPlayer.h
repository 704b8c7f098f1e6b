#pragma once

#include "platform/SoundPlayer.h"

#include <map>
#include <memory>

class QSoundEffect;

// Plays WAV files through Qt Multimedia. One effect is kept per file, so a sound played again
// starts at once; a new sound stops the one still playing, as one loudspeaker would.
// Use it on one thread (the user-interface thread), after the application object exists.
class QtSoundPlayer final : public SoundPlayer
{
public:
    // Relative names are looked up in folder; an empty folder means the program folder
    // (G().programDir()) at the moment of playing.
    explicit QtSoundPlayer(const QString &folder = QString());
    ~QtSoundPlayer() override;

    void Play(const QString &wavFileName) override;

    // The file Play would open for this name.
    QString ResolvePath(const QString &wavFileName) const;

private:
    QString m_folder;
    std::map<QString, std::unique_ptr<QSoundEffect>> m_effects;
};

#pragma once

#include "platform/SoundPlayer.h"

#include <QStringList>

// Keeps the names of the sounds played, in order, instead of playing them.
// Installs itself as the current sound player while it lives.
class RecordingSoundPlayer final : public SoundPlayer
{
public:
    RecordingSoundPlayer() { SetCurrentSoundPlayer(this); }
    ~RecordingSoundPlayer() override { SetCurrentSoundPlayer(nullptr); }
    RecordingSoundPlayer(const RecordingSoundPlayer &) = delete;
    RecordingSoundPlayer &operator=(const RecordingSoundPlayer &) = delete;

    void Play(const QString &wavFileName) override { played << wavFileName; }

    // The last sound played, or an empty text when none was.
    QString last() const { return played.isEmpty() ? QString() : played.last(); }
    void clear() { played.clear(); }

    QStringList played;
};

#include "platform/QtSoundPlayer.h"

#include "base/Globals.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

QtSoundPlayer::QtSoundPlayer(const QString &folder)
    : m_folder(folder)
{
}

QtSoundPlayer::~QtSoundPlayer() = default;

QString QtSoundPlayer::ResolvePath(const QString &wavFileName) const
{
    if (QDir::isAbsolutePath(wavFileName))
        return QDir::cleanPath(wavFileName);
    const QString folder = m_folder.isEmpty() ? G().programDir() : m_folder;
    return QDir::cleanPath(QDir(folder).absoluteFilePath(wavFileName));
}

void QtSoundPlayer::Play(const QString &wavFileName)
{
    if (wavFileName.trimmed().isEmpty())
        return;
    const QString path = ResolvePath(wavFileName);
    if (!QFileInfo(path).isFile()) {
        qWarning().noquote() << "sound file not found:" << QDir::toNativeSeparators(path);
        return;
    }

    auto it = m_effects.find(path);
    // An effect that failed to load (a broken file since replaced, say) is made anew.
    if (it != m_effects.end() && it->second->status() == QSoundEffect::Error) {
        m_effects.erase(it);
        it = m_effects.end();
    }
    if (it == m_effects.end()) {
        auto effect = std::make_unique<QSoundEffect>();
        QSoundEffect *raw = effect.get();
        QObject::connect(raw, &QSoundEffect::statusChanged, raw, [raw, path] {
            if (raw->status() == QSoundEffect::Error)
                qWarning().noquote() << "sound file could not be played:" << QDir::toNativeSeparators(path);
        });
        effect->setSource(QUrl::fromLocalFile(path));
        it = m_effects.emplace(path, std::move(effect)).first;
    }

    for (auto &[otherPath, other] : m_effects) {
        if (otherPath != path && other->isPlaying())
            other->stop();
    }
    // Plays as soon as the file is loaded; returns at once either way.
    it->second->play();
}

#include "dictation/Sounds.h"

#include "core/Resources.h"
#include "core/SettingsStore.h"
#include "platform/SoundPlayer.h"

namespace Sounds
{

QString file(Sound sound)
{
    switch (sound) {
    case Sound::tink:
        return Resources::path(QStringLiteral("sounds/Tink.wav"));
    case Sound::pop:
        return Resources::path(QStringLiteral("sounds/Pop.wav"));
    case Sound::basso:
        return Resources::path(QStringLiteral("sounds/Basso.wav"));
    }
    return {};
}

void play(Sound sound)
{
    if (SettingsStore::shared().boolForKey(SettingsKey::sounds))
        SoundPlayer::play(file(sound));
}

} // namespace Sounds

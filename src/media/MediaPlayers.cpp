// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/MediaPlayers.h"

namespace {
const QString kPrefix = QStringLiteral("org.mpris.MediaPlayer2.");

PlayerCall call(PlayerCall::Method method) {
    return PlayerCall{method, 0};
}
PlayerCall seek(qint64 seconds) {
    return PlayerCall{PlayerCall::Method::Seek, seconds * 1000000};
}

bool ownedBy(const QString& busName, const QString& id) {
    if (!busName.startsWith(kPrefix)) return false;
    const QStringView rest = QStringView(busName).mid(kPrefix.size());
    return rest == id || (rest.startsWith(id) && rest.mid(id.size()).startsWith(u".instance"));
}
}  // namespace

QString PlayerCall::name() const {
    switch (method) {
        case Method::PlayPause:
            return QStringLiteral("PlayPause");
        case Method::Next:
            return QStringLiteral("Next");
        case Method::Previous:
            return QStringLiteral("Previous");
        case Method::Seek:
            return QStringLiteral("Seek");
        case Method::None:
            break;
    }
    return {};
}

PlayerCall MediaPlayer::callFor(MediaCommand command) const {
    switch (command) {
        case MediaCommand::PlayPause:
            return playPause;
        case MediaCommand::Next:
            return next;
        case MediaCommand::Previous:
            return previous;
    }
    return {};
}

const QList<MediaPlayer>& MediaPlayers::table() {
    using M = PlayerCall::Method;
    static const QList<MediaPlayer> players = {
        {QStringLiteral("vlc"), call(M::PlayPause), seek(10), seek(-10)},
        {QStringLiteral("mpv"), call(M::PlayPause), {}, {}},
        {QStringLiteral("totem"), call(M::PlayPause), seek(15), seek(-15)},
        {QStringLiteral("io.github.celluloid_player.Celluloid"), call(M::PlayPause), {}, {}},
        {QStringLiteral("spotify"), call(M::PlayPause), call(M::Next), call(M::Previous)},
        {QStringLiteral("rhythmbox"), call(M::PlayPause), call(M::Next), call(M::Previous)},
    };
    return players;
}

std::optional<MediaPlayers::Choice> MediaPlayers::choose(const QStringList& busNames) {
    for (const MediaPlayer& player : table())
        for (const QString& name : busNames)
            if (ownedBy(name, player.id)) return Choice{player, name};
    return std::nullopt;
}

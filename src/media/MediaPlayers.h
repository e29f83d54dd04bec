// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A call to make on a player: a method of org.mpris.MediaPlayer2.Player, or none.
struct PlayerCall {
    enum class Method { None, PlayPause, Next, Previous, Seek };
    Method method = Method::None;
    qint64 seekMicroseconds = 0;

    bool exists() const { return method != Method::None; }
    QString name() const;
};

enum class MediaCommand { PlayPause, Next, Previous };

// The players we know, in order of preference, by their MPRIS id.
struct MediaPlayer {
    QString id;
    PlayerCall playPause, next, previous;

    PlayerCall callFor(MediaCommand command) const;
};

namespace MediaPlayers {

const QList<MediaPlayer>& table();

struct Choice {
    MediaPlayer player;
    QString busName;  // the name it owns on the bus, instance suffix included
};

// The first player of the table that owns a name on the bus: "org.mpris.MediaPlayer2.<id>"
// exactly, or followed by ".instance...". Ids are compared exactly, letter case included.
std::optional<Choice> choose(const QStringList& busNames);

}  // namespace MediaPlayers

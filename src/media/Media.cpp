// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Media.h"

Media::Media(std::unique_ptr<PlayerBus> bus, PressKey pressKey)
    : bus_(std::move(bus)), pressKey_(std::move(pressKey)) {}

QString Media::fallbackKey(MediaCommand command) {
    switch (command) {
        case MediaCommand::PlayPause:
            return QStringLiteral("space");
        case MediaCommand::Next:
            return QStringLiteral("right");
        case MediaCommand::Previous:
            return QStringLiteral("left");
    }
    return {};
}

void Media::run(MediaCommand command) {
    const std::optional<MediaPlayers::Choice> choice = MediaPlayers::choose(bus_->names());
    const PlayerCall call = choice ? choice->player.callFor(command) : PlayerCall{};
    // The chosen player is not passed over for a later one that has the call.
    if (call.exists())
        bus_->call(choice->busName, call);
    else
        pressKey_(fallbackKey(command));
}

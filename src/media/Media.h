// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/MediaControl.h"
#include "media/MediaPlayers.h"
#include "media/PlayerBus.h"

#include <functional>
#include <memory>

// Play/pause, next and previous for the first known player that is running, chosen afresh
// for every command; a plain key press when no player runs or the player has no call for
// the command.
class Media : public MediaControl {
public:
    using PressKey = std::function<void(const QString& name)>;

    Media(std::unique_ptr<PlayerBus> bus, PressKey pressKey);

    void playPause() override { run(MediaCommand::PlayPause); }
    void next() override { run(MediaCommand::Next); }
    void previous() override { run(MediaCommand::Previous); }

    static QString fallbackKey(MediaCommand command);

private:
    void run(MediaCommand command);

    std::unique_ptr<PlayerBus> bus_;
    PressKey pressKey_;
};

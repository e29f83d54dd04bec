// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Play/pause, next and previous for whichever media player can take them. Called on the
// input queue; implementations return at once.
class MediaControl {
public:
    virtual ~MediaControl() = default;
    virtual void playPause() = 0;
    virtual void next() = 0;
    virtual void previous() = 0;
};

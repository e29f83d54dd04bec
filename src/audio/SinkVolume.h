// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pulse/volume.h>

// The sink's overall level as the phone sees it: the average of its channels over the
// normal volume, 0.0 to 1.0 (above 100 % reads as 1.0).
float sinkLevel(const pa_cvolume& volume);

// Every channel scaled by the same factor so that the average becomes level: the balance
// between channels is kept. Channels that are all silent are set to level alike.
pa_cvolume sinkVolumeAt(const pa_cvolume& volume, float level);

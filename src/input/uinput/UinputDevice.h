// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/UniqueFd.h"

#include <QString>

// The kernel's virtual input device: one mouse-and-keyboard with relative motion, the left,
// right and middle buttons, every key code up to 255 (whatever a layout may need) and both
// wheels in classic and high resolution.
class UinputDevice {
public:
    static constexpr const char* kPath = "/dev/uinput";
    static constexpr const char* kName = "Olvane virtual input";

    // Creates the device and returns the descriptor to write its events to, or none with the
    // reason in error. Closing the descriptor destroys the device.
    static UniqueFd create(QString* error);
    // Whether kPath may be opened for writing now.
    static bool writable();
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <optional>

#include <bluetooth/bluetooth.h>
#include <bluetooth/l2cap.h>

// The kernel's L2CAP socket addresses, whose fields are little-endian on the wire and in the
// structure whatever the host's byte order.
class L2CAPAddress {
public:
    // Any local adapter, LE public address type, PSM 0 so that the kernel assigns a dynamic
    // LE PSM (0x80 to 0xFF) at bind time.
    static sockaddr_l2 leListening();
    // The PSM of an address the kernel filled in; none when it is no L2CAP address.
    static std::optional<quint16> psm(const sockaddr_l2& address, socklen_t length);
};

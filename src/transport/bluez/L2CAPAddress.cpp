// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/L2CAPAddress.h"

#include <cstddef>
#include <cstring>

sockaddr_l2 L2CAPAddress::leListening() {
    sockaddr_l2 address;
    std::memset(&address, 0, sizeof address);
    address.l2_family = AF_BLUETOOTH;
    address.l2_psm = htobs(0);
    address.l2_cid = htobs(0);
    address.l2_bdaddr_type = BDADDR_LE_PUBLIC;
    // l2_bdaddr stays all zero: BDADDR_ANY.
    return address;
}

std::optional<quint16> L2CAPAddress::psm(const sockaddr_l2& address, socklen_t length) {
    if (length < socklen_t(offsetof(sockaddr_l2, l2_psm) + sizeof address.l2_psm))
        return std::nullopt;
    if (address.l2_family != AF_BLUETOOTH) return std::nullopt;
    return btohs(address.l2_psm);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/bluez/L2CAPAddress.h"

#include <gtest/gtest.h>

#include <cstring>

// The kernel fills in the PSM low byte first, whatever the host's byte order.
TEST(L2CAPAddress, thePsmIsReadLowByteFirstFromABluetoothAddressOnly) {
    sockaddr_l2 bound{};
    bound.l2_family = AF_BLUETOOTH;
    std::memcpy(&bound.l2_psm, "\x01\x10", 2);
    EXPECT_EQ(L2CAPAddress::psm(bound, sizeof bound), 0x1001);
    EXPECT_FALSE(L2CAPAddress::psm(bound, sizeof(sa_family_t)).has_value());
    bound.l2_family = AF_UNIX;
    EXPECT_FALSE(L2CAPAddress::psm(bound, sizeof bound).has_value());
}

#include "transport/bluez/L2CAPAddress.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(L2CAPAddress, listensOnAnyAdapterAsLePublicWithAPsmTheKernelPicks) {
    const sockaddr_l2 address = L2CAPAddress::leListening();
    EXPECT_EQ(address.l2_family, AF_BLUETOOTH);
    EXPECT_EQ(address.l2_psm, 0);
    EXPECT_EQ(address.l2_cid, 0);
    EXPECT_EQ(address.l2_bdaddr_type, BDADDR_LE_PUBLIC);
    const bdaddr_t any{};
    EXPECT_EQ(std::memcmp(&address.l2_bdaddr, &any, sizeof any), 0);
}

TEST(L2CAPAddress, thePsmIsReadLowByteFirstFromWhatTheKernelFilledIn) {
    sockaddr_l2 bound{};
    bound.l2_family = AF_BLUETOOTH;
    const unsigned char psm[2] = {0x81, 0x00};
    std::memcpy(&bound.l2_psm, psm, 2);
    EXPECT_EQ(L2CAPAddress::psm(bound, sizeof bound), 0x0081);
    const unsigned char high[2] = {0x01, 0x10};
    std::memcpy(&bound.l2_psm, high, 2);
    EXPECT_EQ(L2CAPAddress::psm(bound, sizeof bound), 0x1001);

    EXPECT_FALSE(L2CAPAddress::psm(bound, sizeof(sa_family_t)).has_value());
    bound.l2_family = AF_UNIX;
    EXPECT_FALSE(L2CAPAddress::psm(bound, sizeof bound).has_value());
}

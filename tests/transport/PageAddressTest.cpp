// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/PageAddress.h"

#include <gtest/gtest.h>

// The address the pairing window shows: one a phone on the same network can reach.
TEST(PageAddress, isTheLocalNetworkAddressAPhoneCanReachElseTheHostName) {
    auto on = [](const char* interfaceName, const char* address, bool up = true) {
        return PageAddress::Candidate{QString::fromLatin1(interfaceName), up,
                                      QHostAddress(QString::fromLatin1(address))};
    };
    const auto lo = on("lo", "127.0.0.1"), docker = on("docker0", "172.17.0.1");
    const QList<std::pair<QList<PageAddress::Candidate>, const char*>> cases{
        {{lo, docker, on("tailscale0", "100.101.102.103"), on("wlp2s0", "fe80::1"),
          on("enp3s0", "192.168.1.77", false), on("wlp2s0", "192.168.1.23"),
          on("virbr0", "192.168.122.1")},
         "http://192.168.1.23:8788/"},
        {{lo}, "http://bureau.local:8788/"},
    };
    for (const auto& [candidates, url] : cases)
        EXPECT_EQ(PageAddress::choose(candidates, "bureau", 8788).toString(), url);
}

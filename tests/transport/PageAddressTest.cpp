#include "transport/PageAddress.h"

#include <gtest/gtest.h>

namespace {
PageAddress::Candidate on(const char* interfaceName, const char* address, bool usable = true) {
    return {QString::fromLatin1(interfaceName), usable, QHostAddress(QString::fromLatin1(address))};
}
}  // namespace

TEST(PageAddress, isTheLocalNetworkAddressAPhoneCanReachElseTheHostName) {
    const QList<PageAddress::Candidate> desktop{
        on("lo", "127.0.0.1"),
        on("docker0", "172.17.0.1"),
        on("tailscale0", "100.101.102.103"),
        on("wlp2s0", "fe80::1"),
        on("enp3s0", "192.168.1.77", false),
        on("wlp2s0", "192.168.1.23"),
        on("virbr0", "192.168.122.1"),
    };
    EXPECT_EQ(PageAddress::choose(desktop, "bureau", 8788).toString(), "http://192.168.1.23:8788/");

    // Only a container bridge left: better than nothing.
    EXPECT_EQ(PageAddress::choose({on("lo", "127.0.0.1"), on("docker0", "172.17.0.1")}, "b", 1)
                  .toString(),
              "http://172.17.0.1:1/");
    EXPECT_EQ(PageAddress::choose({on("lo", "127.0.0.1")}, "bureau", 8788).toString(),
              "http://bureau.local:8788/");
    EXPECT_EQ(PageAddress::choose({}, "bureau.example.org", 8788).toString(),
              "http://bureau.example.org:8788/");
}

#include "app/InputBackendFactory.h"
#include "base/Env.h"

#include <gtest/gtest.h>

TEST(InputBackendFactory, aNamedBackendIsTakenAutoTakesX11InAnX11SessionAndUnknownIsNone) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "x11"},          {"AUTO", "x11"},           {"none", "none"},
        {"X11", "x11"},       {"portal", "portal"},      {"wlroots", "wlroots"},
        {"uinput", "uinput"}, {"carrier-pigeon", "none"}};
    for (auto [wanted, backend] : cases) {
        QProcessEnvironment environment;
        environment.insert("DISPLAY", ":0");
        if (*wanted) environment.insert("OLVANE_INPUT_BACKEND", wanted);
        EXPECT_EQ(createInputBackend(Env::from(environment))->name(), backend) << wanted;
    }
}

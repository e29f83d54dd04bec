#include "app/InputBackendFactory.h"
#include "base/Env.h"

#include <gtest/gtest.h>

namespace {
QString chosen(std::initializer_list<std::pair<const char*, const char*>> variables) {
    QProcessEnvironment environment;
    for (auto [name, value] : variables) environment.insert(name, value);
    return createInputBackend(Env::from(environment))->name();
}
}  // namespace

TEST(InputBackendChoice, namedBackendsAreTakenAndAutoTakesX11InAnX11Session) {
    EXPECT_EQ(chosen({{"DISPLAY", ":0"}}), "x11");
    EXPECT_EQ(chosen({{"DISPLAY", ":0"}, {"OLVANE_INPUT_BACKEND", "AUTO"}}), "x11");
    EXPECT_EQ(chosen({{"DISPLAY", ":0"}, {"OLVANE_INPUT_BACKEND", "none"}}), "none");
    EXPECT_EQ(chosen({{"WAYLAND_DISPLAY", "w"}, {"OLVANE_INPUT_BACKEND", "x11"}}), "x11");
    EXPECT_EQ(chosen({{"DISPLAY", ":0"}, {"OLVANE_INPUT_BACKEND", "portal"}}), "portal");
    EXPECT_EQ(chosen({{"DISPLAY", ":0"}, {"OLVANE_INPUT_BACKEND", "wlroots"}}), "wlroots");
    EXPECT_EQ(chosen({{"DISPLAY", ":0"}, {"OLVANE_INPUT_BACKEND", "uinput"}}), "uinput");
    EXPECT_EQ(chosen({{"DISPLAY", ":0"}, {"OLVANE_INPUT_BACKEND", "carrier-pigeon"}}), "none");
}

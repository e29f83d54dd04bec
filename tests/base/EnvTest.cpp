#include "base/Env.h"

#include <gtest/gtest.h>

TEST(Env, flagsCountWhenPresentEvenEmptyAndValuesAreKeptVerbatim) {
    QProcessEnvironment e;
    EXPECT_FALSE(Env::from(e).dryRun);
    EXPECT_FALSE(Env::from(e).fixedCode.has_value());
    EXPECT_EQ(Env::from(e).inputBackend, "auto");
    e.insert("OLVANE_DRY_RUN", "0");
    e.insert("OLVANE_LOG_INPUT", "");
    e.insert("OLVANE_FIXED_CODE", "");
    e.insert("OLVANE_NAME", " Salon ");
    e.insert("OLVANE_INPUT_BACKEND", "X11");
    const Env env = Env::from(e);
    EXPECT_TRUE(env.dryRun);
    EXPECT_TRUE(env.logInput);
    EXPECT_EQ(env.fixedCode, QString(""));
    EXPECT_EQ(env.name, QString(" Salon "));
    EXPECT_EQ(env.inputBackend, "x11");
}

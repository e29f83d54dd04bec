// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/InputBackendChoice.h"

#include <gtest/gtest.h>

// Candidates that answer whether they work only when the test says so, as the desktop portal
// answers over the bus in its own time.
TEST(InputBackendChoice, theFirstBackendThatWorksIsChosenAndNoneAfterItIsProbed) {
    using Answer = std::function<void(InputBackendAvailability)>;
    for (const QString works : {"a", "b", "c", ""}) {
        QList<Answer> waiting;
        QStringList probed;
        QList<InputBackendCandidate> candidates;
        for (const QString name : {"a", "b", "c"})
            candidates.append({name, [&, name](Answer answer) {
                                   probed << name;
                                   waiting << [=](InputBackendAvailability) {
                                       answer(name == works ? std::nullopt
                                                            : std::optional("no " + name));
                                   };
                               }});
        std::optional<InputBackendChoice> choice;
        chooseInputBackend(candidates, [&](InputBackendChoice c) { choice = c; });
        // Each is asked only once the one before has answered.
        for (qsizetype i = 0; i < waiting.size(); ++i) {
            EXPECT_FALSE(choice) << works.toStdString();
            EXPECT_EQ(probed.size(), i + 1);
            waiting[i]({});
        }
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->backend, works);
        const QStringList passed{"a (no a)", "b (no b)", "c (no c)"};
        EXPECT_EQ(choice->passedOver, passed.mid(0, works.isEmpty() ? 3 : probed.size() - 1));
    }
}

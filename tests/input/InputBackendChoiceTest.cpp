// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/InputBackendChoice.h"

#include <gtest/gtest.h>

// Candidates that answer only when the test says so, as the desktop portal answers over the bus
// in its own time: each is asked only once the one before has said no.
TEST(InputBackendChoice, theFirstBackendThatWorksIsChosenAndNoneAfterItIsProbed) {
    for (const QString works : {"a", "b", "c", ""}) {
        QList<std::function<void()>> answers;
        QList<InputBackendCandidate> candidates;
        for (const QString name : {"a", "b", "c"})
            candidates.append({name, [&, name](auto answer) {
                                   answers << [=] {
                                       answer(name == works ? std::nullopt
                                                            : std::optional("no " + name));
                                   };
                               }});
        std::optional<InputBackendChoice> choice;
        chooseInputBackend(candidates, [&](InputBackendChoice c) { choice = c; });
        for (qsizetype i = 0; i < answers.size(); ++i) {
            EXPECT_TRUE(!choice && answers.size() == i + 1) << works.toStdString();
            answers[i]();
        }
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->backend, works);
        const QStringList passed{"a (no a)", "b (no b)", "c (no c)"};
        EXPECT_EQ(choice->passedOver, passed.mid(0, answers.size() - !works.isEmpty()));
    }
}

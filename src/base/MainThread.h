// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// The main thread is the application's GUI thread, where the event loop runs.
bool onMainThread();
// Queues the task on the main thread; dropped when no application object exists.
void postToMain(std::function<void()> task);
// Runs the task at once on the main thread, else queues it there.
void runOnMain(std::function<void()> task);

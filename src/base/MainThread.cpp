// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/MainThread.h"

#include <QCoreApplication>
#include <QThread>

bool onMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void postToMain(std::function<void()> task) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

void runOnMain(std::function<void()> task) {
    if (onMainThread())
        task();
    else
        postToMain(std::move(task));
}

#include "app/AppDelegate.h"
#include "app/SignalWatcher.h"
#include "input/Input.h"
#include "state/AppState.h"

#include <QCoreApplication>

#include <sys/resource.h>
#include <csignal>

namespace {
// Each connection costs a descriptor; take what the system allows rather than the default.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    raiseDescriptorLimit();
    SignalWatcher signalWatcher({SIGTERM, SIGINT}, [&app](int) { app.quit(); });
    AppDelegate delegate(AppState::shared(), Input::shared());
    delegate.applicationDidFinishLaunching();
    const int status = app.exec();
    delegate.applicationWillTerminate();
    return status;
}

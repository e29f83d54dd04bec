#pragma once

#include "app/Shell.h"
#include "input/Input.h"
#include "state/AppState.h"
#include "support/ManualInputClock.h"
#include "support/RecordingBackend.h"
#include "ui/TrayIcon.h"

#include <QMenu>
#include <QTemporaryDir>

#include <memory>

// The shell over a real state in a temporary folder, an input engine on the given backend,
// and neither Avahi nor Bluetooth.
struct ShellHarness {
    QTemporaryDir dir;
    std::unique_ptr<AppState> state;
    std::unique_ptr<Input> input;
    std::unique_ptr<Router> router;
    std::unique_ptr<Shell> shell;

    struct Setup {
        bool dryRun;
        std::optional<QString> fixedCode;
        std::unique_ptr<InputBackend> backend;
        Setup() : dryRun(false), fixedCode(QString("0042")), backend(new RecordingBackend) {}
    };

    ShellHarness() : ShellHarness(Setup()) {}
    explicit ShellHarness(Setup setup) {
        AppStateConfig c;
        c.tokenFile = dir.filePath("tokens.json");
        c.fixedCode = setup.fixedCode;
        c.wsPort = 0;
        c.name = "Bureau";
        state = std::make_unique<AppState>(c);
        input =
            std::make_unique<Input>(std::move(setup.backend), std::make_unique<ManualInputClock>());
        Router::Options routing;
        routing.dryRun = setup.dryRun;
        router = std::make_unique<Router>(*state, *input, routing);
        Shell::Options options;
        options.advertise = false;
        shell = std::make_unique<Shell>(*state, *input, *router, options);
    }

    ~ShellHarness() { shell.reset(); }

    QMenu* menu() const { return shell->trayIcon()->menu(); }

    QStringList menuTitles() const {
        QStringList titles;
        for (QAction* a : menu()->actions()) titles << (a->isSeparator() ? "---" : a->text());
        return titles;
    }

    QAction* menuAction(const QString& title) const {
        for (QAction* a : menu()->actions())
            if (a->text() == title) return a;
        return nullptr;
    }
};

#pragma once

#include "app/AppDelegate.h"
#include "app/TrayIcon.h"
#include "input/Input.h"
#include "input/recording/RecordingBackend.h"
#include "state/AppState.h"
#include "support/ManualInputClock.h"

#include <QMenu>
#include <QTemporaryDir>

#include <memory>

// Records the shell's use of the Bluetooth seam.
struct BluetoothRecord {
    int starts = 0;
    int stops = 0;
};

class RecordingBluetooth : public BluetoothService {
public:
    explicit RecordingBluetooth(BluetoothRecord& record) : record_(record) {}
    void stop() override { ++record_.stops; }

private:
    BluetoothRecord& record_;
};

// The shell over a real state in a temporary folder, an input engine on the given backend,
// its own single-instance folder, and no Avahi.
struct ShellHarness {
    QTemporaryDir dir;
    std::unique_ptr<AppState> state;
    std::unique_ptr<Input> input;
    BluetoothRecord bluetooth;
    std::unique_ptr<AppDelegate> delegate;

    struct Setup {
        bool dryRun;
        std::optional<QString> fixedCode;
        std::unique_ptr<InputBackend> backend;
        QString instanceDir;
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
        AppDelegate::Services services;
        services.state = [this]() -> AppState& { return *state; };
        services.input = [this]() -> Input& { return *input; };
        services.bluetooth = [this](AppState&, Router&) {
            ++bluetooth.starts;
            return std::make_unique<RecordingBluetooth>(bluetooth);
        };
        AppDelegate::Options options;
        options.router.dryRun = setup.dryRun;
        options.instanceDir =
            setup.instanceDir.isEmpty() ? dir.filePath("runtime") : setup.instanceDir;
        options.advertise = false;
        delegate = std::make_unique<AppDelegate>(std::move(services), options);
    }

    ~ShellHarness() { delegate.reset(); }

    QMenu* menu() const { return delegate->statusItem()->menu(); }

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

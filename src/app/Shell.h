// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/Router.h"
#include "ui/InputPermissionWindow.h"
#include "ui/MenuModel.h"

#include <QIcon>
#include <QMenuBar>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class AppState;
class AvahiPublisher;
class BLEServer;
class Input;
class PairingWindow;
class TrayIcon;
class WSServer;

// The agent as the user meets it: brings the servers, the tray icon, the menus and the
// pairing window up in order, carries out the menu commands, and takes every way of quitting
// through one termination path. Main thread only.
class Shell : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kServiceType = "_olvane._tcp";
    // How long the start line waits for the input backend to say whether it can post.
    static constexpr int kStartedLineWaitMs = 2000;

    // Starts Bluetooth when the system offers it; nothing (after its own log line) otherwise.
    using BluetoothStarter = std::function<std::unique_ptr<BLEServer>(AppState&, Router&)>;

    struct Options {
        // Publish the service through Avahi.
        bool advertise = true;
        // Empty to run without Bluetooth.
        BluetoothStarter bluetooth;
        // No pairing window at the start once a phone is paired (a start at login).
        bool hidden = false;
    };

    Shell(AppState& state, Input& input, Router& router, Options options);
    ~Shell() override;

    // Launches, runs the event loop until a quit request or SIGTERM/SIGINT, terminates, and
    // returns the process's exit status.
    int run();

    void launch();
    void terminate();

    void regenCode();
    void showPairingWindow();
    // Asks the input backend again for what posting needs, and explains what the user must
    // do when asking is not enough.
    void requestInputPermission();
    // Asks the event loop to end; termination follows in run().
    void quit();

    TrayIcon* trayIcon() const { return trayIcon_.get(); }
    WSServer* wsServer() const { return wsServer_.get(); }
    PairingWindow* pairingWindow() const { return pairingWindow_.get(); }
    QMenuBar* mainMenu() const { return mainMenu_; }
    InputPermissionWindow& inputPermissionWindow() { return inputPermissionWindow_; }

private:
    void buildMainMenu();
    void setUpTrayIcon();
    void logStarted();
    void refresh();
    void rebuildMenu();
    void startServers();
    // Once the port is listened on: the page's address, the advertisement.
    void serveNetwork();
    void showPageAddress();
    void perform(MenuCommand command);
    void showAbout();

    AppState& state_;
    Input& input_;
    Router& router_;
    const Options options_;
    QIcon icon_;

    std::unique_ptr<TrayIcon> trayIcon_;
    std::unique_ptr<WSServer> wsServer_;
    std::unique_ptr<BLEServer> bleServer_;
    std::unique_ptr<PairingWindow> pairingWindow_;
    std::unique_ptr<AvahiPublisher> advertiser_;
    // Owned by the pairing window once it exists.
    QPointer<QMenuBar> mainMenu_;
    QPointer<QMessageBox> aboutBox_;
    InputPermissionWindow inputPermissionWindow_;
    bool launched_ = false;
    bool startedLogged_ = false;
    bool terminated_ = false;
};

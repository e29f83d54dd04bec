#pragma once

#include "app/AccessibilityHelp.h"
#include "app/BluetoothService.h"
#include "app/MenuModel.h"
#include "app/SingleInstance.h"
#include "router/Router.h"

#include <QIcon>
#include <QMenuBar>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class AppState;
class AvahiPublisher;
class Input;
class PairingWindow;
class TrayIcon;
class WSServer;
struct Env;

// Brings the agent up in order, holds what it started for the life of the process, carries
// out the menu commands, and takes every way of quitting through one termination path.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kServiceType = "_olvane._tcp";

    struct Options {
        Router::Options router;
        // Where the single-instance lock and socket live; empty for the user's runtime folder.
        QString instanceDir;
        // Publish the service through Avahi.
        bool advertise = true;
        static Options fromEnv(const Env& env);
    };

    // What the shell runs on. The state and input are reached only after the single-instance
    // check, so a second copy never creates them.
    struct Services {
        std::function<AppState&()> state;
        std::function<Input&()> input;
        // Empty to run without Bluetooth.
        BluetoothStarter bluetooth;
        static Services shared();
    };

    AppDelegate(Services services, Options options);
    ~AppDelegate() override;

    // Launches, runs the event loop until a quit request or SIGTERM/SIGINT, terminates, and
    // returns the process's exit status.
    int run();

    // False when another copy runs: it was asked to show itself and this one quits.
    bool applicationDidFinishLaunching();
    // A later launch of the program while this copy runs.
    bool applicationShouldHandleReopen();
    void applicationWillTerminate();

    void regenCode();
    void showPairingWindow();
    void openAccessibility();
    // Asks the event loop to end; termination follows in run().
    void quit();

    TrayIcon* statusItem() const { return statusItem_.get(); }
    WSServer* wsServer() const { return wsServer_.get(); }
    PairingWindow* pairingWindow() const { return pairingWindow_.get(); }
    AvahiPublisher* advertiser() const { return advertiser_.get(); }
    QMenuBar* mainMenu() const { return mainMenu_; }
    AccessibilityHelp& accessibilityHelp() { return accessibilityHelp_; }

private:
    void buildMainMenu();
    void setUpStatusItem();
    void rebuildMenu();
    void startServers();
    void perform(MenuCommand command);
    void showAbout();

    Services services_;
    const Options options_;
    SingleInstance instance_;
    QIcon icon_;
    AppState* state_ = nullptr;
    Input* input_ = nullptr;
    std::unique_ptr<Router> router_;

    std::unique_ptr<TrayIcon> statusItem_;
    std::unique_ptr<WSServer> wsServer_;
    std::unique_ptr<BluetoothService> bleServer_;
    std::unique_ptr<PairingWindow> pairingWindow_;
    std::unique_ptr<AvahiPublisher> advertiser_;
    // Owned by the pairing window once it exists.
    QPointer<QMenuBar> mainMenu_;
    QPointer<QMessageBox> aboutBox_;
    AccessibilityHelp accessibilityHelp_;
    bool terminated_ = false;
};

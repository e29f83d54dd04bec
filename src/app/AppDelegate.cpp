#include "app/AppDelegate.h"

#include "app/AppIcon.h"
#include "app/BluezBluetooth.h"
#include "app/MenuBuilder.h"
#include "app/SignalWatcher.h"
#include "app/TrayIcon.h"
#include "base/Env.h"
#include "base/Log.h"
#include "base/MainThread.h"
#include "input/Input.h"
#include "state/AppState.h"
#include "state/PairingWindow.h"
#include "transport/PageAddress.h"
#include "transport/WSServer.h"
#include "transport/avahi/AvahiPublisher.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

#include <csignal>

AppDelegate::Options AppDelegate::Options::fromEnv(const Env& env) {
    Options options;
    options.router = Router::Options::fromEnv(env);
    return options;
}

AppDelegate::Services AppDelegate::Services::shared() {
    Services services;
    services.state = []() -> AppState& { return AppState::shared(); };
    services.input = []() -> Input& { return Input::shared(); };
    services.bluetooth = &BluezBluetooth::startIfAvailable;
    return services;
}

AppDelegate::AppDelegate(Services services, Options options)
    : services_(std::move(services)),
      options_(std::move(options)),
      instance_(options_.instanceDir.isEmpty() ? SingleInstance::defaultDir()
                                               : options_.instanceDir) {}

AppDelegate::~AppDelegate() {
    // The state outlives the shell: no change may reach a shell that is gone.
    if (state_) state_->setOnChange(nullptr);
    if (input_) input_->watchTrust(nullptr);
    // The windows go before the menu bar they may own, and everything before the state.
    pairingWindow_.reset();
    delete mainMenu_.data();
    delete aboutBox_.data();
}

int AppDelegate::run() {
    SignalWatcher signalWatcher({SIGTERM, SIGINT}, [this](int signal) {
        logLine(QStringLiteral("%1 received; quitting")
                    .arg(signal == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
        quit();
    });
    if (applicationDidFinishLaunching()) QApplication::exec();
    applicationWillTerminate();
    return 0;
}

bool AppDelegate::applicationDidFinishLaunching() {
    if (!instance_.claim([this] { applicationShouldHandleReopen(); })) {
        logLine(QStringLiteral("Instance déjà active, on la met en avant et on quitte"));
        quit();
        return false;
    }
    icon_ = AppIcon::icon();
    QApplication::setWindowIcon(icon_);
    buildMainMenu();
    setUpStatusItem();

    state_ = &services_.state();
    state_->setOnChange([self = QPointer<AppDelegate>(this)] {
        if (self) self->rebuildMenu();
        if (self && self->pairingWindow_) self->pairingWindow_->refresh();
    });
    input_ = &services_.input();
    // Posting can be allowed or taken away at any time (a desktop session ends): the
    // permission item follows.
    input_->watchTrust([self = QPointer<AppDelegate>(this)] {
        postToMain([self] {
            if (self) self->rebuildMenu();
        });
    });
    router_ = std::make_unique<Router>(*state_, *input_, options_.router);

    rebuildMenu();
    startServers();
    if (!input_->trusted()) input_->requestAccess();
    if (!router_->dryRun()) {
        pairingWindow_ = std::make_unique<PairingWindow>(*state_, icon_);
        // Where the desktop shows no global menu bar, the main menu stays reachable here.
        pairingWindow_->setMenuBar(mainMenu_);
        if (const quint16 port = wsServer_->port())
            pairingWindow_->setPageAddressSource([port] { return PageAddress::current(port); });
        pairingWindow_->show();
    }
    logLine(QStringLiteral("Olvane started. code: %1  ax: %2")
                .arg(state_->pairingCode(),
                     input_->trusted() ? QStringLiteral("true") : QStringLiteral("false")));
    return true;
}

bool AppDelegate::applicationShouldHandleReopen() {
    if (pairingWindow_) pairingWindow_->show();
    return true;
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    if (bleServer_) bleServer_->stop();
    if (state_) logLine(QStringLiteral("Olvane stopped."));
}

void AppDelegate::buildMainMenu() {
    mainMenu_ = new QMenuBar;
    MenuBuilder::fill(*mainMenu_, MenuModel::mainMenu(),
                      [this](MenuCommand command) { perform(command); });
}

void AppDelegate::setUpStatusItem() {
    statusItem_ =
        std::make_unique<TrayIcon>(icon_, [this](MenuCommand command) { perform(command); });
}

void AppDelegate::rebuildMenu() {
    statusItem_->setMenu(
        MenuModel::statusMenu(state_->connectedCount(), state_->pairingCode(), input_->trusted()));
}

void AppDelegate::startServers() {
    wsServer_ = std::make_unique<WSServer>(*state_, *router_);
    if (const std::optional<QString> error = wsServer_->start()) {
        logLine(QStringLiteral("Server start failed: %1").arg(*error));
    } else {
        logLine(QStringLiteral("Touchpad page at %1")
                    .arg(PageAddress::current(wsServer_->port()).toString()));
        if (options_.advertise) {
            advertiser_ = std::make_unique<AvahiPublisher>(
                state_->displayName(), QString::fromLatin1(kServiceType), wsServer_->port());
            advertiser_->start();
        }
    }
    if (services_.bluetooth) bleServer_ = services_.bluetooth(*state_, *router_);
}

void AppDelegate::regenCode() {
    state_->regenerateCode();
}

void AppDelegate::showPairingWindow() {
    if (pairingWindow_) pairingWindow_->show();
}

void AppDelegate::openAccessibility() {
    // Explained only if asking again did not grant access at once.
    input_->requestAccess([self = QPointer<AppDelegate>(this)] {
        if (!self || self->input_->trusted()) return;
        if (const std::optional<QString> text =
                AccessibilityHelp::explanation(self->input_->backendName()))
            self->accessibilityHelp_.show(*text);
    });
}

void AppDelegate::quit() {
    // Queued, so that a request made before the event loop runs still ends it.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void AppDelegate::perform(MenuCommand command) {
    switch (command) {
        case MenuCommand::None:
            break;
        case MenuCommand::RegenCode:
            regenCode();
            break;
        case MenuCommand::ShowPairingWindow:
            showPairingWindow();
            break;
        case MenuCommand::OpenAccessibility:
            openAccessibility();
            break;
        case MenuCommand::Quit:
            quit();
            break;
        case MenuCommand::About:
            showAbout();
            break;
        case MenuCommand::Hide:
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->isVisible()) window->hide();
            break;
        case MenuCommand::CloseWindow:
            if (QWidget* window = QApplication::activeWindow()) window->close();
            break;
        case MenuCommand::Minimize:
            if (QWidget* window = QApplication::activeWindow()) window->showMinimized();
            break;
    }
}

void AppDelegate::showAbout() {
    if (!aboutBox_) {
        aboutBox_ = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("À propos d'Olvane"),
                                    QStringLiteral("Olvane"), QMessageBox::Ok);
        aboutBox_->setIconPixmap(icon_.pixmap(QSize(64, 64)));
        aboutBox_->setInformativeText(
            QStringLiteral("Version %1").arg(QString::fromLatin1(AppState::kVersion)));
        aboutBox_->setWindowModality(Qt::NonModal);
    }
    aboutBox_->show();
    aboutBox_->raise();
    aboutBox_->activateWindow();
}

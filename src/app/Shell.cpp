// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Shell.h"

#include "app/SignalWatcher.h"
#include "base/Env.h"
#include "base/Log.h"
#include "base/MainThread.h"
#include "input/Input.h"
#include "state/AppState.h"
#include "transport/PageAddress.h"
#include "transport/WSServer.h"
#include "transport/avahi/AvahiPublisher.h"
#include "transport/ble/BLEServer.h"
#include "ui/AppIcon.h"
#include "ui/MenuBuilder.h"
#include "ui/PairingWindow.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#include <csignal>

Shell::Shell(AppState& state, Input& input, Router& router, Options options)
    : state_(state), input_(input), router_(router), options_(std::move(options)) {
    connect(&state_, &AppState::changed, this, &Shell::refresh, Qt::QueuedConnection);
    // Posting can be allowed or taken away at any time (a desktop session ends): the
    // permission item follows.
    connect(&input_, &Input::trustChanged, this, &Shell::rebuildMenu, Qt::QueuedConnection);
    connect(&input_, &Input::started, this, &Shell::logStarted, Qt::QueuedConnection);
}

Shell::~Shell() {
    // The windows go before the menu bar they may own.
    pairingWindow_.reset();
    delete mainMenu_.data();
    delete aboutBox_.data();
}

int Shell::run() {
    SignalWatcher signalWatcher({SIGTERM, SIGINT}, [this](int signal) {
        logLine(QStringLiteral("%1 received; quitting")
                    .arg(signal == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM")));
        quit();
    });
    launch();
    QApplication::exec();
    terminate();
    return 0;
}

void Shell::launch() {
    icon_ = AppIcon::icon();
    QApplication::setWindowIcon(icon_);
    buildMainMenu();
    setUpTrayIcon();
    launched_ = true;
    rebuildMenu();
    startServers();
    if (!router_.dryRun()) {
        pairingWindow_ = std::make_unique<PairingWindow>(state_, icon_);
        // Where the desktop shows no global menu bar, the main menu stays reachable here.
        pairingWindow_->setMenuBar(mainMenu_);
        if (wsServer_->port()) showPageAddress();
        // With no phone paired yet, the user needs the code.
        if (!options_.hidden || state_.tokenStore().tokens().isEmpty()) pairingWindow_->show();
    }
    // Phones are served already; "ax" is told once the input backend knows, unless a dialog of
    // the desktop keeps it waiting for the user.
    if (!input_.starting()) logStarted();
    QTimer::singleShot(kStartedLineWaitMs, this, &Shell::logStarted);
}

void Shell::logStarted() {
    if (!launched_ || startedLogged_) return;
    startedLogged_ = true;
    logLine(QStringLiteral("Olvane started. code: %1  ax: %2")
                .arg(state_.pairingCode(),
                     input_.trusted() ? QStringLiteral("true") : QStringLiteral("false")));
}

void Shell::terminate() {
    if (terminated_) return;
    terminated_ = true;
    if (bleServer_) bleServer_->stop();
    flushLog();
    logLine(QStringLiteral("Olvane stopped."));
}

void Shell::buildMainMenu() {
    mainMenu_ = new QMenuBar;
    MenuBuilder::fill(*mainMenu_, MenuModel::mainMenu(),
                      [this](MenuCommand command) { perform(command); });
}

void Shell::setUpTrayIcon() {
    trayIcon_ =
        std::make_unique<TrayIcon>(icon_, [this](MenuCommand command) { perform(command); });
}

void Shell::refresh() {
    rebuildMenu();
    if (pairingWindow_) pairingWindow_->refresh();
}

void Shell::rebuildMenu() {
    if (!launched_) return;
    trayIcon_->setMenu(MenuModel::statusMenu(state_.connectedCount(), state_.pairingCode(),
                                             input_.trusted(), state_.portTrouble()));
}

void Shell::startServers() {
    wsServer_ = std::make_unique<WSServer>(state_, router_);
    // The port may be free only later: then the network part comes up then.
    const bool listening = wsServer_->start([self = QPointer<Shell>(this)] {
        if (!self) return;
        self->serveNetwork();
        if (self->pairingWindow_) self->showPageAddress();
    });
    if (listening) serveNetwork();
    if (options_.bluetooth) bleServer_ = options_.bluetooth(state_, router_);
}

void Shell::serveNetwork() {
    logLine(QStringLiteral("Touchpad page at %1")
                .arg(PageAddress::current(wsServer_->port()).toString()));
    if (options_.advertise) {
        advertiser_ = std::make_unique<AvahiPublisher>(
            state_.displayName(), QString::fromLatin1(kServiceType), wsServer_->port());
        advertiser_->start();
    }
}

void Shell::showPageAddress() {
    const quint16 port = wsServer_->port();
    pairingWindow_->setPageAddressSource([port] { return PageAddress::current(port); });
}

void Shell::regenCode() {
    state_.regenerateCode();
}

void Shell::showPairingWindow() {
    if (pairingWindow_) pairingWindow_->show();
}

void Shell::requestInputPermission() {
    // Explained only if asking again did not grant access at once.
    input_.requestAccess([self = QPointer<Shell>(this)] {
        if (!self || self->input_.trusted()) return;
        if (const std::optional<QString> text =
                InputPermissionWindow::explanation(self->input_.backendName()))
            self->inputPermissionWindow_.show(*text);
    });
}

void Shell::quit() {
    // Queued, so that a request made before the event loop runs still ends it.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void Shell::perform(MenuCommand command) {
    switch (command) {
        case MenuCommand::None:
            break;
        case MenuCommand::RegenCode:
            regenCode();
            break;
        case MenuCommand::ShowPairingWindow:
            showPairingWindow();
            break;
        case MenuCommand::RequestInputPermission:
            requestInputPermission();
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

void Shell::showAbout() {
    if (!aboutBox_) {
        aboutBox_ = new QMessageBox(QMessageBox::NoIcon, tr("About Olvane"),
                                    QStringLiteral("Olvane"), QMessageBox::Ok);
        aboutBox_->setIconPixmap(icon_.pixmap(QSize(64, 64)));
        aboutBox_->setInformativeText(tr("Version %1").arg(AppState::version()));
        aboutBox_->setWindowModality(Qt::NonModal);
    }
    aboutBox_->show();
    aboutBox_->raise();
    aboutBox_->activateWindow();
}

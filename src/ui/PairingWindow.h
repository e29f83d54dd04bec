// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/OneShotTimer.h"

#include <QColor>
#include <QCoreApplication>
#include <QIcon>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class AppState;
class QLabel;
class QMainWindow;
class QMenuBar;
class QPushButton;
class QStyle;

// The window that shows the pairing code in large digits with the connection state, and
// below it the address of the touchpad page with a QR code of it that also carries the code,
// so that scanning it pairs at once. It hides itself a moment after a phone connects while it
// is on screen. Main thread only.
class PairingWindow {
    Q_DECLARE_TR_FUNCTIONS(PairingWindow)

public:
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 290;
    static constexpr int kPagePanelHeight = 140;
    static constexpr std::chrono::milliseconds kAutoCloseDelay{1200};

    static const QColor kBackground;
    static const QColor kGreen;
    static const QColor kWaitingGrey;
    static const QColor kStatusGrey;
    static const QColor kCaptionGrey;

    PairingWindow(AppState& state, const QIcon& icon,
                  std::unique_ptr<OneShotTimer> autoCloseTimer = OneShotTimer::create());
    ~PairingWindow();

    // The page's address with the code in its fragment, which browsers never send to the
    // server: the page reads it from there and pairs.
    static QUrl pairingLink(const QUrl& page, const QString& code);

    // Brings the labels and the QR code up to date; arms the auto-close when a phone is connected
    // and the window is on screen.
    void refresh();
    void show();
    // The "Nouveau code" button.
    void newCode();
    // Takes the application's main menu into the window, drawn like the rest of it.
    void setMenuBar(QMenuBar* menuBar);
    // Where the page's address comes from, asked again each time the window is shown since
    // the network may have changed. Without one, or while it gives an empty address, the
    // window shows no page panel.
    void setPageAddressSource(std::function<QUrl()> source);

    QMainWindow* window() const { return window_.get(); }
    QLabel* statusDot() const { return statusDot_; }
    QLabel* statusText() const { return statusText_; }
    QLabel* codeLabel() const { return codeLabel_; }
    QLabel* hint() const { return hint_; }
    QPushButton* newCodeButton() const { return newCodeButton_; }
    QWidget* content() const { return content_; }
    QWidget* pagePanel() const { return pagePanel_; }
    QLabel* pageAddressLabel() const { return pageAddress_; }
    QLabel* pageQRCode() const { return pageQrCode_; }

private:
    static QString hintText();
    void buildContent(const QIcon& icon);
    QWidget* buildPagePanel();
    void showPageAddress();
    void drawPageQRCode();
    void centre();

    AppState& state_;
    // Fusion follows the palette on every desktop, so the window stays dark whatever the theme.
    std::unique_ptr<QStyle> style_;
    std::unique_ptr<QMainWindow> window_;
    QWidget* content_ = nullptr;
    QLabel* statusDot_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* codeLabel_ = nullptr;
    QLabel* hint_ = nullptr;
    QPushButton* newCodeButton_ = nullptr;
    QWidget* pagePanel_ = nullptr;
    QLabel* pageAddress_ = nullptr;
    QLabel* pageQrCode_ = nullptr;
    std::function<QUrl()> pageAddressSource_;
    QUrl pageAddressShown_;
    QString codeInQRCode_;
    std::unique_ptr<OneShotTimer> autoCloseTimer_;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PairingWindow.h"

#include "state/AppState.h"
#include "ui/MenuModel.h"
#include "ui/QRCode.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

const QColor PairingWindow::kBackground = QColor::fromRgbF(21 / 255.0, 21 / 255.0, 24 / 255.0);
const QColor PairingWindow::kGreen = QColor::fromRgbF(48 / 255.0, 209 / 255.0, 88 / 255.0);
const QColor PairingWindow::kWaitingGrey = QColor::fromRgbF(0.92, 0.92, 0.92, 0.35);
const QColor PairingWindow::kStatusGrey = QColor::fromRgbF(0.92, 0.92, 0.92, 0.6);
const QColor PairingWindow::kCaptionGrey = QColor::fromRgbF(0.92, 0.92, 0.92, 0.4);

namespace {
const QColor kRed(255, 69, 58);
const QColor kRuleGrey(46, 46, 50);
constexpr int kAddressPixels = 13;
const QRect kQrFrame(20, 12, 116, 116);

// The desktop's own font at a size in device-independent pixels, so that text keeps its
// proportion to the fixed frames whatever the screen's DPI setting.
QFont sized(QFont font, double pixels, QFont::Weight weight) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPointSizeF(pixels * 72.0 / dpi);
    font.setWeight(weight);
    return font;
}

QFont systemFont(double pixels, QFont::Weight weight = QFont::Normal) {
    return sized(QApplication::font(), pixels, weight);
}

QFont fixedFont(double pixels) {
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixels, QFont::Bold);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QPalette darkPalette() {
    QPalette p;
    const QColor button(58, 58, 62);
    p.setColor(QPalette::Window, PairingWindow::kBackground);
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Base, QColor(30, 30, 34));
    p.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
    p.setColor(QPalette::Text, Qt::white);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, Qt::white);
    p.setColor(QPalette::Light, button.lighter(130));
    p.setColor(QPalette::Midlight, button.lighter(115));
    p.setColor(QPalette::Mid, button.darker(130));
    p.setColor(QPalette::Dark, button.darker(160));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(40, 40, 44));
    p.setColor(QPalette::ToolTipText, Qt::white);
    p.setColor(QPalette::PlaceholderText, PairingWindow::kCaptionGrey);
    p.setColor(QPalette::Disabled, QPalette::WindowText, PairingWindow::kWaitingGrey);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, PairingWindow::kWaitingGrey);
    p.setColor(QPalette::Disabled, QPalette::Text, PairingWindow::kWaitingGrey);
    return p;
}

QLabel* addLabel(QWidget* parent, const QString& text, const QFont& font, const QColor& colour,
                 Qt::Alignment alignment, const QRect& frame) {
    auto* label = new QLabel(parent);
    // Plain text: a code set from the environment must never be read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setGeometry(frame);
    setTextColour(label, colour);
    return label;
}

// A long host name would run out of its frame: the address shrinks until it fits.
void fitToWidth(QLabel* label, double pixels) {
    QFont font = systemFont(pixels, QFont::DemiBold);
    while (pixels > 8 && QFontMetrics(font).horizontalAdvance(label->text()) > label->width()) {
        pixels -= 0.5;
        font = systemFont(pixels, QFont::DemiBold);
    }
    label->setFont(font);
}
}  // namespace

PairingWindow::PairingWindow(AppState& state, const QIcon& icon,
                             std::unique_ptr<OneShotTimer> autoCloseTimer)
    : state_(state),
      style_(QStyleFactory::create(QStringLiteral("Fusion"))),
      window_(std::make_unique<QMainWindow>(
          nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint)),
      autoCloseTimer_(std::move(autoCloseTimer)) {
    window_->setWindowTitle(QStringLiteral("Olvane"));
    window_->setWindowIcon(icon);
    window_->setPalette(darkPalette());
    window_->setAutoFillBackground(true);
    buildContent(icon);
    // Not resizable: the window is exactly its content (plus a menu bar where one is drawn).
    window_->layout()->setSizeConstraint(QLayout::SetFixedSize);
    if (style_) {
        window_->setStyle(style_.get());
        for (QWidget* child : window_->findChildren<QWidget*>()) child->setStyle(style_.get());
    }
    window_->adjustSize();
    centre();
    refresh();
}

PairingWindow::~PairingWindow() {
    // The timer's task refers to the window; stop it before anything goes.
    autoCloseTimer_->cancel();
}

void PairingWindow::buildContent(const QIcon& icon) {
    content_ = new QWidget;
    content_->setFixedSize(kWidth, kHeight);
    content_->setAutoFillBackground(true);

    auto* image = new QLabel(content_);
    image->setGeometry(QRect(158, 16, 64, 64));
    image->setPixmap(icon.pixmap(QSize(64, 64), qApp->devicePixelRatio()));
    image->setAlignment(Qt::AlignCenter);

    addLabel(content_, QStringLiteral("Olvane"), systemFont(15, QFont::DemiBold), Qt::white,
             Qt::AlignHCenter, QRect(20, 92, 340, 20));
    statusDot_ = addLabel(content_, QStringLiteral("●"), systemFont(10), kGreen, Qt::AlignRight,
                          QRect(60, 118, 100, 16));
    statusText_ = addLabel(content_, tr("Waiting for connection…"), systemFont(12), kStatusGrey,
                           Qt::AlignLeft, QRect(166, 118, 180, 16));
    addLabel(content_, tr("PAIRING CODE"), systemFont(10.5, QFont::DemiBold), kCaptionGrey,
             Qt::AlignHCenter, QRect(20, 164, 340, 14));
    // The fixed-pitch font, so that every code is as wide as any other and a new one does not
    // make the line jump.
    codeLabel_ = addLabel(content_, QStringLiteral("0000"), fixedFont(42), Qt::white,
                          Qt::AlignHCenter, QRect(20, 178, 340, 50));
    hint_ = addLabel(content_, hintText(), systemFont(11), kCaptionGrey, Qt::AlignHCenter,
                     QRect(20, 232, 340, 14));

    newCodeButton_ = new QPushButton(tr("New code"), content_);
    newCodeButton_->setGeometry(QRect(130, 254, 120, 28));
    newCodeButton_->setAutoDefault(false);
    QObject::connect(newCodeButton_, &QPushButton::clicked, [this] { newCode(); });

    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(content_);
    column->addWidget(buildPagePanel());
    window_->setCentralWidget(central);
}

// Below the code, with frames from the panel's top-left corner: the touchpad page for
// phones without the app, its QR code on the left and its address on the right.
QWidget* PairingWindow::buildPagePanel() {
    pagePanel_ = new QWidget;
    pagePanel_->setFixedSize(kWidth, kPagePanelHeight);
    pagePanel_->setAutoFillBackground(true);
    pagePanel_->hide();

    auto* rule = new QFrame(pagePanel_);
    rule->setGeometry(20, 0, 340, 1);
    rule->setAutoFillBackground(true);
    QPalette palette = rule->palette();
    palette.setColor(QPalette::Window, kRuleGrey);
    rule->setPalette(palette);

    pageQrCode_ = new QLabel(pagePanel_);
    pageQrCode_->setGeometry(kQrFrame);
    pageQrCode_->setAlignment(Qt::AlignCenter);

    addLabel(pagePanel_, tr("WITHOUT THE APP"), systemFont(10.5, QFont::DemiBold), kCaptionGrey,
             Qt::AlignLeft, QRect(150, 22, 210, 14));
    QLabel* hint =
        addLabel(pagePanel_, tr("On a phone on the same network, scan this code or open:"),
                 systemFont(11), kCaptionGrey, Qt::AlignLeft, QRect(150, 40, 210, 32));
    hint->setWordWrap(true);
    pageAddress_ = addLabel(pagePanel_, QString(), systemFont(kAddressPixels, QFont::DemiBold),
                            Qt::white, Qt::AlignLeft, QRect(150, 76, 210, 20));
    pageAddress_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addLabel(pagePanel_, tr("then enter the pairing code."), systemFont(11), kCaptionGrey,
             Qt::AlignLeft, QRect(150, 100, 210, 14));
    return pagePanel_;
}

void PairingWindow::setPageAddressSource(std::function<QUrl()> source) {
    pageAddressSource_ = std::move(source);
    showPageAddress();
}

void PairingWindow::showPageAddress() {
    pageAddressShown_ = pageAddressSource_ ? pageAddressSource_() : QUrl();
    pagePanel_->setVisible(!pageAddressShown_.isEmpty());
    if (!pageAddressShown_.isEmpty()) {
        pageAddress_->setText(pageAddressShown_.toString());
        fitToWidth(pageAddress_, kAddressPixels);
        drawPageQRCode();
    }
    // The window takes its new height now, not at the next layout pass, so that it is
    // centred at its real size.
    window_->centralWidget()->layout()->activate();
    window_->layout()->activate();
    window_->adjustSize();
}

QUrl PairingWindow::pairingLink(const QUrl& page, const QString& code) {
    // A fixed code may hold any text: percent-encoded, it cannot end the fragment early.
    QUrl link = page;
    link.setFragment(QStringLiteral("code=") + QString::fromLatin1(QUrl::toPercentEncoding(code)),
                     QUrl::StrictMode);
    return link;
}

void PairingWindow::drawPageQRCode() {
    codeInQRCode_ = state_.pairingCode();
    // Drawn for the screen's pixels, so that every module stays sharp.
    const qreal ratio = window_->devicePixelRatioF();
    QImage image = QRCode::fitting(pairingLink(pageAddressShown_, codeInQRCode_).toEncoded(),
                                   int(kQrFrame.width() * ratio));
    image.setDevicePixelRatio(ratio);
    pageQrCode_->setPixmap(QPixmap::fromImage(image));
}

QString PairingWindow::hintText() {
    return tr("Open the Olvane app on your phone and enter this code");
}

void PairingWindow::refresh() {
    const bool connected = state_.connectedCount() >= 1;
    setTextColour(statusDot_, connected ? kGreen : kWaitingGrey);
    statusText_->setText(connected ? tr("Phone connected") : tr("Waiting for connection…"));
    // A code no phone can use must not look like one that works.
    const std::optional<PortTrouble> trouble = state_.portTrouble();
    if (trouble && !connected) {
        setTextColour(statusDot_, kRed);
        statusText_->setText(tr("Unreachable over the network"));
    }
    hint_->setText(trouble ? MenuModel::troubleText(*trouble) : hintText());
    setTextColour(hint_, trouble ? kRed : kCaptionGrey);
    codeLabel_->setText(state_.pairingCode());
    if (!pageAddressShown_.isEmpty() && codeInQRCode_ != state_.pairingCode()) drawPageQRCode();
    // Armed only from here: a timer started earlier still fires when the phone has gone.
    if (connected && window_->isVisible())
        autoCloseTimer_->start(kAutoCloseDelay, [this] { window_->hide(); });
}

void PairingWindow::show() {
    autoCloseTimer_->cancel();
    refresh();
    showPageAddress();
    centre();
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void PairingWindow::newCode() {
    state_.regenerateCode();
}

void PairingWindow::setMenuBar(QMenuBar* menuBar) {
    if (style_ && menuBar) {
        menuBar->setStyle(style_.get());
        for (QWidget* child : menuBar->findChildren<QWidget*>()) child->setStyle(style_.get());
    }
    window_->setMenuBar(menuBar);
    window_->adjustSize();
}

void PairingWindow::centre() {
    QScreen* screen = window_->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // The size the window will have once shown, menu bar included.
    window_->layout()->activate();
    window_->adjustSize();
    const QRect area = screen->availableGeometry();
    const QSize size = window_->frameGeometry().size();
    window_->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

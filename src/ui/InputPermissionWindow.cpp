// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/InputPermissionWindow.h"

#include <QMessageBox>

InputPermissionWindow::~InputPermissionWindow() {
    delete box_.data();
}

std::optional<QString> InputPermissionWindow::explanation(const QString& backendName) {
    if (backendName == QLatin1String("x11"))
        return tr(
            "The X server of this session does not offer the XTEST extension: Olvane "
            "cannot send it movements, clicks or keys.\n\n"
            "Enable XTEST in the X server's configuration (it is on by default on most "
            "systems), then restart Olvane.");
    if (backendName == QLatin1String("uinput"))
        return tr(
            "Olvane goes through the kernel's virtual input device (/dev/uinput), which "
            "your session cannot access.\n\n"
            "The udev rule of the olvane-helper-uinput package (or of “make install”, "
            "file 70-olvane-uinput.rules) gives this access to the person logged in at "
            "the screen. For it to apply without a restart, run in a terminal:\n\n"
            "sudo modprobe uinput\n"
            "sudo udevadm control --reload\n"
            "sudo udevadm trigger --name-match=uinput\n\n"
            "then choose “Allow accessibility…” again.");
    if (backendName == QLatin1String("wlroots"))
        return tr(
            "Olvane goes through the virtual pointer and keyboard that Wayland "
            "compositors such as sway or Hyprland offer: there is nothing to allow. But "
            "the compositor of this session refused them, or can no longer be reached "
            "(Olvane's log says why).\n\n"
            "Check that Olvane runs in your Wayland session (WAYLAND_DISPLAY variable) "
            "and that the compositor does not forbid these protocols, then choose “Allow "
            "accessibility…” again.");
    if (backendName == QLatin1String("none"))
        return tr(
            "Olvane found no way on this desktop to send movements, clicks or keys: no "
            "X11 session (DISPLAY variable), no RemoteDesktop desktop portal (Wayland), "
            "no compositor offering a virtual pointer and keyboard (sway, Hyprland…), no "
            "access to /dev/uinput.\n\n"
            "Start Olvane from your graphical session, install Olvane's udev rule for "
            "/dev/uinput, or name the method you want with the OLVANE_INPUT_BACKEND "
            "variable, then restart it.");
    // The portal asks on the desktop itself, in its own dialog.
    return std::nullopt;
}

void InputPermissionWindow::show(const QString& text) {
    if (!box_) {
        box_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Olvane"),
                               tr("Olvane cannot control this computer yet"), QMessageBox::Ok);
        box_->setWindowModality(Qt::NonModal);
    }
    box_->setInformativeText(text);
    box_->show();
    box_->raise();
    box_->activateWindow();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/InputPermissionWindow.h"

#include <QMessageBox>

InputPermissionWindow::~InputPermissionWindow() {
    delete box_.data();
}

std::optional<QString> InputPermissionWindow::explanation(const QString& backendName) {
    if (backendName == QLatin1String("x11"))
        return QStringLiteral(
            "Le serveur X de cette session ne propose pas l'extension XTEST : Olvane ne peut "
            "pas y envoyer de mouvements, de clics ni de touches.\n\n"
            "Active XTEST dans la configuration du serveur X (elle l'est par défaut sur la "
            "plupart des systèmes), puis relance Olvane.");
    if (backendName == QLatin1String("uinput"))
        return QStringLiteral(
            "Olvane passe par le périphérique d'entrée virtuel du noyau (/dev/uinput), auquel ta "
            "session n'a pas accès.\n\n"
            "La règle udev installée avec Olvane (« make install », fichier "
            "70-olvane-uinput.rules) donne cet accès à la personne connectée devant l'écran. "
            "Pour qu'elle s'applique sans redémarrer, lance dans un terminal :\n\n"
            "sudo modprobe uinput\n"
            "sudo udevadm control --reload\n"
            "sudo udevadm trigger --name-match=uinput\n\n"
            "puis choisis à nouveau « Autoriser l'accessibilité… ».");
    if (backendName == QLatin1String("wlroots"))
        return QStringLiteral(
            "Olvane passe par le pointeur et le clavier virtuels que proposent les compositeurs "
            "Wayland comme sway ou Hyprland : il n'y a rien à autoriser. Mais le compositeur "
            "de cette session les a refusés, ou n'est plus joignable (le journal d'Olvane dit "
            "pourquoi).\n\n"
            "Vérifie qu'Olvane tourne dans ta session Wayland (variable WAYLAND_DISPLAY) et que "
            "le compositeur n'interdit pas ces protocoles, puis choisis à nouveau « Autoriser "
            "l'accessibilité… ».");
    if (backendName == QLatin1String("none"))
        return QStringLiteral(
            "Olvane n'a trouvé sur ce bureau aucun moyen d'envoyer des mouvements, des clics "
            "ou des touches : ni session X11 (variable DISPLAY), ni portail de bureau "
            "RemoteDesktop (Wayland), ni compositeur offrant un pointeur et un clavier "
            "virtuels (sway, Hyprland…), ni accès à /dev/uinput.\n\n"
            "Lance Olvane depuis ta session graphique, installe la règle udev d'Olvane pour "
            "/dev/uinput, ou indique la méthode voulue avec la variable OLVANE_INPUT_BACKEND, "
            "puis relance-le.");
    // The portal asks on the desktop itself, in its own dialog.
    return std::nullopt;
}

void InputPermissionWindow::show(const QString& text) {
    if (!box_) {
        box_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Olvane"),
                               QStringLiteral("Olvane ne peut pas encore piloter cet ordinateur"),
                               QMessageBox::Ok);
        box_->setWindowModality(Qt::NonModal);
    }
    box_->setInformativeText(text);
    box_->show();
    box_->raise();
    box_->activateWindow();
}

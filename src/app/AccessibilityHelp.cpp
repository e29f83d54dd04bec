#include "app/AccessibilityHelp.h"

#include <QMessageBox>

AccessibilityHelp::~AccessibilityHelp() {
    delete box_.data();
}

std::optional<QString> AccessibilityHelp::explanation(const QString& backendName) {
    if (backendName == QLatin1String("x11"))
        return QStringLiteral(
            "Le serveur X de cette session ne propose pas l'extension XTEST : Olvane ne peut "
            "pas y envoyer de mouvements, de clics ni de touches.\n\n"
            "Active XTEST dans la configuration du serveur X (elle l'est par défaut sur la "
            "plupart des systèmes), puis relance Olvane.");
    if (backendName == QLatin1String("none"))
        return QStringLiteral(
            "Olvane n'a trouvé sur ce bureau aucun moyen d'envoyer des mouvements, des clics "
            "ou des touches : ni session X11 (variable DISPLAY), ni autre méthode disponible."
            "\n\nLance Olvane depuis ta session graphique, ou indique la méthode voulue avec "
            "la variable OLVANE_INPUT_BACKEND, puis relance-le.");
    return std::nullopt;
}

void AccessibilityHelp::show(const QString& text) {
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

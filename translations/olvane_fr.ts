<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="en">
<context>
    <name>AppState</name>
    <message>
        <source>My computer</source>
        <translation>Mon ordinateur</translation>
    </message>
</context>
<context>
    <name>InputPermissionWindow</name>
    <message>
        <source>The X server of this session does not offer the XTEST extension: Olvane cannot send it movements, clicks or keys.

Enable XTEST in the X server&apos;s configuration (it is on by default on most systems), then restart Olvane.</source>
        <translation>Le serveur X de cette session ne propose pas l&apos;extension XTEST : Olvane ne peut pas y envoyer de mouvements, de clics ni de touches.

Active XTEST dans la configuration du serveur X (elle l&apos;est par défaut sur la plupart des systèmes), puis relance Olvane.</translation>
    </message>
    <message>
        <source>Olvane goes through the kernel&apos;s virtual input device (/dev/uinput), which your session cannot access.

The udev rule of the olvane-helper-uinput package (or of “make install”, file 70-olvane-uinput.rules) gives this access to the person logged in at the screen. For it to apply without a restart, run in a terminal:

sudo modprobe uinput
sudo udevadm control --reload
sudo udevadm trigger --name-match=uinput

then choose “Allow accessibility…” again.</source>
        <translation>Olvane passe par le périphérique d&apos;entrée virtuel du noyau (/dev/uinput), auquel ta session n&apos;a pas accès.

La règle udev du paquet olvane-helper-uinput (ou de « make install », fichier 70-olvane-uinput.rules) donne cet accès à la personne connectée devant l&apos;écran. Pour qu&apos;elle s&apos;applique sans redémarrer, lance dans un terminal :

sudo modprobe uinput
sudo udevadm control --reload
sudo udevadm trigger --name-match=uinput

puis choisis à nouveau « Autoriser l&apos;accessibilité… ».</translation>
    </message>
    <message>
        <source>Olvane goes through the virtual pointer and keyboard that Wayland compositors such as sway or Hyprland offer: there is nothing to allow. But the compositor of this session refused them, or can no longer be reached (Olvane&apos;s log says why).

Check that Olvane runs in your Wayland session (WAYLAND_DISPLAY variable) and that the compositor does not forbid these protocols, then choose “Allow accessibility…” again.</source>
        <translation>Olvane passe par le pointeur et le clavier virtuels que proposent les compositeurs Wayland comme sway ou Hyprland : il n&apos;y a rien à autoriser. Mais le compositeur de cette session les a refusés, ou n&apos;est plus joignable (le journal d&apos;Olvane dit pourquoi).

Vérifie qu&apos;Olvane tourne dans ta session Wayland (variable WAYLAND_DISPLAY) et que le compositeur n&apos;interdit pas ces protocoles, puis choisis à nouveau « Autoriser l&apos;accessibilité… ».</translation>
    </message>
    <message>
        <source>Olvane found no way on this desktop to send movements, clicks or keys: no X11 session (DISPLAY variable), no RemoteDesktop desktop portal (Wayland), no compositor offering a virtual pointer and keyboard (sway, Hyprland…), no access to /dev/uinput.

Start Olvane from your graphical session, install Olvane&apos;s udev rule for /dev/uinput, or name the method you want with the OLVANE_INPUT_BACKEND variable, then restart it.</source>
        <translation>Olvane n&apos;a trouvé sur ce bureau aucun moyen d&apos;envoyer des mouvements, des clics ou des touches : ni session X11 (variable DISPLAY), ni portail de bureau RemoteDesktop (Wayland), ni compositeur offrant un pointeur et un clavier virtuels (sway, Hyprland…), ni accès à /dev/uinput.

Lance Olvane depuis ta session graphique, installe la règle udev d&apos;Olvane pour /dev/uinput, ou indique la méthode voulue avec la variable OLVANE_INPUT_BACKEND, puis relance-le.</translation>
    </message>
    <message>
        <source>Olvane cannot control this computer yet</source>
        <translation>Olvane ne peut pas encore piloter cet ordinateur</translation>
    </message>
</context>
<context>
    <name>MenuModel</name>
    <message>
        <source>Port %1 unavailable</source>
        <translation>Port %1 indisponible</translation>
    </message>
    <message>
        <source>Port %1 taken by another program</source>
        <translation>Port %1 pris par un autre programme</translation>
    </message>
    <message>
        <source>Port %1 taken by %2</source>
        <translation>Port %1 pris par %2</translation>
    </message>
    <message>
        <source>🟢 Phone connected</source>
        <translation>🟢 Téléphone connecté</translation>
    </message>
    <message>
        <source>⚪️ Waiting for connection</source>
        <translation>⚪️ En attente de connexion</translation>
    </message>
    <message>
        <source>Pairing code: %1</source>
        <translation>Code de jumelage : %1</translation>
    </message>
    <message>
        <source>New code</source>
        <translation>Nouveau code</translation>
    </message>
    <message>
        <source>Show the pairing window</source>
        <translation>Afficher la fenêtre de jumelage</translation>
    </message>
    <message>
        <source>⚠️ Allow accessibility…</source>
        <translation>⚠️ Autoriser l&apos;accessibilité…</translation>
    </message>
    <message>
        <source>Quit Olvane</source>
        <translation>Quitter Olvane</translation>
    </message>
    <message>
        <source>About Olvane</source>
        <translation>À propos d&apos;Olvane</translation>
    </message>
    <message>
        <source>Hide Olvane</source>
        <translation>Masquer Olvane</translation>
    </message>
    <message>
        <source>Window</source>
        <translation>Fenêtre</translation>
    </message>
    <message>
        <source>Close Window</source>
        <translation>Fermer la fenêtre</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>Réduire</translation>
    </message>
</context>
<context>
    <name>PairingWindow</name>
    <message>
        <source>Waiting for connection…</source>
        <translation>En attente de connexion…</translation>
    </message>
    <message>
        <source>PAIRING CODE</source>
        <translation>CODE DE JUMELAGE</translation>
    </message>
    <message>
        <source>New code</source>
        <translation>Nouveau code</translation>
    </message>
    <message>
        <source>WITHOUT THE APP</source>
        <translation>SANS L&apos;APP</translation>
    </message>
    <message>
        <source>On a phone on the same network, scan this code or open:</source>
        <translation>Sur un téléphone du même réseau, scanne ce code ou ouvre :</translation>
    </message>
    <message>
        <source>then enter the pairing code.</source>
        <translation>puis saisis le code de jumelage.</translation>
    </message>
    <message>
        <source>Open the Olvane app on your phone and enter this code</source>
        <translation>Ouvre l&apos;app Olvane sur ton téléphone et saisis ce code</translation>
    </message>
    <message>
        <source>Phone connected</source>
        <translation>Téléphone connecté</translation>
    </message>
    <message>
        <source>Unreachable over the network</source>
        <translation>Injoignable par le réseau</translation>
    </message>
</context>
<context>
    <name>Shell</name>
    <message>
        <source>About Olvane</source>
        <translation>À propos d&apos;Olvane</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
</context>
</TS>

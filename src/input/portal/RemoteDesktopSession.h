// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "input/KeyPacer.h"
#include "input/portal/RestoreTokenFile.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QVariantMap>

#include <deque>
#include <functional>
#include <optional>

// One remote control session of the desktop portal (org.freedesktop.portal.RemoteDesktop):
// created, given the keyboard and the pointer, and started, which shows the desktop's consent
// dialog unless the restore token of an earlier session stands for the user's consent. Each
// step is a portal request answered by the Response signal of a request object whose path is
// known in advance, so the answer is listened for before the call is made. Lives on the thread
// that created it.
class RemoteDesktopSession : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Starting, Started, Ended };

    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.RemoteDesktop";
    static constexpr uint kKeyboard = 1, kPointer = 2;
    // Keep the consent until the user revokes it; known from interface version 2.
    static constexpr uint kPersistUntilRevoked = 2;
    static constexpr uint kPersistSince = 2;
    // An event the portal has not taken within this long ends the session: one that stalls
    // would otherwise hold every later event, and the phone would not know.
    static constexpr int kEventTimeoutMs = 10000;

    RemoteDesktopSession(QDBusConnection bus, RestoreTokenFile restoreToken);
    ~RemoteDesktopSession() override;

    // Asks for the portal's RemoteDesktop version without waiting: answer gets it, in context,
    // or nothing when no portal answers.
    static void probe(const QDBusConnection& bus, QObject* context,
                      std::function<void(std::optional<uint> version)> answer);

    State state() const { return state_; }
    // Asks for a new session unless one is starting or started.
    void start();

    // Meaningful once started. Pixels; evdev buttons and keys; X keysyms. Events go out one
    // at a time, each once the portal has taken the one before: it handles every call in a
    // thread of its own, so calls sent together may reach the desktop in another order. Key
    // events keep the KeyPacer's pace.
    void pointerMotion(double dx, double dy);
    void pointerButton(int button, bool pressed);
    void pointerAxis(double dx, double dy, bool finish);
    void keyboardKeycode(int keycode, bool pressed);
    void keyboardKeysym(int keysym, bool pressed);
    // Axis 0 is vertical, 1 horizontal; steps are wheel clicks.
    void pointerAxisDiscrete(uint axis, int steps);
    // The next event leaves this long after the one before was taken.
    void pause(int ms);
    void setKeyPace(KeyPacer::Pace pace) { keyPacer_.setPace(pace); }
    // Events not taken by the portal yet.
    size_t waiting() const { return events_.size() + (sending_ ? 1 : 0); }

signals:
    // After every change of state().
    void stateChanged();
    // The portal has taken an event: waiting() is smaller.
    void eventTaken();

private slots:
    void onResponse(uint response, const QVariantMap& results, const QDBusMessage& message);
    void onClosed(const QVariantMap& details, const QDBusMessage& message);

private:
    using Answer = std::function<void(uint response, const QVariantMap& results)>;
    // Events not sent yet: a method and its values after the session, or a pause (no method).
    struct Event {
        const char* method = nullptr;
        QVariantList values;
        int pauseMs = 0;
        bool key = false;
    };

    void readVersion();
    void createSession();
    void selectDevices();
    void startSession();
    void request(const QString& method, QVariantList args, QVariantMap options, Answer answer);
    void listen(const QString& requestPath, Answer answer);
    bool stopListening(const QString& requestPath);
    QString requestPath(const QString& token) const;
    void refused(const QString& step, uint response);
    void fail(const QString& why);
    void broken(const QString& why);
    void end();
    void setState(State state);
    void notify(const char* method, const QVariantList& values, bool key = false);
    void enqueue(Event event);
    void sendNext();
    // Marks an event under way; the function sends the next once it has gone.
    std::function<void()> thenNext();

    QDBusConnection bus_;
    const RestoreTokenFile restoreToken_;
    State state_ = State::Idle;
    uint version_ = 0;
    QString sessionPath_;
    QHash<QString, Answer> pending_;
    quint64 requests_ = 0;
    bool notifyFailureReported_ = false;
    std::deque<Event> events_;
    KeyPacer keyPacer_;
    bool sending_ = false;
    // Tells the answers to calls of an ended session from those of the next one.
    quint64 generation_ = 0;
};

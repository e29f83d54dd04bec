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
    // Events waiting for the portal beyond which new ones are dropped: one that stalls (every
    // call waits out the bus timeout) would otherwise gather them without end.
    static constexpr size_t kMaxWaitingEvents = 4096;

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
    // The next event leaves this long after the one before was taken.
    void pause(int ms);

signals:
    // After every change of state().
    void stateChanged();

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
    bool overflowReported_ = false;
    // Tells the answers to calls of an ended session from those of the next one.
    quint64 generation_ = 0;
};

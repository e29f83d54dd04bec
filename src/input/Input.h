// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/SerialQueue.h"
#include "input/InputBackend.h"
#include "input/InputClock.h"
#include "input/KeyNames.h"
#include "input/LayoutMap.h"
#include "input/MediaControl.h"
#include "input/VolumeControl.h"

#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct Env;

// Turns client commands into input events. Every public operation returns at once and does
// its work on the "olvane.input" queue, in call order. Pointer motion is accumulated and
// drained by a 4 ms ticker in decaying steps so that bursty network input moves smoothly.
// Volume work goes to the "olvane.audio" queue instead, in call order among itself: a sound
// server that does not answer never holds up input.
class Input : public QObject {
    Q_OBJECT
public:
    static constexpr double kStepFactor = 0.45;
    static constexpr double kWholeStepBelow = 2.0;
    static constexpr double kDeadZone = 0.05;
    // Far beyond any desktop (X coordinates have 16 bits), and far from a double's limit.
    static constexpr double kMaxPendingMove = 1e6;
    static constexpr int kIdleTicksBeforeStop = 51;
    // A command that starts motion while the ticker rests waits at most this long for the
    // next tick; further away, its first step is posted at once.
    static constexpr double kLongestWaitForTick = 0.001;
    static constexpr double kSyncAfterSeconds = 0.15;
    static constexpr double kSyncTolerance = 2.0;
    static constexpr float kVolumeStep = 0.0625f;
    static constexpr float kUnreadableVolume = 0.5f;
    // Operations waiting on the input queue beyond which throttle() holds the caller back.
    static constexpr int kMaxBacklog = 1024;
    // Operations (a character of text is one) a backend may hold before throttle() waits.
    static constexpr int kMaxBackendWaiting = 256;
    // Volume operations waiting for the sound server beyond which further ones are dropped.
    static constexpr int kMaxAudioBacklog = 32;

    struct Options {
        KeyNames::CmdKey cmdKey = KeyNames::CmdKey::Control;
        static Options fromEnv(const Env& env);
    };

    using UseBackend = std::function<void(std::unique_ptr<InputBackend>)>;
    // Makes the backend on the input queue and hands it over through use, there too: at once,
    // or once it has probed the desktop. What the probing waits on belongs to context, which
    // lives on the input queue and ends with the engine.
    using BackendMaker = std::function<void(QObject* context, UseBackend use)>;

    Input(BackendMaker makeBackend, std::unique_ptr<InputClock> clock, Options options);
    // A backend made on this thread, handed over to the input queue.
    Input(std::unique_ptr<InputBackend> backend, std::unique_ptr<InputClock> clock,
          Options options);
    Input(std::unique_ptr<InputBackend> backend, std::unique_ptr<InputClock> clock)
        : Input(std::move(backend), std::move(clock), Options{}) {}
    ~Input() override;

    void moveBy(double dx, double dy);
    void click(bool right, int count);
    void dragState(bool down);
    void scroll(double dx, double dy);
    void typeText(const QString& text);
    void pressKey(const QString& name, const QStringList& modifiers);
    // Holds a modifier down across keys (Alt through several Tabs) until it is let go; keys
    // pressed meanwhile leave it down.
    void holdModifier(const QString& name, bool down);
    void mediaKey(const QString& name);
    void setVolume(int percent);
    // The completion is called exactly once, on the audio queue (or at once, from the caller's
    // thread, with 50 % when the sound server is too far behind to ask); readable is false
    // when the 50 % is such a guess, or there is no sound server to ask.
    void getVolume(std::function<void(int percent, bool muted, bool readable)> completion);
    // Releases a drag's button when nobody is left to release it.
    void releaseHeldButton();

    // Operations queued and not yet begun.
    int backlog() const { return backlog_.load(std::memory_order_relaxed); }
    // For a transport, after each message: while more than kMaxBacklog operations wait, or
    // the backend holds more than kMaxBackendWaiting for the window system, blocks until they
    // have gone. A client that sends faster than input can be posted is then slowed down by
    // the network instead of filling memory, and nothing is dropped.
    void throttle();
    // For a transport that must not wait (it shares the main thread): true while the backend
    // holds more than kMaxBackendWaiting; resume then runs on the main thread once it holds
    // fewer, or input shuts down.
    bool holdBack(std::function<void()> resume);
    // Lets every transport waiting in throttle() go, now and from now on: for shutting down.
    void stopThrottling();

    bool trusted() const { return trusted_.load(); }
    QString backendName() const;
    // Until the backend has started or failed to, which may take a while (a desktop asks the
    // user).
    bool starting() const { return starting_.load(); }
    // Asks the backend for access; then, if given, runs on the main thread afterwards.
    void requestAccess(std::function<void()> then = {});
    void setVolumeControl(std::unique_ptr<VolumeControl> volume);
    void setMediaControl(std::unique_ptr<MediaControl> media);

    SerialQueue& queue() { return queue_; }
    SerialQueue& audioQueue() { return audio_; }

signals:
    // Emitted on the input queue whenever trusted() changes.
    void trustChanged();
    // Emitted on the input queue once starting() has become false; trusted() tells how it went.
    void started();

private:
    template <typename Task>
    void enqueue(Task task) {
        backlog_.fetch_add(1, std::memory_order_relaxed);
        queue_.async([this, task = std::move(task)]() mutable {
            backlog_.fetch_sub(1, std::memory_order_relaxed);
            task();
        });
    }
    // False when the task was dropped because too many wait already.
    bool enqueueAudio(std::function<void()> task);
    void use(std::unique_ptr<InputBackend> backend);
    void startEnded();
    void syncPos();
    void ensureSmoothTimer();
    void smoothTick();
    bool postScrollStep();
    void postMove(double dx, double dy);
    void flushPendingMove();
    void setLeftButton(bool down);
    void pressKeyNow(const QString& name, const QStringList& modifiers);
    std::optional<quint16> layoutKeyCode(const QString& ch);
    void rebuildLayoutMap();
    void transportKey(const QString& key);
    std::optional<VolumeControl::Reading> readVolume();
    void stepVolume(float step);
    void writeVolume(float value);

    SerialQueue queue_{QStringLiteral("olvane.input")};
    std::atomic<int> backlog_{0};
    std::mutex throttleMutex_;
    std::condition_variable backendCaughtUp_;
    bool throttling_ = true;
    int backendWaiting_ = 0;                      // under throttleMutex_
    std::vector<std::function<void()>> resumes_;  // under throttleMutex_
    std::atomic<bool> trusted_{false};
    std::atomic<bool> starting_{true};
    mutable std::mutex backendNameMutex_;
    QString backendName_;
    std::unique_ptr<InputBackend> backend_;
    std::unique_ptr<InputClock> clock_;
    const Options options_;
    std::unique_ptr<MediaControl> media_;
    SerialQueue audio_{QStringLiteral("olvane.audio")};
    std::atomic<int> audioBacklog_{0};
    std::atomic<bool> audioDropping_{false};
    std::unique_ptr<VolumeControl> volume_;  // used only on the audio queue

    // Everything below is touched only on the input queue.
    QPointF pos_;
    bool leftButtonDown_ = false;
    double lastInjection_ = 0;
    double pendingMoveX_ = 0, pendingMoveY_ = 0;
    double pendingScrollX_ = 0, pendingScrollY_ = 0;
    bool smoothTimerRunning_ = false;
    qint64 idleTicks_ = 0;
    // A scroll is open from its first step until it has rested as long as the timer waits.
    bool scrollOpen_ = false;
    qint64 ticksSinceScroll_ = 0;
    LayoutMap layoutMap_;
    bool layoutMapBuilt_ = false;
    QList<quint16> heldModifiers_;  // evdev codes held by holdModifier
};

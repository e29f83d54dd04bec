// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/Input.h"

#include "base/Env.h"
#include "base/Log.h"
#include "base/MainThread.h"
#include "input/ScreenClamp.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kWheelMax = std::numeric_limits<qint32>::max();
constexpr double kWheelMin = std::numeric_limits<qint32>::min();

bool finite(double a, double b) {
    return std::isfinite(a) && std::isfinite(b);
}

// Stands in for the backend while it is being made: posts nothing, and owns what the making
// waits on, so that the making ends with the engine.
class PendingBackend : public InputBackend {
public:
    QString name() const override { return {}; }
    void start() override {}
    bool trusted() const override { return false; }
    std::optional<QPointF> cursorLocation() override { return std::nullopt; }
    QList<QRectF> displayBounds() override { return {}; }
    void postPointer(PointerAction, QPointF, int) override { drop(); }
    void postScroll(qint32, qint32) override { drop(); }
    bool postKey(quint16, bool) override { return drop(), false; }
    void typeText(const QString&) override { drop(); }

private:
    void drop() {
        if (!dropReported_)
            logLine(QStringLiteral("Input: no input backend chosen yet; input is dropped"));
        dropReported_ = true;
    }
    bool dropReported_ = false;
};
}  // namespace

Input::Options Input::Options::fromEnv(const Env& env) {
    return Options{KeyNames::cmdKeyFromSetting(env.cmdKey)};
}

Input::Input(BackendMaker makeBackend, std::unique_ptr<InputClock> clock, Options options)
    : clock_(std::move(clock)), options_(options) {
    queue_.async([this, make = std::move(makeBackend)] {
        backend_ = std::make_unique<PendingBackend>();
        if (make)
            make(backend_.get(), [this](std::unique_ptr<InputBackend> b) { use(std::move(b)); });
    });
}

Input::Input(std::unique_ptr<InputBackend> backend, std::unique_ptr<InputClock> clock,
             Options options)
    : Input(BackendMaker(), std::move(clock), options) {
    backend->moveToThread(queue_.context()->thread());
    queue_.async([this, made = backend.release()] { use(std::unique_ptr<InputBackend>(made)); });
}

Input::~Input() {
    stopThrottling();
    // Platform objects are released on the thread that used them.
    audio_.sync([this] { volume_.reset(); });
    queue_.sync([this] {
        // What the backend says while it shuts down has nobody left to reach.
        backend_->disconnect(this);
        clock_->stopTicker();
        media_.reset();
        clock_.reset();
        backend_.reset();
    });
    // What the release itself queued runs now, not while the members go.
    queue_.sync([] {});
}

void Input::use(std::unique_ptr<InputBackend> backend) {
    // What the making waited on may be answering from inside the stand-in right now.
    backend_.release()->deleteLater();
    backend_ = std::move(backend);
    {
        std::lock_guard lock(backendNameMutex_);
        backendName_ = backend_->name();
    }
    layoutMapBuilt_ = false;
    // On the input queue, where the backend emits.
    const auto direct = Qt::DirectConnection;
    connect(
        backend_.get(), &InputBackend::ready, this,
        [this] {
            pos_ = backend_->cursorLocation().value_or(QPointF(0, 0));
            startEnded();
        },
        direct);
    connect(backend_.get(), &InputBackend::failed, this, &Input::startEnded, direct);
    connect(
        backend_.get(), &InputBackend::trustChanged, this,
        [this] {
            trusted_ = backend_->trusted();
            emit trustChanged();
        },
        direct);
    connect(
        backend_.get(), &InputBackend::waitingChanged, this,
        [this] {
            std::vector<std::function<void()>> resumes;
            {
                std::lock_guard lock(throttleMutex_);
                backendWaiting_ = backend_->waiting();
                if (backendWaiting_ <= kMaxBackendWaiting) resumes.swap(resumes_);
            }
            backendCaughtUp_.notify_all();
            for (auto& resume : resumes) postToMain(std::move(resume));
        },
        direct);
    connect(
        backend_.get(), &InputBackend::layoutChanged, this,
        [this] {
            // A change read just as the engine shuts down finds the backend gone.
            queue_.async([this] {
                if (layoutMapBuilt_ && backend_) rebuildLayoutMap();
            });
        },
        direct);
    backend_->start();
}

void Input::startEnded() {
    trusted_ = backend_->trusted();
    if (starting_.exchange(false)) emit started();
}

QString Input::backendName() const {
    std::lock_guard lock(backendNameMutex_);
    return backendName_;
}

void Input::moveBy(double dx, double dy) {
    if (!finite(dx, dy)) return;
    enqueue([this, dx, dy] {
        syncPos();
        // Bounded, so that no sum of finite moves becomes infinite and then not a number,
        // which would leave the pointer stuck for good.
        pendingMoveX_ = std::clamp(pendingMoveX_ + dx, -kMaxPendingMove, kMaxPendingMove);
        pendingMoveY_ = std::clamp(pendingMoveY_ + dy, -kMaxPendingMove, kMaxPendingMove);
        ensureSmoothTimer();
    });
}

void Input::click(bool right, int count) {
    enqueue([this, right, count] {
        flushPendingMove();
        const int clickState = count > 1 ? count : 1;
        backend_->postPointer(right ? PointerAction::RightDown : PointerAction::LeftDown, pos_,
                              clickState);
        backend_->postPointer(right ? PointerAction::RightUp : PointerAction::LeftUp, pos_,
                              clickState);
        lastInjection_ = clock_->now();
    });
}

void Input::dragState(bool down) {
    enqueue([this, down] { setLeftButton(down); });
}

void Input::releaseHeldButton() {
    enqueue([this] {
        if (leftButtonDown_) setLeftButton(false);
    });
}

void Input::setLeftButton(bool down) {
    flushPendingMove();
    leftButtonDown_ = down;
    backend_->postPointer(down ? PointerAction::LeftDown : PointerAction::LeftUp, pos_, 0);
    lastInjection_ = clock_->now();
}

void Input::scroll(double dx, double dy) {
    if (!finite(dx, dy)) return;
    enqueue([this, dx, dy] {
        // Kept within what one wheel event can carry, so any amount drains in a few ticks.
        pendingScrollX_ = std::clamp(pendingScrollX_ + dx, kWheelMin, kWheelMax);
        pendingScrollY_ = std::clamp(pendingScrollY_ + dy, kWheelMin, kWheelMax);
        ensureSmoothTimer();
    });
}

void Input::syncPos() {
    if (clock_->now() - lastInjection_ <= kSyncAfterSeconds) return;
    const std::optional<QPointF> location = backend_->cursorLocation();
    if (!location) return;
    if (std::abs(location->x() - pos_.x()) > kSyncTolerance ||
        std::abs(location->y() - pos_.y()) > kSyncTolerance)
        pos_ = *location;
}

void Input::ensureSmoothTimer() {
    // The last tick found nothing to do: the motion so far is all posted.
    const bool resting = idleTicks_ > 0;
    idleTicks_ = 0;
    if (!smoothTimerRunning_) {
        smoothTimerRunning_ = true;
        clock_->startTicker([this] { smoothTick(); });
    } else if (resting && clock_->untilNextTick() > kLongestWaitForTick) {
        // Fresh motion goes out at once rather than at the next tick. Steps stay at least a
        // period apart: the tick is counted from here, and only a rest allows this again.
        clock_->restartTicker();
        smoothTick();
    }
}

void Input::smoothTick() {
    const double m = std::abs(pendingMoveX_) + std::abs(pendingMoveY_);
    const bool moved = m > kDeadZone;
    if (moved) {
        const double f = m < kWholeStepBelow ? 1.0 : kStepFactor;
        const double stepX = pendingMoveX_ * f;
        const double stepY = pendingMoveY_ * f;
        pendingMoveX_ -= stepX;
        pendingMoveY_ -= stepY;
        postMove(stepX, stepY);
    }
    if (postScrollStep()) {
        idleTicks_ = 0;
        scrollOpen_ = true;
        ticksSinceScroll_ = 0;
        return;
    }
    if (scrollOpen_ && ++ticksSinceScroll_ >= kIdleTicksBeforeStop) {
        scrollOpen_ = false;
        backend_->endScroll();
    }
    if (moved) {
        idleTicks_ = 0;
        return;
    }
    if (++idleTicks_ >= kIdleTicksBeforeStop) {
        clock_->stopTicker();
        smoothTimerRunning_ = false;
    }
}

bool Input::postScrollStep() {
    const double s = std::abs(pendingScrollX_) + std::abs(pendingScrollY_);
    if (s <= kDeadZone) return false;
    const double f = s < kWholeStepBelow ? 1.0 : kStepFactor;
    const double stepX = std::trunc(pendingScrollX_ * f);
    const double stepY = std::trunc(pendingScrollY_ * f);
    if (stepX == 0 && stepY == 0) return false;
    pendingScrollX_ -= stepX;
    pendingScrollY_ -= stepY;
    backend_->postScroll(qint32(stepY), qint32(stepX));
    lastInjection_ = clock_->now();
    return true;
}

void Input::postMove(double dx, double dy) {
    const QPointF target = clampToScreens(pos_ + QPointF(dx, dy), backend_->displayBounds());
    pos_ = target;
    backend_->postMove(leftButtonDown_ ? PointerAction::Drag : PointerAction::Move, target,
                       QPointF(dx, dy));
    lastInjection_ = clock_->now();
}

void Input::flushPendingMove() {
    syncPos();
    if (pendingMoveX_ == 0 && pendingMoveY_ == 0) return;
    const double dx = pendingMoveX_, dy = pendingMoveY_;
    pendingMoveX_ = pendingMoveY_ = 0;
    postMove(dx, dy);
}

void Input::typeText(const QString& text) {
    if (text.isEmpty()) return;
    enqueue([this, text] { backend_->typeText(text); });
}

void Input::pressKey(const QString& name, const QStringList& modifiers) {
    // From the queue itself (a media key falling back to a key press) the key is pressed at
    // once, so that it keeps its place among the commands that follow.
    if (queue_.isCurrent())
        pressKeyNow(name, modifiers);
    else
        enqueue([this, name, modifiers] { pressKeyNow(name, modifiers); });
}

void Input::holdModifier(const QString& name, bool down) {
    enqueue([this, name, down] {
        for (quint16 code : KeyNames::modifierKeyCodes({name}, options_.cmdKey)) {
            if (heldModifiers_.contains(code) == down) continue;
            if (down)
                heldModifiers_.append(code);
            else
                heldModifiers_.removeOne(code);
            backend_->postKey(code, down);
        }
    });
}

// A character the layout map lacks (one of AltGr's, or of no key at all) is typed the way
// text is, so that it is not lost; the modifiers asked for are held around it all the same.
void Input::pressKeyNow(const QString& name, const QStringList& modifiers) {
    const QString key = name.toLower();
    const std::optional<quint16> named = KeyNames::namedKeyCode(key);
    if (!named && !KeyNames::isSingleCharacter(key)) return;
    const std::optional<quint16> layoutKey = named ? std::nullopt : layoutKeyCode(key);
    QList<quint16> held = KeyNames::modifierKeyCodes(modifiers, options_.cmdKey);
    held.removeIf([this](quint16 code) { return heldModifiers_.contains(code); });
    for (quint16 m : held) backend_->postKey(m, true);
    if (named) {
        backend_->postKey(*named, true);
        backend_->postKey(*named, false);
    } else if (layoutKey) {
        backend_->postLayoutKey(*layoutKey, true);
        backend_->postLayoutKey(*layoutKey, false);
    } else {
        backend_->typeText(key);
    }
    // Released whatever happened to the key itself: a modifier must never stay down.
    for (auto m = held.crbegin(); m != held.crend(); ++m) backend_->postKey(*m, false);
}

std::optional<quint16> Input::layoutKeyCode(const QString& ch) {
    if (!layoutMapBuilt_) {
        rebuildLayoutMap();
        layoutMapBuilt_ = true;
    }
    const auto it = layoutMap_.constFind(ch);
    if (it == layoutMap_.constEnd()) return std::nullopt;
    return *it;
}

void Input::rebuildLayoutMap() {
    const std::unique_ptr<KeySymbolSource> source = backend_->keySymbols();
    layoutMap_ = source ? buildLayoutMap(*source) : LayoutMap{};
}

void Input::mediaKey(const QString& name) {
    const QString key = name.toLower();
    if (key == QLatin1String("volumeup"))
        enqueueAudio([this] { stepVolume(kVolumeStep); });
    else if (key == QLatin1String("volumedown"))
        enqueueAudio([this] { stepVolume(-kVolumeStep); });
    else if (key == QLatin1String("mute"))
        enqueueAudio([this] {
            if (volume_) volume_->toggleMute();
        });
    else
        enqueue([this, key] { transportKey(key); });
}

void Input::transportKey(const QString& key) {
    if (key == QLatin1String("playpause"))
        media_ ? media_->playPause() : pressKey(QStringLiteral("space"), {});
    else if (key == QLatin1String("next"))
        media_ ? media_->next() : pressKey(QStringLiteral("right"), {});
    else if (key == QLatin1String("previous"))
        media_ ? media_->previous() : pressKey(QStringLiteral("left"), {});
}

void Input::setVolume(int percent) {
    enqueueAudio([this, percent] { writeVolume(float(std::clamp(percent, 0, 100)) / 100.0f); });
}

void Input::getVolume(std::function<void(int, bool, bool)> completion) {
    const auto answer = [completion](std::optional<VolumeControl::Reading> reading) {
        const auto [level, muted] =
            reading.value_or(VolumeControl::Reading{kUnreadableVolume, false});
        completion(int(std::lround(level * 100.0f)), muted, reading.has_value());
    };
    if (!enqueueAudio([this, answer] { answer(readVolume()); })) answer(std::nullopt);
}

bool Input::enqueueAudio(std::function<void()> task) {
    if (audioBacklog_.fetch_add(1) >= kMaxAudioBacklog) {
        audioBacklog_.fetch_sub(1);
        if (!audioDropping_.exchange(true))
            logLine(QStringLiteral("Volume: the sound server is %1 commands behind; further "
                                   "volume commands are dropped until it catches up")
                        .arg(kMaxAudioBacklog));
        return false;
    }
    audio_.async([this, task = std::move(task)] {
        task();
        if (audioBacklog_.fetch_sub(1) == 1) audioDropping_ = false;
    });
    return true;
}

std::optional<VolumeControl::Reading> Input::readVolume() {
    const auto v = volume_ ? volume_->get() : std::nullopt;
    // A value that is not a number cannot become a percentage: treat it as unreadable.
    if (!v || !std::isfinite(v->level)) return std::nullopt;
    return VolumeControl::Reading{std::clamp(v->level, 0.0f, 1.0f), v->muted};
}

void Input::stepVolume(float step) {
    // No step from a level that could not be read: a server that failed to answer the read
    // and then took the write would jump to wherever the guess led.
    if (const auto reading = readVolume()) writeVolume(reading->level + step);
}

void Input::writeVolume(float value) {
    if (!volume_) return;
    volume_->set(std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f));
}

void Input::throttle() {
    if (queue_.isCurrent()) return;
    if (backlog_.load(std::memory_order_relaxed) > kMaxBacklog) queue_.sync([] {});
    std::unique_lock lock(throttleMutex_);
    backendCaughtUp_.wait(lock,
                          [this] { return !throttling_ || backendWaiting_ <= kMaxBackendWaiting; });
}

bool Input::holdBack(std::function<void()> resume) {
    std::lock_guard lock(throttleMutex_);
    if (!throttling_ || backendWaiting_ <= kMaxBackendWaiting) return false;
    resumes_.push_back(std::move(resume));
    return true;
}

void Input::stopThrottling() {
    std::vector<std::function<void()>> resumes;
    {
        std::lock_guard lock(throttleMutex_);
        throttling_ = false;
        resumes.swap(resumes_);
    }
    backendCaughtUp_.notify_all();
    for (auto& resume : resumes) postToMain(std::move(resume));
}

void Input::requestAccess(std::function<void()> then) {
    queue_.async([this, then = std::move(then)] {
        backend_->requestAccess();
        if (then) postToMain(then);
    });
}

void Input::setVolumeControl(std::unique_ptr<VolumeControl> volume) {
    audio_.sync([&] { volume_ = std::move(volume); });
}

// Without waiting: the queue may be busy making the backend. Operations queued later find it.
void Input::setMediaControl(std::unique_ptr<MediaControl> media) {
    queue_.async([this, given = media.release()] { media_.reset(given); });
}

#include "input/uinput/UinputBackend.h"
#include "support/LogCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

// This kernel has no uinput: the backend writes to a pipe instead, and the test reads back the
// exact input_event records a device would have received.
namespace {
struct Ev {
    quint16 type, code;
    qint32 value;
    bool operator==(const Ev&) const = default;
};

void PrintTo(const Ev& e, std::ostream* os) {
    *os << "{" << e.type << ", " << e.code << ", " << e.value << "}";
}

const Ev kSyn{EV_SYN, SYN_REPORT, 0};

struct PipeDevice {
    int readEnd = -1, writeEnd = -1;

    PipeDevice() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) == 0) {
            readEnd = fds[0];
            writeEnd = fds[1];
            fcntl(readEnd, F_SETFL, O_NONBLOCK);
        }
    }
    ~PipeDevice() { ::close(readEnd); }

    QList<Ev> take() const {
        QList<Ev> events;
        input_event e;
        while (::read(readEnd, &e, sizeof e) == ssize_t(sizeof e))
            events.append({e.type, e.code, e.value});
        return events;
    }
};

std::unique_ptr<UinputBackend> usBackend(const PipeDevice& device) {
    auto backend = std::make_unique<UinputBackend>([fd = device.writeEnd](QString*) { return fd; },
                                                   XKBLayoutNames{"", "", "us", "", ""});
    backend->start();
    return backend;
}
}  // namespace

TEST(UinputBackend, movesClicksWheelsAndShiftedCharactersAsExactEventGroups) {
    PipeDevice device;
    const auto backend = usBackend(device);
    ASSERT_TRUE(backend->trusted());

    // Whole pixels; the fraction left over joins the next step.
    backend->postMove(PointerAction::Move, {}, {10.4, -3});
    backend->postMove(PointerAction::Move, {}, {0.3, 0});
    EXPECT_EQ(
        device.take(),
        (QList<Ev>{{EV_REL, REL_X, 10}, {EV_REL, REL_Y, -3}, kSyn, {EV_REL, REL_X, 1}, kSyn}));

    backend->postPointer(PointerAction::LeftDown, {}, 1);
    backend->postPointer(PointerAction::LeftUp, {}, 1);
    backend->postPointer(PointerAction::RightDown, {}, 2);
    EXPECT_EQ(device.take(), (QList<Ev>{{EV_KEY, BTN_LEFT, 1},
                                        kSyn,
                                        {EV_KEY, BTN_LEFT, 0},
                                        kSyn,
                                        {EV_KEY, BTN_RIGHT, 1},
                                        kSyn}));

    // 75 pixels are 1.5 notches of 50: 180 high-resolution units and one classic notch; the
    // half notch left completes the next one. Left is the kernel's negative horizontal.
    backend->postScroll(75, 0);
    backend->postScroll(75, 0);
    backend->postScroll(0, 75);
    EXPECT_EQ(device.take(), (QList<Ev>{{EV_REL, REL_WHEEL_HI_RES, 180},
                                        {EV_REL, REL_WHEEL, 1},
                                        kSyn,
                                        {EV_REL, REL_WHEEL_HI_RES, 180},
                                        {EV_REL, REL_WHEEL, 2},
                                        kSyn,
                                        {EV_REL, REL_HWHEEL_HI_RES, -180},
                                        {EV_REL, REL_HWHEEL, -1},
                                        kSyn}));

    LogCapture log;
    backend->typeText("A\n");
    EXPECT_EQ(device.take(), (QList<Ev>{{EV_KEY, KEY_LEFTSHIFT, 1},
                                        kSyn,
                                        {EV_KEY, KEY_A, 1},
                                        kSyn,
                                        {EV_KEY, KEY_A, 0},
                                        kSyn,
                                        {EV_KEY, KEY_LEFTSHIFT, 0},
                                        kSyn,
                                        {EV_KEY, KEY_ENTER, 1},
                                        kSyn,
                                        {EV_KEY, KEY_ENTER, 0},
                                        kSyn}));
    // What the layout cannot type is skipped, with one line for the whole text.
    backend->typeText("é✓");
    EXPECT_TRUE(device.take().isEmpty());
    EXPECT_EQ(log.lines().filter("could not be typed"),
              QStringList{"Text: 2 of 2 characters could not be typed: é✓"});
}

TEST(UinputBackend, withoutAccessAxIsFalseUntilAskingAgainCreatesTheDevice) {
    PipeDevice device;
    bool allowed = false;
    int trustChanges = 0;
    LogCapture log;
    UinputBackend backend(
        [&](QString* error) {
            if (allowed) return device.writeEnd;
            *error = "cannot open /dev/uinput: Permission denied";
            return -1;
        },
        {});
    QObject::connect(&backend, &InputBackend::trustChanged, [&] { ++trustChanges; });
    backend.start();
    backend.requestAccess();
    EXPECT_FALSE(backend.trusted());
    EXPECT_FALSE(backend.postKey(KEY_A, true));
    EXPECT_EQ(log.lines().filter("Permission denied").size(), 1);

    allowed = true;
    backend.requestAccess();
    EXPECT_TRUE(backend.trusted());
    EXPECT_EQ(trustChanges, 1);
    EXPECT_TRUE(backend.postKey(KEY_A, true));
    EXPECT_EQ(device.take(), (QList<Ev>{{EV_KEY, KEY_A, 1}, kSyn}));
}

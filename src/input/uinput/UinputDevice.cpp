// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/uinput/UinputDevice.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

bool enable(int fd, unsigned long request, std::initializer_list<int> codes) {
    for (int code : codes)
        if (ioctl(fd, request, code) < 0) return false;
    return true;
}

bool setUp(int fd) {
    if (!enable(fd, UI_SET_EVBIT, {EV_SYN, EV_KEY, EV_REL})) return false;
    if (!enable(fd, UI_SET_RELBIT,
                {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES}))
        return false;
    if (!enable(fd, UI_SET_KEYBIT, {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})) return false;
    for (int key = KEY_ESC; key <= 255; ++key)
        if (ioctl(fd, UI_SET_KEYBIT, key) < 0) return false;
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, UinputDevice::kName, UINPUT_MAX_NAME_SIZE - 1);
    return ioctl(fd, UI_DEV_SETUP, &setup) == 0 && ioctl(fd, UI_DEV_CREATE) == 0;
}
}  // namespace

UniqueFd UinputDevice::create(QString* error) {
    UniqueFd fd(::open(kPath, O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        *error = systemError("cannot open /dev/uinput");
        return {};
    }
    if (!setUp(fd.get())) {
        *error = systemError("cannot create the virtual device");
        return {};
    }
    return fd;
}

bool UinputDevice::writable() {
    return ::access(kPath, W_OK) == 0;
}

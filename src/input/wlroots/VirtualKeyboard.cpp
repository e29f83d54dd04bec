// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/VirtualKeyboard.h"

#include "base/UniqueFd.h"
#include "input/wayland/WaylandConnection.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {
// The keymap as the compositor maps it: a sealed file in memory, text and terminating zero.
UniqueFd keymapFile(const QByteArray& text, QString* error) {
    UniqueFd fd(memfd_create("olvane-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd.valid()) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return {};
    }
    const qsizetype size = text.size() + 1;
    qsizetype written = 0;
    while (written < size) {
        const ssize_t n = write(fd.get(), text.constData() + written, size_t(size - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = QString::fromLocal8Bit(strerror(n < 0 ? errno : EIO));
            return {};
        }
        written += n;
    }
    fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    return fd;
}
}  // namespace

VirtualKeyboard::VirtualKeyboard(zwp_virtual_keyboard_v1* keyboard) : keyboard_(keyboard) {}

VirtualKeyboard::~VirtualKeyboard() {
    zwp_virtual_keyboard_v1_destroy(keyboard_);
}

bool VirtualKeyboard::setKeymap(const XKBKeymap& keymap, QString* error) {
    const QByteArray text = keymap.description();
    if (text != uploaded_) {
        // The request carries a copy of the descriptor.
        const UniqueFd fd = keymapFile(text, error);
        if (!fd.valid()) return false;
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd.get(),
                                       uint32_t(text.size() + 1));
        uploaded_ = text;
    }
    keymap_.emplace(keymap);
    state_.reset(xkb_state_new(keymap.keymap()));
    for (size_t key = 0; key < down_.size(); ++key)
        if (down_.test(key) && state_) xkb_state_update_key(state_.get(), key, XKB_KEY_DOWN);
    sendModifiers(true);
    return true;
}

void VirtualKeyboard::key(xkb_keycode_t key, bool down) {
    if (!keymap_ || key < XKBKeymap::kEvdevOffset || key >= down_.size()) return;
    zwp_virtual_keyboard_v1_key(
        keyboard_, WaylandConnection::now(), XKBKeymap::toEvdev(key),
        down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    down_.set(key, down);
    if (state_) xkb_state_update_key(state_.get(), key, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    sendModifiers(false);
}

KeyboardState VirtualKeyboard::state() const {
    KeyboardState state;
    state.keysDown = down_;
    if (!state_) return state;
    xkb_state* s = state_.get();
    state.baseMods = xkb_state_serialize_mods(s, XKB_STATE_MODS_DEPRESSED);
    state.latchedMods = xkb_state_serialize_mods(s, XKB_STATE_MODS_LATCHED);
    state.lockedMods = xkb_state_serialize_mods(s, XKB_STATE_MODS_LOCKED);
    state.baseGroup = xkb_state_serialize_layout(s, XKB_STATE_LAYOUT_DEPRESSED);
    state.latchedGroup = xkb_state_serialize_layout(s, XKB_STATE_LAYOUT_LATCHED);
    state.lockedGroup = xkb_state_serialize_layout(s, XKB_STATE_LAYOUT_LOCKED);
    return state;
}

void VirtualKeyboard::sendModifiers(bool always) {
    const KeyboardState now = state();
    const bool changed = now.baseMods != sent_.baseMods || now.latchedMods != sent_.latchedMods ||
                         now.lockedMods != sent_.lockedMods || now.lockedGroup != sent_.lockedGroup;
    if (!always && !changed) return;
    zwp_virtual_keyboard_v1_modifiers(keyboard_, now.baseMods, now.latchedMods, now.lockedMods,
                                      now.lockedGroup);
    sent_ = now;
}

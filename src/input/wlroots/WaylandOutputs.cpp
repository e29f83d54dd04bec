// SPDX-License-Identifier: GPL-3.0-or-later
#include "input/wlroots/WaylandOutputs.h"

#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>

QRectF WaylandOutputs::Geometry::rect() const {
    if (!logical.isEmpty()) return logical;
    QSizeF size = modeSize / std::max(scale, 1);
    if (transform % 2 == 1) size.transpose();
    return QRectF(position, size);
}

struct WaylandOutputs::Output {
    uint32_t name = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdg = nullptr;
    Geometry geometry;

    ~Output() {
        if (xdg) zxdg_output_v1_destroy(xdg);
        if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(output);
        else
            wl_output_destroy(output);
    }
};

namespace {
using Output = WaylandOutputs::Output;

WaylandOutputs::Geometry& of(void* data) {
    return static_cast<Output*>(data)->geometry;
}

const wl_output_listener outputListener = {
    .geometry =
        [](void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
           const char*, int32_t transform) {
            of(data).position = QPointF(x, y);
            of(data).transform = transform;
        },
    .mode =
        [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
            if (flags & WL_OUTPUT_MODE_CURRENT) of(data).modeSize = QSizeF(width, height);
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void* data, wl_output*, int32_t factor) { of(data).scale = factor; },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener xdgListener = {
    .logical_position = [](void* data, zxdg_output_v1*, int32_t x,
                           int32_t y) { of(data).logical.moveTo(x, y); },
    .logical_size = [](void* data, zxdg_output_v1*, int32_t width,
                       int32_t height) { of(data).logical.setSize(QSizeF(width, height)); },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};
}  // namespace

WaylandOutputs::WaylandOutputs() = default;

WaylandOutputs::~WaylandOutputs() {
    outputs_.clear();
    if (xdgManager_) zxdg_output_manager_v1_destroy(xdgManager_);
}

void WaylandOutputs::setXdgManager(zxdg_output_manager_v1* manager) {
    xdgManager_ = manager;
    for (const auto& output : outputs_) describe(*output);
}

void WaylandOutputs::add(uint32_t name, wl_output* output) {
    auto entry = std::make_unique<Output>();
    entry->name = name;
    entry->output = output;
    wl_output_add_listener(output, &outputListener, entry.get());
    describe(*entry);
    outputs_.push_back(std::move(entry));
}

void WaylandOutputs::describe(Output& output) {
    if (!xdgManager_ || output.xdg) return;
    output.xdg = zxdg_output_manager_v1_get_xdg_output(xdgManager_, output.output);
    zxdg_output_v1_add_listener(output.xdg, &xdgListener, &output);
}

void WaylandOutputs::remove(uint32_t name) {
    std::erase_if(outputs_, [name](const auto& output) { return output->name == name; });
}

QList<QRectF> WaylandOutputs::rects() const {
    QList<QRectF> rects;
    for (const auto& output : outputs_)
        if (!output->geometry.rect().isEmpty()) rects.append(output->geometry.rect());
    return rects;
}

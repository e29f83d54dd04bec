// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRectF>

#include <cstdint>
#include <memory>
#include <vector>

struct wl_output;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

// The compositor's outputs as rectangles of its layout, in the order it announced them. The
// logical geometry of xdg-output counts where the compositor offers it; otherwise the output's
// position and its current mode divided by its scale.
class WaylandOutputs {
public:
    WaylandOutputs();
    ~WaylandOutputs();

    // Takes ownership; outputs known now and later are described through it.
    void setXdgManager(zxdg_output_manager_v1* manager);
    // Takes ownership of the output, the registry's global name.
    void add(uint32_t name, wl_output* output);
    void remove(uint32_t name);

    QList<QRectF> rects() const;

    struct Output;

private:
    void describe(Output& output);

    zxdg_output_manager_v1* xdgManager_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
};

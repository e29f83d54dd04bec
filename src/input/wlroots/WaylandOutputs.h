// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

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

    // What the compositor says of one output.
    struct Geometry {
        QPointF position;
        QSizeF modeSize;  // the current mode, in pixels
        int32_t scale = 1;
        int32_t transform = 0;  // wl_output's: the odd ones turn the output a quarter
        QRectF logical;         // xdg-output's, once told
        // Where the output lies in the compositor's layout; empty until its size is known.
        QRectF rect() const;
    };
    struct Output;

private:
    void describe(Output& output);

    zxdg_output_manager_v1* xdgManager_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
};

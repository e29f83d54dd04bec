// SPDX-License-Identifier: GPL-3.0-or-later
// Binary pointer messages from an authenticated phone: the input cut into messages of nine
// bytes (the last one may be shorter), a smoothing tick after each, as on a busy network.
#include "RouterWorld.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RouterWorld::run([&](RouterWorld& world, Router& router, const auto& session, const bool&) {
        router.handleText(R"({"t":"pair","code":"4321"})", session);
        for (size_t at = 0; at < size; at += 9) {
            const auto length = qsizetype(std::min<size_t>(9, size - at));
            router.handleBinary(QByteArrayView(reinterpret_cast<const char*>(data) + at, length),
                                session);
            world.h.tick();
            world.check(world.h.take());
        }
    });
    return 0;
}

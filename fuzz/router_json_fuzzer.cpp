// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON router input: lines of text, one message each, from one phone, as the WebSocket
// and Bluetooth transports hand them over.
#include "RouterWorld.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RouterWorld::run([&](RouterWorld&, Router& router, const auto& session, const bool& closed) {
        QByteArrayView rest(reinterpret_cast<const char*>(data), qsizetype(size));
        while (!rest.isEmpty() && !closed) {
            const qsizetype end = rest.indexOf('\n');
            const QByteArrayView line = end < 0 ? rest : rest.first(end);
            rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
            if (!line.isEmpty()) router.handleText(line, session);
        }
    });
    return 0;
}

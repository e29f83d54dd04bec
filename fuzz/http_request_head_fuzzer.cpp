// SPDX-License-Identifier: GPL-3.0-or-later
// The head of an HTTP request on the agent's port, read before any authentication: the
// parser, then the page server's answer to whatever it accepts.
#include "FuzzCheck.h"
#include "transport/HTTPRequestHead.h"
#include "transport/HTTPResponder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const HTTPResponder responder;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype length = HTTPRequestHead::lengthIn(bytes);
    // Searched in two pieces, as the bytes may arrive, the head ends at the same place.
    const qsizetype cut = bytes.isEmpty() ? 0 : qsizetype(data[0]) % bytes.size();
    const qsizetype early = HTTPRequestHead::lengthIn(bytes.first(cut));
    require((early >= 0 ? early : HTTPRequestHead::lengthIn(bytes, cut)) == length,
            "a head searched piece by piece ends where it does searched whole");
    if (length < 0) return 0;
    require(length <= bytes.size(), "the head lies within the bytes");
    const std::optional<HTTPRequestHead> request = HTTPRequestHead::parse(bytes.first(length));
    if (!request || request->isWebSocketUpgrade()) return 0;  // an upgrade is not answered here
    const HTTPResponder::Response response = responder.respond(*request);
    require(response.bytes.startsWith("HTTP/1.1 " + QByteArray::number(response.status) + ' ') &&
                response.bytes.contains("\r\n\r\n"),
            "the answer is an HTTP response");
    return 0;
}

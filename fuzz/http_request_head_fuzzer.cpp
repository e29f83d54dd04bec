// The head of an HTTP request on the agent's port, read before any authentication: the
// parser, then the page server's answer to whatever it accepts.
#include "transport/HTTPRequestHead.h"
#include "transport/HTTPResponder.h"

#include <cstdio>
#include <cstdlib>

namespace {
[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "request head: %s\n", what);
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const HTTPResponder responder;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype length = HTTPRequestHead::lengthIn(bytes);
    if (length < 0) return 0;
    if (length > bytes.size()) fail("the head is longer than the bytes");
    const std::optional<HTTPRequestHead> request = HTTPRequestHead::parse(bytes.first(length));
    if (!request) return 0;
    if (request->isWebSocketUpgrade()) return 0;  // handed to the WebSocket server
    const HTTPResponder::Response response = responder.respond(*request);
    if (!response.bytes.startsWith("HTTP/1.1 " + QByteArray::number(response.status) + ' ') ||
        !response.bytes.contains("\r\n\r\n"))
        fail("the answer is not an HTTP response");
    return 0;
}

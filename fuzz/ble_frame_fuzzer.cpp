// The Bluetooth frame parser on bytes that arrive in pieces of any size. Every frame it cuts
// must be exactly the bytes it took, encoded again; nothing may be taken twice or skipped.
#include "transport/ble/FrameCodec.h"
#include "transport/ble/FrameParser.h"

#include <cstdio>
#include <cstdlib>

namespace {
[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "frame parser: %s\n", what);
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte sets the size of the pieces the rest arrives in.
    const qsizetype piece = data[0] + 1;
    const QByteArray stream(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);

    FrameParser parser;
    QByteArray taken;
    qsizetype received = 0;
    bool stopped = false;
    while (received < stream.size() && !stopped) {
        const qsizetype n = std::min(piece, stream.size() - received);
        parser.append(QByteArrayView(stream).sliced(received, n));
        received += n;
        Frame frame;
        for (;;) {
            const FrameParser::Result result = parser.next(frame);
            if (result == FrameParser::Result::NeedMore) break;
            if (result == FrameParser::Result::ZeroLength) {
                stopped = true;  // the channel closes here
                break;
            }
            const std::optional<QByteArray> encoded = FrameCodec::encode(frame.type, frame.payload);
            if (!encoded) fail("a frame it cut cannot be encoded again");
            taken += *encoded;
        }
        if (taken.size() + parser.buffered() != received) fail("bytes were lost or duplicated");
    }
    if (!stream.startsWith(taken)) fail("frames differ from the bytes received");
    return 0;
}

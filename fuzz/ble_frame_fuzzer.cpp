// SPDX-License-Identifier: GPL-3.0-or-later
// The Bluetooth frame parser on bytes that arrive in pieces of any size. Every frame it cuts
// must be exactly the bytes it took, encoded again; nothing may be taken twice or skipped.
#include "FuzzCheck.h"
#include "transport/ble/FrameCodec.h"
#include "transport/ble/FrameParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte sets the size of the pieces the rest arrives in.
    const qsizetype piece = data[0] + 1;
    const QByteArray stream(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);

    FrameParser parser;
    QByteArray taken;
    Frame frame;
    for (qsizetype received = 0; received < stream.size();) {
        const qsizetype n = std::min(piece, stream.size() - received);
        parser.append(QByteArrayView(stream).sliced(received, n));
        received += n;
        FrameParser::Result result;
        while ((result = parser.next(frame)) == FrameParser::Result::Frame) {
            const std::optional<QByteArray> encoded = FrameCodec::encode(frame.type, frame.payload);
            require(encoded.has_value(), "a frame it cut can be encoded again");
            taken += *encoded;
        }
        require(taken.size() + parser.buffered() == received, "no byte is lost or duplicated");
        if (result == FrameParser::Result::ZeroLength) break;  // the channel closes here
    }
    require(stream.startsWith(taken), "the frames are the bytes received");
    return 0;
}

// The JSON router input: lines of text, one message each, from one phone, as the WebSocket
// and Bluetooth transports hand them over.
#include "RouterWorld.h"

#include <QByteArrayView>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RouterWorld& world = RouterWorld::instance();
    const std::unique_ptr<AppState> state = world.freshState();
    Router router(*state, *world.h.input, Router::Options{});
    bool closed = false;
    const std::shared_ptr<ClientSession> session = RouterWorld::phone(&closed);

    QByteArrayView rest(reinterpret_cast<const char*>(data), qsizetype(size));
    while (!rest.isEmpty() && !closed) {
        const qsizetype end = rest.indexOf('\n');
        const QByteArrayView line = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (!line.isEmpty()) router.handleText(line, session);
    }
    router.sessionEnded(*session);
    world.drain();
    world.probe();
    return 0;
}

// Binary pointer messages from an authenticated phone: the input cut into messages of nine
// bytes (the last one may be shorter), a smoothing tick after each, as on a busy network.
#include "RouterWorld.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RouterWorld& world = RouterWorld::instance();
    const std::unique_ptr<AppState> state = world.freshState();
    Router router(*state, *world.h.input, Router::Options{});
    bool closed = false;
    const std::shared_ptr<ClientSession> session = RouterWorld::phone(&closed);
    router.handleText(R"({"t":"pair","code":"4321"})", session);

    const auto* bytes = reinterpret_cast<const char*>(data);
    for (size_t at = 0; at < size; at += 9) {
        const size_t length = std::min<size_t>(9, size - at);
        router.handleBinary(QByteArrayView(bytes + at, qsizetype(length)), session);
        world.h.flush();
        world.h.tick();
        world.check(world.h.backend->takeEvents());
    }
    router.sessionEnded(*session);
    world.drain();
    world.probe();
    return 0;
}

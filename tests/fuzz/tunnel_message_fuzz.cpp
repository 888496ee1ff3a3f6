#include "fuzz_support.hpp"

#include "platform/tunnel_messages.hpp"
#include "platform/tunnel_provider_manager.hpp"

#include <QJsonDocument>

using namespace tessaron;

// A line as either end of the tunnel link reads it, taken apart the way both ends do.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto document = QJsonDocument::fromJson(fuzz::bytes(data, size));
    if (!document.isObject())
        return 0;
    const auto message = document.object();
    const auto state = tunnel_message::decodeState(message);
    fuzz::require(tunnel_message::decodeState(tunnel_message::encodeState(state)) == state,
                  "a tunnel state decodes from its own encoding to itself");
    tunnel_message::decodeIdentifier(message.value(tunnel_message::configuration));
    const auto bytes = tunnel_message::decodeData(message.value(tunnel_message::data));
    fuzz::require(tunnel_message::decodeData(tunnel_message::encodeData(bytes)) == bytes,
                  "message data decodes from its own encoding to itself");
    const auto protocol =
        TunnelProviderProtocol::fromJson(message.value(tunnel_message::protocol).toObject());
    if (protocol)
        fuzz::require(TunnelProviderProtocol::fromJson(protocol->toJson()) == protocol,
                      "a protocol decodes from its own encoding to itself");
    return 0;
}

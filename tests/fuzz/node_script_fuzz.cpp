#include "fuzz_support.hpp"

#include "node_script.hpp"

#include <QJsonDocument>

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const auto script = NodeScript::fromJson(QJsonDocument::fromJson(fuzz::bytes(data, size)).object())) {
        const auto again = NodeScript::fromJson(script->toJson());
        fuzz::require(again && again->toJson() == script->toJson(),
                      "a node script decodes from its own encoding to itself");
    }
    return 0;
}

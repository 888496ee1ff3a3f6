#include "fuzz_support.hpp"

#include "profiles/redaction.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto once = redactPersonalData(QString::fromUtf8(fuzz::bytes(data, size)));
    fuzz::require(redactPersonalData(once) == once, "one redaction gives the final text");
    return 0;
}

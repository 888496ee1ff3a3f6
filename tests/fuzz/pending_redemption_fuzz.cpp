#include "fuzz_support.hpp"

#include "profiles/pending_redemption.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto record = TessaronPendingRedemption::fromJSON(fuzz::bytes(data, size));
    if (record)
        fuzz::require(TessaronPendingRedemption::fromJSON(record->toJSON()) == record,
                      "a pending record decodes from its own encoding to itself");
    return 0;
}

#include "fuzz_support.hpp"

#include "profiles/decoding_error.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/profile_error.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const auto result = TessaronRedeemResult::decode(fuzz::bytes(data, size));
        const auto again = TessaronRedeemResult::decode(fuzz::compact(result.toJSON()));
        fuzz::require(again == result, "a redeem reply decodes from its own encoding to itself");
    } catch (const JsonDecodingError&) {
    } catch (const TessaronProfileError&) {
    }
    return 0;
}

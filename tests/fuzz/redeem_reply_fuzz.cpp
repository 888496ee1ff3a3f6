#include "fuzz_support.hpp"

#include "profiles/decoding_error.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/profile_error.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::requireReplyRoundTrip<TessaronRedeemResult, JsonDecodingError, TessaronProfileError>(
        fuzz::bytes(data, size), "a redeem reply decodes from its own encoding to itself");
    return 0;
}

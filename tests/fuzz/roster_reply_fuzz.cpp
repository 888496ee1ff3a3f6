#include "fuzz_support.hpp"

#include "profiles/decoding_error.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/profile_error.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const auto roster = TessaronRosterResponse::decode(fuzz::bytes(data, size));
        const auto again = TessaronRosterResponse::decode(fuzz::compact(roster.toJSON()));
        fuzz::require(again == roster, "a roster decodes from its own encoding to itself");
    } catch (const JsonDecodingError&) {
    } catch (const TessaronProfileError&) {
    }
    return 0;
}

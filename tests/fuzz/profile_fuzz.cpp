#include "fuzz_support.hpp"

#include "profiles/importer.hpp"
#include "profiles/profile_error.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const bool lenient : {false, true}) {
        fuzz::unlessRefused<TessaronProfileError>([&] {
            const auto profile =
                TessaronImporter::decodeInvitationJSON(fuzz::bytes(data, size), lenient, lenient);
            const auto again = TessaronImporter::decodeInvitationJSON(profile.canonicalJSON(), false, false);
            fuzz::require(again == profile, "a profile decodes from its canonical form to itself");
        });
    }
    return 0;
}

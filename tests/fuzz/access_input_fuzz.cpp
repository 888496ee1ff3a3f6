#include "fuzz_support.hpp"

#include "profiles/access_input.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto text = QString::fromUtf8(fuzz::bytes(data, size));
    const auto input = TessaronAccessInput::parse(text);
    if (input.kind() == TessaronAccessInput::Kind::invitationToken)
        fuzz::require(TessaronAccessInput::parse(input.token()) == input,
                      "a code reads back as the same code");
    if (input.kind() == TessaronAccessInput::Kind::invitationLink)
        invitationCode(input.link());
    invitationCode(QUrl(text));
    return 0;
}

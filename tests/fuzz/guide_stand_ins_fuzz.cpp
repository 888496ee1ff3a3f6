#include "fuzz_support.hpp"

#include "screens/guide/guide_stand_ins.hpp"

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const auto pieces = GuideStandIns::of(text);
    for (auto it = pieces.shown.begin(); it != pieces.shown.end(); ++it) {
        fuzz::require(!text.contains(it.key()), "a stand-in is no character of the text");
        fuzz::require(pieces.text.count(it.key()) == 1, "each stand-in stands once");
    }
    return 0;
}

#include "fuzz_support.hpp"

#include "account/device_slot.hpp"

#include <QJsonDocument>

using namespace tessaron;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto document = QJsonDocument::fromJson(fuzz::bytes(data, size));
    const auto refusal = TessaronDeviceSlotError::fromReply(409, document.object());
    if (refusal && refusal->locked())
        TessaronDeviceSlotError::cooldownText(refusal->slot(), refusal->locked()->nextSwapAt, QLocale::c(),
                                              QTimeZone::utc());
    return 0;
}

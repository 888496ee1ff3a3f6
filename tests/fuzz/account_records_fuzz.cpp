#include "fuzz_support.hpp"

#include "account/reply_records.hpp"
#include "profiles/decoding_error.hpp"
#include "profiles/profile_error.hpp"

#include <QJsonArray>
#include <QJsonDocument>

using namespace tessaron;

namespace {

template <typename Record> void requireRoundTrip(const QJsonValue& value, const char* property) {
    fuzz::unlessRefused<JsonDecodingError>([&] {
        const auto record = Record::fromJSON(value);
        fuzz::require(Record::fromJSON(record.toJSON()) == record, property);
    });
}

template <typename... Records> void decodeEach(const QJsonValue& value) {
    (fuzz::unlessRefused<JsonDecodingError, TessaronProfileError>([&] { Records::fromJSON(value); }), ...);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto document = QJsonDocument::fromJson(fuzz::bytes(data, size));
    const QJsonValue value =
        document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    requireRoundTrip<TessaronAccount>(value, "an account decodes from its own encoding to itself");
    requireRoundTrip<TessaronProviders>(value, "providers decode from their own encoding to themselves");
    decodeEach<TessaronAuthSession, TessaronEmailChallenge, TessaronOAuthStart, TessaronProfileEnvelope,
               TessaronSubscriptionLink, TessaronSubscriptionLinkStatus>(value);
    return 0;
}

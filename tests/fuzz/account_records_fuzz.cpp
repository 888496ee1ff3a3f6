#include "fuzz_support.hpp"

#include "account/reply_records.hpp"
#include "profiles/decoding_error.hpp"
#include "profiles/profile_error.hpp"

#include <QJsonArray>
#include <QJsonDocument>

using namespace tessaron;

namespace {

template <typename Record> void decodeIgnoringRefusal(const QJsonValue& value) {
    try {
        Record::fromJSON(value);
    } catch (const JsonDecodingError&) {
    } catch (const TessaronProfileError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto document = QJsonDocument::fromJson(fuzz::bytes(data, size));
    const QJsonValue value =
        document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    try {
        const auto account = TessaronAccount::fromJSON(value);
        fuzz::require(TessaronAccount::fromJSON(account.toJSON()) == account,
                      "an account decodes from its own encoding to itself");
    } catch (const JsonDecodingError&) {
    }
    try {
        const auto providers = TessaronProviders::fromJSON(value);
        fuzz::require(TessaronProviders::fromJSON(providers.toJSON()) == providers,
                      "providers decode from their own encoding to themselves");
    } catch (const JsonDecodingError&) {
    }
    decodeIgnoringRefusal<TessaronAuthSession>(value);
    decodeIgnoringRefusal<TessaronEmailChallenge>(value);
    decodeIgnoringRefusal<TessaronOAuthStart>(value);
    decodeIgnoringRefusal<TessaronProfileEnvelope>(value);
    decodeIgnoringRefusal<TessaronSubscriptionLink>(value);
    decodeIgnoringRefusal<TessaronSubscriptionLinkStatus>(value);
    return 0;
}

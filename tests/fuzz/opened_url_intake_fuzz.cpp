#include "fuzz_support.hpp"

#include "app/instance_forwarder.hpp"
#include "app/launch_arguments.hpp"

using namespace tessaron;

namespace {

bool echoesNothingRaw(const QString& text) {
    return std::ranges::none_of(text.toUcs4(), [](char32_t point) {
        return point != U'\n' && (!QChar::isPrint(point) || (point != U' ' && QChar::isSpace(point)));
    });
}

// Read back from its own line, a request makes that line again. (QUrl's equality is no help here: it tells a
// '#' kept in a fragment from the same '#' encoded, though both encode alike.)
bool readsBack(const InstanceRequest& request) {
    const auto again = InstanceRequest::read(request.line().chopped(1));
    return again && again->line() == request.line();
}

// The input as a line handed to the running instance.
void handOver(const QByteArray& line) {
    const auto request = InstanceRequest::read(line);
    if (!request)
        return;
    fuzz::require(!request->url || OpenedUrlRouter::takes(*request->url), "only a URL taken is opened");
    fuzz::require(request->line().size() <= InstanceRequest::longestLine + 1, "a request fits a line");
    fuzz::require(readsBack(*request), "a request reads back");
}

// The input as the argument of a start; what it takes reaches the running instance unchanged.
void launch(const QString& argument) {
    const auto parsed = LaunchArguments::parse({argument});
    if (const auto* error = std::get_if<QString>(&parsed)) {
        fuzz::require(echoesNothingRaw(*error), "the usage text shows no control character raw");
        return;
    }
    const InstanceRequest request{std::get<LaunchArguments>(parsed).url};
    fuzz::require(request.url && OpenedUrlRouter::takes(*request.url), "only a URL taken is launched");
    fuzz::require(readsBack(request), "the hand-over carries it whole");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::QuietLog quiet;
    const auto input = fuzz::bytes(data, size);
    handOver(input);
    launch(QString::fromUtf8(input));
    return 0;
}

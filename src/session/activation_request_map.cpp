#include "session/activation_request_map.hpp"

namespace tessaron {

void ActivationRequestMap::insert(std::shared_ptr<SystemExtensionRequest> request, const QUuid& id) {
    std::lock_guard guard(lock_);
    tokens_.insert(request.get(), id);
    requests_.insert(id, std::move(request));
}

std::optional<QUuid> ActivationRequestMap::id(const SystemExtensionRequest& request) const {
    std::lock_guard guard(lock_);
    const auto token = tokens_.constFind(&request);
    if (token == tokens_.cend())
        return std::nullopt;
    return *token;
}

void ActivationRequestMap::removeAll() {
    std::lock_guard guard(lock_);
    requests_.clear();
    tokens_.clear();
}

} // namespace tessaron

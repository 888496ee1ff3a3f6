#pragma once

#include "platform/system_extension_requests.hpp"

#include <QHash>
#include <QUuid>

#include <memory>
#include <mutex>
#include <optional>

namespace tessaron {

// The requests of the running attempt and the id each was submitted under. Answers name the request
// object, so this is how an answer finds its id; it may be asked from the thread the answer arrives on.
class ActivationRequestMap {
public:
    void insert(std::shared_ptr<SystemExtensionRequest> request, const QUuid& id);
    // None for a request that is not, or no longer, in the map.
    std::optional<QUuid> id(const SystemExtensionRequest& request) const;
    void removeAll();

private:
    mutable std::mutex lock_;
    // Holding the requests keeps their identities from being reused while they are mapped.
    QHash<QUuid, std::shared_ptr<SystemExtensionRequest>> requests_;
    QHash<const SystemExtensionRequest*, QUuid> tokens_;
};

} // namespace tessaron

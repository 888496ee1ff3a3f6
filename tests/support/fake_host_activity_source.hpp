#pragma once

#include "platform/host_activity_source.hpp"

#include <map>

namespace tessaron::testing {

// Host activity sent by the test.
class FakeHostActivitySource final : public HostActivitySource {
public:
    std::unique_ptr<Observation> observe(Observer observer) override {
        const auto id = nextId_++;
        observers_.emplace(id, std::move(observer));
        return std::make_unique<Registration>(*this, id);
    }

    void send(Event event) {
        // On a copy: an observer may end its own observation or another's.
        for (const auto& [id, observer] : std::map(observers_))
            observer(event);
    }

    int observerCount() const { return static_cast<int>(observers_.size()); }

private:
    struct Registration final : Observation {
        Registration(FakeHostActivitySource& source, int id)
            : source(source)
            , id(id) {}
        ~Registration() override { source.observers_.erase(id); }

        FakeHostActivitySource& source;
        int id;
    };

    std::map<int, Observer> observers_;
    int nextId_ = 1;
};

} // namespace tessaron::testing

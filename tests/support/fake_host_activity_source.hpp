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
        const auto observers = observers_;
        for (const auto& [id, observer] : observers)
            observer(event);
    }

    int observerCount() const { return static_cast<int>(observers_.size()); }

private:
    class Registration final : public Observation {
    public:
        Registration(FakeHostActivitySource& source, int id)
            : source_(source)
            , id_(id) {}
        ~Registration() override { source_.observers_.erase(id_); }

    private:
        FakeHostActivitySource& source_;
        int id_;
    };

    std::map<int, Observer> observers_;
    int nextId_ = 1;
};

} // namespace tessaron::testing

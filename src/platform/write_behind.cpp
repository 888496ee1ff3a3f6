#include "platform/write_behind.hpp"

namespace tessaron {

WriteBehind::WriteBehind(std::function<void()> write, std::chrono::milliseconds gathering)
    : write_(std::move(write))
    , gathering_(gathering)
    , thread_([this] { run(); }) {}

WriteBehind::~WriteBehind() {
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void WriteBehind::request() {
    {
        std::lock_guard guard(mutex_);
        ++requested_;
    }
    wake_.notify_one();
}

void WriteBehind::flush() {
    std::unique_lock lock(mutex_);
    const auto wanted = requested_;
    if (served_ == wanted)
        return;
    urgent_ = true;
    wake_.notify_one();
    written_.wait(lock, [&] { return served_ >= wanted; });
}

void WriteBehind::waitForWork(std::unique_lock<std::mutex>& lock) {
    wake_.wait(lock, [&] { return stopping_ || requested_ != served_; });
    if (requested_ == served_)
        return;
    wake_.wait_for(lock, gathering_, [&] { return stopping_ || urgent_; });
}

void WriteBehind::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        waitForWork(lock);
        if (requested_ == served_)
            return;
        // Requests made from here on may come after the write has read the state: they wait for the next.
        const auto serving = requested_;
        urgent_ = false;
        lock.unlock();
        write_();
        lock.lock();
        served_ = serving;
        written_.notify_all();
    }
}

} // namespace tessaron

#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tessaron {

// Runs a slow write on a thread of its own, so that the thread that asks for it never waits for the disk.
// Requests that come while one is pending, or while a write runs, are served by one write: `write` stores
// the latest state, not a change, and so one write covers them all. A write starts `gathering` after the
// request that found none pending, so that a burst of changes costs one write.
class WriteBehind {
public:
    // `write` runs on the writer's thread, one at a time.
    WriteBehind(std::function<void()> write, std::chrono::milliseconds gathering);
    // Runs the write still asked for, then ends the thread.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Never waits for a write in progress.
    void request();
    // Returns once a write that started after this call has ended, at once when nothing was asked for.
    void flush();

private:
    void run();
    void waitForWork(std::unique_lock<std::mutex>& lock);

    const std::function<void()> write_;
    const std::chrono::milliseconds gathering_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    // Requests are counted; `served_` is the count the last finished write started after.
    std::uint64_t requested_ = 0;
    std::uint64_t served_ = 0;
    // A flush or the end skips the rest of the gathering pause.
    bool urgent_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace tessaron

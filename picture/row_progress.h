// How many rows of a picture being decoded are finished, told by the decoding thread to a
// thread that reads the rows as they come. The decoding thread only stores a count: it never
// wakes the reader, which would cost it a system call (and, on a virtual machine, an exit to
// the host) each time. The reader looks now and then, and keeps watching near the end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

/// Watches for `done` to become true, for up to `time`, without leaving the processor; returns
/// whether it did. For waits expected to be shorter than a sleeping thread takes to wake.
template <class Done>
bool WatchFor(Done done, std::chrono::microseconds time) {
    const auto until = std::chrono::steady_clock::now() + time;
    do {
        for (int i = 0; i < 64; ++i) {
            if (done()) return true;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
    } while (std::chrono::steady_clock::now() < until);
    return done();
}

class RowProgress {
public:
    /// Rows [0, rows) are finished and will not change again.
    void Publish(std::uint32_t rows) { rows_.store(rows, std::memory_order_release); }

    std::uint32_t Ready() const { return rows_.load(std::memory_order_acquire); }

    /// Waits until at least `rows` rows are finished; returns how many are. It looks every
    /// 100 microseconds; when the rows are expected `soon`, it first watches for up to 2 ms,
    /// so as to go on the moment they are there.
    std::uint32_t WaitFor(std::uint32_t rows, bool soon) {
        std::uint32_t have = Ready();
        if (have < rows && soon) WatchFor([&] { return (have = Ready()) >= rows; }, kWatch);
        while (have < rows) {
            std::this_thread::sleep_for(kNap);
            have = Ready();
        }
        return have;
    }

private:
    static constexpr std::chrono::microseconds kNap{100};
    static constexpr std::chrono::milliseconds kWatch{2};

    std::atomic<std::uint32_t> rows_{0};
};

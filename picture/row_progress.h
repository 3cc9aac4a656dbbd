// How many rows of a picture being decoded are finished, told by the decoding thread to a
// thread that reads the rows as they come. The decoding thread only stores a count: it never
// wakes the reader, which would cost it a system call (and, on a virtual machine, an exit to
// the host) each time. The reader looks now and then, and keeps watching near the end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

class RowProgress {
public:
    /// Rows [0, rows) are finished and will not change again.
    void Publish(std::uint32_t rows) { rows_.store(rows, std::memory_order_release); }

    std::uint32_t Ready() const { return rows_.load(std::memory_order_acquire); }

    /// Waits until at least `rows` rows are finished; returns how many are. While rows are
    /// still far off it looks every `nap`; when they are expected `soon`, it watches for a
    /// while first, so as to go on the moment they are there.
    std::uint32_t WaitFor(std::uint32_t rows, bool soon) {
        std::uint32_t have = Ready();
        if (have < rows && soon) {
            const auto until = std::chrono::steady_clock::now() + kWatch;
            do {
                for (int i = 0; i < 64 && have < rows; ++i) {
                    Pause();
                    have = Ready();
                }
            } while (have < rows && std::chrono::steady_clock::now() < until);
        }
        while (have < rows) {
            std::this_thread::sleep_for(kNap);
            have = Ready();
        }
        return have;
    }

private:
    static constexpr std::chrono::microseconds kNap{100};
    static constexpr std::chrono::milliseconds kWatch{2};

    static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    std::atomic<std::uint32_t> rows_{0};
};

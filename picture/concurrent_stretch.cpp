#include "picture/concurrent_stretch.h"

#include "picture/stretch.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

struct ConcurrentStretch::Job {
    QImage source;
    QSize size;
    std::uint32_t height = 0;  // the source's rows, read by both threads
    RowProgress rows;
    QImage result;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
};

namespace {

using Job = ConcurrentStretch::Job;

constexpr std::chrono::milliseconds kWatchDone{1};

std::atomic<bool> allowed{true};

int ProcessorsAvailable() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return CPU_COUNT(&set);
}

// One thread for the whole process, started on first use and asleep between pictures. Never
// destroyed: it holds nothing but the job it is given, and every job is waited for.
class ScalingThread {
public:
    /// Null when scaling beside the decoder cannot help or cannot be had.
    static ScalingThread* Get() {
        static ScalingThread* const thread = Make();
        return thread;
    }

    bool Submit(std::shared_ptr<Job> job) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (job_) return false;
            job_ = std::move(job);
        }
        wake_.notify_one();
        return true;
    }

private:
    static ScalingThread* Make() {
        if (ProcessorsAvailable() < 2) return nullptr;
        auto* thread = new ScalingThread;
        // Started with every signal blocked, which it keeps: signals go to the threads that
        // expect them.
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        bool started = true;
        try {
            std::thread([thread] {
                pthread_setname_np(pthread_self(), "camview-scale");
                thread->Run();
            }).detach();
        } catch (const std::system_error&) {
            started = false;
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        if (started) return thread;
        delete thread;
        return nullptr;
    }

    [[noreturn]] void Run() {
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return job_ != nullptr; });
                job = job_;
            }
            try {
                job->result = StretchPicture(job->source, job->size, &job->rows);
            } catch (...) {
                job->failure = std::current_exception();
            }
            {
                // Free for the next picture before this one is reported done.
                const std::lock_guard<std::mutex> lock(mutex_);
                job_.reset();
            }
            job->done.store(true);
            job->done.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::shared_ptr<Job> job_;
};

// The paint waits here for the rows made after the last one was decoded: a few microseconds,
// about what a sleeping thread takes to wake, so it watches for a while before it sleeps.
void WaitDone(Job& job) {
    if (WatchFor([&] { return job.done.load(); }, kWatchDone)) return;
    while (!job.done.load()) job.done.wait(false);
}

}  // namespace

ConcurrentStretch::~ConcurrentStretch() {
    if (!job_) return;
    job_->rows.Publish(job_->height);
    WaitDone(*job_);
}

bool ConcurrentStretch::Start(const QImage& source, QSize size) {
    if (job_ || !allowed) return false;
    ScalingThread* thread = ScalingThread::Get();
    if (!thread) return false;
    auto job = std::make_shared<Job>();
    job->source = source;
    job->size = size;
    job->height = std::uint32_t(source.height());
    if (!thread->Submit(job)) return false;
    job_ = std::move(job);
    return true;
}

void ConcurrentStretch::Allow(bool allow) { allowed = allow; }

RowProgress& ConcurrentStretch::Rows() { return job_->rows; }

QImage ConcurrentStretch::Finish() {
    const std::shared_ptr<Job> job = std::move(job_);
    job->rows.Publish(job->height);
    WaitDone(*job);
    if (job->failure) std::rethrow_exception(job->failure);
    return std::move(job->result);
}

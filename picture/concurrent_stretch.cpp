#include "picture/concurrent_stretch.h"

#include "picture/stretch.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <cassert>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <memory>
#include <thread>

struct ConcurrentStretch::Job {
    QImage source;
    QSize size;
    RowProgress rows;
    QImage result;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
};

namespace {

using Job = ConcurrentStretch::Job;

constexpr std::chrono::milliseconds kWatchDone{1};

std::atomic<bool> allowed{true};

std::atomic<bool> forkedChild{false};
std::atomic<long> started{0};

// While it lives, the calling thread blocks the signals the process may be sent, so that a
// thread started meanwhile inherits them blocked and they go to the threads that expect them.
// Those a fault raises in the faulting thread itself stay open.
class ProcessSignalsBlocked {
public:
    ProcessSignalsBlocked() {
        sigset_t set;
        sigfillset(&set);
        for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT}) sigdelset(&set, fault);
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~ProcessSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    ProcessSignalsBlocked(const ProcessSignalsBlocked&) = delete;
    ProcessSignalsBlocked& operator=(const ProcessSignalsBlocked&) = delete;

private:
    sigset_t old_;
};

int ProcessorsAvailable() {
    cpu_set_t set;
    CPU_ZERO(&set);
    // More processors than the set holds fails; there are then plenty.
    if (sched_getaffinity(0, sizeof set, &set) != 0) return int(std::thread::hardware_concurrency());
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
        std::unique_ptr<ScalingThread> thread(new ScalingThread);
        {
            const ProcessSignalsBlocked blocked;
            try {
                std::thread([worker = thread.get()] {
                    pthread_setname_np(pthread_self(), "camview-scale");
                    worker->Run();
                }).detach();
            } catch (...) {
                return nullptr;
            }
        }
        // A child made by fork has no such thread: it scales after decoding.
        pthread_atfork(nullptr, nullptr, [] { forkedChild = true; });
        return thread.release();
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
    if (job_) Complete(*job_);
}

void ConcurrentStretch::Complete(Job& job) {
    job.rows.Publish(std::uint32_t(job.source.height()));
    WaitDone(job);
}

bool ConcurrentStretch::Start(const QImage& source, QSize size) {
    if (job_ || !allowed || forkedChild) return false;
    ScalingThread* thread = ScalingThread::Get();
    if (!thread) return false;
    auto job = std::make_shared<Job>();
    job->source = source;
    job->size = size;
    if (!thread->Submit(job)) return false;
    job_ = std::move(job);
    ++started;
    return true;
}

void ConcurrentStretch::Allow(bool allow) { allowed = allow; }

long ConcurrentStretch::StartCount() { return started; }

RowProgress& ConcurrentStretch::Rows() {
    assert(job_);
    return job_->rows;
}

QImage ConcurrentStretch::Finish() {
    assert(job_);
    const std::shared_ptr<Job> job = std::move(job_);
    Complete(*job);
    if (job->failure) std::rethrow_exception(job->failure);
    return std::move(job->result);
}

// Scaling a picture on a second processor while the first is still decoding it: each output
// row is made once the source rows under it are finished, so that when the last row has been
// decoded the scaled copy is all but done.
#pragma once

#include "picture/row_progress.h"

#include <QImage>
#include <QSize>

#include <memory>

class ConcurrentStretch {
public:
    ConcurrentStretch() = default;
    /// Waits for a scaling still under way (the rows not yet finished are then read as they
    /// are) and drops its result.
    ~ConcurrentStretch();
    ConcurrentStretch(const ConcurrentStretch&) = delete;
    ConcurrentStretch& operator=(const ConcurrentStretch&) = delete;

    /// Starts scaling `source` to `size` on the scaling thread, which reads a row only once
    /// Rows() has it; `source`'s memory must live until Finish. Returns false, and starts
    /// nothing, when the process has a single processor, no thread can be had, or the thread
    /// is busy: the caller then scales after decoding. Raises std::bad_alloc, having started
    /// nothing, when memory runs out.
    bool Start(const QImage& source, QSize size);
    bool Started() const { return job_ != nullptr; }
    /// Where the decoder tells how many rows are finished. Only once started.
    RowProgress& Rows();

    /// Marks every row finished, waits for the scaling, and returns it; rethrows what the
    /// scaling raised (std::bad_alloc). Only once started.
    QImage Finish();

    /// For tests and measurements: false makes every Start fail from then on.
    static void Allow(bool allow);
    /// For tests: how many scalings have started in this process.
    static long StartCount();

    struct Job;

private:
    /// Marks every row finished and waits for the scaling.
    static void Complete(Job& job);

    std::shared_ptr<Job> job_;
};

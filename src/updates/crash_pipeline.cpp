#include "updates/crash_pipeline.hpp"

namespace tessaron {

namespace {

QCoro::Task<> drainIfAlive(std::weak_ptr<TessaronCrashPipeline> weak) {
    if (const auto pipeline = weak.lock())
        co_await pipeline->drain();
}

} // namespace

TessaronCrashPipeline::TessaronCrashPipeline(std::shared_ptr<TessaronCrashReportStore> store,
                                             UploaderFactory uploader,
                                             std::shared_ptr<TessaronCrashReportSource> source,
                                             CancellationToken stopping)
    : store_(std::move(store))
    , makeUploader_(std::move(uploader))
    , source_(std::move(source))
    , stopping_(std::move(stopping)) {}

QCoro::Task<> TessaronCrashPipeline::activate(Schedule schedule) {
    const auto self = shared_from_this();
    const std::weak_ptr<TessaronCrashPipeline> weak = self;
    // A batch that arrives once the pipeline is gone stays with its source.
    auto deliver = [weak, schedule](QList<TessaronCrashReport> batch) {
        const auto pipeline = weak.lock();
        if (!pipeline)
            return false;
        const bool stored = pipeline->keep(batch);
        // Stored while the source starts: the activation's own drain, which follows, offers it.
        if (!pipeline->starting_.load())
            schedule([weak] { return drainIfAlive(weak); });
        return stored;
    };
    bool first = false;
    {
        std::lock_guard guard(lock_);
        first = !std::exchange(registered_, true);
    }
    if (first) {
        starting_.store(true);
        source_->start(std::move(deliver));
        starting_.store(false);
    }
    co_await drain();
}

bool TessaronCrashPipeline::keep(const QList<TessaronCrashReport>& batch) {
    bool stored = true;
    for (const auto& report : batch)
        stored = store_->save(report) && stored;
    return stored;
}

QCoro::Task<> TessaronCrashPipeline::drain() {
    const auto self = shared_from_this();
    QList<TessaronCrashReport> pending;
    {
        std::lock_guard guard(lock_);
        pending = claimPending();
    }
    for (const auto& report : pending) {
        // Once the worker stops, the rest stay stored for the next launch.
        bool accepted = false;
        if (!stopping_.isCancelled())
            accepted = co_await uploader().upload(report, stopping_);
        std::lock_guard guard(lock_);
        inFlight_.remove(report.id);
        if (accepted)
            store_->remove(report.id);
    }
}

QList<TessaronCrashReport> TessaronCrashPipeline::claimPending() {
    QList<TessaronCrashReport> pending;
    for (const auto& report : store_->loadAll()) {
        if (!inFlight_.contains(report.id)) {
            pending.append(report);
            inFlight_.insert(report.id);
        }
    }
    return pending;
}

TessaronCrashReportUploader& TessaronCrashPipeline::uploader() {
    if (!uploader_)
        uploader_ = makeUploader_();
    return *uploader_;
}

void TessaronCrashPipeline::releaseUploader() {
    uploader_.reset();
}

} // namespace tessaron

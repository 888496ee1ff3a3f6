#include "updates/crash_reporter.hpp"

#include "platform/bundle_info.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/build_label.hpp"
#include "profiles/upgrade_gate.hpp"

#include <QCoreApplication>

#include <utility>

namespace tessaron {

namespace {

// The pairing service's uploader with the transport it owns, both on the worker's thread.
class OwnTransportUploader final : public TessaronCrashReportUploader {
public:
    OwnTransportUploader()
        : uploader_(
              BundleInfo::main().pairingBaseURL(), transport_, clock_,
              [](int status, std::optional<QByteArray> body) {
                  TessaronServerUpgradeGate::shared().report(status, std::move(body));
              },
              [] { return clientBuildLabel(); }) {}

    QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken cancellation) override {
        return uploader_.upload(std::move(report), std::move(cancellation));
    }

private:
    // The worker thread's own: the main thread's clock cannot time this thread's exchange. Made before the
    // transport, so it is still there when the transport's end resumes an upload that then unschedules its
    // bound.
    SystemClock clock_;
    QtHttpTransport transport_;
    PairingCrashUploader uploader_;
};

} // namespace

TessaronCrashReporter::TessaronCrashReporter() = default;

TessaronCrashReporter::~TessaronCrashReporter() = default;

TessaronCrashReporter& TessaronCrashReporter::shared() {
    // Never destroyed: crash reporting lasts as long as the process. Its worker ends with the event loop,
    // before the objects it uses go away.
    static TessaronCrashReporter* const reporter = [] {
        auto* made = new TessaronCrashReporter();
        if (auto* application = QCoreApplication::instance()) {
            QObject::connect(application, &QCoreApplication::aboutToQuit, application,
                             [made] { made->stop(quitPatience); });
        }
        return made;
    }();
    return *reporter;
}

void TessaronCrashReporter::start(CrashReportingParts parts) {
    const auto environment = parts.environment.value_or(QProcessEnvironment::systemEnvironment());
    if (environment.contains(testHarnessVariable))
        return;
    std::shared_ptr<TessaronCrashPipeline> pipeline;
    {
        std::lock_guard guard(lock_);
        if (stopped_)
            return;
        pipeline = pipelineFrom(std::move(parts));
    }
    activate(std::move(pipeline));
}

void TessaronCrashReporter::activate(std::shared_ptr<TessaronCrashPipeline> pipeline) {
    enqueue([this, pipeline] {
        return pipeline->activate([this](TessaronCrashPipeline::Step step) { enqueue(std::move(step)); });
    });
}

SerialWorker* TessaronCrashReporter::worker() {
    std::lock_guard guard(lock_);
    return worker_.get();
}

void TessaronCrashReporter::enqueue(TessaronCrashPipeline::Step step) {
    // Made once and kept until the reporter goes, so the pointer outlives the lock.
    if (auto* running = worker())
        running->enqueue(std::move(step));
}

bool TessaronCrashReporter::waitForIdle(std::chrono::milliseconds timeout) {
    auto* running = worker();
    return !running || running->waitForIdle(timeout);
}

bool TessaronCrashReporter::stop(std::chrono::milliseconds patience) {
    SerialWorker* running = nullptr;
    {
        std::lock_guard guard(lock_);
        stopped_ = true;
        running = worker_.get();
    }
    return !running || running->stop(patience);
}

std::shared_ptr<TessaronCrashPipeline> TessaronCrashReporter::pipelineFrom(CrashReportingParts parts) {
    if (pipeline_)
        return pipeline_;
    worker_ = std::make_unique<SerialWorker>();
    auto store = parts.store ? parts.store : std::make_shared<FileCrashReportStore>();
    auto uploader = parts.uploader ? parts.uploader : [] {
        return std::make_unique<OwnTransportUploader>();
    };
    auto context = parts.context ? std::move(parts.context) : &CrashReportContext::standard;
    auto source = parts.source ? parts.source
                               : std::make_shared<SpoolCrashSource>(FileCrashReportStore::defaultDirectory(),
                                                                    std::move(context));
    pipeline_ = std::make_shared<TessaronCrashPipeline>(std::move(store), std::move(uploader),
                                                        std::move(source), worker_->stopping());
    worker_->setTeardown([pipeline = pipeline_] { pipeline->releaseUploader(); });
    return pipeline_;
}

} // namespace tessaron

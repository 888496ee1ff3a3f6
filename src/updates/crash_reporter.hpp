#pragma once

#include "updates/crash_pipeline.hpp"
#include "updates/serial_worker.hpp"

#include <QProcessEnvironment>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace tessaron {

// What crash reporting is built from; each part left empty takes the application's own.
struct CrashReportingParts {
    std::optional<QProcessEnvironment> environment;
    std::shared_ptr<TessaronCrashReportSource> source;
    TessaronCrashPipeline::UploaderFactory uploader;
    std::shared_ptr<TessaronCrashReportStore> store;
    // Where the application's own source takes the values its reports lack (CrashReportContext::standard).
    SpoolCrashSource::ContextSource context;
};

// The start of crash reporting: builds the pipeline once and runs its steps on a worker thread of its
// own, never on the main thread, so reading the spools and uploading hold up no picture. Reports found at
// start are sent at once; later crashes at the next launch. The thread is made with the pipeline, so a
// reporter that never starts costs no thread.
class TessaronCrashReporter {
public:
    // Set by the test harness: no test that builds a session starts crash reporting.
    static inline const QString testHarnessVariable = QStringLiteral("XCTestConfigurationFilePath");

    TessaronCrashReporter();
    ~TessaronCrashReporter();
    TessaronCrashReporter(const TessaronCrashReporter&) = delete;
    TessaronCrashReporter& operator=(const TessaronCrashReporter&) = delete;

    // The process's reporter, created on first use; its worker stops when the application quits.
    static TessaronCrashReporter& shared();

    // Returns at once, and reads no file: the report context is read on the worker. With the test-harness
    // variable set (even empty), or once stopped, does nothing. Otherwise builds the pipeline on the first
    // call, under the reporter's lock, and schedules an activation: the source is started once, and every
    // activation drains the stored reports.
    void start(CrashReportingParts parts = {});
    // Schedules `step` after every step scheduled before it.
    void enqueue(TessaronCrashPipeline::Step step);
    // True once every scheduled step has run; false when `timeout` passes first.
    bool waitForIdle(std::chrono::milliseconds timeout);
    // How long quitting waits for the worker.
    static constexpr std::chrono::milliseconds quitPatience{1000};

    // Cancels the running upload and ends the worker, waiting at most `patience`; nothing runs afterwards.
    bool stop(std::chrono::milliseconds patience);

private:
    // The caller holds lock_.
    std::shared_ptr<TessaronCrashPipeline> pipelineFrom(CrashReportingParts parts);
    void activate(std::shared_ptr<TessaronCrashPipeline> pipeline);
    SerialWorker* worker();

    std::mutex lock_;
    std::unique_ptr<SerialWorker> worker_;
    std::shared_ptr<TessaronCrashPipeline> pipeline_;
    bool stopped_ = false;
};

} // namespace tessaron

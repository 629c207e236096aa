#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Error.h"
#include "job/JobPlan.h"
#include "pdf/DocumentWriter.h"

namespace folder2pdf {

// What a run did: the document, its pages and bytes, and the pictures left
// out because the front end answered Skip for them.
struct JobResult {
    std::string path;
    std::int32_t pages = 0;
    std::int64_t bytes = 0;
    std::vector<Error> skipped;
    bool stopped = false;  // ended by a stop request; nothing written
    // Under a size limit, what the run chose for the photographs' pages.
    int jpegQuality = 0;
    double pictureScale = 1.0;
};

// What the front end answers when a picture can't be made a page.
enum class FailureAnswer {
    Retry,  // try the same picture again (the user mended or closed something)
    Skip,   // leave it out and go on with the next
    Stop,   // end the run with that error: nothing written
};

// Everything a run tells its front end, and the one question it asks. An
// index counts pages (pagesOf() the plan's pictures), from 0. Every
// front end implements it: the command line prints, the windows show, tests
// record. The calls come from the thread that runs runJob(), in this order:
// started, then for each page pagePrepared and pageWritten (or
// pictureFailed), then finished or stopped; none when the run fails.
class JobEvents {
  public:
    virtual ~JobEvents() = default;

    virtual void started(std::int32_t pictures) { (void)pictures; }
    virtual void pagePrepared(std::int32_t index) { (void)index; }
    // `bytes`: the document's length so far.
    virtual void pageWritten(std::int32_t index, std::int64_t bytes) {
        (void)index;
        (void)bytes;
    }
    // Picture `index` failed with `error` (which names the file).
    virtual FailureAnswer pictureFailed(std::int32_t index, const Error& error) {
        (void)index;
        (void)error;
        return FailureAnswer::Stop;
    }
    virtual void finished(const JobResult& result) { (void)result; }
    virtual void stopped(std::int32_t pagesDone) { (void)pagesDone; }
    // Polled before each picture and before the document is put in place;
    // true ends the run, writing nothing. May be asked from another thread
    // than the front end's own.
    virtual bool stopRequested() { return false; }
};

// Runs `plan` into `writer` (made for plan.output with plan.options):
// prepares the pages on plan.workers threads, hands them to the writer in
// plan order and puts the document in place. Throws the Error that ended
// it: a picture answered with Stop, or the writer's; an earlier document
// then stays as it was. When the writer fails with ErrorReason::InUse the
// finished document waits in the writer for a retry (DocumentWriter).
JobResult runJob(const JobPlan& plan, DocumentWriter& writer, JobEvents& events);

// The same into a new document writer for plan.output, once checkOutput()
// has let it; under plan.options.maxSize, through the size search
// (runJobWithin()).
JobResult runJob(const JobPlan& plan, JobEvents& events);

}  // namespace folder2pdf

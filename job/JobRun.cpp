#include "job/JobRun.h"

#include "common/Checked.h"
#include "job/PagePipeline.h"
#include "job/SizeSearch.h"
#include "pdf/pdf.h"

namespace folder2pdf {
namespace {

// Takes page `index` from the pipeline, asking the front end what to do
// while it fails: the page, or nullptr when it is to be skipped.
const PreparedPage* takePage(PagePipeline& pipeline, std::int32_t index, JobEvents& events,
                             JobResult& result) {
    const auto k = static_cast<std::size_t>(index);
    for (bool again = false;; again = true) {
        try {
            return again ? &pipeline.retake(k) : &pipeline.take(k);
        } catch (const Error& error) {
            switch (events.pictureFailed(index, error)) {
                case FailureAnswer::Retry:
                    continue;
                case FailureAnswer::Skip:
                    result.skipped.push_back(error);
                    return nullptr;
                case FailureAnswer::Stop:
                    throw;
            }
        }
    }
}

}  // namespace

JobResult runJob(const JobPlan& plan, DocumentWriter& writer, JobEvents& events) {
    JobResult result;
    result.path = plan.output;
    std::vector<Picture> pages = pagesOf(plan.pictures);
    const std::int32_t count = checkedInt32(pages.size());
    events.started(count);
    // Workers read and decode the pictures ahead of the loop, which hands
    // them to the writer in plan order.
    PagePipeline pipeline(std::move(pages), plan.workers, plan.options);
    for (std::int32_t k = 0; k < count; ++k) {
        if (events.stopRequested()) {
            result.stopped = true;
            events.stopped(k);
            return result;
        }
        const PreparedPage* page = takePage(pipeline, k, events, result);
        if (page == nullptr) {
            continue;
        }
        events.pagePrepared(k);
        writer.pageOBJ(*page);
        ++result.pages;
        events.pageWritten(k, writer.size());
    }
    if (result.pages == 0 && count > 0) {
        throw Error(result.skipped.front().reason(),
                    "none of the pictures could be read; nothing written");
    }
    // A request that came during the last picture still keeps the file untouched.
    if (events.stopRequested()) {
        result.stopped = true;
        events.stopped(count);
        return result;
    }
    writer.makePDF();
    result.bytes = writer.size();
    events.finished(result);
    return result;
}

JobResult runJob(const JobPlan& plan, JobEvents& events) {
    checkOutput(plan);
    if (plan.options.maxSize > 0) {
        return runJobWithin(plan, events);
    }
    const std::unique_ptr<DocumentWriter> writer = newPdfWriter(plan.output, plan.options);
    return runJob(plan, *writer, events);
}

}  // namespace folder2pdf

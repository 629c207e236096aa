#include "job/FolderJob.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "common/Checked.h"
#include "common/Error.h"
#include "common/Path.h"
#include "common/System.h"

namespace folder2pdf {

FolderJob::FolderJob(JobView& view, std::string programFolder, Listing listing,
                     WriterFactory newWriter)
    : view_(view),
      programFolder_(std::move(programFolder)),
      listing_(std::move(listing)),
      newWriter_(std::move(newWriter)) {}

FolderJob::~FolderJob() = default;

void FolderJob::openFolder() {
    if (running_) {
        return;
    }
    const std::string chosen = view_.chooseFolder(programFolder_);
    if (chosen.empty()) {
        return;
    }
    takePlan(planFolder(chosen, listing_), true);
}

void FolderJob::openFolderFiles(const std::string& folder, std::vector<std::string> names) {
    if (running_) {
        return;
    }
    std::sort(names.begin(), names.end(), naturalLess);
    takePlan(planFolder(folder, [&names](const std::string&) { return names; }), false);
}

void FolderJob::setDocument(std::string path) {
    if (!running_ && !path.empty()) {
        abandonDocument();
        givenDocument_ = std::move(path);
    }
}

void FolderJob::takePlan(JobPlan plan, bool whole) {
    // Everything that can fail happened before the first field or row changes.
    const std::int32_t count = checkedInt32(plan.pictures.size());
    abandonDocument();
    folderPath = plan.folder;
    folderName = nameOfFolder(plan.folder);
    leftOut_ = std::move(plan.leftOut);
    fileNames = std::move(plan.pictures);
    lastIndex = count - 1;
    givenDocument_.clear();
    wholeFolder_ = whole;
    showList();
}

void FolderJob::openPictures(std::vector<std::string> pictures, std::string document) {
    if (running_) {
        return;
    }
    if (document.empty()) {
        throw std::invalid_argument("openPictures needs the document's path");
    }
    JobPlan plan = planPictures(pictures, document);
    const std::int32_t count = checkedInt32(plan.pictures.size());
    abandonDocument();
    folderPath.clear();
    folderName.clear();
    leftOut_.clear();
    fileNames = std::move(plan.pictures);
    lastIndex = count - 1;
    givenDocument_ = std::move(document);
    wholeFolder_ = false;
    showList();
}

std::string FolderJob::rowOf(const Picture& picture) {
    return picture.pages > 1 ? view_.severalPagesRow(picture.name, picture.pages) : picture.name;
}

std::int32_t FolderJob::pageCount() const {
    std::size_t pages = 0;
    for (std::int32_t k = 0; k <= lastIndex; ++k) {
        pages += fileNames[static_cast<std::size_t>(k)].pages;
    }
    return checkedInt32(pages);
}

void FolderJob::showList() {
    view_.clearEntries();
    for (std::int32_t k = 0; k <= lastIndex; ++k) {
        view_.addEntry(rowOf(fileNames[static_cast<std::size_t>(k)]));
    }
    view_.showMessage(JobMessage::Count, pageCount());
}

void FolderJob::generate() {
    if (running_ || lastIndex < 0) {
        return;
    }
    abandonDocument();
    // A "done" from the run before must not stand while this one works.
    view_.showMessage(JobMessage::Count, pageCount());
    // However the run ends, the writer goes (with its temporary file, unless
    // the document was put in place or waits for a retry of its replace),
    // the job takes commands again and a stop request is used up.
    struct RunScope {
        FolderJob& job;
        explicit RunScope(FolderJob& owner) : job(owner) {
            job.running_ = true;
            job.stopped_ = false;
        }
        ~RunScope() {
            if (!job.replacePending_) {
                job.writer.reset();
            }
            job.running_ = false;
            job.stopRequested_.store(false);
        }
    } scope(*this);

    try {
        writeDocument();
    } catch (...) {
        view_.showProgress(0);
        throw;
    }
}

void FolderJob::writeDocument() {
    const JobPlan job = plan();
    checkOutput(job);
    writer = newWriter_(job.output, options_);
    view_.showProgressRange(0, checkedAdd(pageCount(), 1));
    JobResult result;
    try {
        result = runRelayed(job);
    } catch (const Error& error) {
        replacePending_ = error.reason() == ErrorReason::InUse;
        throw;
    }
    view_.showProgress(0);
    if (result.stopped) {
        stopRun(result.pages);
        return;
    }
    view_.showMessage(JobMessage::Done, result.pages);
}

namespace {

// Carries a run's events from the thread that runs it to the window's
// thread, which shows them through the view in the order they came, and
// carries the window's answers back.
class EventRelay : public JobEvents {
  public:
    EventRelay(JobView& view, const std::atomic<bool>& stop) : view_(view), stop_(stop) {}

    void pageWritten(std::int32_t index, std::int64_t) override {
        ++pagesWritten_;
        post([this, index] { view_.showProgress(index + 1); });
    }
    FailureAnswer pictureFailed(std::int32_t, const Error& error) override {
        std::optional<FailureAnswer> answer;
        bool answered = false;
        post([&] {
            answer = view_.askAboutPicture(error);
            const std::lock_guard<std::mutex> lock(mutex_);
            answered = true;
            changed_.notify_all();
        });
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return answered; });
        stoppedByUser_ = answer == FailureAnswer::Stop;
        return answer.value_or(FailureAnswer::Stop);
    }
    // Before each picture the window's events run once more, as they did
    // when the window's thread made the pages: a stop (or a close) the user
    // asked for by then is heeded before the next picture.
    bool stopRequested() override {
        std::unique_lock<std::mutex> lock(mutex_);
        std::optional<long> delivered;
        queue_.push_back([&] {
            const std::lock_guard<std::mutex> held(mutex_);
            delivered = pumps_;
        });
        changed_.notify_all();
        changed_.wait(lock, [&] { return delivered && pumps_ > *delivered; });
        return stop_.load();
    }

    // The run's side: nothing more will come.
    void close() {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    // The window's side: shows the events as they come and lets the
    // window's own run in between, until the run has closed the relay.
    void deliverUntilClosed() {
        for (;;) {
            std::deque<std::function<void()>> batch;
            bool closed = false;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait_for(lock, std::chrono::milliseconds(20),
                                  [this] { return closed_ || !queue_.empty(); });
                batch.swap(queue_);
                closed = closed_;
            }
            for (const auto& show : batch) {
                show();
            }
            if (closed && batch.empty()) {
                return;
            }
            view_.runPendingEvents();
            const std::lock_guard<std::mutex> lock(mutex_);
            ++pumps_;
            changed_.notify_all();
        }
    }
    // Whether the run ended because the user answered Stop for a picture.
    bool stoppedByUser() const { return stoppedByUser_; }
    std::int32_t pagesWritten() const { return pagesWritten_; }

  private:
    void post(std::function<void()> show) {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(show));
        changed_.notify_all();
    }

    JobView& view_;
    const std::atomic<bool>& stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> queue_;
    bool closed_ = false;
    long pumps_ = 0;  // runPendingEvents calls made
    bool stoppedByUser_ = false;
    std::int32_t pagesWritten_ = 0;
};

}  // namespace

JobResult FolderJob::runRelayed(const JobPlan& plan) {
    EventRelay relay(view_, stopRequested_);
    JobResult result;
    std::exception_ptr failure;
    std::thread run([&] {
        try {
            result = runJob(plan, *writer, relay);
        } catch (...) {
            failure = std::current_exception();
        }
        relay.close();
    });
    relay.deliverUntilClosed();
    run.join();
    if (failure && relay.stoppedByUser()) {
        // The user saw the error in the question and chose to stop.
        result.stopped = true;
        result.pages = relay.pagesWritten();
        return result;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return result;
}

void FolderJob::putInPlace() {
    try {
        writer->makePDF();
    } catch (const Error& error) {
        replacePending_ = error.reason() == ErrorReason::InUse;
        throw;
    }
    replacePending_ = false;
}

bool FolderJob::replacePending() const {
    return replacePending_;
}

void FolderJob::retryReplace() {
    if (running_ || !replacePending_) {
        return;
    }
    try {
        putInPlace();
    } catch (...) {
        if (!replacePending_) {
            writer.reset();
        }
        throw;
    }
    writer.reset();
    view_.showMessage(JobMessage::Done, pageCount());
}

void FolderJob::abandonDocument() {
    if (!running_) {
        replacePending_ = false;
        writer.reset();
    }
}

int defaultWorkers() {
    return processorCount();
}

void FolderJob::setWorkers(int workers) {
    workers_ = std::max(1, workers);
}

void FolderJob::setDocumentOptions(const DocumentOptions& options) {
    if (running_) {
        throw std::invalid_argument("the document options can't change during a run");
    }
    if (const std::string reason = invalidOptions(options); !reason.empty()) {
        throw std::invalid_argument(reason);
    }
    options_ = options;
}

void FolderJob::stopRun(std::int32_t pagesDone) {
    stopped_ = true;
    view_.showMessage(JobMessage::Stopped, pagesDone);
}

void FolderJob::moveUp() {
    if (running_) {
        return;
    }
    workIndex = view_.selectedEntry();
    // A row beyond the list would mean a view out of step with the job;
    // treat it like no selection rather than index outside the names.
    if (workIndex <= 0 || workIndex > lastIndex) {
        return;
    }
    const auto r = static_cast<std::size_t>(workIndex);
    workName = fileNames[r];
    fileNames[r] = fileNames[r - 1];
    view_.setEntry(workIndex, rowOf(fileNames[r]));
    fileNames[r - 1] = workName;
    view_.setEntry(workIndex - 1, rowOf(workName));
    view_.selectEntry(workIndex - 1);
}

void FolderJob::moveDown() {
    if (running_) {
        return;
    }
    workIndex = view_.selectedEntry();
    if (workIndex < 0 || workIndex >= lastIndex) {
        return;
    }
    const auto r = static_cast<std::size_t>(workIndex);
    workName = fileNames[r];
    fileNames[r] = fileNames[r + 1];
    view_.setEntry(workIndex, rowOf(fileNames[r]));
    fileNames[r + 1] = workName;
    view_.setEntry(workIndex + 1, rowOf(workName));
    view_.selectEntry(workIndex + 1);
}

void FolderJob::removeEntry() {
    if (running_) {
        return;
    }
    workIndex = view_.selectedEntry();
    if (workIndex < 0 || workIndex > lastIndex) {
        return;
    }
    fileNames.erase(fileNames.begin() + workIndex);
    --lastIndex;
    showList();
    if (lastIndex >= 0) {
        view_.selectEntry(std::min(workIndex, lastIndex));
    }
}

bool FolderJob::running() const {
    return running_;
}

void FolderJob::requestStop() {
    stopRequested_.store(true);
}

bool FolderJob::stopped() const {
    return stopped_;
}

std::vector<std::string> FolderJob::entries() const {
    std::vector<std::string> names;
    for (std::int32_t k = 0; k <= lastIndex; ++k) {
        names.push_back(fileNames[static_cast<std::size_t>(k)].name);
    }
    return names;
}

JobPlan FolderJob::plan() const {
    JobPlan job;
    job.folder = folderPath;
    job.pictures.assign(fileNames.begin(), fileNames.begin() + (lastIndex + 1));
    job.output = outputPath();
    job.options = options_;
    job.workers = workers_;
    return job;
}

std::string FolderJob::outputPath() const {
    if (!givenDocument_.empty()) {
        return givenDocument_;
    }
    return documentPathOf(folderPath);
}

}  // namespace folder2pdf

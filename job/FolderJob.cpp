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
#include <utility>

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
    undo_.clear();
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
    undo_.clear();
    showList();
}

// A picture from another folder is named by its path, shown as the system
// shows paths.
std::string FolderJob::rowOf(const Picture& picture) {
    const std::string name = shownPath(picture.name);
    std::string row = picture.pages > 1 ? view_.severalPagesRow(name, picture.pages) : name;
    return picture.quarterTurns != 0 ? view_.turnedRow(row, picture.quarterTurns) : row;
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

std::vector<int> FolderJob::selectedRows() {
    std::vector<int> rows = view_.selectedEntries();
    // Rows beyond the list would mean a view out of step with the job;
    // they are no selection rather than indexes outside the names.
    std::erase_if(rows, [this](int row) { return row < 0 || row > lastIndex; });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void FolderJob::rearrange(std::vector<Picture> pictures, std::vector<int> selection) {
    constexpr std::size_t undoDepth = 100;
    if (undo_.size() == undoDepth) {
        undo_.erase(undo_.begin());
    }
    undo_.push_back({fileNames, view_.selectedEntries(), wholeFolder_});
    const bool sameLength = pictures.size() == fileNames.size();
    std::vector<Picture> before = std::exchange(fileNames, std::move(pictures));
    lastIndex = checkedInt32(fileNames.size()) - 1;
    if (sameLength) {
        // Only the rows that changed are written again: a list of
        // thousands keeps its place and its scroll.
        for (std::int32_t k = 0; k <= lastIndex; ++k) {
            const auto r = static_cast<std::size_t>(k);
            if (rowOf(before[r]) != rowOf(fileNames[r])) {
                view_.setEntry(k, rowOf(fileNames[r]));
            }
        }
    } else {
        showList();
    }
    if (!selection.empty()) {
        view_.selectEntries(selection);
    }
}

void FolderJob::moveSelected(int step) {
    const std::vector<int> rows = selectedRows();
    if (running_ || rows.empty() || (step < 0 && rows.front() == 0) ||
        (step > 0 && rows.back() == lastIndex)) {
        return;
    }
    std::vector<Picture> pictures(fileNames.begin(), fileNames.begin() + (lastIndex + 1));
    std::vector<int> moved;
    // Each selected entry swaps with the neighbour it passes, nearest the
    // edge first, so that a block moves together.
    const auto swapOne = [&](int row) {
        std::swap(pictures[static_cast<std::size_t>(row)],
                  pictures[static_cast<std::size_t>(row + step)]);
        moved.push_back(row + step);
    };
    if (step < 0) {
        std::for_each(rows.begin(), rows.end(), swapOne);
    } else {
        std::for_each(rows.rbegin(), rows.rend(), swapOne);
        std::reverse(moved.begin(), moved.end());
    }
    rearrange(std::move(pictures), std::move(moved));
}

void FolderJob::moveUp() {
    moveSelected(-1);
}

void FolderJob::moveDown() {
    moveSelected(1);
}

void FolderJob::moveSelectedTo(int row) {
    const std::vector<int> rows = selectedRows();
    if (running_ || rows.empty()) {
        return;
    }
    row = std::clamp(row, 0, lastIndex + 1);
    std::vector<Picture> kept, taken;
    int before = 0;  // kept entries before `row`
    for (std::int32_t k = 0; k <= lastIndex; ++k) {
        const bool selected = std::binary_search(rows.begin(), rows.end(), k);
        (selected ? taken : kept).push_back(fileNames[static_cast<std::size_t>(k)]);
        before += !selected && k < row;
    }
    std::vector<int> selection;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        selection.push_back(before + static_cast<int>(i));
    }
    if (selection == rows) {
        return;
    }
    kept.insert(kept.begin() + before, taken.begin(), taken.end());
    rearrange(std::move(kept), std::move(selection));
}

void FolderJob::removeEntry() {
    const std::vector<int> rows = selectedRows();
    if (running_ || rows.empty()) {
        return;
    }
    std::vector<Picture> kept;
    for (std::int32_t k = 0; k <= lastIndex; ++k) {
        if (!std::binary_search(rows.begin(), rows.end(), k)) {
            kept.push_back(fileNames[static_cast<std::size_t>(k)]);
        }
    }
    const int next = std::min(rows.front(), checkedInt32(kept.size()) - 1);
    rearrange(std::move(kept), next < 0 ? std::vector<int>{} : std::vector<int>{next});
}

void FolderJob::turnSelected(int quarterTurns) {
    const std::vector<int> rows = selectedRows();
    if (running_ || rows.empty()) {
        return;
    }
    std::vector<Picture> pictures(fileNames.begin(), fileNames.begin() + (lastIndex + 1));
    for (const int row : rows) {
        int& turns = pictures[static_cast<std::size_t>(row)].quarterTurns;
        turns = turnedBy(turns, quarterTurns);
    }
    rearrange(std::move(pictures), rows);
}

void FolderJob::sortEntries(SortOrder order, bool reverse) {
    if (running_ || lastIndex < 0) {
        return;
    }
    std::vector<Picture> pictures(fileNames.begin(), fileNames.begin() + (lastIndex + 1));
    sortPictures(pictures, order, reverse);
    rearrange(std::move(pictures), {});
}

void FolderJob::insertPictures(const std::vector<std::string>& paths, int row) {
    if (running_ || paths.empty()) {
        return;
    }
    // Everything that can fail happens before the list changes.
    const JobPlan given = planPictures(paths, {});
    std::vector<Picture> pictures(fileNames.begin(), fileNames.begin() + (lastIndex + 1));
    const int at = std::clamp(row, 0, lastIndex + 1);
    pictures.insert(pictures.begin() + at, given.pictures.begin(), given.pictures.end());
    std::vector<int> selection;
    for (std::size_t i = 0; i < given.pictures.size(); ++i) {
        selection.push_back(at + static_cast<int>(i));
    }
    if (folderPath.empty() && givenDocument_.empty()) {
        folderPath = folderOf(absolutePath(given.pictures.front().path));
        folderName = nameOfFolder(folderPath);
    }
    rearrange(std::move(pictures), std::move(selection));
    wholeFolder_ = false;
    view_.showMessage(JobMessage::Count, pageCount());
}

bool FolderJob::undo() {
    if (running_ || undo_.empty()) {
        return false;
    }
    Arrangement last = std::move(undo_.back());
    undo_.pop_back();
    fileNames = std::move(last.pictures);
    lastIndex = checkedInt32(fileNames.size()) - 1;
    wholeFolder_ = last.wholeFolder;
    showList();
    if (!last.selection.empty()) {
        view_.selectEntries(last.selection);
    }
    return true;
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

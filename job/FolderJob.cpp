#include "job/FolderJob.h"

#include <algorithm>
#include <stdexcept>

#include "common/Checked.h"
#include "common/Error.h"
#include "common/Path.h"
#include "common/System.h"
#include "job/PagePipeline.h"

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
    takeFolder(chosen, listing_(chosen));
}

void FolderJob::openFolderFiles(const std::string& folder, std::vector<std::string> names) {
    if (running_) {
        return;
    }
    std::sort(names.begin(), names.end(), naturalLess);
    takeFolder(folder, std::move(names));
}

void FolderJob::takeFolder(const std::string& folder, std::vector<std::string> names) {
    // Everything that can fail happens before the first field or row changes.
    const std::string name = nameOfFolder(folder);
    std::vector<LeftOut> leftOut;
    std::vector<std::string> pictures =
        pickPictures(folder, std::move(names), name + ".pdf", leftOut);
    const std::int32_t count = checkedInt32(pictures.size());

    abandonDocument();
    folderPath = folder;
    folderName = name;
    leftOut_ = std::move(leftOut);
    fileNames = std::move(pictures);
    lastIndex = count - 1;
    givenDocument_.clear();
    showList();
}

void FolderJob::openPictures(std::vector<std::string> pictures, std::string document) {
    if (running_) {
        return;
    }
    if (document.empty()) {
        throw std::invalid_argument("openPictures needs the document's path");
    }
    const std::int32_t count = checkedInt32(pictures.size());
    abandonDocument();
    folderPath.clear();
    folderName.clear();
    leftOut_.clear();
    fileNames = std::move(pictures);
    lastIndex = count - 1;
    givenDocument_ = std::move(document);
    showList();
}

void FolderJob::showList() {
    view_.clearEntries();
    for (std::int32_t k = 0; k <= lastIndex; ++k) {
        view_.addEntry(fileNames[static_cast<std::size_t>(k)]);
    }
    view_.showMessage(JobMessage::Count, lastIndex + 1);
}

void FolderJob::generate() {
    if (running_ || lastIndex < 0) {
        return;
    }
    abandonDocument();
    // A "done" from the run before must not stand while this one works.
    view_.showMessage(JobMessage::Count, lastIndex + 1);
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

    bool written = false;
    try {
        written = writeDocument();
    } catch (...) {
        view_.showProgress(0);
        throw;
    }
    if (written) {
        view_.showMessage(JobMessage::Done, lastIndex + 1);
    }
}

bool FolderJob::writeDocument() {
    const std::int32_t high = checkedAdd(lastIndex, 2);
    writer = newWriter_(outputPath(), options_);
    view_.showProgressRange(0, high);
    if (!addPages()) {
        return false;
    }
    view_.showProgress(0);
    // A request that came during the last picture still keeps the file untouched.
    if (stopRequested_.load()) {
        stopRun(lastIndex + 1);
        return false;
    }
    putInPlace();
    return true;
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
    view_.showMessage(JobMessage::Done, lastIndex + 1);
}

void FolderJob::abandonDocument() {
    if (!running_) {
        replacePending_ = false;
        writer.reset();
    }
}

bool FolderJob::addPages() {
    // Workers read and decode the pictures ahead of the loop, which hands
    // them to the writer in list order.
    PagePipeline pipeline(picturePaths(), workers_, options_);
    for (std::int32_t k = 0; k <= lastIndex; ++k) {
        view_.showProgress(k + 1);
        view_.runPendingEvents();
        if (stopRequested_.load()) {
            view_.showProgress(0);
            stopRun(k);
            return false;
        }
        writer->pageOBJ(pipeline.take(static_cast<std::size_t>(k)));
    }
    return true;
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
    view_.setEntry(workIndex, fileNames[r]);
    fileNames[r - 1] = workName;
    view_.setEntry(workIndex - 1, workName);
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
    view_.setEntry(workIndex, fileNames[r]);
    fileNames[r + 1] = workName;
    view_.setEntry(workIndex + 1, workName);
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
    return std::vector<std::string>(fileNames.begin(), fileNames.begin() + (lastIndex + 1));
}

std::string FolderJob::outputPath() const {
    if (!givenDocument_.empty()) {
        return givenDocument_;
    }
    return joinPath(folderPath, folderName + ".pdf");
}

std::vector<std::string> FolderJob::picturePaths() const {
    std::vector<std::string> paths;
    for (std::int32_t k = 0; k <= lastIndex; ++k) {
        const std::string& name = fileNames[static_cast<std::size_t>(k)];
        paths.push_back(givenDocument_.empty() ? joinPath(folderPath, name) : name);
    }
    return paths;
}

}  // namespace folder2pdf

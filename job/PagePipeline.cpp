#include "job/PagePipeline.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "common/Error.h"

namespace folder2pdf {

PagePipeline::PagePipeline(std::vector<Picture> pictures, int workers,
                           const DocumentOptions& options)
    : pictures_(std::move(pictures)),
      options_(options),
      slots_(static_cast<std::size_t>(std::max(1, workers)) + 1),
      callerMaker_(options) {
    const int count = std::min(workers, static_cast<int>(pictures_.size()));
    if (count <= 1) {
        return;
    }
    // Whatever fails part-way (a thread the system refuses, memory for the
    // list of threads), the threads already started must be joined before
    // the exception leaves: a joinable std::thread destroyed ends the program.
    try {
        workers_.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            workers_.emplace_back([this] { work(); });
        }
    } catch (...) {
        stop();
        try {
            throw;
        } catch (const std::system_error& error) {
            throw Error(ErrorReason::OutOfMemory,
                        std::string("cannot start the worker threads: ") + error.what());
        } catch (const std::bad_alloc&) {
            throw Error(ErrorReason::OutOfMemory, "out of memory for the worker threads");
        }
    }
}

PagePipeline::~PagePipeline() {
    stop();
}

void PagePipeline::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    slotFree_.notify_all();
    for (std::thread& worker : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

void PagePipeline::work() {
    PageMaker maker(options_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Page i takes slot i modulo the slot count, free once the caller has
        // moved past page i - slots (taken_ is the page it holds or waits for).
        slotFree_.wait(lock, [this] {
            return cancelled_ || nextToPrepare_ >= pictures_.size() ||
                   nextToPrepare_ < taken_ + slots_.size();
        });
        if (cancelled_ || nextToPrepare_ >= pictures_.size()) {
            return;
        }
        const std::size_t index = nextToPrepare_++;
        Slot& slot = slots_[index % slots_.size()];
        slot.state = State::Working;
        lock.unlock();

        std::exception_ptr error;
        try {
            const Picture& picture = pictures_[index];
            maker.prepare(picture.path, picture.page, slot.page, picture.quarterTurns);
        } catch (...) {
            error = std::current_exception();
        }

        lock.lock();
        slot.error = error;
        slot.state = error ? State::Failed : State::Ready;
        pageReady_.notify_all();
    }
}

const PreparedPage& PagePipeline::take(std::size_t index) {
    if (workers_.empty()) {
        return retake(index);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // Taking page i hands back the slot of page i - 1.
    taken_ = index;
    slotFree_.notify_all();
    Slot& slot = slots_[index % slots_.size()];
    pageReady_.wait(lock, [&] {
        return index < nextToPrepare_ &&
               (slot.state == State::Ready || slot.state == State::Failed);
    });
    if (slot.state == State::Failed) {
        std::rethrow_exception(slot.error);
    }
    return slot.page;
}

const PreparedPage& PagePipeline::retake(std::size_t index) {
    // The slot is the caller's: with workers, a failed page's slot stays
    // Failed, so no worker reuses it until the caller takes the next page.
    PreparedPage& page = slots_[index % slots_.size()].page;
    const Picture& picture = pictures_[index];
    callerMaker_.prepare(picture.path, picture.page, page, picture.quarterTurns);
    return page;
}

}  // namespace folder2pdf

#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "job/JobPlan.h"
#include "page/PageMaker.h"

namespace folder2pdf {

// Prepares the pages of a list of pictures (read, decode, gray, compress) on
// worker threads, while the caller takes them strictly in list order. At
// most workers + 1 pages are prepared or in preparation at once, so memory
// stays near a few pictures whatever the list's length; each worker and
// each page slot keeps its buffers from picture to picture. With one worker,
// or one picture, there is no thread: take() prepares the page itself, so a
// run takes its pages the same way whatever the number of workers.
//
// Destroying the pipeline lets each worker finish the picture in hand (no
// decoder can be interrupted part-way) and joins every thread: no thread
// outlives it, however the run ends.
class PagePipeline {
  public:
    // Pages are made as `options` ask (PageMaker).
    PagePipeline(std::vector<Picture> pictures, int workers, const DocumentOptions& options = {});
    PagePipeline(const PagePipeline&) = delete;
    PagePipeline& operator=(const PagePipeline&) = delete;
    ~PagePipeline();

    // Waits for page `index`, which must be the one after the last taken
    // (from 0), and returns it; valid until the next take(). Throws the
    // Error that preparing that very picture raised (PageMaker::prepare).
    const PreparedPage& take(std::size_t index);
    // Prepares page `index`, the one whose take() failed last, once more on
    // the calling thread (the user mended its file, or closed what held it).
    const PreparedPage& retake(std::size_t index);

  private:
    enum class State { Free, Working, Ready, Failed };
    struct Slot {
        State state = State::Free;
        PreparedPage page;
        std::exception_ptr error;
    };

    void work();
    // Cancels what is not begun and joins every worker.
    void stop();

    const std::vector<Picture> pictures_;
    const DocumentOptions options_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable pageReady_;
    std::condition_variable slotFree_;
    std::size_t nextToPrepare_ = 0;
    std::size_t taken_ = 0;  // the page the caller holds or waits for; earlier slots are free
    bool cancelled_ = false;
    std::vector<std::thread> workers_;
    PageMaker callerMaker_;  // prepares the pages in take() when there are no workers, and in retake()
};

}  // namespace folder2pdf

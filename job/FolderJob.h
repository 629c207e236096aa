#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/FolderListing.h"
#include "job/JobPlan.h"
#include "job/JobRun.h"
#include "job/PictureOrder.h"
#include "job/JobView.h"
#include "pdf/DocumentWriter.h"
#include "pdf/pdf.h"

namespace folder2pdf {

// The state and logic behind the window's four buttons: Open (打开),
// Generate (生成), move up (↑) and move down (↓). It holds the chosen folder,
// the ordered list of pictures found there and the document writer, and
// reaches the window only through its JobView. A run is a JobPlan made from
// the list, run by runJob() on a thread of its own while the window's
// thread shows its events and keeps answering the system.
//
// A command that fails throws Error to the front end, which reports it; the
// list, the names, the folder and the selection are then as before the
// command, the progress bar is back at 0, and an earlier PDF is untouched.
class FolderJob {
  public:
    using Listing = folder2pdf::Listing;
    // Makes the writer of the document at a path, with the job's document
    // options; called once per Generate.
    using WriterFactory = std::function<std::unique_ptr<DocumentWriter>(
        const std::string& path, const DocumentOptions& options)>;

    FolderJob(JobView& view, std::string programFolder, Listing listing = listFolderFiles,
              WriterFactory newWriter = newPdfWriter);
    FolderJob(const FolderJob&) = delete;
    FolderJob& operator=(const FolderJob&) = delete;
    ~FolderJob();

    // Asks for a folder, lists its pictures (pickPictures(): the folder's
    // own document and files that are no pictures by their first bytes left
    // out) and shows their count (JobMessage::Count). A cancelled choice
    // changes nothing; a listing that fails changes nothing either.
    void openFolder();
    // Takes `pictures`, paths used as given and in that order, as the list
    // instead of a folder's pictures, and `document` as the file generate()
    // writes; shows their count as openFolder() does. Nothing is filtered:
    // the content of each file decides whether it is a picture.
    void openPictures(std::vector<std::string> pictures, std::string document);
    // Shows the list's count again (JobMessage::Count), converts the listed
    // pictures, in list order, into outputPath(), then shows
    // JobMessage::Done. Does nothing when the list is empty. A run
    // that is stopped (requestStop) shows JobMessage::Stopped instead and
    // leaves the document as it was. The pages are made on another thread;
    // meanwhile this one delivers the run's events to the view and lets the
    // window's events run at least every 20 ms. A picture that fails is put
    // to the view (askAboutPicture): retried, skipped, or the run stopped.
    void generate();
    // When generate() (or retryReplace()) failed with ErrorReason::InUse,
    // another program (a PDF reader) holding the document, the finished
    // document is kept beside it, hidden, and replacePending() is true; the
    // front end can ask the user to close that program and then call
    // retryReplace(), which only tries the replace again, showing
    // JobMessage::Done when it succeeds and throwing InUse again while the
    // document is still held. abandonDocument() gives up: the finished
    // document goes and the earlier one stays. So do the next generate(),
    // openFolder(), openPictures() and the job's end. A document found held
    // before a run (generate() fails at once with InUse) leaves no
    // replace pending: that is retried by generate().
    bool replacePending() const;
    void retryReplace();
    void abandonDocument();

    // The selected entries move one place up (or down) as a block and stay
    // selected; nothing moves when the block is at the top (the bottom).
    // One selected entry changes places with its neighbour.
    void moveUp();
    void moveDown();
    // The selected entries move, in their order, to just before the entry
    // now at `row` (the list's end when `row` is its length), and stay
    // selected: a drag's drop.
    void moveSelectedTo(int row);
    // Takes the selected entries off the list (no file is touched) and
    // shows the new count; the entry after them, or else the new last one,
    // is selected.
    void removeEntry();
    // The selected pictures turn `quarterTurns` quarter turns clockwise
    // (negative: counter-clockwise); their pages come out turned.
    void turnSelected(int quarterTurns);
    // Puts the list in `order` (with every tie by name), reversed when asked.
    void sortEntries(SortOrder order, bool reverse);
    // Inserts pictures by path before the entry now at `row` (clamped to
    // the list), selected; each keeps its own path and shows it. With no
    // folder open, the document goes into the first picture's folder,
    // named after it.
    void insertPictures(const std::vector<std::string>& paths, int row);
    // Undoes the last change of the list's order, turns or entries (a
    // move, a removal, a turn, a sort, an insert): true when there was one.
    // A new list forgets them.
    bool undo();
    bool canUndo() const { return !undo_.empty(); }
    // As openFolder() with `folder` chosen, but only its files `names` (a
    // front end's drop): the pictures among them, in natural order.
    void openFolderFiles(const std::string& folder, std::vector<std::string> names);

    // How many threads prepare pages during generate() (PagePipeline). 1,
    // the default, prepares each page on the calling thread, in turn. The
    // document is the same byte for byte whatever the number, and so are the
    // calls on the view.
    void setWorkers(int workers);

    // The choices every later generate() makes its document with: paper,
    // margins, fit or resolution, compression, title and bookmarks. The
    // defaults give the document as always. Options that can't make a
    // document (invalidOptions() names why) are refused with
    // std::invalid_argument carrying that reason, and change nothing; so is
    // any call during a run.
    void setDocumentOptions(const DocumentOptions& options);

    // True while generate() runs. Commands that arrive meanwhile (through
    // runPendingEvents) are refused and change nothing.
    bool running() const;
    // Asks a running generate() to stop before its next picture: it writes
    // nothing, leaves an earlier PDF as it was, and reports the stop. A
    // request made while no run is under way stops the next run before its
    // first picture; every run, however it ends, consumes the request. Only
    // stores to a lock-free atomic, so it is safe to call from a signal
    // handler or another thread.
    void requestStop();
    // Whether the last generate() that had pictures ended because of requestStop().
    bool stopped() const;

    // The list's names as the job holds them, for front ends and tests.
    std::vector<std::string> entries() const;
    // The plan generate() would run now.
    JobPlan plan() const;
    // Whether the list is a whole folder's listing (openFolder), rather than
    // pictures given or dropped; moves and removals keep it so.
    bool listsWholeFolder() const { return wholeFolder_; }
    // Makes `path` the document generate() writes, until the next list.
    void setDocument(std::string path);
    const std::string& folder() const { return folderPath; }
    // The names of the last openFolder() that it left out as no pictures,
    // with the reason; none after openPictures().
    const std::vector<LeftOut>& leftOut() const { return leftOut_; }
    // The document generate() writes: documentPathOf() the folder, or the
    // document given to openPictures().
    std::string outputPath() const;

  private:
    // The run of generate() once the job is marked running.
    void writeDocument();
    // runJob() on its own thread, this one relaying its events to the view
    // until it ends; rethrows what ended it.
    JobResult runRelayed(const JobPlan& plan);
    // The writer's makePDF(), noting whether it left a replace pending.
    void putInPlace();
    void stopRun(std::int32_t pagesDone);
    void showList();
    // A picture's row in the view, and the pages of the list.
    std::string rowOf(const Picture& picture);
    std::int32_t pageCount() const;
    // Takes a plan's pictures as the list; `whole` when it is a folder's
    // whole listing.
    void takePlan(JobPlan plan, bool whole);
    // The selection as the view has it, within the list.
    std::vector<int> selectedRows();
    // Makes `pictures` the list, remembering the list before for undo(),
    // and shows it with `selection` selected.
    void rearrange(std::vector<Picture> pictures, std::vector<int> selection);
    void moveSelected(int step);

    // Fields in the order of the job's design; fileNames beyond lastIndex
    // carry no meaning. The writer lives only while a run is under way, or
    // while its replace waits for a retry: its temporary file, and the
    // buffers behind it, go with the run.
    std::vector<Picture> fileNames;
    std::int32_t lastIndex = -1;
    std::string folderPath;
    std::string folderName;
    std::unique_ptr<DocumentWriter> writer;

    // Set by openPictures(): the document; empty after openFolder().
    std::string givenDocument_;
    std::vector<LeftOut> leftOut_;
    // The lists before each change undo() can take back, the last last.
    struct Arrangement {
        std::vector<Picture> pictures;
        std::vector<int> selection;
        bool wholeFolder;
    };
    std::vector<Arrangement> undo_;
    JobView& view_;
    std::string programFolder_;
    Listing listing_;
    WriterFactory newWriter_;
    int workers_ = 1;
    DocumentOptions options_;
    bool running_ = false;
    bool replacePending_ = false;
    bool stopped_ = false;
    bool wholeFolder_ = false;
    std::atomic<bool> stopRequested_{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
};

// The number of workers (FolderJob::setWorkers) that fills this machine:
// one per core.
int defaultWorkers();

}  // namespace folder2pdf

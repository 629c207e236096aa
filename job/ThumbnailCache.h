#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/System.h"
#include "image/Thumbnail.h"

namespace folder2pdf {

// Which thumbnail: a page of a picture file, turned and coloured as the
// document will have it. The file's size and modification time are read by
// the cache, and belong to the thumbnail's identity: a file that changed
// is made again.
struct ThumbnailKey {
    std::string path;
    std::size_t page = 0;
    int quarterTurns = 0;  // clockwise, after EXIF's
    bool color = false;
    bool operator==(const ThumbnailKey&) const = default;
};

struct ThumbnailKeyHash {
    std::size_t operator()(const ThumbnailKey& key) const;
};

struct ThumbnailSettings {
    std::int32_t box = 96;  // the side of the square thumbnails fit in, in pixels
    // Everything the cache holds: the thumbnails kept, and every decode in
    // flight (its file's bytes, its raster and what its decoder keeps).
    std::uint64_t budget = std::uint64_t{64} << 20;
    int workers = 0;  // 0: one per processor
    // Called on a worker thread, no lock held, whenever a thumbnail became
    // ready: for a window to post itself an event and then takeReady().
    std::function<void()> notify;
    bool reducedJpeg = true;  // off only to measure what libjpeg's scaling saves
};

// Makes thumbnails of pictures on worker threads, in the order the window
// wants them, and keeps them within one memory budget. Nothing of it blocks
// the caller's thread for longer than a lock held for bookkeeping.
//
// The budget bounds the thumbnails and the decodes together. A worker
// reserves its file's size (and room for the thumbnail) before reading the
// file, and the decode's bytes (GrayRaster's memory check, before the
// raster is allocated) before decoding; a reservation that doesn't fit
// first evicts the least recently used thumbnails that are less wanted
// than the one being made. A JPEG is decoded reduced (libjpeg's 1/2 to
// 1/8), so its decode holds about the box's pixels, plus a progressive
// file's coefficients; other formats decode whole. When a decode doesn't
// fit beside the others in flight, its worker waits until they are done
// and decodes alone; a picture that doesn't fit the budget even so gets a
// failed thumbnail ("too large for the thumbnails' memory"). Peak memory
// is the budget plus the bookkeeping and the libraries' small buffers.
class ThumbnailCache {
  public:
    explicit ThumbnailCache(ThumbnailSettings settings = {});
    // Stops the workers between pictures and joins them: at most one
    // picture's decode a worker.
    ~ThumbnailCache();
    ThumbnailCache(const ThumbnailCache&) = delete;
    ThumbnailCache& operator=(const ThumbnailCache&) = delete;

    // Replaces what is wanted, most wanted first (the rows in view, then
    // the others, or nothing more). Thumbnails already made of an unchanged
    // file are not made again; the earlier in `keys`, the later evicted.
    void want(std::vector<ThumbnailKey> keys);

    // The thumbnail made for `key` (of the file as it was when made; a
    // failed one for a file that can't be read), or null while there is
    // none. Never waits for a decode.
    std::shared_ptr<const Thumbnail> find(const ThumbnailKey& key) const;

    // The keys whose thumbnails became ready since the last call, in the
    // order they did.
    std::vector<ThumbnailKey> takeReady();

    // Whether every wanted thumbnail has been made, or passed over for
    // want of room, and no decode is in flight.
    bool idle() const;

    // Bytes held now (thumbnails kept and decodes in flight, as reserved),
    // and the most held at once.
    std::uint64_t memoryInUse() const;
    std::uint64_t peakMemory() const;

  private:
    struct Entry {
        FileStamp stamp;
        std::shared_ptr<const Thumbnail> thumbnail;
        std::uint64_t bytes = 0;
        std::list<ThumbnailKey>::iterator used;  // in used_
    };
    class Reservation;
    enum class Outcome { Made, Skipped, NeedsToRunAlone, TooLarge };

    void work();
    void make(const ThumbnailKey& key, std::size_t rank);
    Outcome tryMake(const ThumbnailKey& key, std::size_t rank, bool alone);
    bool waitToRunAlone();
    void finish(const ThumbnailKey& key, const std::optional<FileStamp>& stamp,
                Thumbnail thumbnail, Reservation& reservation);
    void store(const ThumbnailKey& key, const FileStamp& stamp, Thumbnail thumbnail,
               Reservation& reservation);
    bool makeRoom(std::uint64_t bytes, std::size_t rank);
    void evict(std::unordered_map<ThumbnailKey, Entry, ThumbnailKeyHash>::iterator entry);
    void touch(Entry& entry);
    void noteHeld();

    const ThumbnailSettings settings_;
    mutable std::mutex mutex_;
    std::condition_variable work_;  // something wanted, or stopping
    std::condition_variable room_;  // memory released, or stopping
    std::unordered_map<ThumbnailKey, Entry, ThumbnailKeyHash> entries_;
    mutable std::list<ThumbnailKey> used_;  // most recently used first
    std::vector<ThumbnailKey> wanted_;
    std::size_t next_ = 0;  // in wanted_
    std::unordered_map<ThumbnailKey, std::size_t, ThumbnailKeyHash> rank_;  // in wanted_
    std::unordered_set<ThumbnailKey, ThumbnailKeyHash> making_;
    std::vector<ThumbnailKey> ready_;
    std::uint64_t cached_ = 0;    // bytes of the thumbnails kept
    std::uint64_t inFlight_ = 0;  // bytes reserved by decodes
    std::uint64_t peak_ = 0;
    int decoding_ = 0;  // workers holding a reservation
    bool alone_ = false;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace folder2pdf

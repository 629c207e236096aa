#include "job/ThumbnailCache.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <new>
#include <utility>

#include "common/Error.h"
#include "common/Text.h"

namespace folder2pdf {
namespace {

// What a kept thumbnail costs beyond its pixels: the value, its key twice
// (map and use list) and their nodes.
std::uint64_t bookkeepingBytes(const ThumbnailKey& key) {
    return sizeof(Thumbnail) + 2 * (sizeof(ThumbnailKey) + key.path.size()) + 128;
}

std::uint64_t entryBytes(const ThumbnailKey& key, const Thumbnail& thumbnail) {
    return bookkeepingBytes(key) + thumbnail.pixels.capacity() + thumbnail.error.capacity();
}

// Reserved before the picture is read, so that storing its thumbnail never
// passes the budget: a full box of colour and a reason's words.
std::uint64_t largestEntryBytes(const ThumbnailKey& key, std::int32_t box) {
    return bookkeepingBytes(key) + std::uint64_t{static_cast<std::uint32_t>(box)} *
                                       static_cast<std::uint32_t>(box) * 3 + 512;
}

Thumbnail failedThumbnail(std::string reason) {
    Thumbnail thumbnail;
    thumbnail.error = std::move(reason);
    return thumbnail;
}

}  // namespace

std::size_t ThumbnailKeyHash::operator()(const ThumbnailKey& key) const {
    std::size_t hash = std::hash<std::string>()(key.path);
    for (const std::size_t part : {key.page, static_cast<std::size_t>(key.quarterTurns & 3),
                                   static_cast<std::size_t>(key.color)}) {
        hash = hash * 1000003 ^ part;
    }
    return hash;
}

// The bytes one decode holds against the budget, given back when it ends.
// Every member function but the destructor runs under the cache's lock.
class ThumbnailCache::Reservation {
  public:
    explicit Reservation(ThumbnailCache& cache) : cache_(cache) {}
    ~Reservation() {
        const std::lock_guard lock(cache_.mutex_);
        release();
    }
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

    void add(std::uint64_t bytes) {
        if (!counted_) {
            ++cache_.decoding_;
            counted_ = true;
        }
        held_ += bytes;
        cache_.inFlight_ += bytes;
        cache_.noteHeld();
    }
    void release() {
        cache_.inFlight_ -= held_;
        held_ = 0;
        if (counted_) {
            --cache_.decoding_;
            counted_ = false;
        }
        cache_.room_.notify_all();
    }
    std::uint64_t held() const { return held_; }

  private:
    ThumbnailCache& cache_;
    std::uint64_t held_ = 0;
    bool counted_ = false;
};

ThumbnailCache::ThumbnailCache(ThumbnailSettings settings) : settings_(std::move(settings)) {
    const int count = settings_.workers > 0 ? settings_.workers : processorCount();
    for (int i = 0; i < count; ++i) {
        workers_.emplace_back([this] { work(); });
    }
}

ThumbnailCache::~ThumbnailCache() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    room_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void ThumbnailCache::want(std::vector<ThumbnailKey> keys) {
    {
        const std::lock_guard lock(mutex_);
        wanted_ = std::move(keys);
        next_ = 0;
        rank_.clear();
        for (std::size_t i = 0; i < wanted_.size(); ++i) {
            rank_.emplace(wanted_[i], i);
        }
        // The most wanted become the most recently used, and so the last evicted.
        for (auto key = wanted_.rbegin(); key != wanted_.rend(); ++key) {
            if (const auto entry = entries_.find(*key); entry != entries_.end()) {
                touch(entry->second);
            }
        }
    }
    work_.notify_all();
}

std::shared_ptr<const Thumbnail> ThumbnailCache::find(const ThumbnailKey& key) const {
    const std::lock_guard lock(mutex_);
    const auto entry = entries_.find(key);
    if (entry == entries_.end()) {
        return nullptr;
    }
    used_.splice(used_.begin(), used_, entry->second.used);
    return entry->second.thumbnail;
}

std::vector<ThumbnailKey> ThumbnailCache::takeReady() {
    const std::lock_guard lock(mutex_);
    return std::exchange(ready_, {});
}

bool ThumbnailCache::idle() const {
    const std::lock_guard lock(mutex_);
    return next_ == wanted_.size() && making_.empty();
}

std::uint64_t ThumbnailCache::memoryInUse() const {
    const std::lock_guard lock(mutex_);
    return cached_ + inFlight_;
}

std::uint64_t ThumbnailCache::peakMemory() const {
    const std::lock_guard lock(mutex_);
    return peak_;
}

void ThumbnailCache::work() {
    for (;;) {
        ThumbnailKey key;
        std::size_t rank = 0;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [&] { return stopping_ || next_ < wanted_.size(); });
            if (stopping_) {
                return;
            }
            rank = next_;
            key = wanted_[next_++];
            if (!making_.insert(key).second) {
                continue;
            }
        }
        make(key, rank);
        const std::lock_guard lock(mutex_);
        making_.erase(key);
    }
}

void ThumbnailCache::make(const ThumbnailKey& key, std::size_t rank) {
    try {
        Outcome outcome = tryMake(key, rank, false);
        if (outcome == Outcome::NeedsToRunAlone && waitToRunAlone()) {
            struct Alone {
                ThumbnailCache& cache;
                ~Alone() {
                    const std::lock_guard lock(cache.mutex_);
                    cache.alone_ = false;
                    cache.room_.notify_all();
                }
            } alone{*this};
            outcome = tryMake(key, rank, true);
        }
        if (outcome == Outcome::TooLarge) {
            Reservation none(*this);
            finish(key, fileStamp(key.path),
                   failedThumbnail(key.path + ": too large for the thumbnails' memory (" +
                                   groupedNumber(settings_.budget) + " bytes)"),
                   none);
        }
    } catch (const std::exception&) {
        // Only the bookkeeping's own allocations get here (a picture's
        // errors become failed thumbnails): the thumbnail is left unmade,
        // to be tried again when it is wanted again.
    }
}

ThumbnailCache::Outcome ThumbnailCache::tryMake(const ThumbnailKey& key, std::size_t rank,
                                                bool alone) {
    const std::optional<FileStamp> stamp = fileStamp(key.path);
    Reservation reservation(*this);
    {
        std::unique_lock lock(mutex_);
        const auto entry = entries_.find(key);
        if (stamp && entry != entries_.end() && entry->second.stamp == *stamp) {
            return Outcome::Skipped;
        }
        const std::uint64_t before = (stamp ? stamp->size : 0) + largestEntryBytes(key, settings_.box);
        while (!((alone || !alone_) && makeRoom(before, rank))) {
            if (stopping_) {
                return Outcome::Skipped;
            }
            if ((alone || !alone_) && decoding_ == 0) {
                // Nobody else will give memory back: what holds it is more
                // wanted, or the file alone passes the budget.
                return before <= settings_.budget ? Outcome::Skipped : Outcome::TooLarge;
            }
            room_.wait(lock);
        }
        reservation.add(before);
    }

    std::uint64_t refused = 0;  // the bytes a decode asked for in vain
    Thumbnail thumbnail;
    try {
        Bytes file;
        readWholeFile(key.path, file);
        const ThumbnailRequest request{key.page, settings_.box, key.quarterTurns, key.color,
                                       settings_.reducedJpeg};
        thumbnail = makeThumbnail(file.data(), file.size(), request, [&](std::uint64_t bytes) {
            const std::lock_guard lock(mutex_);
            if (!makeRoom(bytes, rank)) {
                refused = reservation.held() + bytes;
                throw Error(ErrorReason::OutOfMemory, "no room in the thumbnails' memory");
            }
            reservation.add(bytes);
        });
    } catch (const Error& error) {
        if (refused != 0) {
            return !alone                         ? Outcome::NeedsToRunAlone
                   : refused <= settings_.budget ? Outcome::Skipped
                                                 : Outcome::TooLarge;
        }
        thumbnail = failedThumbnail(error.file().empty() ? key.path + ": " + error.what()
                                                         : std::string(error.what()));
    } catch (const std::bad_alloc&) {
        thumbnail = failedThumbnail(key.path + ": out of memory");
    }
    finish(key, stamp, std::move(thumbnail), reservation);
    return Outcome::Made;
}

void ThumbnailCache::finish(const ThumbnailKey& key, const std::optional<FileStamp>& stamp,
                            Thumbnail thumbnail, Reservation& reservation) {
    {
        const std::lock_guard lock(mutex_);
        store(key, stamp.value_or(FileStamp{}), std::move(thumbnail), reservation);
    }
    if (settings_.notify) {
        settings_.notify();
    }
}

bool ThumbnailCache::waitToRunAlone() {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return stopping_ || !alone_; });
    if (stopping_) {
        return false;
    }
    // Claimed first, so that no decode starts while those in flight end.
    alone_ = true;
    room_.wait(lock, [&] { return stopping_ || decoding_ == 0; });
    if (stopping_) {
        alone_ = false;
        room_.notify_all();
        return false;
    }
    return true;
}

void ThumbnailCache::store(const ThumbnailKey& key, const FileStamp& stamp, Thumbnail thumbnail,
                           Reservation& reservation) {
    // The reservation covered the entry, so trading one for the other keeps
    // within the budget.
    reservation.release();
    if (const auto old = entries_.find(key); old != entries_.end()) {
        evict(old);
    }
    const std::uint64_t bytes = entryBytes(key, thumbnail);
    used_.push_front(key);
    entries_.emplace(key, Entry{stamp, std::make_shared<const Thumbnail>(std::move(thumbnail)),
                                bytes, used_.begin()});
    cached_ += bytes;
    noteHeld();
    ready_.push_back(key);
}

bool ThumbnailCache::makeRoom(std::uint64_t bytes, std::size_t rank) {
    const auto fits = [&] { return cached_ + inFlight_ + bytes <= settings_.budget; };
    for (auto place = used_.end(); !fits() && place != used_.begin();) {
        const auto candidate = std::prev(place);
        const auto wanted = rank_.find(*candidate);
        if (wanted != rank_.end() && wanted->second < rank) {
            place = candidate;  // more wanted than what needs the room: kept
            continue;
        }
        evict(entries_.find(*candidate));
    }
    return fits();
}

void ThumbnailCache::evict(std::unordered_map<ThumbnailKey, Entry, ThumbnailKeyHash>::iterator entry) {
    cached_ -= entry->second.bytes;
    used_.erase(entry->second.used);
    entries_.erase(entry);
}

void ThumbnailCache::touch(Entry& entry) {
    used_.splice(used_.begin(), used_, entry.used);
}

void ThumbnailCache::noteHeld() {
    peak_ = std::max(peak_, cached_ + inFlight_);
}

}  // namespace folder2pdf

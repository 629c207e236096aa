#include "job/PictureOrder.h"

#include <algorithm>
#include <ctime>
#include <numeric>

#include "common/System.h"
#include "image/Decoders.h"
#include "image/JpegStructure.h"

namespace folder2pdf {
namespace {

// Enough for the EXIF segment, which cameras put before everything else
// but a thumbnail of some tens of kilobytes.
constexpr std::size_t dateBytes = 256 * 1024;

int digitsAt(const std::string& text, std::size_t at, std::size_t count) {
    return std::stoi(text.substr(at, count));
}

// "YYYY:MM:DD HH:MM:SS" as local time, as UTC nanoseconds.
std::optional<std::int64_t> localTime(const std::string& date) {
    std::tm fields{};
    fields.tm_year = digitsAt(date, 0, 4) - 1900;
    fields.tm_mon = digitsAt(date, 5, 2) - 1;
    fields.tm_mday = digitsAt(date, 8, 2);
    fields.tm_hour = digitsAt(date, 11, 2);
    fields.tm_min = digitsAt(date, 14, 2);
    fields.tm_sec = digitsAt(date, 17, 2);
    fields.tm_isdst = -1;  // the system decides whether summer time was on
    const std::time_t seconds = std::mktime(&fields);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds) * 1000000000;
}

}  // namespace

std::optional<std::int64_t> takenTime(const std::string& path) {
    try {
        Bytes start;
        resizeBytes(start, dateBytes);
        const std::size_t size = readFileStart(path, start.data(), start.size());
        std::string date = readPictureExif(start.data(), size).dateTimeOriginal;
        if (date.empty() && sniffHeif(start.data(), size)) {
            // A HEIF file's Exif item may lie anywhere in it.
            Bytes whole;
            readWholeFile(path, whole);
            date = heifDateTaken(whole.data(), whole.size());
        }
        return date.empty() ? std::nullopt : localTime(date);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

PictureDates systemDates() {
    return {modificationTime, [](const std::string& path) {
                const std::optional<std::int64_t> taken = takenTime(path);
                return taken ? taken : modificationTime(path);
            }};
}

void sortPictures(std::vector<Picture>& pictures, SortOrder order, bool reverse,
                  const PictureDates& dates) {
    std::vector<std::optional<std::int64_t>> times(pictures.size());
    if (order != SortOrder::Name) {
        const auto& time = order == SortOrder::Modified ? dates.modified : dates.taken;
        std::transform(pictures.begin(), pictures.end(), times.begin(),
                       [&](const Picture& picture) { return time(picture.path); });
    }
    std::vector<std::size_t> places(pictures.size());
    std::iota(places.begin(), places.end(), std::size_t{0});
    std::stable_sort(places.begin(), places.end(), [&](std::size_t a, std::size_t b) {
        if (times[a] != times[b]) {
            // nullopt after every time
            return times[a].has_value() && (!times[b] || *times[a] < *times[b]);
        }
        return naturalLess(pictures[a].name, pictures[b].name);
    });
    if (reverse) {
        std::reverse(places.begin(), places.end());
    }
    std::vector<Picture> sorted;
    sorted.reserve(pictures.size());
    for (const std::size_t place : places) {
        sorted.push_back(std::move(pictures[place]));
    }
    pictures = std::move(sorted);
}

}  // namespace folder2pdf

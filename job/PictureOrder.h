#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job/JobPlan.h"

namespace folder2pdf {

// What pictures are put in order by (--sort).
enum class SortOrder {
    Name,      // the natural order of their names (naturalLess()): a folder's own order
    Modified,  // when each file was last modified
    Taken,     // when each photo was taken, as its EXIF says; else when it was modified
};

// Where the times come from: the files themselves by default (systemDates()),
// fixed values in tests. Both give nanoseconds since 1970-01-01 00:00 UTC,
// nullopt when there is none to give; `taken` already falls back to the
// modification time for a photo that doesn't say.
struct PictureDates {
    std::function<std::optional<std::int64_t>(const std::string& path)> modified;
    std::function<std::optional<std::int64_t>(const std::string& path)> taken;
};

// The files' modification times (common/System) and takenTime(), falling
// back to them.
PictureDates systemDates();

// When the photo at `path` was taken: the EXIF date (DateTimeOriginal) of a
// JPEG or a TIFF, read from the file's first 256 KiB only, taken in this
// computer's time zone as cameras write their own clock's time. nullopt
// when the file has none, can't be read or is damaged; never throws.
std::optional<std::int64_t> takenTime(const std::string& path);

// Puts `pictures` in `order`, earliest first, ties (and pictures without a
// time, which come after those with one) in natural order of their names;
// `reverse` then turns the whole order round. Each picture moves whole, with
// all its pages and turns. Times are asked once a picture.
void sortPictures(std::vector<Picture>& pictures, SortOrder order, bool reverse = false,
                  const PictureDates& dates = systemDates());

}  // namespace folder2pdf

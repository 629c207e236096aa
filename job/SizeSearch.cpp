#include "job/SizeSearch.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "common/Text.h"
#include "image/ImgToByte.h"
#include "page/CompactEncoder.h"
#include "page/JpegEncoder.h"
#include "page/Resample.h"
#include "pdf/pdf.h"

namespace folder2pdf {
namespace {

// A quality and a scale for the photographs' pages.
struct SizeChoice {
    int quality = 0;
    double scale = 1.0;
};

constexpr int qualities[] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 95};
constexpr int lowestQuality = 10;
constexpr double smallestScale = 1.0 / 16;
constexpr double sampleScale = 0.25;  // the sample's pixels, each way
constexpr std::size_t samplePages = 6;
// Bytes a page takes besides its image stream (its three objects' words and
// their cross-reference lines), and the document's own.
constexpr std::int64_t pageBytes = 420;
constexpr std::int64_t documentBytes = 400;
// A document this much below the limit is worth a second run.
constexpr double closeEnough = 0.85;

// The pages of a sample, scaled down and encoded at every quality.
struct Sample {
    std::int64_t photos = 0;           // pages that become JPEG, in the whole plan
    std::int64_t losslessBytes = 0;    // the other pages' streams, estimated
    std::vector<double> meanBytes;     // a sampled photo's JPEG at each quality
    double factor = 16 * 0.55;         // full-size bytes per sample byte, learned by runs
};

Sample takeSample(const std::vector<Picture>& pages) {
    Sample sample;
    sample.meanBytes.assign(std::size(qualities), 0);
    const std::size_t step = std::max<std::size_t>(1, pages.size() / samplePages);
    ImgToByte loader;
    GrayImage image;
    GrayImage small;
    CompactEncoder compact;
    PreparedPage lossless;
    Bytes jpeg;
    std::int64_t sampledPhotos = 0;
    std::int64_t sampledOthers = 0;
    std::int64_t otherBytes = 0;
    for (std::size_t k = 0; k < pages.size(); k += step) {
        try {
            loader.load(pages[k].path, image, pages[k].page);
        } catch (const Error&) {
            continue;  // the run says what is wrong with it
        }
        if (levelBits(image.imgData) < 8) {
            compact.encode(image, lossless);
            otherBytes += static_cast<std::int64_t>(lossless.stream.size());
            ++sampledOthers;
            continue;
        }
        scaledDown(image, sampleScale, small);
        for (std::size_t q = 0; q < std::size(qualities); ++q) {
            encodeJpeg(small, qualities[q], jpeg);
            sample.meanBytes[q] += static_cast<double>(jpeg.size());
        }
        ++sampledPhotos;
    }
    const auto total = static_cast<std::int64_t>(pages.size());
    const std::int64_t sampled = sampledPhotos + sampledOthers;
    if (sampled > 0) {
        sample.photos = (total * sampledPhotos + sampled / 2) / sampled;
        sample.losslessBytes = sampledOthers > 0 ? otherBytes * (total - sample.photos) / sampledOthers : 0;
    }
    for (double& bytes : sample.meanBytes) {
        bytes = sampledPhotos > 0 ? bytes / static_cast<double>(sampledPhotos) : 0;
    }
    return sample;
}

// The photographs' bytes at quality index q and `scale`.
double photoBytes(const Sample& sample, std::size_t q, double scale) {
    return static_cast<double>(sample.photos) * sample.meanBytes[q] * sample.factor * scale * scale;
}

// The same at any quality: between two measured ones, bytes grow about
// geometrically.
double photoBytesAt(const Sample& sample, int quality, double scale) {
    std::size_t q = 0;
    while (q + 1 < std::size(qualities) && qualities[q + 1] <= quality) {
        ++q;
    }
    if (q + 1 == std::size(qualities) || qualities[q] == quality) {
        return photoBytes(sample, q, scale);
    }
    const double low = photoBytes(sample, q, scale);
    const double high = photoBytes(sample, q + 1, scale);
    const double t = static_cast<double>(quality - qualities[q]) / (qualities[q + 1] - qualities[q]);
    return low > 0 ? low * std::pow(high / low, t) : high * t;
}

// The best choice within `budget` photo bytes: the highest quality at full
// size, else quality 40 scaled down, else nothing (quality 0).
SizeChoice choose(const Sample& sample, double budget) {
    if (sample.photos == 0) {
        return {95, 1.0};
    }
    for (int quality = qualities[std::size(qualities) - 1]; quality >= lowestQuality; --quality) {
        if (photoBytesAt(sample, quality, 1.0) <= budget) {
            return {quality, 1.0};
        }
    }
    constexpr std::size_t scaledQuality = 3;  // 40
    const double scale = std::sqrt(budget / photoBytes(sample, scaledQuality, 1.0));
    if (scale >= smallestScale) {
        return {qualities[scaledQuality], std::min(scale, 1.0)};
    }
    const double lowest = std::sqrt(budget / photoBytes(sample, 0, 1.0));
    return {lowest >= smallestScale ? lowestQuality : 0, std::max(lowest, smallestScale)};
}

// Ends a run whose document comes out too large, or much smaller than
// allowed, before it is put in place.
struct OffTarget {
    std::int64_t photoBytes;  // the photographs' streams, projected to every page
};

class SizeGuard : public DocumentWriter {
  public:
    SizeGuard(std::unique_ptr<DocumentWriter> inner, std::int64_t limit, std::int64_t pages,
              bool acceptSmall)
        : inner_(std::move(inner)), limit_(limit), pages_(pages), acceptSmall_(acceptSmall) {}

    void pageOBJ(const PreparedPage& page) override {
        inner_->pageOBJ(page);
        ++written_;
        if (page.kind == StreamKind::Dct) {
            photoBytes_ += static_cast<std::int64_t>(page.stream.size());
            ++photos_;
        }
        if (inner_->size() + tail() > limit_) {
            throw OffTarget{projected()};
        }
    }
    void makePDF() override {
        if (!acceptSmall_ && photos_ > 0 && inner_->size() + tail() < closeEnough * limit_) {
            throw OffTarget{projected()};
        }
        inner_->makePDF();
    }
    std::int64_t size() const override { return inner_->size(); }

  private:
    // What the cross-reference table (20 bytes an object, three or four
    // objects a page), the page tree's "N 0 R" and the trailer will still add.
    std::int64_t tail() const { return 400 + 100 * pages_; }
    std::int64_t projected() const {
        return written_ > 0 ? photoBytes_ * pages_ / written_ : photoBytes_;
    }

    std::unique_ptr<DocumentWriter> inner_;
    std::int64_t limit_;
    std::int64_t pages_;
    bool acceptSmall_;
    std::int64_t written_ = 0;
    std::int64_t photos_ = 0;
    std::int64_t photoBytes_ = 0;
};

Error unreachable(std::int64_t limit, std::int64_t smallest) {
    return Error(ErrorReason::TooLarge,
                 "the document can't be made " + groupedNumber(static_cast<std::uint64_t>(limit)) +
                     " bytes or smaller: the smallest it can be is about " +
                     groupedNumber(static_cast<std::uint64_t>(smallest)) +
                     " bytes; nothing written");
}

}  // namespace

namespace {

// What a full run measured: the photographs' bytes at a quality and scale.
struct Measure {
    int quality;
    double scale;
    double bytes;
};

// The next choice once runs have measured: the secant on the logarithm of
// the bytes between the nearest measures on each side of the budget, or
// from the one measure along the sample's slope. `settled` is set when the
// best that fits was measured already, one quality below one that doesn't.
SizeChoice rechoose(const Sample& sample, const std::vector<Measure>& measures, double budget,
                    bool& settled) {
    const Measure* fits = nullptr;
    const Measure* over = nullptr;
    for (const Measure& m : measures) {
        if (m.bytes <= budget && (!fits || m.quality * m.scale > fits->quality * fits->scale)) {
            fits = &m;
        }
        if (m.bytes > budget && (!over || m.quality * m.scale < over->quality * over->scale)) {
            over = &m;
        }
    }
    settled = false;
    const Measure& last = measures.back();
    if (last.scale < 1) {
        // Scaled down: the bytes follow the pixels, at the quality kept.
        return {last.quality,
                std::clamp(last.scale * std::sqrt(budget / last.bytes), smallestScale, 1.0)};
    }
    double slope = 0;
    const Measure* from = &last;
    if (fits && over) {
        if (over->quality - fits->quality <= 1) {
            settled = true;
            return {fits->quality, 1.0};
        }
        slope = std::log(over->bytes / fits->bytes) / (over->quality - fits->quality);
        from = fits;
    } else {
        const int next = std::min(last.quality + 5, 95);
        const int before = std::max(last.quality - 5, lowestQuality);
        slope = std::log(photoBytesAt(sample, next, 1.0) / photoBytesAt(sample, before, 1.0)) /
                (next - before);
    }
    if (!(slope > 0)) {
        slope = 0.02;
    }
    int quality = from->quality + static_cast<int>(std::floor(std::log(budget / from->bytes) / slope));
    if (fits && over) {
        quality = std::clamp(quality, fits->quality + 1, over->quality - 1);
    }
    if (quality < lowestQuality) {
        // Even the lowest quality at full size is too large: scale down.
        const double lowest = from->bytes * std::exp(slope * (lowestQuality - from->quality));
        return {lowestQuality, std::clamp(std::sqrt(budget / lowest), smallestScale, 1.0)};
    }
    return {std::min(quality, 95), 1.0};
}

}  // namespace

JobResult runJobWithin(const JobPlan& plan, JobEvents& events) {
    const std::int64_t limit = plan.options.maxSize;
    const std::vector<Picture> pages = pagesOf(plan.pictures);
    const auto pageCount = static_cast<std::int64_t>(pages.size());
    const Sample sample = takeSample(pages);
    const std::int64_t fixed = documentBytes + pageBytes * pageCount + sample.losslessBytes;
    if (fixed > limit) {
        throw unreachable(limit, fixed);
    }
    const double budget = 0.97 * static_cast<double>(limit - fixed);
    std::vector<Measure> measures;
    constexpr int runs = 6;
    SizeChoice chosen = choose(sample, budget);
    const auto reported = [&chosen](JobResult result) {
        result.jpegQuality = chosen.quality;
        result.pictureScale = chosen.scale;
        return result;
    };
    for (int run = 1;; ++run) {
        if (chosen.quality == 0) {
            throw unreachable(limit, fixed + static_cast<std::int64_t>(photoBytes(
                                                  sample, 0, smallestScale)));
        }
        JobPlan attempt = plan;
        attempt.options.compression = Compression::Jpeg;
        attempt.options.jpegQuality = chosen.quality;
        attempt.options.pictureScale = chosen.scale;
        const bool best = chosen.quality == 95 && chosen.scale == 1.0;
        bool settled = false;
        SizeGuard writer(newPdfWriter(attempt.output, attempt.options), limit, pageCount,
                         best || run == runs);
        try {
            return reported(runJob(attempt, writer, events));
        } catch (const OffTarget& off) {
            measures.push_back({chosen.quality, chosen.scale, static_cast<double>(off.photoBytes)});
            const bool smallestTried = chosen.quality == lowestQuality && chosen.scale <= smallestScale;
            if (run == runs || (smallestTried && off.photoBytes > budget)) {
                throw unreachable(limit, fixed + off.photoBytes);
            }
        }
        chosen = rechoose(sample, measures, budget, settled);
        if (settled) {
            // One quality higher no longer fits: the last that did is the
            // closest the pictures allow.
            JobPlan attempt = plan;
            attempt.options.compression = Compression::Jpeg;
            attempt.options.jpegQuality = chosen.quality;
            attempt.options.pictureScale = chosen.scale;
            SizeGuard closest(newPdfWriter(attempt.output, attempt.options), limit, pageCount, true);
            return reported(runJob(attempt, closest, events));
        }
    }
}

}  // namespace folder2pdf

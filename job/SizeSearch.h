#pragma once

#include <cstdint>
#include <string>

#include "job/JobRun.h"

namespace folder2pdf {

// What a run under a size limit chose for the whole document.
struct SizeChoice {
    int quality = 0;     // the JPEG quality of the photographs' pages
    double scale = 1.0;  // their pixels' scale, 1 when kept
};

// runJob() under plan.options.maxSize: the pages that are photographs
// become JPEG of one quality, scaled down uniformly where even a low
// quality is too large, so that the document is at most maxSize bytes and
// as close to it as the pictures allow. The quality comes from a sample (a
// few pages, scaled down, at every quality), then from the full run
// itself: a run whose document would be too large, or far smaller than
// allowed, stops before the document is put in place and the next tries a
// corrected quality, so that most documents take one full run and few more
// than two. A size that can't be met is an Error (TooLarge) naming the
// smallest size reachable; nothing is written then.
JobResult runJobWithin(const JobPlan& plan, JobEvents& events, SizeChoice& chosen);

}  // namespace folder2pdf

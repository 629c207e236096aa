#pragma once

#include "job/JobRun.h"

namespace folder2pdf {

// runJob() under plan.options.maxSize: the pages that are photographs
// become JPEG of one quality, scaled down uniformly where even a low
// quality is too large, so that the document is at most maxSize bytes and
// as close to it as the pictures allow. The quality comes from a sample (a
// few pages, scaled down, at every quality), then from the full run
// itself: a run whose document would be too large, or far smaller than
// allowed, stops before the document is put in place and the next tries a
// corrected quality, so that most documents take one full run and few more
// than two. A size that can't be met is an Error (TooLarge) naming the
// smallest size reachable; nothing is written then. The result says the
// quality and scale chosen. The plan's output has passed checkOutput().
JobResult runJobWithin(const JobPlan& plan, JobEvents& events);

}  // namespace folder2pdf

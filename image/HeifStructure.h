#pragma once

#include <cstddef>
#include <cstdint>

namespace folder2pdf {

// libheif 1.15 sizes what it decodes by what the coded data says, never by
// what the file declares: a file of a few kilobytes whose picture is
// declared 37 x 29 pixels (its "ispe" property) can hold an HEVC or AV1
// stream of 40,000 x 40,000, or a grid or overlay of that size, and libheif
// allocates it before anything can be checked. So the boxes are read here
// first. Every picture item of the file (hvc1, av01, grid, iovl) must
// declare its size; coded streams (the parameter sets of hvcC and of the
// item's own data, AV1's sequence headers) may exceed it only by the
// padding of one coding block (64 pixels), grids and overlays not at all;
// and no item may declare more than `primaryPixels` (the primary picture's
// declared size, already within the loader's rules) or 16 megapixels, which
// no real tile or alpha plane needs. Throws a Damaged Error naming the item
// otherwise, and for boxes it can't read (libheif read them first, so those
// are files that bend the format).
void checkHeifDeclaredSizes(const std::uint8_t* data, std::size_t size,
                            std::uint64_t primaryPixels);

}  // namespace folder2pdf

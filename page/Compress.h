#pragma once

#include <cstdint>

#include "common/Checked.h"

namespace folder2pdf {

// zlib's one-call compress(): the destination, its length (room offered on
// entry, bytes written on return), the source and its length.
using CompressFunction = int (*)(unsigned char* dest, unsigned long* destLen,
                                 const unsigned char* source, unsigned long sourceLen);

// Room offered to zlib for n input bytes: n x 0.01 + n + 12, computed in
// double precision and rounded to the nearest integer, halves to even.
// A TooLarge error when it passes the signed 32-bit range.
std::int32_t compressCapacity(std::int32_t n);

// Replaces data by its zlib stream (RFC 1950, zlib's default level), the form
// PDF's FlateDecode filter reads, and returns zlib's result code: Z_OK (0) on
// success; on any other code data is left exactly as it was. The stream is
// made in `scratch`, kept by the caller from call to call so that
// compressing picture after picture reuses memory instead of touching fresh
// pages; on success data and scratch trade places: data holds the stream
// and scratch the former bytes. An empty array is a Damaged error
// ("subscript out of range"); a length beyond the 32-bit rules a TooLarge
// one. `compressor` replaces zlib's compress() in tests of the failure path.
int CompressBytes(Bytes& data, Bytes& scratch, CompressFunction compressor = nullptr);

}  // namespace folder2pdf

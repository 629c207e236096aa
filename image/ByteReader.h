#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Error.h"

namespace folder2pdf {

// A cursor over untrusted bytes that reads little-endian numbers and spans
// and never steps outside the array: a read past the end throws DecodeError
// "truncated <format>: the file ends at byte N, in <what was being read>". Once a span has been
// taken, the caller may index it freely up to the count it asked for.
class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size, const char* format)
        : data_(data), size_(size), format_(format) {}

    std::size_t size() const { return size_; }
    std::size_t position() const { return position_; }
    std::size_t remaining() const { return size_ - position_; }
    bool has(std::size_t count) const { return count <= remaining(); }

    // Moves to an absolute offset, which may be the end but not beyond it.
    void seek(std::size_t offset, const char* what) {
        if (offset > size_) {
            fail(what);
        }
        position_ = offset;
    }

    void skip(std::size_t count, const char* what) { take(count, what); }

    // The next `count` bytes, checked to be present.
    const std::uint8_t* take(std::size_t count, const char* what) {
        if (!has(count)) {
            fail(what);
        }
        const std::uint8_t* span = data_ + position_;
        position_ += count;
        return span;
    }

    std::uint8_t u8(const char* what) { return *take(1, what); }

    std::uint16_t u16le(const char* what) {
        const std::uint8_t* p = take(2, what);
        return static_cast<std::uint16_t>(p[0] | p[1] << 8);
    }

    std::uint32_t u32le(const char* what) {
        const std::uint8_t* p = take(4, what);
        return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }

    std::int32_t i32le(const char* what) { return static_cast<std::int32_t>(u32le(what)); }

    [[noreturn]] void fail(const char* what) const {
        throw Error(ErrorReason::Damaged, std::string("truncated ") + format_ +
                                              ": the file ends at byte " + std::to_string(size_) +
                                              ", in " + what);
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    const char* format_;
};

}  // namespace folder2pdf

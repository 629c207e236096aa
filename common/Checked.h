#pragma once

#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Text.h"

namespace folder2pdf {

// Every count and size the document and the pictures carry is a signed
// 32-bit number; arithmetic that leaves that range is an overflow error, not
// a wrap-around. These helpers are the one place where that rule is applied.

[[noreturn]] inline void throwOverflow(std::int32_t a, const char* operation, std::int32_t b) {
    throw Error(ErrorReason::TooLarge,
                "overflow: " + std::to_string(a) + operation + std::to_string(b));
}

inline std::int32_t checkedAdd(std::int32_t a, std::int32_t b) {
    std::int32_t result;
    if (__builtin_add_overflow(a, b, &result)) {
        throwOverflow(a, " + ", b);
    }
    return result;
}

inline std::int32_t checkedMul(std::int32_t a, std::int32_t b) {
    std::int32_t result;
    if (__builtin_mul_overflow(a, b, &result)) {
        throwOverflow(a, " x ", b);
    }
    return result;
}

// A wider count brought back into the signed 32-bit range.
template <typename T>
std::int32_t checkedInt32(T value) {
    if (value < T{0}
            ? static_cast<long long>(value) < std::numeric_limits<std::int32_t>::min()
            : static_cast<unsigned long long>(value) >
                  static_cast<unsigned long long>(std::numeric_limits<std::int32_t>::max())) {
        throw Error(ErrorReason::TooLarge,
                    "overflow: " + std::to_string(value) + " is beyond 32 bits");
    }
    return static_cast<std::int32_t>(value);
}

// Allocator whose resize() leaves new bytes uninitialised: large picture
// buffers are overwritten at once, and zero-filling them first would touch
// every fresh page twice.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    using std::allocator<T>::allocator;
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        if constexpr (sizeof...(Args) == 0) {
            ::new (static_cast<void*>(p)) U;
        } else {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    }
};

// The byte array of the program: pictures, content streams, file contents.
using Bytes = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

// Bytes::resize that reports exhausted memory as the project's error.
inline void resizeBytes(Bytes& bytes, std::size_t size) {
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        throw Error(ErrorReason::OutOfMemory, "out of memory (" + groupedNumber(size) + " bytes)");
    } catch (const std::length_error&) {
        throw Error(ErrorReason::OutOfMemory, "out of memory (" + groupedNumber(size) + " bytes)");
    }
}

}  // namespace folder2pdf

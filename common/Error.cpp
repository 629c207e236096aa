#include "common/Error.h"

namespace folder2pdf {

const char* kindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow:
            return "overflow";
        case ErrorKind::SubscriptOutOfRange:
            return "subscript out of range";
        case ErrorKind::OutOfMemory:
            return "out of memory";
        case ErrorKind::FileError:
            return "file error";
        case ErrorKind::DecodeError:
            return "decode error";
    }
    return "error";
}

}  // namespace folder2pdf

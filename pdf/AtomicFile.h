#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace folder2pdf {

// Replaces the file at `path` whole with `size` bytes, or creates it, such
// that a failure at any point (a full disk, no permission, the process being
// killed) leaves the earlier file byte for byte as it was. The bytes go to a
// new temporary file beside the target (created exclusively, so no other
// file is ever overwritten), are flushed to disk, and the temporary file is
// renamed over the target; on failure it is removed. A target that is a
// symbolic link is replaced by the new file; what it pointed to is not
// touched. Throws Error (FileError) naming the path and the reason.
void replaceFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size);

// Removes the temporary file that replaceFileAtomically() is writing at this
// moment, if there is one, and tells whether there was. Async-signal-safe:
// for a signal handler that ends the process, so that ending it during the
// write leaves the earlier file as it was and nothing beside it. (While the
// temporary file is being created or renamed, the writing thread holds
// signals back, so a handler never sees it half done.)
bool removeTemporaryFile();

}  // namespace folder2pdf

#pragma once

#include <cstddef>

namespace quorlane::json {

// Recycles the small blocks that JSON values are made of. A parsed catalogue holds about a hundred thousand of
// them; taking them from per-thread free lists instead of the general heap makes parsing and freeing trees
// several times cheaper. Blocks come from 64 KiB slabs that are kept for reuse for the whole process, so a block
// may be freed on another thread than the one that made it. Builds with AddressSanitizer use the plain heap, so
// that use after free is still caught.
void* AllocateValue(std::size_t size);
void ReleaseValue(void* block, std::size_t size) noexcept;

} // namespace quorlane::json

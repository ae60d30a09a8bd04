#pragma once

#include <FreeImage.h>

#include <memory>

namespace pictrove {

// One owner per FreeImage handle type: released in one place on every path.
struct FreeImageBitmapDeleter {
    void operator()(FIBITMAP *bitmap) const noexcept
    {
        if (bitmap)
            FreeImage_Unload(bitmap);
    }
};
using FiBitmap = std::unique_ptr<FIBITMAP, FreeImageBitmapDeleter>;

struct FreeImageMemoryDeleter {
    void operator()(FIMEMORY *memory) const noexcept
    {
        if (memory)
            FreeImage_CloseMemory(memory);
    }
};
using FiMemory = std::unique_ptr<FIMEMORY, FreeImageMemoryDeleter>;

} // namespace pictrove

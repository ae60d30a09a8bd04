#include "engine/conversion/LargeImageMemory.h"

#include <malloc.h>

namespace pictrove {

void keepLargeImageBuffers()
{
    // Up to 512 MB per buffer from the heap; give memory back only when more
    // than 1 GB of it lies unused at the top.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 1024 << 20);
}

} // namespace pictrove

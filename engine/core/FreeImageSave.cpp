#include "engine/core/FreeImageSave.h"

#include "decoding/FreeImageHandles.h"

#include <QSaveFile>

#include <cstdio>

namespace pictrove {

namespace {

unsigned DLL_CALLCONV readNothing(void *, unsigned, unsigned, fi_handle) { return 0; }

unsigned DLL_CALLCONV writeToFile(void *buffer, unsigned size, unsigned count, fi_handle handle)
{
    auto *file = static_cast<QSaveFile *>(handle);
    const qint64 bytes = qint64(size) * count;
    return size == 0 || file->write(static_cast<const char *>(buffer), bytes) != bytes ? 0 : count;
}

int DLL_CALLCONV seekFile(fi_handle handle, long offset, int origin)
{
    auto *file = static_cast<QSaveFile *>(handle);
    qint64 target = offset;
    if (origin == SEEK_CUR)
        target += file->pos();
    else if (origin == SEEK_END)
        target += file->size();
    return file->seek(target) ? 0 : -1;
}

long DLL_CALLCONV tellFile(fi_handle handle) { return long(static_cast<QSaveFile *>(handle)->pos()); }

} // namespace

namespace {
// libtiff finishes a file by writing its directory at the end and then the
// header at the start, and FreeImage reports success when that last part
// fails: on a full disk the file is left without its header. A TIFF is
// therefore encoded into memory first, and what reaches the disk is
// written, and checked, whole.
bool saveThroughMemory(FREE_IMAGE_FORMAT format, FIBITMAP *dib, const QString &path, int flags)
{
    const FiMemory memory(FreeImage_OpenMemory(nullptr, 0));
    if (!memory || !FreeImage_SaveToMemory(format, dib, memory.get(), flags))
        return false;
    BYTE *data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(memory.get(), &data, &size) || !data || size == 0)
        return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size) &&
           file.flush() && file.commit();
}
} // namespace

bool saveBitmapChecked(FREE_IMAGE_FORMAT format, FIBITMAP *dib, const QString &path, int flags)
{
    if (!dib)
        return false;
    if (format == FIF_TIFF)
        return saveThroughMemory(format, dib, path, flags);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    FreeImageIO io{readNothing, writeToFile, seekFile, tellFile};
    // A writer that ignores a failed write still leaves the file's error
    // state set, and then the commit refuses.
    if (!FreeImage_SaveToHandle(format, dib, &io, &file, flags))
        return false;
    // commit() does not notice when writing out its buffer fails: flush first.
    return file.flush() && file.commit();
}

} // namespace pictrove

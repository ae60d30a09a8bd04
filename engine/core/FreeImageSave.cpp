#include "engine/core/FreeImageSave.h"

#include "platform/WriteFailure.h"


#include <QSaveFile>

#include <cstdio>
#include <cstring>

namespace pictrove {

namespace {

unsigned DLL_CALLCONV readNothing(void *, unsigned, unsigned, fi_handle) { return 0; }

unsigned DLL_CALLCONV writeToFile(void *buffer, unsigned size, unsigned count, fi_handle handle)
{
    auto *file = static_cast<QSaveFile *>(handle);
    const qint64 bytes = qint64(size) * count;
    if (size == 0)
        return 0;
    if (file->write(static_cast<const char *>(buffer), bytes) != bytes) {
        noteWriteFailure();
        return 0;
    }
    return count;
}

int DLL_CALLCONV seekFile(fi_handle handle, long offset, int origin)
{
    auto *file = static_cast<QSaveFile *>(handle);
    qint64 target = offset;
    if (origin == SEEK_CUR)
        target += file->pos();
    else if (origin == SEEK_END)
        target += file->size();
    if (file->seek(target))
        return 0;
    noteWriteFailure(); // a seek writes out the buffer first
    return -1;
}

long DLL_CALLCONV tellFile(fi_handle handle) { return long(static_cast<QSaveFile *>(handle)->pos()); }

} // namespace

namespace {
// libtiff finishes a file by writing its directory at the end and then the
// header at the start, and FreeImage reports success when that last part
// fails: on a full disk the file is left without its header. A TIFF is
// therefore encoded into memory first, and what reaches the disk is
// written, and checked, whole. The buffer is ours rather than FreeImage's
// memory stream: libtiff seeks past the end for alignment, and the stream
// would leave those bytes as whatever the memory held.
struct Buffer {
    QByteArray bytes;
    qint64 pos = 0;
};

unsigned DLL_CALLCONV writeToBuffer(void *data, unsigned size, unsigned count, fi_handle handle)
{
    auto *b = static_cast<Buffer *>(handle);
    const qint64 n = qint64(size) * count;
    if (n <= 0)
        return 0;
    const qint64 end = b->pos + n;
    if (end > b->bytes.size()) {
        const qint64 old = b->bytes.size();
        b->bytes.resize(end);
        std::memset(b->bytes.data() + old, 0, size_t(end - old)); // gaps read as zeros, as on disk
    }
    std::memcpy(b->bytes.data() + b->pos, data, size_t(n));
    b->pos = end;
    return count;
}

int DLL_CALLCONV seekBuffer(fi_handle handle, long offset, int origin)
{
    auto *b = static_cast<Buffer *>(handle);
    qint64 target = offset;
    if (origin == SEEK_CUR)
        target += b->pos;
    else if (origin == SEEK_END)
        target += b->bytes.size();
    if (target < 0)
        return -1;
    b->pos = target;
    return 0;
}

long DLL_CALLCONV tellBuffer(fi_handle handle) { return long(static_cast<Buffer *>(handle)->pos); }

bool failed()
{
    noteWriteFailure();
    return false;
}

bool saveThroughMemory(FREE_IMAGE_FORMAT format, FIBITMAP *dib, const QString &path, int flags,
                       const FinishFile &finish)
{
    Buffer buffer;
    FreeImageIO io{readNothing, writeToBuffer, seekBuffer, tellBuffer};
    if (!FreeImage_SaveToHandle(format, dib, &io, &buffer, flags) || buffer.bytes.isEmpty())
        return false;
    return saveBytesChecked(buffer.bytes, path, finish);
}
} // namespace

bool saveBytesChecked(const QByteArray &encoded, const QString &path, const FinishFile &finish)
{
    const QByteArray bytes = finish ? finish(encoded) : encoded;
    if (bytes.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || !file.commit())
        return failed();
    return true;
}

bool saveBitmapChecked(FREE_IMAGE_FORMAT format, FIBITMAP *dib, const QString &path, int flags,
                       const FinishFile &finish)
{
    if (!dib)
        return false;
    if (format == FIF_TIFF || finish)
        return saveThroughMemory(format, dib, path, flags, finish);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    FreeImageIO io{readNothing, writeToFile, seekFile, tellFile};
    // A writer that ignores a failed write still leaves the file's error
    // state set, and then the commit refuses.
    if (!FreeImage_SaveToHandle(format, dib, &io, &file, flags))
        return false; // the failed write, if one was the cause, is noted already
    // commit() does not notice when writing out its buffer fails: flush first.
    if (!file.flush() || !file.commit())
        return failed();
    return true;
}

} // namespace pictrove

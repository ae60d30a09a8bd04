#include "engine/palette/GifWriter.h"

#include "engine/palette/RowProgress.h"

#include <QSaveFile>

#include "engine/palette/GifFailure.h"
#include "platform/WriteFailure.h"

#include <gif_lib.h>

#include <memory>
#include <vector>

namespace pictrove {

namespace {

struct GifFileCloser {
    void operator()(GifFileType *gif) const noexcept
    {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};
using GifFile = std::unique_ptr<GifFileType, GifFileCloser>;

struct ColourMapDeleter {
    void operator()(ColorMapObject *map) const noexcept { GifFreeMapObject(map); }
};
using ColourMap = std::unique_ptr<ColorMapObject, ColourMapDeleter>;

int writeToSaveFile(GifFileType *gif, const GifByteType *bytes, int length)
{
    auto *file = static_cast<QSaveFile *>(gif->UserData);
    const qint64 written = file->write(reinterpret_cast<const char *>(bytes), length);
    if (written != length)
        noteWriteFailure();
    return int(written);
}

int bitsFor(qsizetype colours)
{
    int bits = 1;
    while ((qsizetype(1) << bits) < colours)
        ++bits;
    return bits;
}

std::vector<int> rowOrder(int height, bool interlaced)
{
    std::vector<int> rows;
    rows.reserve(size_t(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass])
            rows.push_back(y);
    return rows;
}

} // namespace

bool writeGif(const QImage &picture, bool interlaced, const QString &path,
              const RowProgress *ready, QString *reason)
{
    QString unused;
    QString &why = reason ? *reason : unused;
    why.clear();
    takeWriteFailureCode(); // a failure noted before is not this file's
    const int width = picture.width(), height = picture.height();
    // The format keeps sizes in 16 bits.
    if (picture.isNull() || picture.format() != QImage::Format_Indexed8) {
        why = QStringLiteral("there is no palette picture to write");
        return false;
    }
    if (width > 0xFFFF || height > 0xFFFF) {
        why = QStringLiteral("the picture is too large for a GIF file");
        return false;
    }
    const QList<QRgb> table = picture.colorTable();
    const int bits = bitsFor(table.size());
    if (table.isEmpty() || bits > 8 || (qsizetype(1) << bits) != table.size()) {
        why = QStringLiteral("the colour table does not fit a GIF file");
        return false;
    }

    std::vector<GifColorType> colours;
    for (QRgb c : table)
        colours.push_back(GifColorType{GifByteType(qRed(c)), GifByteType(qGreen(c)),
                                       GifByteType(qBlue(c))});
    ColourMap map(GifMakeMapObject(int(colours.size()), colours.data()));
    if (!map) {
        why = gifErrorText(E_GIF_ERR_NOT_ENOUGH_MEM);
        return false;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        why = gifFileFailure(file);
        return false;
    }
    int error = 0;
    GifFile gif(EGifOpen(&file, writeToSaveFile, &error));
    if (!gif) {
        why = gifFailure(error);
        return false;
    }
    EGifSetGifVersion(gif.get(), true);
    // giflib copies the colour maps it is given.
    if (EGifPutScreenDesc(gif.get(), width, height, bits, 0, map.get()) == GIF_ERROR
        || EGifPutImageDesc(gif.get(), 0, 0, width, height, interlaced, nullptr) == GIF_ERROR) {
        why = gifFailure(gif->Error);
        return false;
    }
    // Rows by address, without touching the image object again: another
    // thread may be filling it.
    const uchar *pixels = picture.constBits();
    const qsizetype bytesPerLine = picture.bytesPerLine();
    for (int y : rowOrder(height, interlaced)) {
        if (ready && !ready->waitFor(y + 1)) {
            why = QStringLiteral("the picture was given up");
            return false; // no file
        }
        // giflib takes a non-const line but only reads it.
        auto *line = const_cast<GifPixelType *>(pixels + y * bytesPerLine);
        if (EGifPutLine(gif.get(), line, width) == GIF_ERROR) {
            why = gifFailure(gif->Error);
            return false;
        }
    }
    // Closing writes the trailer; only then is the file complete.
    GifFileType *raw = gif.release();
    if (EGifCloseFile(raw, &error) == GIF_ERROR) {
        why = gifFailure(error);
        return false;
    }
    // commit() does not notice when writing out its buffer fails: flush first.
    if (file.flush() && file.commit())
        return true;
    noteWriteFailure();
    why = gifFileFailure(file);
    return false;
}

} // namespace pictrove

#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace pictrove {

// The pixel size a file's header declares, read from the few bytes of the
// header without decoding, for the formats whose decoders would otherwise
// allocate (or overflow their size arithmetic) before checking anything.
// Empty when the format is not one of those or the header is too short.
struct DeclaredSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t pixels() const { return width * height; }
};
std::optional<DeclaredSize> declaredSizeOf(const QString &path, QStringView extension);

// True for the formats declaredSizeOf reads: for those, a header it cannot
// read is a damaged one.
bool declaresSizeInHeader(QStringView extension);

// True when the header rules out alpha for a picture whose pixels (or colour
// map entries) may still take four bytes: a Targa file declaring no alpha
// bits, or a 32-bit Sun raster. The fourth byte is padding there, which the
// libraries hand over as alpha all the same.
bool declaresNoAlpha(const QString &path, QStringView extension);

} // namespace pictrove

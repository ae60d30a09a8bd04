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

} // namespace pictrove

#pragma once

#include <QString>

namespace pictrove {

// The user's Desktop folder when it exists, else empty text.
QString GetDesktopFolder();

} // namespace pictrove

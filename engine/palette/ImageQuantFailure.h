#pragma once

#include <QString>

namespace pictrove {

// libimagequant answers every call with a liq_error code and keeps no text
// of its own. This turns a code (not LIQ_OK) into the reason a user reads
// for a palette that could not be made.
QString imageQuantFailure(int code);

} // namespace pictrove

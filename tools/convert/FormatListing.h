#pragma once

#include <QString>

namespace pictrove::convert {

// The catalogue for scripts: one line per row, "INDEX\tTEXT\tEXTENSION\n",
// in list order. A tab never occurs in a row's text, so `cut -f2` gives
// the exact text that --format takes.
QString formatListing();

} // namespace pictrove::convert

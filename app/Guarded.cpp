#include "app/Guarded.h"

namespace pictrove {

Q_LOGGING_CATEGORY(lcGuarded, "pictrove.guarded")

} // namespace pictrove

#pragma once

#include <QLoggingCategory>

#include <exception>

namespace pictrove {

Q_DECLARE_LOGGING_CATEGORY(lcGuarded)

// Runs one step of a routine whose steps are each allowed to fail: a step
// that throws is skipped and the caller goes on with the next one. What
// failed is left in the debug log (category "pictrove.guarded"), so that a
// step that keeps failing can still be found.
template <typename Step>
void guarded(Step &&step) noexcept
{
    try {
        step();
    } catch (const std::exception &e) {
        qCDebug(lcGuarded, "a step failed and was skipped: %s", e.what());
    } catch (...) {
        qCDebug(lcGuarded, "a step failed and was skipped");
    }
}

} // namespace pictrove

#pragma once

namespace pictrove {

// Qt's platform start-up asks for the session's runtime folder and warns on
// standard error when XDG_RUNTIME_DIR is unset (cron, ssh, a service).
// Pictrove needs no runtime folder of Qt's own: its private folder falls
// back to the temporary folder by itself. Call before the application
// object is made; every other message goes where it went.
void dropRuntimeFolderWarning();

} // namespace pictrove

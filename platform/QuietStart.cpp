#include "platform/QuietStart.h"

#include <QString>
#include <QtGlobal>

namespace pictrove {

namespace {
QtMessageHandler previous = nullptr;

void filter(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    if (previous)
        previous(type, context, message);
}
} // namespace

void dropRuntimeFolderWarning()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return; // nothing to drop: leave Qt's handling alone
    previous = qInstallMessageHandler(filter);
}

} // namespace pictrove

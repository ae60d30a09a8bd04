#include "engine/conversion/BatchOutputName.h"

#include "platform/ProgramFolder.h"

namespace pictrove {

QString batchOutputPath(const QString &destination, const QString &genericName,
                        std::int64_t position, const QString &extension)
{
    return joinPath(destination, genericName + QString::number(position) + QLatin1Char('.') + extension);
}

} // namespace pictrove

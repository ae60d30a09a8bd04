#include "tools/convert/FormatListing.h"

#include "engine/catalogue/FormatCatalogue.h"

namespace pictrove::convert {

QString formatListing()
{
    QString text;
    int index = 0;
    for (const FormatRow &row : formatCatalogue()) {
        text += QString::number(index++) + QLatin1Char('\t') + row.listText + QLatin1Char('\t') +
                row.extension + QLatin1Char('\n');
    }
    return text;
}

} // namespace pictrove::convert

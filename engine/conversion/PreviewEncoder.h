#pragma once

#include "engine/conversion/ConversionContext.h"
#include "engine/conversion/FileResult.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace pictrove {

// The texts of the Step 2 labels for a written file.
struct PreviewLabels {
    QString FileType4; // "GIF", "BMP", "PNG", "TGA", "TIF", "PCX", "JPG", "WEBP", "AVIF"
    QString FileSize4; // "12 KB", or "12 Kb" for JPEG
    QString Depth4;    // DepthText, "24 bit" for JPEG, "32 bit" for WebP and AVIF with alpha
    QString Resolution4; // "W x H" of the written picture
    std::int64_t bytes = 0;
};

// What an encode left: the file result and, when a file was written and
// shown, the new label texts. Without labels the previous view and labels
// stay as they were.
struct PreviewResult {
    FileResult file;
    std::optional<PreviewLabels> labels;
    QString status;         // for status panel 5, when the encode says something there
    bool abandoned = false; // ended early because a newer encode was asked for
};

// Encodes the original surface with the current options into path and shows
// the written file in the optimized surface. keep 0 deletes a file of that
// path first; keep 1 leaves it until the new one replaces it whole.
PreviewResult EncodePreview(ConversionContext &context, const QString &path, std::int16_t keep);

// The same for the JPEG rows; stores quality in JpegQuality.
PreviewResult EncodePreviewJpeg(ConversionContext &context, const QString &path,
                                std::int32_t quality, std::int16_t keep);

} // namespace pictrove

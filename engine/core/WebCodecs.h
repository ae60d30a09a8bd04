#pragma once

#include "metadata/PictureMetadata.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace pictrove::web {

// The formats written by their own libraries rather than through FreeImage.
enum class Codec {
    WebpLossy,
    WebpLossless,
    Avif,
};

struct EncodeRequest {
    Codec codec = Codec::WebpLossy;
    // Format_ARGB32 (straight alpha) or Format_RGB32; alpha is written only
    // when keepAlpha is set, so an opaque picture costs no alpha plane.
    QImage picture;
    bool keepAlpha = false;
    int quality = 80; // 1..100; the lossless WebP row takes libwebp's effort default
    // Blocks prepared for a file of the picture's size (filemetadata::forWriting).
    PictureMetadata metadata;
    // Asked while libwebp works: true ends the encode (a newer preview is wanted).
    std::function<bool()> abandoned;
};

struct Encoded {
    QByteArray bytes; // the complete file; empty on failure
    QString error;
    bool abandoned = false;
};

// The whole file in memory, so that what reaches the disk is written and
// checked in one piece by the caller. Uses every processor for one picture.
Encoded encode(const EncodeRequest &request);

// Reads a file this program has just written, for the optimized view:
// Format_ARGB32 when it holds alpha, Format_RGB32 otherwise; null when it
// cannot be read.
QImage decodeOwn(Codec codec, const QByteArray &bytes);

// libavif can encode here (its AOM encoder was built in); the reason otherwise.
bool avifEncoderAvailable(QString *reason = nullptr);

// 1..100 as an AV1 quantizer (63..0), the scale libavif's own quality maps to.
int avifQuantizer(int quality);

// The encoders' speed settings, for the benchmark's peer command lines.
constexpr int WebpMethod = 4;
constexpr int AvifSpeed = 8;

} // namespace pictrove::web

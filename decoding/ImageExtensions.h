#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace pictrove {

// The lower-case extensions whose files the folder listing shows and the
// loaders read, in the order the listing tests them: the forty of old, then
// WebP, HEIF, AVIF, JPEG XL and camera raw files.
const QStringList &recognisedExtensions();

// True when ext (any letter case, without the dot) is recognised.
bool isRecognisedExtension(QStringView ext);

// The lower-cased text after the last "." of the file name, or empty when the
// name has no "."; a dot in a folder name does not count.
QString lowerExtensionOf(const QString &path);

} // namespace pictrove

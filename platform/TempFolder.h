#pragma once

#include <QByteArray>
#include <QString>

namespace pictrove {

// The user's private temporary folder, ending with "/":
// $XDG_RUNTIME_DIR/pictrove/ when that can be used, else
// <system temp>/pictrove-<uid>/. Created with mode 0700; a path that is not
// a real directory owned by the user (for instance a link planted by someone
// else in the shared temp folder) is refused. Empty text when neither works.
QString GetTempFolder();

// Makes sure path is a directory owned by the user that only the user can
// enter: creates it with mode 0700, or tightens an existing one of the
// user's to 0700. False for a symbolic link, a non-directory or a directory
// owned by someone else.
bool ensurePrivateFolder(const QString &path);

// The text up to its first NUL character, or the whole text without one.
QString StripAtNul(const QString &text);

// The fixed preview file "t65s8s98" in GetTempFolder(); empty text when
// there is no usable temporary folder.
QString GetPreviewFilePath();

// Replaces the file at path by a complete new one holding bytes: written to
// a fresh private file in the same folder, then renamed over path. A link
// found at path is replaced, never written through.
bool replaceFileNoFollow(const QString &path, const QByteArray &bytes);

// Reads a regular file without following a symbolic link at path. ok (when
// given) tells whether the read succeeded.
QByteArray readFileNoFollow(const QString &path, bool *ok = nullptr);

// Removes the file or link at path (never what a link points to). True when
// nothing is left at path.
bool removeNoFollow(const QString &path);

} // namespace pictrove

#include "metadata/XmpPacket.h"

namespace pictrove::xmp {

namespace {

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':'
        || c == '_' || c == '-' || c == '.' || (static_cast<unsigned char>(c) & 0x80);
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

qsizetype skipSpace(const QByteArray &text, qsizetype at)
{
    while (at < text.size() && isSpace(text[at]))
        ++at;
    return at;
}

// Replaces the value of every occurrence of the property name: name="v",
// name='v' (an attribute of rdf:Description) or <name>v</name> (an element).
// Anything else that merely contains the name is left alone.
void replaceValue(QByteArray &text, const QByteArray &name, const QByteArray &value)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(name, from);
        if (at < 0)
            return;
        from = at + name.size();
        if (at > 0 && isNameChar(text[at - 1]))
            continue;
        qsizetype next = from;
        if (next < text.size() && isNameChar(text[next]))
            continue;
        next = skipSpace(text, next);
        if (next >= text.size())
            return;
        qsizetype start = -1;
        qsizetype end = -1;
        if (text[next] == '=' && (at == 0 || text[at - 1] != '/')) {
            next = skipSpace(text, next + 1);
            if (next >= text.size() || (text[next] != '"' && text[next] != '\''))
                continue;
            start = next + 1;
            end = text.indexOf(text[next], start);
        } else if (text[next] == '>' && at > 0 && text[at - 1] == '<') {
            start = next + 1;
            end = text.indexOf('<', start);
        }
        if (start < 0 || end < 0)
            continue;
        text.replace(start, end - start, value);
        from = start + value.size();
    }
}

} // namespace

QByteArray rebuildForWriting(const QByteArray &packet, QSize pictureSize)
{
    QByteArray text = packet;
    replaceValue(text, QByteArrayLiteral("tiff:Orientation"), QByteArrayLiteral("1"));
    if (!pictureSize.isEmpty()) {
        const QByteArray width = QByteArray::number(pictureSize.width());
        const QByteArray height = QByteArray::number(pictureSize.height());
        replaceValue(text, QByteArrayLiteral("exif:PixelXDimension"), width);
        replaceValue(text, QByteArrayLiteral("exif:PixelYDimension"), height);
        replaceValue(text, QByteArrayLiteral("tiff:ImageWidth"), width);
        replaceValue(text, QByteArrayLiteral("tiff:ImageLength"), height);
    }
    return text;
}

QByteArray withoutPadding(const QByteArray &packet)
{
    const qsizetype end = packet.lastIndexOf("<?xpacket end");
    if (end <= 0)
        return packet;
    qsizetype start = end;
    while (start > 0 && isSpace(packet[start - 1]))
        --start;
    if (end - start <= 1)
        return packet;
    QByteArray trimmed = packet;
    trimmed.replace(start, end - start, "\n");
    return trimmed;
}

} // namespace pictrove::xmp

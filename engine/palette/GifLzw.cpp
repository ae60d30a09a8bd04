#include "engine/palette/GifLzw.h"

#include <algorithm>

namespace pictrove {

GifLzwEncoder::GifLzwEncoder(int colourBits)
    : m_bits(std::clamp(colourBits, 2, 8)),
      m_clear(1 << m_bits),
      m_end(m_clear + 1),
      m_next(m_end + 1),
      m_width(m_bits + 1),
      m_limit(1 << m_width),
      m_mask(std::uint8_t((1 << m_bits) - 1)),
      m_table(std::size_t(1) << kTableBits, kEmpty)
{
    // giflib starts every raster with a clear code.
    output(m_clear);
}

void GifLzwEncoder::clearTable()
{
    std::fill(m_table.begin(), m_table.end(), kEmpty);
}

void GifLzwEncoder::byte(std::uint8_t value)
{
    // A block is opened by its first byte, as giflib's buffer is.
    if (!m_blockOpen || m_out[m_blockStart] == 255) {
        m_blockStart = m_out.size();
        m_out.push_back(0);
        m_blockOpen = true;
    }
    m_out.push_back(value);
    ++m_out[m_blockStart];
}

void GifLzwEncoder::output(int code)
{
    m_bitBuffer |= std::uint64_t(code) << m_bitCount;
    m_bitCount += m_width;
    while (m_bitCount >= 8) {
        byte(std::uint8_t(m_bitBuffer & 0xFF));
        m_bitBuffer >>= 8;
        m_bitCount -= 8;
    }
    // giflib widens the codes after writing one, once the next code to be
    // given out no longer fits.
    if (m_next >= m_limit && m_width < 12) {
        ++m_width;
        m_limit = 1 << m_width;
    }
}

void GifLzwEncoder::add(const std::uint8_t *pixels, int count)
{
    int i = 0;
    if (count <= 0)
        return;
    int current = m_current;
    if (current == kNoCode)
        current = pixels[i++] & m_mask;
    std::uint32_t *table = m_table.data();
    constexpr int shift = 32 - kTableBits;
    constexpr std::uint32_t slots = (std::uint32_t(1) << kTableBits) - 1;
    for (; i < count; ++i) {
        const int pixel = pixels[i] & m_mask;
        const std::uint32_t key = (std::uint32_t(current) << 8) | std::uint32_t(pixel);
        std::uint32_t slot = (key * 2654435761u) >> shift;
        std::uint32_t entry;
        while ((entry = table[slot]) != kEmpty && (entry >> 12) != key)
            slot = (slot + 1) & slots;
        if (entry != kEmpty) {
            current = int(entry & 0xFFF);
            continue;
        }
        output(current);
        current = pixel;
        if (m_next >= kMaxCode) {
            // The table is full: giflib sends a clear code and starts over.
            output(m_clear);
            m_next = m_end + 1;
            m_width = m_bits + 1;
            m_limit = 1 << m_width;
            clearTable();
        } else {
            table[slot] = (key << 12) | std::uint32_t(m_next++);
        }
    }
    m_current = current;
}

void GifLzwEncoder::finish()
{
    if (m_current != kNoCode)
        output(m_current);
    output(m_end);
    while (m_bitCount > 0) {
        byte(std::uint8_t(m_bitBuffer & 0xFF));
        m_bitBuffer >>= 8;
        m_bitCount -= 8;
    }
    m_bitCount = 0;
    m_out.push_back(0); // the empty block that ends the raster
    m_blockOpen = false;
}

void GifLzwEncoder::take(std::vector<std::uint8_t> &into)
{
    // An open block may still grow; only closed ones leave.
    const std::size_t ready = m_blockOpen ? m_blockStart : m_out.size();
    into.insert(into.end(), m_out.begin(), m_out.begin() + std::ptrdiff_t(ready));
    m_out.erase(m_out.begin(), m_out.begin() + std::ptrdiff_t(ready));
    if (m_blockOpen)
        m_blockStart = 0;
}

} // namespace pictrove

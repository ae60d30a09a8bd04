#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace pictrove {

// The LZW coder of a GIF raster, bit for bit the one giflib writes (its
// EGifPutLine): the same code table, a clear code first and whenever the
// table holds 4095 codes, the code width raised as giflib raises it, the
// data cut into sub-blocks of 255 bytes and closed by an empty one. giflib
// spends most of a GIF's writing time in a function call per code and per
// byte; this one keeps its state in registers and its table small.
class GifLzwEncoder {
public:
    // colourBits: the bits of the colour table (1..8); the code size is at
    // least 2, as giflib makes it. Pixels are masked to it as giflib does.
    explicit GifLzwEncoder(int colourBits);

    // The LZW minimum code size, the byte that precedes the sub-blocks.
    int codeSize() const { return m_bits; }

    // The next pixels of the raster, in file order.
    void add(const std::uint8_t *pixels, int count);
    // The last code, the end code and the empty block: the raster is
    // complete. Nothing may be added afterwards.
    void finish();

    // The sub-blocks written so far (length byte, up to 255 data bytes),
    // ready to go to the file; take() empties it.
    const std::vector<std::uint8_t> &blocks() const { return m_out; }
    void take(std::vector<std::uint8_t> &into);

private:
    static constexpr int kMaxCode = 4095; // giflib's LZ_MAX_CODE
    static constexpr int kNoCode = -1;
    static constexpr int kTableBits = 14;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

    void output(int code);
    void byte(std::uint8_t value);
    void clearTable();

    int m_bits;        // bits per pixel of the code (>= 2)
    int m_clear, m_end;
    int m_next;        // the next code to be given out
    int m_width;       // bits per code now
    int m_limit;       // 1 << m_width
    int m_current = kNoCode; // the code of the string matched so far
    std::uint8_t m_mask;
    std::uint64_t m_bitBuffer = 0;
    int m_bitCount = 0;
    std::vector<std::uint8_t> m_out;
    std::size_t m_blockStart = 0; // index of the open block's length byte
    bool m_blockOpen = false;
    // Open addressing: (prefix << 8 | pixel) << 12 | code, kEmpty when free.
    std::vector<std::uint32_t> m_table;
};

} // namespace pictrove

#pragma once

#include <QRgb>

#include <cstdint>
#include <vector>

namespace pictrove {

// Nearest palette entry (squared RGB distance, the first entry on ties) for
// any colour, answered from a table of 64 x 64 x 64 colour cells, each
// filled on first use from the candidates of its 16 x 16 x 16 block (the
// entries that can be nearest to some point of that block), so no lookup
// ever scans the whole palette.
// - A cell where one entry is nearest throughout holds it: exact.
// - A cell on a border between entries that holds a palette colour keeps
//   the short list of entries that can be nearest inside it and compares
//   those: exact, and every palette colour maps to itself (a drawing keeps
//   its colours, even two that differ by one level).
// - Any other border cell answers with the entry nearest to its centre:
//   never more than a cell's width off the nearest distance, and one table
//   read, which is what keeps photos fast.
class NearestColour {
public:
    explicit NearestColour(const std::vector<QRgb> &palette);

    int size() const { return int(m_palette.size()); }

    std::uint8_t find(int r, int g, int b)
    {
        const int key = ((r >> 2) << 12) | ((g >> 2) << 6) | (b >> 2);
        std::uint32_t cell = m_cells[size_t(key)];
        if (cell < 256)
            return std::uint8_t(cell);
        if (cell == kEmpty)
            cell = fill(key);
        return cell < 256 ? std::uint8_t(cell) : among(cell, r, g, b);
    }

    // A typical distance between neighbouring palette colours, per channel:
    // the amplitude that ordered dithers need to reach the next colour.
    int spread() const { return m_spread; }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    // A straddling cell: kList | (entries - 1) << kCountShift | offset into
    // m_lists, or kBlockList | block when the list would be too long.
    static constexpr std::uint32_t kList = 0x80000000;
    static constexpr std::uint32_t kBlockList = 0xC0000000;
    static constexpr int kCountShift = 23;
    static constexpr size_t kMaxList = 128;
    static constexpr std::uint32_t kMaxOffset = (1u << kCountShift) - 1;
    std::uint32_t fill(int key);
    std::uint8_t among(std::uint32_t cell, int r, int g, int b) const;
    const std::vector<std::uint8_t> &candidates(int block);
    int distance(int entry, int r, int g, int b) const
    {
        const int *c = &m_channels[size_t(3 * entry)];
        return (c[0] - r) * (c[0] - r) + (c[1] - g) * (c[1] - g) + (c[2] - b) * (c[2] - b);
    }

    std::vector<QRgb> m_palette;
    std::vector<int> m_channels; // r, g, b per entry
    std::vector<std::uint32_t> m_cells;
    std::vector<std::uint8_t> m_lists; // the entries of straddling cells
    std::vector<std::vector<std::uint8_t>> m_blockCandidates;
    std::vector<bool> m_blockReady;
    int m_spread = 1;
};

} // namespace pictrove

#pragma once

#include <QRgb>

#include <cstdint>
#include <vector>

namespace pictrove {

// Exact nearest palette entry (squared RGB distance, the first entry on
// ties) for any colour, answered from a table of 64 x 64 x 64 colour cells,
// each filled on first use from the candidates of its 16 x 16 x 16 block
// (the entries that can be nearest to some point of that block), so no
// lookup ever scans the whole palette.
// - A cell where one entry is nearest throughout holds it: one table read.
// - A cell on a border between entries gets its own 4 x 4 x 4 table of the
//   nearest entry for each of its 64 colours, worked out among the few
//   entries that can win inside it: two table reads.
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
        if (cell < 256)
            return std::uint8_t(cell);
        return m_fine[(size_t(cell & ~kFine) << 6) | size_t(((r & 3) << 4) | ((g & 3) << 2) | (b & 3))];
    }

    // A typical distance between neighbouring palette colours, per channel:
    // the amplitude that ordered dithers need to reach the next colour.
    int spread() const { return m_spread; }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    // A border cell: kFine | n, its table being m_fine[64 n .. 64 n + 63].
    static constexpr std::uint32_t kFine = 0x80000000;
    std::uint32_t fill(int key);
    const std::vector<std::uint8_t> &candidates(int block);
    int distance(int entry, int r, int g, int b) const
    {
        const int *c = &m_channels[size_t(3 * entry)];
        return (c[0] - r) * (c[0] - r) + (c[1] - g) * (c[1] - g) + (c[2] - b) * (c[2] - b);
    }

    std::vector<QRgb> m_palette;
    std::vector<int> m_channels; // r, g, b per entry
    std::vector<std::uint32_t> m_cells;
    std::vector<std::uint8_t> m_fine; // 64 entries per border cell
    std::vector<std::uint8_t> m_rivals; // scratch for fill()
    std::vector<std::vector<std::uint8_t>> m_blockCandidates;
    std::vector<bool> m_blockReady;
    int m_spread = 1;
};

} // namespace pictrove

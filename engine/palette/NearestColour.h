#pragma once

#include <QRgb>

#include <cstdint>
#include <vector>

namespace pictrove {

// Nearest palette entry (squared RGB distance, first entry on ties) for any
// colour, answered from a table of 64 x 64 x 64 colour cells. A cell is filled
// on first use with the entry nearest to its centre; the search then only
// looks at the candidates of its 16 x 16 x 16 block: the entries that can be
// nearest to some point of that block. So the cost per pixel is one table
// read, and the cost of a miss is a handful of distance computations.
class NearestColour {
public:
    explicit NearestColour(const std::vector<QRgb> &palette);

    int size() const { return int(m_palette.size()); }

    std::uint8_t find(int r, int g, int b)
    {
        const int key = ((r >> 2) << 12) | ((g >> 2) << 6) | (b >> 2);
        const std::uint16_t hit = m_cells[key];
        return hit != kEmpty ? std::uint8_t(hit) : fill(key);
    }

    // A typical distance between neighbouring palette colours, per channel:
    // the amplitude that ordered dithers need to reach the next colour.
    int spread() const { return m_spread; }

private:
    static constexpr std::uint16_t kEmpty = 0xFFFF;
    std::uint8_t fill(int key);
    const std::vector<std::uint8_t> &candidates(int block);

    std::vector<QRgb> m_palette;
    std::vector<int> m_channels; // r, g, b per entry
    std::vector<std::uint16_t> m_cells;
    std::vector<std::vector<std::uint8_t>> m_blockCandidates;
    std::vector<bool> m_blockReady;
    int m_spread = 1;
};

} // namespace pictrove

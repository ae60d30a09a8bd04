#pragma once

#include <QRgb>

#include <cstdint>
#include <vector>

namespace pictrove {

// Which palette entries (at most 256) can be nearest, by squared RGB
// distance, to some colour of a 4 x 4 x 4 cell of colour values, the cell
// `key` being ((r >> 2) << 12) | ((g >> 2) << 6) | (b >> 2). Each cell is
// worked out among the candidates of its 16 x 16 x 16 block (the entries
// that can be nearest to some point of that block), found on first use, so
// no cell scans the whole palette.
class PaletteCells {
public:
    explicit PaletteCells(const std::vector<QRgb> &palette);

    static int keyOf(int r, int g, int b) { return ((r >> 2) << 12) | ((g >> 2) << 6) | (b >> 2); }
    int size() const { return int(m_channels.size() / 3); }
    int channel(int entry, int c) const { return m_channels[size_t(3 * entry + c)]; }

    // The entries that can be nearest somewhere in cell key: one entry when
    // it is nearest throughout, else those that can be, in entry order.
    // Valid until the next call.
    const std::vector<std::uint8_t> &rivals(int key);

    // The nearest of count entries given in entry order, the first on ties.
    std::uint8_t nearestOf(const std::uint8_t *entries, int count, int r, int g, int b) const
    {
        std::uint8_t bestEntry = entries[0];
        int bestDistance = distance(bestEntry, r, g, b);
        for (int i = 1; i < count; ++i) {
            const int d = distance(entries[i], r, g, b);
            if (d < bestDistance) {
                bestDistance = d;
                bestEntry = entries[i];
            }
        }
        return bestEntry;
    }

    int distance(int entry, int r, int g, int b) const
    {
        const int *c = &m_channels[size_t(3 * entry)];
        return (c[0] - r) * (c[0] - r) + (c[1] - g) * (c[1] - g) + (c[2] - b) * (c[2] - b);
    }

private:
    static constexpr int kBlockBits = 4; // 16 x 16 x 16 blocks of colour values
    static constexpr int kBlocksPerAxis = 256 >> kBlockBits;
    static constexpr int kFarAway = 1 << 28; // three of them still fit an int
    static size_t axisRow(bool farthest, int channel, int block)
    {
        return size_t(((farthest ? 3 : 0) + channel) * kBlocksPerAxis + block) * 256;
    }
    const std::vector<std::uint8_t> &candidates(int block);

    std::vector<int> m_channels; // r, g, b per entry
    std::vector<int> m_doubled;  // 2 r, 2 g, 2 b and r^2 + g^2 + b^2 per entry
    // Per channel and block of 16 values along it, each entry's nearest and
    // farthest squared distance to the block (axisRow).
    std::vector<int> m_axisSquares;
    std::vector<std::uint8_t> m_rivals;
    std::vector<std::vector<std::uint8_t>> m_blockCandidates;
    std::vector<bool> m_blockReady;
};

// Exact nearest palette entry (squared RGB distance, the first entry on
// ties) for any colour, answered from a table of 64 x 64 x 64 colour cells,
// each filled on first use from the entries that can win inside it.
// - A cell where one entry is nearest throughout holds it: one table read.
// - A cell on a border between entries gets its own 4 x 4 x 4 table of the
//   nearest entry for each of its 64 colours: two table reads.
class NearestColour {
public:
    explicit NearestColour(const std::vector<QRgb> &palette);

    int size() const { return m_cellsOf.size(); }

    std::uint8_t find(int r, int g, int b)
    {
        const int key = PaletteCells::keyOf(r, g, b);
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

    PaletteCells m_cellsOf;
    std::vector<std::uint32_t> m_cells;
    std::vector<std::uint8_t> m_fine; // 64 entries per border cell
    int m_spread = 1;
};

} // namespace pictrove

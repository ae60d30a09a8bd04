#include "engine/palette/NearestColour.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace pictrove {

namespace {
int square(int v) { return v * v; }

// Squared distance from v to the nearest / farthest point of [lo, hi].
int nearSq(int v, int lo, int hi) { return v < lo ? square(lo - v) : v > hi ? square(v - hi) : 0; }
int farSq(int v, int lo, int hi) { return std::max(square(v - lo), square(hi - v)); }
} // namespace

PaletteCells::PaletteCells(const std::vector<QRgb> &palette)
    : m_blockCandidates(kBlocksPerAxis * kBlocksPerAxis * kBlocksPerAxis),
      m_blockReady(m_blockCandidates.size(), false)
{
    for (size_t i = 0; i < palette.size() && i < 256; ++i) {
        m_channels.push_back(qRed(palette[i]));
        m_channels.push_back(qGreen(palette[i]));
        m_channels.push_back(qBlue(palette[i]));
    }
    if (m_channels.empty())
        m_channels.assign(3, 0); // black
    for (int i = 0; i < size(); ++i) {
        const int r = channel(i, 0), g = channel(i, 1), b = channel(i, 2);
        m_doubled.insert(m_doubled.end(), {2 * r, 2 * g, 2 * b, r * r + g * g + b * b});
    }

    // A block's nearest and farthest squared distances to an entry, one
    // channel at a time: a block's bound is then three table rows summed.
    // Entries past the palette's end are far from every block on both
    // counts, so they neither lower a bound nor pass it.
    m_axisSquares.assign(size_t(2 * 3 * kBlocksPerAxis * 256), kFarAway);
    constexpr int side = 1 << kBlockBits;
    for (int axis = 0; axis < 3; ++axis)
        for (int block = 0; block < kBlocksPerAxis; ++block) {
            int *nearest = &m_axisSquares[axisRow(false, axis, block)];
            int *farthest = &m_axisSquares[axisRow(true, axis, block)];
            const int lo = block * side, hi = lo + side - 1;
            for (int i = 0; i < size(); ++i) {
                nearest[i] = nearSq(channel(i, axis), lo, hi);
                farthest[i] = farSq(channel(i, axis), lo, hi);
            }
        }
}

const std::vector<std::uint8_t> &PaletteCells::candidates(int block)
{
    auto &list = m_blockCandidates[size_t(block)];
    if (m_blockReady[size_t(block)])
        return list;
    const int r = block / (kBlocksPerAxis * kBlocksPerAxis), g = block / kBlocksPerAxis % kBlocksPerAxis,
              b = block % kBlocksPerAxis;

    // An entry can be nearest to some point of the block only if its nearest
    // distance to the block does not exceed the smallest farthest distance.
    const int *farR = &m_axisSquares[axisRow(true, 0, r)];
    const int *farG = &m_axisSquares[axisRow(true, 1, g)];
    const int *farB = &m_axisSquares[axisRow(true, 2, b)];
    int bound = INT_MAX;
    for (int i = 0; i < 256; ++i)
        bound = std::min(bound, farR[i] + farG[i] + farB[i]);
    const int *nearR = &m_axisSquares[axisRow(false, 0, r)];
    const int *nearG = &m_axisSquares[axisRow(false, 1, g)];
    const int *nearB = &m_axisSquares[axisRow(false, 2, b)];
    const int n = size();
    for (int i = 0; i < n; ++i)
        if (nearR[i] + nearG[i] + nearB[i] <= bound)
            list.push_back(std::uint8_t(i));
    m_blockReady[size_t(block)] = true;
    return list;
}

const std::vector<std::uint8_t> &PaletteCells::rivals(int key)
{
    const int lo[3] = {(key >> 12) << 2, ((key >> 6) & 63) << 2, (key & 63) << 2};
    const int block = ((lo[0] >> kBlockBits) * kBlocksPerAxis + (lo[1] >> kBlockBits)) * kBlocksPerAxis
                      + (lo[2] >> kBlockBits);
    const auto &list = candidates(block);

    // The entry nearest to the cell's centre (doubled units).
    const int centre[3] = {2 * lo[0] + 3, 2 * lo[1] + 3, 2 * lo[2] + 3};
    int best = INT_MAX;
    int nearest = list.front();
    for (std::uint8_t i : list) {
        const int *c = &m_doubled[size_t(4 * i)];
        const int d = square(c[0] - centre[0]) + square(c[1] - centre[1]) + square(c[2] - centre[2]);
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    // Entries that are as near as that one somewhere in the cell:
    // |p - j|^2 - |p - e|^2 = 2 p.(e - j) + |j|^2 - |e|^2 is linear in p, so
    // its least value is at a corner: the cell's low corner on each axis
    // where the slope 2 (e - j) is not negative, its high corner (3 above)
    // where it is.
    const int *e = &m_doubled[size_t(4 * nearest)];
    m_rivals.assign(1, std::uint8_t(nearest));
    for (std::uint8_t j : list) {
        const int *c = &m_doubled[size_t(4 * j)];
        const int slope[3] = {e[0] - c[0], e[1] - c[1], e[2] - c[2]};
        const int least = c[3] - e[3] + slope[0] * lo[0] + slope[1] * lo[1] + slope[2] * lo[2]
                          + 3 * (std::min(slope[0], 0) + std::min(slope[1], 0) + std::min(slope[2], 0));
        if (least <= 0 && j != nearest)
            m_rivals.push_back(j);
    }
    // Entry order decides ties: compare in that order.
    if (m_rivals.size() > 1)
        std::sort(m_rivals.begin(), m_rivals.end());
    return m_rivals;
}

NearestColour::NearestColour(const std::vector<QRgb> &palette)
    : m_cellsOf(palette), m_cells(size_t(1) << 18, kEmpty)
{
    // Median over the entries of the largest channel difference to the
    // nearest other entry: one lattice step for lattices, 255 for black and
    // white.
    std::vector<int> steps;
    const int n = m_cellsOf.size();
    for (int i = 0; i < n; ++i) {
        int best = INT_MAX, step = 0;
        for (int j = 0; j < n; ++j) {
            const int dr = std::abs(m_cellsOf.channel(i, 0) - m_cellsOf.channel(j, 0));
            const int dg = std::abs(m_cellsOf.channel(i, 1) - m_cellsOf.channel(j, 1));
            const int db = std::abs(m_cellsOf.channel(i, 2) - m_cellsOf.channel(j, 2));
            const int d = dr * dr + dg * dg + db * db;
            if (d > 0 && d < best) {
                best = d;
                step = std::max({dr, dg, db});
            }
        }
        if (best != INT_MAX)
            steps.push_back(step);
    }
    if (!steps.empty()) {
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        m_spread = steps[steps.size() / 2];
    }
}

std::uint32_t NearestColour::fill(int key)
{
    const std::vector<std::uint8_t> &rivals = m_cellsOf.rivals(key);
    std::uint32_t value = rivals.front();
    if (rivals.size() > 1) {
        // The 64 colours of the cell at once, four blues to a vector; the
        // rivals in entry order, a later one winning only when strictly
        // nearer.
        using Lanes = int __attribute__((vector_size(16)));
        const int lo[3] = {(key >> 12) << 2, ((key >> 6) & 63) << 2, (key & 63) << 2};
        Lanes best[16], winner[16];
        bool first = true;
        for (std::uint8_t j : rivals) {
            int reds[4], greens[4];
            for (int k = 0; k < 4; ++k) {
                reds[k] = square(lo[0] + k - m_cellsOf.channel(j, 0));
                greens[k] = square(lo[1] + k - m_cellsOf.channel(j, 1));
            }
            const int b = lo[2] - m_cellsOf.channel(j, 2);
            const Lanes blues{square(b), square(b + 1), square(b + 2), square(b + 3)};
            const Lanes entry{j, j, j, j};
            for (int rg = 0; rg < 16; ++rg) {
                const Lanes d = blues + (reds[rg >> 2] + greens[rg & 3]);
                if (first) {
                    best[rg] = d;
                    winner[rg] = entry;
                    continue;
                }
                const Lanes nearer = d < best[rg];
                best[rg] = nearer ? d : best[rg];
                winner[rg] = nearer ? entry : winner[rg];
            }
            first = false;
        }
        value = kFine | std::uint32_t(m_fine.size() >> 6);
        for (int rg = 0; rg < 16; ++rg)
            for (int k = 0; k < 4; ++k)
                m_fine.push_back(std::uint8_t(winner[rg][k]));
    }
    m_cells[size_t(key)] = value;
    return value;
}

} // namespace pictrove

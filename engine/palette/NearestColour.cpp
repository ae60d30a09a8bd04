#include "engine/palette/NearestColour.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace pictrove {

namespace {
constexpr int kBlockBits = 4;           // 16 x 16 x 16 blocks of colour values
constexpr int kBlocksPerAxis = 256 >> kBlockBits;

int square(int v) { return v * v; }

// Squared distance from v to the nearest / farthest point of [lo, hi].
int nearSq(int v, int lo, int hi) { return v < lo ? square(lo - v) : v > hi ? square(v - hi) : 0; }
int farSq(int v, int lo, int hi) { return std::max(square(v - lo), square(hi - v)); }
} // namespace

NearestColour::NearestColour(const std::vector<QRgb> &palette)
    : m_palette(palette.begin(), palette.begin() + std::min<size_t>(palette.size(), 256)),
      m_cells(size_t(1) << 18, kEmpty),
      m_blockCandidates(kBlocksPerAxis * kBlocksPerAxis * kBlocksPerAxis),
      m_blockReady(m_blockCandidates.size(), false)
{
    if (m_palette.empty())
        m_palette.push_back(qRgb(0, 0, 0));
    for (QRgb c : m_palette) {
        m_channels.push_back(qRed(c));
        m_channels.push_back(qGreen(c));
        m_channels.push_back(qBlue(c));
    }

    // Median over the entries of the largest channel difference to the
    // nearest other entry: one lattice step for lattices, 255 for black and
    // white.
    std::vector<int> steps;
    const int n = int(m_palette.size());
    for (int i = 0; i < n; ++i) {
        int best = INT_MAX, step = 0;
        for (int j = 0; j < n; ++j) {
            const int dr = std::abs(m_channels[3 * i] - m_channels[3 * j]);
            const int dg = std::abs(m_channels[3 * i + 1] - m_channels[3 * j + 1]);
            const int db = std::abs(m_channels[3 * i + 2] - m_channels[3 * j + 2]);
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

const std::vector<std::uint8_t> &NearestColour::candidates(int block)
{
    auto &list = m_blockCandidates[size_t(block)];
    if (m_blockReady[size_t(block)])
        return list;
    const int size = 1 << kBlockBits;
    const int r0 = (block / (kBlocksPerAxis * kBlocksPerAxis)) * size;
    const int g0 = (block / kBlocksPerAxis % kBlocksPerAxis) * size;
    const int b0 = (block % kBlocksPerAxis) * size;
    const int n = size_t(m_palette.size());

    // An entry can be nearest to some point of the block only if its nearest
    // distance to the block does not exceed the smallest farthest distance.
    int bound = INT_MAX;
    for (int i = 0; i < n; ++i) {
        const int *c = &m_channels[size_t(3 * i)];
        bound = std::min(bound, farSq(c[0], r0, r0 + size - 1) + farSq(c[1], g0, g0 + size - 1)
                                    + farSq(c[2], b0, b0 + size - 1));
    }
    for (int i = 0; i < n; ++i) {
        const int *c = &m_channels[size_t(3 * i)];
        if (nearSq(c[0], r0, r0 + size - 1) + nearSq(c[1], g0, g0 + size - 1)
                + nearSq(c[2], b0, b0 + size - 1)
            <= bound)
            list.push_back(std::uint8_t(i));
    }
    m_blockReady[size_t(block)] = true;
    return list;
}

std::uint32_t NearestColour::fill(int key)
{
    const int lo[3] = {(key >> 12) << 2, ((key >> 6) & 63) << 2, (key & 63) << 2};
    const int block = ((lo[0] >> kBlockBits) * kBlocksPerAxis + (lo[1] >> kBlockBits)) * kBlocksPerAxis
                      + (lo[2] >> kBlockBits);
    const auto &list = candidates(block);

    // The entry nearest to the cell's centre (doubled units).
    int best = INT_MAX;
    int nearest = list.front();
    for (std::uint8_t i : list) {
        const int *c = &m_channels[size_t(3 * i)];
        const int d = square(2 * c[0] - lo[0] * 2 - 3) + square(2 * c[1] - lo[1] * 2 - 3)
                      + square(2 * c[2] - lo[2] * 2 - 3);
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    // Entries that are as near as that one somewhere in the cell:
    // |p - j|^2 - |p - e|^2 = 2 p.(e - j) + |j|^2 - |e|^2 is linear in p, so
    // its least value is at a corner.
    const int *e = &m_channels[size_t(3 * nearest)];
    m_rivals.assign(1, std::uint8_t(nearest));
    for (std::uint8_t j : list) {
        if (j == nearest)
            continue;
        const int *c = &m_channels[size_t(3 * j)];
        int least = c[0] * c[0] + c[1] * c[1] + c[2] * c[2] - (e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        for (int a = 0; a < 3; ++a) {
            const int slope = 2 * (e[a] - c[a]);
            least += slope * (slope >= 0 ? lo[a] : lo[a] + 3);
        }
        if (least <= 0)
            m_rivals.push_back(j);
    }
    std::uint32_t value = std::uint32_t(nearest);
    if (m_rivals.size() > 1) {
        // Entry order decides ties: compare in that order.
        std::sort(m_rivals.begin(), m_rivals.end());
        value = kFine | std::uint32_t(m_fine.size() >> 6);
        for (int dr = 0; dr < 4; ++dr)
            for (int dg = 0; dg < 4; ++dg)
                for (int db = 0; db < 4; ++db) {
                    int bestDistance = INT_MAX;
                    std::uint8_t bestEntry = m_rivals.front();
                    for (std::uint8_t j : m_rivals) {
                        const int d = distance(j, lo[0] + dr, lo[1] + dg, lo[2] + db);
                        if (d < bestDistance) {
                            bestDistance = d;
                            bestEntry = j;
                        }
                    }
                    m_fine.push_back(bestEntry);
                }
    }
    m_cells[size_t(key)] = value;
    return value;
}

} // namespace pictrove

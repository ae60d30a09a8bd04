#pragma once

#include "engine/palette/DitherRows.h"
#include "engine/palette/RowProgress.h"

#include <QImage>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace pictrove {

// Runs row(y, quantiser) for every row of a picture on up to `threads`
// threads, for reductions where each row depends on nothing but the
// source (no error diffusion). Rows go out in runs of 16 as the threads
// ask for them; each extra thread works with its own copy of q (its
// nearest-colour cache fills for the colours it meets), so the codes are
// those one thread gives. Progress hears of rows in order: a run counts
// once every run above it is done, so a writer that follows sees only
// finished rows.
template <class Q, class Row>
void inRowBands(int height, int threads, Q &q, RowProgress *progress, const Row &row)
{
    constexpr int kRun = 16;
    const int runs = (height + kRun - 1) / kRun;
    threads = std::min(threads, runs);
    if (threads <= 1) {
        for (int y = 0; y < height; ++y) {
            row(y, q);
            dither_rows::rowDone(progress, y);
        }
        return;
    }
    std::atomic<int> next{0};
    std::mutex publishing;
    std::vector<char> done(static_cast<size_t>(runs), 0);
    int ready = 0; // runs finished from the top without a gap
    const auto work = [&](Q &own) {
        for (int run; (run = next.fetch_add(1, std::memory_order_relaxed)) < runs;) {
            const int last = std::min(height, (run + 1) * kRun);
            for (int y = run * kRun; y < last; ++y)
                row(y, own);
            const std::lock_guard lock(publishing);
            done[size_t(run)] = 1;
            const int before = ready;
            while (ready < runs && done[size_t(ready)])
                ++ready;
            if (progress && ready > before)
                progress->publish(std::min(height, ready * kRun));
        }
    };
    // A helper that runs out of memory leaves its run undone; the caller
    // then fails as if it had run out itself.
    std::atomic<bool> failed{false};
    std::vector<Q> copies(size_t(threads - 1), q);
    std::vector<std::thread> helpers;
    for (Q &copy : copies) {
        try {
            helpers.emplace_back([&work, &failed, &copy] {
                try {
                    work(copy);
                } catch (...) {
                    failed = true;
                }
            });
        } catch (const std::system_error &) {
            break; // fewer threads than granted: the others take more runs
        }
    }
    struct Joiner {
        std::vector<std::thread> &threads;
        void join()
        {
            for (std::thread &t : threads)
                if (t.joinable())
                    t.join();
        }
        ~Joiner() { join(); }
    } joiner{helpers};
    work(q);
    joiner.join();
    if (failed)
        throw std::bad_alloc();
}

// inRowBands over a 32-bit source and a target of Q's codes: row(y, q,
// source row, target row). Rows are found by address, since QImage's
// accessors are not for several threads.
template <class Q, class Row>
void inPixelRowBands(const QImage &source, QImage &target, int threads, Q &q, RowProgress *progress,
                     const Row &row)
{
    const uchar *in0 = source.constBits();
    const qsizetype inStride = source.bytesPerLine();
    uchar *out0 = target.bits();
    const qsizetype outStride = target.bytesPerLine();
    inRowBands(source.height(), threads, q, progress, [&](int y, Q &own) {
        row(y, own, reinterpret_cast<const QRgb *>(in0 + y * inStride),
            reinterpret_cast<typename Q::Code *>(out0 + y * outStride));
    });
}

} // namespace pictrove

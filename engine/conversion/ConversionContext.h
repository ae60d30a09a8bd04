#pragma once

#include "engine/catalogue/OutputSettings.h"
#include "engine/core/PictureSurface.h"

#include <QString>

#include <array>
#include <chrono>
#include <functional>
#include <memory>

namespace pictrove {

// What the encoders ask of their caller. Headless callers (pictrove-convert,
// the batch, tests, the bench) leave it empty.
struct ConversionHooks {
    // Asked between the stages of an encode: true once its result is no
    // longer wanted (a newer preview was asked for, the window closed). The
    // encode then ends at that boundary without writing its file.
    std::function<bool()> abandoned;
};

// Time spent per stage, summed over calls, for the bench. Off unless a
// caller points ConversionContext::stageTimes at one.
struct StageTimes {
    enum Stage {
        Load, Resize, Palette, Reload, LibrarySave, PcxDraw, PcxWrite, Jpeg, Show, Web,
        // What a load is made of, summed whether or not it overlapped an
        // encode (a read ahead): the decoder's decode (wall and processor
        // time), the pixels' hand-over, and the rest of the load (the
        // request, the decode child's start, the header's peek).
        LoadDecode, LoadDecodeCpu, LoadHandOver, LoadOther,
        // Pictures turned from one type into another on this side: the
        // loaded picture into the source surface, the surface into the
        // 24-bit bitmap the JPEG writer reads.
        Convert,
        Count
    };
    std::array<std::chrono::nanoseconds, Count> total{};
    static const char *name(Stage stage);
};

// The state the encoders share with their caller: the options of the
// encode under way, the three picture surfaces and the hooks. The window's
// preview worker, each batch worker, pictrove-convert and the tests each
// create one and use it on one thread at a time.
class ConversionContext {
public:
    explicit ConversionContext(EncodingOptions options = {}, ConversionHooks hooks = {});
    ~ConversionContext();
    ConversionContext(const ConversionContext &) = delete;
    ConversionContext &operator=(const ConversionContext &) = delete;

    // The options the last encode used; the JPEG route stores its quality
    // in settings.JpegQuality.
    EncodingOptions options;
    PictureSurface source;    // iSrc: the hidden batch source
    PictureSurface original;  // OriginalP: the preview's original view
    PictureSurface optimized; // OptimizedP: the written result (and the PCX drawing area)
    ConversionHooks hooks;
    StageTimes *stageTimes = nullptr;
    // 24- and 16-bit rows of the library route hand the encoder's picture to
    // FreeImage or the PCX surface in memory rather than through a BMP file
    // written and read back; the files are the same either way (tested), so
    // the switch exists only to keep that comparison measurable.
    bool directColourInMemory = true;
    // Processors one encode may keep busy (the palette encoder's bands and
    // its writer, the PNG writer's pieces): 0 for all of them, as in Step 2 and Save As; a batch of
    // several jobs shares them out, so that the jobs do not crowd the
    // processors.
    int threads = 0;

    // Why the batch source is empty (the last LoadBatchSource's failure).
    QString sourcePath;
    QString sourceError;
    // The source picture's upright size in its file: larger than the
    // surface when the decoder read a JPEG at a smaller scale for a resize.
    QSize sourceFullSize;

    // The last resize made, for Step 2, where most changes re-encode the
    // same picture at the same size.
    struct ResizedPicture {
        qint64 from = 0; // QImage::cacheKey of the picture resized
        QSize target;
        QImage picture;
    };
    ResizedPicture lastResize;

};

} // namespace pictrove

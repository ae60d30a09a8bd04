#include "engine/conversion/ConversionContext.h"

namespace pictrove {

ConversionContext::ConversionContext(EncodingOptions options, ConversionHooks hooks)
    : options(std::move(options)), hooks(std::move(hooks))
{
}

ConversionContext::~ConversionContext() = default;

const char *StageTimes::name(Stage stage)
{
    switch (stage) {
    case Load: return "load: the wait for it (after any read ahead)";
    case LoadDecode: return "  decode in the decoder (wall)";
    case LoadDecodeCpu: return "  decode in the decoder (processor time)";
    case LoadHandOver: return "  hand-over of the pixels";
    case LoadOther: return "  rest of the load (request, fork, header)";
    case Convert: return "conversions between picture types";
    case Resize: return "resize (Lanczos-3)";
    case Palette: return "PaletteEncoder (reduce + write BMP/GIF)";
    case Reload: return "FreeImage bitmap (BMP read back / in memory)";
    case LibrarySave: return "FreeImage writes the target";
    case PcxDraw: return "PCX: draw into the optimized surface";
    case PcxWrite: return "PCX: the writer";
    case Jpeg: return "JPEG (encode + write)";
    case Show: return "show the written file";
    case Web: return "WebP / AVIF (prepare + encode + write)";
    case Count: break;
    }
    return "";
}

} // namespace pictrove

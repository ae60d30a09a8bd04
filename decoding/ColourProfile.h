#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pictrove {

// What a picture's samples are handed to a profile transform as.
enum class ProfileInput {
    Bgra,  // a 32-bit QImage (Format_RGB32 or Format_ARGB32): blue, green, red, alpha bytes
    Grey,  // the same, grey (red = green = blue), with a grey profile
    Cmyk,  // cyan, magenta, yellow, black bytes, 0 for no ink
};

// A profile's samples turned into sRGB: perceptual intent with black-point
// compensation, 8 bits a channel, as Little CMS builds it. Built transforms
// are kept per profile (its bytes) and input for the life of the process.
class SrgbTransform {
public:
    ~SrgbTransform();
    SrgbTransform(const SrgbTransform &) = delete;
    SrgbTransform &operator=(const SrgbTransform &) = delete;

    enum class Verdict {
        AlreadySrgb, // nothing to do: the profile is sRGB's own, in effect
        Ready,
        Damaged,     // the profile cannot be read
        Unusable,    // it can, but not for these samples (another colour model, a broken table)
    };
    struct Found {
        Verdict verdict = Verdict::Unusable;
        std::shared_ptr<const SrgbTransform> transform; // with Ready
    };
    // The transform for the profile, from the cache or built now.
    static Found forProfile(const QByteArray &icc, ProfileInput input);
    // The same, never from the cache nor kept in it (for measuring).
    static Found build(const QByteArray &icc, ProfileInput input);
    static void clearCache();

    // The picture's pixels converted in place, alpha kept; its rows are
    // shared among `threads` threads. Bgra and Grey transforms only.
    void apply(QImage &image, int threads = defaultThreads()) const;
    // CMYK samples (4 bytes a pixel, rows `stride` bytes apart) converted
    // into an opaque Format_RGB32 picture of the same size. Cmyk only.
    QImage applyCmyk(const uchar *samples, qsizetype stride, int width, int height,
                     int threads = defaultThreads()) const;

    static int defaultThreads();

private:
    SrgbTransform() = default;
    void *m_transform = nullptr; // cmsHTRANSFORM
    ProfileInput m_input = ProfileInput::Bgra;
    std::vector<std::uint32_t> m_greyTable; // Grey: 256 sRGB colours, 0xFFRRGGBB
};

// True when the profile is sRGB in effect (its colorants and tone curves are
// sRGB's, or it is a table profile named sRGB): such pictures are left alone.
bool isSrgbProfile(const QByteArray &icc);

} // namespace pictrove

#include "elements/metafile/MetafilePlayers.h"

#include "elements/codecs/BmpCodec.h"
#include "support/TextCodec.h"

#include <cmath>

namespace schauplatz::metafile {

std::int64_t hundredthsMmToPixels(double value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<std::int64_t>(
        std::floor(std::clamp(value * 96.0 / 2540.0, -1e12, 1e12) + 0.5));
}

bool dibTopDown(ByteSpan info) {
    const ByteReader r(info);
    return r.u32(0) >= 40 && r.i32(8) < 0;
}

namespace {

// Drawing work of a decoded DIB pixel: cleared, filled, and the memory found.
constexpr std::int64_t kDibPixelWork = 4;

// The two parts are joined behind a file header so that the BMP decoder,
// which checks every header field, reads them.
bool joinDib(ByteSpan info, ByteSpan bits, std::vector<std::uint8_t>& file) {
    if (info.size() < 12 || info.size() > (std::size_t{1} << 20)) return false;
    const std::uint64_t total = 14 + info.size() + bits.size();
    if (total > 0xFFFFFFFFu) return false;
    file.assign(static_cast<std::size_t>(total), 0);
    auto put32 = [&](std::size_t at, std::uint64_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, total);
    put32(10, 14 + info.size());
    std::copy(info.begin(), info.end(), file.begin() + 14);
    std::copy(bits.begin(), bits.end(),
              file.begin() + 14 + static_cast<std::ptrdiff_t>(info.size()));
    return true;
}

} // namespace

bool decodeDib(ByteSpan info, ByteSpan bits, DecodedPicture& out) {
    std::vector<std::uint8_t> file;
    return joinDib(info, bits, file) && decodeBmpFile(file, out);
}

bool decodeDibFor(MetafileCanvas& canvas, ByteSpan info, ByteSpan bits, DecodedPicture& out) {
    std::vector<std::uint8_t> file;
    if (!joinDib(info, bits, file)) return false;
    // A canvas that only measures needs to know that the bitmap would draw, not its pixels.
    if (canvas.width() == 0) return bmpFileDecodes(file);
    std::int64_t width = 0, height = 0;
    int bitsPerPixel = 0;
    if (!peekDibSize(info, false, width, height, bitsPerPixel)) return false;
    if (!metafileSizeAllowed(width, height)) return false;
    // The decoder clears the whole picture and then fills it.
    canvas.chargeWork(kDibPixelWork * width * height);
    return decodeBmpFile(file, out);
}

std::u32string decodeAnsi(ByteSpan bytes) {
    return decodeCodePoints(bytes, CodePage::Windows1252, UndefinedByte::QuestionMark);
}

} // namespace schauplatz::metafile

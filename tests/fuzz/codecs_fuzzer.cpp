// Decodes any bytes as the photo format their first bytes name (JPEG when
// they name none) through the one dispatch the tools use. A refusal must
// leave no picture behind; a decoded picture must have the BMP form its
// size says, an EXIF block set upright, and survive a PNG round trip bit
// for bit.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "codecs/codecs.h"
#include "codecs/exif.h"
#include "codecs/jpeg_markers.h"
#include "codecs/png.h"

namespace {

using namespace korvanti::codecs;

// Small enough that a claimed size can never exhaust the fuzzer's memory.
constexpr int64_t kLimit = 1 << 20;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

// libheif 1.15's glue to dav1d drops, without freeing it, the data of an
// AV1 frame dav1d refuses: a leak in the library, not in this program.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdav1d.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> input(data, size);
    const JpegMetadata metadata = ReadJpegMetadata(input);
    Check(metadata.orientation >= 1 && metadata.orientation <= 8);
    const Format sniffed = SniffFormat(input);
    Decoded decoded;
    const korvanti::FileProblem problem = Decode(CanDecode(sniffed) ? sniffed : Format::Jpeg, input, decoded, {kLimit});
    if (!problem.ok()) {
        Check(decoded.bitmap.empty() && !problem.reason.empty());
        return 0;
    }
    const std::optional<int64_t> expected = BitmapSize(decoded.width, decoded.height, kLimit);
    Check(expected && decoded.bitmap.size() == static_cast<size_t>(*expected));
    Check(ExifOrientation(decoded.exif) == 1);
    const BitmapRows rows{decoded.bitmap.data() + korvanti::kHeaderBytes, decoded.width, decoded.height,
                          korvanti::RowStride(decoded.width)};
    Bytes png;
    Check(EncodePng(rows, {}, png).ok());
    Decoded back;
    Check(DecodePng(png, back, {kLimit}).ok() && back.bitmap == decoded.bitmap);
    return 0;
}

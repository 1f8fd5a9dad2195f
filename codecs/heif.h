// HEIC and AVIF through libheif, reading only.
#pragma once

#include <span>

#include "codecs/format.h"

namespace korvanti::codecs {

// Decodes the primary image to 8-bit BGR in BMP form: the file's rotation
// and mirroring applied (libheif does it), transparency over white, the
// ICC profile and EXIF block kept. Refuses a picture whose BMP form would
// exceed options.limit before decoding it; options.stop is checked before
// and after the decode, which libheif does in one call.
FileProblem DecodeHeif(std::span<const uint8_t> file, Decoded& decoded, const DecodeOptions& options = {});

} // namespace korvanti::codecs

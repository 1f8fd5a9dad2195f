// Walking the JPEG segments before the first scan for EXIF and ICC data,
// and writing them into an encoded file.
#include "codecs/jpeg_markers.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "codecs/exif.h"

namespace korvanti::codecs {
namespace {

constexpr char kIccTag[] = "ICC_PROFILE"; // followed by its NUL: 12 bytes
constexpr size_t kIccHeader = 14;         // tag, sequence number, chunk count
constexpr size_t kIccChunk = 65535 - 2 - kIccHeader;

uint32_t Read(std::span<const uint8_t> bytes, size_t at, int size, bool big_endian)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        const uint8_t byte = bytes[at + static_cast<size_t>(big_endian ? i : size - 1 - i)];
        value = value << 8 | byte;
    }
    return value;
}

} // namespace

JpegMetadata ReadJpegMetadata(std::span<const uint8_t> jpeg)
{
    JpegMetadata metadata;
    std::map<int, std::span<const uint8_t>> chunks;
    int chunk_count = 0;
    bool exif_seen = false;
    size_t at = 2; // after SOI
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // start of scan, end of image
            break;
        const size_t length = Read(jpeg, at + 2, 2, true);
        if (length < 2 || at + 2 + length > jpeg.size())
            break;
        const std::span<const uint8_t> body = jpeg.subspan(at + 4, length - 2);
        if (marker == 0xE1 && !exif_seen && body.size() >= 6 && std::memcmp(body.data(), "Exif\0\0", 6) == 0) {
            exif_seen = true;
            metadata.orientation = ExifOrientation(body.subspan(6));
            metadata.exif.assign(body.begin(), body.end());
        } else if (marker == 0xE2 && body.size() > kIccHeader && std::memcmp(body.data(), kIccTag, 12) == 0) {
            chunk_count = body[13];
            chunks.emplace(body[12], body.subspan(kIccHeader));
        }
        at += 2 + length;
    }
    // Only a complete profile (chunks 1..count, each once) is kept.
    if (chunk_count > 0 && chunks.size() == static_cast<size_t>(chunk_count) && chunks.begin()->first == 1 &&
        chunks.rbegin()->first == chunk_count) {
        for (const auto& [number, data] : chunks)
            metadata.icc.insert(metadata.icc.end(), data.begin(), data.end());
    }
    return metadata;
}

Bytes MetadataSegments(std::span<const uint8_t> icc, std::span<const uint8_t> exif)
{
    Bytes segments;
    const size_t exif_length = 2 + 6 + exif.size();
    if (!exif.empty() && exif_length <= 65535) {
        segments.insert(segments.end(), {0xFF, 0xE1, static_cast<uint8_t>(exif_length >> 8),
                                         static_cast<uint8_t>(exif_length), 'E', 'x', 'i', 'f', 0, 0});
        segments.insert(segments.end(), exif.begin(), exif.end());
    }
    const size_t count = (icc.size() + kIccChunk - 1) / kIccChunk;
    if (icc.empty() || count > 255)
        return segments;
    for (size_t i = 0; i < count; ++i) {
        const std::span<const uint8_t> part = icc.subspan(i * kIccChunk, std::min(kIccChunk, icc.size() - i * kIccChunk));
        const size_t length = 2 + kIccHeader + part.size();
        segments.insert(segments.end(), {0xFF, 0xE2, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
        segments.insert(segments.end(), kIccTag, kIccTag + 12);
        segments.push_back(static_cast<uint8_t>(i + 1));
        segments.push_back(static_cast<uint8_t>(count));
        segments.insert(segments.end(), part.begin(), part.end());
    }
    return segments;
}

} // namespace korvanti::codecs

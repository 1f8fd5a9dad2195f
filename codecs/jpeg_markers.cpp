// Walking the JPEG segments before the first scan for EXIF and ICC data.
#include "codecs/jpeg_markers.h"

#include <algorithm>
#include <cstring>
#include <map>

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

// The orientation tag (0x0112) of IFD0 in a TIFF structure.
int ExifOrientation(std::span<const uint8_t> tiff)
{
    if (tiff.size() < 8)
        return 1;
    bool big_endian;
    if (tiff[0] == 'M' && tiff[1] == 'M')
        big_endian = true;
    else if (tiff[0] == 'I' && tiff[1] == 'I')
        big_endian = false;
    else
        return 1;
    const uint32_t ifd = Read(tiff, 4, 4, big_endian);
    if (ifd > tiff.size() - 2)
        return 1;
    const uint32_t entries = Read(tiff, ifd, 2, big_endian);
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = size_t{ifd} + 2 + size_t{i} * 12;
        if (entry + 12 > tiff.size())
            break;
        if (Read(tiff, entry, 2, big_endian) == 0x0112 && Read(tiff, entry + 2, 2, big_endian) == 3) {
            const uint32_t value = Read(tiff, entry + 8, 2, big_endian);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
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

void InsertIccProfile(Bytes& jpeg, std::span<const uint8_t> profile)
{
    const size_t count = (profile.size() + kIccChunk - 1) / kIccChunk;
    if (profile.empty() || count > 255 || jpeg.size() < 4)
        return;
    size_t at = 2;
    if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xE0 && at + 4 <= jpeg.size())
        at += 2 + Read(jpeg, at + 2, 2, true);
    Bytes segments;
    segments.reserve(profile.size() + count * (4 + kIccHeader));
    for (size_t i = 0; i < count; ++i) {
        const std::span<const uint8_t> part = profile.subspan(i * kIccChunk, std::min(kIccChunk, profile.size() - i * kIccChunk));
        const size_t length = 2 + kIccHeader + part.size();
        segments.insert(segments.end(), {0xFF, 0xE2, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
        segments.insert(segments.end(), kIccTag, kIccTag + 12);
        segments.push_back(static_cast<uint8_t>(i + 1));
        segments.push_back(static_cast<uint8_t>(count));
        segments.insert(segments.end(), part.begin(), part.end());
    }
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(std::min(at, jpeg.size())), segments.begin(), segments.end());
}

} // namespace korvanti::codecs

// Finding, reading and rewriting the EXIF orientation.
#include "codecs/exif.h"

#include <cstring>
#include <optional>

namespace korvanti::codecs {
namespace {

uint32_t Read(std::span<const uint8_t> bytes, size_t at, int size, bool big_endian)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | bytes[at + static_cast<size_t>(big_endian ? i : size - 1 - i)];
    return value;
}

// Where IFD0's orientation entry starts, and the byte order.
struct OrientationEntry {
    size_t at = 0;
    bool big_endian = false;
};

std::optional<OrientationEntry> FindOrientation(std::span<const uint8_t> tiff)
{
    if (tiff.size() < 8)
        return std::nullopt;
    const bool big_endian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big_endian && !(tiff[0] == 'I' && tiff[1] == 'I'))
        return std::nullopt;
    const uint32_t ifd = Read(tiff, 4, 4, big_endian);
    if (ifd > tiff.size() - 2)
        return std::nullopt;
    const uint32_t entries = Read(tiff, ifd, 2, big_endian);
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t entry = size_t{ifd} + 2 + size_t{i} * 12;
        if (entry + 12 > tiff.size())
            break;
        if (Read(tiff, entry, 2, big_endian) == 0x0112 && Read(tiff, entry + 2, 2, big_endian) == 3)
            return OrientationEntry{entry, big_endian};
    }
    return std::nullopt;
}

} // namespace

int ExifOrientation(std::span<const uint8_t> tiff)
{
    const std::optional<OrientationEntry> entry = FindOrientation(tiff);
    if (!entry)
        return 1;
    const uint32_t value = Read(tiff, entry->at + 8, 2, entry->big_endian);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

std::span<const uint8_t> ExifTiff(std::span<const uint8_t> payload)
{
    if (payload.size() >= 6 && std::memcmp(payload.data(), "Exif\0\0", 6) == 0)
        payload = payload.subspan(6);
    const bool tiff = payload.size() >= 8 && ((payload[0] == 'I' && payload[1] == 'I' && payload[2] == 42) ||
                                              (payload[0] == 'M' && payload[1] == 'M' && payload[3] == 42));
    return tiff ? payload : std::span<const uint8_t>{};
}

Bytes UprightExif(std::span<const uint8_t> payload)
{
    const std::span<const uint8_t> tiff = ExifTiff(payload);
    Bytes exif(tiff.begin(), tiff.end());
    if (const std::optional<OrientationEntry> entry = FindOrientation(exif)) {
        exif[entry->at + 8] = entry->big_endian ? 0 : 1;
        exif[entry->at + 9] = entry->big_endian ? 1 : 0;
    }
    return exif;
}

std::span<const uint8_t> PngExif(std::span<const uint8_t> png)
{
    size_t at = 8; // after the signature
    while (at + 12 <= png.size()) {
        const uint32_t length = Read(png, at, 4, true);
        if (length > png.size() - at - 12)
            break;
        const std::span<const uint8_t> type = png.subspan(at + 4, 4);
        if (std::memcmp(type.data(), "eXIf", 4) == 0)
            return png.subspan(at + 8, length);
        if (std::memcmp(type.data(), "IDAT", 4) == 0 || std::memcmp(type.data(), "IEND", 4) == 0)
            break;
        at += size_t{length} + 12;
    }
    return {};
}

} // namespace korvanti::codecs

// Format detection and the BMP header every decoder writes.
#include "codecs/format.h"

#include <algorithm>
#include <cctype>

namespace korvanti::codecs {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void Put32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

Format SniffFormat(std::span<const uint8_t> head)
{
    static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (head.size() >= sizeof kPng && std::equal(std::begin(kPng), std::end(kPng), head.begin()))
        return Format::Png;
    if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return Format::Jpeg;
    if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M')
        return Format::Bmp;
    return Format::Unknown;
}

Format FormatOfWord(std::string_view word)
{
    if (EqualsIgnoringCase(word, "bmp"))
        return Format::Bmp;
    if (EqualsIgnoringCase(word, "png"))
        return Format::Png;
    if (EqualsIgnoringCase(word, "jpeg") || EqualsIgnoringCase(word, "jpg"))
        return Format::Jpeg;
    return Format::Unknown;
}

Format FormatOfName(std::string_view name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos)
        return Format::Unknown;
    return FormatOfWord(name.substr(dot + 1));
}

std::string_view ExtensionOf(Format format)
{
    switch (format) {
    case Format::Png:
        return ".png";
    case Format::Jpeg:
        return ".jpg";
    default:
        return ".bmp";
    }
}

std::string_view NameOf(Format format)
{
    switch (format) {
    case Format::Png:
        return "PNG";
    case Format::Jpeg:
        return "JPEG";
    default:
        return "BMP";
    }
}

std::optional<int64_t> BitmapSize(int64_t width, int64_t height, int64_t limit)
{
    limit = std::min(limit, kLargestBitmap);
    if (width <= 0 || height <= 0 || width > limit || height > limit)
        return std::nullopt;
    const int64_t stride = RowStride(width);
    if (height > (limit - kHeaderBytes) / stride)
        return std::nullopt;
    return kHeaderBytes + stride * height;
}

FileProblem TooLargeProblem(int64_t width, int64_t height)
{
    return {FileProblemKind::TooLarge, 0, 0,
            "the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")"};
}

FileProblem AdmitPicture(int64_t width, int64_t height, const DecodeOptions& options, int64_t& size)
{
    const std::optional<int64_t> bitmap = BitmapSize(width, height, options.limit);
    if (!bitmap)
        return TooLargeProblem(width, height);
    if (options.admit && !options.admit(*bitmap))
        return {FileProblemKind::Interrupted};
    size = *bitmap;
    return {};
}

FileProblem OutOfMemoryProblem() { return {FileProblemKind::OutOfMemory, 0, 0, "out of memory"}; }

Bytes NewBitmap(int32_t width, int32_t height, int64_t size)
{
    Bytes bytes(static_cast<size_t>(size), 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(bytes, 2, static_cast<uint32_t>(size));
    Put32(bytes, 10, kHeaderBytes);
    Put32(bytes, 14, 40);
    Put32(bytes, 18, static_cast<uint32_t>(width));
    Put32(bytes, 22, static_cast<uint32_t>(height));
    bytes[26] = 1;
    bytes[28] = 24;
    Put32(bytes, 34, static_cast<uint32_t>(size - kHeaderBytes));
    return bytes;
}

} // namespace korvanti::codecs

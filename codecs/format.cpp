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

bool StartsWith(std::span<const uint8_t> bytes, size_t at, std::string_view text)
{
    return bytes.size() >= at + text.size() && std::equal(text.begin(), text.end(), bytes.begin() + long(at),
                                                          [](char c, uint8_t b) { return uint8_t(c) == b; });
}

// The brands of a leading ISO-BMFF "ftyp" box (major brand, then the
// compatible ones) as far as head holds them: AVIF when an AVIF brand is
// named, HEIC for the HEVC and generic image brands.
Format FormatOfBrands(std::span<const uint8_t> head)
{
    if (!StartsWith(head, 4, "ftyp") || head.size() < 12)
        return Format::Unknown;
    const uint32_t box = uint32_t(head[0]) << 24 | uint32_t(head[1]) << 16 | uint32_t(head[2]) << 8 | head[3];
    const size_t end = std::min<size_t>(box, head.size());
    bool heic = false;
    for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) { // skips the minor version
        for (std::string_view brand : {"avif", "avis"}) {
            if (StartsWith(head, at, brand))
                return Format::Avif;
        }
        for (std::string_view brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"})
            heic = heic || StartsWith(head, at, brand);
    }
    return heic ? Format::Heic : Format::Unknown;
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
    if (StartsWith(head, 0, "RIFF") && StartsWith(head, 8, "WEBP"))
        return Format::Webp;
    if (StartsWith(head, 0, {"II*\0", 4}) || StartsWith(head, 0, {"MM\0*", 4}))
        return Format::Tiff;
    return FormatOfBrands(head);
}

namespace {

struct FormatWords {
    Format format;
    std::string_view name;      // NameOf
    std::string_view extension; // ExtensionOf
    std::string_view words[3];  // what FormatOfWord takes
};

constexpr FormatWords kFormats[] = {
    {Format::Bmp, "BMP", ".bmp", {"bmp"}},
    {Format::Png, "PNG", ".png", {"png"}},
    {Format::Jpeg, "JPEG", ".jpg", {"jpeg", "jpg"}},
    {Format::Webp, "WebP", ".webp", {"webp"}},
    {Format::Tiff, "TIFF", ".tif", {"tiff", "tif"}},
    {Format::Heic, "HEIC", ".heic", {"heic", "heif"}},
    {Format::Avif, "AVIF", ".avif", {"avif"}},
};

const FormatWords& WordsOf(Format format)
{
    for (const FormatWords& entry : kFormats) {
        if (entry.format == format)
            return entry;
    }
    return kFormats[0]; // BMP
}

} // namespace

Format FormatOfWord(std::string_view word)
{
    for (const FormatWords& entry : kFormats) {
        for (std::string_view known : entry.words) {
            if (!known.empty() && EqualsIgnoringCase(word, known))
                return entry.format;
        }
    }
    return Format::Unknown;
}

Format FormatOfName(std::string_view name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos)
        return Format::Unknown;
    return FormatOfWord(name.substr(dot + 1));
}

std::string_view ExtensionOf(Format format) { return WordsOf(format).extension; }

std::string_view NameOf(Format format) { return WordsOf(format).name; }

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

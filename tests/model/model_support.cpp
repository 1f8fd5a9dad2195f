// The model sequence's helpers: pictures and messages.
#include <sstream>

#include "model_sequence.h"

namespace korvanti::testing::model {

uint64_t FromEnvironment(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    return *end == '\0' ? value : fallback;
}

Geometry GeometryOf(const Bytes& b)
{
    const auto read32 = [&](size_t at) {
        return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
    };
    Geometry g;
    g.width = static_cast<int>(read32(18));
    g.height = static_cast<int>(read32(22));
    g.offset = read32(10);
    g.stride = (static_cast<size_t>(g.width) * 3 + 3) & ~size_t{3};
    g.tail = b.size() - g.offset - g.stride * static_cast<size_t>(g.height);
    return g;
}

Bytes MakePicture(Random& random)
{
    // Widths that are multiples of 4 have no row padding; the others do.
    const int width = random.Percent(40) ? 4 * (1 + random.Below(3)) : 1 + random.Below(13);
    Picture picture(width, 1 + random.Below(9));
    // Noise, flat patches and gradients, so that every filter has work to do.
    const int style = random.Below(3);
    const uint8_t flat = random.Byte();
    for (int64_t k = 0; k < int64_t{width} * picture.height; ++k) {
        for (int channel = 0; channel < 3; ++channel) {
            const int64_t x = k % width, y = k / width;
            uint8_t& value = picture.at(k, channel);
            if (style == 1 && random.Percent(70))
                value = flat;
            else if (style == 2)
                value = static_cast<uint8_t>(x * 40 + y * 25 + channel * 90 + random.Below(8));
            else
                value = random.Byte();
        }
    }
    // A version 4 header, or something between header and pixels.
    const int header = random.Below(4);
    const uint32_t gap = header == 0 ? 68 + 4 * random.Below(3) : header == 1 ? 1 + random.Below(40) : 0;
    Bytes tail(random.Percent(35) ? 1 + random.Below(9) : 0);
    for (uint8_t& byte : tail)
        byte = random.Byte();
    Bytes b = MakeBmp(picture, 54 + gap, tail, random.Byte());
    const size_t info_end = header == 0 ? 14 + 108 : 54;
    if (header == 0)
        Put32(b, 14, 108);
    std::fill(b.begin() + 54, b.begin() + static_cast<std::ptrdiff_t>(info_end), 0);
    for (size_t at = info_end; at < 54 + gap; ++at)
        b[at] = random.Byte();
    return b;
}

std::string Difference(const Bytes& actual, const Bytes& expected)
{
    std::ostringstream text;
    const size_t common = std::min(actual.size(), expected.size());
    const size_t at = std::mismatch(actual.begin(), actual.begin() + common, expected.begin()).first - actual.begin();
    text << actual.size() << " bytes, expected " << expected.size();
    if (at < common)
        text << "; first difference at byte " << at << " (" << int{actual[at]} << ", expected " << int{expected[at]}
             << ")";
    return text.str();
}

std::optional<std::string> ViewDifference(const QImage& shown, const Bytes& bytes)
{
    const Geometry g = GeometryOf(bytes);
    if (shown.size() != QSize(g.width, g.height))
        return "the view shows " + Show(shown.size()) + ", the document is " + Show(QSize(g.width, g.height));
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const uint8_t* p = bytes.data() + g.offset + static_cast<size_t>(g.height - 1 - y) * g.stride +
                               static_cast<size_t>(x) * 3;
            const QRgb pixel = shown.pixel(x, y);
            if (qRed(pixel) != p[2] || qGreen(pixel) != p[1] || qBlue(pixel) != p[0])
                return "the view differs from the document at " + Show(QPoint(x, y));
        }
    }
    return std::nullopt;
}

} // namespace korvanti::testing::model

// The model sequence's helpers: pictures, files, messages and the core run
// an effect is compared with.
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

uint32_t Read32(const Bytes& b, size_t at)
{
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

Geometry GeometryOf(const Bytes& b)
{
    Geometry g;
    g.width = static_cast<int>(Read32(b, 18));
    g.height = static_cast<int>(Read32(b, 22));
    g.offset = Read32(b, 10);
    g.stride = (static_cast<size_t>(g.width) * 3 + 3) & ~size_t{3};
    g.tail = b.size() - g.offset - g.stride * static_cast<size_t>(g.height);
    return g;
}

Bytes MakePicture(Random& random)
{
    // Widths that are multiples of 4 have no row padding; the others do.
    const int width = random.Percent(40) ? 4 * (1 + random.Below(3)) : 1 + random.Below(13);
    const int height = 1 + random.Below(9);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    size_t info = 40;
    size_t gap = 0;
    const int header = random.Below(4);
    if (header == 0) // a version 4 header
        info = 108, gap = 68 + static_cast<size_t>(random.Below(3)) * 4;
    else if (header == 1) // something between header and pixels
        gap = 1 + static_cast<size_t>(random.Below(40));
    const size_t tail = random.Percent(35) ? 1 + static_cast<size_t>(random.Below(9)) : 0;
    const size_t offset = 54 + gap;
    Bytes b(offset + stride * static_cast<size_t>(height) + tail);
    for (uint8_t& byte : b)
        byte = random.Byte();
    std::fill(b.begin(), b.begin() + 54, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, static_cast<uint32_t>(offset));
    Put32(b, 14, static_cast<uint32_t>(info));
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    Put32(b, 34, static_cast<uint32_t>(stride * static_cast<size_t>(height)));
    if (info > 40)
        std::fill(b.begin() + 54, b.begin() + static_cast<std::ptrdiff_t>(14 + info), 0);
    // Noise, flat patches and gradients, so that every filter has work to do.
    const int style = random.Below(3);
    const uint8_t flat = random.Byte();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = b.data() + offset + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
            for (int k = 0; k < 3; ++k) {
                if (style == 1 && random.Percent(70))
                    pixel[k] = flat;
                else if (style == 2)
                    pixel[k] = static_cast<uint8_t>(x * 40 + y * 25 + k * 90 + random.Below(8));
            }
        }
    }
    return b;
}

fs::path FsPath(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }
QString QtPath(const fs::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.string())); }

std::string Utf8(const QString& text) { return text.toStdString(); }
std::string Show(const QString& text) { return '"' + Utf8(text) + '"'; }
std::string Show(int value) { return std::to_string(value); }
std::string Show(bool value) { return value ? "true" : "false"; }
std::string Show(const std::vector<int>& values) { return std::to_string(values.size()) + " values"; }

std::string Difference(const Bytes& actual, const Bytes& expected)
{
    std::ostringstream text;
    const size_t common = std::min(actual.size(), expected.size());
    size_t at = 0;
    while (at < common && actual[at] == expected[at])
        ++at;
    text << actual.size() << " bytes, expected " << expected.size();
    if (at < common)
        text << "; first difference at byte " << at << " (" << int{actual[at]} << ", expected " << int{expected[at]}
             << ")";
    return text.str();
}

std::optional<std::string> ViewDifference(const QImage& shown, const Bytes& bytes)
{
    const Geometry g = GeometryOf(bytes);
    if (shown.width() != g.width || shown.height() != g.height)
        return "the view shows " + std::to_string(shown.width()) + " x " + std::to_string(shown.height()) +
               ", the document is " + std::to_string(g.width) + " x " + std::to_string(g.height);
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const uint8_t* p = bytes.data() + g.offset + static_cast<size_t>(g.height - 1 - y) * g.stride +
                               static_cast<size_t>(x) * 3;
            const QRgb pixel = shown.pixel(x, y);
            if (qRed(pixel) != p[2] || qGreen(pixel) != p[1] || qBlue(pixel) != p[0])
                return "the view differs from the document at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    }
    return std::nullopt;
}

CoreRun RunInCore(const fs::path& file, const Bytes& start, const EffectEntry& effect, int cancel_at, CRand& random)
{
    WriteFile(file, start);
    Document document;
    if (document.LoadBitmap(file.string()) != kLoaded)
        return {};
    CountingHost host;
    EffectContext context(document, host, random);
    host.context = &context;
    host.cancel_at = cancel_at;
    RunEffect(context, effect);
    return {document.file_bytes, host.pumps};
}

} // namespace korvanti::testing::model

// The decoders against unusual and hostile files: every JPEG layout libjpeg
// reads (samplings, CMYK, harmless warnings), ordinary JPEGs exactly as
// TurboJPEG decodes them, a stop request, PNG notes and refusals.
#include <gtest/gtest.h>
#include <png.h>
#include <turbojpeg.h>
#include <zlib.h>

#include <cstdio> // before jpeglib.h
#include <jpeglib.h>

#include <functional>
#include <tuple>

#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "bitmap.h"

namespace korvanti::testing {
namespace {

using codecs::Decoded;
using Sample = std::function<void(int x, int y, uint8_t* samples)>; // x, y from the top left

struct JpegLayout {
    J_COLOR_SPACE input = JCS_EXT_BGR; // JCS_EXT_BGR, JCS_GRAYSCALE or JCS_CMYK
    J_COLOR_SPACE stored = JCS_YCbCr;
    int h = 2, v = 2; // the first component's sampling
    bool progressive = false;
    bool adobe = true; // CMYK: the Adobe segment, which marks inverted ink
};

Bytes WriteJpeg(int width, int height, const JpegLayout& layout, const Sample& sample, int quality = 100)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = layout.input == JCS_GRAYSCALE ? 1 : layout.input == JCS_CMYK ? 4 : 3;
    cinfo.in_color_space = layout.input;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, layout.stored);
    cinfo.write_Adobe_marker = layout.input == JCS_CMYK ? layout.adobe : cinfo.write_Adobe_marker;
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = layout.h;
    cinfo.comp_info[0].v_samp_factor = layout.v;
    if (layout.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(size_t(width) * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            sample(x, y, row.data() + x * cinfo.input_components);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Decoded DecodeOrFail(const Bytes& file, bool png = false)
{
    Decoded decoded;
    const FileProblem problem = png ? codecs::DecodePng(file, decoded) : codecs::DecodeJpeg(file, decoded);
    EXPECT_TRUE(problem.ok()) << problem.reason;
    return decoded;
}

// Pixel (x, y) from the top left of a decoded picture, BGR.
const uint8_t* At(const Decoded& d, int x, int y)
{
    return d.bitmap.data() + kHeaderBytes + (d.height - 1 - y) * RowStride(d.width) + x * 3;
}

TEST(HostileJpeg, EverySamplingCmykYcckAndHarmlessWarningsDecode)
{
    // 64 x 32 in quadrants: red, green / blue, white (RGB).
    const uint8_t rgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    auto quadrant = [&](int x, int y) { return rgb[(y < 16 ? 0 : 2) + (x < 32 ? 0 : 1)]; };
    const Sample bgr = [&](int x, int y, uint8_t* s) { s[0] = quadrant(x, y)[2], s[1] = quadrant(x, y)[1], s[2] = quadrant(x, y)[0]; };
    // Adobe CMYK is stored inverted (255 is no ink): RGB and no black.
    const Sample adobe = [&](int x, int y, uint8_t* s) { s[0] = quadrant(x, y)[0], s[1] = quadrant(x, y)[1], s[2] = quadrant(x, y)[2], s[3] = 255; };
    const Sample ink = [&](int x, int y, uint8_t* s) { adobe(x, y, s); for (int c = 0; c < 4; ++c) s[c] = uint8_t(255 - s[c]); };
    const Bytes plain = WriteJpeg(64, 32, {}, bgr);
    Bytes jfif201 = plain; // APP0 "JFIF\0" then the version
    ASSERT_EQ(std::string(jfif201.begin() + 6, jfif201.begin() + 11), std::string("JFIF\0", 5));
    jfif201[11] = 2, jfif201[12] = 1;
    Bytes junk = plain;
    junk.insert(junk.end() - 2, {1, 2, 3, 4});
    const std::vector<std::pair<std::string, Bytes>> cases{
        {"4x2", WriteJpeg(64, 32, {.h = 4, .v = 2}, bgr)}, {"1x4", WriteJpeg(64, 32, {.h = 1, .v = 4}, bgr)},
        {"3x1", WriteJpeg(64, 32, {.h = 3, .v = 1}, bgr)}, {"2x4", WriteJpeg(64, 32, {.h = 2, .v = 4}, bgr)},
        {"3x2", WriteJpeg(64, 32, {.h = 3, .v = 2}, bgr)}, {"JFIF 2.01", jfif201}, {"junk before the end", junk},
        {"Adobe CMYK", WriteJpeg(64, 32, {.input = JCS_CMYK, .stored = JCS_CMYK, .h = 1, .v = 1}, adobe)},
        {"Adobe YCCK", WriteJpeg(64, 32, {.input = JCS_CMYK, .stored = JCS_YCCK, .h = 1, .v = 1}, adobe)},
        {"plain CMYK", WriteJpeg(64, 32, {.input = JCS_CMYK, .stored = JCS_CMYK, .h = 1, .v = 1, .adobe = false}, ink)},
        {"progressive CMYK", WriteJpeg(64, 32, {.input = JCS_CMYK, .stored = JCS_CMYK, .progressive = true}, adobe)},
    };
    for (const auto& [name, file] : cases) {
        SCOPED_TRACE(name);
        const Decoded decoded = DecodeOrFail(file);
        ASSERT_EQ(decoded.width, 64);
        ASSERT_EQ(decoded.height, 32);
        for (auto [x, y] : {std::pair{12, 6}, {52, 6}, {12, 26}, {52, 26}})
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(At(decoded, x, y)[c], quadrant(x, y)[2 - c], 6) << x << "," << y << " channel " << c;
    }
}

// The pixels TurboJPEG decodes, top-down BGR.
Bytes TurboDecode(const Bytes& file, int width, int height)
{
    tjhandle handle = tjInitDecompress();
    Bytes out(size_t(width) * height * 3);
    EXPECT_EQ(tjDecompress2(handle, file.data(), file.size(), out.data(), width, 0, height, TJPF_BGR, 0), 0);
    tjDestroy(handle);
    return out;
}

// The file with an EXIF orientation.
Bytes Oriented(Bytes jpeg, uint8_t orientation)
{
    const Bytes app1{0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                     0x12, 0x01, 3, 0, 1, 0, 0, 0, orientation, 0, 0, 0, 0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

TEST(HostileJpeg, OrdinaryFilesGiveTurboJpegsPixelsExactlyInEveryOrientation)
{
    const int w = 37, h = 23; // neither a multiple of the blocks
    const Picture varied = Varied(w, h, 5);
    const Sample bgr = [&](int x, int y, uint8_t* s) { std::copy_n(&varied.bgr[(size_t(h - 1 - y) * w + x) * 3], 3, s); };
    const Sample grey = [&](int x, int y, uint8_t* s) { bgr(x, y, s), s[0] = s[1]; };
    const std::vector<std::pair<std::string, Bytes>> cases{
        {"4:2:0", WriteJpeg(w, h, {}, bgr, 90)},
        {"4:2:2", WriteJpeg(w, h, {.h = 2, .v = 1}, bgr, 90)},
        {"4:4:4", WriteJpeg(w, h, {.h = 1, .v = 1}, bgr, 90)},
        {"grey", WriteJpeg(w, h, {.input = JCS_GRAYSCALE, .stored = JCS_GRAYSCALE, .h = 1, .v = 1}, grey, 90)},
        {"progressive", WriteJpeg(w, h, {.progressive = true}, bgr, 90)},
    };
    for (const auto& [name, file] : cases) {
        SCOPED_TRACE(name);
        const Bytes expected = TurboDecode(file, w, h);
        for (uint8_t orientation = 1; orientation <= 8; ++orientation) {
            const Decoded d = DecodeOrFail(Oriented(file, orientation));
            const bool swapped = orientation >= 5;
            ASSERT_EQ(d.width, swapped ? h : w);
            int wrong = 0;
            for (int dy = 0; dy < d.height; ++dy) {
                for (int dx = 0; dx < d.width; ++dx) {
                    // Where the upright picture's pixel comes from, as EXIF defines the turns.
                    const int tx = orientation == 2 || orientation == 3 ? w - 1 - dx : dx;
                    const int ty = orientation == 3 || orientation == 4 ? h - 1 - dy : dy;
                    const int sx = swapped ? (orientation == 5 || orientation == 6 ? dy : w - 1 - dy) : tx;
                    const int sy = swapped ? (orientation == 5 || orientation == 8 ? dx : h - 1 - dx) : ty;
                    wrong += !std::equal(At(d, dx, dy), At(d, dx, dy) + 3, &expected[(size_t(sy) * w + sx) * 3]);
                }
            }
            EXPECT_EQ(wrong, 0) << "orientation " << int(orientation);
        }
    }
    Bytes twelve_bit = cases[0].second; // the precision byte after the SOF marker and length
    const uint8_t sof[] = {0xFF, 0xC0};
    const auto at = std::search(twelve_bit.begin(), twelve_bit.end(), sof, sof + 2);
    ASSERT_NE(at, twelve_bit.end());
    at[4] = 12;
    Decoded refused;
    const FileProblem problem = codecs::DecodeJpeg(twelve_bit, refused);
    EXPECT_EQ(problem.reason, "12-bit JPEG is not supported");
    EXPECT_TRUE(refused.bitmap.empty());
}

// A PNG written by libpng from rows of samples.
Bytes WritePng(uint32_t width, uint32_t height, int colour, int depth, bool interlaced, const Bytes& row_bytes)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t size) {
            auto* bytes = static_cast<Bytes*>(png_get_io_ptr(p));
            bytes->insert(bytes->end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, depth, colour, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    const size_t stride = row_bytes.size() / height;
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y)
        rows[y] = const_cast<png_bytep>(row_bytes.data() + y * stride);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(Decoders, AStopRequestEndsTheDecodeBeforeItReachesTheCut)
{
    const int w = 1200, h = 900;
    const Picture varied = Varied(w, h, 9);
    const Sample bgr = [&](int x, int y, uint8_t* s) { std::copy_n(&varied.bgr[(size_t(y) * w + x) * 3], 3, s); };
    const std::vector<std::tuple<std::string, Bytes, bool>> cases{
        {"baseline JPEG", WriteJpeg(w, h, {}, bgr, 90), false},
        {"progressive JPEG", WriteJpeg(w, h, {.progressive = true}, bgr, 90), false},
        {"PNG", WritePng(w, h, PNG_COLOR_TYPE_RGB, 8, false, varied.bgr), true},
        {"interlaced PNG with alpha", WritePng(w, h * 3 / 4, PNG_COLOR_TYPE_RGBA, 8, true, varied.bgr), true}, // same bytes as 4 channels
    };
    // Whole, the interlaced file gives what the plain one does: a pass sets
    // only its own pixels.
    const Bytes plain_alpha = WritePng(w, h * 3 / 4, PNG_COLOR_TYPE_RGBA, 8, false, varied.bgr);
    EXPECT_EQ(DecodeOrFail(std::get<1>(cases[3]), true).bitmap, DecodeOrFail(plain_alpha, true).bitmap);
    for (const auto& [name, whole, png] : cases) {
        SCOPED_TRACE(name);
        const Bytes cut(whole.begin(), whole.begin() + long(whole.size() * 6 / 10));
        std::atomic<bool> stop{false};
        for (bool stopped : {false, true}) {
            stop = stopped;
            Decoded decoded;
            codecs::DecodeOptions options;
            options.stop = &stop;
            const FileProblem problem = png ? codecs::DecodePng(cut, decoded, options) : codecs::DecodeJpeg(cut, decoded, options);
            EXPECT_EQ(problem.kind, stopped ? FileProblemKind::Interrupted : FileProblemKind::Damaged) << problem.reason;
            EXPECT_TRUE(decoded.bitmap.empty());
        }
    }
}

Bytes Chunk(const char* type, const Bytes& data)
{
    Bytes chunk{uint8_t(data.size() >> 24), uint8_t(data.size() >> 16), uint8_t(data.size() >> 8), uint8_t(data.size())};
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    const uint32_t crc = uint32_t(crc32(0, chunk.data() + 4, uInt(chunk.size() - 4)));
    chunk.insert(chunk.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
    return chunk;
}

TEST(HostilePng, AnimationsAndOversizedProfilesAreNotedAndOverwideRowsRefused)
{
    const Bytes picture = WritePng(8, 8, PNG_COLOR_TYPE_RGB, 8, false, Bytes(8 * 8 * 3, 0x80));
    const Bytes animation = Chunk("acTL", {0, 0, 0, 2, 0, 0, 0, 0});
    Bytes profile(9000000, 0); // its header: the length and the signature
    profile[0] = 0, profile[1] = 0x89, profile[2] = 0x54, profile[3] = 0x40;
    std::copy_n("acsp", 4, profile.begin() + 36);
    Bytes packed(compressBound(uLong(profile.size())));
    uLongf packed_size = packed.size();
    ASSERT_EQ(compress(packed.data(), &packed_size, profile.data(), uLong(profile.size())), Z_OK);
    Bytes iccp{'b', 'i', 'g', 0, 0};
    iccp.insert(iccp.end(), packed.begin(), packed.begin() + long(packed_size));
    const Bytes big_profile = Chunk("iCCP", iccp);
    auto with = [&](std::initializer_list<Bytes> chunks) {
        Bytes file = picture;
        for (const Bytes& chunk : chunks) // after the signature and IHDR
            file.insert(file.begin() + 33, chunk.begin(), chunk.end());
        return file;
    };
    // The file, and the note it decodes with or the reason it is refused for.
    const std::vector<std::tuple<std::string, Bytes, std::string, std::string>> cases{
        {"plain", picture, "", ""},
        {"animated", with({animation}), "animated: first frame only", ""},
        {"profile", with({big_profile}), "colour profile over 8 MB dropped", ""},
        {"both", with({big_profile, animation}), "animated: first frame only; colour profile over 8 MB dropped", ""},
        {"wide", WritePng(1000000, 1, PNG_COLOR_TYPE_RGBA, 16, true, Bytes(8000000, 7)), "",
         "the rows need more memory than the picture's size allows"},
    };
    for (const auto& [name, file, note, reason] : cases) {
        SCOPED_TRACE(name);
        Decoded decoded;
        const FileProblem problem = codecs::DecodePng(file, decoded);
        EXPECT_EQ(problem.reason, reason);
        EXPECT_EQ(decoded.note, note);
        EXPECT_EQ(decoded.bitmap.empty(), !reason.empty());
    }
}

} // namespace
} // namespace korvanti::testing

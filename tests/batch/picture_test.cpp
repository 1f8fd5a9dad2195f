// JPEG and PNG through the batch tool: the same results as the BMP of the
// same pixels, each output format, the decoders' expansions and turns, and
// the refusals of bad files. Test pictures are made with the codecs.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <numeric>
#include <tuple>

#include "batch_test_support.h"
#include "codecs/jpeg.h"
#include "codecs/jpeg_markers.h"
#include "codecs/png.h"

namespace korvanti::testing {
namespace {

using codecs::Format;

Bytes Encode(Format format, const Bytes& bitmap, const Bytes& icc = {})
{
    Bytes out;
    const FileProblem problem = format == Format::Png ? codecs::EncodePng(RowsOf(bitmap), icc, out)
                                                      : codecs::EncodeJpeg(RowsOf(bitmap), 95, icc, out);
    if (!problem.ok())
        throw std::runtime_error(problem.reason);
    return out;
}

// Throws the decoder's reason when it refuses.
codecs::Decoded Decode(const Bytes& file)
{
    codecs::Decoded decoded;
    const FileProblem problem = codecs::SniffFormat(file) == Format::Png ? codecs::DecodePng(file, decoded)
                                                                         : codecs::DecodeJpeg(file, decoded);
    if (!problem.ok())
        throw std::runtime_error(problem.reason);
    return decoded;
}

// The pixel rows without header or padding, for comparing pictures.
Bytes Pixels(const Bytes& bitmap)
{
    const codecs::BitmapRows rows = RowsOf(bitmap);
    Bytes pixels;
    for (int32_t y = 0; y < rows.height; ++y)
        pixels.insert(pixels.end(), rows.first_row + y * rows.stride, rows.first_row + y * rows.stride + rows.width * 3);
    return pixels;
}

// A small well-formed RGB display profile: header, one tag (white point),
// then filler (libpng refuses profiles that deflate to almost nothing).
Bytes TinyIccProfile()
{
    Bytes icc(400, 0);
    for (size_t i = 164; i < icc.size(); ++i)
        icc[i] = uint8_t(i * 7919 >> 3);
    const std::pair<size_t, std::string_view> fields[] = {{2, "\x01\x90"}, {8, "\x02\x10"}, {12, "mntrRGB XYZ "},
        {36, "acsp"}, {68, {"\0\0\xF6\xD6\0\x01\0\0\0\0\xD3\x2D", 12}}, {131, "\x01wtpt"}, {139, "\x90"},
        {143, "\x14XYZ "}};
    for (const auto& [at, text] : fields)
        std::copy(text.begin(), text.end(), icc.begin() + long(at));
    return icc;
}

class Pictures : public ToolInFolder {};

TEST_F(Pictures, JpegAndPngGiveWhatTheirPixelsGiveAsBmpInEveryEffect)
{
    const Bytes original = VariedBmp(37, 23, 7); // odd width: padded rows
    for (Format format : {Format::Png, Format::Jpeg}) {
        const Bytes file = Encode(format, original);
        const std::string name = format == Format::Png ? "in.png" : "in.jpg";
        WriteFile(dir / name, file);
        const codecs::Decoded decoded = Decode(file);
        EXPECT_TRUE(format == Format::Jpeg || Pixels(decoded.bitmap) == Pixels(original)) << "PNG is lossless";
        WriteFile(dir / "decoded.bmp", decoded.bitmap);
        for (const EffectEntry& entry : EffectCatalogue()) {
            const std::string effect(entry.batch_name);
            SCOPED_TRACE(name + " " + effect);
            const Bytes expected = CoreResult(dir / "decoded.bmp", {effect});
            ASSERT_EQ(Tool({"-e", std::string(entry.menu_id), "-o", "out.bmp", name}), 0) << err;
            EXPECT_EQ(ReadFile(dir / "out.bmp"), expected);
            ASSERT_EQ(Tool({"-e", effect, "-o", "out.bmp", "decoded.bmp"}), 0) << err;
            EXPECT_EQ(ReadFile(dir / "out.bmp"), expected) << "from a BMP file (the median streams)";
        }
    }
}

TEST_F(Pictures, OutputFormatComesFromFormatOptionThenExtensionThenInput)
{
    WriteFile(dir / "in.png", Encode(Format::Png, VariedBmp(64, 48, 3)));
    WriteFile(dir / "in.bmp", VariedBmp(64, 48, 3));
    const Bytes expected = CoreResult(dir / "in.bmp", {"blur"});
    // The output, further options and the format written.
    const std::vector<std::tuple<std::string, std::vector<std::string>, Format>> cases{
        {"r.bmp", {}, Format::Bmp},          {"r.PNG", {}, Format::Png},
        {"r.Jpg", {}, Format::Jpeg},         {"r.jpeg", {"--quality", "100"}, Format::Jpeg},
        {"r.jpeg", {"--format", "png"}, Format::Png}, {"r.out", {}, Format::Png},
        {"r.png", {"--format=BMP"}, Format::Bmp},
    };
    for (const auto& [output, extra, format] : cases) {
        SCOPED_TRACE(output);
        std::vector<std::string> args{"-e", "blur", "-o", output, "in.png"};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_EQ(Tool(args), 0) << err;
        const Bytes written = ReadFile(dir / output);
        ASSERT_EQ(codecs::SniffFormat(written), format);
        if (format == Format::Bmp) {
            EXPECT_EQ(written, expected) << "BMP output is what the window saves";
            continue;
        }
        const codecs::Decoded back = Decode(written);
        const Bytes got = Pixels(back.bitmap), want = Pixels(expected);
        ASSERT_EQ(got.size(), want.size());
        const double error = std::transform_reduce(got.begin(), got.end(), want.begin(), 0.0, std::plus<>(),
                                                   [](int a, int b) { return std::abs(a - b); });
        EXPECT_LE(error / double(got.size()), format == Format::Png ? 0 : 16) << "PNG exact, JPEG close";
    }
    // Quality reaches the encoder.
    ASSERT_EQ(Tool({"-e", "blur", "-o", "low.jpg", "--quality", "5", "in.png"}), 0) << err;
    EXPECT_LT(fs::file_size(dir / "low.jpg"), fs::file_size(dir / "r.Jpg") / 2);
}

// A 2 x 1 PNG written by libpng: its colour type and bit depth (16-bit
// samples big-endian), Adam7-interlaced or not, the row's samples, and the
// palette of a palette picture.
Bytes SmallPng(int colour_type, int depth, bool interlaced, const uint8_t* row, std::vector<png_color> palette = {})
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out, [](png_structp p, png_bytep data, size_t size) {
            static_cast<Bytes*>(png_get_io_ptr(p))->insert(static_cast<Bytes*>(png_get_io_ptr(p))->end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(png, info, 2, 1, depth, colour_type, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_write_info(png, info);
    png_bytep rows = const_cast<png_bytep>(row);
    png_write_image(png, &rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST_F(Pictures, GreyPalette16BitAndAlphaBecomeEightBitRgb)
{
    const uint8_t grey[] = {10, 200};
    const uint8_t rgba[] = {255, 0, 0, 128, 0, 0, 255, 0};
    const uint8_t rgba_opaque[] = {255, 0, 0, 128, 0, 0, 255, 255}; // pixel 1 only in Adam7's pass 6
    const uint8_t deep[] = {0, 0, 0xFF, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}; // 0xFF00 rounds to 254, not 255
    const uint8_t rgb[] = {1, 2, 3, 40, 50, 60};
    const uint8_t indices[] = {1, 0};
    const std::vector<png_color> palette{{1, 2, 3}, {40, 50, 60}};
    // The file, its bytes, both pixels as decoded (BGR), and whether it had transparency.
    const std::vector<std::tuple<std::string, Bytes, Bytes, bool>> cases{
        {"grey", SmallPng(PNG_COLOR_TYPE_GRAY, 8, false, grey), {10, 10, 10, 200, 200, 200}, false},
        {"alpha", SmallPng(PNG_COLOR_TYPE_RGBA, 8, false, rgba), {127, 127, 255, 255, 255, 255}, true},
        {"16-bit", SmallPng(PNG_COLOR_TYPE_RGB, 16, false, deep), {255, 254, 0, 0, 0, 0}, false},
        {"palette", SmallPng(PNG_COLOR_TYPE_PALETTE, 8, false, indices, palette), {60, 50, 40, 3, 2, 1}, false},
        {"interlaced", SmallPng(PNG_COLOR_TYPE_RGB, 8, true, rgb), {3, 2, 1, 60, 50, 40}, false},
        {"interlaced-alpha", SmallPng(PNG_COLOR_TYPE_RGBA, 8, true, rgba_opaque), {127, 127, 255, 255, 0, 0}, true},
    };
    for (const auto& [name, png, bgr, alpha] : cases) {
        SCOPED_TRACE(name);
        const codecs::Decoded decoded = Decode(png);
        EXPECT_EQ(Pixels(decoded.bitmap), bgr);
        EXPECT_EQ(decoded.alpha_composited, alpha);
        WriteFile(dir / (name + ".png"), png);
    }
    // The tool says so once per file with transparency, unless -q.
    ASSERT_EQ(Tool({"-e", "invert", "-d", "out", "grey.png", "alpha.png"}), 0);
    EXPECT_EQ(err, "korvanti-batch: alpha.png: transparency flattened over white\n");
    ASSERT_EQ(Tool({"-q", "-e", "invert", "-d", "out", "alpha.png"}), 0);
    EXPECT_EQ(err, "");
}

// APP1 with a big-endian TIFF header and one IFD entry: the orientation.
Bytes WithOrientation(Bytes jpeg, uint8_t orientation)
{
    const Bytes app1{0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                     0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, orientation, 0, 0, 0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}

TEST_F(Pictures, ExifOrientationIsAppliedAndTheMetadataKeptUpright)
{
    // 64 x 32 in quadrants, top left to bottom right: red, green, blue,
    // white (rows bottom-up, pixels BGR).
    enum Quadrant { kRed, kGreen, kBlue, kWhite };
    const uint8_t colours[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
    testing::Picture quadrants(64, 32);
    for (int k = 0; k < 64 * 32; ++k)
        for (int channel = 0; channel < 3; ++channel)
            quadrants.at(k, channel) = colours[(k / 64 < 16 ? 2 : 0) + (k % 64 < 32 ? 0 : 1)][channel];
    const Bytes bitmap = MakeBmp(quadrants);
    const Bytes icc = TinyIccProfile();
    const Bytes plain = Encode(Format::Jpeg, bitmap, icc);
    // The orientation, and the quadrants that end up top left and top right.
    const std::vector<std::tuple<uint8_t, Quadrant, Quadrant>> cases{{1, kRed, kGreen},   {2, kGreen, kRed},  {3, kWhite, kBlue}, {4, kBlue, kWhite},
                                  {5, kRed, kBlue},    {6, kBlue, kRed},   {7, kWhite, kGreen}, {8, kGreen, kWhite}};
    for (const auto& [orientation, top_left, top_right] : cases) {
        SCOPED_TRACE(int(orientation));
        WriteFile(dir / "in.jpg", WithOrientation(plain, orientation));
        for (const std::string output : {"out.png", "out.jpg"}) {
            ASSERT_EQ(Tool({"-e", "invert", "-o", output, "in.jpg"}), 0) << err;
            const Bytes written = ReadFile(dir / output);
            // The EXIF block goes along with its orientation now 1.
            const Bytes upright{'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 1};
            EXPECT_NE(std::search(written.begin(), written.end(), upright.begin(), upright.end()), written.end());
            const codecs::Decoded back = Decode(written);
            EXPECT_EQ(back.icc, icc) << output;
            const bool turned = orientation >= 5;
            ASSERT_EQ(back.width, turned ? 32 : 64);
            const int64_t stride = RowStride(back.width);
            const uint8_t* top_row = back.bitmap.data() + 54 + (back.height - 4) * stride;
            for (auto [x, quadrant] : {std::pair{3, top_left}, std::pair{back.width - 4, top_right}})
                for (int channel = 0; channel < 3; ++channel)
                    EXPECT_NEAR(255 - top_row[x * 3 + channel], colours[quadrant][channel], 40) << output << " x " << x;
        }
    }
}

void FixChunkCrc(Bytes& png, size_t chunk)
{
    const uint32_t length = uint32_t(png[chunk]) << 24 | png[chunk + 1] << 16 | png[chunk + 2] << 8 | png[chunk + 3];
    const uint32_t crc = uint32_t(crc32(0, png.data() + chunk + 4, length + 4));
    for (int i = 0; i < 4; ++i)
        png[chunk + 8 + length + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
}

TEST_F(Pictures, BadFilesAreRefusedWithTheCodecsReasonAndNothingWritten)
{
    const Bytes png = Encode(Format::Png, VariedBmp(40, 30, 2));
    const Bytes jpeg = Encode(Format::Jpeg, VariedBmp(40, 30, 2));
    Bytes png_bomb = png; // IHDR: 100000 x 100000
    for (size_t at : {16u, 20u})
        png_bomb[at] = 0, png_bomb[at + 1] = 1, png_bomb[at + 2] = 0x86, png_bomb[at + 3] = 0xA0;
    FixChunkCrc(png_bomb, 8);
    Bytes bad_crc = png;
    bad_crc[30] ^= 0xFF;
    Bytes jpeg_bomb = jpeg;
    const uint8_t sof_marker[] = {0xFF, 0xC0};
    const size_t sof = size_t(std::search(jpeg.begin(), jpeg.end(), sof_marker, sof_marker + 2) - jpeg.begin());
    ASSERT_LT(sof + 8, jpeg.size());
    jpeg_bomb[sof + 5] = jpeg_bomb[sof + 7] = 0xEA; // 60000 x 60000
    jpeg_bomb[sof + 6] = jpeg_bomb[sof + 8] = 0x60;
    Bytes corrupt_jpeg = jpeg;
    for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 40; ++i)
        corrupt_jpeg[i] = 0xFF;
    // The file, its bytes and the start of the message.
    const std::vector<std::tuple<std::string, Bytes, std::string>> cases{
        {"cut.png", Bytes(png.begin(), png.begin() + long(png.size() / 2)), "not a readable PNG (the file ends early)"},
        {"crc.png", bad_crc, "not a readable PNG (IHDR: CRC error)"},
        {"bomb.png", png_bomb, "not a readable PNG (the picture is too large (100000 x 100000))"},
        {"cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2)), "not a readable JPEG (Premature end"},
        {"corrupt.jpg", corrupt_jpeg, "not a readable JPEG ("},
        {"bomb.jpg", jpeg_bomb, "not a readable JPEG (the picture is too large (60000 x 60000))"},
    };
    ExpectRefused(cases);
}

} // namespace
} // namespace korvanti::testing

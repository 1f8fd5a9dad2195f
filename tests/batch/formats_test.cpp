// WebP, TIFF, HEIC and AVIF: decoded pixels and notes per format and kind,
// refusals of bad files, round trips through the batch tool, the EXIF block
// kept upright, --strip and the --format words. TIFF and WebP pictures are
// made with libtiff and libwebp (format_pictures.h); HEIC and AVIF come from
// tests/batch/data.
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "batch/options.h"
#include "batch_test_support.h"
#include "codecs/codecs.h"
#include "codecs/exif.h"
#include "format_pictures.h"

namespace korvanti::testing {
namespace {

using codecs::Format;

// kSmall (or picture) through one of the codecs' own encoders.
Bytes Encoded(Format format, const Rgb& picture, const codecs::EncodeSettings& settings, const Bytes& icc = {},
              const Bytes& exif = {})
{
    testing::Picture bgr(picture.w, picture.h);
    for (int y = 0; y < picture.h; ++y)
        for (int x = 0; x < picture.w; ++x)
            for (int c = 0; c < 3; ++c)
                bgr.at((picture.h - 1 - y) * picture.w + x, c) = picture.rgb[size_t((y * picture.w + x) * 3 + 2 - c)];
    const Bytes bitmap = MakeBmp(bgr);
    Bytes out;
    const FileProblem problem = codecs::Encode(format, RowsOf(bitmap), settings, icc, exif, out);
    if (!problem.ok())
        throw std::runtime_error(problem.reason);
    return out;
}

codecs::Decoded Decode(const Bytes& file)
{
    codecs::Decoded decoded;
    const FileProblem problem = codecs::Decode(codecs::SniffFormat(file), file, decoded);
    if (!problem.ok())
        throw std::runtime_error(problem.reason);
    return decoded;
}

double MeanError(const Bytes& a, const Bytes& b)
{
    return std::transform_reduce(a.begin(), a.end(), b.begin(), 0.0, std::plus<>(),
                                 [](int x, int y) { return std::abs(x - y); }) /
           double(std::max<size_t>(1, a.size()));
}

Bytes DataFile(const std::string& name) { return ReadFile(fs::path(KORVANTI_TEST_DATA) / name); }

class Formats : public ToolInFolder {};

TEST(FormatSniffing, ContentTellsTheFormat)
{
    const std::vector<std::pair<std::string_view, Format>> cases{
        {{"RIFF\x10\0\0\0WEBPVP8L", 16}, Format::Webp}, {{"RIFF\x10\0\0\0WAVEfmt ", 16}, Format::Unknown},
        {{"II*\0\x08\0\0\0", 8}, Format::Tiff},         {{"MM\0*\0\0\0\x08", 8}, Format::Tiff},
        {{"II+\0", 4}, Format::Unknown},
        {{"\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24}, Format::Heic},
        {{"\0\0\0\x18" "ftypmif1\0\0\0\0mif1heic", 24}, Format::Heic},
        {{"\0\0\0\x18" "ftypmif1\0\0\0\0mif1avif", 24}, Format::Avif},
        {{"\0\0\0\x1c" "ftypavif\0\0\0\0avifmif1miaf", 28}, Format::Avif},
        {{"\0\0\0\x18" "ftypisom\0\0\0\0isommp41", 24}, Format::Unknown},
        {{"\0\0\0\x10" "ftypisom\0\0\0\0avif", 20}, Format::Unknown}, // the brand lies past the box
    };
    for (const auto& [head, format] : cases)
        EXPECT_EQ(codecs::SniffFormat({reinterpret_cast<const uint8_t*>(head.data()), head.size()}), format) << head;
}

TEST_F(Formats, EachKindDecodesToItsPixelsWithItsNotes)
{
    const Rgb flat = Flat(16, 16, {200, 100, 50});
    const std::vector<uint8_t> alphas{255, 100, 0, 255, 255, 255};
    // kSmall over white with alphas: pixel 1 partly covered (rounded up), pixel 2 gone.
    Rgb flattened = kSmall;
    const uint8_t half[] = {171, 175, 179};
    std::copy(half, half + 3, flattened.rgb.begin() + 3);
    std::fill(flattened.rgb.begin() + 6, flattened.rgb.begin() + 9, 255);
    Rgb deep = kSmall;
    deep.rgb[0] = 254; // 0xFF00 rounds down, where a shift would give 255
    const Rgb grey{3, 2, {10, 10, 10, 254, 254, 254, 90, 90, 90, 120, 120, 120, 150, 150, 150, 180, 180, 180}};
    const Rgb palette{3, 2, {0, 255, 0, 7, 248, 0, 255, 0, 0, 9, 246, 0, 100, 155, 0, 200, 55, 0}};
    const Rgb bilevel{3, 2, {0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255}};
    // Orientation 6: turned clockwise; 3: upside down; 8: counter-clockwise.
    const Rgb right{2, 3, {100, 110, 120, 10, 20, 30, 130, 140, 150, 40, 50, 60, 160, 170, 180, 70, 80, 90}};
    const Rgb upside{3, 2, {160, 170, 180, 130, 140, 150, 100, 110, 120, 70, 80, 90, 40, 50, 60, 10, 20, 30}};
    const Rgb left{2, 3, {70, 80, 90, 160, 170, 180, 40, 50, 60, 130, 140, 150, 10, 20, 30, 100, 110, 120}};
    const Rgb halves = Flat(16, 8, {255, 0, 0}, 8, {0, 0, 255}); // red, blue
    const Rgb faded = Flat(16, 8, {255, 0, 0}, 8, {255, 255, 255}); // red, transparent

    const fs::path t = dir / "t.tif";
    TiffPage rgb8{.data = kSmall.rgb};
    auto with = [&](TiffPage page, auto&& change) { change(page); return page; };
    const TiffPage lzw = with(rgb8, [](TiffPage& p) { p.compression = COMPRESSION_LZW; });
    const TiffPage deflate = with(rgb8, [](TiffPage& p) { p.compression = COMPRESSION_ADOBE_DEFLATE; });
    const TiffPage rgb16{.bits = 16, .data = Samples16(kSmall.rgb, 0xFF00)};
    const TiffPage rgba{.samples = 4, .alpha = EXTRASAMPLE_UNASSALPHA, .data = WithAlpha(kSmall, alphas)};
    const TiffPage premultiplied{.samples = 4, .alpha = EXTRASAMPLE_ASSOCALPHA, .data = WithAlpha(kSmall, alphas, true)};
    const TiffPage grey8{.samples = 1, .photometric = PHOTOMETRIC_MINISBLACK, .data = {10, 254, 90, 120, 150, 180}};
    const TiffPage grey16{.bits = 16, .samples = 1, .photometric = PHOTOMETRIC_MINISBLACK,
                          .data = Samples16({0, 254, 90, 120, 150, 180}, 10 * 257)};
    const TiffPage indexed{.samples = 1, .photometric = PHOTOMETRIC_PALETTE, .data = {0, 7, 255, 9, 100, 200}};
    const TiffPage jpeg{.w = 16, .h = 16, .photometric = PHOTOMETRIC_YCBCR, .compression = COMPRESSION_JPEG,
                        .data = flat.rgb};
    const TiffPage tiled = with(rgb8, [](TiffPage& p) { p.tiled = true; });
    const TiffPage bits1{.bits = 1, .samples = 1, .photometric = PHOTOMETRIC_MINISWHITE, .data = {0xA0, 0x40}};
    const TiffPage turned = with(rgb8, [](TiffPage& p) { p.orientation = ORIENTATION_RIGHTTOP; });
    const TiffPage turned_tiled = with(tiled, [](TiffPage& p) { p.orientation = ORIENTATION_LEFTBOT; });

    struct Case {
        std::string name;
        Bytes file;
        Rgb expected;
        double mean_error; // 0: exact
        bool alpha;
        std::string note;
        bool lossless = false;
    };
    const std::vector<Case> cases{
        {"tiff rgb8", MakeTiff(t, rgb8), kSmall, 0, false, ""},
        {"tiff lzw", MakeTiff(t, lzw), kSmall, 0, false, ""},
        {"tiff deflate", MakeTiff(t, deflate), kSmall, 0, false, ""},
        {"tiff rgb16", MakeTiff(t, rgb16), deep, 0, false, ""},
        {"tiff rgba", MakeTiff(t, rgba), flattened, 0, true, ""},
        {"tiff premultiplied", MakeTiff(t, premultiplied), flattened, 0, true, ""},
        {"tiff grey8", MakeTiff(t, grey8), grey, 0, false, ""},
        {"tiff grey16", MakeTiff(t, grey16), grey, 0, false, ""},
        {"tiff palette", MakeTiff(t, indexed), palette, 0, false, ""},
        {"tiff jpeg", MakeTiff(t, jpeg), flat, 3, false, ""},
        {"tiff tiled", MakeTiff(t, tiled), kSmall, 0, false, ""},
        {"tiff 1-bit", MakeTiff(t, bits1), bilevel, 0, false, ""},
        {"tiff orientation 6", MakeTiff(t, turned), right, 0, false, ""},
        {"tiff tiled orientation 8", MakeTiff(t, turned_tiled), left, 0, false, ""},
        {"tiff pages", MakeTiff(t, rgb8, 2), kSmall, 0, false, "first page of 2"},
        {"webp lossless", LosslessWebp(kSmall), kSmall, 0, false, "", true},
        {"webp lossy", LossyWebp(flat), flat, 3, false, ""},
        {"webp alpha", LosslessWebp(kSmall, WithAlpha(kSmall, alphas)), flattened, 0, true, "", true},
        {"webp exif 3", Encoded(Format::Webp, kSmall, {92, true}, {}, ExifWithOrientation(3)), upside, 0, false, "", true},
        {"webp exif 6", Encoded(Format::Webp, kSmall, {92, true}, {}, ExifWithOrientation(6)), right, 0, false, "", true},
        {"png exif 6", Encoded(Format::Png, kSmall, {}, {}, ExifWithOrientation(6)), right, 0, false, ""},
        {"webp animated", AnimatedWebp(kSmall), kSmall, 0, false, "animated: first frame only"},
        {"heic", DataFile("rb.heic"), halves, 12, false, ""},
        {"avif", DataFile("rb.avif"), halves, 12, false, ""},
        {"avif alpha", DataFile("rba.avif"), faded, 12, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const codecs::Decoded decoded = Decode(c.file);
        const Rgb got = TopDown(decoded.bitmap);
        ASSERT_EQ(std::pair(got.w, got.h), std::pair(c.expected.w, c.expected.h));
        if (c.mean_error == 0)
            EXPECT_EQ(got.rgb, c.expected.rgb);
        else
            EXPECT_LE(MeanError(got.rgb, c.expected.rgb), c.mean_error);
        EXPECT_EQ(decoded.alpha_composited, c.alpha);
        EXPECT_EQ(decoded.note, c.note);
        EXPECT_EQ(decoded.lossless, c.lossless);
    }
    // The tool passes the notes on, unless -q.
    WriteFile(dir / "pages.tif", MakeTiff(t, rgb8, 2));
    WriteFile(dir / "moving.webp", AnimatedWebp(kSmall));
    ASSERT_EQ(Tool({"-e", "invert", "-d", "out", "pages.tif", "moving.webp"}), 0) << err;
    EXPECT_NE(err.find("korvanti-batch: pages.tif: first page of 2\n"), std::string::npos) << err;
    EXPECT_NE(err.find("korvanti-batch: moving.webp: animated: first frame only\n"),
              std::string::npos) << err;
    ASSERT_EQ(Tool({"-q", "-e", "invert", "-d", "out", "pages.tif", "moving.webp"}), 0) << err;
    EXPECT_EQ(err, "");
}

TEST_F(Formats, BadFilesAreRefusedWithAReasonAndNothingWritten)
{
    const Bytes webp = LosslessWebp(Flat(40, 30, {1, 2, 3}));
    const Bytes tiff = MakeTiff(dir / "t.tif", TiffPage{.w = 1, .h = 1, .compression = COMPRESSION_LZW, .data = {1, 2, 3}});
    const Bytes heic = DataFile("rb.heic");
    const Bytes avif = DataFile("rba.avif");
    auto cut = [](const Bytes& file, size_t keep) { return Bytes(file.begin(), file.begin() + long(keep)); };
    Bytes corrupt_webp = webp;
    std::fill(corrupt_webp.begin() + 25, corrupt_webp.end(), 0xFF);
    // The file, its bytes and the start of the message.
    const std::vector<std::tuple<std::string, Bytes, std::string>> cases{
        {"cut.webp", cut(webp, webp.size() / 2), "not a readable WebP (the file ends early)"},
        {"corrupt.webp", corrupt_webp, "not a readable WebP (damaged WebP data)"},
        {"cut.tif", cut(tiff, 12), "not a readable TIFF ("},
        {"bomb.tif", HeaderOnlyTiff(100000, 100000), "not a readable TIFF (the picture is too large (100000 x 100000))"},
        {"nodata.tif", HeaderOnlyTiff(2, 2), "not a readable TIFF ("},
        {"cut.heic", cut(heic, heic.size() / 2), "not a readable HEIC ("},
        {"cut.avif", cut(avif, avif.size() - 40), "not a readable AVIF ("},
    };
    ExpectRefused(cases);
    // A library's message ending in a line break of its own stays one line.
    Bytes brandless = avif;
    std::fill(brandless.begin() + 16, brandless.begin() + 28, 'x');
    WriteFile(dir / "brandless.avif", brandless);
    EXPECT_EQ(Tool({"-q", "-e", "blur", "-o", "b.png", "brandless.avif"}), 1);
    EXPECT_EQ(Lines(err), std::vector<std::string>{"korvanti-batch: brandless.avif: not a readable AVIF (Unsupported "
                                                   "file-type: Unspecified: File does not include any supported "
                                                   "brands.)"});

    // In the codecs: a limit below the BMP form, a stop asked for, and the
    // memory asked for before any is taken (refused: the decode waits no more).
    const std::atomic<bool> stop{true};
    int64_t asked = 0;
    const auto options = [&asked](int64_t limit, const std::atomic<bool>* stop_request, bool admitted = true) {
        codecs::DecodeOptions o;
        o.limit = limit;
        o.stop = stop_request;
        o.admit = [&asked, admitted](int64_t bytes) { return asked = bytes, admitted; };
        return o;
    };
    const Bytes jpeg = Encoded(Format::Jpeg, kSmall, {92, false});
    const Bytes png = Encoded(Format::Png, kSmall, {});
    for (const Bytes& file : {jpeg, png, webp, tiff, heic, avif}) {
        codecs::Decoded decoded;
        const codecs::Format format = codecs::SniffFormat(file);
        const int64_t bitmap = 54 + RowStride(Decode(file).width) * Decode(file).height;
        EXPECT_EQ(codecs::Decode(format, file, decoded, options(bitmap, nullptr)).kind, FileProblemKind::None);
        EXPECT_EQ(asked, bitmap);
        const FileProblem large = codecs::Decode(format, file, decoded, options(bitmap - 1, nullptr));
        EXPECT_EQ(large.kind, FileProblemKind::TooLarge);
        const FileProblem stopped = codecs::Decode(format, file, decoded, options(kLargestBitmap, &stop));
        EXPECT_EQ(stopped.kind, FileProblemKind::Interrupted);
        const FileProblem waited = codecs::Decode(format, file, decoded, options(kLargestBitmap, nullptr, false));
        EXPECT_EQ(waited.kind, FileProblemKind::Interrupted) << waited.reason;
    }
}

TEST_F(Formats, WebpAndTiffRoundTripsThroughTheTool)
{
    testing::Picture gradient(37, 23); // smooth, so that lossy results stay close
    for (int k = 0; k < 37 * 23; ++k)
        gradient.at(k, 0) = uint8_t(k % 37 * 6), gradient.at(k, 1) = uint8_t(k / 37 * 10), gradient.at(k, 2) = 128;
    const Bytes original = MakeBmp(gradient);
    WriteFile(dir / "in.bmp", original);
    const Bytes inverted = CoreResult(dir / "in.bmp", {"invert"});
    const Rgb varied = TopDown(original);
    const Rgb want = TopDown(inverted);
    WriteFile(dir / "lossless.webp", LosslessWebp(varied));
    WriteFile(dir / "lossy.webp", LossyWebp(varied));
    // The input, further options, the output; whether the result is lossless
    // WebP, and whether its pixels are exactly the inverted picture.
    const std::vector<std::tuple<std::string, std::vector<std::string>, std::string, bool, bool>> cases{
        {"lossless.webp", {}, "out.webp", true, true},
        {"lossless.webp", {"--quality", "80"}, "out.webp", false, false},
        {"lossy.webp", {}, "out.webp", false, false},
        {"in.bmp", {}, "out.webp", false, false},
        {"lossless.webp", {}, "out.tif", false, true},
        {"in.bmp", {}, "out.TIFF", false, true},
        {"in.bmp", {"--format", "tif"}, "out.bmp", false, true},
    };
    for (const auto& [input, extra, output, lossless, exact] : cases) {
        SCOPED_TRACE(input + " " + output);
        std::vector<std::string> args{"-e", "invert", "-o", output, input};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_EQ(Tool(args), 0) << err;
        const Bytes written = ReadFile(dir / output);
        const codecs::Decoded back = Decode(written);
        EXPECT_EQ(back.lossless, lossless);
        const Rgb got = TopDown(back.bitmap);
        if (exact)
            EXPECT_EQ(got.rgb, want.rgb);
        else
            EXPECT_LE(MeanError(got.rgb, want.rgb), 12);
    }
    // Under -d the results take the format's extension.
    ASSERT_EQ(Tool({"-e", "invert", "-d", "out", "--format", "webp", "in.bmp", "lossy.webp"}), 0) << err;
    ASSERT_EQ(Tool({"-e", "invert", "-d", "out", "--format", "tiff", "in.bmp"}), 0) << err;
    // A HEIC result by the input's name cannot be written.
    WriteFile(dir / "in.heic", DataFile("rb.heic"));
    ASSERT_EQ(Tool({"-e", "invert", "-d", "out", "in.heic"}), 1) << err;
    EXPECT_EQ(err, "korvanti-batch: out/in.heic: cannot be encoded (HEIC is read but not written; use bmp, png, jpeg, "
                   "webp or tiff)\n");
    EXPECT_EQ(dir.Listing("out"), (std::vector<std::string>{"in.tif", "in.webp", "lossy.webp"}));
    EXPECT_EQ(codecs::SniffFormat(ReadFile(dir / "out/in.tif")), Format::Tiff);
}

TEST_F(Formats, ExifIsKeptUprightAndStripDropsTheMetadata)
{
    const Bytes icc(300, 0x42);
    const Bytes exif = ExifWithOrientation(6);
    WriteFile(dir / "in.jpg", Encoded(Format::Jpeg, kSmall, {95}, icc, exif));
    WriteFile(dir / "in.webp", Encoded(Format::Webp, kSmall, {92, true}, icc, exif));
    // The input, the output, whether the output keeps the profile and the
    // EXIF block (without --strip).
    const std::vector<std::tuple<std::string, std::string, bool, bool>> cases{
        {"in.jpg", "out.jpg", true, true},   {"in.jpg", "out.webp", true, true}, {"in.jpg", "out.png", false, true},
        {"in.jpg", "out.tif", true, false},  {"in.webp", "out.jpg", true, true}, {"in.webp", "out.webp", true, true},
    };
    for (const auto& [input, output, keeps_icc, keeps_exif] : cases) {
        for (bool strip : {false, true}) {
            SCOPED_TRACE(input + " " + output + (strip ? " --strip" : ""));
            std::vector<std::string> args{"-e", "invert", "-o", output, input};
            if (strip)
                args.push_back("--strip");
            ASSERT_EQ(Tool(args), 0) << err;
            const codecs::Decoded back = Decode(ReadFile(dir / output));
            EXPECT_EQ(std::pair(back.width, back.height), std::pair(2, 3)) << "turned once, not twice";
            EXPECT_EQ(back.icc, keeps_icc && !strip ? icc : Bytes{});
            EXPECT_EQ(back.exif, keeps_exif && !strip ? ExifWithOrientation(1) : Bytes{});
        }
    }
    // HEIF turns by its own boxes, not by EXIF: the orientation is only reset.
    WriteFile(dir / "in.heic", DataFile("exif-icc.heic"));
    ASSERT_EQ(Tool({"-e", "invert", "-o", "out.jpg", "in.heic"}), 0) << err;
    const codecs::Decoded heic = Decode(ReadFile(dir / "out.jpg"));
    EXPECT_EQ(std::pair(heic.width, heic.height), std::pair(8, 6));
    EXPECT_TRUE(!heic.exif.empty() && codecs::ExifOrientation(heic.exif) == 1 && !heic.icc.empty());
}

TEST(FormatWords, FormatTakesWritableFormatsAndRefusesTheOthers)
{
    // The --format value, and the error (empty: taken) and result name under -d.
    const std::vector<std::tuple<std::string_view, std::string, std::string>> cases{
        {"webp", "", "o/a.webp"},   {"WebP", "", "o/a.webp"}, {"tiff", "", "o/a.tif"}, {"tif", "", "o/a.tif"},
        {"heic", "HEIC is read but not written; use bmp, png, jpeg, webp or tiff", ""},
        {"heif", "HEIC is read but not written", ""},
        {"avif", "AVIF is read but not written", ""},
    };
    for (const auto& [word, error, output] : cases) {
        const std::string_view args[] = {"-e", "blur", "-d", "o", "--format", word, "a.heic"};
        const batch::ParseResult parsed = batch::ParseArguments(args);
        EXPECT_EQ(parsed.error.substr(0, error.size()), error) << word;
        if (error.empty())
            EXPECT_EQ(batch::OutputPaths(parsed.options), std::vector<std::string>{output}) << word;
        else
            EXPECT_FALSE(parsed.ok()) << word;
    }
    const std::string_view unwritable[] = {"-e", "blur", "-o", "x.AVIF", "b.heic"};
    EXPECT_EQ(batch::ParseArguments(unwritable).error, "-o x.AVIF: AVIF is read but not written; use bmp, png, jpeg, webp or tiff");
    const std::string_view keeps[] = {"-e", "blur", "-d", "o", "--format", "tif", "b.TIFF", "--strip"};
    const batch::ParseResult parsed = batch::ParseArguments(keeps);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_TRUE(parsed.options.strip);
    EXPECT_EQ(batch::OutputPaths(parsed.options), std::vector<std::string>{"o/b.TIFF"});
}

} // namespace
} // namespace korvanti::testing

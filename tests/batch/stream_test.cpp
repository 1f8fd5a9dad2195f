// Pictures taken by rows: the row stage gives the whole-picture run's rows
// in either order, and a file decoded, worked and encoded at once gives the
// bytes of the whole-picture path, fails as it does and leaves the output
// alone when it fails or is stopped.
#include <gtest/gtest.h>
#include <zlib.h>

#include <thread>

#include "batch/process.h"
#include "batch_test_support.h"
#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "effects/row_stage.h"

namespace korvanti::testing {
namespace {

std::vector<const EffectEntry*> EffectsByRows()
{
    std::vector<const EffectEntry*> effects;
    for (const EffectEntry& effect : EffectCatalogue())
        if (effect.rows != nullptr)
            effects.push_back(&effect);
    return effects;
}

TEST(RowStage, GivesTheWholeRunsRowsInEitherOrder)
{
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {2, 3}, {3, 2}, {7, 5}, {13, 150}, {70, 67}};
    for (const EffectEntry* effect : EffectsByRows()) {
        for (const auto& [w, h] : sizes) {
            TempDir dir;
            const Bytes in = VariedBmp(w, h, uint32_t(w * h));
            WriteFile(dir / "in.bmp", in);
            const Bytes whole = CoreResult(dir / "in.bmp", {std::string(effect->batch_name)});
            const int64_t stride = RowStride(w);
            for (const bool top_first : {false, true}) {
                RowStage stage(*effect->rows, w, h, top_first);
                Bytes rows; // in the order they come back
                for (int64_t i = 0; i < h; ++i) {
                    const int64_t q = top_first ? h - 1 - i : i;
                    stage.Take(in.data() + 54 + q * stride,
                               [&](const uint8_t* row) { rows.insert(rows.end(), row, row + stride); });
                }
                ASSERT_EQ(rows.size(), size_t(h * stride)) << effect->batch_name << " " << w << "x" << h;
                for (int64_t i = 0; i < h; ++i) {
                    const int64_t q = top_first ? h - 1 - i : i;
                    const uint8_t* expected = whole.data() + 54 + q * stride;
                    const uint8_t* got = rows.data() + i * stride;
                    EXPECT_TRUE(std::equal(got, got + 3 * w, expected))
                        << effect->batch_name << " " << w << "x" << h << " row " << q << (top_first ? " top first" : "");
                    EXPECT_TRUE(std::all_of(got + 3 * w, got + stride, [](uint8_t b) { return b == 0; }));
                }
            }
        }
    }
}

// Notes whether the effect's progress came from a thread of its own (the
// work step of a file taken by rows) and what the file was admitted with.
struct Watch : batch::FileProgress {
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> elsewhere{false};
    int64_t admitted = 0;
    std::atomic<bool>* stop_at_progress = nullptr;
    fs::path cut; // cut to half its size as the effect starts

    void StartEffect(size_t) override
    {
        if (!cut.empty())
            fs::resize_file(cut, fs::file_size(cut) / 2);
    }

    void SetProgress(int64_t position) override
    {
        if (std::this_thread::get_id() != caller)
            elsewhere = true;
        if (stop_at_progress != nullptr && position > 0)
            *stop_at_progress = true;
    }
    bool Admit(int64_t bytes) override
    {
        admitted += bytes;
        return true;
    }
};

class ByRows : public ::testing::Test {
protected:
    TempDir dir;
    const fs::path seeds = fs::path(KORVANTI_TEST_DATA) / "../../fuzz/codec_seeds";

    // The file through one effect by the tool's own choice of path.
    batch::FileResult Run(const fs::path& input, const std::string& output, const EffectEntry* effect, Watch& watch,
                          const std::atomic<bool>* stop = nullptr)
    {
        const std::array<const EffectEntry*, 1> effects{effect};
        return batch::ProcessFile(input.string(), (dir / output).string(), effects, watch, stop);
    }

    // The whole-picture path's bytes for the same work.
    Bytes Whole(const fs::path& input, codecs::Format format, const EffectEntry& effect)
    {
        batch::PictureInput picture;
        Document document;
        document.keep_undo = false;
        if (!batch::OpenPicture(input.string(), picture).ok() || !batch::LoadPicture(document, picture, true).ok())
            throw std::runtime_error("cannot load " + input.string());
        RecordingHost host;
        CRand random;
        EffectContext context(document, host, random);
        RunEffect(context, effect);
        int64_t written = 0;
        const fs::path path = dir / "whole";
        if (!batch::SavePicture(document, path.string(), format, {}, picture, written).ok())
            throw std::runtime_error("cannot save");
        return ReadFile(path);
    }
};

TEST_F(ByRows, EveryFormatGivesTheWholePicturesBytes)
{
    const Bytes tall = VariedBmp(37, 150, 5);
    WriteFile(dir / "tall.bmp", tall);
    Bytes jpeg, png;
    const codecs::BitmapRows rows{tall.data() + 54, 37, 150, RowStride(37)};
    ASSERT_TRUE(codecs::EncodeJpeg(rows, 90, {}, jpeg).ok());
    ASSERT_TRUE(codecs::EncodePng(rows, {}, png).ok());
    WriteFile(dir / "tall.jpg", jpeg);
    WriteFile(dir / "tall.png", png);
    struct Case {
        fs::path input;
        bool by_rows; // else the whole-picture path takes it after a look
    };
    const Case cases[] = {{dir / "tall.bmp", true},         {dir / "tall.jpg", true},
                          {dir / "tall.png", true},         {seeds / "cmyk-adobe.jpg", true},
                          {seeds / "progressive444.jpg", true}, {seeds / "sampling-3x1.jpg", true},
                          {seeds / "palette-alpha.png", true},  {seeds / "deep16.png", true},
                          {seeds / "grey.png", true},       {seeds / "interlaced-rgb.png", false},
                          {seeds / "exif6-icc.jpg", false}};
    for (const EffectEntry* effect : EffectsByRows()) {
        for (const auto& [input, by_rows] : cases) {
            for (const auto& [extension, format] : {std::pair{".jpg", codecs::Format::Jpeg}, {".png", codecs::Format::Png}}) {
                const std::string name = input.filename().string() + " " + std::string(effect->batch_name) + extension;
                Watch watch;
                const batch::FileResult result = Run(input, std::string("out") + extension, effect, watch);
                ASSERT_EQ(result.outcome, batch::Outcome::Written) << name << ": " << result.reason;
                EXPECT_TRUE(ReadFile(dir / ("out" + std::string(extension))) == Whole(input, format, *effect)) << name;
                EXPECT_EQ(watch.elsewhere, by_rows) << name;
                if (input.filename() == "palette-alpha.png") {
                    EXPECT_EQ(result.note, input.string() + ": transparency flattened over white") << name;
                }
                EXPECT_GT(watch.admitted, int64_t(fs::file_size(input))) << name << ": admitted before it is worked";
            }
        }
    }
}

TEST_F(ByRows, BadFilesFailAsWholeAndStoppedFilesWriteNothing)
{
    const Bytes picture = VariedBmp(40, 90, 3);
    const codecs::BitmapRows rows{picture.data() + 54, 40, 90, RowStride(40)};
    Bytes jpeg, png;
    ASSERT_TRUE(codecs::EncodeJpeg(rows, 90, {}, jpeg).ok());
    ASSERT_TRUE(codecs::EncodePng(rows, {}, png).ok());
    Bytes bad_crc = png;
    bad_crc[bad_crc.size() - 20] ^= 0x40; // in the last IDAT's data: its checksum fails
    const std::pair<std::string, Bytes> files[] = {
        {"cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2))},
        {"cut.png", Bytes(png.begin(), png.begin() + long(png.size() * 2 / 3))},
        {"crc.png", bad_crc},
        {"cut.bmp", Bytes(picture.begin(), picture.end() - 100)},
        {"good.png", png},   // stopped part way
        {"shrunk.png", png}, // cut short once its header is read
    };
    const EffectEntry* blur = FindEffect("blur");
    const Bytes old{1, 2, 3};
    for (const auto& [name, bytes] : files) {
        WriteFile(dir / name, bytes);
        WriteFile(dir / "out.jpg", old);
        std::atomic<bool> stop{false};
        Watch watch, whole_watch;
        watch.stop_at_progress = name == "good.png" ? &stop : nullptr;
        watch.cut = name == "shrunk.png" ? dir / name : fs::path();
        const batch::FileResult result = Run(dir / name, "out.jpg", blur, watch, &stop);
        // Two effects take the whole-picture path: the same words.
        const std::array<const EffectEntry*, 2> two{blur, blur};
        const batch::FileResult whole =
            batch::ProcessFile((dir / name).string(), (dir / "other.jpg").string(), two, whole_watch);
        if (name == "shrunk.png") {
            const size_t missing = png.size() - png.size() / 2;
            EXPECT_EQ(result.reason, "truncated (" + std::to_string(missing) + " bytes short)");
        } else if (name == "good.png") {
            EXPECT_EQ(std::pair(result.outcome, result.reason),
                      std::pair(batch::Outcome::Interrupted, std::string("interrupted; nothing written")));
            EXPECT_TRUE(watch.elsewhere);
        } else {
            EXPECT_NE(result.outcome, batch::Outcome::Written) << name;
            EXPECT_EQ(result.reason, whole.reason) << name;
            EXPECT_NE(result.reason.find(name.ends_with("bmp") ? "truncated" : "not a readable"), std::string::npos)
                << name << ": " << result.reason;
        }
        EXPECT_EQ(ReadFile(dir / "out.jpg"), old) << name;
        fs::remove(dir / name);
        fs::remove(dir / "other.jpg");
        EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"out.jpg"})) << name << ": nothing left behind";
    }
}

// Pictures whose data is deflated in several segments: one zlib stream
// with the right checksum, and the same pixels back.
TEST(PngOut, PicturesOfManySegmentsAreOneStreamWithTheirPixels)
{
    const std::pair<int32_t, int32_t> sizes[] = {{1000, 800}, {3000, 700}, {1, 700000}, {1000, 699}};
    for (const auto& [w, h] : sizes) {
        const Bytes bitmap = VariedBmp(w, h, uint32_t(w));
        Bytes png;
        ASSERT_TRUE(codecs::EncodePng({bitmap.data() + 54, w, h, RowStride(w)}, {}, png).ok());
        Bytes data; // the IDAT chunks joined
        for (size_t at = 8; at + 12 <= png.size();) {
            const size_t length = size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 | size_t(png[at + 2]) << 8 | png[at + 3];
            if (std::equal(png.begin() + long(at) + 4, png.begin() + long(at) + 8, "IDAT"))
                data.insert(data.end(), png.begin() + long(at) + 8, png.begin() + long(at + 8 + length));
            at += length + 12;
        }
        Bytes raw(size_t(h) * (3 * size_t(w) + 1) + 1);
        uLongf raw_size = uLongf(raw.size());
        EXPECT_EQ(uncompress(raw.data(), &raw_size, data.data(), uLong(data.size())), Z_OK) << w << "x" << h;
        EXPECT_EQ(raw_size, raw.size() - 1) << w << "x" << h;
        codecs::Decoded decoded;
        ASSERT_TRUE(codecs::DecodePng(png, decoded).ok()) << w << "x" << h;
        for (int64_t y = 0; y < h; ++y) {
            const int64_t at = 54 + y * RowStride(w);
            ASSERT_TRUE(std::equal(bitmap.begin() + at, bitmap.begin() + at + 3 * w, decoded.bitmap.begin() + at))
                << w << "x" << h << " row " << y;
        }
    }
}

} // namespace
} // namespace korvanti::testing

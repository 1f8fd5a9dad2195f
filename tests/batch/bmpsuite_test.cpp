// Every file of the BMP conformance folder beside the checkout: the files
// its manifest accepts load, survive an unchanged save byte for byte and
// decode to the expected pixels; every other file is refused without
// touching the open picture, and the batch tool reports it.
#include <gtest/gtest.h>

#include <fstream>
#include <cctype>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "batch_test_support.h"
#include "image/planes.h"

namespace korvanti::testing {
namespace {

const fs::path kSuite = KORVANTI_BMPSUITE_DIR;

struct Entry {
    std::string path; // relative to the suite, e.g. "g/rgb24.bmp"
    bool accept = false;
};

void PrintTo(const Entry& entry, std::ostream* out) { *out << entry.path; }

bool SuitePresent() { return !kSuite.empty() && fs::is_regular_file(kSuite / "MANIFEST.tsv"); }

// The manifest's lines; its columns are found by name in the header line.
const std::vector<Entry>& Manifest()
{
    static const std::vector<Entry> entries = [] {
        std::vector<Entry> read;
        std::ifstream in(kSuite / "MANIFEST.tsv");
        std::vector<std::string> header;
        size_t path = 0, accept = 0;
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> fields;
            std::stringstream split(line);
            for (std::string field; std::getline(split, field, '\t');)
                fields.push_back(field);
            const auto column = [&](const std::string& name) {
                return size_t(std::find(header.begin(), header.end(), name) - header.begin());
            };
            if (header.empty()) {
                header = fields;
                path = column("path"), accept = column("accept");
            } else if (fields.size() <= std::max(path, accept)) {
                throw std::runtime_error("MANIFEST.tsv: no path or accept column in line " + line);
            } else {
                read.push_back({fields[path], fields[accept] == "yes"});
            }
        }
        return read;
    }();
    return entries;
}

std::vector<Entry> Accepted()
{
    std::vector<Entry> entries;
    if (SuitePresent())
        std::copy_if(Manifest().begin(), Manifest().end(), std::back_inserter(entries), [](const Entry& e) { return e.accept; });
    return entries;
}

class AcceptedFile : public ::testing::TestWithParam<Entry> {
protected:
    fs::path File() const { return kSuite / GetParam().path; }
};

// Loads, saves unchanged byte for byte, splits into the expected pixels,
// and no effect touches the header, the row padding or trailing bytes.
TEST_P(AcceptedFile, LoadsSavesSplitsAndKeepsWhatIsNotAPixel)
{
    const Bytes original = ReadFile(File());
    TempDir temp;
    Document document;
    ASSERT_TRUE(document.LoadBitmap(File().string()).ok());
    EXPECT_TRUE(document.SaveBitmap(temp / "copy.bmp").ok());
    EXPECT_EQ(ReadFile(temp / "copy.bmp"), original);

    const int32_t width = document.bitmap.GetWidth();
    const int32_t height = document.bitmap.GetHeight();
    // Expected: rows top first, red-green-blue. Planes: element k + 1 is
    // file pixel k, bottom row first, channel 0 blue.
    const Bytes expected = ReadFile(kSuite / "expected" / (GetParam().path + ".rgb"));
    if (!expected.empty()) {
        ASSERT_EQ(expected.size(), size_t(width) * height * 3);
        size_t mismatches = 0;
        for (size_t k = 0; k < size_t(width) * height; ++k) {
            const size_t rgb = ((height - 1 - k / width) * width + k % width) * 3;
            for (int channel = 0; channel < 3; ++channel)
                mismatches += document.source_planes[channel][k + 1] != expected[rgb + 2 - channel];
        }
        EXPECT_EQ(mismatches, 0u);
    }

    const int64_t offset = PixelOffset(original.data());
    const int64_t stride = RowStride(width);
    auto untouchable = [&](const Bytes& bytes) {
        Bytes kept(bytes.begin(), bytes.begin() + offset);
        for (int32_t row = 0; row < height; ++row) {
            const auto start = bytes.begin() + offset + row * stride;
            kept.insert(kept.end(), start + 3 * int64_t{width}, start + stride);
        }
        kept.insert(kept.end(), bytes.begin() + offset + stride * height, bytes.end());
        return kept;
    };
    for (const EffectEntry& effect : EffectCatalogue()) {
        const Bytes result = CoreResult(File(), {std::string(effect.batch_name)});
        ASSERT_EQ(result.size(), original.size()) << effect.batch_name;
        EXPECT_EQ(untouchable(result), untouchable(original)) << effect.batch_name;
    }
}

std::string TestName(const ::testing::TestParamInfo<Entry>& info)
{
    std::string name;
    for (char c : info.param.path)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

// With the folder missing these have no cases; the test below then says why.
INSTANTIATE_TEST_SUITE_P(Suite, AcceptedFile, ::testing::ValuesIn(Accepted()), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(AcceptedFile);

// Every refused file leaves the open picture as it was. The tool on the
// whole folder: accepted files go through (inverted twice, they come back
// unchanged); every refused file is named with its reason, exit status 1,
// and no output appears for it.
TEST(BmpSuite, RefusedFilesKeepTheOpenPictureAndTheToolReportsEach)
{
    if (!SuitePresent())
        GTEST_SKIP() << "BMP conformance folder not found at '" << kSuite.string()
                     << "' (expected ../shared/bmpsuite beside the checkout); conformance not checked";
    TempDir temp;
    WriteFile(temp / "open.bmp", VariedBmp(5, 3, 7));
    Document document;
    ASSERT_TRUE(document.LoadBitmap(temp / "open.bmp").ok());
    const Bytes open_bytes = document.file_bytes;
    const auto open_planes = document.source_planes;
    std::vector<std::string> accepted;
    std::map<std::string, std::vector<std::string>> refused_by_folder; // file names may repeat across folders
    for (const Entry& entry : Manifest()) {
        const std::string file = (kSuite / entry.path).string();
        if (entry.accept) {
            accepted.push_back(file);
            continue;
        }
        refused_by_folder[fs::path(entry.path).parent_path().string()].push_back(file);
        const FileProblem problem = document.LoadBitmap(file);
        EXPECT_FALSE(problem.ok()) << file;
        EXPECT_NE(problem.kind, FileProblemKind::ReadFailed) << file;
        EXPECT_TRUE(document.file_bytes == open_bytes && document.source_planes == open_planes) << file;
        EXPECT_EQ(document.bitmap.GetFileName(), (temp / "open.bmp").string()) << file;
    }

    ASSERT_FALSE(accepted.empty() || refused_by_folder.empty()) << "the manifest marks some files each way";
    std::vector<std::string> args{"-e", "invert", "-e", "invert", "-d", "accepted", "-j", "2"};
    args.insert(args.end(), accepted.begin(), accepted.end());
    const ToolRun good = RunTool(args, temp.path());
    EXPECT_EQ(good.exit_code, 0) << good.err;
    EXPECT_EQ(good.err, "");
    for (const std::string& file : accepted)
        EXPECT_EQ(ReadFile(temp / "accepted" / fs::path(file).filename().string()), ReadFile(file)) << file;

    for (const auto& [folder, files] : refused_by_folder) {
        SCOPED_TRACE(folder);
        const std::string out = "refused-" + folder;
        std::vector<std::string> refused_args{"-e", "blur", "-d", out, "-j", "3"};
        refused_args.insert(refused_args.end(), files.begin(), files.end());
        const ToolRun bad = RunTool(refused_args, temp.path());
        EXPECT_EQ(bad.exit_code, 1);
        // Each refused file on a line of its own, with the cause.
        const std::vector<std::string> lines = Lines(bad.err);
        ASSERT_EQ(lines.size(), files.size() + (files.size() > 1 ? 1 : 0)) << bad.err;
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string named = "korvanti-batch: " + files[i] + ": ";
            EXPECT_EQ(lines[i].substr(0, named.size()), named);
            EXPECT_GT(lines[i].size(), named.size());
        }
        EXPECT_FALSE(fs::exists(temp / out)) << "nothing written for a refused file, not even the folder";
    }
}

} // namespace
} // namespace korvanti::testing

// Every file of the BMP conformance folder beside the checkout: the files
// its manifest accepts load, survive an unchanged save byte for byte and
// decode to the expected pixels; every other file is refused without
// touching the open picture, and the batch tool reports it.
#include <gtest/gtest.h>

#include <fstream>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "batch_test_support.h"
#include "image/planes.h"

namespace korvanti::batch_testing {
namespace {

const fs::path kSuite = KORVANTI_BMPSUITE_DIR;

struct Entry {
    std::string path; // relative to the suite, e.g. "g/rgb24.bmp"
    bool accept = false;
};

void PrintTo(const Entry& entry, std::ostream* out) { *out << entry.path; }

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '\t');)
        fields.push_back(field);
    return fields;
}

bool SuitePresent() { return !kSuite.empty() && fs::is_regular_file(kSuite / "MANIFEST.tsv"); }

// Columns are found by name in the header line.
std::vector<Entry> ReadManifest()
{
    std::vector<Entry> entries;
    if (!SuitePresent())
        return entries;
    std::ifstream in(kSuite / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> header = SplitTabs(line);
    const auto column = [&](const std::string& name) {
        const auto at = std::find(header.begin(), header.end(), name);
        if (at == header.end())
            throw std::runtime_error("MANIFEST.tsv has no column " + name);
        return size_t(at - header.begin());
    };
    const size_t path_column = column("path");
    const size_t accept_column = column("accept");
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() <= std::max(path_column, accept_column))
            throw std::runtime_error("short manifest line: " + line);
        entries.push_back({fields[path_column], fields[accept_column] == "yes"});
    }
    return entries;
}

const std::vector<Entry>& Manifest()
{
    static const std::vector<Entry> entries = ReadManifest();
    return entries;
}

int32_t Read32(const Bytes& b, size_t at)
{
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24);
}

TEST(BmpSuite, ManifestCoversEveryFile)
{
    if (!SuitePresent())
        GTEST_SKIP() << "BMP conformance folder not found at '" << kSuite.string()
                     << "' (expected ../shared/bmpsuite beside the checkout); conformance not checked";
    std::set<std::string> listed;
    size_t accepted = 0;
    for (const Entry& entry : Manifest()) {
        EXPECT_TRUE(listed.insert(entry.path).second) << "listed twice: " << entry.path;
        accepted += entry.accept;
    }
    std::set<std::string> present;
    for (const auto& file : fs::recursive_directory_iterator(kSuite)) {
        if (file.is_regular_file() && file.path().extension() == ".bmp")
            present.insert(fs::relative(file.path(), kSuite).string());
    }
    EXPECT_EQ(listed, present);
    EXPECT_GT(accepted, 0u);
    EXPECT_LT(accepted, listed.size());
}

std::vector<Entry> Marked(bool accept)
{
    std::vector<Entry> entries;
    for (const Entry& entry : Manifest()) {
        if (entry.accept == accept)
            entries.push_back(entry);
    }
    return entries;
}

class SuiteFile : public ::testing::TestWithParam<Entry> {
protected:
    fs::path File() const { return kSuite / GetParam().path; }
};
using AcceptedFile = SuiteFile;
using RefusedFile = SuiteFile;

TEST_P(AcceptedFile, LoadsAndSavesUnchanged)
{
    const Bytes original = ReadBytes(File());
    TempDir temp;
    Document document;
    ASSERT_EQ(document.LoadBitmap(File().string()), kLoaded);
    const fs::path copy = temp / "copy.bmp";
    EXPECT_EQ(document.SaveBitmap(copy.string()), int(original.size()));
    EXPECT_EQ(ReadBytes(copy), original);
}

TEST_P(AcceptedFile, SplitsIntoTheExpectedPixels)
{
    const fs::path expected_path = kSuite / "expected" / (GetParam().path + ".rgb");
    if (!fs::exists(expected_path))
        GTEST_SKIP() << "no expected pixels for " << GetParam().path;
    Document document;
    ASSERT_EQ(document.LoadBitmap(File().string()), kLoaded);
    const int32_t width = document.bitmap.GetWidth();
    const int32_t height = document.bitmap.GetHeight();
    // Expected: rows top first, red-green-blue. Planes: element k + 1 is
    // file pixel k, bottom row first, channel 0 blue.
    const Bytes expected = ReadBytes(expected_path);
    ASSERT_EQ(expected.size(), size_t(width) * height * 3);
    size_t mismatches = 0;
    for (int32_t row = 0; row < height; ++row) {
        for (int32_t column = 0; column < width; ++column) {
            const size_t element = size_t(row) * width + column + 1;
            const size_t rgb = (size_t(height - 1 - row) * width + column) * 3;
            for (int channel = 0; channel < 3; ++channel)
                mismatches += document.source_planes[channel][element] != expected[rgb + 2 - channel];
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST_P(AcceptedFile, EveryEffectKeepsHeaderPaddingAndTrailingBytes)
{
    const Bytes original = ReadBytes(File());
    const int32_t width = Read32(original, 18);
    const int32_t height = Read32(original, 22);
    const int64_t offset = uint32_t(Read32(original, 10));
    const int64_t stride = RowStride(width);
    // Bytes no effect may change: the header up to the pixels, each row's
    // padding and whatever follows the last row.
    auto untouchable = [&](const Bytes& bytes) {
        Bytes kept(bytes.begin(), bytes.begin() + offset);
        for (int32_t row = 0; row < height; ++row) {
            const auto start = bytes.begin() + offset + row * stride;
            kept.insert(kept.end(), start + 3 * int64_t{width}, start + stride);
        }
        kept.insert(kept.end(), bytes.begin() + offset + stride * height, bytes.end());
        return kept;
    };
    const Bytes kept = untouchable(original);
    for (const EffectEntry& effect : EffectCatalogue()) {
        SCOPED_TRACE(std::string(effect.batch_name));
        const Bytes result = WindowResult(File(), {std::string(effect.batch_name)});
        ASSERT_EQ(result.size(), original.size());
        EXPECT_EQ(untouchable(result), kept);
    }
}

TEST_P(RefusedFile, IsRefusedAndTheOpenPictureStaysAsItWas)
{
    TempDir temp;
    const fs::path open_path = temp / "open.bmp";
    WriteBytes(open_path, MakeBitmap(5, 3, 7));
    Document document;
    ASSERT_EQ(document.LoadBitmap(open_path.string()), kLoaded);
    const Bytes bytes_before = document.file_bytes;
    const auto planes_before = document.source_planes;

    EXPECT_EQ(document.LoadBitmap(File().string()), kRefused);
    EXPECT_NE(document.LastProblem().kind, FileProblemKind::None);
    EXPECT_NE(document.LastProblem().kind, FileProblemKind::ReadFailed);
    EXPECT_EQ(document.file_bytes, bytes_before);
    EXPECT_EQ(document.source_planes, planes_before);
    EXPECT_EQ(document.bitmap.GetWidth(), 5);
    EXPECT_EQ(document.bitmap.GetHeight(), 3);
    EXPECT_EQ(document.bitmap.GetFileName(), open_path.string());
}

std::string TestName(const ::testing::TestParamInfo<Entry>& info)
{
    std::string name;
    for (char c : info.param.path)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

// With the folder missing these have no cases; ManifestCoversEveryFile
// then says why.
INSTANTIATE_TEST_SUITE_P(Suite, AcceptedFile, ::testing::ValuesIn(Marked(true)), TestName);
INSTANTIATE_TEST_SUITE_P(Suite, RefusedFile, ::testing::ValuesIn(Marked(false)), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(AcceptedFile);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RefusedFile);

// The tool on the whole folder: accepted files go through (inverted twice,
// they come back unchanged); every refused file is named with its reason,
// exit status 1, and no output appears for it.
TEST(BmpSuite, BatchToolReportsEveryRefusedFile)
{
    if (!SuitePresent())
        GTEST_SKIP() << "BMP conformance folder not found at '" << kSuite.string() << "'";
    TempDir temp;
    std::vector<std::string> accepted;
    std::map<std::string, std::vector<std::string>> refused_by_folder; // file names may repeat across folders
    for (const Entry& entry : Manifest()) {
        const std::string full = (kSuite / entry.path).string();
        if (entry.accept)
            accepted.push_back(full);
        else
            refused_by_folder[fs::path(entry.path).parent_path().string()].push_back(full);
    }

    std::vector<std::string> args{"-e", "invert", "-e", "invert", "-d", "accepted", "-j", "2"};
    args.insert(args.end(), accepted.begin(), accepted.end());
    const ToolRun good = RunTool(args, temp.path());
    EXPECT_EQ(good.exit_code, 0) << good.err;
    EXPECT_EQ(good.err, "");
    for (const std::string& file : accepted)
        EXPECT_EQ(ReadBytes(temp / "accepted" / fs::path(file).filename().string()), ReadBytes(file)) << file;

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
} // namespace korvanti::batch_testing

// Loading, checking, splitting, merging and saving whole BMP files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>

#include <string_view>
#include <tuple>

#include "test_support.h"

namespace korvanti::testing {
namespace {

Picture Numbered(int32_t w, int32_t h)
{
    Picture p(w, h);
    for (size_t i = 0; i < p.bgr.size(); ++i)
        p.bgr[i] = uint8_t(i * 7 + 3);
    return p;
}

TEST(BitmapFile, StartsAsOneByOneAndResetsItsHeader)
{
    BitmapFile record;
    EXPECT_EQ(record.GetWidth(), 1);
    EXPECT_EQ(record.GetHeight(), 1);
    EXPECT_EQ(record.GetFileName(), "");
    EXPECT_EQ(record.file_size, 57u);
    record.ResetHeader(2, 4, 24);
    EXPECT_EQ(record.file_size, 78u);
    EXPECT_EQ(record.image_size, 24u);
    EXPECT_EQ(record.header_width, 4);
    EXPECT_EQ(record.header_height, 2);
    EXPECT_EQ(record.GetWidth(), 1) << "ResetHeader leaves the size fields alone";
    record.SetWidth(5);
    record.SetHeight(3);
    EXPECT_EQ(record.header_width, 5);
    EXPECT_EQ(record.header_height, 3);
    EXPECT_EQ(record.file_size, 54u + 45u);
}

TEST(LoadBitmap, LoadsAFourByTwoPictureIntoPlanesFromElementOne)
{
    TempDir dir;
    const auto bytes = MakeBmp(Numbered(4, 2));
    ASSERT_EQ(bytes.size(), 78u);
    WriteFile(dir / "a.bmp", bytes);
    Document doc;
    ASSERT_EQ(doc.LoadBitmap(dir / "a.bmp"), 1);
    EXPECT_EQ(doc.bitmap.GetWidth(), 4);
    EXPECT_EQ(doc.bitmap.GetHeight(), 2);
    EXPECT_EQ(doc.bitmap.GetFileName(), dir / "a.bmp");
    EXPECT_EQ(doc.plane_width, 4);
    EXPECT_EQ(doc.loaded_height, 2);
    EXPECT_EQ(doc.file_bytes, bytes);
    EXPECT_EQ(doc.undo_bytes, bytes);
    EXPECT_EQ(doc.source_planes[0][1], bytes[54]);
    EXPECT_EQ(doc.source_planes[2][8], bytes[77]);
    EXPECT_EQ(doc.source_planes[0][0], 0) << "element 0 holds no pixel";
    EXPECT_EQ(doc.source_planes[1].size(), 4u * 2 + 4 + 2);
}

TEST(LoadBitmap, HonoursRowPaddingAndThePixelOffset)
{
    TempDir dir;
    Picture p = Numbered(3, 2); // rows of 9 bytes padded to 12
    const auto bytes = MakeBmp(p, 138, {1, 2, 3, 4, 5}, 0xAB);
    WriteFile(dir / "b.bmp", bytes);
    Document doc;
    ASSERT_EQ(doc.LoadBitmap(dir / "b.bmp"), 1);
    for (int64_t k = 0; k < 6; ++k)
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(doc.source_planes[ch][size_t(k + 1)], p.at(k, ch)) << "pixel " << k << " channel " << ch;

    // A merge of unchanged planes gives back every byte, padding, the gap
    // before the pixels and the tail included.
    doc.source_planes[1][4] = 200; // pixel 3 = row 1, column 0
    MergePlanes(doc.file_bytes, doc.source_planes[0].data(), doc.source_planes[1].data(), doc.source_planes[2].data(), 3, 2);
    auto expected = bytes;
    expected[138 + 12 + 1] = 200;
    EXPECT_EQ(doc.file_bytes, expected);

    ASSERT_EQ(doc.SaveBitmap(dir / "c.bmp"), int(bytes.size()));
    EXPECT_EQ(ReadFile(dir / "c.bmp"), expected);
}

TEST(LoadBitmap, RefusesWhatItCannotHandleAndKeepsTheOpenPicture)
{
    TempDir dir;
    const auto good = MakeBmp(Numbered(4, 2));
    WriteFile(dir / "good.bmp", good);
    Document doc;
    ASSERT_EQ(doc.LoadBitmap(dir / "good.bmp"), 1);
    doc.edit_count = 3;

    using Kind = FileProblemKind;
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> spoil;
        Kind kind;
        int64_t amount = 0;
    };
    const std::vector<Case> cases = {
        {"magic BA", [](auto& b) { b[1] = 'A'; }, Kind::NotBitmap},
        {"32 bits per pixel", [](auto& b) { Put16(b, 28, 32); }, Kind::BitDepth, 32},
        {"width 0", [](auto& b) { Put32(b, 18, 0); }, Kind::HeaderDamaged},
        {"top-down height -2", [](auto& b) { Put32(b, 22, uint32_t(-2)); }, Kind::TopDown},
        {"compressed", [](auto& b) { Put32(b, 30, 1); }, Kind::Compressed},
        {"offset below 54", [](auto& b) { Put32(b, 10, 40); }, Kind::HeaderDamaged},
        {"pixels inside a 124-byte info header", [](auto& b) { Put32(b, 14, 124); }, Kind::HeaderDamaged},
        {"info header past the end", [](auto& b) { Put32(b, 14, 0x7FFFFFF0); Put32(b, 10, 0x7FFFFFFE); },
         Kind::HeaderDamaged},
        {"core header", [](auto& b) { Put32(b, 14, 12); }, Kind::OldHeader},
        {"truncated pixels", [](auto& b) { b.resize(b.size() - 1); }, Kind::Truncated, 1},
        {"shorter than the header", [](auto& b) { b.resize(40); }, Kind::Truncated, 14},
        {"shorter than the check", [](auto& b) { b.resize(20); }, Kind::Truncated, 34},
        {"empty", [](auto& b) { b.clear(); }, Kind::Empty},
        {"huge picture in a small file", [](auto& b) { Put32(b, 18, 40000); Put32(b, 22, 40000); }, Kind::TooLarge},
        {"size overflowing 32 bits", [](auto& b) { Put32(b, 18, 0x7FFFFFFF); Put32(b, 22, 0x7FFFFFFF); },
         Kind::TooLarge},
        {"offset past the end", [](auto& b) { Put32(b, 10, 0xFFFFFFF0); }, Kind::TooLarge},
    };
    auto unchanged = [&](const std::string& name) {
        EXPECT_EQ(doc.file_bytes, good) << name;
        EXPECT_EQ(doc.bitmap.GetWidth(), 4) << name;
        EXPECT_EQ(doc.bitmap.GetFileName(), dir / "good.bmp") << name;
        EXPECT_EQ(doc.plane_width, 4) << name;
        EXPECT_EQ(doc.edit_count, 3) << name;
    };
    for (const Case& c : cases) {
        auto bytes = MakeBmp(Picture(2, 2, 9));
        c.spoil(bytes);
        WriteFile(dir / "bad.bmp", bytes);
        EXPECT_EQ(doc.LoadBitmap(dir / "bad.bmp"), 0) << c.name;
        EXPECT_EQ(doc.LastProblem().kind, c.kind) << c.name;
        EXPECT_EQ(doc.LastProblem().amount, c.amount) << c.name;
        unchanged(c.name);
    }

    // Whatever is not a regular file is refused before any read: a FIFO
    // (its other end held open here, so that an open that waits would not
    // wait for ever) or a device could block or never end.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const int writer = ::open((dir / "fifo").c_str(), O_RDWR | O_NONBLOCK);
    const std::vector<std::tuple<std::string, Kind, int>> unopened = {
        {"", Kind::EmptyPath, 0},
        {dir / "missing.bmp", Kind::CannotOpen, ENOENT},
        {dir.path(), Kind::NotRegularFile, EISDIR},
        {dir / "fifo", Kind::NotRegularFile, 0},
        {"/dev/zero", Kind::NotRegularFile, 0},
    };
    for (const auto& [path, kind, error] : unopened) {
        EXPECT_EQ(doc.LoadBitmap(path), -5) << path;
        EXPECT_EQ(doc.LastProblem().kind, kind) << path;
        EXPECT_EQ(doc.LastProblem().error, error) << path;
        unchanged(path);
    }
    ::close(writer);
}

TEST(LoadBitmap, AcceptsAnyNameAndTheInfoHeaderFieldsItDoesNotUse)
{
    TempDir dir;
    auto bytes = MakeBmp(Numbered(2, 3), 138);
    Put32(bytes, 2, 12345);  // wrong file size
    Put32(bytes, 34, 999);   // wrong image size
    Put32(bytes, 14, 124);   // a larger info header, with room for it
    WriteFile(dir / "picture.txt", bytes);
    Document doc;
    EXPECT_EQ(doc.LoadBitmap(dir / "picture.txt"), 1);
}

class SaveBitmapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        original = MakeBmp(Numbered(4, 2));
        WriteFile(dir / "a.bmp", original);
        ASSERT_EQ(doc.LoadBitmap(dir / "a.bmp"), 1);
    }
    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir dir;
    Document doc;
    std::vector<uint8_t> original;
};

TEST_F(SaveBitmapTest, WritesTheWholeFileAndReplacesALongerOneCompletely)
{
    EXPECT_EQ(doc.SaveBitmap(dir / "new.bmp"), 78);
    EXPECT_EQ(ReadFile(dir / "new.bmp"), original);

    WriteFile(dir / "long.bmp", std::vector<uint8_t>(100, 0x55));
    EXPECT_EQ(doc.SaveBitmap(dir / "long.bmp"), 78);
    EXPECT_EQ(ReadFile(dir / "long.bmp"), original) << "no stale tail from the longer file";
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.bmp", "long.bmp", "new.bmp"}));
}

TEST_F(SaveBitmapTest, KeepsPermissionsOfAnExistingFileAndGivesNewOnesTheUsualOnes)
{
    WriteFile(dir / "shared.bmp", {1, 2, 3});
    ::chmod((dir / "shared.bmp").c_str(), 0640);
    ASSERT_GT(doc.SaveBitmap(dir / "shared.bmp"), 0);
    struct stat info {};
    ::stat((dir / "shared.bmp").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    const mode_t mask = ::umask(022);
    ASSERT_GT(doc.SaveBitmap(dir / "fresh.bmp"), 0);
    ::umask(mask);
    ::stat((dir / "fresh.bmp").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(SaveBitmapTest, RefusesAReadOnlyFileAndLeavesIt)
{
    const std::vector<uint8_t> old(90, 0x11);
    WriteFile(dir / "ro.bmp", old);
    ::chmod((dir / "ro.bmp").c_str(), 0444);
    EXPECT_EQ(doc.SaveBitmap(dir / "ro.bmp"), -1);
    EXPECT_EQ(ReadFile(dir / "ro.bmp"), old);
    EXPECT_EQ(doc.SaveBitmap(""), -5);
    EXPECT_EQ(doc.SaveBitmap(dir / "no-such-folder/x.bmp"), -1);
    EXPECT_EQ(doc.SaveBitmap(dir.path()), -1) << "a folder is never replaced";
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.bmp", "ro.bmp"}));
}

TEST_F(SaveBitmapTest, WritesThroughASymbolicLinkEvenADanglingOne)
{
    WriteFile(dir / "real.bmp", {9});
    std::filesystem::create_symlink(dir / "real.bmp", dir / "link.bmp");
    std::filesystem::create_symlink("made.bmp", dir / "dangling.bmp"); // relative to its folder
    for (const char* link : {"link.bmp", "dangling.bmp"}) {
        ASSERT_EQ(doc.SaveBitmap(dir / link), 78) << link;
        EXPECT_TRUE(std::filesystem::is_symlink(dir / link)) << link;
    }
    EXPECT_EQ(ReadFile(dir / "real.bmp"), original);
    EXPECT_EQ(ReadFile(dir / "made.bmp"), original);
}

// Fails the n-th call of one kind, counting from 0.
class FailingOps : public FileOps {
public:
    enum Kind { kOpen, kWrite, kFlush, kSync, kClose, kRename };
    Kind kind;
    int fail_at;
    int calls = 0;
    bool short_writes = false;
    FailingOps(Kind k, int n) : kind(k), fail_at(n) {}

    bool Hit(Kind k) { return k == kind && calls++ == fail_at; }
    int Open(const char* p, int f, mode_t m) override { return Hit(kOpen) ? (errno = ENOSPC, -1) : FileOps::Open(p, f, m); }
    ssize_t Write(int fd, const void* d, size_t n) override
    {
        if (Hit(kWrite))
            return errno = ENOSPC, -1;
        return FileOps::Write(fd, d, short_writes ? std::min<size_t>(n, 7) : n);
    }
    int Flush(int fd) override { return Hit(kFlush) ? (errno = EIO, -1) : FileOps::Flush(fd); }
    int Sync(int fd) override { return Hit(kSync) ? (errno = EDQUOT, -1) : FileOps::Sync(fd); }
    int Close(int fd) override
    {
        const int real = FileOps::Close(fd);
        return Hit(kClose) ? (errno = EIO, -1) : real;
    }
    int Rename(const char* a, const char* b) override { return Hit(kRename) ? (errno = EXDEV, -1) : FileOps::Rename(a, b); }
};

TEST_F(SaveBitmapTest, AnyFailingFileCallLeavesTheTargetAsItWasAndNoTemporaryFile)
{
    const std::vector<uint8_t> old(100, 0x42);
    using Problem = FileProblemKind;
    const std::tuple<FailingOps::Kind, int, Problem, int> failures[] = {
        {FailingOps::kOpen, 0, Problem::CannotCreate, ENOSPC}, {FailingOps::kWrite, 0, Problem::WriteFailed, ENOSPC},
        {FailingOps::kWrite, 3, Problem::WriteFailed, ENOSPC}, {FailingOps::kFlush, 0, Problem::WriteFailed, EIO},
        {FailingOps::kSync, 0, Problem::WriteFailed, EDQUOT},  {FailingOps::kClose, 0, Problem::WriteFailed, EIO},
        {FailingOps::kRename, 0, Problem::WriteFailed, EXDEV},
    };
    for (const auto& [kind, at, problem, error] : failures) {
        WriteFile(dir / "target.bmp", old);
        FailingOps ops(kind, at);
        ops.short_writes = true; // many writes of 7 bytes, so the fourth one exists
        doc.file_ops = &ops;
        EXPECT_EQ(doc.SaveBitmap(dir / "target.bmp"), -1) << "kind " << kind << " at " << at;
        EXPECT_EQ(doc.LastProblem().kind, problem) << "kind " << kind;
        EXPECT_EQ(doc.LastProblem().error, error) << "kind " << kind;
        EXPECT_EQ(ReadFile(dir / "target.bmp"), old) << "kind " << kind;
        EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.bmp", "target.bmp"})) << "kind " << kind;
    }
    // Short writes alone are finished, not reported as success early.
    FailingOps ops(FailingOps::kOpen, 99);
    ops.short_writes = true;
    doc.file_ops = &ops;
    EXPECT_EQ(doc.SaveBitmap(dir / "target.bmp"), 78);
    EXPECT_EQ(ReadFile(dir / "target.bmp"), original);
    EXPECT_EQ(doc.LastProblem().kind, Problem::None);
    doc.file_ops = &SystemFileOps();
}

// A folder the process may not write: every temporary is refused.
class ReadOnlyFolder : public FileOps {
public:
    int Open(const char* p, int f, mode_t m) override
    {
        return std::string_view(p).find(".kv") != std::string_view::npos ? (errno = EACCES, -1) : FileOps::Open(p, f, m);
    }
};

TEST_F(SaveBitmapTest, RewritesAWritableFileInPlaceWhenItsFolderTakesNoTemporary)
{
    WriteFile(dir / "t.bmp", std::vector<uint8_t>(100, 0x42));
    ::chmod((dir / "t.bmp").c_str(), 0640);
    ASSERT_EQ(::link((dir / "t.bmp").c_str(), (dir / "second-name.bmp").c_str()), 0);
    struct stat before {}, after {};
    ::stat((dir / "t.bmp").c_str(), &before);
    ReadOnlyFolder ops;
    doc.file_ops = &ops;
    EXPECT_EQ(doc.SaveBitmap(dir / "t.bmp"), 78);
    EXPECT_EQ(ReadFile(dir / "t.bmp"), original) << "the whole file, no stale tail";
    EXPECT_EQ(ReadFile(dir / "second-name.bmp"), original) << "the same file under its other name";
    ::stat((dir / "t.bmp").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_nlink, 2u);

    // With no file to rewrite, the folder's refusal is the answer.
    EXPECT_EQ(doc.SaveBitmap(dir / "new.bmp"), -1);
    EXPECT_EQ(doc.LastProblem().kind, FileProblemKind::CannotCreate);
    EXPECT_EQ(doc.LastProblem().error, EACCES);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"a.bmp", "second-name.bmp", "t.bmp"}));
    doc.file_ops = &SystemFileOps();
}

TEST_F(SaveBitmapTest, SavesUnderTheLongestNamesTheFolderTakes)
{
    const size_t name_max = size_t(::pathconf(dir.path().c_str(), _PC_NAME_MAX));
    std::string wide; // three bytes a character: the temporary's name is cut between characters
    while (wide.size() + 3 <= name_max)
        wide += "\u3042";
    const std::vector<std::string> names = {std::string(name_max - 17, 'n') + ".bmp",
                                            std::string(name_max - 4, 'm') + ".bmp", wide};
    for (const std::string& name : names) {
        EXPECT_EQ(doc.SaveBitmap(dir / name), 78) << name.size() << " bytes";
        EXPECT_EQ(ReadFile(dir / name), original) << name.size() << " bytes";
    }
    EXPECT_EQ(doc.SaveBitmap(dir / std::string(name_max + 1, 'x')), -1);
    EXPECT_EQ(doc.LastProblem().error, ENAMETOOLONG);
    EXPECT_EQ(FolderEntries().size(), 4u) << "no temporary left";
}

TEST_F(SaveBitmapTest, RemovesTemporariesOfDeadRunsForTheSameFileOnly)
{
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const size_t name_max = size_t(::pathconf(dir.path().c_str(), _PC_NAME_MAX));
    const std::string long_name = std::string(name_max - 4, 'L') + ".bmp";
    const std::string dead_mark = ".kv" + std::to_string(dead) + "-0.tmp";
    const std::vector<std::string> removed = {
        ".t.bmp" + dead_mark, ".t.bmp.kv" + std::to_string(dead) + "-17.tmp",
        "." + long_name.substr(0, name_max - 1 - dead_mark.size()) + dead_mark};
    const std::vector<std::string> kept = {
        ".t.bmp.kv" + std::to_string(::getppid()) + "-0.tmp", // a live process
        ".t.bmp.kv" + std::to_string(::getpid()) + "-99.tmp", // this one
        ".u.bmp" + dead_mark,                                 // another file's
        ".t.bmp" + dead_mark + "~", "t.bmp" + dead_mark, ".t.bmp.kv" + std::to_string(dead) + ".tmp"};
    for (const auto* names : {&removed, &kept})
        for (const std::string& name : *names)
            WriteFile(dir / name, {1});
    ASSERT_EQ(doc.SaveBitmap(dir / "t.bmp"), 78);
    ASSERT_EQ(doc.SaveBitmap(dir / long_name), 78);
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(), {"a.bmp", "t.bmp", long_name});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderEntries(), expected);
}

TEST(Planes, CopyFileBytesCopiesHeaderAndPixelsOnly)
{
    Picture p = Numbered(3, 2);
    const auto source = MakeBmp(p, 54, {7, 7, 7});
    std::vector<uint8_t> destination(source.size(), 0);
    CopyFileBytes(source, destination, 3, 2);
    EXPECT_TRUE(std::equal(source.begin(), source.end() - 3, destination.begin()));
    EXPECT_EQ(destination[source.size() - 1], 0) << "bytes after the pixels are not copied";
}

TEST(Planes, CopyPlanesCopiesElementsZeroToWidthTimesHeight)
{
    std::vector<uint8_t> a(20, 5), b(20, 5), c(20, 5), x(20, 0), y(20, 0), z(20, 0);
    CopyPlanes(a.data(), b.data(), c.data(), x.data(), y.data(), z.data(), 4, 2);
    EXPECT_EQ(std::count(x.begin(), x.end(), 5), 9);
    EXPECT_EQ(x[8], 5);
    EXPECT_EQ(x[9], 0);
    EXPECT_EQ(std::count(z.begin(), z.end(), 5), 9);
}

TEST(IsValidBitmap, ChecksExactlyMagicSizeSignsAndBitCount)
{
    auto bytes = MakeBmp(Picture(1, 1));
    EXPECT_TRUE(IsValidBitmap(bytes.data()));
    auto height = bytes;
    Put32(height, 22, 0);
    EXPECT_FALSE(IsValidBitmap(height.data()));
    auto bits = bytes;
    Put16(bits, 28, 8);
    EXPECT_FALSE(IsValidBitmap(bits.data()));
    auto compressed = bytes; // not examined by this check
    Put32(compressed, 30, 3);
    EXPECT_TRUE(IsValidBitmap(compressed.data()));
}

// Saving onto a real, full filesystem: a small tmpfs mounted for the test.
TEST(SaveBitmapFullDisk, LeavesTheOldFileAndNoTemporaryFile)
{
    TempDir dir;
    const std::string mount_point = dir / "small";
    std::filesystem::create_directory(mount_point);
    const std::string command = "mount -t tmpfs -o size=64k korvanti-test " + mount_point + " 2>/dev/null";
    if (::geteuid() != 0 || std::system(command.c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and mount rights); skipped";
    struct Unmount {
        std::string path;
        ~Unmount() { std::system(("umount " + path).c_str()); }
    } unmount{mount_point};

    Picture big(160, 100, 77); // 48 KB of pixels
    WriteFile(dir / "big.bmp", MakeBmp(big));
    Document doc;
    ASSERT_EQ(doc.LoadBitmap(dir / "big.bmp"), 1);
    const std::vector<uint8_t> old(30000, 0x33);
    const std::string target = mount_point + "/target.bmp";
    WriteFile(target, old);
    ASSERT_EQ(ReadFile(target), old) << "the old file fits";

    EXPECT_EQ(doc.SaveBitmap(target), -1);
    EXPECT_EQ(ReadFile(target), old);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(mount_point))
        ++entries;
    EXPECT_EQ(entries, 1u) << "no temporary file is left behind";
}

// Temporary names already taken (left by a killed run of a process with the
// same id) are stepped over; other open failures are not retried.
class TakenNames : public FileOps {
public:
    int taken;
    int error;
    int opens = 0;
    TakenNames(int count, int code) : taken(count), error(code) {}
    int Open(const char* p, int f, mode_t m) override
    {
        if (opens++ < taken)
            return errno = error, -1;
        return FileOps::Open(p, f, m);
    }
};

TEST(SaveBitmapTemporaries, StepsOverTemporariesLeftByAKilledRun)
{
    TempDir dir;
    WriteFile(dir / "a.bmp", MakeBmp(Picture(3, 3, 5)));
    Document doc;
    ASSERT_EQ(doc.LoadBitmap(dir / "a.bmp"), 1);

    TakenNames leftovers(5, EEXIST);
    doc.file_ops = &leftovers;
    EXPECT_EQ(doc.SaveBitmap(dir / "out.bmp"), int(doc.file_bytes.size()));
    EXPECT_EQ(leftovers.opens, 6);
    EXPECT_EQ(ReadFile(dir / "out.bmp"), doc.file_bytes);

    TakenNames refused(1, EACCES);
    doc.file_ops = &refused;
    EXPECT_EQ(doc.SaveBitmap(dir / "other.bmp"), -1);
    EXPECT_EQ(refused.opens, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "other.bmp"));
    doc.file_ops = &SystemFileOps();
}

// Counts syncs; the scratch copy is written like a save but never synced.
class CountingOps : public FileOps {
public:
    int syncs = 0;
    int Sync(int fd) override
    {
        ++syncs;
        return FileOps::Sync(fd);
    }
};

TEST(SaveScratchCopy, ReplacesTheFileWithoutWaitingForTheDisk)
{
    TempDir dir;
    const auto bytes = MakeBmp(Picture(5, 3, 9));
    WriteFile(dir / "a.bmp", bytes);
    Document doc;
    ASSERT_EQ(doc.LoadBitmap(dir / "a.bmp"), 1);
    CountingOps ops;
    doc.file_ops = &ops;
    WriteFile(dir / "scratch.bmp", std::vector<uint8_t>(500, 1));
    EXPECT_EQ(doc.SaveScratchCopy(dir / "scratch.bmp"), int(bytes.size()));
    EXPECT_EQ(ReadFile(dir / "scratch.bmp"), bytes);
    EXPECT_EQ(ops.syncs, 0);
    EXPECT_EQ(doc.SaveBitmap(dir / "saved.bmp"), int(bytes.size()));
    EXPECT_EQ(ops.syncs, 2) << "a real save syncs the file and its folder";
    doc.file_ops = &SystemFileOps();
}

} // namespace
} // namespace korvanti::testing

// Loading, checking, splitting, merging and saving whole BMP files, and
// saving through file calls that fail.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <tuple>

#include "engine_bench.h"
#include "image/save_stream.h"

namespace korvanti::testing {
namespace {

// Any name, sizes in the header that are wrong, a larger info header, a
// gap before the pixels, row padding and bytes after the pixels: the
// planes hold the pixels from element 1, and a merge and a save give back
// every other byte as it was.
TEST(LoadBitmap, SplitsThePixelsAndMergesAndSavesEveryOtherByteBack)
{
    TempDir dir;
    const Picture p = Varied(3, 2, 1); // rows of 9 bytes padded to 12
    auto bytes = MakeBmp(p, 138, {1, 2, 3, 4, 5}, 0xAB);
    Put32(bytes, 2, 12345);
    Put32(bytes, 34, 999);
    Put32(bytes, 14, 124);
    WriteFile(dir / "picture.txt", bytes);
    Document doc;
    ASSERT_TRUE(doc.LoadBitmap(dir / "picture.txt").ok());
    EXPECT_EQ(std::tuple(doc.bitmap.GetWidth(), doc.bitmap.GetHeight(), doc.plane_width, doc.loaded_height),
              std::tuple(3, 2, 3, 2));
    EXPECT_EQ(doc.bitmap.GetFileName(), (dir / "picture.txt").string());
    EXPECT_EQ(doc.file_bytes, bytes);
    EXPECT_EQ(doc.undo_bytes, bytes);
    EXPECT_EQ(doc.source_planes[1].size(), 3u * 2 + 3 + 2);
    for (int ch = 0; ch < 3; ++ch) {
        EXPECT_EQ(doc.source_planes[ch][0], 0) << "element 0 holds no pixel";
        for (int64_t k = 0; k < 6; ++k)
            EXPECT_EQ(doc.source_planes[ch][size_t(k + 1)], p.at(k, ch)) << "pixel " << k << " channel " << ch;
    }
    doc.source_planes[1][4] = 200; // pixel 3 = row 1, column 0
    MergePlanes(doc.file_bytes, doc.source_planes[0].data(), doc.source_planes[1].data(), doc.source_planes[2].data(), 3, 2);
    auto expected = bytes;
    expected[138 + 12 + 1] = 200;
    EXPECT_EQ(doc.file_bytes, expected);
    ASSERT_TRUE(doc.SaveBitmap(dir / "c.bmp").ok());
    EXPECT_EQ(ReadFile(dir / "c.bmp"), expected);

    // The copies: header and pixels only; elements 0 to width x height.
    Bytes copy(bytes.size(), 0);
    CopyFileBytes(bytes, copy, 3, 2);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end() - 5, copy.begin()));
    EXPECT_EQ(copy.back(), 0) << "bytes after the pixels are not copied";
    std::vector<uint8_t> a(20, 5), x(20, 0), y(20, 0), z(20, 0);
    CopyPlanes(a.data(), a.data(), a.data(), x.data(), y.data(), z.data(), 4, 2);
    for (const auto* plane : {&x, &y, &z})
        EXPECT_EQ(*plane, (std::vector<uint8_t>{5, 5, 5, 5, 5, 5, 5, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(LoadBitmap, RefusesWhatItCannotHandleAndKeepsTheOpenPicture)
{
    TempDir dir;
    const auto good = MakeBmp(Varied(4, 2, 2));
    WriteFile(dir / "good.bmp", good);
    Document doc;
    ASSERT_TRUE(doc.LoadBitmap(dir / "good.bmp").ok());
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
        {"pixels inside a 124-byte info header", [](auto& b) { b.resize(200), Put32(b, 14, 124); }, Kind::HeaderDamaged},
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
        EXPECT_EQ(std::tuple(doc.bitmap.GetWidth(), doc.plane_width, doc.edit_count), std::tuple(4, 4, 3)) << name;
        EXPECT_EQ(doc.bitmap.GetFileName(), (dir / "good.bmp").string()) << name;
    };
    for (const Case& c : cases) {
        auto bytes = MakeBmp(Picture(2, 2, 9));
        c.spoil(bytes);
        WriteFile(dir / "bad.bmp", bytes);
        const FileProblem problem = doc.LoadBitmap(dir / "bad.bmp");
        EXPECT_EQ(std::pair(problem.kind, problem.amount), std::pair(c.kind, c.amount)) << c.name;
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
        const FileProblem problem = doc.LoadBitmap(path);
        EXPECT_EQ(std::pair(problem.kind, problem.error), std::pair(kind, error)) << path;
        unchanged(path);
    }
    ::close(writer);
}

TEST(IsValidBitmap, ChecksExactlyMagicSizeSignsAndBitCount)
{
    const std::vector<std::tuple<size_t, uint32_t, bool>> cases{
        {0, 0, true}, {22, 0, false}, {28, 8, false}, {30, 3, true}}; // compression is not examined
    for (const auto& [at, value, valid] : cases) {
        auto bytes = MakeBmp(Picture(1, 1));
        if (at != 0)
            Put16(bytes, at, uint16_t(value));
        EXPECT_EQ(IsValidBitmap(bytes.data()), valid) << at;
    }
}

// Fails calls of one kind, numbers first to first + count - 1 (counting
// from 0) with error; counts the calls of every kind.
class FailingOps : public FileOps {
public:
    enum Kind { kOpen, kWrite, kFlush, kSync, kClose, kRename, kNone };
    Kind kind = kNone;
    int first = 0;
    int count = 1;
    int error = 0;
    bool short_writes = false; // many writes of 7 bytes
    int calls[kNone + 1] = {};

    bool Hit(Kind k)
    {
        const int n = calls[k]++;
        return k == kind && n >= first && n < first + count && (errno = error, true);
    }
    int Open(const char* p, int f, mode_t m) override { return Hit(kOpen) ? -1 : FileOps::Open(p, f, m); }
    ssize_t Write(int fd, const void* d, size_t n) override
    {
        return Hit(kWrite) ? -1 : FileOps::Write(fd, d, short_writes ? std::min<size_t>(n, 7) : n);
    }
    int Flush(int fd) override { return Hit(kFlush) ? -1 : FileOps::Flush(fd); }
    int Sync(int fd) override { return Hit(kSync) ? -1 : FileOps::Sync(fd); }
    int Close(int fd) override
    {
        const int real = FileOps::Close(fd);
        return Hit(kClose) ? -1 : real;
    }
    int Rename(const char* a, const char* b) override { return Hit(kRename) ? -1 : FileOps::Rename(a, b); }
};

class SaveBitmapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        original = MakeBmp(Varied(4, 2, 2));
        WriteFile(dir / "a.bmp", original);
        ASSERT_TRUE(doc.LoadBitmap(dir / "a.bmp").ok());
    }
    void TearDown() override { doc.file_ops = &SystemFileOps(); }
    TempDir dir;
    Document doc;
    Bytes original;
};

TEST_F(SaveBitmapTest, ReplacesWholeFilesKeepingTheirPermissionsAndRefusesWhatItMayNotReplace)
{
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(doc.SaveBitmap(dir / "new.bmp").ok());
    ::umask(mask);
    WriteFile(dir / "long.bmp", Bytes(100, 0x55));
    ::chmod((dir / "long.bmp").c_str(), 0640);
    EXPECT_TRUE(doc.SaveBitmap(dir / "long.bmp").ok());
    EXPECT_EQ(ReadFile(dir / "long.bmp"), original) << "no stale tail from the longer file";
    EXPECT_EQ(ReadFile(dir / "new.bmp"), original);
    for (const auto& [name, mode] : {std::pair{"new.bmp", 0644u}, std::pair{"long.bmp", 0640u}})
        EXPECT_EQ(fs::status(dir / name).permissions(), fs::perms(mode)) << name;

    // Written through a symbolic link, even a dangling one.
    WriteFile(dir / "real.bmp", {9});
    fs::create_symlink(dir / "real.bmp", dir / "link.bmp");
    fs::create_symlink("made.bmp", dir / "dangling.bmp"); // relative to its folder
    for (const char* link : {"link.bmp", "dangling.bmp"}) {
        ASSERT_TRUE(doc.SaveBitmap(dir / link).ok()) << link;
        EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    }
    EXPECT_EQ(ReadFile(dir / "real.bmp"), original);
    EXPECT_EQ(ReadFile(dir / "made.bmp"), original);

    const Bytes old(90, 0x11);
    WriteFile(dir / "ro.bmp", old);
    ::chmod((dir / "ro.bmp").c_str(), 0444);
    EXPECT_FALSE(doc.SaveBitmap(dir / "ro.bmp").ok());
    EXPECT_EQ(ReadFile(dir / "ro.bmp"), old);
    EXPECT_EQ(doc.SaveBitmap("").kind, FileProblemKind::EmptyPath);
    EXPECT_FALSE(doc.SaveBitmap(dir / "no-such-folder/x.bmp").ok());
    EXPECT_FALSE(doc.SaveBitmap(dir.path()).ok()) << "a folder is never replaced";
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"a.bmp", "dangling.bmp", "link.bmp", "long.bmp", "made.bmp",
                                                       "new.bmp", "real.bmp", "ro.bmp"}));
}

TEST_F(SaveBitmapTest, AnyFailingFileCallLeavesTheTargetAsItWasAndNoTemporaryFile)
{
    const Bytes old(100, 0x42);
    using Problem = FileProblemKind;
    const std::tuple<FailingOps::Kind, int, Problem, int> failures[] = {
        {FailingOps::kOpen, 0, Problem::CannotCreate, ENOSPC}, {FailingOps::kWrite, 0, Problem::WriteFailed, ENOSPC},
        {FailingOps::kWrite, 3, Problem::WriteFailed, ENOSPC}, {FailingOps::kFlush, 0, Problem::WriteFailed, EIO},
        {FailingOps::kSync, 0, Problem::WriteFailed, EDQUOT},  {FailingOps::kClose, 0, Problem::WriteFailed, EIO},
        {FailingOps::kRename, 0, Problem::WriteFailed, EXDEV}, {FailingOps::kNone, 0, Problem::None, 0},
    };
    for (const auto& [kind, at, problem, error] : failures) {
        SCOPED_TRACE("kind " + std::to_string(kind) + " at " + std::to_string(at));
        WriteFile(dir / "target.bmp", old);
        FailingOps ops;
        ops.kind = kind;
        ops.first = at;
        ops.error = error;
        ops.short_writes = true; // so that a fourth write exists, and short writes alone are finished
        doc.file_ops = &ops;
        const FileProblem result = doc.SaveBitmap(dir / "target.bmp");
        EXPECT_EQ(std::pair(result.kind, result.error), std::pair(problem, error));
        EXPECT_EQ(ReadFile(dir / "target.bmp"), problem == Problem::None ? original : old);
        EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"a.bmp", "target.bmp"}));
    }
}

// Temporary names already taken (left by a killed run of a process with
// the same id) are stepped over; other failures to make one are not
// retried. Where the folder takes no temporary, a writable file is
// rewritten in place; a scratch copy is never synced.
TEST_F(SaveBitmapTest, TemporariesTakenOrRefusedAndScratchCopies)
{
    FailingOps taken;
    taken.kind = FailingOps::kOpen;
    taken.count = 5;
    taken.error = EEXIST;
    doc.file_ops = &taken;
    EXPECT_TRUE(doc.SaveBitmap(dir / "out.bmp").ok());
    EXPECT_EQ(taken.calls[FailingOps::kOpen], 6);
    EXPECT_EQ(taken.calls[FailingOps::kSync], 2) << "a real save syncs the file and its folder";
    EXPECT_EQ(ReadFile(dir / "out.bmp"), original);

    WriteFile(dir / "t.bmp", Bytes(100, 0x42));
    ::chmod((dir / "t.bmp").c_str(), 0640);
    ASSERT_EQ(::link((dir / "t.bmp").c_str(), (dir / "second-name.bmp").c_str()), 0);
    struct stat before {}, after {};
    ::stat((dir / "t.bmp").c_str(), &before);
    FailingOps read_only_folder;
    read_only_folder.kind = FailingOps::kOpen;
    read_only_folder.error = EACCES;
    doc.file_ops = &read_only_folder;
    EXPECT_TRUE(doc.SaveBitmap(dir / "t.bmp").ok());
    EXPECT_EQ(ReadFile(dir / "t.bmp"), original) << "the whole file, no stale tail";
    EXPECT_EQ(ReadFile(dir / "second-name.bmp"), original) << "the same file under its other name";
    ::stat((dir / "t.bmp").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);

    // With no file to rewrite, the folder's refusal is the answer.
    FailingOps refused = read_only_folder;
    refused.calls[FailingOps::kOpen] = 0;
    doc.file_ops = &refused;
    const FileProblem problem = doc.SaveBitmap(dir / "new.bmp");
    EXPECT_EQ(std::pair(problem.kind, problem.error), std::pair(FileProblemKind::CannotCreate, EACCES));
    EXPECT_EQ(refused.calls[FailingOps::kOpen], 1);

    FailingOps counting;
    doc.file_ops = &counting;
    WriteFile(dir / "scratch.bmp", Bytes(500, 1));
    EXPECT_TRUE(doc.SaveScratchCopy(dir / "scratch.bmp").ok());
    EXPECT_EQ(ReadFile(dir / "scratch.bmp"), original);
    EXPECT_EQ(counting.calls[FailingOps::kSync], 0);
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"a.bmp", "out.bmp", "scratch.bmp", "second-name.bmp", "t.bmp"}));
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
        EXPECT_TRUE(doc.SaveBitmap(dir / name).ok()) << name.size() << " bytes";
        EXPECT_EQ(ReadFile(dir / name), original) << name.size() << " bytes";
    }
    EXPECT_EQ(doc.SaveBitmap(dir / std::string(name_max + 1, 'x')).error, ENAMETOOLONG);
    EXPECT_EQ(dir.Listing().size(), 4u) << "no temporary left";
}

// A temporary is a killed run's when no process holds its lock, whatever
// process id its name carries (a live run in another process-id namespace
// may carry any); one made a moment ago, before its writer could lock it,
// is left alone too. Only temporaries of the same file go.
TEST_F(SaveBitmapTest, RemovesTemporariesNoLiveRunHoldsForTheSameFileOnly)
{
    const size_t name_max = size_t(::pathconf(dir.path().c_str(), _PC_NAME_MAX));
    const std::string long_name = std::string(name_max - 4, 'L') + ".bmp";
    const std::string other = std::to_string(::getpid() + 1);
    const std::string mark = ".kv" + other + "-0.tmp";
    const std::vector<std::string> removed = {".t.bmp" + mark, ".t.bmp.kv" + other + "-17.tmp",
                                              "." + long_name.substr(0, name_max - 1 - mark.size()) + mark};
    const std::vector<std::string> kept = {
        ".t.bmp.kv" + other + "-1.tmp",                       // locked by its live writer
        ".t.bmp.kv" + other + "-2.tmp",                       // made a moment ago
        ".t.bmp.kv" + std::to_string(::getpid()) + "-99.tmp", // this process's
        ".u.bmp" + mark,                                      // another file's
        ".t.bmp" + mark + "~", "t.bmp" + mark, ".t.bmp.kv" + other + ".tmp"};
    const timespec old[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
    for (const auto* names : {&removed, &kept})
        for (const std::string& name : *names) {
            WriteFile(dir / name, {1});
            if (name != kept[1])
                ::utimensat(AT_FDCWD, (dir / name).c_str(), old, 0);
        }
    const int held = ::open((dir / kept[0]).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_TRUE(doc.SaveBitmap(dir / "t.bmp").ok());
    ASSERT_TRUE(doc.SaveBitmap(dir / long_name).ok());
    ::close(held);
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(), {"a.bmp", "t.bmp", long_name});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.Listing(), expected);
}

// While a save is written, its temporary is private: the new content of a
// private file is never readable by others, even if the run is killed
// then. Once in place, the file has the target's permissions, or a new
// file's under the umask.
TEST_F(SaveBitmapTest, TemporariesArePrivateUntilTheFileIsInPlace)
{
    struct ModeAtWrite : FileOps {
        mode_t seen = 0;
        ssize_t Write(int fd, const void* data, size_t size) override
        {
            struct stat info {};
            ::fstat(fd, &info);
            seen = info.st_mode & 07777;
            return FileOps::Write(fd, data, size);
        }
    } ops;
    doc.file_ops = &ops;
    const mode_t mask = ::umask(022);
    WriteFile(dir / "private.bmp", {1});
    ::chmod((dir / "private.bmp").c_str(), 0600);
    for (const auto& [name, final_mode] : {std::pair{"private.bmp", 0600u}, std::pair{"new.bmp", 0644u}}) {
        ASSERT_TRUE(doc.SaveBitmap(dir / name).ok());
        EXPECT_EQ(ops.seen, 0600u) << name;
        EXPECT_EQ(fs::status(dir / name).permissions(), fs::perms(final_mode)) << name;
    }
    ::umask(mask);
}

// Rewritten in place (the folder takes no temporary), nothing of the file
// changes before the room for the whole new file is reserved: a full disk
// refuses the save with the file untouched, whether the save was given
// whole or streamed.
TEST_F(SaveBitmapTest, InPlaceSavesReserveTheRoomFirstAndLeaveTheFileUntouchedWhenTheDiskIsFull)
{
    struct NoRoom : FileOps {
        int writes = 0;
        bool room = false;
        int Open(const char* path, int flags, mode_t mode) override
        {
            return (flags & O_CREAT) ? (errno = EACCES, -1) : FileOps::Open(path, flags, mode);
        }
        int Reserve(int fd, off_t size) override { return room ? FileOps::Reserve(fd, size) : ENOSPC; }
        ssize_t Write(int fd, const void* data, size_t size) override
        {
            ++writes;
            return FileOps::Write(fd, data, size);
        }
    };
    const Bytes old(100, 0x42);
    for (bool streamed : {false, true}) {
        for (bool room : {false, true}) {
            SCOPED_TRACE(std::string(streamed ? "streamed" : "whole") + (room ? ", room" : ", disk full"));
            WriteFile(dir / "t.bmp", old);
            NoRoom ops;
            ops.room = room;
            FileProblem problem;
            if (streamed) {
                SaveStream save(ops);
                ASSERT_TRUE(save.Begin(dir / "t.bmp", Durability::Synced).ok());
                save.Put(original.data(), 40);
                save.Put(original.data() + 40, original.size() - 40);
                EXPECT_EQ(ops.writes, 0) << "nothing written before the whole file is here";
                problem = save.Commit();
            } else {
                doc.file_ops = &ops;
                problem = doc.SaveBitmap(dir / "t.bmp");
            }
            EXPECT_EQ(std::pair(problem.kind, problem.error),
                      room ? std::pair(FileProblemKind::None, 0) : std::pair(FileProblemKind::WriteFailed, ENOSPC));
            EXPECT_EQ(ReadFile(dir / "t.bmp"), room ? original : old);
            EXPECT_EQ(ops.writes > 0, room);
        }
    }
}

// A streamed save: bytes put, or written into its room, in pieces that
// straddle the writer's chunks, written by its thread. A failing write in a later chunk, or a save
// dropped before Commit, leaves the target as it was and no temporary.
TEST_F(SaveBitmapTest, StreamedSavesWriteEveryPieceInOrderOrLeaveTheTargetAsItWas)
{
    Bytes whole(size_t{20} << 20);
    for (size_t i = 0; i < whole.size(); ++i)
        whole[i] = uint8_t(i * 7 + i / 4099);
    const Bytes old(100, 0x42);
    enum class End { Commit, FailSecondChunk, Drop };
    for (End end : {End::Commit, End::FailSecondChunk, End::Drop}) {
        SCOPED_TRACE(int(end));
        WriteFile(dir / "big.bmp", old);
        FailingOps ops;
        ops.kind = end == End::FailSecondChunk ? FailingOps::kWrite : FailingOps::kNone;
        ops.first = 1;
        ops.error = ENOSPC;
        {
            SaveStream save(ops);
            ASSERT_EQ(save.Begin(dir / "big.bmp", Durability::Synced).kind, FileProblemKind::None);
            for (size_t at = 0, piece = 0; at < whole.size(); at += 1000003, ++piece) {
                const size_t size = std::min<size_t>(1000003, whole.size() - at);
                if (piece % 2 == 0) {
                    save.Put(whole.data() + at, size);
                    continue;
                }
                std::copy_n(whole.data() + at, size, save.Room(size));
                save.Filled(size);
            }
            if (end != End::Drop) {
                const FileProblem problem = save.Commit();
                EXPECT_EQ(std::pair(problem.kind, problem.error),
                          end == End::Commit ? std::pair(FileProblemKind::None, 0)
                                             : std::pair(FileProblemKind::WriteFailed, ENOSPC));
            }
        }
        EXPECT_EQ(ReadFile(dir / "big.bmp"), end == End::Commit ? whole : old);
        EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"a.bmp", "big.bmp"}));
    }
}

} // namespace
} // namespace korvanti::testing

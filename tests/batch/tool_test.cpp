// korvanti-batch run as a separate process, the way a shell runs it: exit
// codes, messages, the bytes it writes, and what it leaves alone when
// something goes wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "batch/process.h"
#include "batch_test_support.h"

namespace korvanti::batch_testing {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class BatchTool : public ::testing::Test {
protected:
    // Writes a generated picture under the temporary folder.
    fs::path Picture(const std::string& name, int32_t width, int32_t height, uint32_t seed)
    {
        const fs::path path = dir / name;
        fs::create_directories(path.parent_path());
        WriteBytes(path, MakeBitmap(width, height, seed));
        return path;
    }

    ToolRun Run(const std::vector<std::string>& args, const ToolLimits& limits = {})
    {
        return RunTool(args, dir.path(), limits);
    }

    TempDir dir;
};

// --- what the tool tells about itself -------------------------------------

TEST_F(BatchTool, VersionHelpAndListExitZero)
{
    const ToolRun version = Run({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, "korvanti-batch 1.0.0\n");

    const ToolRun help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    for (const char* option : {"-e NAME", "-o OUTPUT", "-d DIR", "-j N", "-q", "--list", "--version"})
        EXPECT_TRUE(Contains(help.out, option)) << option;
    EXPECT_TRUE(help.err.empty()) << help.err;
}

TEST_F(BatchTool, ListShowsEveryEffectOnAnAlignedLine)
{
    const ToolRun list = Run({"--list"});
    ASSERT_EQ(list.exit_code, 0);
    const std::vector<std::string> lines = Lines(list.out);
    const auto catalogue = EffectCatalogue();
    ASSERT_EQ(lines.size(), catalogue.size());
    size_t id_column = std::string::npos;
    for (size_t i = 0; i < lines.size(); ++i) {
        const EffectEntry& entry = catalogue[i];
        const std::string& line = lines[i];
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind(std::string(entry.batch_name) + " ", 0), 0u);
        const std::string expected_tail = std::string(entry.menu_path) + " → " + std::string(entry.caption);
        ASSERT_GE(line.size(), expected_tail.size());
        EXPECT_EQ(line.substr(line.size() - expected_tail.size()), expected_tail);
        const size_t id_at = line.find(" " + std::string(entry.menu_id) + " ");
        ASSERT_NE(id_at, std::string::npos);
        if (i == 0)
            id_column = id_at;
        EXPECT_EQ(id_at, id_column) << "menu ids start in one column";
    }
}

// --- usage errors ----------------------------------------------------------

TEST_F(BatchTool, UsageErrorsExitTwoAndWriteNothing)
{
    const fs::path a = Picture("a.bmp", 5, 4, 1);
    const fs::path b = Picture("b.bmp", 5, 4, 2);
    const std::vector<std::vector<std::string>> command_lines{
        {},
        {"-o", "x.bmp", "a.bmp"},
        {"-e", "blur", "-o", "x.bmp", "a.bmp", "b.bmp"},
        {"-e", "blur", "-d", "made", "a.bmp", "sub/a.bmp"},
        {"-e", "blur", "-o", "x.bmp", "-j", "0", "a.bmp"},
        {"-e", "blur", "--bogus", "-o", "x.bmp", "a.bmp"},
        {"-e", "blur", "-e", "bogus", "-d", "made", "a.bmp"},
    };
    Picture("sub/a.bmp", 5, 4, 3);
    const std::vector<std::string> before = dir.Listing();
    for (const auto& args : command_lines) {
        std::string line;
        for (const std::string& arg : args)
            line += arg + ' ';
        SCOPED_TRACE(line);
        const ToolRun run = Run(args);
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_TRUE(Contains(run.err, "korvanti-batch: ")) << run.err;
        EXPECT_TRUE(Contains(run.err, "Usage:")) << run.err;
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(dir.Listing(), before) << "a usage error creates no file or folder";
    }
}

TEST_F(BatchTool, UnknownEffectListsTheValidNames)
{
    Picture("a.bmp", 5, 4, 1);
    const ToolRun run = Run({"-e", "sharpest", "-o", "x.bmp", "a.bmp"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(Contains(run.err, "unknown effect 'sharpest'")) << run.err;
    for (const EffectEntry& entry : EffectCatalogue()) {
        const std::string listed = std::string(entry.batch_name) + " (" + std::string(entry.menu_id) + ")";
        EXPECT_TRUE(Contains(run.err, listed)) << listed;
    }
}

// --- the bytes written -----------------------------------------------------

TEST_F(BatchTool, WritesWhatTheWindowSavesForEachEffect)
{
    // 7 x 5: rows are padded, so stride mistakes show.
    const fs::path input = Picture("in.bmp", 7, 5, 11);
    for (const EffectEntry& entry : EffectCatalogue()) {
        SCOPED_TRACE(std::string(entry.batch_name));
        const std::string output = "out-" + std::string(entry.batch_name) + ".bmp";
        const ToolRun run = Run({"-q", "-e", std::string(entry.menu_id), "-o", output, "in.bmp"});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_TRUE(run.err.empty()) << run.err;
        EXPECT_EQ(ReadBytes(dir / output), WindowResult(input, {std::string(entry.batch_name)}));
    }
}

TEST_F(BatchTool, RepeatedEffectsRunInTheGivenOrderEachAsItsOwnRun)
{
    const fs::path input = Picture("in.bmp", 9, 6, 5);
    const Bytes invert_then_mosaic = WindowResult(input, {"invert", "mosaic"});
    const Bytes mosaic_then_invert = WindowResult(input, {"mosaic", "invert"});
    ASSERT_NE(invert_then_mosaic, mosaic_then_invert) << "the order must matter for this test to mean anything";

    ASSERT_EQ(Run({"-e", "invert", "-e", "S11", "-o", "a.bmp", "in.bmp"}).exit_code, 0);
    ASSERT_EQ(Run({"-e", "MOSAIC", "-e", "i4", "-o", "b.bmp", "in.bmp"}).exit_code, 0);
    EXPECT_EQ(ReadBytes(dir / "a.bmp"), invert_then_mosaic);
    EXPECT_EQ(ReadBytes(dir / "b.bmp"), mosaic_then_invert);

    // Inverting twice gives the picture back, header, padding and all.
    ASSERT_EQ(Run({"-e", "invert", "-e", "invert", "-o", "c.bmp", "in.bmp"}).exit_code, 0);
    EXPECT_EQ(ReadBytes(dir / "c.bmp"), ReadBytes(input));

    // Two runs of the rough sketch draw on one generator, in sequence.
    ASSERT_EQ(Run({"-e", "rough-sketch", "-e", "rough-sketch", "-o", "d.bmp", "in.bmp"}).exit_code, 0);
    EXPECT_EQ(ReadBytes(dir / "d.bmp"), WindowResult(input, {"rough-sketch", "rough-sketch"}));
}

TEST_F(BatchTool, ResultsDoNotDependOnJobsOrInputOrder)
{
    // Random-driven and neighbourhood effects together; sizes differ so the
    // workers finish out of order.
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "p" + std::to_string(i) + ".bmp";
        Picture("in/" + name, 13 + 7 * i, 9 + 5 * (i % 3), 100 + i);
        names.push_back("in/" + name);
    }
    std::vector<std::string> reversed(names.rbegin(), names.rend());
    const std::vector<std::string> effects{"-e", "rough-sketch", "-e", "blur", "-e", "rough-sketch"};

    auto run_into = [&](const std::string& folder, const std::string& jobs, const std::vector<std::string>& inputs) {
        std::vector<std::string> args = effects;
        args.insert(args.end(), {"-d", folder, "-j", jobs});
        args.insert(args.end(), inputs.begin(), inputs.end());
        const ToolRun run = Run(args);
        EXPECT_EQ(run.exit_code, 0) << run.err;
    };
    run_into("one", "1", names);
    run_into("four", "4", names);
    run_into("reversed", "4", reversed);

    for (int i = 0; i < 6; ++i) {
        const std::string name = "p" + std::to_string(i) + ".bmp";
        SCOPED_TRACE(name);
        const Bytes expected = WindowResult(dir / "in" / name, {"rough-sketch", "blur", "rough-sketch"});
        EXPECT_EQ(ReadBytes(dir / "one" / name), expected);
        EXPECT_EQ(ReadBytes(dir / "four" / name), expected);
        EXPECT_EQ(ReadBytes(dir / "reversed" / name), expected);
    }
}

TEST_F(BatchTool, DirectoryIsCreatedWithParentsAndMayAlreadyExist)
{
    Picture("a.bmp", 4, 3, 1);
    ASSERT_EQ(Run({"-e", "invert", "-d", "x/y/z", "a.bmp"}).exit_code, 0);
    EXPECT_TRUE(fs::is_regular_file(dir / "x/y/z/a.bmp"));
    ASSERT_EQ(Run({"-e", "invert", "-d", "x/y/z/", "a.bmp"}).exit_code, 0) << "an existing folder is fine";
    EXPECT_EQ(dir.Listing("x/y/z"), std::vector<std::string>{"a.bmp"});
}

// --- failures: reported, and nothing lost ---------------------------------

// One table of input shapes and the cause each failure names. Nothing is
// written for a failed file, and the messages come in input order.
TEST_F(BatchTool, EachFailedFileIsNamedWithItsCauseAndWritesNothing)
{
    auto spoilt = [this](const std::string& name, std::function<void(Bytes&)> spoil) {
        Bytes bytes = MakeBitmap(6, 4, 3);
        spoil(bytes);
        WriteBytes(dir / name, bytes);
    };
    const std::vector<std::pair<std::string, std::string>> inputs = {
        // The first takes longest, so completion order is not input order:
        // its output is a read-only file, found only after the effect.
        {"slow.bmp", "cannot be written: the file is read-only"},
        {"good1.bmp", ""},
        {"missing.bmp", "cannot be opened: no such file"},
        {"unreadable.bmp", "cannot be opened: permission denied"},
        {"folder.bmp", "is a folder"},
        {"fifo.bmp", "not a regular file"},
        {"empty.bmp", "empty file"},
        {"text.bmp", "not a BMP, JPEG or PNG picture"},
        {"short.bmp", "truncated (1 byte short)"},
        {"shorter.bmp", "truncated (40 bytes short)"},
        {"top-down.bmp", "top-down pictures are not supported"},
        {"eight-bit.bmp", "8-bit pictures are not supported"},
        {"compressed.bmp", "compressed pictures are not supported"},
        {"header.bmp", "header damaged"},
        {"huge.bmp", "larger than 2 GiB"},
        {"good2.bmp", ""},
    };
    Picture("slow.bmp", 400, 300, 6);
    Picture("good1.bmp", 6, 4, 1);
    Picture("good2.bmp", 6, 4, 2);
    Picture("unreadable.bmp", 6, 4, 1);
    fs::permissions(dir / "unreadable.bmp", fs::perms::none);
    fs::create_directory(dir / "folder.bmp");
    ASSERT_EQ(::mkfifo((dir / "fifo.bmp").c_str(), 0600), 0) << "no writer ever opens it";
    WriteBytes(dir / "empty.bmp", {});
    WriteBytes(dir / "text.bmp", Bytes{'h', 'e', 'l', 'l', 'o'});
    spoilt("short.bmp", [](Bytes& b) { b.pop_back(); });
    spoilt("shorter.bmp", [](Bytes& b) { b.resize(b.size() - 40); });
    spoilt("top-down.bmp", [](Bytes& b) { Put32(b, 22, uint32_t(-4)); });
    spoilt("eight-bit.bmp", [](Bytes& b) { b[28] = 8; });
    spoilt("compressed.bmp", [](Bytes& b) { b[30] = 1; });
    spoilt("header.bmp", [](Bytes& b) { Put32(b, 14, 124); }); // pixels inside the info header
    spoilt("huge.bmp", [](Bytes&) {});
    fs::resize_file(dir / "huge.bmp", uint64_t{1} << 31); // sparse

    // An old result of a failed input must survive its failure.
    fs::create_directory(dir / "out4");
    WriteBytes(dir / "out4/short.bmp", Bytes{1, 2, 3});
    for (const char* folder : {"out1", "out4"}) {
        fs::create_directories(dir / folder);
        WriteBytes(dir / folder / "slow.bmp", Bytes{4, 5});
        fs::permissions(dir / folder / "slow.bmp", fs::perms::owner_read);
    }
    if (!HandOver(dir.path()))
        GTEST_SKIP() << "cannot run the tool as another user than root, so permissions cannot be tested";
    ToolLimits limits;
    limits.unprivileged = true;

    for (const std::string jobs : {"1", "4"}) {
        SCOPED_TRACE("-j " + jobs);
        const std::string folder = "out" + jobs;
        std::vector<std::string> args{"-e", "emboss", "-d", folder, "-j", jobs};
        std::vector<std::string> expected_lines;
        for (const auto& [name, cause] : inputs) {
            args.push_back(name);
            if (!cause.empty())
                expected_lines.push_back("korvanti-batch: " + (name == "slow.bmp" ? folder + "/" : "") + name + ": " +
                                         cause);
        }
        expected_lines.push_back("korvanti-batch: " + std::to_string(expected_lines.size()) + " of " +
                                 std::to_string(inputs.size()) + " files failed");
        const ToolRun run = Run(args, limits);
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(Lines(run.err), expected_lines);
        std::vector<std::string> expected_files{"good1.bmp", "good2.bmp", "slow.bmp"};
        if (jobs == "4")
            expected_files.push_back("short.bmp");
        std::sort(expected_files.begin(), expected_files.end());
        EXPECT_EQ(dir.Listing(folder), expected_files) << "no output for a failed input, no temporary files";
    }
    EXPECT_EQ(ReadBytes(dir / "out4/short.bmp"), (Bytes{1, 2, 3}));
    EXPECT_EQ(ReadBytes(dir / "out4/slow.bmp"), (Bytes{4, 5}));
    EXPECT_EQ(ReadBytes(dir / "out1/good2.bmp"), WindowResult(dir / "good2.bmp", {"emboss"}));

    // -d makes its folder only for a result to save.
    EXPECT_EQ(Run({"-e", "invert", "-d", "never", "missing.bmp", "text.bmp"}).exit_code, 1);
    EXPECT_FALSE(fs::exists(dir / "never"));

    // Too many open files, here in the process itself: the limit lowered
    // to the descriptors already open. A first run has the usual limit, so
    // that what is set up on first use (a sanitizer's runtime too) is.
    batch::FileProgress progress;
    const EffectEntry* invert = FindEffect("invert");
    auto process = [&] {
        return batch::ProcessFile((dir / "good1.bmp").string(), (dir / "x.bmp").string(), std::span(&invert, 1),
                                  progress);
    };
    EXPECT_EQ(process().outcome, batch::Outcome::Written);
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest_free = ::dup(0);
    ::close(lowest_free);
    const rlimit low{rlim_t(lowest_free), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const batch::FileResult result = process();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(result.reason, "cannot be opened: too many open files");
}

TEST_F(BatchTool, UnwritableDestinationsAreReported)
{
    Picture("a.bmp", 6, 4, 1);
    // -o into a folder that does not exist, or with a name longer than a
    // folder takes.
    const std::string long_name(300, 'n');
    for (const auto& [output, cause] : {std::pair<std::string, std::string>{"nowhere/result.bmp", "no such folder"},
                                        {long_name, "name too long"}}) {
        const ToolRun missing = Run({"-e", "invert", "-o", output, "a.bmp"});
        EXPECT_EQ(missing.exit_code, 1);
        EXPECT_EQ(Lines(missing.err),
                  std::vector<std::string>{"korvanti-batch: " + output + ": cannot be written: " + cause});
    }
    EXPECT_EQ(dir.Listing(), std::vector<std::string>{"a.bmp"});

    // -o naming a folder.
    fs::create_directory(dir / "taken");
    const ToolRun folder = Run({"-e", "invert", "-o", "taken", "a.bmp"});
    EXPECT_EQ(folder.exit_code, 1);
    EXPECT_TRUE(Contains(folder.err, "korvanti-batch: taken: cannot be written")) << folder.err;
    EXPECT_TRUE(fs::is_empty(dir / "taken"));

    // -d naming a file.
    WriteBytes(dir / "plain", Bytes{9});
    const ToolRun plain = Run({"-e", "invert", "-d", "plain", "a.bmp"});
    EXPECT_EQ(plain.exit_code, 1);
    EXPECT_TRUE(Contains(plain.err, "korvanti-batch: plain: cannot create the output folder")) << plain.err;
    EXPECT_EQ(ReadBytes(dir / "plain"), Bytes{9});
}

TEST_F(BatchTool, WritableFileInAFolderItCannotWriteIsRewrittenInPlace)
{
    Picture("a.bmp", 6, 4, 1);
    fs::create_directory(dir / "locked");
    WriteBytes(dir / "locked/old.bmp", Bytes(500, 7));
    fs::create_hard_link(dir / "locked/old.bmp", dir / "second-name.bmp");
    const auto inode = [](const fs::path& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_ino;
    };
    const ino_t before = inode(dir / "locked/old.bmp");
    if (!HandOver(dir.path()))
        GTEST_SKIP() << "cannot run the tool as another user than root, so a folder cannot refuse it";
    // Root's folder when the tool runs as another user, else read-only.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((dir / "locked").c_str(), 0, 0), 0);
    }
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
    ToolLimits limits;
    limits.unprivileged = true;

    const ToolRun kept = Run({"-e", "invert", "-o", "locked/old.bmp", "a.bmp"}, limits);
    EXPECT_EQ(kept.exit_code, 0) << kept.err;
    EXPECT_EQ(ReadBytes(dir / "locked/old.bmp"), WindowResult(dir / "a.bmp", {"invert"}));
    EXPECT_EQ(ReadBytes(dir / "second-name.bmp"), ReadBytes(dir / "locked/old.bmp"));
    EXPECT_EQ(inode(dir / "locked/old.bmp"), before);

    const ToolRun refused = Run({"-e", "invert", "-o", "locked/new.bmp", "a.bmp"}, limits);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(Lines(refused.err),
              std::vector<std::string>{"korvanti-batch: locked/new.bmp: cannot be written: read-only folder"});
    EXPECT_EQ(dir.Listing("locked"), std::vector<std::string>{"old.bmp"});
}

TEST_F(BatchTool, FullDiskLeavesTheOldOutputAndNoTemporaryFile)
{
    // The file size limit makes every write past 1000 bytes fail with
    // EFBIG, as a full disk fails with ENOSPC; the tool must not die of
    // the signal that comes with it.
    Picture("big.bmp", 40, 30, 1); // 3654 bytes
    Picture("small.bmp", 4, 3, 2); // 90 bytes
    fs::create_directory(dir / "out");
    const Bytes old(500, 0x77);
    WriteBytes(dir / "out/big.bmp", old);

    ToolLimits limits;
    limits.file_size = 1000;
    const ToolRun run = Run({"-e", "blur", "-d", "out", "-j", "2", "big.bmp", "small.bmp"}, limits);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err), (std::vector<std::string>{"korvanti-batch: out/big.bmp: cannot be written: file too large",
                                                        "korvanti-batch: 1 of 2 files failed"}));
    EXPECT_EQ(ReadBytes(dir / "out/big.bmp"), old);
    EXPECT_EQ(ReadBytes(dir / "out/small.bmp"), WindowResult(dir / "small.bmp", {"blur"}));
    EXPECT_EQ(dir.Listing("out"), (std::vector<std::string>{"big.bmp", "small.bmp"}));
}

TEST_F(BatchTool, PictureTooLargeForMemoryIsReportedAsSuch)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "an address-space limit cannot be combined with a sanitizer";
#else
    // A sparse file whose header promises 20000 x 20000 pixels; the limit
    // lets the tool start but not hold the picture.
    Bytes header = MakeBitmap(1, 1, 1);
    header.resize(54);
    Put32(header, 18, 20000);
    Put32(header, 22, 20000);
    WriteBytes(dir / "huge.bmp", header);
    fs::resize_file(dir / "huge.bmp", 54 + uint64_t{60000} * 20000);
    WriteBytes(dir / "old.bmp", Bytes{7});

    ToolLimits limits;
    limits.address_space = rlim_t{512} << 20;
    const ToolRun run = Run({"-e", "invert", "-j", "1", "-o", "old.bmp", "huge.bmp"}, limits);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(Lines(run.err), std::vector<std::string>{"korvanti-batch: huge.bmp: out of memory"});
    EXPECT_EQ(ReadBytes(dir / "old.bmp"), Bytes{7});
#endif
}

TEST_F(BatchTool, InterruptStopsWithoutLeavingAnythingHalfWritten)
{
    // Far more work than it takes to deliver the signal: the tool is
    // interrupted while the first effect is still running.
    Picture("a.bmp", 600, 400, 1);
    std::vector<std::string> args{"-d", "out", "a.bmp"};
    for (int i = 0; i < 20; ++i)
        args.insert(args.begin(), {"-e", "median-natural"});
    ToolLimits limits;
    limits.stderr_on_terminal = true;
    limits.interrupt_after = "\r[";
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        limits.interrupt_signal = signal;
        const ToolRun run = Run(args, limits);
        EXPECT_EQ(run.exit_code, 128 + signal);
        EXPECT_TRUE(Contains(run.err, "korvanti-batch: interrupted; 1 of 1 file not written")) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out")) << "no result, no temporary file, not even the folder";
    }
}

// --- the progress bar ------------------------------------------------------

TEST_F(BatchTool, ProgressBarOnlyOnATerminalAndNotWithQuiet)
{
    Picture("a.bmp", 30, 20, 1);
    ToolLimits terminal;
    terminal.stderr_on_terminal = true;

    const ToolRun shown = Run({"-e", "blur", "-e", "invert", "-o", "x.bmp", "a.bmp"}, terminal);
    EXPECT_EQ(shown.exit_code, 0);
    EXPECT_TRUE(Contains(shown.err, "\r[")) << shown.err;
    EXPECT_TRUE(Contains(shown.err, "100%  1/1 file")) << shown.err;
    EXPECT_EQ(shown.err.substr(shown.err.size() - 4), "\r\033[K") << "the bar is wiped at the end";

    const ToolRun quiet = Run({"-q", "-e", "blur", "-o", "y.bmp", "a.bmp"}, terminal);
    EXPECT_EQ(quiet.exit_code, 0);
    EXPECT_EQ(quiet.err, "");

    const ToolRun piped = Run({"-e", "blur", "-o", "z.bmp", "a.bmp"});
    EXPECT_EQ(piped.exit_code, 0);
    EXPECT_EQ(piped.err, "") << "no bar when stderr is not a terminal";
    EXPECT_EQ(ReadBytes(dir / "x.bmp"), WindowResult(dir / "a.bmp", {"blur", "invert"}));
}

TEST_F(BatchTool, FailureMessagesWipeTheBarFirst)
{
    Picture("a.bmp", 30, 20, 1);
    ToolLimits terminal;
    terminal.stderr_on_terminal = true;
    const ToolRun run = Run({"-e", "blur", "-d", "out", "a.bmp", "missing.bmp"}, terminal);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(Contains(run.err, "\r\033[Kkorvanti-batch: missing.bmp: cannot be opened")) << run.err;
}

} // namespace
} // namespace korvanti::batch_testing

// korvanti-batch run as a separate process, the way a shell runs it: exit
// codes, messages, the bytes it writes, and what it leaves alone when
// something goes wrong.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "batch/process.h"
#include "batch_test_support.h"

namespace korvanti::testing {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class BatchTool : public ::testing::Test {
protected:
    // Writes a generated picture under the temporary folder.
    fs::path Picture(const std::string& name, int32_t width, int32_t height, uint32_t seed)
    {
        const fs::path path = dir / name;
        fs::create_directories(path.parent_path());
        WriteFile(path, VariedBmp(width, height, seed));
        return path;
    }

    ToolRun Run(const std::vector<std::string>& args, const ToolLimits& limits = {})
    {
        return RunTool(args, dir.path(), limits);
    }

    TempDir dir;
};

TEST_F(BatchTool, VersionHelpAndAnAlignedListOfEveryEffect)
{
    EXPECT_EQ(Run({"--version"}).out, "korvanti-batch 1.0.0\n");
    // Help wins over a command line that would run, and needs nothing else.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-e", "blur", "-h"}}) {
        const ToolRun help = Run(args);
        EXPECT_TRUE(help.exit_code == 0 && Contains(help.out, "-e NAME")) << help.err;
    }
    const ToolRun list = Run({"--list"});
    ASSERT_EQ(list.exit_code, 0);
    const std::vector<std::string> lines = Lines(list.out);
    const auto catalogue = EffectCatalogue();
    ASSERT_EQ(lines.size(), catalogue.size());
    // Menu paths without their accelerator marks, half- and full-width alike.
    const std::map<std::string, std::string> path_of{
        {"sharpen", " 周波数フィルタ → シャープフィルタ → ノーマル"},
        {"laplacian-weak", " 微積フィルタ → エッジ検出：Laplacian → 弱"},
        {"mosaic", " 幾何学エフェクタ → 縮小(-50%)：モザイク(S)"},
        {"chroma-key-negative", " Ver1.0.0以前に作成したエフェクタ → クロマキー → ネガ"},
    };
    size_t paths_seen = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const EffectEntry& entry = catalogue[i];
        EXPECT_EQ(lines[i].rfind(std::string(entry.batch_name) + " ", 0), 0u) << lines[i];
        EXPECT_EQ(lines[i].find('&'), std::string::npos) << lines[i];
        if (const auto path = path_of.find(std::string(entry.batch_name)); path != path_of.end()) {
            EXPECT_TRUE(lines[i].ends_with(path->second)) << lines[i];
            ++paths_seen;
        }
        EXPECT_EQ(lines[i].find(" " + std::string(entry.menu_id) + " "), lines[0].find(" " + std::string(catalogue[0].menu_id) + " "))
            << "menu ids start in one column";
    }
    EXPECT_EQ(paths_seen, path_of.size());
}

TEST_F(BatchTool, UsageErrorsExitTwoAndWriteNothing)
{
    Picture("a.bmp", 5, 4, 1);
    Picture("sub/a.bmp", 5, 4, 3);
    const std::vector<std::vector<std::string>> command_lines{
        {}, {"-e", "blur", "-d", "made", "a.bmp", "sub/a.bmp"}, {"-e", "blur", "-e", "sharpest", "-d", "made", "a.bmp"}};
    const std::vector<std::string> before = dir.Listing();
    for (const auto& args : command_lines) {
        const ToolRun run = Run(args);
        EXPECT_EQ(run.exit_code, 2) << run.err;
        EXPECT_TRUE(Contains(run.err, "korvanti-batch: ") && Contains(run.err, "Usage:")) << run.err;
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(dir.Listing(), before) << "a usage error creates no file or folder";
    }
    // An unknown effect lists the valid names.
    const std::string err = Run(command_lines.back()).err;
    EXPECT_TRUE(Contains(err, "unknown effect 'sharpest'")) << err;
    for (const EffectEntry& entry : EffectCatalogue())
        EXPECT_TRUE(Contains(err, std::string(entry.batch_name) + " (" + std::string(entry.menu_id) + ")")) << err;
}

TEST_F(BatchTool, ResultsDoNotDependOnJobsOrInputOrderAndTheFolderIsMadeWithParents)
{
    // Random-driven and neighbourhood effects together; sizes differ so the
    // workers finish out of order.
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) {
        names.push_back("in/p" + std::to_string(i) + ".bmp");
        Picture(names.back(), 13 + 7 * i, 9 + 5 * (i % 3), 100 + i);
    }
    const std::vector<std::string> effects{"rough-sketch", "blur", "rough-sketch"};
    // -j, -d, --threads (more than the machine has cores, too).
    const std::vector<std::tuple<std::string, std::string, std::string>> runs{
        {"1", "x/y/z", "1"}, {"4", "x/y/z/", "2"}, {"4", "reversed", "2"}, {"2", "threads", "7"}};
    for (const auto& [jobs, folder, threads] : runs) {
        SCOPED_TRACE("-j " + jobs + " -d " + folder + " --threads " + threads);
        std::vector<std::string> args{"-e", effects[0], "-e", effects[1], "-e",        effects[2],
                                      "-d", folder,     "-j", jobs,       "--threads", threads};
        args.insert(args.end(), names.begin(), names.end());
        if (folder == "reversed")
            std::reverse(args.end() - 6, args.end());
        const ToolRun run = Run(args);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.err, ""); // nothing from the thread pool either
        for (const std::string& name : names)
            EXPECT_EQ(ReadFile(dir / folder / fs::path(name).filename()), CoreResult(dir / name, effects)) << name;
    }
}

// --- failures: reported, and nothing lost ---------------------------------

// One table of input shapes and the cause each failure names. Nothing is
// written for a failed file, and the messages come in input order.
TEST_F(BatchTool, EachFailedFileIsNamedWithItsCauseAndWritesNothing)
{
    using Spoil = std::function<void(Bytes&)>;
    struct Input {
        std::string name;
        std::string cause;
        Spoil spoil; // of a generated picture; none: made below
    };
    const Spoil keep = [](Bytes&) {};
    const std::vector<Input> inputs = {
        // The first takes longest, so completion order is not input order:
        // its output is a read-only file, found only after the effect.
        {"slow.bmp", "cannot be written: the file is read-only", nullptr},
        {"good1.bmp", "", keep},
        {"missing.bmp", "cannot be opened: no such file", nullptr},
        {"unreadable.bmp", "cannot be opened: permission denied", keep},
        {"folder.bmp", "is a folder", nullptr},
        {"fifo.bmp", "not a regular file", nullptr},
        {"empty.bmp", "empty file", [](Bytes& b) { b.clear(); }},
        {"text.bmp", "not a BMP, JPEG or PNG picture", [](Bytes& b) { b = {'h', 'e', 'l', 'l', 'o'}; }},
        {"short.bmp", "truncated (1 byte short)", [](Bytes& b) { b.pop_back(); }},
        {"shorter.bmp", "truncated (40 bytes short)", [](Bytes& b) { b.resize(b.size() - 40); }},
        {"top-down.bmp", "top-down pictures are not supported", [](Bytes& b) { Put32(b, 22, uint32_t(-4)); }},
        {"eight-bit.bmp", "8-bit pictures are not supported", [](Bytes& b) { b[28] = 8; }},
        {"compressed.bmp", "compressed pictures are not supported", [](Bytes& b) { b[30] = 1; }},
        // The pixels inside a 124-byte info header, in a file long enough for it.
        {"header.bmp", "header damaged", [](Bytes& b) { b.resize(200), Put32(b, 14, 124); }},
        {"huge.bmp", "larger than 2 GiB", keep},
        // A newline and escape sequences in a name forge no line and drive no terminal.
        {"fake\n\033]0;x\a.bmp", "empty file", [](Bytes& b) { b.clear(); }},
        {"good2.bmp", "", keep},
    };
    const std::map<std::string, std::string> shown = {{"fake\n\033]0;x\a.bmp", "'fake'$'\\n'$'\\033'']0;x'$'\\007''.bmp'"}};
    for (const auto& [name, cause, spoil] : inputs) {
        Bytes bytes = VariedBmp(6, 4, uint32_t(name.size()));
        if (spoil)
            spoil(bytes), WriteFile(dir / name, bytes);
    }
    Picture("slow.bmp", 1200, 900, 6);
    fs::permissions(dir / "unreadable.bmp", fs::perms::none);
    fs::create_directory(dir / "folder.bmp");
    ASSERT_EQ(::mkfifo((dir / "fifo.bmp").c_str(), 0600), 0) << "no writer ever opens it";
    fs::resize_file(dir / "huge.bmp", uint64_t{1} << 31); // sparse

    // An old result of a failed input must survive its failure.
    fs::create_directory(dir / "out4");
    WriteFile(dir / "out4/short.bmp", Bytes{1, 2, 3});
    for (const char* folder : {"out1", "out4"}) {
        fs::create_directories(dir / folder);
        WriteFile(dir / folder / "slow.bmp", Bytes{4, 5});
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
        for (const auto& [name, cause, spoil] : inputs) {
            args.push_back(name);
            if (!cause.empty())
                expected_lines.push_back("korvanti-batch: " + (name == "slow.bmp" ? folder + "/" : "") +
                                         (shown.contains(name) ? shown.at(name) : name) + ": " + cause);
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
    EXPECT_EQ(ReadFile(dir / "out4/short.bmp"), (Bytes{1, 2, 3}));
    EXPECT_EQ(ReadFile(dir / "out4/slow.bmp"), (Bytes{4, 5}));
    EXPECT_EQ(ReadFile(dir / "out1/good2.bmp"), CoreResult(dir / "good2.bmp", {"emboss"}));

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

    // A file cut short while the median streams it into a photo (as its run starts):
    // named with the bytes missing, nothing written.
    struct CutAtStart : batch::FileProgress {
        fs::path file;
        void StartEffect(size_t) override { fs::resize_file(file, fs::file_size(file) - 7); }
    } cutting;
    cutting.file = dir / "good1.bmp";
    const EffectEntry* median = FindEffect("median");
    const batch::FileResult cut =
        batch::ProcessFile(cutting.file.string(), (dir / "cut.png").string(), std::span(&median, 1), cutting);
    EXPECT_EQ(cut.reason, "truncated (7 bytes short)");
    EXPECT_FALSE(fs::exists(dir / "cut.png"));

    // Rewritten in place while the median streams it: the rows would mix
    // two pictures, so nothing is written.
    struct RewriteAtStart : batch::FileProgress {
        fs::path file;
        void StartEffect(size_t) override
        {
            WriteFile(file, VariedBmp(6, 4, 99));
            const timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 5, 0}};
            ::utimensat(AT_FDCWD, file.c_str(), later, 0);
        }
    } rewriting;
    rewriting.file = dir / "good2.bmp";
    const batch::FileResult changed =
        batch::ProcessFile(rewriting.file.string(), (dir / "changed.png").string(), std::span(&median, 1), rewriting);
    EXPECT_EQ(changed.reason, "changed while being read");
    EXPECT_FALSE(fs::exists(dir / "changed.png"));

    // A photo cut short after it was opened is read, never mapped: a
    // truncation, not a crash of the whole run.
    Bytes photo = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    photo.resize(5000, 7);
    WriteFile(dir / "photo.png", photo);
    batch::PictureInput opened;
    ASSERT_TRUE(batch::OpenPicture((dir / "photo.png").string(), opened).ok());
    fs::resize_file(dir / "photo.png", 100);
    Document document;
    const FileProblem problem = batch::LoadPicture(document, opened, true);
    EXPECT_EQ(std::pair(problem.kind, problem.amount), std::pair(FileProblemKind::Truncated, int64_t{4900}));
}

// With standard input and error closed, the files the tool opens must not
// become descriptors 0 and 2: a message for the terminal would land in a
// result.
TEST_F(BatchTool, ClosedStandardDescriptorsNeverTakeAResultsPlace)
{
    Picture("big.bmp", 1500, 1000, 3);
    WriteFile(dir / "bad.png", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3});
    const int out = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t tool = StartTool({"-j", "2", "-e", "median", "-d", "out", "bad.png", "big.bmp"}, dir.path(), out, out,
                                 [] { return ::close(0) == 0 && ::close(2) == 0; });
    ::close(out);
    EXPECT_EQ(WaitFor(tool), 1);
    EXPECT_EQ(ReadFile(dir / "out/big.bmp"), CoreResult(dir / "big.bmp", {"median"}));
}

TEST_F(BatchTool, UnwritableDestinationsAreReportedAndLeftAlone)
{
    Picture("a.bmp", 6, 4, 1);
    fs::create_directory(dir / "taken");
    WriteFile(dir / "plain", Bytes{9});
    const std::string long_name(300, 'n');
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"-o", "nowhere/result.bmp"}, "nowhere/result.bmp: cannot be written: no such folder"},
        {{"-o", long_name}, long_name + ": cannot be written: name too long"},
        {{"-o", "taken"}, "taken: cannot be written"},
        {{"-d", "plain"}, "plain: cannot create the output folder"},
    };
    for (auto [args, message] : cases) {
        args.insert(args.begin(), {"-e", "invert"});
        args.push_back("a.bmp");
        const ToolRun run = Run(args);
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.err.rfind("korvanti-batch: " + message, 0), 0u) << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    }
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"a.bmp", "plain", "taken"}));
    EXPECT_TRUE(fs::is_empty(dir / "taken"));
    EXPECT_EQ(ReadFile(dir / "plain"), Bytes{9});
}

TEST_F(BatchTool, WritableFileInAFolderItCannotWriteIsRewrittenInPlace)
{
    Picture("a.bmp", 6, 4, 1);
    fs::create_directory(dir / "locked");
    WriteFile(dir / "locked/old.bmp", Bytes(500, 7));
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
    ASSERT_TRUE(::geteuid() != 0 || ::chown((dir / "locked").c_str(), 0, 0) == 0);
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
    ToolLimits limits;
    limits.unprivileged = true;

    const ToolRun kept = Run({"-e", "invert", "-o", "locked/old.bmp", "a.bmp"}, limits);
    EXPECT_EQ(kept.exit_code, 0) << kept.err;
    EXPECT_EQ(ReadFile(dir / "locked/old.bmp"), CoreResult(dir / "a.bmp", {"invert"}));
    EXPECT_EQ(ReadFile(dir / "second-name.bmp"), ReadFile(dir / "locked/old.bmp"));
    EXPECT_EQ(inode(dir / "locked/old.bmp"), before);

    const ToolRun refused = Run({"-e", "invert", "-o", "locked/new.bmp", "a.bmp"}, limits);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(Lines(refused.err),
              std::vector<std::string>{"korvanti-batch: locked/new.bmp: cannot be written: read-only folder"});
    EXPECT_EQ(dir.Listing("locked"), std::vector<std::string>{"old.bmp"});
}

// A file size limit makes every write past it fail with EFBIG, as a full
// disk fails with ENOSPC, and the tool must not die of the signal that
// comes with it; an address-space limit lets the tool start but not hold a
// picture whose sparse file promises 20000 x 20000 pixels. Either way the
// old output stays and no temporary file is left.
TEST_F(BatchTool, FullDiskAndTooLittleMemoryLeaveTheOldOutput)
{
    Picture("big.bmp", 40, 30, 1); // 3654 bytes
    Picture("small.bmp", 4, 3, 2); // 90 bytes
    Bytes header = VariedBmp(1, 1, 1);
    header.resize(54);
    Put32(header, 18, 20000);
    Put32(header, 22, 20000);
    WriteFile(dir / "huge.bmp", header);
    fs::resize_file(dir / "huge.bmp", 54 + uint64_t{60000} * 20000);
    fs::create_directory(dir / "out");
    const Bytes old(500, 0x77);
    for (const char* name : {"out/big.bmp", "out/huge.bmp", "out/big.png"})
        WriteFile(dir / name, old);
    struct Case {
        std::vector<std::string> inputs; // and options
        ToolLimits limits;
        std::vector<std::string> lines;
    };
    ToolLimits full_disk, little_memory;
    full_disk.file_size = 1000;
    little_memory.address_space = rlim_t{512} << 20;
    std::vector<Case> cases{{{"big.bmp", "small.bmp"},
                             full_disk,
                             {"korvanti-batch: out/big.bmp: cannot be written: file too large",
                              "korvanti-batch: 1 of 2 files failed"}},
                            // Taken by rows, saved as it is made.
                            {{"--format", "png", "big.bmp"},
                             full_disk,
                             {"korvanti-batch: out/big.png: cannot be written: file too large"}}};
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) // a sanitizer needs all the address space
    cases.push_back({{"huge.bmp"}, little_memory, {"korvanti-batch: huge.bmp: out of memory"}});
#endif
    for (const auto& [inputs, limits, lines] : cases) {
        std::vector<std::string> args{"-e", "blur", "-d", "out", "-j", "2"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        const ToolRun run = Run(args, limits);
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(Lines(run.err), lines);
    }
    EXPECT_EQ(ReadFile(dir / "out/big.bmp"), old);
    EXPECT_EQ(ReadFile(dir / "out/huge.bmp"), old);
    EXPECT_EQ(ReadFile(dir / "out/small.bmp"), CoreResult(dir / "small.bmp", {"blur"}));
    EXPECT_EQ(ReadFile(dir / "out/big.png"), old);
    EXPECT_EQ(dir.Listing("out"), (std::vector<std::string>{"big.bmp", "big.png", "huge.bmp", "small.bmp"}));
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

TEST_F(BatchTool, ProgressBarOnlyOnATerminalAndNotWithQuietAndWipedBeforeMessages)
{
    Picture("a.bmp", 30, 20, 1);
    ToolLimits terminal;
    terminal.stderr_on_terminal = true;
    const ToolRun shown = Run({"-e", "median", "-e", "invert", "-o", "x.bmp", "a.bmp"}, terminal);
    EXPECT_EQ(shown.exit_code, 0);
    EXPECT_TRUE(Contains(shown.err, "\r[") && Contains(shown.err, "100%  1/1 file")) << shown.err;
    EXPECT_TRUE(shown.err.ends_with("\r\033[K")) << "the bar is wiped at the end";
    EXPECT_EQ(ReadFile(dir / "x.bmp"), CoreResult(dir / "a.bmp", {"median", "invert"}));

    EXPECT_EQ(Run({"-q", "-e", "blur", "-o", "y.bmp", "a.bmp"}, terminal).err, "");
    const ToolRun failed = Run({"-e", "blur", "-d", "out", "a.bmp", "missing.bmp"}, terminal);
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_TRUE(Contains(failed.err, "\r\033[Kkorvanti-batch: missing.bmp: cannot be opened")) << failed.err;
}

// "-" reads standard input and "-o -" writes standard output, through real
// pipes; a picture never goes to a terminal, and "-" is the only input.
TEST_F(BatchTool, PipesInAndOutAndNeverPicturesOnATerminal)
{
    const fs::path in = Picture("in.bmp", 37, 23, 5);
    const Bytes picture = ReadFile(in), expected = CoreResult(in, {"invert"});
    struct Case {
        std::vector<std::string> args;
        bool feed;        // the picture on standard input
        bool terminal;    // standard output a terminal
        int exit_code;
        bool result_out;  // the result on standard output, else in out.bmp
    };
    const std::vector<Case> cases = {
        {{"-o", "out.bmp", "-"}, true, false, 0, false},
        {{"-o", "-", "in.bmp"}, false, false, 0, true},
        {{"-o", "-", "-"}, true, false, 0, true},
        {{"-o", "-", "in.bmp"}, false, true, 2, false},
        {{"-d", "out", "-", "in.bmp"}, true, false, 2, false},
        {{"-o", "out.bmp", "-"}, false, false, 1, false}, // nothing on standard input
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"-e", "invert"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(::testing::PrintToString(args));
        fs::remove(dir / "out.bmp");
        int input[2], output[2] = {-1, -1}, terminal = -1;
        ASSERT_EQ(::pipe(input), 0);
        ASSERT_EQ(c.terminal ? ::openpty(&terminal, &output[1], nullptr, nullptr, nullptr) : ::pipe(output), 0);
        const int null = ::open("/dev/null", O_WRONLY);
        const pid_t tool = StartTool(args, dir.path(), output[1], null, [&] {
            return ::dup2(input[0], 0) == 0 && ::close(input[1]) == 0;
        });
        for (int fd : {input[0], output[1], null})
            ::close(fd);
        if (c.feed) {
            ASSERT_EQ(::write(input[1], picture.data(), picture.size()), ssize_t(picture.size()));
        }
        ::close(input[1]);
        Bytes out;
        uint8_t buffer[4096];
        for (ssize_t got; (got = ::read(c.terminal ? terminal : output[0], buffer, sizeof buffer)) > 0;)
            out.insert(out.end(), buffer, buffer + got);
        ::close(c.terminal ? terminal : output[0]);
        EXPECT_EQ(WaitFor(tool), c.exit_code);
        EXPECT_EQ(out, c.result_out ? expected : Bytes{});
        EXPECT_EQ(ReadFile(dir / "out.bmp"), c.exit_code == 0 && !c.result_out ? expected : Bytes{});
    }
}

} // namespace
} // namespace korvanti::testing

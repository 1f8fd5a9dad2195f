// The command line, parsed in-process: what is accepted, in what order the
// effects come out, where results go, and every usage error.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "batch/options.h"

namespace korvanti::batch {
namespace {

ParseResult Parse(std::vector<std::string_view> args) { return ParseArguments(args); }

std::vector<std::string_view> EffectNames(const Options& options)
{
    std::vector<std::string_view> names;
    for (const EffectEntry* effect : options.effects)
        names.push_back(effect->batch_name);
    return names;
}

TEST(BatchOptions, OptionsEffectsAndInputsMixFreelyAndDoubleDashEndsOptions)
{
    const ParseResult parsed = Parse({"a.bmp", "-q", "-e", "blur", "b.bmp", "-j4", "-d", "out", "--", "-c.bmp"});
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const Options& options = parsed.options;
    EXPECT_EQ(options.inputs, (std::vector<std::string>{"a.bmp", "b.bmp", "-c.bmp"}));
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.jobs, 4u);
    EXPECT_EQ(options.directory, "out");
    EXPECT_EQ(options.mode, Mode::Run);

    // Effects by name or menu id in any case keep their order; repeating
    // one runs it again.
    const ParseResult separate = Parse({"-j", "2", "-e", "SUNSET", "-e", "n9", "-eRough-Sketch", "-e", "i4", "-e",
                                        "INVERT", "-o", "x.bmp", "a.bmp", "--format", "JPG", "--quality=40",
                                        "--threads", "3", "--memory=512"});
    ASSERT_TRUE(separate.ok()) << separate.error;
    EXPECT_EQ(EffectNames(separate.options),
              (std::vector<std::string_view>{"sunset", "sharpen", "rough-sketch", "invert", "invert"}));
    EXPECT_EQ(separate.options.jobs, 2u);
    EXPECT_FALSE(separate.options.quiet);
    EXPECT_EQ(separate.options.format, codecs::Format::Jpeg);
    EXPECT_EQ(separate.options.quality, 40);
    EXPECT_EQ(separate.options.threads, 3u);
    EXPECT_EQ(separate.options.memory_mb, 512u);
    EXPECT_EQ(Parse({"-e", "blur", "-o", "x.bmp", "a.bmp"}).options.jobs, 0u) << "no -j: one job per core";
}

TEST(BatchOptions, UsageErrorsSayWhatIsWrong)
{
    // The arguments and a part of the message.
    const std::vector<std::pair<std::vector<std::string_view>, std::string_view>> cases{
        {{}, "no effect"},
        {{"-o", "x.bmp", "a.bmp"}, "no effect"},
        {{"-e", "blur", "a.bmp"}, "no destination"},
        {{"-e", "blur", "-o", "x.bmp"}, "no input"},
        {{"-e", "blur", "-o", "x.bmp", "a.bmp", "b.bmp"}, "exactly one input"},
        {{"-e", "blur", "-o", "x.bmp", "-d", "out", "a.bmp"}, "together"},
        {{"-e", "blur", "-o", "x.bmp", "-o", "y.bmp", "a.bmp"}, "-o given twice"},
        {{"-e", "blur", "-d", "out", "one/a.bmp", "two/a.bmp"}, "both named 'a.bmp'"},
        {{"-e", "blur", "-d", "out", ""}, "empty"},
        {{"-e"}, "-e needs a value"},
        {{"-e", "blur", "-o", "x.bmp", "a.bmp", "-j"}, "-j needs"},
        {{"-e", "blur", "-o", "x.bmp", "-j", "0", "a.bmp"}, "-j needs a whole number"},
        {{"-e", "blur", "-o", "x.bmp", "-j", "3x", "a.bmp"}, "'3x'"},
        {{"-e", "blur", "-o", "x.bmp", "-j", "-2", "a.bmp"}, "-j needs a whole number"},
        {{"-e", "blur", "-o", "x.bmp", "-j", "99999", "a.bmp"}, "-j needs a whole number"},
        {{"-e", "blur", "-o", "x.bmp", "--frobnicate", "a.bmp"}, "unknown option '--frobnicate'"},
        {{"-e", "blur", "-x", "a.bmp"}, "unknown option '-x'"},
        {{"-e", "no-such-effect", "-o", "x.bmp", "a.bmp"}, "unknown effect 'no-such-effect'"},
        {{"-e", "blur", "-o", "x.bmp", "--format", "gif", "a.bmp"}, "unknown format 'gif'; use bmp, png, jpeg, webp or tiff"},
        {{"-e", "blur", "-o", "x.bmp", "a.bmp", "--format"}, "--format needs a value"},
        {{"-e", "blur", "-o", "x.jpg", "--quality", "0", "a.bmp"}, "--quality needs a whole number from 1 to 100"},
        {{"-e", "blur", "-o", "x.jpg", "--quality=101", "a.bmp"}, "not '101'"},
        {{"-e", "blur", "-o", "x.jpg", "--quality", "9x", "a.bmp"}, "not '9x'"},
        {{"-e", "blur", "-o", "x.bmp", "--threads", "0", "a.bmp"}, "--threads needs a whole number from 1 to 256"},
        {{"-e", "blur", "-o", "x.bmp", "--memory=2k", "a.bmp"}, "--memory needs a number of megabytes"},
        {{"-e", "blur", "-o", "x.bmp", "a.bmp", "--memory"}, "--memory needs a value"},
        {{"-e", "blur", "-d", "out", "-holiday.jpg"}, "unknown option '-holiday.jpg'; if it is a file name, put --"},
        {{"-e", "blur", "-d", "out", "-photo.png", "a.png"}, "unknown option '-photo.png'; if it is a file name"},
        {{"-e", "blur", "-d", "out", "--format", "png", "a.jpg", "b/a.bmp"}, "both named 'a.png'"},
    };
    for (const auto& [args, expected] : cases) {
        const ParseResult parsed = Parse(args);
        EXPECT_FALSE(parsed.ok()) << expected;
        EXPECT_NE(parsed.error.find(expected), std::string::npos) << parsed.error;
    }
}

TEST(BatchOptions, ResultsGoToTheOutputOrIntoTheFolderUnderTheInputsName)
{
    const ParseResult single = Parse({"-e", "blur", "-o", "result.bmp", "pictures/in.bmp"});
    ASSERT_TRUE(single.ok());
    EXPECT_EQ(OutputPaths(single.options), (std::vector<std::string>{"result.bmp"}));

    for (std::string_view folder : {"out", "out/"}) {
        const ParseResult many = Parse({"-e", "blur", "-d", folder, "a.bmp", "/abs/b.bmp", "deep/er/c.BMP"});
        ASSERT_TRUE(many.ok()) << many.error;
        EXPECT_EQ(OutputPaths(many.options), (std::vector<std::string>{"out/a.bmp", "out/b.bmp", "out/c.BMP"}));
    }
    // With --format the results take its extension; a name that already
    // has one of that format's extensions keeps it.
    // The format, and the outputs for a.jpg, b.PNG, c, d.tar.bmp, e.JPEG.
    const std::vector<std::pair<std::string_view, std::vector<std::string>>> cases{
        {"", {"o/a.jpg", "o/b.PNG", "o/c", "o/d.tar.bmp", "o/e.JPEG"}},
        {"png", {"o/a.png", "o/b.PNG", "o/c.png", "o/d.tar.png", "o/e.png"}},
        {"jpeg", {"o/a.jpg", "o/b.jpg", "o/c.jpg", "o/d.tar.jpg", "o/e.JPEG"}},
        {"bmp", {"o/a.bmp", "o/b.bmp", "o/c.bmp", "o/d.tar.bmp", "o/e.bmp"}},
    };
    for (const auto& [format, outputs] : cases) {
        std::vector<std::string_view> args{"-e", "blur", "-d", "o", "a.jpg", "x/b.PNG", "c", "d.tar.bmp", "e.JPEG"};
        if (!format.empty())
            args.insert(args.end(), {"--format", format});
        const ParseResult parsed = Parse(args);
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        EXPECT_EQ(OutputPaths(parsed.options), outputs) << format;
    }
}

} // namespace
} // namespace korvanti::batch

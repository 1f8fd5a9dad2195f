// The command line through getopt_long, turned into Options and messages.
#include "batch/options.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <set>

#include "batch/picture_io.h"
#include "codecs/codecs.h"

namespace korvanti::batch {
namespace {

enum LongOnly { kVersion = 256, kList, kFormat, kQuality, kStrip, kThreads, kMemory };

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},       {"version", no_argument, nullptr, kVersion},
    {"list", no_argument, nullptr, kList},      {"quiet", no_argument, nullptr, 'q'},
    {"format", required_argument, nullptr, kFormat}, {"quality", required_argument, nullptr, kQuality},
    {"strip", no_argument, nullptr, kStrip},         {"threads", required_argument, nullptr, kThreads},
    {"memory", required_argument, nullptr, kMemory},
    {nullptr, 0, nullptr, 0},
};
// "-": inputs come back in place as option 1; ":": a missing value is ':'.
constexpr char kShortOptions[] = "-:e:o:d:j:qh";

std::string OptionName(int code)
{
    for (const option& entry : kLongOptions) {
        if (entry.name != nullptr && entry.val == code)
            return std::string("--") + entry.name;
    }
    return std::string("-") + static_cast<char>(code);
}

bool ParseNumber(std::string_view text, unsigned lowest, unsigned highest, unsigned& number)
{
    unsigned value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (problem != std::errc() || end != text.data() + text.size() || value < lowest || value > highest)
        return false;
    number = value;
    return true;
}

// Checks that hold only once every argument has been seen.
std::string CheckComplete(const Options& options)
{
    if (options.effects.empty())
        return "no effect chosen (use -e NAME; --list shows the names)";
    if (options.output.empty() && options.directory.empty())
        return "no destination (use -o OUTPUT for one input or -d DIR)";
    if (!options.output.empty() && !options.directory.empty())
        return "-o and -d cannot be used together";
    if (const codecs::Format named = codecs::FormatOfName(options.output);
        options.format == codecs::Format::Unknown && named != codecs::Format::Unknown && named != codecs::Format::Bmp &&
        !codecs::CanEncode(named))
        return "-o " + options.output + ": " + NotWritten(named);
    if (options.inputs.empty())
        return "no input files";
    for (const std::string& input : options.inputs) {
        if (input.empty())
            return "an input file name is empty";
    }
    const auto piped = std::find(options.inputs.begin(), options.inputs.end(), "-");
    if (piped != options.inputs.end() && (options.inputs.size() != 1 || !options.directory.empty()))
        return "standard input (-) must be the only input, with -o OUTPUT";
    if (!options.output.empty() && options.inputs.size() != 1)
        return "-o takes exactly one input (" + std::to_string(options.inputs.size()) +
               " given); use -d DIR for several";
    if (!options.directory.empty()) {
        for (const std::string& input : options.inputs) {
            const std::string_view name = FileNameOf(input);
            if (name.empty() || name == "." || name == "..")
                return "'" + input + "' does not name a file";
        }
        std::set<std::string_view> names;
        const std::vector<std::string> outputs = OutputPaths(options);
        for (const std::string& output : outputs) {
            const std::string_view name = FileNameOf(output);
            if (!names.insert(name).second)
                return "two inputs are both named '" + std::string(name) + "'; under -d their results would collide";
        }
    }
    return {};
}

// One option with its value (or none); returns the error, if any.
std::string TakeOption(int code, std::string_view value, Options& options)
{
    if (code != 'q' && code != kStrip && value.empty())
        return OptionName(code) + " needs a value";
    switch (code) {
    case 'q':
        options.quiet = true;
        break;
    case kStrip:
        options.strip = true;
        break;
    case 'e':
        if (const EffectEntry* effect = FindEffect(value))
            options.effects.push_back(effect);
        else
            return "unknown effect '" + std::string(value) + "'; valid names: " + ValidEffectNames();
        break;
    case 'o':
    case 'd': {
        std::string& target = code == 'o' ? options.output : options.directory;
        if (!target.empty())
            return OptionName(code) + " given twice";
        target = value;
        break;
    }
    case 'j':
        if (!ParseNumber(value, 1, kMaxJobs, options.jobs))
            return "-j needs a whole number from 1 to " + std::to_string(kMaxJobs) + ", not '" + std::string(value) +
                   "'";
        break;
    case kThreads:
        if (!ParseNumber(value, 1, kMaxThreads, options.threads))
            return "--threads needs a whole number from 1 to " + std::to_string(kMaxThreads) + ", not '" +
                   std::string(value) + "'";
        break;
    case kMemory:
        if (!ParseNumber(value, 1, kMaxMemoryMb, options.memory_mb))
            return "--memory needs a number of megabytes from 1 to " + std::to_string(kMaxMemoryMb) + ", not '" +
                   std::string(value) + "'";
        break;
    case kFormat:
        options.format = codecs::FormatOfWord(value);
        if (options.format == codecs::Format::Unknown)
            return "unknown format '" + std::string(value) + "'; use bmp, png, jpeg, webp or tiff";
        if (options.format != codecs::Format::Bmp && !codecs::CanEncode(options.format))
            return NotWritten(options.format);
        break;
    case kQuality: {
        unsigned quality = 0;
        if (!ParseNumber(value, 1, 100, quality))
            return "--quality needs a whole number from 1 to 100, not '" + std::string(value) + "'";
        options.quality = static_cast<int>(quality);
        break;
    }
    }
    return {};
}

std::string UnknownOption(std::string_view arg)
{
    std::string message = "unknown option '" + std::string(arg) + "'";
    // "-holiday.jpg" reads as options; say how to pass it as a file.
    if (arg.size() > 2 && arg[1] != '-')
        message += "; if it is a file name, put -- before the file names";
    return message;
}

// Takes the next option or input into result; true once the scan is over
// (all taken, an informational command, or an error).
bool TakeNextArgument(int argc, char** argv, ParseResult& result)
{
    const int before = optind == 0 ? 1 : optind;
    // No clusters of flags: "-holiday.jpg" is not -h.
    if (before < argc) {
        const std::string_view next = argv[before];
        if (next.size() > 2 && next[0] == '-' && (next[1] == 'q' || next[1] == 'h')) {
            result.error = UnknownOption(next);
            return true;
        }
    }
    const int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    switch (code) {
    case -1:
        return true;
    case 1:
        result.options.inputs.emplace_back(optarg);
        return false;
    // The informational commands win over everything else on the line.
    case 'h':
        result.options.mode = Mode::Help;
        return true;
    case kVersion:
        result.options.mode = Mode::Version;
        return true;
    case kList:
        result.options.mode = Mode::List;
        return true;
    case ':':
        result.error = OptionName(optopt) + " needs a value";
        return true;
    case '?':
        result.error = UnknownOption(argv[before]);
        return true;
    default:
        result.error = TakeOption(code, optarg != nullptr ? optarg : "", result.options);
        return !result.ok();
    }
}

} // namespace

std::string_view FileNameOf(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string ValidEffectNames()
{
    std::string names;
    for (const EffectEntry& entry : EffectCatalogue()) {
        if (!names.empty())
            names += ", ";
        names += entry.batch_name;
        names += " (";
        names += entry.menu_id;
        names += ")";
    }
    return names;
}

ParseResult ParseArguments(std::span<const std::string_view> args)
{
    ParseResult result;
    std::vector<std::string> texts{"korvanti-batch"};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(texts.size());

    optind = 0; // a fresh scan, also after an earlier call
    opterr = 0;
    while (!TakeNextArgument(argc, argv.data(), result)) {
    }
    if (!result.ok() || result.options.mode != Mode::Run)
        return result;
    // Everything after "--".
    for (int i = optind; i < argc; ++i)
        result.options.inputs.emplace_back(argv[static_cast<size_t>(i)]);
    result.error = CheckComplete(result.options);
    return result;
}

std::vector<std::string> OutputPaths(const Options& options)
{
    std::vector<std::string> paths;
    if (!options.output.empty()) {
        paths.push_back(options.output);
        return paths;
    }
    std::string folder = options.directory;
    if (folder.back() != '/')
        folder += '/';
    for (const std::string& input : options.inputs) {
        std::string name(FileNameOf(input));
        const codecs::Format named = codecs::FormatOfName(name);
        if (options.format != codecs::Format::Unknown && named != options.format) {
            if (named != codecs::Format::Unknown)
                name.erase(name.rfind('.'));
            name += codecs::ExtensionOf(options.format);
        }
        paths.push_back(folder + name);
    }
    return paths;
}

} // namespace korvanti::batch

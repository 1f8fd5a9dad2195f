#include "batch/options.h"

#include <charconv>
#include <set>

namespace korvanti::batch {
namespace {

// The value of a short option: attached ("-j4") or the next argument.
// Returns false when there is none.
bool TakeValue(std::span<const std::string_view> args, size_t& index, std::string_view& value)
{
    const std::string_view arg = args[index];
    if (arg.size() > 2) {
        value = arg.substr(2);
        return true;
    }
    if (index + 1 >= args.size())
        return false;
    value = args[++index];
    return true;
}

bool ParseJobs(std::string_view text, unsigned& jobs)
{
    unsigned value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (problem != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxJobs)
        return false;
    jobs = value;
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
    if (options.inputs.empty())
        return "no input files";
    for (const std::string& input : options.inputs) {
        if (input.empty())
            return "an input file name is empty";
    }
    if (!options.output.empty() && options.inputs.size() != 1)
        return "-o takes exactly one input (" + std::to_string(options.inputs.size()) +
               " given); use -d DIR for several";
    if (!options.directory.empty()) {
        std::set<std::string_view> names;
        for (const std::string& input : options.inputs) {
            const std::string_view name = FileNameOf(input);
            if (name.empty() || name == "." || name == "..")
                return "'" + input + "' does not name a file";
            if (!names.insert(name).second)
                return "two inputs are both named '" + std::string(name) + "'; under -d their results would collide";
        }
    }
    return {};
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
    Options& options = result.options;
    bool only_inputs = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (only_inputs || arg.size() < 2 || arg[0] != '-') {
            options.inputs.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            only_inputs = true;
            continue;
        }
        // The informational commands win over everything else on the line.
        if (arg == "--help" || arg == "-h") {
            options.mode = Mode::Help;
            return result;
        }
        if (arg == "--version") {
            options.mode = Mode::Version;
            return result;
        }
        if (arg == "--list") {
            options.mode = Mode::List;
            return result;
        }
        if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        const char letter = arg[1];
        if (arg.size() >= 2 && arg[1] != '-' && (letter == 'e' || letter == 'o' || letter == 'd' || letter == 'j')) {
            std::string_view value;
            if (!TakeValue(args, i, value) || value.empty()) {
                result.error = std::string("-") + letter + " needs a value";
                return result;
            }
            switch (letter) {
            case 'e':
                if (const EffectEntry* effect = FindEffect(value)) {
                    options.effects.push_back(effect);
                } else {
                    result.error = "unknown effect '" + std::string(value) + "'; valid names: " + ValidEffectNames();
                    return result;
                }
                break;
            case 'o':
                if (!options.output.empty()) {
                    result.error = "-o given twice";
                    return result;
                }
                options.output = value;
                break;
            case 'd':
                if (!options.directory.empty()) {
                    result.error = "-d given twice";
                    return result;
                }
                options.directory = value;
                break;
            case 'j':
                if (!ParseJobs(value, options.jobs)) {
                    result.error = "-j needs a whole number from 1 to " + std::to_string(kMaxJobs) + ", not '" +
                                   std::string(value) + "'";
                    return result;
                }
                break;
            }
            continue;
        }
        result.error = "unknown option '" + std::string(arg) + "'";
        return result;
    }
    result.error = CheckComplete(options);
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
    for (const std::string& input : options.inputs)
        paths.push_back(folder + std::string(FileNameOf(input)));
    return paths;
}

} // namespace korvanti::batch

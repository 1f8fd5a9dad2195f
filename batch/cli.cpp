// The tool's entry point behind main(): usage and help texts, --list and
// --version, and the hand-over to a run.
#include <unistd.h>

#include <algorithm>
#include <string>

#include "batch/run.h"

namespace korvanti::batch {
namespace {

constexpr std::string_view kUsage =
    "Usage: korvanti-batch -e NAME [-e NAME]... (-o OUTPUT | -d DIR) [--format FMT] [--quality N] [--strip] [-j N]\n"
    "                      [--threads N] [--memory MB] [-q] INPUT...\n"
    "       korvanti-batch --list | --help | --version\n";

constexpr std::string_view kHelp =
    "Runs Korvanti's effects on pictures: uncompressed 24-bit BMP, JPEG, PNG, WebP,\n"
    "TIFF, HEIC and AVIF, told apart by their content.\n"
    "\n"
    "  -e NAME     effect to run, by name or menu id in any letter case (see --list);\n"
    "              repeat it to run several effects in the order given\n"
    "  -o OUTPUT   where to write the result of the one INPUT; - for standard output\n"
    "  -d DIR      write each result as DIR/<input's file name> (DIR is created if missing)\n"
    "  --format FMT\n"
    "              write bmp, png, jpeg, webp or tiff; without it the output name's\n"
    "              extension (.bmp, .png, .jpg, .jpeg, .webp, .tif, .tiff) decides,\n"
    "              else the input's own format (HEIC and AVIF are read, not written);\n"
    "              with -d the results take FMT's extension\n"
    "  --quality N JPEG and WebP quality from 1 to 100 (default 92; a lossless WebP\n"
    "              written as WebP without it stays lossless)\n"
    "  --strip     leave the colour profile and the EXIF data out of the results\n"
    "  -j N        files to work on at once (default: one per processor core)\n"
    "  --threads N threads each effect splits its rows over (default: KORVANTI_THREADS,\n"
    "              else one per processor core); 1 keeps every effect on one thread\n"
    "  --memory MB memory the files worked on at once may take together; a file that\n"
    "              would pass it waits (default: what the system has available)\n"
    "  -q          no progress bar and no notes\n"
    "  --list      list the effects\n"
    "  --help      show this help\n"
    "  --version   show the version\n"
    "\n"
    "Each file gets exactly the bytes the window would save after opening it and\n"
    "running the same effects. A file that fails is reported and its output file\n"
    "is neither created nor changed. A photo is read as 8-bit RGB (EXIF or TIFF\n"
    "orientation applied, transparency flattened over white; of a multi-page TIFF\n"
    "or an animated WebP the first picture) and worked on exactly as the BMP of\n"
    "that picture would be; results keep its colour profile and EXIF data (with\n"
    "the orientation reset) where their format holds them.\n"
    "INPUT - reads the picture from standard input (the only input, with -o);\n"
    "-o - writes the result to standard output, never to a terminal.\n"
    "Put -- before other file names that begin with '-'.\n"
    "\n"
    "Exit status: 0 when every output was written, 1 when any file failed,\n"
    "2 for a usage error, 130 when stopped by Ctrl-C and 143 by SIGTERM (files\n"
    "not finished are not written).\n";

// A menu caption as plain text: an accelerator mark in brackets, "(&S)" or
// "（&T）", goes with its brackets; any other "&" before a character goes,
// and "&&" stands for one "&".
std::string WithoutAccelerators(std::string_view caption)
{
    constexpr std::string_view kMarks[][2] = {{"(&", ")"}, {"（&", "）"}};
    std::string text;
    for (size_t i = 0; i < caption.size();) {
        const std::string_view rest = caption.substr(i);
        size_t mark = 0;
        for (const auto& [open, close] : kMarks) {
            if (rest.size() > open.size() && rest.starts_with(open) && rest.substr(open.size() + 1).starts_with(close))
                mark = open.size() + 1 + close.size();
        }
        if (mark == 0 && rest.size() > 1 && rest[0] == '&') {
            text += rest[1];
            mark = 2;
        }
        if (mark == 0) {
            text += rest[0];
            mark = 1;
        }
        i += mark;
    }
    return text;
}

void PrintList(std::ostream& out)
{
    size_t name_width = 0;
    size_t id_width = 0;
    for (const EffectEntry& entry : EffectCatalogue()) {
        name_width = std::max(name_width, entry.batch_name.size());
        id_width = std::max(id_width, entry.menu_id.size());
    }
    for (const EffectEntry& entry : EffectCatalogue()) {
        std::string line(entry.batch_name);
        line.append(name_width + 2 - entry.batch_name.size(), ' ');
        line += entry.menu_id;
        line.append(id_width + 2 - entry.menu_id.size(), ' ');
        line += WithoutAccelerators(entry.menu_path);
        line += " → ";
        line += WithoutAccelerators(entry.caption);
        out << line << '\n';
    }
}

} // namespace

int BatchMain(std::span<const std::string_view> args, std::ostream& out, std::ostream& err, bool err_is_terminal,
              const std::atomic<bool>* stop)
{
    const ParseResult parsed = ParseArguments(args);
    if (!parsed.ok()) {
        err << "korvanti-batch: " << parsed.error << '\n' << kUsage << "Try 'korvanti-batch --help'.\n";
        err.flush();
        return kExitUsage;
    }
    // A picture is no text for a terminal to show.
    if (parsed.options.mode == Mode::Run && parsed.options.output == "-" && ::isatty(STDOUT_FILENO) == 1) {
        err << "korvanti-batch: standard output is a terminal; redirect it to a file or a pipe to write a picture "
               "there\n";
        err.flush();
        return kExitUsage;
    }
    switch (parsed.options.mode) {
    case Mode::Help:
        out << kUsage << '\n' << kHelp;
        break;
    case Mode::Version:
        out << "korvanti-batch " << KORVANTI_VERSION << '\n';
        break;
    case Mode::List:
        PrintList(out);
        break;
    case Mode::Run:
        return RunBatch(parsed.options, err, err_is_terminal, stop);
    }
    out.flush();
    if (!out) {
        err << "korvanti-batch: cannot write to standard output\n";
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace korvanti::batch

// The command line of korvanti-batch, parsed into plain values. Parsing
// never prints and never exits, so tests can call it directly.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/format.h"
#include "effects/catalogue.h"
#include "engine/worker_threads.h"

namespace korvanti::batch {

inline constexpr unsigned kMaxJobs = 1024;
inline constexpr unsigned kMaxThreads = kMaxWorkerThreads; // as many as the effects use
inline constexpr unsigned kMaxMemoryMb = 1u << 30; // 1 PiB

enum class Mode { Run, Help, Version, List };

struct Options {
    Mode mode = Mode::Run;
    std::vector<const EffectEntry*> effects; // in the order given
    std::string output;                      // -o, for exactly one input
    std::string directory;                   // -d, one result per input inside it
    unsigned jobs = 0;                       // 0: one per core
    unsigned threads = 0;                    // --threads, for each effect; 0: KORVANTI_THREADS, else one per core
    unsigned memory_mb = 0;                  // --memory; 0: what the system has available
    bool quiet = false;
    codecs::Format format = codecs::Format::Unknown; // --format; Unknown: by the output name
    int quality = 0;                                 // --quality, for JPEG and WebP results; 0: not given
    bool strip = false;                              // --strip: results without ICC profile or EXIF
    std::vector<std::string> inputs;
};

struct ParseResult {
    Options options;
    std::string error; // empty when the command line is usable
    bool ok() const { return error.empty(); }
};

// args excludes the program name. Options and inputs may come in any order;
// "--" ends the options. Short options take their value attached or as the
// next argument (-j4, -j 4), long ones after "=" or as the next argument.
// Uses getopt_long, so it must not run on two threads at once.
ParseResult ParseArguments(std::span<const std::string_view> args);

// Where each input's result goes: the -o path, or DIR/<input's file name>,
// the name's extension replaced by the --format's one when that differs.
// Call only on a parsed Run command line.
std::vector<std::string> OutputPaths(const Options& options);

// The last path component; what -d uses as the result's name.
std::string_view FileNameOf(std::string_view path);

// "sharpen (N9), blur (N14), ..." for the unknown-effect message.
std::string ValidEffectNames();

} // namespace korvanti::batch

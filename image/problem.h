// Why reading, decoding, encoding or writing a picture failed. Every layer
// returns this one shape (kind None for success) and every message, the
// batch tool's lines and the window's boxes alike, is made from it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace korvanti {

enum class FileProblemKind {
    None,
    EmptyPath,
    CannotOpen,     // open or fstat failed; error says why
    NotRegularFile, // a folder (error EISDIR), FIFO, device or socket
    ReadFailed,     // error says why
    Empty,          // no bytes at all
    NotBitmap,      // no "BM" at the start (nor any other picture type read)
    Truncated,      // amount: the bytes missing, where known
    Changed,        // the file's size or time changed while it was read
    HeaderDamaged,  // sizes, offsets or fields no usable file has
    OldHeader,      // the 12- or 16-byte header of OS/2 pictures
    TopDown,        // negative height
    BitDepth,       // amount: the bits per pixel, not 24
    Compressed,
    TooLarge,       // the file or its picture over the 2 GiB limit
    OutOfMemory,
    Damaged,        // a decoder refused the contents; reason says why
    EncodeFailed,   // an encoder failed; reason says why
    ReadOnlyFile,   // saving: the existing file may not be written
    CannotCreate,   // saving: no new file in the folder; error says why
    WriteFailed,    // saving: a write, sync, close or rename failed; error
    Interrupted,    // a stop request ended the decode
};

struct FileProblem {
    FileProblem() = default;
    FileProblem(FileProblemKind kind, int error = 0, int64_t amount = 0, std::string reason = {})
        : kind(kind), error(error), amount(amount), reason(std::move(reason))
    {
    }

    FileProblemKind kind = FileProblemKind::None;
    int error = 0;      // errno of the call that failed, where one did
    int64_t amount = 0; // the number the kind speaks of
    std::string reason; // a codec's own words, where a codec refused

    bool ok() const { return kind == FileProblemKind::None; }
};

// A codec's refusal: Damaged with its reason.
// A library's message kept to one line: its line breaks and other control
// characters become spaces, and none end it.
inline FileProblem Refusal(std::string reason)
{
    for (char& c : reason) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    reason.erase(reason.find_last_not_of(' ') + 1);
    return {FileProblemKind::Damaged, 0, 0, std::move(reason)};
}

} // namespace korvanti

// The one open picture: its header record, the whole file in memory, the
// undo copy, the six channel planes and the edit counter.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "image/bitmap_file.h"
#include "image/file_ops.h"
#include "image/planes.h"

namespace korvanti {

// Results of LoadBitmap.
inline constexpr int kLoaded = 1;
inline constexpr int kRefused = 0;     // read, but not a picture we handle
inline constexpr int kNotOpened = -5;  // empty path, or the file cannot be read
// Results of SaveBitmap besides the byte count.
inline constexpr int kWriteFailed = -1;
inline constexpr int kEmptyPath = -5;

// True when the first 30 bytes describe a bottom-up 24-bit "BM" picture.
bool IsValidBitmap(const uint8_t* bytes);

// What went wrong with the last load or save, in enough detail for a
// message that names the cause.
enum class FileProblemKind {
    None,
    EmptyPath,
    CannotOpen,     // open or fstat failed; error says why
    NotRegularFile, // a folder (error EISDIR), FIFO, device or socket
    ReadFailed,     // error says why
    Empty,          // no bytes at all
    NotBitmap,      // no "BM" at the start
    Truncated,      // amount: the bytes missing
    HeaderDamaged,  // sizes, offsets or fields no usable file has
    OldHeader,      // the 12- or 16-byte header of OS/2 pictures
    TopDown,        // negative height
    BitDepth,       // amount: the bits per pixel, not 24
    Compressed,
    TooLarge,       // the file or its picture over the 2 GiB limit
    OutOfMemory,
    ReadOnlyFile,   // saving: the existing file may not be written
    CannotCreate,   // saving: no new file in the folder; error says why
    WriteFailed,    // saving: a write, sync, close or rename failed; error
};

struct FileProblem {
    FileProblemKind kind = FileProblemKind::None;
    int error = 0;      // errno of the call that failed, where one did
    int64_t amount = 0; // the number the kind speaks of
};

// The layout checks of a load, on the first 54 bytes of a file of the
// given length (bytes past the length read as 0): None when the file is a
// whole uncompressed bottom-up 24-bit picture with its pixels after its
// headers, within 2 GiB.
FileProblem CheckLayout(const uint8_t* header, int64_t length);

// A picture file read piece by piece, as a run that streams its result
// asks for the pieces, instead of whole: the open file, and what went wrong
// reading it. A run cannot stop for a failed read, so the pieces it could
// not have read as zeros and the first failure is kept for its caller.
class PictureSource {
public:
    PictureSource() = default;
    PictureSource(int fd, int64_t length) : fd_(fd), length_(length) {}
    ~PictureSource();
    PictureSource(PictureSource&& other) noexcept;
    PictureSource& operator=(PictureSource&& other) noexcept;

    bool IsOpen() const { return fd_ >= 0; }
    // The file's length when it was opened.
    int64_t Length() const { return length_; }
    // Reads size bytes from offset. What cannot be read (a read error, or a
    // file that has become shorter) is filled with zeros and noted.
    void Read(int64_t offset, uint8_t* into, size_t size);
    // The first failed read: ReadFailed, or Truncated with the bytes missing.
    const FileProblem& Problem() const { return problem_; }

private:
    int fd_ = -1;
    int64_t length_ = 0;
    FileProblem problem_;
};

// Which planes a run uses: the three source and three target planes, the
// source planes only, or none.
enum class PlaneUse { All, Sources, None };

class Document {
public:
    BitmapFile bitmap;
    Bytes file_bytes;
    Bytes undo_bytes;
    std::array<Plane, 3> source_planes;
    std::array<Plane, 3> target_planes;
    int32_t plane_width = 0;
    int32_t plane_height = 0;
    int32_t loaded_width = 0;
    int32_t loaded_height = 0;
    int32_t edit_count = 0;
    // The Edit menu: one level of undo and redo of the last effect.
    bool undo_enabled = false;
    bool redo_enabled = false;
    // Whether effect runs keep the picture from before them in undo_bytes.
    // A user of the core with no undo (the batch tool) turns it off before
    // loading: no undo copy is then made or held, runs work in place, and
    // the planes are left to the runs that use them.
    bool keep_undo = true;

    // Reads a whole regular file. All or nothing: anything but 1 leaves
    // every field of the document exactly as it was.
    int LoadBitmap(const std::string& path);
    // Takes a whole BMP file already in memory (a picture decoded from
    // another format, say) with the same checks and results as LoadBitmap;
    // bytes is left as it was unless the result is 1.
    int AdoptBitmap(Bytes&& bytes, const std::string& name);

    // For a user of the core that streams its one run from the file to its
    // result (the batch tool, keep_undo off): the file opened and checked
    // with the same results as LoadBitmap, but not read. file_bytes stays
    // empty, so no ordinary run takes the document; a streaming run reads
    // the picture through Source(), open until the next load.
    int OpenForStreaming(const std::string& path);
    PictureSource& Source() { return source_; }

    // Replaces the file at path with file_bytes in one step (temporary file
    // in the same folder, synced, renamed over the target), following a
    // symbolic link to the file it names. Returns the number of bytes
    // written, -1 on any failure (the target then stays as it was) or -5
    // for an empty path. Where the folder refuses the temporary but the
    // existing file may be written, the file is rewritten in place instead,
    // keeping its inode, owner, mode and links; a failure part way then
    // leaves it damaged. Changes nothing in memory but LastProblem.
    int SaveBitmap(const std::string& path);
    // The same for a scratch copy nobody relies on after a crash: replaced
    // in one step all the same, but not waited for on the disk.
    int SaveScratchCopy(const std::string& path);

    // Why the last load or save failed; kind None after a success.
    const FileProblem& LastProblem() const { return last_problem_; }

    bool HasPicture() const { return !file_bytes.empty(); }

    // One-level undo and redo; each does nothing unless enabled. The two
    // whole-file buffers hold the pictures before and after the last
    // effect, so each is a swap.
    void Undo();
    void Redo();
    // Open and close forget the last effect: its buffers were another picture's.
    void ForgetUndo() { undo_enabled = redo_enabled = false; }

    // Sizes the six planes for plane_width x plane_height, keeping their
    // memory from run to run, and zeroes what no split ever writes: element
    // 0 and the spare tail. Elements in between keep stale values until the
    // run writes them. Planes a run does not use are left as they are.
    void PreparePlanes(PlaneUse planes = PlaneUse::All);

    // The seam tests use to make file calls fail.
    FileOps* file_ops = &SystemFileOps();

private:
    int Save(const std::string& path, bool durable);
    void SetPicture(int32_t width, int32_t height, std::string&& name);
    int Fail(int result, FileProblem problem);
    // The end of every load: undo copy and planes as keep_undo asks, then
    // the new picture swapped in. All or nothing.
    int Install(Bytes&& bytes, const std::string& name);

    FileProblem last_problem_;
    PictureSource source_;
};

} // namespace korvanti

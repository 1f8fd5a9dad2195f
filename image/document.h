// The one open picture: its header record, the whole file in memory, the
// undo copy, the six channel planes and the edit counter.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "image/bitmap_file.h"
#include "image/file_ops.h"
#include "image/input_file.h"
#include "image/planes.h"
#include "image/problem.h"

namespace korvanti {

// True when the first 30 bytes describe a bottom-up 24-bit "BM" picture.
bool IsValidBitmap(const uint8_t* bytes);

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
    PictureSource(int fd, int64_t length, timespec modified) : fd_(fd), length_(length), modified_(modified) {}
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
    // Once every piece is read: the first failed read, else Changed when
    // the file was written meanwhile (its pieces may mix two pictures).
    FileProblem Verdict() const;

private:
    int fd_ = -1;
    int64_t length_ = 0;
    timespec modified_{};
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

    // Every load and save returns why it failed: kind None when it did
    // what it says. A load is all or nothing: a failure leaves every field
    // of the document exactly as it was.

    // Reads a whole regular file.
    FileProblem LoadBitmap(const std::string& path);
    // The same for a file its caller has opened already (to tell its type
    // by its first bytes, say).
    FileProblem LoadBitmap(InputFile&& input);
    // Takes a whole BMP file already in memory (a picture decoded from
    // another format, say) with the same checks as LoadBitmap; bytes is
    // left as it was unless the load succeeds.
    FileProblem AdoptBitmap(Bytes&& bytes, const std::string& name);

    // For a user of the core that streams its one run from the file to its
    // result (the batch tool, keep_undo off): the file opened and checked
    // as LoadBitmap does, but not read. file_bytes stays empty, so no
    // ordinary run takes the document; a streaming run reads the picture
    // through Source(), open until the next load.
    FileProblem OpenForStreaming(const std::string& path);
    FileProblem OpenForStreaming(InputFile&& input);
    PictureSource& Source() { return source_; }

    // Replaces the file at path with file_bytes in one step (temporary file
    // in the same folder, synced, renamed over the target), following a
    // symbolic link to the file it names; on a failure the target stays as
    // it was. Where the folder refuses the temporary but the existing file
    // may be written, the file is rewritten in place instead, keeping its
    // inode, owner, mode and links; a failure part way then leaves it
    // damaged. Changes nothing in memory.
    FileProblem SaveBitmap(const std::string& path) const;
    // The same for a scratch copy nobody relies on after a crash: replaced
    // in one step all the same, but not waited for on the disk.
    FileProblem SaveScratchCopy(const std::string& path) const;

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
    void SetPicture(int32_t width, int32_t height, std::string&& name);
    // The end of every load: undo copy and planes as keep_undo asks, then
    // the new picture swapped in. All or nothing.
    FileProblem Install(Bytes&& bytes, const std::string& name);

    PictureSource source_;
};

} // namespace korvanti

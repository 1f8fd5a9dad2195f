// Saving a file whose bytes come in order, a few at a time: the one way
// the core writes files, for a whole document or for a result that an
// effect hands over row by row while it runs.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "image/file_ops.h"
#include "image/problem.h"

namespace korvanti {

// Where a run that streams its result puts the bytes, in file order:
// handed over by Put, or written straight into the sink's own memory.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Put(const uint8_t* bytes, size_t size) = 0;
    // Room for the next size bytes of the stream, valid until the next
    // call. Writing them there and calling Filled(size) is Put of them.
    virtual uint8_t* Room(size_t size)
    {
        room_.resize(size);
        return room_.data();
    }
    virtual void Filled(size_t size) { Put(room_.data(), size); }

private:
    std::vector<uint8_t> room_;
};

// Whether a save waits for the disk: a file people rely on does; a scratch
// copy nobody relies on after a crash does not.
enum class Durability { Synced, Unsynced };

// One save: the bytes go to a temporary beside the target (private until
// Commit gives it the target's permissions, and locked while its writer
// lives), which Commit syncs and renames over it. Where the folder takes no
// new file but the target may be written, into the target itself, keeping
// its inode, owner, mode and links: then nothing is written before Commit,
// which first reserves the room the new file needs (a full disk refuses the
// save with the file untouched) and then writes it in one pass; only a
// kill or a failing disk during that pass can leave it damaged. Bytes given
// to Put are written by a thread of its own while the caller goes on, and
// a durable save sets the disk to work on them as they come, so that little
// is left to wait for at the end. Whatever is not committed is undone: the
// temporary removed, the target as it was.
class SaveStream : public ByteSink {
public:
    explicit SaveStream(FileOps& ops = SystemFileOps()) : ops_(ops) {}
    ~SaveStream() override { Abandon(); }
    SaveStream(const SaveStream&) = delete;
    SaveStream& operator=(const SaveStream&) = delete;

    // Checks the target (following symbolic links) and opens where the
    // bytes go: kind None, or why the save cannot be made.
    FileProblem Begin(const std::string& path, Durability durability);
    // Copies the bytes into the writer's next chunk.
    void Put(const uint8_t* bytes, size_t size) override;
    // Room in the writer's next chunk, where it fits in one.
    uint8_t* Room(size_t size) override;
    void Filled(size_t size) override;
    // Writes bytes straight from the caller's memory, in the caller's thread.
    void Write(std::span<const uint8_t> bytes);
    // Puts the file in place: kind None, or why it failed (the target then
    // stays as it was, but for a rewrite in place).
    FileProblem Commit();
    // Drops the save: the temporary goes, the target stays as it was.
    void Abandon();
    // Bytes written so far (all of them once Commit succeeded).
    int64_t Written() const { return offset_; }

private:
    // Memory the writer takes at a time, filled from the start.
    struct Chunk {
        std::unique_ptr<uint8_t[]> data;
        size_t size = 0;
    };

    // The steps of Begin: where the file goes, whether it may be replaced,
    // and the temporary (or the file itself) opened.
    FileProblem FindTarget(const std::string& path);
    FileProblem CheckExisting();
    FileProblem OpenWhereBytesGo();
    // In place: the room for size bytes taken before the first is written.
    bool ReserveInPlace(int64_t size);
    void WriteHeld();
    void Submit();
    void WaitUntilWritten();
    void WriterLoop();
    void WriteOut(const uint8_t* data, size_t size);
    void DropWrittenBehind();
    void StopWriter();

    FileOps& ops_;
    std::string target_, folder_, name_, temporary_;
    size_t name_max_ = 0;
    bool exists_ = false;
    unsigned existing_mode_ = 0, existing_uid_ = 0, existing_gid_ = 0;
    int64_t existing_size_ = 0;
    bool durable_ = false;
    bool in_place_ = false;
    int fd_ = -1;
    // Written by whichever thread writes; read once the writer is idle.
    int64_t offset_ = 0;
    int64_t dropped_ = 0; // a durable save's pages before it are on disk, out of the cache
    int error_ = 0;
    bool failed_ = false;

    Chunk current_;
    bool room_in_chunk_ = false;
    std::vector<Chunk> queue_, spare_;
    std::vector<Chunk> held_; // in place: every chunk, until Commit
    bool writing_ = false, stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread writer_;
};

// Replaces the file at path with bytes in one save: kind None, or why not.
FileProblem SaveFile(const std::string& path, std::span<const uint8_t> bytes, Durability durability,
                     FileOps& ops = SystemFileOps());

} // namespace korvanti

// Small pictures made in memory, temporary folders and a scriptable host
// for the core tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/effect_context.h"
#include "image/document.h"

namespace korvanti::testing {

// A picture in file order: pixel k is row k / width, column k % width,
// three bytes blue, green, red.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bgr;

    Picture(int32_t w, int32_t h, uint8_t fill = 0) : width(w), height(h), bgr(size_t(w) * h * 3, fill) {}

    uint8_t& at(int64_t pixel, int channel) { return bgr[size_t(pixel) * 3 + channel]; }
    uint8_t at(int64_t pixel, int channel) const { return bgr[size_t(pixel) * 3 + channel]; }
    // The pixel that lands in plane element (row, column).
    uint8_t& element(int32_t row, int32_t column, int channel) { return at(int64_t(row) * width + column - 1, channel); }
    uint8_t element(int32_t row, int32_t column, int channel) const
    {
        return at(int64_t(row) * width + column - 1, channel);
    }
};

inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

// A standard 24-bit file with rows padded to four bytes; `offset` moves the
// pixels (the gap is filled with 0xEE), `tail` is appended after them.
inline std::vector<uint8_t> MakeBmp(const Picture& picture, uint32_t offset = 54,
                                    const std::vector<uint8_t>& tail = {}, uint8_t padding = 0)
{
    const int64_t stride = (int64_t(picture.width) * 3 + 3) & ~int64_t(3);
    std::vector<uint8_t> b(offset + stride * picture.height, 0xEE);
    std::fill(b.begin(), b.begin() + 54, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size() + tail.size()));
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(picture.width));
    Put32(b, 22, uint32_t(picture.height));
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    Put32(b, 34, uint32_t(stride * picture.height));
    for (int32_t y = 0; y < picture.height; ++y) {
        uint8_t* row = b.data() + offset + y * stride;
        std::copy_n(picture.bgr.data() + size_t(y) * picture.width * 3, picture.width * 3, row);
        std::fill(row + picture.width * 3, row + stride, padding);
    }
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/korvanti-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Records what the engine tells it; can press Cancel at a chosen pump.
class RecordingHost : public EffectHost {
public:
    EffectContext* context = nullptr;
    int cancel_at_pump = -1; // 0-based count of ProcessMessages calls
    int pumps = 0;
    int64_t maximum = -1;
    std::vector<int64_t> positions;
    std::vector<bool> cancel_states;
    int finished = 0;
    bool last_cancelled = false;
    std::function<void()> on_pump;

    void SetProgressMax(int64_t m) override { maximum = m; }
    void SetProgress(int64_t p) override { positions.push_back(p); }
    void ProcessMessages() override
    {
        if (on_pump)
            on_pump();
        if (pumps++ == cancel_at_pump && context)
            context->Cancel();
    }
    void SetCancelEnabled(bool enabled) override { cancel_states.push_back(enabled); }
    void RunFinished(bool cancelled) override
    {
        ++finished;
        last_cancelled = cancelled;
    }
};

// A document loaded from a picture, with a context to run effects in.
struct Bench {
    TempDir dir;
    Document doc;
    RecordingHost host;
    CRand random;
    EffectContext context{doc, host, random};

    explicit Bench(const Picture& picture, uint32_t offset = 54)
    {
        host.context = &context;
        WriteFile(dir / "in.bmp", MakeBmp(picture, offset));
        if (doc.LoadBitmap(dir / "in.bmp") != 1)
            std::abort();
        doc.edit_count = 1;
    }

    // The picture now in file_bytes, in file order.
    Picture Current() const
    {
        Picture p(doc.plane_width, doc.plane_height);
        const int64_t stride = RowStride(doc.plane_width);
        const uint8_t* base = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
        for (int32_t y = 0; y < p.height; ++y)
            std::copy_n(base + y * stride, p.width * 3, p.bgr.data() + size_t(y) * p.width * 3);
        return p;
    }
};

} // namespace korvanti::testing

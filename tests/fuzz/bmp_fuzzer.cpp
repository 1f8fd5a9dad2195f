// Loads any bytes as a picture; whatever loads runs one effect chosen by
// the input, then undo and redo, and is saved and read back. Anything but
// a clean refusal or an exact round trip aborts.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "effects/catalogue.h"
#include "engine/effect_context.h"
#include "image/document.h"

namespace {

using namespace korvanti;

const std::string& Folder()
{
    static const std::string folder = [] {
        char pattern[] = "/tmp/korvanti-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made)
            std::abort();
        return std::string(made);
    }();
    return folder;
}

void WriteAll(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t wrote = ::write(fd, data + done, size - done);
        if (wrote <= 0)
            std::abort();
        done += size_t(wrote);
    }
    ::close(fd);
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::vector<uint8_t> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        std::abort();
    uint8_t buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    ::close(fd);
    return bytes;
}

// Presses Cancel at a pump chosen by the input, if any.
class Host : public EffectHost {
public:
    EffectContext* context = nullptr;
    int cancel_at = -1;
    int pumps = 0;
    void ProcessMessages() override
    {
        if (pumps++ == cancel_at)
            context->Cancel();
    }
};

// Saves without waiting for the disk: durability is not what is fuzzed.
class NoSyncOps : public FileOps {
public:
    int Sync(int) override { return 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = Folder() + "/in.bmp";
    const std::string output = Folder() + "/out.bmp";
    WriteAll(input, data, size);

    static NoSyncOps ops;
    Document doc;
    doc.file_ops = &ops;
    const int loaded = doc.LoadBitmap(input);
    if (loaded != 1) {
        if (loaded != 0 || doc.HasPicture())
            std::abort();
        return 0;
    }
    const std::vector<uint8_t> original(data, data + size);
    if (doc.file_bytes != original)
        std::abort();

    // Keep each input quick: effects only on small pictures.
    if (int64_t{doc.plane_width} * doc.plane_height <= 1 << 14) {
        const auto effects = EffectCatalogue();
        const uint8_t choice = data[size - 1];
        Host host;
        CRand random;
        EffectContext context(doc, host, random);
        host.context = &context;
        host.cancel_at = (choice & 0x80) ? data[size / 2] % 8 : -1;
        if (!RunEffect(context, effects[choice % effects.size()]))
            std::abort();
        const std::vector<uint8_t> result = doc.file_bytes;
        if (result.size() != original.size() || !std::equal(original.begin(), original.begin() + 54, result.begin()))
            std::abort();
        doc.Undo();
        if (doc.file_bytes != original)
            std::abort();
        doc.Redo();
        if (doc.file_bytes != result)
            std::abort();
    }

    if (doc.SaveBitmap(output) != int(doc.file_bytes.size()) || ReadAll(output) != doc.file_bytes)
        std::abort();
    return 0;
}

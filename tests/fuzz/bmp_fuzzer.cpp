// Loads any bytes as a picture; whatever loads runs one effect chosen by
// the input, then undo and redo, and is saved and read back. Anything but
// a clean refusal or an exact round trip aborts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../support/engine_bench.h"
#include "effects/catalogue.h"

namespace {

using namespace korvanti;

// Saves without waiting for the disk: durability is not what is fuzzed.
class NoSyncOps : public FileOps {
public:
    int Sync(int) override { return 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> original(data, data + size);
    static const korvanti::testing::TempDir folder;
    const std::string input = folder / "in.bmp";
    const std::string output = folder / "out.bmp";
    korvanti::testing::WriteFile(input, original);

    static NoSyncOps ops;
    Document doc;
    doc.file_ops = &ops;
    const korvanti::FileProblem loaded = doc.LoadBitmap(input);
    if (!loaded.ok()) {
        if (doc.HasPicture())
            std::abort();
        return 0;
    }
    if (doc.file_bytes != original)
        std::abort();

    // Keep each input quick: effects only on small pictures.
    if (int64_t{doc.plane_width} * doc.plane_height <= 1 << 14) {
        const auto effects = EffectCatalogue();
        const uint8_t choice = data[size - 1];
        // Presses Cancel at a pump chosen by the input, if any.
        korvanti::testing::RecordingHost host;
        CRand random;
        EffectContext context(doc, host, random);
        host.context = &context;
        host.cancel_at_pump = (choice & 0x80) ? data[size / 2] % 8 : -1;
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

    if (!doc.SaveBitmap(output).ok() || korvanti::testing::ReadFile(output) != doc.file_bytes)
        std::abort();
    return 0;
}

// A scriptable host that records what the engine tells it, and a bench: a
// document loaded from a picture with a context to run effects in.
#pragma once

#include <cstdlib>
#include <functional>
#include <vector>

#include "bitmap.h"
#include "engine/effect_context.h"
#include "files.h"
#include "image/document.h"

namespace korvanti::testing {

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

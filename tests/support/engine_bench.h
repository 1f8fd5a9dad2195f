// A scriptable host that records what the engine tells it, a bench (a
// document loaded from a picture with a context to run effects in), and
// the core's result for a file and effects, which the window and the batch
// tool must give too.
#pragma once

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bitmap.h"
#include "effects/catalogue.h"
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
        if (!doc.LoadBitmap(dir / "in.bmp").ok())
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

// The core alone: the picture at path loaded and the effects run in turn,
// with a fresh generator (the first runs of a program) unless random goes
// on from earlier runs. The last effect is cancelled at its pump cancel_at
// (1 for the first, 0: never), and pumps gets that run's count.
inline Bytes CoreResult(const fs::path& path, const std::vector<std::string>& effects, int cancel_at = 0,
                        int* pumps = nullptr, CRand* random = nullptr)
{
    Document document;
    if (!document.LoadBitmap(path).ok())
        throw std::runtime_error("the core cannot load " + path.string());
    CRand fresh;
    RecordingHost host;
    EffectContext context(document, host, random != nullptr ? *random : fresh);
    host.context = &context;
    for (size_t i = 0; i < effects.size(); ++i) {
        host.pumps = 0;
        host.cancel_at_pump = i + 1 == effects.size() ? cancel_at - 1 : -1;
        const EffectEntry* effect = FindEffect(effects[i]);
        if (effect == nullptr || !RunEffect(context, *effect))
            throw std::runtime_error("the core cannot run " + effects[i]);
    }
    if (pumps != nullptr)
        *pumps = host.pumps;
    return document.file_bytes;
}

} // namespace korvanti::testing

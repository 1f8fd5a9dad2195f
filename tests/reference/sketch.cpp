// The charcoal and the rough sketch: grey pencil looks built on the emboss
// kernel (lower-left minus upper-right neighbour).
#include <vector>

#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {

void CharcoalSketch(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context);
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    context.KernelBank(4);
    const int32_t w = doc.plane_width;
    ForEachRow(context, 1, doc.plane_height - 1, [&](int32_t r) {
        for (int32_t c = 1; c <= w - 1; ++c) {
            const int64_t p = int64_t{r} * w + c;
            for (int k = 0; k < 3; ++k)
                t[k][p] = StoreByte(ApplyKernel(context.kernel, context.GatherNeighbourhood(s[k], w, c, r)));
            s[0][p] = static_cast<uint8_t>((t[0][p] + t[1][p] + t[2][p]) / 3);
            if (s[0][p] <= 140)
                s[0][p] = 255;
        }
    });
    MergeFrom(doc, s[0], s[0], s[0]);
    context.EndEffect();
}

void RoughSketch(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context); // the emboss pass writes into zero-filled result planes
    PlaneSet s = Sources(doc);
    PlaneSet t = Targets(doc);
    context.KernelBank(4);
    const int32_t w = doc.plane_width;
    const int32_t h = doc.plane_height;
    const int64_t pixels = int64_t{w} * h;

    // Emboss pass, grey.
    ForEachRow(context, 1, h - 1, [&](int32_t r) {
        for (int32_t c = 1; c <= w - 1; ++c) {
            for (int k = 0; k < 3; ++k) {
                const long double x = ApplyKernel(context.kernel, context.GatherNeighbourhood(s[k], w, c, r));
                t[k][int64_t{r} * w + c] = x <= -126 ? 0 : x >= 127 ? 255 : StoreByte(x + 128);
            }
            GrayPixel(t[0], t[1], t[2], w, c, r);
        }
    });

    // Threshold and speckle: one draw per element, shared by its channels.
    // No progress and no messages here.
    std::vector<int32_t> draws(static_cast<size_t>(std::min<int64_t>(pixels, 4096)));
    for (int64_t p = 1; p <= pixels;) {
        const auto batch = static_cast<size_t>(std::min<int64_t>(pixels - p + 1, int64_t(draws.size())));
        context.Random().Fill(draws.data(), batch);
        for (size_t i = 0; i < batch; ++i, ++p) {
            const int v = draws[i] & 0xFF;
            const int d = (v / 10) / 10;
            for (int k = 0; k < 3; ++k)
                t[k][p] = t[k][p] < 135 ? 255 : static_cast<uint8_t>(t[k][p] + d);
        }
    }
    context.row_cursor = static_cast<int32_t>(pixels + 1);

    // From here on both plane triples hold the speckled picture.
    CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], w, h);

    // Block sampling into slots s apart per block row. The stride is about
    // a quarter of the width while block columns run to half of it, so two
    // blocks share each slot and the later one wins.
    const int64_t slot_stride = (doc.loaded_width / 2) / 2;
    const int64_t half_height = doc.loaded_height / 2;
    const int64_t slots = 4 * ((slot_stride * half_height) / 2 + slot_stride);
    std::vector<uint8_t> blocks[3];
    for (auto& block : blocks)
        block.assign(static_cast<size_t>(slots), 0);
    ForEachRow(context, 0, h - 2, [&](int32_t r) {
        if (r % 2 != 0)
            return;
        for (int32_t c = 0; c <= w - 2; c += 2) {
            const int64_t j = (r / 2) * slot_stride + (c / 2);
            if (j < slots) {
                const int64_t p = int64_t{r} * w + c;
                for (int k = 0; k < 3; ++k)
                    blocks[k][j] = s[k][p];
            }
        }
    });

    // Blending, pumping messages at every block step. A Cancel handled
    // there skips that step's blend and ends the pass.
    bool cancelled = false;
    for (context.row_cursor = 0; !cancelled && context.row_cursor <= h - 9; context.row_cursor += 2) {
        const int32_t r = context.row_cursor;
        for (int32_t c = 0; c <= w - 9; c += 2) {
            context.column_cursor = c;
            context.ProcessMessages();
            if (context.row_cursor != r) {
                cancelled = true;
                break;
            }
            const int64_t p = int64_t{r} * w + c;
            context.SetProgress(36 * (p / 2));
            const int64_t j = (r / 2) * slot_stride + (c / 2);
            if (j >= slots)
                continue;
            for (int k = 0; k < 3; ++k)
                s[k][p] = static_cast<uint8_t>((blocks[k][j] + t[k][p]) / 2);
        }
    }

    CopyPlanes(s[0], s[1], s[2], t[0], t[1], t[2], w, h);
    MergeFrom(doc, t);
    context.EndEffect();
}

} // namespace korvanti::reference

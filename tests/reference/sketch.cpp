// The rough sketch: a grey emboss, thresholded and speckled with the C
// library's random sequence, then blended block by block with the block one
// block row up and s blocks to the left. (The charcoal sketch shares the
// Laplacians' loop, in convolution.cpp.)
#include <vector>

#include "reference_effects.h"
#include "reference_steps.h"

namespace korvanti::reference {

void RoughSketch(EffectContext& context)
{
    Document& doc = context.doc;
    StartRun(context); // the emboss pass writes into zero-filled result planes
    PlaneSet s = Sources(doc), t = Targets(doc);
    const int32_t w = doc.plane_width, h = doc.plane_height;
    const int64_t pixels = int64_t{w} * h;

    // Emboss pass, grey.
    ForEachElement(context, 1, h - 1, 1, w - 1, [&](int64_t p, int32_t c, int32_t r) {
        for (int k = 0; k < 3; ++k)
            t[k][p] = EmbossValue(KernelSum(kEmbossKernel, s[k], w, c, r));
        GreyPixel(t[0], t[1], t[2], p);
    });

    // Threshold and speckle: one draw per element, shared by its channels;
    // no progress and no messages.
    for (int64_t p = 1; p <= pixels; ++p) {
        const int d = ((context.Random().Next() & 0xFF) / 10) / 10;
        for (int k = 0; k < 3; ++k)
            t[k][p] = t[k][p] < 135 ? 255 : static_cast<uint8_t>(t[k][p] + d);
    }
    context.row_cursor = static_cast<int32_t>(pixels + 1);

    // From here on both plane triples hold the speckled picture.
    CopyPlanes(t[0], t[1], t[2], s[0], s[1], s[2], w, h);

    // Block sampling into slots s apart per block row. The stride is about
    // a quarter of the width while block columns run to half of it, so two
    // blocks share each slot and the later one wins.
    const int64_t slot_stride = (doc.loaded_width / 2) / 2;
    const int64_t slots = 4 * ((slot_stride * (doc.loaded_height / 2)) / 2 + slot_stride);
    std::vector<uint8_t> blocks[3];
    for (auto& block : blocks)
        block.assign(static_cast<size_t>(slots), 0);
    ForEachElement(context, 0, h - 2, 0, w - 2, [&](int64_t p, int32_t c, int32_t r) {
        const int64_t j = (r / 2) * slot_stride + (c / 2);
        if (r % 2 == 0 && c % 2 == 0 && j < slots)
            for (int k = 0; k < 3; ++k)
                blocks[k][j] = s[k][p];
    });

    // Blending, pumping messages at every block step. A Cancel handled
    // there skips that step's blend and ends the pass.
    bool cancelled = false;
    for (context.row_cursor = 0; !cancelled && context.row_cursor <= h - 9; context.row_cursor += 2) {
        const int32_t r = context.row_cursor;
        for (int32_t c = 0; c <= w - 9; c += 2) {
            context.column_cursor = c;
            context.ProcessMessages();
            if ((cancelled = context.row_cursor != r))
                break;
            const int64_t p = int64_t{r} * w + c;
            context.SetProgress(36 * (p / 2));
            const int64_t j = (r / 2) * slot_stride + (c / 2);
            if (j < slots)
                for (int k = 0; k < 3; ++k)
                    s[k][p] = static_cast<uint8_t>((blocks[k][j] + t[k][p]) / 2);
        }
    }

    CopyPlanes(s[0], s[1], s[2], t[0], t[1], t[2], w, h);
    MergeFrom(doc, t);
    context.EndEffect();
}

} // namespace korvanti::reference

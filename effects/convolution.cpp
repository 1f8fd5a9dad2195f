// Sharpen, blur, emboss and the two Laplacian edge filters: a 3x3 kernel
// over each channel plane, rows and columns ascending, channels 0 to 2.
#include <algorithm>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "effects/row_stage.h"
#include "effects/effect_runs.h"
#include "engine/row_kernels.h"

namespace korvanti {
namespace {

// The Laplacian filters write each element's grey mean straight back into
// source channel 0, so later channel-0 neighbourhoods read results. Rows
// are computed a band at a time and written back one by one, each followed
// by the usual progress and messages; the picture takes channel 0 as grey,
// each finished row at once and the elements no row wrote at the end.
void Laplacian(EffectContext& context, rows::Neighbours neighbours)
{
    Document& doc = context.doc;
    StartRun(context, UndoCopy::Swap, PlaneUse::Sources);
    PlaneSet s = Sources(doc);
    const int32_t w = doc.plane_width;
    const int32_t last = doc.plane_height - 1;
    const int64_t stride = RowStride(w);
    uint8_t* pixels = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    rows::LaplacianBand band;
    int32_t band_first = 0, band_rows = 0;
    const int32_t rows_done = ForEachRow(context, 1, last, [&](int32_t r) {
        if (r >= band_first + band_rows) {
            band_first = r;
            band_rows = std::min(rows::LaplacianBand::kRows, last - r + 1);
            rows::Laplacian(s.data(), band_first, band_rows, w, neighbours, band);
        }
        if (w > 1) {
            const uint8_t* result = band.Result(r - band_first) + 1;
            std::memcpy(s[0] + int64_t{r} * w + 1, result, static_cast<size_t>(w - 1));
            rows::WriteGrey(result, pixels + r * stride, w - 1); // elements r x W + 1.. are pixels 0.. of row r
        }
    });
    ForEachUnwrittenRun(doc, 1, rows_done, 1, w - 1,
                        [&](int64_t begin, int64_t end) { MergeGreyRange(doc, s[0], begin, end); });
    context.EndEffect();
}

} // namespace

namespace {

void SharpenClamped(const uint8_t* src, uint8_t* out, int64_t first, int64_t count, int64_t w)
{
    rows::Sharpen(src, out, first, count, w, rows::Overflow::Clamp);
}

} // namespace

// Rows and columns 1 to H - 2 and W - 2, clamped to 0..255.
const RowForm kSharpenRows{nullptr, SharpenClamped, kInterior};
void Sharpen(EffectContext& context) { RunFilterEffect(context, kSharpenRows.border, kSharpenRows.filter); }

// Rows and columns 1 to H - 1 and W - 1.
const RowForm kBlurRows{nullptr, rows::Blur, Border{1, 0}};
void Blur(EffectContext& context) { RunFilterEffect(context, kBlurRows.border, kBlurRows.filter); }

// Works on the stored pixels directly: the pass over plane rows 1 to H - 1,
// columns 1 to W - 1, computes pixels 0 to W - 2 of stored rows 1 to H - 1
// (see StoredRows). Row 0, the last pixel of each row and rows left by a
// Cancel keep the picture as it was.
void Emboss(EffectContext& context)
{
    Document& doc = context.doc;
    context.BeginEffect(PlaneUse::None);
    context.SaveUndoBySwap();
    const int32_t w = doc.plane_width;
    const int32_t h = doc.plane_height;
    const int64_t stride = RowStride(w);
    const Bytes& before = context.PictureBeforeRun();
    const StoredRows stored(doc, before);
    const uint8_t* source = stored.Row(0);
    uint8_t* target = doc.file_bytes.data() + PixelOffset(doc.file_bytes.data());
    // Without an undo copy the rows are done in place: row r's result waits
    // in a spare row until row r + 1, the last to read row r, is done (no
    // row reads more of row r - 1 than its last pixel, which never changes).
    const bool in_place = &before == &doc.file_bytes;
    const int64_t row_bytes = 3 * int64_t{w};
    std::vector<uint8_t> spare(in_place ? static_cast<size_t>(2 * row_bytes) : 0);
    const auto spare_row = [&](int32_t r) { return spare.data() + (r & 1) * row_bytes; };
    const auto put_spare_row = [&](int32_t r) {
        std::memcpy(target + r * stride, spare_row(r), static_cast<size_t>(row_bytes - 3));
    };
    if (!in_place)
        std::memcpy(target, source, static_cast<size_t>(row_bytes));
    // With the undo copy each row reads only the picture from before the
    // run, so the rows go to the worker threads; rows a Cancel leaves are
    // copied back below.
    const auto row = [&](int32_t r) {
        uint8_t* out = in_place ? spare_row(r) : target + r * stride;
        stored.ForEmbossNeighbours(r, [&](const uint8_t* lower_left, const uint8_t* upper_right, int64_t first,
                                        int64_t count) {
            rows::EmbossPixels(lower_left, upper_right, out + 3 * first, count);
        });
        if (in_place && r > 1)
            put_spare_row(r - 1);
        if (!in_place)
            std::memcpy(out + row_bytes - 3, source + r * stride + row_bytes - 3, 3);
    };
    const int32_t rows_done =
        in_place ? ForEachRow(context, 1, h - 1, row) : ForEachRowInParallel(context, 1, h - 1, row, kRowsPutBackByCaller);
    if (in_place && rows_done > 0)
        put_spare_row(rows_done);
    for (int64_t y = int64_t{rows_done} + 1; !in_place && y < h; ++y)
        std::memcpy(target + y * stride, source + y * stride, static_cast<size_t>(row_bytes));
    context.EndEffect();
}

void LaplacianStrong(EffectContext& context) { Laplacian(context, rows::Neighbours::Edges); }
void LaplacianWeak(EffectContext& context) { Laplacian(context, rows::Neighbours::All); }

} // namespace korvanti

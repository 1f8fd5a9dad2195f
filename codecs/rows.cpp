// Flattening and turning rows for the decoders.
#include "codecs/rows.h"

namespace korvanti::codecs {

void FlattenRow(const uint8_t* bgra, uint8_t* bgr, int64_t width)
{
    for (int64_t x = 0; x < width; ++x) {
        const unsigned alpha = bgra[4 * x + 3];
        for (int c = 0; c < 3; ++c)
            bgr[3 * x + c] = OverWhite(bgra[4 * x + c], alpha);
    }
}

void PlaceTurned(const uint8_t* source, int64_t width, int64_t height, int64_t stride, int orientation,
                 Bytes& bitmap)
{
    // Source column and row of output pixel (x, y) as origin + x * along +
    // y * down, per orientation.
    struct Walk {
        int64_t origin_x, origin_y, along_x, along_y, down_x, down_y;
    };
    const int64_t r = width - 1;
    const int64_t b = height - 1;
    static_assert(sizeof(Walk) == 48);
    const Walk walks[] = {
        {0, 0, 1, 0, 0, 1},   {r, 0, -1, 0, 0, 1},  {r, b, -1, 0, 0, -1}, {0, b, 1, 0, 0, -1},
        {0, 0, 0, 1, 1, 0},   {0, b, 0, -1, 1, 0},  {r, b, 0, -1, -1, 0}, {r, 0, 0, 1, -1, 0},
    };
    const Walk& walk = walks[orientation >= 1 && orientation <= 8 ? orientation - 1 : 0];
    const int64_t out_width = SwapsSides(orientation) ? height : width;
    const int64_t out_height = SwapsSides(orientation) ? width : height;
    const int64_t out_stride = RowStride(out_width);
    const int64_t step = walk.along_y * stride + walk.along_x * 3;
    for (int64_t y = 0; y < out_height; ++y) {
        uint8_t* row = bitmap.data() + kHeaderBytes + (out_height - 1 - y) * out_stride;
        const uint8_t* pixel = source + (walk.origin_y + y * walk.down_y) * stride + (walk.origin_x + y * walk.down_x) * 3;
        for (int64_t x = 0; x < out_width; ++x, pixel += step) {
            row[3 * x] = pixel[0];
            row[3 * x + 1] = pixel[1];
            row[3 * x + 2] = pixel[2];
        }
    }
}

FileProblem StoppedProblem() { return {FileProblemKind::Interrupted}; }

} // namespace korvanti::codecs

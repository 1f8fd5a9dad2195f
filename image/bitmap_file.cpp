// The header record of the open picture: default fields and sizes.
#include "image/bitmap_file.h"

namespace korvanti {

BitmapFile::BitmapFile() { ResetHeader(1, 1, 24); }

void BitmapFile::ResetHeader(int32_t height, int32_t width, uint16_t bits)
{
    // Same arithmetic as the stored fields: 32-bit and wrapping for sizes
    // no loadable file can have.
    const uint32_t pixel_bytes = static_cast<uint32_t>(height) * static_cast<uint32_t>(width) * 3u;
    file_type = kBitmapMagic;
    file_size = pixel_bytes + 54u;
    reserved1 = 0;
    reserved2 = 0;
    pixel_offset = 54;
    info_size = 40;
    header_width = width;
    header_height = height;
    planes = 1;
    bit_count = bits;
    compression = 0;
    image_size = pixel_bytes;
    x_resolution = 0;
    y_resolution = 0;
    colours_used = 0;
    colours_important = 0;
}

// The record once also kept a width x height x 3 pixel buffer here that
// nothing ever read or wrote; it is not allocated any more.
void BitmapFile::SetWidth(int32_t width)
{
    width_ = width;
    ResetHeader(height_, width_, 24);
}

void BitmapFile::SetHeight(int32_t height)
{
    height_ = height;
    ResetHeader(height_, width_, 24);
}

} // namespace korvanti

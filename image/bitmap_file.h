// The header record of the one open picture: standard BMP file and info
// header fields for the current size, plus the width, height and path.
#pragma once

#include <cstdint>
#include <string>

#include "image/bmp_layout.h"

namespace korvanti {

class BitmapFile {
public:
    BitmapFile();

    // Fills the standard header fields for a picture of the given size.
    // Changes neither the width and height fields nor anything else.
    void ResetHeader(int32_t height, int32_t width, uint16_t bit_count);

    void SetWidth(int32_t width);
    void SetHeight(int32_t height);
    int32_t GetWidth() const { return width_; }
    int32_t GetHeight() const { return height_; }
    const std::string& GetFileName() const { return file_name_; }
    void SetFileName(const std::string& path) { file_name_ = path; }

    // Standard header fields, in their file order. Bookkeeping only: saving
    // writes the header bytes exactly as they were loaded.
    uint16_t file_type = 0;
    uint32_t file_size = 0;
    uint16_t reserved1 = 0;
    uint16_t reserved2 = 0;
    uint32_t pixel_offset = 0;
    uint32_t info_size = 0;
    int32_t header_width = 0;
    int32_t header_height = 0;
    uint16_t planes = 0;
    uint16_t bit_count = 0;
    uint32_t compression = 0;
    uint32_t image_size = 0;
    uint32_t x_resolution = 0;
    uint32_t y_resolution = 0;
    uint32_t colours_used = 0;
    uint32_t colours_important = 0;

private:
    int32_t height_ = 1;
    int32_t width_ = 1;
    std::string file_name_;
};

} // namespace korvanti

// Small pictures for the format tests, written with libtiff and libwebp
// themselves: TIFF pages of every layout, WebP stills and animations, and
// the top-down RGB form the tests compare decoded pictures in.
#pragma once

#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <array>
#include <cstring>
#include <tuple>

#include "bitmap.h"
#include "files.h"
#include "image/bmp_layout.h"

namespace korvanti::testing {

// A small picture, rows top-down, RGB.
struct Rgb {
    int w = 0;
    int h = 0;
    Bytes rgb;
};

inline const Rgb kSmall{3, 2, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160, 170, 180}};

// w x h pixels of colour, and of right_colour from column split on.
inline Rgb Flat(int w, int h, std::array<uint8_t, 3> colour, int split = 0, std::array<uint8_t, 3> right_colour = {})
{
    Rgb picture{w, h, {}};
    for (int i = 0; i < w * h; ++i) {
        const auto& c = split > 0 && i % w >= split ? right_colour : colour;
        picture.rgb.insert(picture.rgb.end(), c.begin(), c.end());
    }
    return picture;
}

// kSmall with each pixel given an alpha (RGBA), or premultiplied by it.
inline Bytes WithAlpha(const Rgb& picture, const std::vector<uint8_t>& alpha, bool premultiplied = false)
{
    Bytes rgba;
    for (size_t i = 0; i < alpha.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            const unsigned v = picture.rgb[i * 3 + size_t(c)];
            rgba.push_back(uint8_t(premultiplied ? (v * alpha[i] + 127) / 255 : v));
        }
        rgba.push_back(alpha[i]);
    }
    return rgba;
}

// The pixels of a BMP file top-down, RGB.
inline Rgb TopDown(const Bytes& bitmap)
{
    Rgb picture{int(bitmap[18] | bitmap[19] << 8), int(bitmap[22] | bitmap[23] << 8), {}};
    const int64_t stride = RowStride(picture.w);
    for (int64_t y = picture.h - 1; y >= 0; --y)
        for (int64_t x = 0; x < picture.w; ++x)
            for (int c = 2; c >= 0; --c)
                picture.rgb.push_back(bitmap[size_t(54 + y * stride + x * 3 + c)]);
    return picture;
}

// 8-bit samples widened to 16 bits (v * 257), the first made first.
inline Bytes Samples16(const Bytes& values, uint16_t first)
{
    std::vector<uint16_t> wide(values.begin(), values.end());
    for (uint16_t& v : wide)
        v = uint16_t(v * 257);
    wide[0] = first;
    Bytes bytes(wide.size() * 2);
    std::memcpy(bytes.data(), wide.data(), bytes.size());
    return bytes;
}

// How MakeTiff writes a page: samples are the stored rows, tight, top-down.
struct TiffPage {
    uint32_t w = 3, h = 2;
    uint16_t bits = 8, samples = 3, photometric = PHOTOMETRIC_RGB, compression = COMPRESSION_NONE;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t alpha = 0; // EXTRASAMPLE_ASSOCALPHA or _UNASSALPHA for the last sample
    bool tiled = false;
    Bytes data;
};

inline Bytes MakeTiff(const fs::path& path, const TiffPage& page, int pages = 1)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    for (int p = 0; p < pages; ++p) {
        const std::pair<uint32_t, int> fields[] = {{TIFFTAG_IMAGEWIDTH, page.w}, {TIFFTAG_IMAGELENGTH, page.h},
            {TIFFTAG_BITSPERSAMPLE, page.bits}, {TIFFTAG_SAMPLESPERPIXEL, page.samples},
            {TIFFTAG_PHOTOMETRIC, page.photometric}, {TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG},
            {TIFFTAG_COMPRESSION, page.compression}, {TIFFTAG_ORIENTATION, page.orientation}};
        for (const auto& [tag, value] : fields)
            TIFFSetField(tif, tag, value);
        if (page.alpha != 0)
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &page.alpha);
        if (page.photometric == PHOTOMETRIC_PALETTE) {
            std::vector<uint16_t> map(256 * 3);
            for (int i = 0; i < 256; ++i)
                map[size_t(i)] = uint16_t(i * 257), map[size_t(256 + i)] = uint16_t((255 - i) * 257), map[size_t(512 + i)] = 0;
            TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + 256, map.data() + 512);
        }
        if (page.photometric == PHOTOMETRIC_YCBCR) {
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        if (pages > 1)
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        const size_t line = (size_t(page.w) * page.samples * page.bits + 7) / 8;
        if (page.tiled) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
            Bytes tile(16 * 16 * page.samples * page.bits / 8, 0);
            for (uint32_t y = 0; y < page.h; ++y)
                std::memcpy(tile.data() + y * 16 * page.samples * page.bits / 8, page.data.data() + y * line, line);
            TIFFWriteTile(tif, tile.data(), 0, 0, 0, 0);
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, page.h);
            for (uint32_t y = 0; y < page.h; ++y)
                TIFFWriteScanline(tif, const_cast<uint8_t*>(page.data.data() + y * line), y, 0);
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ReadFile(path);
}

// A TIFF structure holding only an orientation tag, as Decoded::exif holds it.
inline Bytes ExifWithOrientation(uint8_t orientation)
{
    return {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, orientation, 0, 0, 0, 0};
}

// Through libwebp's one-call encoders: lossless RGB or RGBA, or lossy RGB.
inline Bytes LosslessWebp(const Rgb& picture, const Bytes& rgba = {}, bool lossy = false)
{
    uint8_t* out = nullptr;
    const int w = picture.w, h = picture.h;
    const size_t size = lossy          ? WebPEncodeRGB(picture.rgb.data(), w, h, w * 3, 90, &out)
                        : rgba.empty() ? WebPEncodeLosslessRGB(picture.rgb.data(), w, h, w * 3, &out)
                                       : WebPEncodeLosslessRGBA(rgba.data(), w, h, w * 4, &out);
    Bytes file(out, out + size);
    WebPFree(out);
    return file;
}

inline Bytes LossyWebp(const Rgb& picture) { return LosslessWebp(picture, {}, true); }

// Two lossless frames: first, then first inverted.
inline Bytes AnimatedWebp(const Rgb& first)
{
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(first.w, first.h, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    Rgb second = first;
    for (uint8_t& v : second.rgb)
        v = uint8_t(255 - v);
    int timestamp = 0;
    for (const Rgb* frame : std::initializer_list<const Rgb*>{&first, &second}) {
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.width = first.w, picture.height = first.h, picture.use_argb = 1;
        WebPPictureImportRGB(&picture, frame->rgb.data(), first.w * 3);
        WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
        WebPPictureFree(&picture);
        timestamp += 100;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data{nullptr, 0};
    WebPAnimEncoderAssemble(encoder, &data);
    Bytes file(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return file;
}

// A little-endian TIFF whose header claims width x height of uncompressed
// RGB with its one strip missing.
inline Bytes HeaderOnlyTiff(uint32_t width, uint32_t height)
{
    Bytes b{'I', 'I', 42, 0, 8, 0, 0, 0};
    const std::vector<std::tuple<uint16_t, uint16_t, uint32_t>> entries{
        {256, 4, width}, {257, 4, height}, {258, 3, 8}, {262, 3, 2}, {273, 4, 4096}, {277, 3, 3}, {278, 4, height},
        {279, 4, width * 3 * height}};
    b.push_back(uint8_t(entries.size()));
    b.push_back(0);
    for (const auto& [tag, type, value] : entries) {
        const uint8_t entry[12] = {uint8_t(tag), uint8_t(tag >> 8), uint8_t(type), 0, 1, 0, 0, 0,
                                   uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
        b.insert(b.end(), entry, entry + 12);
    }
    b.insert(b.end(), 4, 0);
    return b;
}

} // namespace korvanti::testing

// Small pictures of every type the window opens, for the photo tests: a BMP,
// the same pixels through the codecs' own encoders with a colour profile and
// an EXIF orientation of 6, and the HEIC and AVIF samples of the batch tests.
#pragma once

#include <span>

#include <QColorSpace>
#include <QString>

#include "codecs/codecs.h"
#include "../support/bitmap.h"
#include "../support/files.h"

namespace korvanti::testing {

struct PhotoSample {
    codecs::Format format;
    QString name;
    QString panel;   // the file format panel once it is open
    int32_t width;   // as shown: turned by the EXIF orientation where the type reads it
    int32_t height;
};

inline const PhotoSample kPhotoSamples[] = {
    {codecs::Format::Bmp, QStringLiteral("p.bmp"), QStringLiteral("ファイル形式：ビットマップ(24Bit)"), 13, 9},
    {codecs::Format::Jpeg, QStringLiteral("p.jpg"), QStringLiteral("ファイル形式：JPEG"), 9, 13},
    {codecs::Format::Png, QStringLiteral("p.png"), QStringLiteral("ファイル形式：PNG"), 9, 13},
    {codecs::Format::Webp, QStringLiteral("p.webp"), QStringLiteral("ファイル形式：WebP"), 9, 13},
    {codecs::Format::Tiff, QStringLiteral("p.tif"), QStringLiteral("ファイル形式：TIFF"), 13, 9},
    {codecs::Format::Heic, QStringLiteral("p.heic"), QStringLiteral("ファイル形式：HEIC"), 16, 8},
    {codecs::Format::Avif, QStringLiteral("p.avif"), QStringLiteral("ファイル形式：AVIF"), 16, 8},
};

// The photo types alone.
inline std::span<const PhotoSample> Photos() { return std::span(kPhotoSamples).subspan(1); }

inline Bytes TestData(const char* name) { return ReadFile(fs::path(KORVANTI_TEST_DATA) / name); }

// An EXIF block (a TIFF structure) holding only an orientation.
inline Bytes ExifWithOrientation(uint8_t orientation)
{
    return {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, orientation, 0, 0, 0, 0};
}

// A real colour profile, that every format's library takes: Qt's sRGB.
inline const Bytes& SampleIcc()
{
    static const Bytes icc = [] {
        const QByteArray profile = QColorSpace(QColorSpace::SRgb).iccProfile();
        return Bytes(profile.begin(), profile.end());
    }();
    return icc;
}

// The pixels every sample but the HEIF ones is made from.
inline Bytes SampleBitmap() { return MakeBmp(Varied(13, 9, 5)); }

// The sample of format; a WebP lossless unless lossy.
inline Bytes SampleFile(codecs::Format format, bool lossy = false)
{
    if (format == codecs::Format::Heic)
        return TestData("rb.heic");
    if (format == codecs::Format::Avif)
        return TestData("rb.avif");
    const Bytes bitmap = SampleBitmap();
    if (format == codecs::Format::Bmp)
        return bitmap;
    const codecs::BitmapRows rows{bitmap.data() + 54, 13, 9, RowStride(13)};
    Bytes out;
    (void)codecs::Encode(format, rows, {95, !lossy}, SampleIcc(), ExifWithOrientation(6), out);
    return out;
}

// A file decoded as the window decodes it.
inline codecs::Decoded DecodedFile(const Bytes& file)
{
    codecs::Decoded decoded;
    (void)codecs::Decode(codecs::SniffFormat(file), file, decoded);
    return decoded;
}

} // namespace korvanti::testing

// Picture files of every type the program reads, into a document and out of
// it: the steps the window and the batch tool share. A photo is decoded into
// the bytes of the 24-bit BMP file of the same picture and adopted by the
// document with a BMP file's checks; a result is encoded and saved in one
// step by the core's save.
#pragma once

#include <span>
#include <string>

#include "codecs/codecs.h"
#include "image/document.h"

namespace korvanti::codecs {

// The quality a picture is written at in a lossy format (JPEG, lossy WebP)
// when none is asked for: by the window always, by the batch tool without
// --quality.
inline constexpr int kDefaultQuality = 92;

// What a picture keeps besides its pixels, for writing it again.
struct PhotoTraits {
    Format format = Format::Bmp;   // BMP, or the photo format it was decoded from
    Bytes icc;                     // the colour profile, if it had one
    Bytes exif;                    // the EXIF block, orientation set to 1
    bool lossless = false;         // a lossless WebP
    bool alpha_composited = false; // transparency was flattened over white
    std::string note;              // the decoder's note, in words
};

// The type a file is read as, by its first bytes: a photo format the
// decoders take, else BMP (the BMP load refuses what is no picture at all,
// with its cause).
Format ReadFormatOf(std::span<const uint8_t> head);

// Decodes file (a whole photo in format) and hands the picture to document
// under name. file is released before the document takes the picture, so
// the two are never held at once beyond the decode. On a refusal the
// document and traits are unchanged.
FileProblem AdoptPhoto(Document& document, Bytes&& file, Format format, const std::string& name, PhotoTraits& traits,
                       const DecodeOptions& options = {});

// Opens path and loads it into document as ReadFormatOf says: a BMP as
// Document::LoadBitmap loads it, a photo read whole and adopted.
FileProblem LoadPictureFile(Document& document, const std::string& path, PhotoTraits& traits,
                            const DecodeOptions& options = {});

// The formats a picture may be written in: BMP and the ones Encode writes.
inline bool CanWrite(Format format) { return format == Format::Bmp || CanEncode(format); }

// The document's picture encoded in format (one CanEncode takes), carrying
// icc and exif where the format holds them.
FileProblem EncodeDocument(const Document& document, Format format, const EncodeSettings& settings,
                           std::span<const uint8_t> icc, std::span<const uint8_t> exif, Bytes& out);

// Writes the document's picture to path in format through the core's
// save (temporary, sync, rename): a BMP exactly as Document::SaveBitmap
// writes it, a photo encoded first. A format not written is refused
// (EncodeFailed). written, when given, receives the size of the file.
FileProblem SavePictureFile(const Document& document, const std::string& path, Format format,
                            const EncodeSettings& settings, std::span<const uint8_t> icc,
                            std::span<const uint8_t> exif, int64_t* written = nullptr);

} // namespace korvanti::codecs

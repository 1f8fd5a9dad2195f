// Reading and writing the picture formats besides BMP for the batch tool.
// A JPEG or PNG is decoded into the bytes of the 24-bit BMP file of the
// same picture, and the document gets exactly what opening that file would
// give it, so the effects see no difference. BMP files go to the core as
// they always have.
#pragma once

#include <string>

#include "codecs/format.h"
#include "image/document.h"

namespace korvanti::batch {

struct OutputSettings {
    codecs::Format format = codecs::Format::Unknown; // --format; Unknown: by the output name
    int quality = 92;                                // JPEG only
    bool quiet = false;                              // no notes
};

// What the batch tool keeps of an input besides its pixels.
struct PictureInput {
    codecs::Format format = codecs::Format::Bmp;
    codecs::Bytes icc;
    std::string note;    // said once on stderr (unless quiet), e.g. about transparency
    std::string refusal; // why a JPEG or PNG was refused; empty otherwise
    bool out_of_memory = false;
};

// The format of the file at path by its first bytes: JPEG, PNG, or else
// BMP (whatever is no picture at all is the BMP load's to refuse).
codecs::Format SniffPicture(const std::string& path);

// Loads path, whose format SniffPicture gave, into document. Returns
// LoadBitmap's codes; on a refusal the document is unchanged and
// picture.refusal (a JPEG or PNG the codec refused) or else the document's
// LastProblem says why.
int LoadPicture(Document& document, const std::string& path, codecs::Format format, PictureInput& picture,
                bool quiet);

// The format a result is written in: --format, else the output name's
// extension, else the input's own format.
codecs::Format OutputFormatFor(const std::string& output, const OutputSettings& settings, codecs::Format input);

// Writes the document's picture to path in format, atomically (the core's
// BMP save does the writing). Returns the bytes written or a negative code
// of SaveBitmap; error says why an encoder failed.
// problem says why the save itself failed.
int SavePicture(Document& document, const std::string& path, codecs::Format format, int quality,
                const codecs::Bytes& icc, std::string& error, FileProblem& problem);

} // namespace korvanti::batch

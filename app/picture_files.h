// Between the core's document and Qt: file names in the local encoding, the
// picture the view shows made from the document's bytes, and the scratch
// copy written beside the program.
#pragma once

#include <string>
#include <thread>

#include <QImage>
#include <QString>

#include "image/document.h"
#include "image/planes.h"

namespace korvanti {

std::string LocalPath(const QString& path);
QString DisplayPath(const std::string& path);

// Decodes the document's whole file for the view; throws when even the
// retry with a plain header fails.
QImage DecodePicture(const Bytes& file_bytes);

// The document's picture as the view shows it, made straight from the pixel
// rows in memory (bottom-up, blue-green-red) into a picture of its own: the
// same pixels and format DecodePicture gives, without decoding the file.
// Writes into reuse when it is the right size and nobody else holds it.
QImage PictureOf(const Document& document, QImage reuse = QImage());

// Writes scratch copies on a thread of its own. Write() takes a snapshot of
// the bytes before it returns, so the document may change at once; each
// write, and the destructor, first waits for the one before.
class ScratchWriter {
public:
    ScratchWriter() = default;
    ScratchWriter(const ScratchWriter&) = delete;
    ScratchWriter& operator=(const ScratchWriter&) = delete;
    ~ScratchWriter() { Wait(); }

    void Write(const Bytes& file_bytes, const std::string& path, bool in_background);
    void Wait();

private:
    // Only its file_bytes are used; between Write() and Wait() the thread
    // alone touches it.
    Document snapshot_;
    std::thread thread_;
};

} // namespace korvanti

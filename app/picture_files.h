// Between the core's document and Qt: file names in the local encoding, the
// picture the view shows made from the document's bytes, and the scratch
// copy written beside the program.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <QImage>
#include <QString>

#include "image/document.h"
#include "image/planes.h"

namespace korvanti {

std::string LocalPath(const QString& path);
QString DisplayPath(const std::string& path);

// The document's picture as the view shows it, made straight from the pixel
// rows in memory (bottom-up, blue-green-red) into an RGB32 picture of its
// own, at any size the core accepts. Writes into reuse when it is the right
// size and nobody else holds it. A null picture when there is no memory for
// it (or the bytes are not a picture the core accepts).
QImage PictureOf(const Document& document, QImage reuse = QImage());

// A 24-bit BMP file of image's pixels, any transparency laid over white;
// empty when the file would pass the core's limit or memory runs out.
Bytes BitmapOf(const QImage& image);

// Writes scratch copies on a thread of its own. In the background, Write()
// returns at once and the thread first takes a snapshot of the bytes: the
// bytes must not change until WaitUntilTaken() has returned (the window
// calls it before anything changes its document). Each write, and the
// destructor, first waits for the one before.
class ScratchWriter {
public:
    ScratchWriter() = default;
    ScratchWriter(const ScratchWriter&) = delete;
    ScratchWriter& operator=(const ScratchWriter&) = delete;
    ~ScratchWriter() { Wait(); }

    void Write(const Bytes& file_bytes, const std::string& path, bool in_background);
    // Returns once the last write's snapshot is taken.
    void WaitUntilTaken();
    void Wait();

private:
    // Only its file_bytes are used; between Write() and Wait() the thread
    // alone touches it.
    Document snapshot_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable taken_changed_;
    bool taken_ = true;
};

} // namespace korvanti

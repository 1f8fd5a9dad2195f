// Between the core's document and Qt: file names in the local encoding, the
// picture the view shows made from the document's bytes, and the scratch
// copy written beside the program.
#include "app/picture_files.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include "codecs/format.h"
#include "codecs/rows.h"
#include "engine/worker_threads.h"
#include "image/simd.h"

namespace korvanti {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString DisplayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

namespace {

// count pixels of a stored row (blue, green, red) as 0xffRRGGBB, in a loop
// the compiler turns into wide shuffles.
KORVANTI_CLONES
void ShownRow(const uint8_t* __restrict from, QRgb* __restrict to, int64_t count)
{
    for (int64_t x = 0; x < count; ++x)
        to[x] = 0xff000000u | uint32_t{from[3 * x + 2]} << 16 | uint32_t{from[3 * x + 1]} << 8 | from[3 * x];
}

} // namespace

QImage PictureOf(const Document& document, QImage reuse)
{
    const Bytes& bytes = document.file_bytes;
    if (bytes.size() < static_cast<size_t>(kHeaderBytes))
        return QImage();
    // The file's own header says where the pixels are.
    const int64_t width = qFromLittleEndian<int32_t>(bytes.data() + 18);
    const int64_t height = qFromLittleEndian<int32_t>(bytes.data() + 22);
    const int64_t offset = PixelOffset(bytes.data());
    if (width <= 0 || height <= 0 || width > INT_MAX / 4 || height > INT_MAX / 4 || offset < kHeaderBytes ||
        offset + RowStride(static_cast<int32_t>(width)) * height > static_cast<int64_t>(bytes.size()))
        return QImage();
    const int64_t stride = RowStride(static_cast<int32_t>(width));
    QImage picture = std::move(reuse);
    // A picture someone else still holds is left to them.
    if (picture.size() != QSize(static_cast<int>(width), static_cast<int>(height)) ||
        picture.format() != QImage::Format_RGB32 || !picture.isDetached())
        picture = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    // Rows are stored bottom first; they go to the worker threads a piece
    // at a time.
    uchar* first_line = picture.bits();
    const qsizetype line_bytes = picture.bytesPerLine();
    auto rows = [&](int64_t begin, int64_t end) {
        for (int64_t y = begin; y < end; ++y)
            ShownRow(bytes.data() + offset + (height - 1 - y) * stride,
                     reinterpret_cast<QRgb*>(first_line + y * line_bytes), width);
    };
    ParallelFor(0, height, std::max<int64_t>(1, PieceElements() / width), rows);
    return picture;
}

Bytes BitmapOf(const QImage& image)
{
    const std::optional<int64_t> size = codecs::BitmapSize(image.width(), image.height());
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    if (!size || source.isNull())
        return {};
    Bytes bitmap;
    try {
        bitmap = codecs::NewBitmap(image.width(), image.height(), *size);
    } catch (const std::bad_alloc&) {
        return {};
    }
    const int64_t stride = RowStride(image.width());
    for (int y = 0; y < source.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uint8_t* to = bitmap.data() + kHeaderBytes + (source.height() - 1 - y) * stride;
        for (int x = 0; x < source.width(); ++x) {
            const auto alpha = static_cast<unsigned>(qAlpha(from[x]));
            to[3 * x] = codecs::OverWhite(static_cast<unsigned>(qBlue(from[x])), alpha);
            to[3 * x + 1] = codecs::OverWhite(static_cast<unsigned>(qGreen(from[x])), alpha);
            to[3 * x + 2] = codecs::OverWhite(static_cast<unsigned>(qRed(from[x])), alpha);
        }
    }
    return bitmap;
}

void ScratchWriter::Write(const Bytes& file_bytes, const std::string& path, bool in_background)
{
    Wait();
    if (!in_background) {
        snapshot_.file_bytes = file_bytes;
        [[maybe_unused]] const FileProblem problem = snapshot_.SaveScratchCopy(path);
        return;
    }
    taken_ = false;
    // The copy on disk is a by-product: a failure is not reported.
    thread_ = std::thread([this, &file_bytes, path] {
#ifdef __linux__
        // Behind the window's own thread: the copy is wanted, not urgent.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
#endif
        snapshot_.file_bytes = file_bytes; // keeps its capacity from write to write
        {
            const std::lock_guard lock(mutex_);
            taken_ = true;
        }
        taken_changed_.notify_all();
        [[maybe_unused]] const FileProblem problem = snapshot_.SaveScratchCopy(path);
    });
}

void ScratchWriter::WaitUntilTaken()
{
    std::unique_lock lock(mutex_);
    taken_changed_.wait(lock, [this] { return taken_; });
}

void ScratchWriter::Wait()
{
    if (thread_.joinable())
        thread_.join();
}

} // namespace korvanti

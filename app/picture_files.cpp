// Between the core's document and Qt: file names in the local encoding, and
// the picture the view shows decoded from the document's bytes.
#include "app/picture_files.h"

#include <stdexcept>

#include <QByteArray>
#include <QFile>

namespace korvanti {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString DisplayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// The header was checked when the file was loaded; a picture the decoder
// still declines is tried again with a plain 40-byte info header, since the
// pixel offset in the file header says where the pixels are either way.
QImage DecodePicture(const Bytes& file_bytes)
{
    const auto* data = reinterpret_cast<const char*>(file_bytes.data());
    const auto size = static_cast<qsizetype>(file_bytes.size());
    QImage picture = QImage::fromData(QByteArrayView(data, size), "BMP");
    if (picture.isNull() && file_bytes.size() >= static_cast<size_t>(kHeaderBytes)) {
        QByteArray plain(data, size);
        plain[14] = 40;
        plain[15] = plain[16] = plain[17] = 0;
        picture = QImage::fromData(plain, "BMP");
    }
    if (picture.isNull())
        throw std::runtime_error("画像を表示できません。");
    return picture;
}

} // namespace korvanti

// Between the core's document and Qt: file names in the local encoding, and
// the picture the view shows decoded from the document's bytes.
#pragma once

#include <string>

#include <QImage>
#include <QString>

#include "image/planes.h"

namespace korvanti {

std::string LocalPath(const QString& path);
QString DisplayPath(const std::string& path);

// Decodes the document's whole file for the view; throws when even the
// retry with a plain header fails.
QImage DecodePicture(const Bytes& file_bytes);

} // namespace korvanti

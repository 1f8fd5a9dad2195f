// The window's fixed texts and its font: captions, the help file's name and
// the Japanese P-Gothic every window of the program uses.
#pragma once

#include <QFont>
#include <QString>

namespace korvanti {

// The window font, by its Windows name; the application maps it to an
// installed Japanese P-Gothic face.
inline const QString kWindowFontFamily = QStringLiteral("ＭＳ Ｐゴシック");

// The window font at a pixel height.
inline QFont WindowFont(int pixels)
{
    QFont font(kWindowFontFamily);
    font.setPixelSize(pixels);
    return font;
}

// Captions: before any picture, after the picture's path while one is open,
// and after a close.
inline const QString kStartCaption = QStringLiteral("Korvanti Ver 1.0.0");
inline const QString kRunningSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");
inline const QString kClosedCaption = QStringLiteral("Korvanti ver 1.0.0");

// The name of a picture that has no file yet (pasted).
inline const QString kUntitledName = QStringLiteral("無題");

// The help file, found in the current folder or beside the program.
inline const QString kHelpFileName = QStringLiteral("korvanti_help.html");

} // namespace korvanti

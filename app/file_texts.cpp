// The window's words about files: type names, dialog filters and causes.
#include "app/file_texts.h"

#include <cerrno>

#include <QFileInfo>

#include "codecs/photo_file.h"

namespace korvanti {
namespace {

using codecs::Format;

const TypeFilter kBitmapFilter{Format::Bmp, QStringLiteral("Bitmap(*.bmp)"), {QStringLiteral("*.bmp")}};

const TypeFilter kWrittenFilters[] = {
    kBitmapFilter,
    {Format::Jpeg, QStringLiteral("JPEG (*.jpg *.jpeg)"), {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")}},
    {Format::Png, QStringLiteral("PNG (*.png)"), {QStringLiteral("*.png")}},
    {Format::Webp, QStringLiteral("WebP (*.webp)"), {QStringLiteral("*.webp")}},
    {Format::Tiff, QStringLiteral("TIFF (*.tif *.tiff)"), {QStringLiteral("*.tif"), QStringLiteral("*.tiff")}},
};

const TypeFilter kOpenFilters[] = {
    {Format::Unknown,
     QStringLiteral("画像ファイル (*.bmp *.jpg *.jpeg *.png *.webp *.tif *.tiff *.heic *.heif *.avif)"),
     {QStringLiteral("*.bmp"), QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.png"),
      QStringLiteral("*.webp"), QStringLiteral("*.tif"), QStringLiteral("*.tiff"), QStringLiteral("*.heic"),
      QStringLiteral("*.heif"), QStringLiteral("*.avif")}},
    kWrittenFilters[0],
    kWrittenFilters[1],
    kWrittenFilters[2],
    kWrittenFilters[3],
    kWrittenFilters[4],
    {Format::Heic, QStringLiteral("HEIC (*.heic *.heif)"), {QStringLiteral("*.heic"), QStringLiteral("*.heif")}},
    {Format::Avif, QStringLiteral("AVIF (*.avif)"), {QStringLiteral("*.avif")}},
};

// The reason a decoder gave, quoted, on one line.
QString Quoted(const std::string& reason)
{
    const QString words = QString::fromStdString(reason).simplified();
    return words.isEmpty() ? QString() : QStringLiteral("（%1）").arg(words);
}

QString CannotOpen(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("ファイルが見つかりません");
    case EACCES:
    case EPERM:
        return QStringLiteral("ファイルを読む権限がありません");
    default:
        return QStringLiteral("ファイルを開けません");
    }
}

} // namespace

std::span<const TypeFilter> OpenFilters() { return kOpenFilters; }

std::span<const TypeFilter> SaveFilters() { return kWrittenFilters; }

QString FormatPanelText(Format format)
{
    if (format == Format::Bmp)
        return QStringLiteral("ファイル形式：ビットマップ(24Bit)");
    return QStringLiteral("ファイル形式：") + QString::fromUtf8(codecs::NameOf(format));
}

QString CauseOf(const FileProblem& problem)
{
    using Kind = FileProblemKind;
    switch (problem.kind) {
    case Kind::None:
    case Kind::EmptyPath:
        return {};
    case Kind::CannotOpen:
        return CannotOpen(problem.error);
    case Kind::NotRegularFile:
        return problem.error == EISDIR ? QStringLiteral("フォルダです") : QStringLiteral("普通のファイルではありません");
    case Kind::ReadFailed:
        return QStringLiteral("読み取り中にエラーが起きました");
    case Kind::Empty:
        return QStringLiteral("空のファイルです");
    case Kind::NotBitmap:
        return QStringLiteral("画像ファイルではありません");
    case Kind::Truncated:
        return problem.amount > 0 ? QStringLiteral("ファイルが途中で切れています（%1 バイト不足）").arg(problem.amount)
                                  : QStringLiteral("ファイルが途中で切れています");
    case Kind::Changed:
        return QStringLiteral("読み込み中にファイルが書き換えられました");
    case Kind::HeaderDamaged:
        return QStringLiteral("ヘッダーが壊れています");
    case Kind::OldHeader:
        return QStringLiteral("OS/2 形式のビットマップには対応していません");
    case Kind::TopDown:
        return QStringLiteral("上下が逆に記録されたビットマップには対応していません");
    case Kind::BitDepth:
        return QStringLiteral("%1ビットのビットマップには対応していません（24ビットのみ）").arg(problem.amount);
    case Kind::Compressed:
        return QStringLiteral("圧縮されたビットマップには対応していません");
    case Kind::TooLarge:
        return QStringLiteral("画像が大きすぎます");
    case Kind::OutOfMemory:
        return QStringLiteral("メモリが足りません");
    case Kind::Damaged:
        return QStringLiteral("壊れています") + Quoted(problem.reason);
    case Kind::Interrupted:
        return QStringLiteral("中断されました");
    case Kind::EncodeFailed:
    case Kind::ReadOnlyFile:
    case Kind::CannotCreate:
    case Kind::WriteFailed:
        break;
    }
    return QStringLiteral("書き込めません");
}

Format WrittenTypeOfName(const QString& name)
{
    const QString suffix = QFileInfo(name).suffix();
    if (suffix.isEmpty() || suffix != suffix.toLower())
        return Format::Unknown;
    const Format format = codecs::FormatOfWord(suffix.toStdString());
    return codecs::CanWrite(format) ? format : Format::Unknown;
}

} // namespace korvanti

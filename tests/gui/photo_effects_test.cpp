// Effects on photos in the window: every effect of the catalogue on every
// photo type gives the bytes the batch tool gives for the same file, and
// undo, redo and the scratch copy work on them as on a BMP.
#include <QProcess>

#include "gui_test_support.h"
#include "photo_samples.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

using PhotoEffects = WindowTest;

// The name of each type's sample: a stem of its own, so that the batch
// tool's results (<stem>.bmp) do not meet.
QString SampleName(const PhotoSample& sample)
{
    return QString::fromUtf8(codecs::NameOf(sample.format)).toLower() + sample.name.mid(1);
}

TEST_F(PhotoEffects, EveryEffectOnEveryTypeGivesTheBatchToolsBytesAndUndoesAndRedoes)
{
    const QDir here(folder->path());
    QStringList inputs;
    for (const PhotoSample& sample : Photos()) {
        inputs << here.absoluteFilePath(SampleName(sample));
        WriteFile(inputs.back().toStdString(), SampleFile(sample.format));
    }
    // The tool's result of each effect on each file, as BMP files in a folder per effect.
    for (const EffectEntry& effect : EffectCatalogue()) {
        const QString out = here.absoluteFilePath(QString::fromUtf8(effect.batch_name));
        QProcess tool;
        tool.start(QStringLiteral(KORVANTI_BATCH_EXE),
                   QStringList{QStringLiteral("-q"), QStringLiteral("-e"), QString::fromUtf8(effect.batch_name),
                               QStringLiteral("-d"), out, QStringLiteral("--format"), QStringLiteral("bmp")} +
                       inputs);
        ASSERT_TRUE(tool.waitForFinished(60000));
        ASSERT_EQ(tool.exitCode(), 0) << effect.batch_name << ": " << tool.readAllStandardError().toStdString();
    }
    for (const PhotoSample& sample : Photos()) {
        const QString name = SampleName(sample);
        SCOPED_TRACE(name.toStdString());
        // A program of its own for each, as the tool is: the random effect
        // (rough-sketch) goes on with the sequence of the runs before it.
        StartWindow();
        Open(here.absoluteFilePath(name));
        const Bytes opened = window->document().file_bytes;
        for (const EffectEntry& effect : EffectCatalogue()) {
            SCOPED_TRACE(effect.batch_name);
            const Bytes expected = ReadFile(here.absoluteFilePath(QString::fromUtf8(effect.batch_name) + QLatin1Char('/') +
                                                                  name.section(QLatin1Char('.'), 0, 0) + QStringLiteral(".bmp"))
                                                .toStdString());
            Apply(std::string(effect.batch_name).c_str());
            EXPECT_EQ(window->document().file_bytes, expected);
            window->WaitForScratchCopy();
            EXPECT_EQ(ReadFile(window->scratch_path.toStdString()), expected);
            EXPECT_EQ(window->image_control()->Picture(), PictureOf(window->document()));
            window->Undo();
            EXPECT_EQ(window->document().file_bytes, opened);
            window->Redo();
            EXPECT_EQ(window->document().file_bytes, expected);
            window->Undo();
        }
        EXPECT_TRUE(boxes->shown.empty());
    }
}

} // namespace
} // namespace korvanti::testing

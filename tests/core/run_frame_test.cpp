// The run frame: progress, Cancel, the end of a run, undo and redo, and the
// byte arithmetic and random sequence it gives the effects.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "effects/catalogue.h"
#include "effects/effects.h"
#include "engine_bench.h"
#include "image/save_stream.h"

namespace korvanti::testing {
namespace {

Picture Noise(int32_t w, int32_t h, uint32_t seed)
{
    Picture p(w, h);
    uint32_t x = seed + 7;
    for (auto& v : p.bgr) {
        x = x * 1664525u + 1013904223u;
        v = uint8_t(x >> 24);
    }
    return p;
}

TEST(RunFrame, CompletedRunMovesProgressPerRowAndEndsIdle)
{
    Bench b(Noise(6, 5, 1));
    Sharpen(b.context);
    EXPECT_EQ(b.host.maximum, 6 * 5 + 1);
    // Reset to 0, rows 1 to 3 at width x row, back to 0 at the end.
    EXPECT_EQ(b.host.positions, (std::vector<int64_t>{0, 6, 12, 18, 0}));
    EXPECT_EQ(b.host.cancel_states, (std::vector<bool>{true, false}));
    EXPECT_EQ(std::tuple(b.host.pumps, b.host.finished, b.host.last_cancelled, b.doc.edit_count, b.context.Running()),
              std::tuple(3, 1, false, 2, false));

    Bench one(Picture(1, 1, 40));
    Blur(one.context);
    EXPECT_EQ(one.host.maximum, 2);
    EXPECT_EQ(one.doc.source_planes[0].size(), 1u + 1 + 2);
    EXPECT_EQ(one.host.pumps, 0) << "a 1 x 1 picture runs no row";
    EXPECT_EQ(one.doc.edit_count, 2);
}

// Cancel pressed at the pump after row `rows_done`: those rows carry the
// effect, later rows keep the picture, and the run ends as cancelled.
TEST(RunFrame, CancelStopsAtTheEndOfTheRowOnSquareWideAndTallPictures)
{
    for (auto [w, h, rows_done] : {std::tuple{8, 8, 2}, {20, 6, 1}, {5, 19, 4}}) {
        const Picture in = Noise(w, h, uint32_t(w * 31 + h));
        Bench full(in);
        Sharpen(full.context);
        const Picture done = full.Current();

        Bench b(in);
        b.host.cancel_at_pump = rows_done - 1;
        Sharpen(b.context);
        EXPECT_EQ(b.host.pumps, rows_done) << "the loop stops at the end of the current row";
        const Picture out = b.Current();
        for (int32_t r = 1; r <= h - 2; ++r)
            for (int32_t c = 1; c <= w - 2; ++c)
                for (int k = 0; k < 3; ++k)
                    EXPECT_EQ(out.element(r, c, k), (r <= rows_done ? done : in).element(r, c, k))
                        << w << "x" << h << " row " << r;
        EXPECT_EQ(std::tuple(b.host.last_cancelled, b.doc.edit_count, b.context.cancel_flag, b.doc.undo_enabled,
                             b.doc.redo_enabled),
                  std::tuple(true, 1, 0, true, false));
        b.doc.Undo();
        EXPECT_EQ(b.doc.file_bytes, MakeBmp(in)) << "undo restores the picture from before the cancelled run";
    }
}

TEST(RunFrame, CancelEndsOnlyTheCurrentPassOfAMultiPassEffect)
{
    const Picture in = Noise(12, 12, 3);
    Bench b(in);
    b.host.cancel_at_pump = 0; // first row of the median pass
    WatercolourStyle(b.context);
    // Pass 1 stopped after row 3; pass 2 still ran over rows 3 to 7.
    EXPECT_EQ(b.host.pumps, 1 + 5);
    EXPECT_TRUE(b.host.last_cancelled);
    EXPECT_EQ(b.doc.edit_count, 1);

    Bench pro(in);
    pro.host.cancel_at_pump = 3;
    ProWatercolour(pro.context);
    EXPECT_EQ(pro.host.pumps, 4 + 4 * 10) << "each later median pass runs in full";
    EXPECT_TRUE(pro.host.last_cancelled);
}

TEST(RunFrame, CancelOutsideARunAndRunsInsideARunAreIgnored)
{
    Bench b(Noise(6, 6, 4));
    b.context.Cancel();
    EXPECT_EQ(b.context.cancel_flag, 0);
    bool nested = true;
    b.host.on_pump = [&] {
        if (b.host.pumps == 1)
            nested = RunEffect(b.context, *FindEffect("invert"));
    };
    ASSERT_TRUE(RunEffect(b.context, *FindEffect("median")));
    EXPECT_FALSE(nested);
    EXPECT_FALSE(b.host.last_cancelled);
    EXPECT_EQ(b.doc.edit_count, 2);

    Document empty;
    RecordingHost host;
    CRand random;
    EffectContext idle(empty, host, random);
    EXPECT_FALSE(RunEffect(idle, *FindEffect("blur"))) << "no picture open";
    EXPECT_EQ(host.finished, 0);
}

// Undo and redo swap the picture from before the last effect with its
// result at every step of the window's model sequence; here: disabled
// commands, a second effect after an undo, and forgetting the undo copy.
TEST(UndoRedo, DisabledDoNothingAndForgetUndoDropsTheCopy)
{
    const Picture in = Noise(8, 8, 9);
    Bench b(in);
    b.doc.Redo();
    b.doc.Undo();
    EXPECT_EQ(b.doc.file_bytes, MakeBmp(in)) << "disabled commands do nothing";
    Invert(b.context);
    b.doc.Undo();
    EXPECT_FALSE(b.doc.undo_enabled);
    EXPECT_TRUE(b.doc.redo_enabled);
    Blur(b.context);
    b.doc.Undo();
    b.doc.Undo();
    EXPECT_EQ(b.doc.file_bytes, MakeBmp(in)) << "the blur worked on the restored picture";
    EXPECT_EQ(b.doc.edit_count, 3) << "undo and redo leave the edit count";
    b.doc.Redo();
    b.doc.ForgetUndo();
    const auto blurred = b.doc.file_bytes;
    b.doc.Undo();
    EXPECT_EQ(b.doc.file_bytes, blurred);
}

struct CollectingSink : ByteSink {
    Bytes bytes;
    void Put(const uint8_t* data, size_t size) override { bytes.insert(bytes.end(), data, data + size); }
};

// A host that may be pumped once an hour gets no pump and no progress
// position; a document without undo works in place; a picture opened for
// streaming streams its result. None changes a byte of any effect, finished or
// cancelled at a pump point.
TEST(RunFrame, PumpIntervalAndNoUndoKeepEveryResult)
{
    struct HourlyHost : RecordingHost {
        std::chrono::microseconds PumpInterval() const override { return std::chrono::hours(1); }
    };
    // The tall picture is more than one band of the in-place median.
    for (const EffectEntry& effect : EffectCatalogue()) {
        for (const auto& [in, cancel_at] : {std::pair{Noise(12, 9, 4), -1}, {Noise(12, 9, 4), 2}, {Noise(4, 150, 5), 140}}) {
            Bench with_undo(in), without_undo(in), hourly(in);
            without_undo.doc.keep_undo = false;
            with_undo.host.cancel_at_pump = without_undo.host.cancel_at_pump = cancel_at;
            HourlyHost host;
            EffectContext context(hourly.doc, host, hourly.random);
            RunEffect(with_undo.context, effect);
            RunEffect(without_undo.context, effect);
            RunEffect(context, effect);
            EXPECT_EQ(without_undo.doc.file_bytes, with_undo.doc.file_bytes) << effect.batch_name << " " << cancel_at;
            // Streamed from the file, the same bytes come out at the same pumps.
            Bench streamed(in);
            streamed.host.cancel_at_pump = cancel_at;
            ASSERT_TRUE(streamed.doc.OpenForStreaming(streamed.dir / "in.bmp").ok());
            EXPECT_FALSE(RunEffect(streamed.context, effect)) << "a picture opened for streaming is only streamed";
            CollectingSink sink;
            EXPECT_EQ(RunEffectStreamed(streamed.context, effect, sink), effect.stream != nullptr);
            if (effect.stream != nullptr) {
                EXPECT_EQ(sink.bytes, with_undo.doc.file_bytes) << effect.batch_name << " " << cancel_at;
                EXPECT_EQ(streamed.host.positions, with_undo.host.positions) << effect.batch_name;
            }
            EXPECT_EQ(host.pumps, 0) << effect.batch_name;
            EXPECT_EQ(std::count(host.positions.begin(), host.positions.end(), 0), host.positions.size());
            if (cancel_at < 0) {
                EXPECT_EQ(hourly.doc.file_bytes, with_undo.doc.file_bytes) << effect.batch_name;
            }
        }
    }
}

// A picture with more rows than the streaming run reads at a time (4 MiB).
TEST(RunFrame, StreamedRunsReadTallPicturesInPiecesAndGiveTheSameBytes)
{
    const Picture in = Noise(3001, 480, 7);
    for (const EffectEntry& effect : EffectCatalogue()) {
        if (effect.stream == nullptr)
            continue;
        Bench whole(in), streamed(in);
        whole.doc.keep_undo = false;
        ASSERT_TRUE(streamed.doc.OpenForStreaming(streamed.dir / "in.bmp").ok());
        CollectingSink sink;
        RunEffect(whole.context, effect);
        RunEffectStreamed(streamed.context, effect, sink);
        EXPECT_TRUE(sink.bytes == whole.doc.file_bytes) << effect.batch_name;
    }
}

// A file cut short while a run streams it: the run goes on over zeros,
// gives the whole length, and the source tells how many bytes were missing.
TEST(RunFrame, AFileCutShortWhileItStreamsIsNoted)
{
    Bench b(Noise(8, 6, 1));
    ASSERT_TRUE(b.doc.OpenForStreaming(b.dir / "in.bmp").ok());
    const auto length = fs::file_size(b.dir / "in.bmp");
    fs::resize_file(b.dir / "in.bmp", length - 5);
    CollectingSink sink;
    ASSERT_TRUE(RunEffectStreamed(b.context, *FindEffect("median"), sink));
    EXPECT_EQ(sink.bytes.size(), length);
    const FileProblem& problem = b.doc.Source().Problem();
    EXPECT_EQ(std::pair(problem.kind, problem.amount), std::pair(FileProblemKind::Truncated, int64_t{5}));
}

// The arithmetic and the random sequence the effects share.
TEST(StoreByte, TruncatesTowardZeroAndKeepsTheLowByte)
{
    const std::pair<long double, int> cases[] = {{-3, 253},   {260, 4},   {-0.9L, 0},     {-40, 216},
                                                 {300, 44},   {11.999L, 11}, {255.99L, 255}, {0.5L, 0}};
    for (auto [value, expected] : cases)
        EXPECT_EQ(StoreByte(value), expected) << double(value);
}

TEST(CRand, MatchesTheUnseededCLibrarySequence)
{
    std::srand(1);
    CRand ours;
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(ours.Next(), std::rand()) << "draw " << i;
    std::srand(12345);
    ours.Seed(12345);
    // Batches of every size around the generator's internal blocks.
    for (size_t size : {1, 14, 15, 16, 1023, 1024, 1025, 5000}) {
        std::vector<int32_t> batch(size);
        ours.Fill(batch.data(), batch.size());
        for (int32_t v : batch)
            ASSERT_EQ(v, std::rand()) << "batch of " << size;
        ASSERT_EQ(ours.Next(), std::rand());
    }
}

TEST(CRand, OneInstanceIsSafeToShareBetweenThreads)
{
    CRand shared;
    std::vector<int32_t> seen[2];
    std::thread workers[2];
    for (int t = 0; t < 2; ++t)
        workers[t] = std::thread([&, t] {
            for (int i = 0; i < 20000; ++i)
                seen[t].push_back(shared.Next());
        });
    for (auto& w : workers)
        w.join();
    seen[0].insert(seen[0].end(), seen[1].begin(), seen[1].end());
    std::vector<int32_t> expected(40000);
    CRand().Fill(expected.data(), expected.size());
    std::sort(seen[0].begin(), seen[0].end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen[0], expected) << "every value drawn exactly once across threads";
}

} // namespace
} // namespace korvanti::testing

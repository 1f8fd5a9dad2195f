// The effect catalogue: every effect with its menu id, batch name, caption
// and functions, and the two ways of running one as a whole command.
#include "effects/catalogue.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "effects/effects.h"
#include "engine/effect_context.h"

namespace korvanti {
namespace {

constexpr std::string_view kStandard = "標準エフェクタ（&N） → 彩度（&S）";
constexpr std::string_view kDifferential = "微積フィルタ（&B）";
constexpr std::string_view kLaplacian = "微積フィルタ（&B） → エッジ検出：Laplacian";
constexpr std::string_view kSharpen = "周波数フィルタ(&S) → シャープフィルタ（&S）";
constexpr std::string_view kBlur = "周波数フィルタ(&S) → ぼかしフィルタ（&B）";
constexpr std::string_view kSketch = "スケッチエフェクタ（&J）";
constexpr std::string_view kGeometric = "幾何学エフェクタ（&K）";
constexpr std::string_view kNoiseCut = "ノイズカットエフェクタ（&N）";
constexpr std::string_view kChromaKey = "Ver1.0.0以前に作成したエフェクタ(&I) → クロマキー(&P)";
constexpr std::string_view kSpecial = "Ver1.0.0以前に作成したエフェクタ(&I) → 特殊エフェクト(&T)";
constexpr std::string_view kBonus = "Ver1.0.0以前に作成したエフェクタ(&I) → グ○コのおまけ♪(&G)";


constexpr std::array kCatalogue{
    EffectEntry{"N9", "sharpen", "ノーマル（&N）", kSharpen, Sharpen, nullptr, &kSharpenRows},
    EffectEntry{"N14", "blur", "ノーマル（&N）", kBlur, Blur, nullptr, &kBlurRows},
    EffectEntry{"E2", "emboss", "エンボス（&E）", kDifferential, Emboss},
    EffectEntry{"N22", "laplacian-strong", "強(&F)", kLaplacian, LaplacianStrong},
    EffectEntry{"G2", "laplacian-weak", "弱(&G)", kLaplacian, LaplacianWeak},
    EffectEntry{"M3", "charcoal-sketch", "木炭スケッチ（&M）", kSketch, CharcoalSketch},
    EffectEntry{"R1", "rough-sketch", "ラフスケッチ（&R）", kSketch, RoughSketch},
    EffectEntry{"S11", "mosaic", "縮小(-50%)：モザイク(S)", kGeometric, Mosaic},
    EffectEntry{"M2", "median", "メディアンフィルタ（&M）", kNoiseCut, Median, StreamMedian, &kMedianRows},
    EffectEntry{"G8", "median-hard", "拡張メディアンフィルタ：ハード(&G)", kNoiseCut, MedianHard, nullptr, &kMedianHardRows},
    EffectEntry{"G9", "median-natural", "拡張メディアンフィルタ：ナチュラル(&G)", kNoiseCut, MedianNatural},
    EffectEntry{"I3", "moving-average", "移動平均フィルタ（&I）", kNoiseCut, MovingAverage, nullptr, &kMovingAverageRows},
    EffectEntry{"K2", "geometric-cut", "幾何学カットフィルタ（&K）", kNoiseCut, GeometricCut, StreamMedian, &kMedianRows},
    EffectEntry{"I4", "invert", "色の反転：ノーマル(&I)", kStandard, Invert, nullptr, &kInvertRows},
    EffectEntry{"H6", "invert-mean-square", "色の反転：平均二乗法(&H)", kStandard, InvertMeanSquare, nullptr, &kInvertMeanSquareRows},
    EffectEntry{"N24", "chroma-key-negative", "ネガ(&N)", kChromaKey, ChromaKeyNegative},
    EffectEntry{"G6", "histogram-stretch", "ヒストグラム最大(&G)", kBonus, HistogramStretch},
    EffectEntry{"H5", "time-inversion", "時間の反転エフェクト(&H)", kBonus, TimeInversion},
    EffectEntry{"Y1", "sunset", "あぁ・・・夕日よ！(&Y)", kSpecial, Sunset},
    EffectEntry{"O2", "pro-watercolour", "おまかせプロ水彩(&O)", kSpecial, ProWatercolour},
    EffectEntry{"C2", "nostalgia", "郷愁の日々(&C)", kSpecial, Nostalgia},
    EffectEntry{"S12", "watercolour-style", "水彩画風(&S)", kBonus, WatercolourStyle},
};

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::span<const EffectEntry> EffectCatalogue() { return kCatalogue; }

const EffectEntry* FindEffect(std::string_view name)
{
    for (const EffectEntry& entry : kCatalogue) {
        if (SameIgnoringCase(name, entry.batch_name) || SameIgnoringCase(name, entry.menu_id))
            return &entry;
    }
    return nullptr;
}

namespace {

// One run as a whole command: an effect that throws leaves the run state
// idle before the exception goes on.
template <class Run>
bool RunAsCommand(EffectContext& context, Run&& run)
{
    try {
        run();
    } catch (...) {
        context.Abandon();
        throw;
    }
    return true;
}

} // namespace

bool RunEffect(EffectContext& context, const EffectEntry& effect)
{
    if (context.Running() || !context.doc.HasPicture())
        return false;
    return RunAsCommand(context, [&] { effect.run(context); });
}

bool RunEffectStreamed(EffectContext& context, const EffectEntry& effect, ByteSink& sink)
{
    if (context.Running() || effect.stream == nullptr || !context.doc.Source().IsOpen())
        return false;
    return RunAsCommand(context, [&] { effect.stream(context, sink); });
}

} // namespace korvanti

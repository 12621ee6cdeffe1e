#include "images/Resampler.h"

#include <algorithm>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <cmath>
#include <cstring>
#include <vector>

namespace vistrel {

namespace {

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;
constexpr int kFirstShift = 8;                                 // intermediate keeps 6 fractional bits
constexpr int kSecondShift = 2 * kWeightBits - kFirstShift;
constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

// For every output position along one axis, the source indices and weights it reads.
struct AxisTaps
{
    int taps = 0;                      // per position; positions outside the picture have weight 0
    std::vector<std::int32_t> index;   // positions * taps
    std::vector<std::int32_t> weight;
    std::vector<std::uint8_t> inside;  // 0: black
    int lowest = 0, highest = -1;      // range of indices read by inside positions
    int first = 0, last = -1;          // inside positions form this one interval
    std::vector<std::uint32_t> pairWeight;   // two taps: weight0 | weight1 << 16
};

struct Tap { int index; double weight; };

// Taps for one output position covering the source interval [a, b) of an axis of length n.
void TapsFor(double a, double b, int n, double scale, std::vector<Tap>& taps)
{
    taps.clear();
    if (scale > 2.0) {
        // Area average: each source pixel counts by how much of it the output pixel covers.
        const double lo = std::max(a, 0.0), hi = std::min(b, static_cast<double>(n));
        for (int k = static_cast<int>(std::floor(lo)); k < hi; ++k) {
            const double w = std::min(hi, k + 1.0) - std::max(lo, static_cast<double>(k));
            if (w > 0.0) {
                taps.push_back({k, w});
            }
        }
        return;
    }
    const double p = (a + b) / 2.0 - 0.5;
    const double p0 = std::floor(p);
    const double f = p - p0;
    const int i0 = std::clamp(static_cast<int>(p0), 0, n - 1);
    const int i1 = std::clamp(static_cast<int>(p0) + 1, 0, n - 1);
    taps.push_back({i0, 1.0 - f});
    taps.push_back({i1, f});
}

// Output positions [0, count) take the oriented interval start + [i, i + 1) * scale; a negative sign
// means the oriented axis runs backwards from the far end of the still's axis of length n.
AxisTaps BuildAxis(int count, double start, double length, int n, int sign)
{
    const double scale = length / count;
    std::vector<std::vector<Tap>> all(static_cast<std::size_t>(count));
    AxisTaps axis;
    axis.inside.assign(static_cast<std::size_t>(count), 0);
    axis.lowest = n;
    for (int i = 0; i < count; ++i) {
        double a = start + i * scale, b = start + (i + 1) * scale;
        if (sign < 0) {
            const double fa = n - b, fb = n - a;
            a = fa;
            b = fb;
        }
        const double centre = (a + b) / 2.0;
        if (!(centre >= 0.0 && centre < n)) {
            continue;
        }
        auto& taps = all[static_cast<std::size_t>(i)];
        TapsFor(a, b, n, scale, taps);
        if (taps.empty()) {
            continue;
        }
        axis.inside[static_cast<std::size_t>(i)] = 1;
        if (axis.last < 0) {
            axis.first = i;
        }
        axis.last = i;
        axis.taps = std::max(axis.taps, static_cast<int>(taps.size()));
        for (const Tap& t : taps) {
            axis.lowest = std::min(axis.lowest, t.index);
            axis.highest = std::max(axis.highest, t.index);
        }
    }
    axis.taps = std::max(axis.taps, 1);
    axis.index.assign(static_cast<std::size_t>(count) * axis.taps, std::max(axis.lowest, 0));
    axis.weight.assign(static_cast<std::size_t>(count) * axis.taps, 0);
    for (int i = 0; i < count; ++i) {
        const auto& taps = all[static_cast<std::size_t>(i)];
        if (taps.empty()) {
            continue;
        }
        double total = 0.0;
        for (const Tap& t : taps) {
            total += t.weight;
        }
        // Fixed-point weights that sum exactly to one, so flat areas stay exact.
        int sum = 0, largest = 0;
        const std::size_t base = static_cast<std::size_t>(i) * axis.taps;
        for (std::size_t k = 0; k < taps.size(); ++k) {
            const int w = static_cast<int>(std::lround(taps[k].weight / total * kWeightOne));
            axis.index[base + k] = taps[k].index;
            axis.weight[base + k] = w;
            sum += w;
            if (w > axis.weight[base + largest]) {
                largest = static_cast<int>(k);
            }
        }
        axis.weight[base + largest] += kWeightOne - sum;
        for (std::size_t k = taps.size(); k < static_cast<std::size_t>(axis.taps); ++k) {
            axis.index[base + k] = taps[0].index;   // padding reads a valid pixel with weight 0
        }
    }
    if (axis.taps == 2) {
        axis.pairWeight.resize(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < axis.pairWeight.size(); ++i) {
            axis.pairWeight[i] = static_cast<std::uint32_t>(axis.weight[2 * i]) |
                                 static_cast<std::uint32_t>(axis.weight[2 * i + 1]) << 16;
        }
    }
    return axis;
}

// First pass: blend the source lines of one output row into row[lowest..highest] (4 lanes each).
// acc has room for a whole line of lanes.
template <int Taps>
void BlendLines(const std::uint8_t* base, std::ptrdiff_t stepAlong, std::ptrdiff_t stepAcross,
                const std::int32_t* index, const std::int32_t* weight, int taps, int lowest, int highest,
                std::uint16_t* row, std::uint32_t* acc)
{
    constexpr std::uint32_t kRound = 1u << (kFirstShift - 1);
    const int count = Taps > 0 ? Taps : taps;
    if (stepAlong == 4) {
        // Lines are rows of the still: contiguous loops over bytes.
        std::uint16_t* outRow = row + lowest * 4;
        const int bytes = (highest - lowest + 1) * 4;
        if constexpr (Taps == 2) {
            const std::uint8_t* line0 = base + index[0] * stepAcross + lowest * 4;
            const std::uint8_t* line1 = base + index[1] * stepAcross + lowest * 4;
            const auto w0 = static_cast<std::uint32_t>(weight[0]), w1 = static_cast<std::uint32_t>(weight[1]);
            int j = 0;
#ifdef __SSE2__
            // Byte pairs of the two lines as 16-bit pairs, multiplied and added with the weight pair.
            const __m128i w = _mm_set1_epi32(static_cast<int>(w0 | w1 << 16));
            const __m128i round = _mm_set1_epi32(static_cast<int>(kRound));
            const __m128i zero = _mm_setzero_si128();
            for (; j + 16 <= bytes; j += 16) {
                const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line0 + j));
                const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line1 + j));
                const __m128i xl = _mm_unpacklo_epi8(x, zero), yl = _mm_unpacklo_epi8(y, zero);
                const __m128i xh = _mm_unpackhi_epi8(x, zero), yh = _mm_unpackhi_epi8(y, zero);
                const __m128i s0 = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(xl, yl), w), round), kFirstShift);
                const __m128i s1 = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(xl, yl), w), round), kFirstShift);
                const __m128i s2 = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(xh, yh), w), round), kFirstShift);
                const __m128i s3 = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(xh, yh), w), round), kFirstShift);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(outRow + j), _mm_packs_epi32(s0, s1));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(outRow + j + 8), _mm_packs_epi32(s2, s3));
            }
#endif
            for (; j < bytes; ++j) {
                outRow[j] = static_cast<std::uint16_t>((w0 * line0[j] + w1 * line1[j] + kRound) >> kFirstShift);
            }
            return;
        }
        std::fill(acc, acc + bytes, kRound);
        for (int k = 0; k < count; ++k) {
            const std::uint8_t* line = base + index[k] * stepAcross + lowest * 4;
            const auto w = static_cast<std::uint32_t>(weight[k]);
            for (int j = 0; j < bytes; ++j) {
                acc[j] += w * line[j];
            }
        }
        for (int j = 0; j < bytes; ++j) {
            outRow[j] = static_cast<std::uint16_t>(acc[j] >> kFirstShift);
        }
        return;
    }
    // Lines are columns of the still (odd rotations): read a few neighbouring pixels per still row.
    int a = lowest;
#ifdef __SSE2__
    if constexpr (Taps == 2) {
        const __m128i w = _mm_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(weight[0]) |
                                                          static_cast<std::uint32_t>(weight[1]) << 16));
        const __m128i round = _mm_set1_epi32(static_cast<int>(kRound));
        const __m128i zero = _mm_setzero_si128();
        const std::ptrdiff_t at0 = index[0] * stepAcross, at1 = index[1] * stepAcross;
        auto blend = [&](const std::uint8_t* p) {
            std::int32_t x, y;
            std::memcpy(&x, p + at0, 4);
            std::memcpy(&y, p + at1, 4);
            const __m128i pairs = _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(x), _mm_cvtsi32_si128(y)), zero);
            return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, w), round), kFirstShift);
        };
        for (; a + 1 <= highest; a += 2) {
            const std::uint8_t* p = base + a * stepAlong;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + a * 4), _mm_packs_epi32(blend(p), blend(p + stepAlong)));
        }
    }
#endif
    for (; a <= highest; ++a) {
        const std::uint8_t* p = base + a * stepAlong;
        std::uint32_t sum[4] = {kRound, kRound, kRound, kRound};
        for (int k = 0; k < count; ++k) {
            const std::uint8_t* q = p + index[k] * stepAcross;
            const auto w = static_cast<std::uint32_t>(weight[k]);
            for (int c = 0; c < 4; ++c) {
                sum[c] += w * q[c];
            }
        }
        for (int c = 0; c < 4; ++c) {
            row[a * 4 + c] = static_cast<std::uint16_t>(sum[c] >> kFirstShift);
        }
    }
}

// Second pass: gather along the blended row into the output row.
template <int Taps>
void GatherRow(const std::uint16_t* row, const AxisTaps& axis, std::uint32_t* out, int count)
{
    const int taps = Taps > 0 ? Taps : axis.taps;
    std::fill(out, out + std::min(axis.first, count), kOpaqueBlack);
    if (axis.last + 1 < count) {
        std::fill(out + axis.last + 1, out + count, kOpaqueBlack);
    }
    int i = axis.first;
#ifdef __SSE2__
    if constexpr (Taps == 2) {
        // Two output pixels per step: each pixel's four lanes from both taps in one multiply-add.
        const std::int32_t* index = axis.index.data();
        const std::uint32_t* pair = axis.pairWeight.data();
        const __m128i round = _mm_set1_epi32(1 << (kSecondShift - 1));
        const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaqueBlack));
        auto blend = [&](int k) {
            const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + index[2 * k] * 4));
            const __m128i y = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + index[2 * k + 1] * 4));
            const __m128i w = _mm_set1_epi32(static_cast<int>(pair[k]));
            return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(x, y), w), round), kSecondShift);
        };
        for (; i + 1 <= axis.last; i += 2) {
            const __m128i packed = _mm_packs_epi32(blend(i), blend(i + 1));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_or_si128(_mm_packus_epi16(packed, packed), opaque));
        }
    }
#endif
    const std::int32_t* index = axis.index.data() + static_cast<std::ptrdiff_t>(i) * taps;
    const std::int32_t* weight = axis.weight.data() + static_cast<std::ptrdiff_t>(i) * taps;
    for (; i <= axis.last && i < count; ++i, index += taps, weight += taps) {
        std::uint32_t sum[4] = {1u << (kSecondShift - 1), 1u << (kSecondShift - 1), 1u << (kSecondShift - 1),
                                1u << (kSecondShift - 1)};
        for (int k = 0; k < taps; ++k) {
            const std::uint16_t* p = row + index[k] * 4;
            const auto w = static_cast<std::uint32_t>(weight[k]);
            for (int c = 0; c < 4; ++c) {
                sum[c] += w * p[c];
            }
        }
        std::uint32_t pixel = kOpaqueBlack;
        for (int c = 0; c < 3; ++c) {
            pixel |= std::min<std::uint32_t>(sum[c] >> kSecondShift, 255u) << (8 * c);
        }
        out[i] = pixel;
    }
}

#ifdef __SSE2__
constexpr int kColumnBlock = 8;

// Odd rotations with two taps: the blended lines are columns of the still. Blending a block of
// output rows together reads each still row's neighbouring pixels once per block, from cache,
// instead of once per output row.
void BlendColumnBlock(const std::uint8_t* base, std::ptrdiff_t stride, const AxisTaps& down, int v0, int count,
                      int lowest, int highest, std::uint16_t* rows, std::size_t rowLength)
{
    __m128i w[kColumnBlock];
    std::ptrdiff_t at0[kColumnBlock], at1[kColumnBlock];
    for (int r = 0; r < count; ++r) {
        const auto k = static_cast<std::size_t>(v0 + r);
        at0[r] = static_cast<std::ptrdiff_t>(down.index[2 * k]) * 4;
        at1[r] = static_cast<std::ptrdiff_t>(down.index[2 * k + 1]) * 4;
        w[r] = _mm_set1_epi32(static_cast<int>(down.pairWeight[k]));
    }
    const __m128i round = _mm_set1_epi32(1 << (kFirstShift - 1));
    const __m128i zero = _mm_setzero_si128();
    for (int a = lowest; a <= highest; ++a) {
        const std::uint8_t* p = base + a * stride;
        std::uint16_t* out = rows + static_cast<std::ptrdiff_t>(a) * 4;
        for (int r = 0; r < count; ++r) {
            std::int32_t x, y;
            std::memcpy(&x, p + at0[r], 4);
            std::memcpy(&y, p + at1[r], 4);
            const __m128i pairs = _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(x), _mm_cvtsi32_si128(y)), zero);
            const __m128i sum = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, w[r]), round), kFirstShift);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * rowLength), _mm_packs_epi32(sum, sum));
        }
    }
}
#endif

} // namespace

void FillBlack(const PixelTarget& target, const TargetRect& rect)
{
    const int x0 = std::clamp(rect.x, 0, target.width), x1 = std::clamp(rect.x + rect.width, 0, target.width);
    const int y0 = std::clamp(rect.y, 0, target.height), y1 = std::clamp(rect.y + rect.height, 0, target.height);
    for (int y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(target.pixels + static_cast<std::ptrdiff_t>(y) * target.stride);
        std::fill(row + x0, row + x1, kOpaqueBlack);
    }
}

struct OrientedResampler::Axes
{
    PixelSource source{};
    bool swap = false;
    AxisTaps across, down;
    std::ptrdiff_t stepAlong = 4, stepAcross = 0;   // source steps along a blended line and across lines
    std::size_t rowLength = 0;                      // lanes of one blended line
    std::vector<std::uint16_t> rows;                // blended lines
    std::vector<std::uint32_t> acc;
};

OrientedResampler::OrientedResampler(const PixelSource& source, const OrientationOp& op, const SourceRect& from,
                                     std::int32_t width, std::int32_t height)
    : width(std::max(width, 0)), height(std::max(height, 0)), axes(std::make_unique<Axes>())
{
    empty = !source.pixels || source.width <= 0 || source.height <= 0 || from.width <= 0.0 || from.height <= 0.0 ||
            this->width == 0 || this->height == 0;
    if (empty) {
        return;
    }
    Axes& a = *axes;
    a.source = source;
    // Which still axis each output axis runs along, in which direction.
    a.swap = op.swapsAxes;
    const int signX = a.swap ? op.m[1][0] : op.m[0][0];   // output x along still y when swapped
    const int signY = a.swap ? op.m[0][1] : op.m[1][1];
    const int lengthX = a.swap ? source.height : source.width;
    const int lengthY = a.swap ? source.width : source.height;
    a.across = BuildAxis(this->width, from.x, from.width, lengthX, signX);
    a.down = BuildAxis(this->height, from.y, from.height, lengthY, signY);
    a.stepAlong = a.swap ? source.stride : 4;
    a.stepAcross = a.swap ? 4 : source.stride;
    a.rowLength = static_cast<std::size_t>(std::max(lengthX, 1)) * 4;
#ifdef __SSE2__
    if (a.swap && a.down.taps == 2 && a.across.last >= a.across.first) {
        a.rows.resize(a.rowLength * kColumnBlock);
        return;
    }
#endif
    a.rows.resize(a.rowLength);
    a.acc.resize(a.down.taps == 2 ? 0 : a.rowLength);
}

OrientedResampler::~OrientedResampler() = default;

void OrientedResampler::Rows(std::int32_t first, std::int32_t count, std::uint8_t* out, std::ptrdiff_t stride)
{
    count = std::min(count, height - first);
    auto outputRow = [&](int v) { return reinterpret_cast<std::uint32_t*>(out + static_cast<std::ptrdiff_t>(v - first) * stride); };
    if (empty) {
        for (int v = first; v < first + count; ++v) {
            std::fill(outputRow(v), outputRow(v) + width, kOpaqueBlack);
        }
        return;
    }
    Axes& a = *axes;
    const AxisTaps& across = a.across;
    const AxisTaps& down = a.down;
#ifdef __SSE2__
    if (a.swap && down.taps == 2 && across.last >= across.first) {
        for (int v0 = first; v0 < first + count; v0 += kColumnBlock) {
            const int block = std::min(kColumnBlock, first + count - v0);
            BlendColumnBlock(a.source.pixels, a.source.stride, down, v0, block, across.lowest, across.highest,
                             a.rows.data(), a.rowLength);
            for (int r = 0; r < block; ++r) {
                std::uint32_t* row = outputRow(v0 + r);
                if (!down.inside[static_cast<std::size_t>(v0 + r)]) {
                    std::fill(row, row + width, kOpaqueBlack);
                } else if (across.taps == 2) {
                    GatherRow<2>(a.rows.data() + r * a.rowLength, across, row, width);
                } else {
                    GatherRow<0>(a.rows.data() + r * a.rowLength, across, row, width);
                }
            }
        }
        return;
    }
#endif
    for (int v = first; v < first + count; ++v) {
        std::uint32_t* row = outputRow(v);
        if (!down.inside[static_cast<std::size_t>(v)] || across.last < across.first) {
            std::fill(row, row + width, kOpaqueBlack);
            continue;
        }
        const std::int32_t* index = down.index.data() + static_cast<std::size_t>(v) * down.taps;
        const std::int32_t* weight = down.weight.data() + static_cast<std::size_t>(v) * down.taps;
        if (down.taps == 2) {
            BlendLines<2>(a.source.pixels, a.stepAlong, a.stepAcross, index, weight, 2, across.lowest, across.highest,
                          a.rows.data(), a.acc.data());
        } else {
            BlendLines<0>(a.source.pixels, a.stepAlong, a.stepAcross, index, weight, down.taps, across.lowest,
                          across.highest, a.rows.data(), a.acc.data());
        }
        if (across.taps == 2) {
            GatherRow<2>(a.rows.data(), across, row, width);
        } else {
            GatherRow<0>(a.rows.data(), across, row, width);
        }
    }
}

void ResampleOriented(const PixelSource& source, const OrientationOp& op, const SourceRect& from,
                      const PixelTarget& target, const TargetRect& to)
{
    TargetRect rect = to;
    rect.width = std::min(rect.width, target.width - rect.x);
    rect.height = std::min(rect.height, target.height - rect.y);
    if (rect.x < 0 || rect.y < 0 || rect.width <= 0 || rect.height <= 0) {
        return;
    }
    OrientedResampler resampler(source, op, from, rect.width, rect.height);
    resampler.Rows(0, rect.height, target.pixels + static_cast<std::ptrdiff_t>(rect.y) * target.stride + rect.x * 4,
                   target.stride);
}

} // namespace vistrel

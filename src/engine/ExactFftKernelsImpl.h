#pragma once

// The exact-size transform's loops, written once for every instruction set. Each
// ExactFftKernels*.cpp includes this file once, compiled for its own set; everything here has
// internal linkage. A block holds kExactBatch sequences side by side, so each butterfly below
// works on whole vectors of neighbouring sequences and no lane ever mixes with another.

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

#include "engine/ExactFftKernels.h"
#include "engine/FastKernelsVectors.h"

namespace quarvel {
namespace {

static_assert(kExactBatch % kLanes == 0, "a block must be whole vectors wide");

/// A complex vector: kLanes sequences' values of one index.
struct CVec {
    Vec re;
    Vec im;
};

inline CVec operator+(CVec a, CVec b) {
    return {a.re + b.re, a.im + b.im};
}
inline CVec operator-(CVec a, CVec b) {
    return {a.re - b.re, a.im - b.im};
}
inline CVec Scale(CVec a, Vec f) {
    return {a.re * f, a.im * f};
}
/// a times -i.
inline CVec MinusI(CVec a) {
    return {a.im, Vec{} - a.re};
}
/// a times the complex constant (c, s).
inline CVec Rotate(CVec a, Vec c, Vec s) {
    return {a.re * c - a.im * s, a.re * s + a.im * c};
}

/// The radix-point DFT y[k] = sum_j a[j] e^(-2 pi i j k / R) of R complex vectors, in place.
template <int R>
struct Butterfly;

template <>
struct Butterfly<2> {
    static void Run(CVec* a, const ExactFftPass&) {
        const CVec sum = a[0] + a[1];
        a[1] = a[0] - a[1];
        a[0] = sum;
    }
};

template <>
struct Butterfly<3> {
    static void Run(CVec* a, const ExactFftPass&) {
        // cos(2 pi / 3) = -1/2, sin(2 pi / 3) = sqrt(3) / 2.
        const Vec half = Splat(0.5f);
        const Vec sine = Splat(0.866025403784438647f);
        const CVec sum = a[1] + a[2];
        const CVec middle = a[0] - Scale(sum, half);
        const CVec turn = MinusI(Scale(a[1] - a[2], sine));
        a[0] = a[0] + sum;
        a[1] = middle + turn;
        a[2] = middle - turn;
    }
};

template <>
struct Butterfly<4> {
    static void Run(CVec* a, const ExactFftPass&) {
        const CVec t0 = a[0] + a[2];
        const CVec t1 = a[0] - a[2];
        const CVec t2 = a[1] + a[3];
        const CVec t3 = MinusI(a[1] - a[3]);
        a[0] = t0 + t2;
        a[2] = t0 - t2;
        a[1] = t1 + t3;
        a[3] = t1 - t3;
    }
};

template <>
struct Butterfly<5> {
    static void Run(CVec* a, const ExactFftPass&) {
        // c1 = cos(2 pi / 5), c2 = cos(4 pi / 5), s1 = sin(2 pi / 5), s2 = sin(4 pi / 5).
        const Vec c1 = Splat(0.309016994374947424f);
        const Vec c2 = Splat(-0.809016994374947424f);
        const Vec s1 = Splat(0.951056516295153572f);
        const Vec s2 = Splat(0.587785252292473129f);
        const CVec b1 = a[1] + a[4];
        const CVec b2 = a[2] + a[3];
        const CVec d1 = a[1] - a[4];
        const CVec d2 = a[2] - a[3];
        const CVec r1 = a[0] + Scale(b1, c1) + Scale(b2, c2);
        const CVec r2 = a[0] + Scale(b1, c2) + Scale(b2, c1);
        const CVec i1 = MinusI(Scale(d1, s1) + Scale(d2, s2));
        const CVec i2 = MinusI(Scale(d1, s2) - Scale(d2, s1));
        a[0] = a[0] + b1 + b2;
        a[1] = r1 + i1;
        a[4] = r1 - i1;
        a[2] = r2 + i2;
        a[3] = r2 - i2;
    }
};

/// Odd radices without a kernel of their own (7, 11, 13): the terms k and R - k share the sums
/// of a[j] + a[R - j] and a[j] - a[R - j].
template <int R>
struct Butterfly {
    static_assert(R % 2 == 1, "even radices have kernels of their own");
    static void Run(CVec* a, const ExactFftPass& pass) {
        constexpr int kHalf = R / 2;
        CVec sums[kHalf];
        CVec differences[kHalf];
        CVec total = a[0];
        for (int j = 1; j <= kHalf; ++j) {
            sums[j - 1] = a[j] + a[R - j];
            differences[j - 1] = a[j] - a[R - j];
            total = total + sums[j - 1];
        }
        CVec out[R];
        out[0] = total;
        for (int k = 1; k <= kHalf; ++k) {
            CVec real = a[0];
            CVec imaginary{};
            for (int j = 1; j <= kHalf; ++j) {
                const int t = (j * k) % R;
                real = real + Scale(sums[j - 1], Splat(pass.rootCos[t]));
                imaginary = imaginary + Scale(differences[j - 1], Splat(pass.rootSin[t]));
            }
            const CVec turn = MinusI(imaginary);
            out[k] = real + turn;
            out[R - k] = real - turn;
        }
        for (int k = 0; k < R; ++k) {
            a[k] = out[k];
        }
    }
};

/// One Stockham pass (see ExactFftPass) from x to y.
template <int R>
void RunPass(const ExactFftPass& pass, const float* xr, const float* xi, float* yr, float* yi) {
    const std::size_t span = pass.stride * kExactBatch;
    const std::uint64_t m = pass.m;
    for (std::uint64_t p = 0; p < m; ++p) {
        Vec twRe[R];
        Vec twIm[R];
        const bool rotate = p != 0;
        for (int k = 1; k < R && rotate; ++k) {
            twRe[k] = Splat(pass.twiddleRe[p * (R - 1) + k - 1]);
            twIm[k] = Splat(pass.twiddleIm[p * (R - 1) + k - 1]);
        }
        const std::size_t in = p * span;
        const std::size_t out = R * p * span;
        for (std::size_t i = 0; i < span; i += kLanes) {
            CVec a[R];
            for (int j = 0; j < R; ++j) {
                const std::size_t at = in + j * m * span + i;
                a[j] = {Load(xr + at), Load(xi + at)};
            }
            Butterfly<R>::Run(a, pass);
            for (int k = 0; k < R; ++k) {
                const CVec value = rotate && k != 0 ? Rotate(a[k], twRe[k], twIm[k]) : a[k];
                const std::size_t at = out + k * span + i;
                Store(yr + at, value.re);
                Store(yi + at, value.im);
            }
        }
    }
}

/// The passes of a length-n transform of the block (re, im), with (workRe, workIm) of the same
/// size as the other buffer; the result ends in re and im.
void Stockham(const std::vector<ExactFftPass>& passes, std::uint64_t n, float* re, float* im,
              float* workRe, float* workIm) {
    float* xr = re;
    float* xi = im;
    float* yr = workRe;
    float* yi = workIm;
    for (const ExactFftPass& pass : passes) {
        switch (pass.radix) {
            case 2:
                RunPass<2>(pass, xr, xi, yr, yi);
                break;
            case 3:
                RunPass<3>(pass, xr, xi, yr, yi);
                break;
            case 4:
                RunPass<4>(pass, xr, xi, yr, yi);
                break;
            case 5:
                RunPass<5>(pass, xr, xi, yr, yi);
                break;
            case 7:
                RunPass<7>(pass, xr, xi, yr, yi);
                break;
            case 11:
                RunPass<11>(pass, xr, xi, yr, yi);
                break;
            default:
                RunPass<13>(pass, xr, xi, yr, yi);
                break;
        }
        std::swap(xr, yr);
        std::swap(xi, yi);
    }
    if (xr != re) {
        std::memcpy(re, xr, n * kExactBatch * sizeof(float));
        std::memcpy(im, xi, n * kExactBatch * sizeof(float));
    }
}

void Transform(const ExactFftAxis& axis, float* re, float* im, float* work) {
    const std::uint64_t n = axis.length;
    const std::uint64_t m = axis.convolutionLength;
    if (m == 0) {
        Stockham(axis.passes, n, re, im, work, work + n * kExactBatch);
        return;
    }
    // Chirp-z: a = x w, zero-padded to M; A = FFT(a); the convolution with conj(w) is
    // conj(FFT(conj(A K))) with K the kernel (already divided by M); X = w times it.
    float* cr = work;
    float* ci = cr + m * kExactBatch;
    float* dr = ci + m * kExactBatch;
    float* di = dr + m * kExactBatch;
    for (std::uint64_t k = 0; k < n; ++k) {
        const Vec wr = Splat(axis.chirpRe[k]);
        const Vec wi = Splat(axis.chirpIm[k]);
        for (std::size_t i = 0; i < kExactBatch; i += kLanes) {
            const std::size_t at = k * kExactBatch + i;
            const CVec value = Rotate({Load(re + at), Load(im + at)}, wr, wi);
            Store(cr + at, value.re);
            Store(ci + at, value.im);
        }
    }
    std::fill(cr + n * kExactBatch, cr + m * kExactBatch, 0.0f);
    std::fill(ci + n * kExactBatch, ci + m * kExactBatch, 0.0f);
    Stockham(axis.passes, m, cr, ci, dr, di);
    for (std::uint64_t k = 0; k < m; ++k) {
        const Vec kr = Splat(axis.kernelRe[k]);
        const Vec ki = Splat(axis.kernelIm[k]);
        for (std::size_t i = 0; i < kExactBatch; i += kLanes) {
            const std::size_t at = k * kExactBatch + i;
            const CVec value = Rotate({Load(cr + at), Load(ci + at)}, kr, ki);
            Store(cr + at, value.re);
            Store(ci + at, Vec{} - value.im);
        }
    }
    Stockham(axis.passes, m, cr, ci, dr, di);
    for (std::uint64_t k = 0; k < n; ++k) {
        const Vec wr = Splat(axis.chirpRe[k]);
        const Vec wi = Splat(axis.chirpIm[k]);
        for (std::size_t i = 0; i < kExactBatch; i += kLanes) {
            const std::size_t at = k * kExactBatch + i;
            const CVec value = Rotate({Load(cr + at), Vec{} - Load(ci + at)}, wr, wi);
            Store(re + at, value.re);
            Store(im + at, value.im);
        }
    }
}

/// The block's own real array, after the axis's work memory; its imaginary array follows it,
/// axis.length * kExactBatch floats on.
float* BlockOf(const ExactFftAxis& axis, float* work) {
    return work + axis.WorkFloats();
}

static_assert(kExactBatch % kTile == 0, "a block is a whole number of tiles wide");

/// Runs step(k, x, run) over k = 0 .. n - 1 in runs of consecutive k whose plane positions
/// x = (k + shift) mod n are consecutive too: at most two runs.
template <typename Step>
void ForShiftedRuns(std::uint64_t n, std::uint64_t shift, const Step& step) {
    const std::uint64_t wrap = n - shift;  // the k that lands on x = 0
    step(std::uint64_t{0}, shift, wrap);
    if (shift != 0) {
        step(wrap, std::uint64_t{0}, shift);
    }
}

/// Moves elements k .. k + run - 1 of rows 0 .. count - 1 of a plane (row b at rows + b * width,
/// element k at column x + k - first) into the block (element k of sequence b at
/// k * kExactBatch + b) when ToBlock is set, or from the block back into the plane otherwise.
/// Whole tiles of rows and columns go through vector transposes.
template <bool ToBlock>
void MoveRows(std::conditional_t<ToBlock, const float*, float*> rows, std::uint64_t width,
              std::uint64_t count, std::uint64_t first, std::uint64_t x, std::uint64_t run,
              std::conditional_t<ToBlock, float*, const float*> block) {
    const std::uint64_t tiledRows = count / kTile * kTile;
    const std::uint64_t tiledRun = run / kTile * kTile;
    for (std::uint64_t b = 0; b < tiledRows; b += kTile) {
        for (std::uint64_t k = 0; k < tiledRun; k += kTile) {
            const auto plane = rows + b * width + x + k;
            const auto inBlock = block + (first + k) * kExactBatch + b;
            if constexpr (ToBlock) {
                TransposeTile(plane, width, inBlock, kExactBatch);
            } else {
                TransposeTile(inBlock, kExactBatch, plane, width);
            }
        }
    }
    // The rest one element at a time: the columns after the whole tiles, the rows after them.
    for (std::uint64_t b = 0; b < count; ++b) {
        for (std::uint64_t k = b < tiledRows ? tiledRun : 0; k < run; ++k) {
            if constexpr (ToBlock) {
                block[(first + k) * kExactBatch + b] = rows[b * width + x + k];
            } else {
                rows[b * width + x + k] = block[(first + k) * kExactBatch + b];
            }
        }
    }
}

template <typename Sample>
void ForwardRows(const ExactFftAxis& rows, const Sample* values, std::uint64_t width,
                 std::uint64_t firstRow, std::uint64_t count, std::uint64_t shift, float* re,
                 float* im, float* work) {
    const std::uint64_t n = rows.length;
    float* br = BlockOf(rows, work);
    float* bi = br + n * kExactBatch;
    std::fill(bi, bi + n * kExactBatch, 0.0f);
    if (count < kExactBatch) {
        std::fill(br, br + n * kExactBatch, 0.0f);
    }
    // The samples of a tile of rows as floats, then transposed into the block.
    alignas(64) float tile[kTile * kTile];
    const std::uint64_t tiledRows = count / kTile * kTile;
    const std::uint64_t tiledLength = n / kTile * kTile;
    for (std::uint64_t b = 0; b < tiledRows; b += kTile) {
        for (std::uint64_t x = 0; x < tiledLength; x += kTile) {
            for (std::size_t r = 0; r < kTile; ++r) {
                TileStore(tile + r * kTile, TileFrom(values + (firstRow + b + r) * width + x));
            }
            TransposeTile(tile, kTile, br + x * kExactBatch + b, kExactBatch);
        }
    }
    for (std::uint64_t b = 0; b < count; ++b) {
        const Sample* row = values + (firstRow + b) * width;
        for (std::uint64_t x = b < tiledRows ? tiledLength : 0; x < n; ++x) {
            br[x * kExactBatch + b] = static_cast<float>(row[x]);
        }
    }
    Transform(rows, br, bi, work);
    ForShiftedRuns(n, shift, [&](std::uint64_t k, std::uint64_t x, std::uint64_t run) {
        MoveRows<false>(re + firstRow * width, width, count, k, x, run, br);
        MoveRows<false>(im + firstRow * width, width, count, k, x, run, bi);
    });
}

void TransformColumns(const ExactFftAxis& columns, std::uint64_t width, std::uint64_t firstColumn,
                      std::uint64_t count, const float* inRe, const float* inIm, bool conjugate,
                      std::uint64_t readShift, std::uint64_t writeShift, float* outRe, float* outIm,
                      float* work) {
    const std::uint64_t n = columns.length;
    float* br = BlockOf(columns, work);
    float* bi = br + n * kExactBatch;
    const float sign = conjugate ? -1.0f : 1.0f;
    const Vec signs = Splat(sign);
    const bool whole = count == kExactBatch;
    for (std::uint64_t k = 0; k < n; ++k) {
        const std::uint64_t y = k + readShift < n ? k + readShift : k + readShift - n;
        const float* fromRe = inRe + y * width + firstColumn;
        const float* fromIm = inIm + y * width + firstColumn;
        float* toRe = br + k * kExactBatch;
        float* toIm = bi + k * kExactBatch;
        if (whole) {
            for (std::size_t b = 0; b < kExactBatch; b += kLanes) {
                Store(toRe + b, Load(fromRe + b));
                Store(toIm + b, Load(fromIm + b) * signs);
            }
            continue;
        }
        for (std::uint64_t b = 0; b < kExactBatch; ++b) {
            toRe[b] = b < count ? fromRe[b] : 0.0f;
            toIm[b] = b < count ? sign * fromIm[b] : 0.0f;
        }
    }
    Transform(columns, br, bi, work);
    for (std::uint64_t k = 0; k < n; ++k) {
        const std::uint64_t y = k + writeShift < n ? k + writeShift : k + writeShift - n;
        float* toRe = outRe + y * width + firstColumn;
        float* toIm = outIm + y * width + firstColumn;
        const float* fromRe = br + k * kExactBatch;
        const float* fromIm = bi + k * kExactBatch;
        if (whole) {
            for (std::size_t b = 0; b < kExactBatch; b += kLanes) {
                Store(toRe + b, Load(fromRe + b));
                Store(toIm + b, Load(fromIm + b));
            }
            continue;
        }
        for (std::uint64_t b = 0; b < count; ++b) {
            toRe[b] = fromRe[b];
            toIm[b] = fromIm[b];
        }
    }
}

void InverseRows(const ExactFftAxis& rows, std::uint64_t width, std::uint64_t firstRow,
                 std::uint64_t count, std::uint64_t shift, const float* re, const float* im,
                 float scale, float* outRe, float* work) {
    const std::uint64_t n = rows.length;
    float* br = BlockOf(rows, work);
    float* bi = br + n * kExactBatch;
    if (count < kExactBatch) {
        std::fill(br, br + n * kExactBatch, 0.0f);
        std::fill(bi, bi + n * kExactBatch, 0.0f);
    }
    ForShiftedRuns(n, shift, [&](std::uint64_t k, std::uint64_t x, std::uint64_t run) {
        MoveRows<true>(re + firstRow * width, width, count, k, x, run, br);
        MoveRows<true>(im + firstRow * width, width, count, k, x, run, bi);
    });
    Transform(rows, br, bi, work);
    const Vec divisor = Splat(scale);
    for (std::size_t i = 0; i < n * kExactBatch; i += kLanes) {
        Store(br + i, Load(br + i) / divisor);
    }
    MoveRows<false>(outRe + firstRow * width, width, count, 0, 0, n, br);
}

constexpr ExactFftKernels kExactKernels = {Transform, ForwardRows<std::uint8_t>, ForwardRows<float>,
                                           TransformColumns, InverseRows};

}  // namespace
}  // namespace quarvel

#include "core/fft.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/multiversion.h"
#include "core/parallele.h"

namespace quelvane {

namespace {

// Transforms run on a batch of Lot rows or columns at once, laid out [position][lane] in
// split real/imaginary scratch, so every butterfly is a vector operation across lanes and
// the array is never walked with a power-of-two stride inside the butterflies.
constexpr int Lot = 16;
constexpr int MaxLog2 = 28;

struct TTableFFT {
  int n = 0;
  std::vector<int> inverseBits;  // bit-reversal permutation
  // Stage of half-span h keeps its h twiddles e^(−2πik/2h) at offset h (k = 0..h−1).
  std::vector<float> cosinus, sinus;
};

std::unique_ptr<TTableFFT> ConstruireTable(int n) {
  auto t = std::make_unique<TTableFFT>();
  t->n = n;
  t->inverseBits.resize(n);
  int bits = 0;
  while ((1 << bits) < n) ++bits;
  for (int i = 0; i < n; ++i) {
    int r = 0;
    for (int b = 0; b < bits; ++b)
      if (i & (1 << b)) r |= 1 << (bits - 1 - b);
    t->inverseBits[i] = r;
  }
  t->cosinus.assign(std::max(n, 2), 0.0f);
  t->sinus.assign(std::max(n, 2), 0.0f);
  for (int h = 1; h < n; h *= 2)
    for (int k = 0; k < h; ++k) {
      // Computed in double and rounded once: the angle of each butterfly in single precision.
      const double theta = std::numbers::pi * k / h;
      t->cosinus[h + k] = static_cast<float>(std::cos(theta));
      t->sinus[h + k] = static_cast<float>(std::sin(theta));
    }
  return t;
}

const TTableFFT& Table(int n) {
  static std::array<std::once_flag, MaxLog2 + 1> faits;
  static std::array<std::unique_ptr<TTableFFT>, MaxLog2 + 1> tables;
  int b = 0;
  while ((1 << b) < n) ++b;
  if (b > MaxLog2 || (1 << b) != n) throw std::invalid_argument("taille de transformée invalide");
  std::call_once(faits[b], [&] { tables[b] = ConstruireTable(n); });
  return *tables[b];
}

// Scratch for one batch: Lot lanes of n complex values, reused across calls on a thread.
struct TBrouillon {
  std::vector<float> re, im;
  void Preparer(int n) {
    const std::size_t taille = static_cast<std::size_t>(n) * Lot;
    if (re.size() < taille) {
      re.assign(taille, 0.0f);
      im.assign(taille, 0.0f);
    }
  }
};

// Threads for a transform of side n: a small one is done before the threads would start.
int FilsPour(int n) { return n >= 128 ? NombreFils() : 1; }

TBrouillon& Brouillon(int n) {
  thread_local TBrouillon b;
  b.Preparer(n);
  return b;
}

// Eight lanes as one vector; a batch is two of them. Loads and stores are unaligned.
typedef float V8 __attribute__((vector_size(32)));
typedef float V8m __attribute__((vector_size(32), aligned(4), may_alias));

inline V8 Lire(const float* p) { return *reinterpret_cast<const V8m*>(p); }
inline void Ecrire(float* p, V8 v) { *reinterpret_cast<V8m*>(p) = v; }

// The butterflies of a batch already in bit-reversed order. Spans 2 and 4 go together (their
// twiddles 1 and −i need no products); the general stages go two by two (radix 4, the same
// twiddles as the radix-2 stages they replace), so the scratch is swept half as often.
QUELVANE_CORPS void CorpsPapillons(float* __restrict re, float* __restrict im, int n,
                                   const float* __restrict cosinus, const float* __restrict sinus) {
  if (n == 2) {
    for (int b = 0; b < Lot; b += 8) {
      const V8 ar = Lire(re + b), ai = Lire(im + b), br = Lire(re + Lot + b),
               bi = Lire(im + Lot + b);
      Ecrire(re + b, ar + br);
      Ecrire(im + b, ai + bi);
      Ecrire(re + Lot + b, ar - br);
      Ecrire(im + Lot + b, ai - bi);
    }
    return;
  }
  for (int k = 0; k < n; k += 4) {
    float* r0 = re + k * Lot;
    float* i0 = im + k * Lot;
    for (int b = 0; b < Lot; b += 8) {
      const V8 ar = Lire(r0 + b), ai = Lire(i0 + b);
      const V8 br = Lire(r0 + Lot + b), bi = Lire(i0 + Lot + b);
      const V8 cr = Lire(r0 + 2 * Lot + b), ci = Lire(i0 + 2 * Lot + b);
      const V8 dr = Lire(r0 + 3 * Lot + b), di = Lire(i0 + 3 * Lot + b);
      const V8 s0r = ar + br, s0i = ai + bi, s1r = ar - br, s1i = ai - bi;
      const V8 s2r = cr + dr, s2i = ci + di, s3r = cr - dr, s3i = ci - di;
      Ecrire(r0 + b, s0r + s2r);
      Ecrire(i0 + b, s0i + s2i);
      Ecrire(r0 + 2 * Lot + b, s0r - s2r);
      Ecrire(i0 + 2 * Lot + b, s0i - s2i);
      Ecrire(r0 + Lot + b, s1r + s3i);
      Ecrire(i0 + Lot + b, s1i - s3r);
      Ecrire(r0 + 3 * Lot + b, s1r - s3i);
      Ecrire(i0 + 3 * Lot + b, s1i + s3r);
    }
  }
  int h = 4;
  for (; 2 * h < n; h *= 4) {
    // Stage h on (p0, p1) and (p2, p3), then stage 2h on (p0, p2) and (p1, p3).
    for (int g = 0; g < n; g += 4 * h)
      for (int k = 0; k < h; ++k) {
        const float c1 = cosinus[h + k], s1 = sinus[h + k];
        const float c2 = cosinus[2 * h + k], s2 = sinus[2 * h + k];
        const float c3 = cosinus[3 * h + k], s3 = sinus[3 * h + k];
        float* r0 = re + (g + k) * Lot;
        float* i0 = im + (g + k) * Lot;
        float* r1 = r0 + h * Lot;
        float* i1 = i0 + h * Lot;
        float* r2 = r1 + h * Lot;
        float* i2 = i1 + h * Lot;
        float* r3 = r2 + h * Lot;
        float* i3 = i2 + h * Lot;
        for (int b = 0; b < Lot; b += 8) {
          const V8 x0r = Lire(r0 + b), x0i = Lire(i0 + b), x1r = Lire(r1 + b), x1i = Lire(i1 + b);
          const V8 x2r = Lire(r2 + b), x2i = Lire(i2 + b), x3r = Lire(r3 + b), x3i = Lire(i3 + b);
          const V8 t1r = x1r * c1 + x1i * s1, t1i = x1i * c1 - x1r * s1;
          const V8 t3r = x3r * c1 + x3i * s1, t3i = x3i * c1 - x3r * s1;
          const V8 a0r = x0r + t1r, a0i = x0i + t1i;
          const V8 a1r = x0r - t1r, a1i = x0i - t1i;
          const V8 a2r = x2r + t3r, a2i = x2i + t3i;
          const V8 a3r = x2r - t3r, a3i = x2i - t3i;
          const V8 u2r = a2r * c2 + a2i * s2, u2i = a2i * c2 - a2r * s2;
          const V8 u3r = a3r * c3 + a3i * s3, u3i = a3i * c3 - a3r * s3;
          Ecrire(r0 + b, a0r + u2r);
          Ecrire(i0 + b, a0i + u2i);
          Ecrire(r2 + b, a0r - u2r);
          Ecrire(i2 + b, a0i - u2i);
          Ecrire(r1 + b, a1r + u3r);
          Ecrire(i1 + b, a1i + u3i);
          Ecrire(r3 + b, a1r - u3r);
          Ecrire(i3 + b, a1i - u3i);
        }
      }
  }
  if (h < n) {  // one radix-2 stage left
    for (int g = 0; g < n; g += 2 * h)
      for (int k = 0; k < h; ++k) {
        const float c = cosinus[h + k], s = sinus[h + k];
        float* rp = re + (g + k) * Lot;
        float* ip = im + (g + k) * Lot;
        float* rq = rp + h * Lot;
        float* iq = ip + h * Lot;
        for (int b = 0; b < Lot; b += 8) {
          const V8 xr = Lire(rq + b), xi = Lire(iq + b), pr = Lire(rp + b), pi = Lire(ip + b);
          const V8 tr = xr * c + xi * s;
          const V8 ti = xi * c - xr * s;
          Ecrire(rq + b, pr - tr);
          Ecrire(iq + b, pi - ti);
          Ecrire(rp + b, pr + tr);
          Ecrire(ip + b, pi + ti);
        }
      }
  }
}

QUELVANE_VARIANTE_AVX2 void PapillonsAvx2(float* re, float* im, int n, const float* c,
                                          const float* s) {
  CorpsPapillons(re, im, n, c, s);
}
void PapillonsBase(float* re, float* im, int n, const float* c, const float* s) {
  CorpsPapillons(re, im, n, c, s);
}

void Papillons(TBrouillon& b, const TTableFFT& t) {
  static const auto papillons = ProcesseurAvx2() ? PapillonsAvx2 : PapillonsBase;
  papillons(b.re.data(), b.im.data(), t.n, t.cosinus.data(), t.sinus.data());
}

void EffacerBrouillon(TBrouillon& b, int n, bool re, bool im) {
  if (re) std::fill_n(b.re.begin(), static_cast<std::size_t>(n) * Lot, 0.0f);
  if (im) std::fill_n(b.im.begin(), static_cast<std::size_t>(n) * Lot, 0.0f);
}

// Puts position k at its bit-reversed place (exchanging whole lane vectors).
void InverserBits(TBrouillon& b, const TTableFFT& t) {
  for (int k = 0; k < t.n; ++k) {
    const int j = t.inverseBits[k];
    if (j <= k) continue;
    std::swap_ranges(b.re.data() + k * Lot, b.re.data() + (k + 1) * Lot, b.re.data() + j * Lot);
    std::swap_ranges(b.im.data() + k * Lot, b.im.data() + (k + 1) * Lot, b.im.data() + j * Lot);
  }
}

// The first half of an 8 × 8 transposition: u[k] and u[k + 4] hold, in their low and high
// 128-bit halves, what becomes rows k and k + 4 (joined by _mm256_permute2f128_ps).
QUELVANE_VARIANTE_AVX2 inline void Transposer8(const __m256* r, __m256* u) {
  __m256 t[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
    t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
  }
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
    u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
    u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
    u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
  }
}

// Eight samples of a row as one vector of floats, and back (rows of doubles are converted).
QUELVANE_VARIANTE_AVX2 inline __m256 Charger8(const double* p) {
  return _mm256_set_m128(_mm256_cvtpd_ps(_mm256_loadu_pd(p + 4)),
                         _mm256_cvtpd_ps(_mm256_loadu_pd(p)));
}
QUELVANE_VARIANTE_AVX2 inline __m256 Charger8(const float* p) { return _mm256_loadu_ps(p); }
QUELVANE_VARIANTE_AVX2 inline void Ranger8(double* p, __m256 v) {
  _mm256_storeu_pd(p, _mm256_cvtps_pd(_mm256_castps256_ps128(v)));
  _mm256_storeu_pd(p + 4, _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)));
}
QUELVANE_VARIANTE_AVX2 inline void Ranger8(float* p, __m256 v) { _mm256_storeu_ps(p, v); }

// 8 × 8 tiles between rows (of doubles or floats) and lanes of floats, with AVX2 shuffles:
// each row's 8 values become one lane of 8 positions. `lignes[i] + c` is row i at column c.
template <class T>
QUELVANE_VARIANTE_AVX2 void TuileVersLanes(const T* const* lignes, int c, float* dst) {
  __m256 r[8];
  for (int i = 0; i < 8; ++i) r[i] = Charger8(lignes[i] + c);
  __m256 u[8];
  Transposer8(r, u);
  for (int k = 0; k < 4; ++k) {
    _mm256_storeu_ps(dst + k * Lot, _mm256_permute2f128_ps(u[k], u[k + 4], 0x20));
    _mm256_storeu_ps(dst + (k + 4) * Lot, _mm256_permute2f128_ps(u[k], u[k + 4], 0x31));
  }
}

// The reverse: positions k0..k0+7 of 8 lanes (src + k·Lot) into 8 rows.
template <class T>
QUELVANE_VARIANTE_AVX2 void LanesVersTuile(const float* src, T* const* lignes, int c) {
  __m256 r[8];
  for (int k = 0; k < 8; ++k) r[k] = _mm256_loadu_ps(src + k * Lot);
  __m256 u[8];
  Transposer8(r, u);
  for (int l = 0; l < 4; ++l) {
    Ranger8(lignes[l] + c, _mm256_permute2f128_ps(u[l], u[l + 4], 0x20));
    Ranger8(lignes[l + 4] + c, _mm256_permute2f128_ps(u[l], u[l + 4], 0x31));
  }
}

// Row batch: lane l is the row whose real and imaginary parts start at re[l] and im[l]
// (im null for a real input). Position k of a lane reads column (k + decalage) mod N, for
// k < w; the rest is zero. Rows are read in tiles, in natural order, then bit-reversed.
void ChargerLignes(TBrouillon& b, const TTableFFT& t, const double* const* re,
                   const double* const* im, int nb, int w, int decalage) {
  const int n = t.n, masque = n - 1;
  EffacerBrouillon(b, n, w < n || nb < Lot, w < n || nb < Lot || !im);
  const bool avx2 = ProcesseurAvx2();
  // Tiles never straddle the wrap, since decalage is 0 or N/2.
  const int tuile = std::max(1, std::min(Lot, n / 2));
  for (int k0 = 0; k0 < w; k0 += tuile) {
    const int kn = std::min(tuile, w - k0);
    const int c0 = (k0 + decalage) & masque;
    for (int plan = 0; plan < (im ? 2 : 1); ++plan) {
      const double* const* source = plan == 0 ? re : im;
      float* d = (plan == 0 ? b.re.data() : b.im.data()) + k0 * Lot;
      int l0 = 0;
      if (avx2 && kn % 8 == 0)
        for (; l0 + 8 <= nb; l0 += 8)
          for (int k = 0; k < kn; k += 8) TuileVersLanes(source + l0, c0 + k, d + k * Lot + l0);
      for (int l = l0; l < nb; ++l)
        for (int k = 0; k < kn; ++k) d[k * Lot + l] = static_cast<float>(source[l][c0 + k]);
    }
  }
  InverserBits(b, t);
}

// Transposed back in tiles so both the scratch and the rows are walked in order.
void RangerLignes(const TBrouillon& b, int n, double* const* re, double* const* im, int nb) {
  const bool avx2 = ProcesseurAvx2();
  for (int plan = 0; plan < 2; ++plan) {
    double* const* cible = plan == 0 ? re : im;
    const float* s = plan == 0 ? b.re.data() : b.im.data();
    for (int k0 = 0; k0 < n; k0 += Lot) {
      const int kn = std::min(Lot, n - k0);
      int l0 = 0;
      if (avx2 && kn % 8 == 0)
        for (; l0 + 8 <= nb; l0 += 8)
          for (int k = 0; k < kn; k += 8)
            LanesVersTuile(s + (k0 + k) * Lot + l0, cible + l0, k0 + k);
      for (int l = l0; l < nb; ++l)
        for (int k = 0; k < kn; ++k) cible[l][k0 + k] = s[(k0 + k) * Lot + l];
    }
  }
}

// Column batch: lanes are columns c0..c0+nb−1; logical row r is row (r + decalage) mod N.
void ChargerColonnes(TBrouillon& b, const TTableFFT& t, const double* re, const double* im, int c0,
                     int nb, int decalage) {
  const int n = t.n, masque = n - 1;
  EffacerBrouillon(b, n, nb < Lot, nb < Lot);
  constexpr int Avance = 8;  // rows are pages apart: the prefetcher cannot guess them
  for (int r = 0; r < n; ++r) {
    const std::size_t dec = static_cast<std::size_t>((r + decalage) & masque) * n + c0;
    const std::size_t suivant = static_cast<std::size_t>((r + Avance + decalage) & masque) * n + c0;
    __builtin_prefetch(re + suivant);
    __builtin_prefetch(re + suivant + 8);
    __builtin_prefetch(im + suivant);
    __builtin_prefetch(im + suivant + 8);
    float* dr = b.re.data() + t.inverseBits[r] * Lot;
    float* di = b.im.data() + t.inverseBits[r] * Lot;
    for (int l = 0; l < nb; ++l) {
      dr[l] = static_cast<float>(re[dec + l]);
      di[l] = static_cast<float>(im[dec + l]);
    }
  }
}

// Column batch c0..c0+nb−1 transformed, then stored at rows k + N/2 and columns c + N/2
// (modulo N), divided by `facteur`. The batch never straddles the wrap (N/2 is a multiple of
// the batch, or the batch is the whole row).
void RangerColonnesEchangees(const TBrouillon& b, int n, double* re, double* im, int c0, int nb,
                             float facteur) {
  const int moitie = n / 2, masque = n - 1;
  const bool contigu = n > Lot;
  for (int k = 0; k < n; ++k) {
    const std::size_t ligne = static_cast<std::size_t>((k + moitie) & masque) * n;
    const float* sr = b.re.data() + k * Lot;
    const float* si = b.im.data() + k * Lot;
    if (contigu) {
      double* dr = re + ligne + ((c0 + moitie) & masque);
      double* di = im + ligne + ((c0 + moitie) & masque);
      for (int l = 0; l < nb; ++l) {
        dr[l] = sr[l] / facteur;
        di[l] = si[l] / facteur;
      }
    } else {
      for (int l = 0; l < nb; ++l) {
        const std::size_t c = (c0 + l + moitie) & masque;
        re[ligne + c] = sr[l] / facteur;
        im[ligne + c] = si[l] / facteur;
      }
    }
  }
}

TBrouillon& BrouillonJumeau(int n) {
  thread_local TBrouillon b;
  b.Preparer(n);
  return b;
}

void TransformerColonnes(TGrilleReelle& g, const TTableFFT& t, double echelle) {
  const int n = t.n;
  double* re = g.Ligne(0, 0);
  double* im = g.Ligne(1, 0);
  const float facteur = static_cast<float>(echelle);
  if (n <= Lot) {
    TBrouillon& a = Brouillon(n);
    ChargerColonnes(a, t, re, im, 0, n, 0);
    Papillons(a, t);
    RangerColonnesEchangees(a, n, re, im, 0, n, facteur);
    return;
  }
  // The quadrant swap sends columns c and c + N/2 to each other's place: transform both
  // before storing either. Each pair of batches is its own task.
  const int lots = (n / 2 + Lot - 1) / Lot;
  PourChaque(
      lots,
      [&](int k) {
        const int c0 = k * Lot;
        const int nb = std::min(Lot, n / 2 - c0);
        TBrouillon& a = Brouillon(n);
        TBrouillon& b = BrouillonJumeau(n);
        ChargerColonnes(a, t, re, im, c0, nb, 0);
        Papillons(a, t);
        ChargerColonnes(b, t, re, im, c0 + n / 2, nb, 0);
        Papillons(b, t);
        RangerColonnesEchangees(a, n, re, im, c0, nb, facteur);
        RangerColonnesEchangees(b, n, re, im, c0 + n / 2, nb, facteur);
      },
      FilsPour(n));
}

// Row pointers of a batch: rows (r0 + l + decalage) mod N of a plane.
template <class T>
std::array<T*, Lot> Lignes(T* plan, std::size_t pas, int r0, int nb, int decalage, int n) {
  std::array<T*, Lot> l{};
  for (int i = 0; i < nb; ++i)
    l[i] = plan + static_cast<std::size_t>((r0 + i + decalage) % n) * pas;
  return l;
}

TGrilleReelle FFT2DGenerique(const TGrilleReelle& entree, bool complexe, int& h, int& w) {
  h = std::clamp(h, 0, entree.Lignes());
  w = std::clamp(w, 0, entree.Colonnes());
  if (complexe && entree.Plans() < 2) throw std::invalid_argument("spectre sans partie imaginaire");
  const int n = TailleFFT(h, w);
  if (n > TailleFFTMax)
    throw std::length_error("transformée de " + std::to_string(n) + " × " + std::to_string(n) +
                            " points : l'image est trop grande");
  const TTableFFT& t = Table(n);
  // Every element is written: rows below h are zeroed here, the rest by the row pass.
  TGrilleReelle sortie;
  sortie.AllouerSansInit(2, n, n);
  for (int p = 0; p < 2; ++p)
    std::fill(sortie.Ligne(p, std::min(h, n)), sortie.Ligne(p, 0) + sortie.TaillePlan(), 0.0);
  const std::size_t pasEntree = entree.Colonnes();
  // Rows below h are zero and stay zero; each batch of rows is its own task.
  PourChaque((h + Lot - 1) / Lot,
             [&](int k) {
               const int r0 = k * Lot;
               const int nb = std::min(Lot, h - r0);
               TBrouillon& b = Brouillon(n);
               const auto re = Lignes(entree.Ligne(0, 0), pasEntree, r0, nb, 0, h);
               const auto im = complexe ? Lignes(entree.Ligne(1, 0), pasEntree, r0, nb, 0, h)
                                        : std::array<const double*, Lot>{};
               ChargerLignes(b, t, re.data(), complexe ? im.data() : nullptr, nb, w, 0);
               Papillons(b, t);
               RangerLignes(b, n, Lignes(sortie.Ligne(0, 0), n, r0, nb, 0, n).data(),
                            Lignes(sortie.Ligne(1, 0), n, r0, nb, 0, n).data(), nb);
             },
             FilsPour(n));
  // N² is a power of four: dividing by it is exact in single precision.
  TransformerColonnes(sortie, t, static_cast<double>(n) * n);
  h = w = n;
  return sortie;
}

}  // namespace

int TailleFFT(int h, int w) {
  int n = 2;
  while (n < w || n < h) n *= 2;
  return n;
}

TGrilleReelle FFT2D(const TGrilleReelle& entree, int& h, int& w) {
  return FFT2DGenerique(entree, false, h, w);
}

TGrilleReelle FFT2DComplexe(const TGrilleReelle& entree, int& h, int& w) {
  return FFT2DGenerique(entree, true, h, w);
}

void FFT2DInverse(TGrilleReelle& spectre, int n) {
  if (spectre.Plans() < 2 || spectre.Lignes() != n || spectre.Colonnes() != n)
    throw std::invalid_argument("spectre non carré de taille N");
  if (n > TailleFFTMax) throw std::length_error("transformée trop grande");
  const TTableFFT& t = Table(n);
  const int moitie = n / 2;
  double* re = spectre.Ligne(0, 0);
  double* im = spectre.Ligne(1, 0);
  const int lots = (n + Lot - 1) / Lot;
  // Rows: undo the swap on the way in (logical row r is physical row r + N/2, logical column k
  // physical k + N/2), exchange real and imaginary parts, transform, store back in place.
  PourChaque(
      lots,
      [&](int k) {
        const int r0 = k * Lot;
        const int nb = std::min(Lot, n - r0);
        TBrouillon& b = Brouillon(n);
        const auto lr = Lignes(re, n, r0, nb, moitie, n);
        const auto li = Lignes(im, n, r0, nb, moitie, n);
        ChargerLignes(b, t, li.data(), lr.data(), nb, n, moitie);
        Papillons(b, t);
        RangerLignes(b, n, lr.data(), li.data(), nb);
      },
      FilsPour(n));
  // Columns; the imaginary part is the real part of the inverse transform.
  TGrilleReelle resultat;
  resultat.AllouerSansInit(1, n, n);
  double* sortie = resultat.Ligne(0, 0);
  PourChaque(
      lots,
      [&](int k) {
        const int c0 = k * Lot;
        const int nb = std::min(Lot, n - c0);
        TBrouillon& b = Brouillon(n);
        ChargerColonnes(b, t, re, im, c0, nb, moitie);
        Papillons(b, t);
        for (int ligne = 0; ligne < n; ++ligne) {
          double* d = sortie + static_cast<std::size_t>(ligne) * n + c0;
          const float* si = b.im.data() + ligne * Lot;
          for (int l = 0; l < nb; ++l) d[l] = si[l];
        }
      },
      FilsPour(n));
  spectre = std::move(resultat);
}

namespace {

// Lane l of the scratch plane ← row l (n floats), position k ← column k.
void LignesVersLanes(const float* const* lignes, int nb, int n, float* d) {
  int l0 = 0;
  if (ProcesseurAvx2() && n % 8 == 0)
    for (; l0 + 8 <= nb; l0 += 8)
      for (int k = 0; k < n; k += 8) TuileVersLanes(lignes + l0, k, d + k * Lot + l0);
  for (int l = l0; l < nb; ++l)
    for (int k = 0; k < n; ++k) d[k * Lot + l] = lignes[l][k];
}

}  // namespace

TFiltreFrequentiel::TFiltreFrequentiel(int n, const std::vector<double>& facteurs) : n_(n) {
  if (n < 2) throw std::invalid_argument("taille de filtre invalide");
  Table(n);  // throws for a side that is not a power of two
  if (facteurs.size() != static_cast<std::size_t>(n) * n)
    throw std::invalid_argument("facteurs du filtre de taille invalide");
  const int m = n / 2, masque = n - 1;
  // Frequency (q, k) of the transform's own order; a real output only sees the mean of a
  // factor and its mirror's, which are equal for any filter that keeps real grids real.
  const auto f = [&](int q, int k) {
    return facteurs[static_cast<std::size_t>((q + m) & masque) * n + ((k + m) & masque)];
  };
  const auto symetrique = [&](int q, int k) {
    return 0.5 * (f(q, k) + f((n - q) & masque, (n - k) & masque));
  };
  const double echelle = 1.0 / (static_cast<double>(n) * n);
  facteurs_.resize(static_cast<std::size_t>(n) * m);
  sommes_.resize(static_cast<std::size_t>(n));
  differences_.resize(static_cast<std::size_t>(n));
  for (int q = 0; q < n; ++q) {
    for (int k = 0; k < m; ++k)
      facteurs_[static_cast<std::size_t>(q) * m + k] =
          static_cast<float>(symetrique(q, k) * echelle);
    sommes_[q] = static_cast<float>(0.5 * (symetrique(q, 0) + symetrique(q, m)) * echelle);
    differences_[q] = static_cast<float>(0.5 * (symetrique(q, 0) - symetrique(q, m)) * echelle);
  }
}

TFiltreFrequentiel::TTravail TFiltreFrequentiel::Travail() const {
  // Written before it is read: left as it comes.
  TTravail t;
  t.Re.resize(static_cast<std::size_t>(n_) * (n_ / 2));
  t.Im.resize(t.Re.size());
  return t;
}

namespace {

void PapillonsInverses(TBrouillon& b, const TTableFFT& t) {
  // The forward butterflies on (imaginary, real) are the unnormalised inverse transform.
  static const auto papillons = ProcesseurAvx2() ? PapillonsAvx2 : PapillonsBase;
  papillons(b.im.data(), b.re.data(), t.n, t.cosinus.data(), t.sinus.data());
}

// Positions [k0, k1) of nb lanes into rows, the rest of each row left as it was.
void LanesVersLignes(const float* s, int nb, int k0, int k1, float* const* lignes) {
  int l0 = 0;
  const int t0 = (k0 + 7) / 8 * 8, t1 = k1 / 8 * 8;
  if (ProcesseurAvx2() && t0 < t1)
    for (; l0 + 8 <= nb; l0 += 8) {
      for (int k = t0; k < t1; k += 8) LanesVersTuile(s + k * Lot + l0, lignes + l0, k);
      for (int l = l0; l < l0 + 8; ++l) {
        for (int k = k0; k < t0; ++k) lignes[l][k] = s[k * Lot + l];
        for (int k = t1; k < k1; ++k) lignes[l][k] = s[k * Lot + l];
      }
    }
  for (int l = l0; l < nb; ++l)
    for (int k = k0; k < k1; ++k) lignes[l][k] = s[k * Lot + l];
}

}  // namespace

// Real rows go two to a complex transform (one as the real part, one as the imaginary), and
// of each row's spectrum only the first half is kept, the second being its mirror's
// conjugate: half the butterflies of a complex filter. Column 0 of the half spectra carries the
// zero frequency as its real part and the highest (N/2), also real, as its imaginary part.
void TFiltreFrequentiel::Appliquer(const float* entree, float* sortie, int r0, int r1, int c0,
                                   int c1, TTravail& w) const {
  const int n = n_, m = n / 2, masque = n - 1;
  r0 = std::clamp(r0, 0, n), r1 = std::clamp(r1, r0, n);
  c0 = std::clamp(c0, 0, n), c1 = std::clamp(c1, c0, n);
  if (r0 == r1 || c0 == c1) return;
  const TTableFFT& t = Table(n);
  const std::size_t taille = static_cast<std::size_t>(n) * m;
  if (w.Re.size() < taille || w.Im.size() < taille) w = Travail();
  float* re = w.Re.data();
  float* im = w.Im.data();
  auto ligne = [m](float* plan, int r) { return plan + static_cast<std::size_t>(r) * m; };
  // Batches of Lot pairs of rows: rows a + 2l (real parts) and a + 2l + 1 (imaginary parts,
  // while below r1).
  const int paires = (r1 - r0 + 1) / 2;
  struct TLot {
    int a, pairs, impairs;
  };
  const auto lotDePaires = [&](int k) {
    const int p0 = k * Lot, a = r0 + 2 * p0, nb = std::min(Lot, paires - p0);
    return TLot{a, nb, std::min(nb, (r1 - a) / 2)};
  };
  const int lotsDePaires = (paires + Lot - 1) / Lot;

  // Forward, rows: only those that hold anything.
  PourChaque(
      lotsDePaires,
      [&](int k) {
        const TLot p = lotDePaires(k);
        TBrouillon& b = Brouillon(n);
        EffacerBrouillon(b, n, p.pairs < Lot, p.impairs < Lot);
        std::array<const float*, Lot> pairs{}, impairs{};
        std::array<float*, Lot> pr{}, pi{}, ir{}, ii{};
        for (int l = 0; l < p.pairs; ++l) {
          pairs[l] = entree + static_cast<std::size_t>(p.a + 2 * l) * n;
          pr[l] = ligne(re, p.a + 2 * l), pi[l] = ligne(im, p.a + 2 * l);
        }
        for (int l = 0; l < p.impairs; ++l) {
          impairs[l] = entree + static_cast<std::size_t>(p.a + 2 * l + 1) * n;
          ir[l] = ligne(re, p.a + 2 * l + 1), ii[l] = ligne(im, p.a + 2 * l + 1);
        }
        LignesVersLanes(pairs.data(), p.pairs, n, b.re.data());
        LignesVersLanes(impairs.data(), p.impairs, n, b.im.data());
        InverserBits(b, t);
        Papillons(b, t);
        // Z = X + iY: X(k) = (Z(k) + conj Z(N−k)) / 2, Y(k) = (Z(k) − conj Z(N−k)) / 2i; X's
        // half to positions 0..m−1 of s, Y's to m..N−1.
        TBrouillon& s = BrouillonJumeau(n);
        const float *zr = b.re.data(), *zi = b.im.data();
        float *sr = s.re.data(), *si = s.im.data();
        for (int l = 0; l < Lot; ++l) {
          sr[l] = zr[l], si[l] = zr[m * Lot + l];
          sr[m * Lot + l] = zi[l], si[m * Lot + l] = zi[m * Lot + l];
        }
        for (int q = 1; q < m; ++q) {
          const float *ar = zr + q * Lot, *ai = zi + q * Lot;
          const float *br = zr + (n - q) * Lot, *bi = zi + (n - q) * Lot;
          float *xr = sr + q * Lot, *xi = si + q * Lot;
          float *yr = sr + (m + q) * Lot, *yi = si + (m + q) * Lot;
          for (int l = 0; l < Lot; ++l) {
            xr[l] = 0.5f * (ar[l] + br[l]), xi[l] = 0.5f * (ai[l] - bi[l]);
            yr[l] = 0.5f * (ai[l] + bi[l]), yi[l] = 0.5f * (br[l] - ar[l]);
          }
        }
        LanesVersLignes(sr, p.pairs, 0, m, pr.data());
        LanesVersLignes(si, p.pairs, 0, m, pi.data());
        LanesVersLignes(sr + m * Lot, p.impairs, 0, m, ir.data());
        LanesVersLignes(si + m * Lot, p.impairs, 0, m, ii.data());
      },
      FilsPour(n));

  // Columns: forward, the product, inverse, each batch in one go; rows outside [r0, r1) are
  // zero on the way in and not wanted on the way out.
  PourChaque((m + Lot - 1) / Lot,
             [&](int k) {
               const int a = k * Lot, nb = std::min(Lot, m - a);
               TBrouillon& b = Brouillon(n);
               EffacerBrouillon(b, n, true, true);
               constexpr int Avance = 8;  // rows lie far apart: the prefetcher cannot guess them
               for (int r = r0; r < r1; ++r) {
                 if (r + Avance < r1) {
                   __builtin_prefetch(ligne(re, r + Avance) + a);
                   __builtin_prefetch(ligne(im, r + Avance) + a);
                 }
                 float* dr = b.re.data() + t.inverseBits[r] * Lot;
                 float* di = b.im.data() + t.inverseBits[r] * Lot;
                 const float* sr = ligne(re, r) + a;
                 const float* si = ligne(im, r) + a;
                 for (int l = 0; l < nb; ++l) dr[l] = sr[l], di[l] = si[l];
               }
               Papillons(b, t);
               // Column 0 holds two real columns' spectra A + iB: A(q)·f(q, 0) + i B(q)·f(q, N/2).
               thread_local std::vector<float> zero;
               if (a == 0) {
                 zero.resize(2 * static_cast<std::size_t>(n));
                 for (int q = 0; q < n; ++q) {
                   const int miroir = (n - q) & masque;
                   const float cr = b.re[q * Lot], ci = b.im[q * Lot];
                   const float dr = b.re[miroir * Lot], di = b.im[miroir * Lot];
                   zero[2 * q] = sommes_[q] * cr + differences_[q] * dr;
                   zero[2 * q + 1] = sommes_[q] * ci - differences_[q] * di;
                 }
               }
               for (int q = 0; q < n; ++q) {
                 const float* f = facteurs_.data() + static_cast<std::size_t>(q) * m + a;
                 float* dr = b.re.data() + q * Lot;
                 float* di = b.im.data() + q * Lot;
                 for (int l = 0; l < nb; ++l) dr[l] *= f[l], di[l] *= f[l];
               }
               if (a == 0)
                 for (int q = 0; q < n; ++q)
                   b.re[q * Lot] = zero[2 * q], b.im[q * Lot] = zero[2 * q + 1];
               InverserBits(b, t);
               PapillonsInverses(b, t);
               for (int r = r0; r < r1; ++r) {
                 float* dr = ligne(re, r) + a;
                 float* di = ligne(im, r) + a;
                 const float* sr = b.re.data() + r * Lot;
                 const float* si = b.im.data() + r * Lot;
                 for (int l = 0; l < nb; ++l) dr[l] = sr[l], di[l] = si[l];
               }
             },
             FilsPour(n));

  // Inverse, rows: the pairs again, each pair's full spectrum X + iY rebuilt from the halves;
  // the real part is the first row, the imaginary part the second.
  PourChaque(
      lotsDePaires,
      [&](int k) {
        const TLot p = lotDePaires(k);
        TBrouillon& s = BrouillonJumeau(n);
        if (p.impairs < Lot) EffacerBrouillon(s, n, true, true);
        std::array<float*, Lot> pr{}, pi{}, ir{}, ii{}, sortiePaire{}, sortieImpaire{};
        for (int l = 0; l < p.pairs; ++l) {
          pr[l] = ligne(re, p.a + 2 * l), pi[l] = ligne(im, p.a + 2 * l);
          sortiePaire[l] = sortie + static_cast<std::size_t>(p.a + 2 * l) * n;
        }
        for (int l = 0; l < p.impairs; ++l) {
          ir[l] = ligne(re, p.a + 2 * l + 1), ii[l] = ligne(im, p.a + 2 * l + 1);
          sortieImpaire[l] = sortie + static_cast<std::size_t>(p.a + 2 * l + 1) * n;
        }
        float *sr = s.re.data(), *si = s.im.data();
        LignesVersLanes(pr.data(), p.pairs, m, sr);
        LignesVersLanes(pi.data(), p.pairs, m, si);
        LignesVersLanes(ir.data(), p.impairs, m, sr + m * Lot);
        LignesVersLanes(ii.data(), p.impairs, m, si + m * Lot);
        TBrouillon& b = Brouillon(n);
        float *zr = b.re.data(), *zi = b.im.data();
        const auto place = [&](int q) { return t.inverseBits[q] * Lot; };
        for (int l = 0; l < Lot; ++l) {
          zr[place(0) + l] = sr[l], zi[place(0) + l] = sr[m * Lot + l];
          zr[place(m) + l] = si[l], zi[place(m) + l] = si[m * Lot + l];
        }
        for (int q = 1; q < m; ++q) {
          const float *xr = sr + q * Lot, *xi = si + q * Lot;
          const float *yr = sr + (m + q) * Lot, *yi = si + (m + q) * Lot;
          float *ar = zr + place(q), *ai = zi + place(q);
          float *br = zr + place(n - q), *bi = zi + place(n - q);
          for (int l = 0; l < Lot; ++l) {
            ar[l] = xr[l] - yi[l], ai[l] = xi[l] + yr[l];
            br[l] = xr[l] + yi[l], bi[l] = yr[l] - xi[l];
          }
        }
        PapillonsInverses(b, t);
        LanesVersLignes(zr, p.pairs, c0, c1, sortiePaire.data());
        LanesVersLignes(zi, p.impairs, c0, c1, sortieImpaire.data());
      },
      FilsPour(n));
}

TGrilleReelle SpectrePuissance(const TGrilleReelle& complexe, int w, int h) {
  h = std::clamp(h, 0, complexe.Lignes());
  w = std::clamp(w, 0, complexe.Colonnes());
  TGrilleReelle p(1, h, w);
  if (complexe.Plans() < 2) return p;
  for (int r = 0; r < h; ++r) {
    const double* re = complexe.Ligne(0, r);
    const double* im = complexe.Ligne(1, r);
    double* d = p.Ligne(0, r);
    for (int c = 0; c < w; ++c) d[c] = re[c] * re[c] + im[c] * im[c];
  }
  return p;
}

void FFTLignes(TGrilleReelle& complexe, int n, int lignes) {
  if (complexe.Plans() < 2 || complexe.Colonnes() < n) throw std::invalid_argument("FFTLignes");
  lignes = std::clamp(lignes, 0, complexe.Lignes());
  const TTableFFT& t = Table(n);
  TBrouillon& b = Brouillon(n);
  const std::size_t pas = complexe.Colonnes();
  for (int r0 = 0; r0 < lignes; r0 += Lot) {
    const int nb = std::min(Lot, lignes - r0);
    const auto re = Lignes(complexe.Ligne(0, 0), pas, r0, nb, 0, lignes);
    const auto im = Lignes(complexe.Ligne(1, 0), pas, r0, nb, 0, lignes);
    ChargerLignes(b, t, re.data(), im.data(), nb, n, 0);
    Papillons(b, t);
    RangerLignes(b, n, re.data(), im.data(), nb);
  }
}

namespace {

// Blocked so both the rows read and the rows written stay in cache.
template <bool Inverse>
void Tourner(TGrilleReelle& a, int plans, int& lignes, int& colonnes) {
  const int h = a.Lignes(), w = a.Colonnes();
  plans = std::clamp(plans, 0, a.Plans());
  TGrilleReelle b(plans, w, h);
  constexpr int Bloc = 32;
  for (int p = 0; p < plans; ++p)
    for (int r0 = 0; r0 < h; r0 += Bloc)
      for (int k0 = 0; k0 < w; k0 += Bloc)
        for (int r = r0; r < std::min(r0 + Bloc, h); ++r)
          for (int k = k0; k < std::min(k0 + Bloc, w); ++k) {
            if constexpr (!Inverse)
              b(p, w - 1 - k, r) = a(p, r, k);  // new (N+1−k, r) = old (r, k)
            else
              b(p, k, h - 1 - r) = a(p, r, k);  // new (k', r') = old (N+1−r', k')
          }
  a = std::move(b);
  lignes = w;
  colonnes = h;
}

}  // namespace

void Pivoter(TGrilleReelle& a, int plans, int& lignes, int& colonnes) {
  Tourner<false>(a, plans, lignes, colonnes);
}

void PivoterInverse(TGrilleReelle& a, int plans, int& lignes, int& colonnes) {
  Tourner<true>(a, plans, lignes, colonnes);
}

void EchangerQuadrants(TGrilleReelle& a, int plans, int n) {
  // Both diagonal pairs of quadrants, so every element lands on its centred frequency.
  if (a.Lignes() < n || a.Colonnes() < n) throw std::invalid_argument("EchangerQuadrants");
  const int m = n / 2;
  plans = std::clamp(plans, 0, a.Plans());
  for (int p = 0; p < plans; ++p)
    for (int r = 0; r < m; ++r) {
      double* haut = a.Ligne(p, r);
      double* bas = a.Ligne(p, r + m);
      std::swap_ranges(haut, haut + m, bas + m);
      std::swap_ranges(haut + m, haut + n, bas);
    }
}

}  // namespace quelvane

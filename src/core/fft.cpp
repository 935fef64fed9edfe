#include "core/fft.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <vector>

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

TBrouillon& Brouillon(int n) {
  thread_local TBrouillon b;
  b.Preparer(n);
  return b;
}

// The butterflies of a batch already in bit-reversed order.
__attribute__((target_clones("arch=haswell", "default"))) void PapillonsLot(
    float* __restrict re, float* __restrict im, int n, const float* __restrict cosinus,
    const float* __restrict sinus) {
  if (n >= 4) {
    // Spans 2 and 4 together: twiddles 1 and −i need no products.
    for (int k = 0; k < n; k += 4) {
      float* r0 = re + k * Lot;
      float* i0 = im + k * Lot;
      for (int b = 0; b < Lot; ++b) {
        const float ar = r0[b], ai = i0[b];
        const float br = r0[Lot + b], bi = i0[Lot + b];
        const float cr = r0[2 * Lot + b], ci = i0[2 * Lot + b];
        const float dr = r0[3 * Lot + b], di = i0[3 * Lot + b];
        const float s0r = ar + br, s0i = ai + bi, s1r = ar - br, s1i = ai - bi;
        const float s2r = cr + dr, s2i = ci + di, s3r = cr - dr, s3i = ci - di;
        r0[b] = s0r + s2r;
        i0[b] = s0i + s2i;
        r0[2 * Lot + b] = s0r - s2r;
        i0[2 * Lot + b] = s0i - s2i;
        r0[Lot + b] = s1r + s3i;
        i0[Lot + b] = s1i - s3r;
        r0[3 * Lot + b] = s1r - s3i;
        i0[3 * Lot + b] = s1i + s3r;
      }
    }
  } else if (n == 2) {
    for (int b = 0; b < Lot; ++b) {
      const float ar = re[b], ai = im[b], br = re[Lot + b], bi = im[Lot + b];
      re[b] = ar + br;
      im[b] = ai + bi;
      re[Lot + b] = ar - br;
      im[Lot + b] = ai - bi;
    }
  }
  for (int h = 4; h < n; h *= 2) {
    for (int g = 0; g < n; g += 2 * h)
      for (int k = 0; k < h; ++k) {
        const float c = cosinus[h + k], s = sinus[h + k];
        float* rp = re + (g + k) * Lot;
        float* ip = im + (g + k) * Lot;
        float* rq = rp + h * Lot;
        float* iq = ip + h * Lot;
        for (int b = 0; b < Lot; ++b) {
          const float tr = rq[b] * c + iq[b] * s;
          const float ti = iq[b] * c - rq[b] * s;
          rq[b] = rp[b] - tr;
          iq[b] = ip[b] - ti;
          rp[b] += tr;
          ip[b] += ti;
        }
      }
  }
}

void Papillons(TBrouillon& b, const TTableFFT& t) {
  PapillonsLot(b.re.data(), b.im.data(), t.n, t.cosinus.data(), t.sinus.data());
}

// Row batch: lanes are rows r0..r0+nb−1 of (re, im) with w valid columns (the rest zero).
// `im` may be null for a real input.
void ChargerLignes(TBrouillon& b, const TTableFFT& t, const double* re, const double* im,
                   std::size_t pas, int nb, int w) {
  const int n = t.n;
  if (w < n || nb < Lot) std::fill_n(b.re.begin(), static_cast<std::size_t>(n) * Lot, 0.0f);
  if (w < n || nb < Lot || !im) std::fill_n(b.im.begin(), static_cast<std::size_t>(n) * Lot, 0.0f);
  for (int l = 0; l < nb; ++l) {
    const double* lr = re + l * pas;
    for (int k = 0; k < w; ++k) b.re[t.inverseBits[k] * Lot + l] = static_cast<float>(lr[k]);
    if (im) {
      const double* li = im + l * pas;
      for (int k = 0; k < w; ++k) b.im[t.inverseBits[k] * Lot + l] = static_cast<float>(li[k]);
    }
  }
}

void RangerLignes(const TBrouillon& b, int n, double* re, double* im, std::size_t pas, int nb) {
  for (int l = 0; l < nb; ++l) {
    double* lr = re + l * pas;
    double* li = im + l * pas;
    for (int k = 0; k < n; ++k) {
      lr[k] = b.re[k * Lot + l];
      li[k] = b.im[k * Lot + l];
    }
  }
}

// Column batch: lanes are columns c0..c0+nb−1; logical row r is stored at row ligne(r).
template <class FLigne>
void ChargerColonnes(TBrouillon& b, const TTableFFT& t, const double* re, const double* im,
                     std::size_t pas, int c0, int nb, FLigne ligne) {
  const int n = t.n;
  if (nb < Lot) {
    std::fill_n(b.re.begin(), static_cast<std::size_t>(n) * Lot, 0.0f);
    std::fill_n(b.im.begin(), static_cast<std::size_t>(n) * Lot, 0.0f);
  }
  for (int r = 0; r < n; ++r) {
    const std::size_t dec = ligne(r) * pas + c0;
    float* dr = b.re.data() + t.inverseBits[r] * Lot;
    float* di = b.im.data() + t.inverseBits[r] * Lot;
    for (int l = 0; l < nb; ++l) {
      dr[l] = static_cast<float>(re[dec + l]);
      di[l] = static_cast<float>(im[dec + l]);
    }
  }
}

// Column batch c0..c0+nb−1 transformed, then stored at rows k + N/2 and columns c + N/2
// (modulo N), divided by `facteur`.
void RangerColonnesEchangees(const TBrouillon& b, int n, double* re, double* im, int c0, int nb,
                             float facteur) {
  const int moitie = n / 2;
  for (int k = 0; k < n; ++k) {
    const std::size_t ligne = static_cast<std::size_t>((k + moitie) % n) * n;
    for (int l = 0; l < nb; ++l) {
      const std::size_t c = (c0 + l + moitie) % n;
      re[ligne + c] = b.re[k * Lot + l] / facteur;
      im[ligne + c] = b.im[k * Lot + l] / facteur;
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
  auto directe = [](int r) { return static_cast<std::size_t>(r); };
  TBrouillon& a = Brouillon(n);
  if (n <= Lot) {
    ChargerColonnes(a, t, re, im, n, 0, n, directe);
    Papillons(a, t);
    RangerColonnesEchangees(a, n, re, im, 0, n, facteur);
    return;
  }
  // The quadrant swap sends columns c and c + N/2 to each other's place: transform both
  // before storing either.
  TBrouillon& b = BrouillonJumeau(n);
  for (int c0 = 0; c0 < n / 2; c0 += Lot) {
    const int nb = std::min(Lot, n / 2 - c0);
    ChargerColonnes(a, t, re, im, n, c0, nb, directe);
    Papillons(a, t);
    ChargerColonnes(b, t, re, im, n, c0 + n / 2, nb, directe);
    Papillons(b, t);
    RangerColonnesEchangees(a, n, re, im, c0, nb, facteur);
    RangerColonnesEchangees(b, n, re, im, c0 + n / 2, nb, facteur);
  }
}

TGrilleReelle FFT2DGenerique(const TGrilleReelle& entree, bool complexe, int& h, int& w) {
  h = std::clamp(h, 0, entree.Lignes());
  w = std::clamp(w, 0, entree.Colonnes());
  if (complexe && entree.Plans() < 2) throw std::invalid_argument("spectre sans partie imaginaire");
  const int n = TailleFFT(h, w);
  const TTableFFT& t = Table(n);
  TGrilleReelle sortie(2, n, n);
  TBrouillon& b = Brouillon(n);
  const std::size_t pasEntree = entree.Colonnes();
  for (int r0 = 0; r0 < h; r0 += Lot) {  // rows below h are zero and stay zero
    const int nb = std::min(Lot, h - r0);
    ChargerLignes(b, t, entree.Ligne(0, r0), complexe ? entree.Ligne(1, r0) : nullptr, pasEntree,
                  nb, w);
    Papillons(b, t);
    RangerLignes(b, n, sortie.Ligne(0, r0), sortie.Ligne(1, r0), n, nb);
  }
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
  const TTableFFT& t = Table(n);
  TBrouillon& b = Brouillon(n);
  const int moitie = n / 2;
  double* re = spectre.Ligne(0, 0);
  double* im = spectre.Ligne(1, 0);
  std::vector<double> ligneRe(n), ligneIm(n);
  // Rows: undo the swap on the way in (logical row r is physical row r + N/2, logical column k
  // physical k + N/2), exchange real and imaginary parts, transform, store back in place.
  for (int r0 = 0; r0 < n; r0 += Lot) {
    const int nb = std::min(Lot, n - r0);
    std::fill_n(b.re.begin(), static_cast<std::size_t>(n) * Lot, 0.0f);
    std::fill_n(b.im.begin(), static_cast<std::size_t>(n) * Lot, 0.0f);
    for (int l = 0; l < nb; ++l) {
      const std::size_t ligne = static_cast<std::size_t>((r0 + l + moitie) % n) * n;
      for (int k = 0; k < n; ++k) {
        const std::size_t src = ligne + (k + moitie) % n;
        const int pos = t.inverseBits[k] * Lot + l;
        b.re[pos] = static_cast<float>(im[src]);
        b.im[pos] = static_cast<float>(re[src]);
      }
    }
    Papillons(b, t);
    for (int l = 0; l < nb; ++l) {
      const std::size_t ligne = static_cast<std::size_t>((r0 + l + moitie) % n) * n;
      for (int k = 0; k < n; ++k) {
        re[ligne + k] = b.re[k * Lot + l];
        im[ligne + k] = b.im[k * Lot + l];
      }
    }
  }
  // Columns; the imaginary part is the real part of the inverse transform.
  TGrilleReelle resultat(1, n, n);
  double* sortie = resultat.Ligne(0, 0);
  for (int c0 = 0; c0 < n; c0 += Lot) {
    const int nb = std::min(Lot, n - c0);
    ChargerColonnes(b, t, re, im, n, c0, nb,
                    [&](int r) { return static_cast<std::size_t>((r + moitie) % n); });
    Papillons(b, t);
    for (int k = 0; k < n; ++k)
      for (int l = 0; l < nb; ++l)
        sortie[static_cast<std::size_t>(k) * n + c0 + l] = b.im[k * Lot + l];
  }
  spectre = std::move(resultat);
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
    ChargerLignes(b, t, complexe.Ligne(0, r0), complexe.Ligne(1, r0), pas, nb, n);
    Papillons(b, t);
    RangerLignes(b, n, complexe.Ligne(0, r0), complexe.Ligne(1, r0), pas, nb);
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

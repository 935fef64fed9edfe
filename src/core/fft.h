#pragma once
// Two-dimensional discrete Fourier transforms of power-of-two squares.
// Forward: zero-padded at the bottom and right to N×N, divided by N², quadrants swapped so the
// zero frequency is at row and column N/2 + 1 (1-based). Inverse: undoes the swap, no division.
// The arithmetic is single precision, as the program has always computed it.

#include <vector>

#include "core/grille.h"

namespace quelvane {

// Largest transform side: a complex 4096² grid already takes 256 MB, and a picture padded
// beyond it (a 4097-pixel-wide strip) must be refused, not allocated.
constexpr int TailleFFTMax = 4096;

// Smallest power of two ≥ 2, ≥ w and ≥ h. The transforms throw std::length_error beyond
// TailleFFTMax.
int TailleFFT(int h, int w);

// Real input of h rows by w columns (plane 0) → complex N×N (planes 0 real, 1 imaginary).
// h and w become N.
TGrilleReelle FFT2D(const TGrilleReelle& entree, int& h, int& w);
// Complex input (planes 0 and 1) of h rows by w columns → complex N×N.
TGrilleReelle FFT2DComplexe(const TGrilleReelle& entree, int& h, int& w);
// The complex N×N spectrum is replaced by the real part of its unnormalised inverse transform.
void FFT2DInverse(TGrilleReelle& spectre, int n);
// re² + im² of every element.
TGrilleReelle SpectrePuissance(const TGrilleReelle& complexe, int w, int h);
// Every row of the complex array replaced by its 1-D forward transform (no normalisation).
void FFTLignes(TGrilleReelle& complexe, int n, int lignes);
// A real N×N grid filtered by a real factor per frequency: the real part of the inverse
// transform of (factor × forward transform), as FFT2D, the product and FFT2DInverse give it,
// for half their work (the input is real), without their allocations, in single precision
// throughout, skipping the input's rows known to be zero and computing only the output's rows
// and columns wanted.
class TFiltreFrequentiel {
 public:
  // `facteurs`: N×N in FFT2D's order (the zero frequency at row and column N/2 + 1).
  TFiltreFrequentiel(int n, const std::vector<double>& facteurs);
  int Cote() const { return n_; }
  // Grid memory: its rows and column batches start on cache lines, which threads then do not
  // share.
  using TPlan = std::vector<float, TAllocateurGrille<float>>;
  // What one caller needs between calls (several threads may filter at once, each with its own).
  struct TTravail {
    TPlan Re, Im;
  };
  TTravail Travail() const;
  // `entree`: N×N, zero outside rows [r0, r1). `sortie` is written at rows [r0, r1) and
  // columns [c0, c1), the rest left as it was.
  void Appliquer(const float* entree, float* sortie, int r0, int r1, int c0, int c1,
                 TTravail& travail) const;

 private:
  int n_;
  // Divided by N², in the transform's own order (zero frequency at 0, 0), for the first half
  // of the columns; for the zero and highest columns, packed as one, their half sum and half
  // difference.
  std::vector<float> facteurs_, sommes_, differences_;
};

// Quarter turn: new (N+1−k, r) = old (r, k) (1-based); the counts are exchanged.
void Pivoter(TGrilleReelle& tableau, int plans, int& lignes, int& colonnes);
// new (r, k) = old (N+1−k, r).
void PivoterInverse(TGrilleReelle& tableau, int plans, int& lignes, int& colonnes);
// (r, k) exchanged with (r + N/2, k + N/2) for r, k in the first half, in every plane.
void EchangerQuadrants(TGrilleReelle& tableau, int plans, int n);

}  // namespace quelvane

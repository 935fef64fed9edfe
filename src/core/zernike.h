#pragma once
// Zernike terms: numbering, names, RMS normalisation and evaluation, annular ("Mahajan") or
// classical ("Zernike"). Index j counts from 1 in names and labels; arrays hold Zj at j − 1.

#include <array>
#include <cstdint>
#include <string>

namespace quelvane {

constexpr int NMaxZern = 42;

using TCoefZernike = std::array<double, NMaxZern>;  // nanometres, un-normalised terms
using TSelZernike = std::array<bool, NMaxZern>;
using TValZernike = std::array<double, NMaxZern>;

enum TypePolynome : std::uint8_t { PolyMahajan = 0, PolyZernike = 1 };

// The term set the whole program shares: count, type, highest order, RMS factors.
struct TJeuZernike {
  std::uint8_t NbTermes = 0;
  std::uint8_t Type = PolyMahajan;
  std::uint8_t OrdreMax = 0;
  std::array<double, NMaxZern> FacteurNorm{};
};

// The single shared instance.
const TJeuZernike& JeuZernike();
void InitZernike(int nombre, int type);
// A term set as InitZernike would build it, without touching the shared one.
TJeuZernike ConstruireJeuZernike(int nombre, int type);

// Evaluates every term at normalised pupil point (x, y) with the given obstruction ratio.
// False, values untouched, outside the ring.
bool CalculZernike(double y, double x, double obstruction, TValZernike& valeurs);
// Whether (x, y) lies where the set's terms are defined: within the unit circle, and outside
// the obstruction for annular terms. CalculZernike gives values exactly there.
bool DansAnneau(const TJeuZernike& jeu, double y, double x, double obstruction);
bool CalculZernike(const TJeuZernike& jeu, double y, double x, double obstruction,
                   TValZernike& valeurs);
// The same polynomials anywhere, inside the ring or beyond it.
void CalculZernikeEtendu(const TJeuZernike& jeu, double y, double x, double obstruction,
                         TValZernike& valeurs);

// Radial order n and signed azimuthal frequency m (+ cosine, − sine) of term j (1..42).
void OrdresZernike(int j, int& n, int& m);
// "Z7 (3,1)".
std::string LibelleZernike(int j);
// The name of term j: the fixed name up to Z28, the formula beyond.
std::string NomZernike(int j);
// Formula of term (n, m), m signed: "(3r^3-2r) Cos(t)".
std::string NomPolynome(int n, int m);

extern const std::array<const char*, 28> NomsZernike;
extern const std::array<const char*, 6> NomsSeidel;
extern const std::array<const char*, 4> NomsCouleurs;

void CoefVersRMS(TCoefZernike& coefficients);
void CoefDepuisRMS(TCoefZernike& coefficients);
void CoefVersRMS(const TJeuZernike& jeu, TCoefZernike& coefficients);
void CoefDepuisRMS(const TJeuZernike& jeu, TCoefZernike& coefficients);
void SelectionComplete(TSelZernike& selection);
void RazCoefficients(TCoefZernike& coefficients);
TSelZernike MasqueSoustraction(const TSelZernike& selection, bool subTiltFocus, bool subComa);
TSelZernike MasqueSansTilt(const TSelZernike& selection);
int Factorielle(int k);

}  // namespace quelvane

#pragma once
// TFctXY: the sampled field every image, signal, wavefront and PSF is held in.
// Positions are numbered from 1 in the comments (row 1 at the top); arrays from 0.

#include <array>
#include <cstdint>
#include <vector>

#include "core/grille.h"
#include "core/imginfos.h"

namespace quelvane {

struct TTrace {
  std::uint8_t Visible = 0;
  std::uint8_t Forme = 0;  // 0 segment (X1,Y1)-(X2,Y2), 1 circle of centre (X1,Y1)
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, Rayon = 0;  // physical axis units
};

class TFctXY {
 public:
  TGrilleReelle Donnees;  // one plane, two when Complexe = 1 (real, imaginary)
  TGrilleEntiere Masque;  // 1 inside the pupil
  std::vector<double> AxeX;
  std::vector<double> AxeY;
  double PasX = 0;
  double PasY = 0;
  std::uint8_t Complexe = 0;
  std::int32_t NX = 0;
  std::int32_t NY = 0;
  double CentreX = 0;  // fractional 1-based column
  double CentreY = 0;  // fractional 1-based row
  std::int32_t NbEffectif = 0;
  double Mini = 0;
  double Maxi = 0;
  double Moyenne = 0;
  double Etendue = 0;
  double EcartType = 0;
  double RayonPhysique = 0;  // nanometres standing for normalised coordinate 1
  double Seuil = 0;
  double SeuilBas = 0;
  double SeuilHaut = 0;
  std::uint8_t Palette = 0;
  std::uint8_t Relief = 0;
  std::uint8_t MasqueVisible = 0;
  double Zoom = 0;
  double Contraste = 0;
  std::array<TTrace, 3> Traces{};
  TImgInfos Infos;

  // Sample (r, c), 0-based.
  double& V(int r, int c) { return Donnees(0, r, c); }
  double V(int r, int c) const { return Donnees(0, r, c); }
  std::int16_t& M(int r, int c) { return Masque(0, r, c); }
  std::int16_t M(int r, int c) const { return Masque(0, r, c); }
  bool Alloue() const { return !Donnees.Vide(); }

  void Allouer(int nx, int ny);
  void Liberer();
  void Copier(const TFctXY& source);
  void CopierSelonMasque(const TFctXY& source, std::int16_t code);
  void AffecterSelonMasque(std::int16_t code, bool egal, double valeur);
  void CopierMasque(const TFctXY& source);
  void DefinirAxes(double i1, double j1, double x1, double y1, double i2, double j2, double x2,
                   double y2);
  int ColonneDeX(double x, int defaut) const;
  int LigneDeY(double y, int defaut) const;
  void Multiplier(double facteur);
  void CombinaisonLineaire(const TFctXY& a, const TFctXY& b, double ka, double kb);
  void Additionner(const TFctXY& a, const TFctXY& b);
  void Ajouter(const TFctXY& b);
  void MinMax();
  void MinMaxMasque();
  void MoyenneEcartType();
  double EcartQuadratique(const TFctXY& autre) const;
  void Seuiller();
  void Decaler(double dx, double dy);
  void Symetrie180();
  void AgrandirPuissanceDeux();
  void Extraire(int x0, int y0, int nl, int nc);
  void DeriveeX(const TFctXY& source);
  void DeriveeY(const TFctXY& source);
  void GradientX(const TFctXY& source);
  void GradientY(const TFctXY& source);
  void DeriveeDirectionnelle(const TFctXY& source, double angle);
  // X column, Y row (1-based, fractional); false outside the grid or, with a visible mask,
  // outside the pupil.
  bool InterpolerBilineaire(double x, double y, double& valeur) const;
  void FFTDirecte(const TFctXY& source);
  // Takes over the source's grid: the source is left without data.
  void FFTInverse(TFctXY& source);
  void FiltrePoisson();

 protected:
  void ReinitialiserApresFFT(int n, double pasX, double pasY);
};

}  // namespace quelvane

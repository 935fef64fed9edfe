#include "settings/saisie_parametres.h"

#include <cmath>
#include <numbers>

namespace quelvane {

namespace {
constexpr double NmParMm = 1e6;
}

std::optional<std::string> VerifierEntrees(const TEntreesTest& e, const TNomsEntrees& noms,
                                           bool avecDefocalisation, bool avecPixel) {
  auto hors = [](double v, double mini, double maxi) {
    return !std::isfinite(v) || v < mini || v > maxi;
  };
  auto plage = [](const std::string& nom, const char* texte) { return nom + " : " + texte; };
  if (hors(e.DiametreMm, 1e-3, 1e4) || e.DiametreMm <= 0)
    return plage(noms.Diametre, "de 0,001 à 10 000 mm");
  if (hors(e.FocaleMm, 1e-3, 1e6) || e.FocaleMm <= 0)
    return plage(noms.Focale, "de 0,001 à 1 000 000 mm");
  if (avecDefocalisation &&
      (hors(e.DefocalisationMm, 1e-3, 1e6) || e.DefocalisationMm >= e.FocaleMm))
    return plage(noms.Defocalisation, "de 0,001 mm à moins que la focale");
  if (avecPixel && hors(e.PixelMicrons, 0.1, 1000)) return plage(noms.Pixel, "de 0,1 à 1 000 µm");
  if (e.BinAcquisition < 1 || e.BinAcquisition > 255 || e.BinLogiciel < 1 || e.BinLogiciel > 255)
    return std::string("Binning : de 1 à 255");
  if (e.Source == SourceArtificielle &&
      (hors(e.DistanceSourceMm, 0, 1e12) || e.DistanceSourceMm <= e.FocaleMm))
    return plage(noms.Distance,
                 "au-delà de la focale (l'image d'une source plus proche ne se forme pas)");
  if (!std::isfinite(e.IncidenceRadians) || std::fabs(e.IncidenceRadians) >= std::numbers::pi / 2)
    return plage(noms.Angle, "de -90 à 90 degrés, bornes exclues");
  if (hors(e.RotationDeg, -360, 360)) return plage(noms.Rotation, "de -360 à 360 degrés");
  return std::nullopt;
}

TEntreesTest EntreesDepuis(const TParametresTest& p) {
  TEntreesTest e;
  e.DiametreMm = 2 * p.RayonInstrument / NmParMm;
  e.FocaleMm = p.DistanceFocale / NmParMm;
  e.DefocalisationMm = p.Defocalisation / NmParMm;
  e.RotationDeg = p.RotationOptique;
  return e;
}

double FocaleNm(const TEntreesTest& e) { return e.FocaleMm * NmParMm; }
double RayonInstrumentNm(const TEntreesTest& e) { return e.DiametreMm * NmParMm / 2; }

double DistanceSourceNm(const TEntreesTest& e) {
  switch (e.Source) {
    case SourceArtificielle: return e.DistanceSourceMm > 0 ? e.DistanceSourceMm * NmParMm : 0;
    case SourceCourbure: return 2 * FocaleNm(e);
    default: return 0;
  }
}

TAberrationsMontage CalculerAberrationsMontage(const TEntreesTest& e) {
  const double f = FocaleNm(e), r = RayonInstrumentNm(e), d = DistanceSourceNm(e);
  TAberrationsMontage a;
  a.Astigmatisme = AstigmatismeHorsAxe(e.IncidenceRadians, f, r);
  a.Coma = ComaHorsAxe(e.IncidenceRadians, f, r, d);
  a.Sphericite = d != 0 ? SphericiteSource(f, r, d) : 0;
  return a;
}

double DefocalisationDepuisRayons(const TEntreesTest& e, double rIntraPx, double rExtraPx) {
  return CalculerDefocalisation(e.DiametreMm, e.FocaleMm, e.PixelMicrons, e.BinAcquisition,
                                e.BinLogiciel, rIntraPx, rExtraPx);
}

void AppliquerEntrees(const TEntreesTest& e, const TAberrationsMontage& a, TParametresTest& p) {
  p.DistanceFocale = FocaleNm(e);
  p.RayonInstrument = RayonInstrumentNm(e);
  p.Defocalisation = e.DefocalisationMm * NmParMm;
  p.DistanceSource = DistanceSourceNm(e);
  p.Incidence = e.IncidenceRadians;
  p.RotationOptique = e.RotationDeg;
  p.Autocollimation = e.Source == SourceAutocollimation;
  p.Sphericite = a.Sphericite;
  if (e.Orientation == SelonX) {
    p.AstigmatismeX = a.Astigmatisme, p.AstigmatismeY = 0;
    p.ComaX = a.Coma, p.ComaY = 0;
  } else if (e.Orientation == SelonY) {
    p.AstigmatismeX = 0, p.AstigmatismeY = a.Astigmatisme;
    p.ComaX = 0, p.ComaY = a.Coma;
  }
}

}  // namespace quelvane

#include "settings/saisie_parametres.h"

namespace quelvane {

namespace {
constexpr double NmParMm = 1e6;
}

TEntreesTest EntreesDepuis(const TParametresTest& p) {
  TEntreesTest e;
  e.DiametreMm = 2 * p.RayonInstrument / NmParMm;
  e.FocaleMm = p.DistanceFocale / NmParMm;
  e.DefocalisationMm = p.Defocalisation / NmParMm;
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

#include "settings/parametres.h"

#include <cmath>

#include "files/nombres.h"

namespace quelvane {

TParametresTest ParametresTest;
TParametresSimulation ParametresSimulation;

double CalculerDefocalisation(double diametreMm, double focaleMm, double pixelMicrons,
                              int binAcquisition, int binLogiciel, double rayonIntraPx,
                              double rayonExtraPx) {
  const double b = static_cast<double>(static_cast<std::uint8_t>(binLogiciel)) *
                   static_cast<std::uint8_t>(binAcquisition);
  const double p = pixelMicrons * 1000;
  const double f = focaleMm * 1e6;
  const double r = diametreMm * 500000;
  if (r == 0) return 0;  // no instrument, no defocus
  const double k = b * p * f / r;
  return (rayonIntraPx + rayonExtraPx) / 2 * k;
}

double DistanceObjet(const std::string& texte, int unite) {
  if (unite < 0 || unite > 2) unite = 0;
  return LireReel(texte) * std::pow(1000.0, unite) * 1e6;
}

double angleIncidence(const std::string& texte, int unite) {
  const double v = LireReel(texte);
  return unite == 1 ? v : v * 3.141592653589 / 180;
}

double AstigmatismeHorsAxe(double theta, double f, double r) {
  return f == 0 ? 0 : -r * r * theta * theta / (4 * f);
}

namespace {
// 1 − 2F/D; a source at infinity (D = 0) gives 1.
double FacteurSource(double f, double d) { return d == 0 ? 1.0 : 1 - 2 * f / d; }
}  // namespace

double ComaHorsAxe(double theta, double f, double r, double d) {
  return f == 0 ? 0 : FacteurSource(f, d) * theta * r * r * r / (12 * f * f);
}

double SphericiteSource(double f, double r, double d) {
  const double g = FacteurSource(f, d);
  return f == 0 ? 0 : r * r * r * r * (1 - g * g) / (192 * f * f * f);
}

namespace {

// Rounded to the millisecond of the last unit before it is split, so that 59.9999 s carries
// into the minute; the sign is written once, in front.
std::string Sexagesimal(double x, const char* u1, const char* u2, const char* u3) {
  // A header value beyond any sky coordinate is shown as it is, not split.
  if (!std::isfinite(x) || std::fabs(x) > 1e9)
    return FormaterFixe(std::isfinite(x) ? x : 0, 3) + u1;
  const bool negatif = x < 0;
  const double milliemes = std::round(std::fabs(x) * 3600 * 1000);
  const double h = std::floor(milliemes / 3600000);
  const double reste = milliemes - h * 3600000;
  const double m = std::floor(reste / 60000);
  const double sec = (reste - m * 60000) / 1000;
  return std::string(negatif && milliemes > 0 ? "-" : "") +
         std::to_string(static_cast<long long>(h)) + u1 +
         std::to_string(static_cast<long long>(m)) + u2 + FormaterFixe(sec, 3) + u3;
}

}  // namespace

std::string HeuresEnTexte(double x) { return Sexagesimal(x, "h ", "m ", "s"); }
std::string DegresEnTexte(double x) { return Sexagesimal(x, "° ", "' ", "\""); }

}  // namespace quelvane

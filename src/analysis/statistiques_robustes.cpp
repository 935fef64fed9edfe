#include "analysis/statistiques_robustes.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace quelvane {

namespace {

// Keys in the values' order: the sign bit set for positives, every bit inverted for
// negatives. −0 takes +0's key, for they are equal values. Without a branch, so that a sweep
// computing them vectorises.
inline std::uint64_t Cle(double x) {
  constexpr std::uint64_t Signe = std::uint64_t{1} << 63;
  std::uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  u = u == Signe ? 0 : u;
  const std::uint64_t negatif = static_cast<std::uint64_t>(static_cast<std::int64_t>(u) >> 63);
  return u ^ (negatif | Signe);
}

inline double Valeur(std::uint64_t cle) {
  const std::uint64_t u = (cle >> 63) ? cle & ~(1ULL << 63) : ~cle;
  double x;
  std::memcpy(&x, &u, sizeof x);
  return x;
}

}  // namespace

// A radix selection on the keys less the smallest, twelve bits at a time from the highest
// that differs: one sweep making the keys (and their range), one counting and one gathering
// the few in the right bucket replace nth_element's many passes of comparisons.
double KiemePlusPetite(const double* v, std::size_t n, std::size_t k) {
  // A few values (a pixel across the frames of a series): the counts would cost more than
  // sorting them.
  if (n <= 512) {
    thread_local std::vector<double> copie;
    copie.assign(v, v + n);
    std::nth_element(copie.begin(), copie.begin() + static_cast<std::ptrdiff_t>(k), copie.end());
    return copie[k] == 0 ? 0.0 : copie[k];  // one zero, as the keys have it
  }
  constexpr int Bits = 12;
  thread_local std::vector<std::uint64_t> cles;
  cles.resize(n);
  std::uint64_t mini = ~std::uint64_t{0}, maxi = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t c = Cle(v[i]);
    cles[i] = c;
    mini = std::min(mini, c), maxi = std::max(maxi, c);
  }
  std::vector<std::uint32_t> compte(std::size_t{1} << Bits);
  std::vector<std::uint64_t> candidates;
  int decalage = std::max(0, static_cast<int>(std::bit_width(maxi - mini)) - Bits);
  std::uint64_t seau = 0;
  for (std::size_t i = 0; i < n; ++i) ++compte[(cles[i] - mini) >> decalage];
  for (; k >= compte[seau]; ++seau) k -= compte[seau];
  candidates.reserve(compte[seau]);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t c = cles[i] - mini;
    if ((c >> decalage) == seau) candidates.push_back(c);
  }
  while (candidates.size() > 64 && decalage > 0) {
    const int bits = std::min(Bits, decalage);
    decalage -= bits;
    const std::uint64_t masque = (std::uint64_t{1} << bits) - 1;
    std::fill(compte.begin(), compte.end(), 0);
    for (std::uint64_t c : candidates) ++compte[(c >> decalage) & masque];
    seau = 0;
    for (; k >= compte[seau]; ++seau) k -= compte[seau];
    std::erase_if(candidates, [&](std::uint64_t c) { return ((c >> decalage) & masque) != seau; });
  }
  std::nth_element(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(k),
                   candidates.end());
  return Valeur(candidates[k] + mini);
}

double Mediane(const std::vector<double>& v) {
  if (v.empty()) return 0;
  return KiemePlusPetite(v.data(), v.size(), v.size() / 2);
}

double EcartRobuste(const std::vector<double>& valeurs) {
  const double m = Mediane(valeurs);
  std::vector<double> ecarts(valeurs.size());
  for (std::size_t i = 0; i < valeurs.size(); ++i) ecarts[i] = std::fabs(valeurs[i] - m);
  return 1.4826 * Mediane(ecarts);
}

namespace {

// Least-squares plane through the kept points; false when they do not fix one.
bool Plan(const std::vector<TPointPlan>& points, const std::vector<char>& garde, double p[3]) {
  double a[3][4] = {};
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!garde[i]) continue;
    const double u[3] = {1, points[i].x, points[i].y};
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) a[r][c] += u[r] * u[c];
      a[r][3] += u[r] * points[i].v;
    }
  }
  // Gauss–Jordan with partial pivoting on the 3 × 3 normal equations.
  for (int c = 0; c < 3; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 3; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
    if (std::fabs(a[pivot][c]) < 1e-9 * (std::fabs(a[0][0]) + 1)) return false;
    std::swap(a[c], a[pivot]);
    for (int r = 0; r < 3; ++r) {
      if (r == c) continue;
      const double k = a[r][c] / a[c][c];
      for (int k2 = c; k2 < 4; ++k2) a[r][k2] -= k * a[c][k2];
    }
  }
  for (int r = 0; r < 3; ++r) p[r] = a[r][3] / a[r][r];
  return true;
}

}  // namespace

bool PlanRobuste(const std::vector<TPointPlan>& tous, double p[3], long& gardes, double& sigma,
                 std::size_t pointsMax) {
  std::vector<TPointPlan> extrait;
  if (pointsMax > 0 && tous.size() > pointsMax) {
    const std::size_t pas = (tous.size() + pointsMax - 1) / pointsMax;
    for (std::size_t i = 0; i < tous.size(); i += pas) extrait.push_back(tous[i]);
  }
  const std::vector<TPointPlan>& points = extrait.empty() ? tous : extrait;
  p[0] = p[1] = p[2] = 0;
  gardes = 0;
  sigma = 0;
  if (points.empty()) return false;
  {
    std::vector<double> v(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) v[i] = points[i].v;
    p[0] = Mediane(std::move(v));
  }
  std::vector<char> garde(points.size(), 1);
  std::vector<double> ecarts(points.size());
  bool plan = false;
  for (int iteration = 0; iteration < 5; ++iteration) {
    for (std::size_t i = 0; i < points.size(); ++i)
      ecarts[i] = std::fabs(points[i].v - (p[0] + p[1] * points[i].x + p[2] * points[i].y));
    const double s = 1.4826 * Mediane(ecarts);
    const double seuil = 3 * std::max(s, 1e-12 * (std::fabs(p[0]) + 1));
    long n = 0;
    bool change = iteration == 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const char g = ecarts[i] <= seuil;
      change = change || g != garde[i];
      n += garde[i] = g;
    }
    // The same points as last time give the same plane.
    if (n < 16 || !change) break;
    double q[3] = {p[0], p[1], p[2]};
    if (!Plan(points, garde, q)) break;
    std::copy(q, q + 3, p);
    plan = true;
  }
  double s2 = 0;
  for (std::size_t i = 0; i < points.size(); ++i)
    if (garde[i]) {
      const double e = points[i].v - (p[0] + p[1] * points[i].x + p[2] * points[i].y);
      s2 += e * e;
      ++gardes;
    }
  sigma = gardes > 0 ? std::sqrt(s2 / gardes) : 0;
  return plan;
}

}  // namespace quelvane

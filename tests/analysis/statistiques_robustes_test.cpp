#include "analysis/statistiques_robustes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace quelvane {
namespace {

// The selection gives nth_element's value for every rank, on values that share their high
// bits (a background a few ADU wide), repeat, change sign, or reach the infinities.
TEST(StatistiquesRobustes, SelectionCommeNthElement) {
  std::mt19937 alea(5);
  std::normal_distribution<double> fond(1000, 3);
  std::uniform_int_distribution<int> entier(-20, 20);
  const double inf = std::numeric_limits<double>::infinity();
  for (int cas = 0; cas < 4; ++cas) {
    std::vector<double> v;
    for (int i = 0; i < 3001; ++i) {
      switch (cas) {
        case 0: v.push_back(fond(alea)); break;
        case 1: v.push_back(entier(alea)); break;
        case 2: v.push_back(fond(alea) * (i % 2 ? 1 : -1e-3)); break;
        default: v.push_back(i % 500 == 0 ? (i % 1000 ? inf : -inf) : fond(alea));
      }
    }
    for (const std::size_t taille : {std::size_t{300}, v.size()})  // few values, many
      for (std::size_t k = 0; k < taille; k += 7) {
        std::vector<double> copie(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(taille));
        std::nth_element(copie.begin(), copie.begin() + static_cast<std::ptrdiff_t>(k),
                         copie.end());
        ASSERT_EQ(KiemePlusPetite(v.data(), taille, k), copie[k]) << cas << " rang " << k;
      }
  }
  EXPECT_EQ(Mediane({}), 0);
  EXPECT_EQ(Mediane({3}), 3);
  EXPECT_EQ(Mediane({4, 1, 3, 2}), 3);  // the upper one of an even count
  // −0 and +0 are one value; the answer is a zero either way.
  EXPECT_EQ(Mediane({-0.0, 0.0, -0.0}), 0.0);
}

// A plane through a background with a tenth of wild samples (another star, hot pixels).
TEST(StatistiquesRobustes, PlanMalgreLesAberrants) {
  std::mt19937 alea(9);
  std::normal_distribution<double> bruit(0, 2);
  std::vector<TPointPlan> points;
  for (int y = -50; y <= 50; y += 2)
    for (int x = -50; x <= 50; x += 2) {
      double v = 500 + 0.3 * x - 0.2 * y + bruit(alea);
      if ((x + 3 * y) % 10 == 0) v += 5000;
      points.push_back({double(x), double(y), v});
    }
  double p[3];
  long gardes = 0;
  double sigma = 0;
  ASSERT_TRUE(PlanRobuste(points, p, gardes, sigma));
  EXPECT_NEAR(p[0], 500, 0.3);
  EXPECT_NEAR(p[1], 0.3, 0.01);
  EXPECT_NEAR(p[2], -0.2, 0.01);
  EXPECT_NEAR(sigma, 2, 0.3);
  EXPECT_LT(gardes, static_cast<long>(points.size() * 0.92));
}

}  // namespace
}  // namespace quelvane

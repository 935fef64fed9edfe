#pragma once
// Statistics that a few wild samples (hot pixels, cosmic rays, the light of another star) do
// not drag away: medians and a background plane fitted with clipping.

#include <cstddef>
#include <vector>

namespace quelvane {

// The median (the upper one of an even count); 0 for no value.
double Mediane(const std::vector<double>& valeurs);

// The k-th smallest of n values (0-based), as std::nth_element would leave at index k, without
// moving them; NaN sorts beyond ±∞. k < n.
double KiemePlusPetite(const double* valeurs, std::size_t n, std::size_t k);

// 1.4826 × the median absolute deviation from the median: the standard deviation of Gaussian
// samples, whatever a minority of outliers does.
double EcartRobuste(const std::vector<double>& valeurs);

struct TPointPlan {
  double x, y, v;  // position from the plane's centre (pixels), value
};

// The plane a + b·x + c·y through the points within 3σ of it, σ from the median absolute
// deviation, refitted a few times from the median. `gardes` gets how many points were kept
// and `sigma` the spread of those; false when the points do not fix a plane (then `p` holds
// the median level and no slope). Beyond `pointsMax` points (0: no limit), an evenly spread
// share of them is enough.
bool PlanRobuste(const std::vector<TPointPlan>& points, double p[3], long& gardes, double& sigma,
                 std::size_t pointsMax = 0);

}  // namespace quelvane

#pragma once
#include <vector>

// P(max_k |Z_k| >= m) for Z ~ N(0, covariance), the covariance row-major of
// dimension 1 to 5 (a component of variance 0 never reaches m > 0). In one
// dimension it is erfc(m / sqrt 2); in more, a quasi-random rule with fixed
// points gives it, the same number on every run, to within 1% relative where
// it is below 0.05 (three estimated standard errors at most 0.3%), down to
// 1e-15 and below, and to within about 5% where it is 0.05 or more (3
// standard errors at most 5%): far from significance fewer points do.
// Its cost is a few tens of microseconds for five correlated PP values.
double normal_max_tail(const std::vector<double>& covariance, double m);

// The same by the first rule written, kept as the straightforward version
// the run's rule is checked against: more points from the start, each draw
// refined by Halley steps.
double normal_max_tail_reference(const std::vector<double>& covariance, double m);

// The p-value of the moment scores z (numerator_moments::z) with their
// covariance: the largest |z| against the maximum of the correlated normals.
double normal_max_p_value(const std::vector<double>& z, const std::vector<double>& covariance);

// The standard normal upper tail 1 - Phi(x) and its inverse, to full precision.
double normal_upper(double x);
double normal_upper_inverse(double q);
// The same to 5e-7 relative, without erfc: the draws of normal_max_tail.
double normal_upper_inverse_fast(double q);

// Times one degree estimate, as a roots call makes it, for a state dimension
// of 10 and 2, 4 and 6 matrices: the grid strategy for 2 and 4 (22 and 8800
// eigenvalue problems), the commensurate one for 6 (40 problems); and for a
// state dimension of 40 with 3 matrices (440 problems), where LAPACK solves
// them.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "roots/estimate/size_estimate.h"

namespace {

constexpr double r = -1.0;
constexpr int repeats = 5;

// Random entries in [-1, 1]; delays 0, then evenly spread up to 1.
quorv::quorv random_system(int n, int mA, std::mt19937& rng) {
    std::uniform_real_distribution<double> entry(-1.0, 1.0);
    std::vector<Eigen::MatrixXd> A;
    std::vector<double> hA;
    for (int k = 0; k < mA; ++k) {
        A.push_back(Eigen::MatrixXd::NullaryExpr(n, n, [&] { return entry(rng); }));
        hA.push_back(static_cast<double>(k) / (mA - 1));
    }
    return quorv::quorv(std::move(A), std::move(hA));
}

double median_seconds(const quorv::quorv& sys, int& degree) {
    std::vector<double> seconds;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        degree = quorv::estimate_degree(sys, r, 20);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        seconds.push_back(elapsed.count());
    }
    std::nth_element(seconds.begin(), seconds.begin() + repeats / 2, seconds.end());
    return seconds[repeats / 2];
}

}  // namespace

int main() {
    std::mt19937 rng(20240611);
    std::printf("estimate_degree(sys, %g, 20), median of %d calls\n", r, repeats);
    std::printf("%4s  %4s  %12s  %14s  %6s\n", "n", "mA", "strategy", "time per call", "degree");
    for (const auto [n, mA] : {std::pair{10, 2}, {10, 4}, {10, 6}, {40, 3}}) {
        const quorv::quorv sys = random_system(n, mA, rng);
        int degree = 0;
        const double seconds = median_seconds(sys, degree);
        std::printf("%4d  %4d  %12s  %11.3f ms  %6d\n", n, mA, mA > 4 ? "commensurate" : "grid",
                    seconds * 1e3, degree);
    }
}

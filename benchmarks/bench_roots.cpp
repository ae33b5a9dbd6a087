// Times quorv::roots on a ladder of systems: orders n = 1 .. 20, two to six
// matrices, and for each an abscissa r chosen so that the discretization
// degree N comes out near 10, 50 and 100. Reports N, the pencil order D, the
// roots found, the median time of a call and its peak memory, then the share
// of the largest pencil's time spent forming its standard form and in
// LAPACK's eigenvalue iteration.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "roots/companion.h"
#include "roots/eigenvalues.h"
#include "roots/roots.h"
#include "roots/size_estimate.h"

namespace {

using clock_type = std::chrono::steady_clock;

quorv::quorv random_system(int n, int m, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<Eigen::MatrixXd> A;
    std::vector<double> hA;
    for (int k = 0; k < m; ++k) {
        Eigen::MatrixXd a = Eigen::MatrixXd::NullaryExpr(n, n, [&] { return normal(gen); });
        A.push_back(a / std::sqrt(double(n)) - (k == 0 ? 1.0 : 0.0) * Eigen::MatrixXd::Identity(n, n));
        hA.push_back(k == 0 ? 0.0 : double(k) / (m - 1));
    }
    return quorv::quorv(std::move(A), std::move(hA));
}

// The degree grows as r moves left (until the damping factors overflow, far
// left): step left from r = 2 until the estimate reaches target, then bisect
// within that step for the largest r that still needs it.
double abscissa_for_degree(const quorv::quorv& sys, int target) {
    double hi = 2.0;
    while (quorv::estimate_degree(sys, hi - 1.0, 20) < target && hi > -100.0) hi -= 1.0;
    double lo = hi - 1.0;
    for (int i = 0; i < 20; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (quorv::estimate_degree(sys, mid, 20) >= target) lo = mid; else hi = mid;
    }
    return lo;
}

// A memory figure of /proc/self/status in KiB: VmRSS, the resident set, or
// VmHWM, its high-water mark (writing 5 to clear_refs resets the mark).
long status_kib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

struct row {
    int n, m, N;
    long D;
    double r;
    std::size_t found;
    double seconds;
    double cpu_seconds;
    double peak_mib;
};

row measure(int n, int m, int target) {
    const quorv::quorv sys = random_system(n, m, 1000u * n + m);
    const double r = abscissa_for_degree(sys, target);
    std::vector<double> times, cpu_times;
    quorv::discretization_degree degree;
    std::size_t found = 0;
    double peak_mib = 0;
    for (int rep = 0; rep < 3; ++rep) {
        reset_peak();
        const long before = status_kib("VmRSS");
        const auto start = clock_type::now();
        const std::clock_t cpu_start = std::clock();
        found = quorv::roots(sys, r, degree).size();
        times.push_back(seconds_since(start));
        cpu_times.push_back(double(std::clock() - cpu_start) / CLOCKS_PER_SEC);
        peak_mib = std::max(peak_mib, (status_kib("VmHWM") - before) / 1024.0);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu_times.begin(), cpu_times.end());
    return {n, m, degree.used, long(n) * (degree.used + 1), r, found, times[1], cpu_times[1], peak_mib};
}

void eigen_solver_share(const row& largest) {
    const quorv::quorv sys = random_system(largest.n, largest.m, 1000u * largest.n + largest.m);
    auto start = clock_type::now();
    Eigen::MatrixXd C = quorv::companion(sys, largest.N);
    const double build = seconds_since(start);
    start = clock_type::now();
    Eigen::VectorXcd lambda;
    quorv::real_eigenvalues(C, lambda);
    const double solve = seconds_since(start);
    std::printf("\nlargest pencil (n = %d, N = %d, D = %ld): standard form built in %.4f s, "
                "eigenvalues in %.3f s = %.0f%% of the roots call (%.3f s)\n",
                largest.n, largest.N, largest.D, build, solve, 100.0 * solve / largest.seconds,
                largest.seconds);
}

}  // namespace

int main() {
    const int ladder[][2] = {{1, 2}, {2, 3}, {5, 4}, {10, 5}, {20, 6}};
    std::vector<row> rows;
    std::printf("| n | matrices | r | N | D | roots found | time (ms) | CPU time (ms) | peak memory (MiB) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& [n, m] : ladder)
        for (int target : {10, 50, 100}) {
            const row x = measure(n, m, target);
            rows.push_back(x);
            std::printf("| %d | %d | %.3f | %d | %ld | %zu | %.3f | %.3f | %.1f |\n", x.n, x.m, x.r,
                        x.N, x.D, x.found, 1e3 * x.seconds, 1e3 * x.cpu_seconds, x.peak_mib);
            std::fflush(stdout);
        }
    eigen_solver_share(*std::max_element(rows.begin(), rows.end(),
                                         [](const row& a, const row& b) { return a.D < b.D; }));
}

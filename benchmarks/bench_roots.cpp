// Times quorv::roots on a ladder of systems: orders n = 1 .. 20, two to six
// matrices, and for each an abscissa r chosen so that the discretization
// degree N comes out near 10, 50 and 100. Reports N, the pencil order D, the
// roots found, the roots counted, the median time (wall and CPU) of a call,
// the share of it the count of the roots right of r takes, the time of the
// completion stage, and its peak memory; then the share of the largest
// pencil's time spent forming its standard form and in LAPACK's eigenvalue
// iteration, and two systems whose roots the pencil alone does not all find,
// with the time of each stage.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "roots/pencil/companion.h"
#include "roots/pencil/eigenvalues.h"
#include "roots/count/root_count.h"
#include "roots/roots.h"
#include "roots/estimate/size_estimate.h"

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
    long counted;
    double seconds;
    double cpu_seconds;
    double count_share;
    double completion_seconds;
    double enclosure_share;
    double peak_mib;
};

struct call {
    double seconds, cpu_seconds;
    quorv::roots_report report;
    std::size_t found;
};

// Three calls of roots(sys, r), sorted by wall time: the middle one is the median.
std::vector<call> three_calls(const quorv::quorv& sys, double r, double& peak_mib) {
    std::vector<call> calls;
    for (int rep = 0; rep < 3; ++rep) {
        reset_peak();
        const long before = status_kib("VmRSS");
        const auto start = clock_type::now();
        const std::clock_t cpu_start = std::clock();
        call c;
        c.found = quorv::roots(sys, r, c.report).size();
        c.seconds = seconds_since(start);
        c.cpu_seconds = double(std::clock() - cpu_start) / CLOCKS_PER_SEC;
        calls.push_back(c);
        peak_mib = std::max(peak_mib, (status_kib("VmHWM") - before) / 1024.0);
    }
    std::sort(calls.begin(), calls.end(), [](const call& a, const call& b) { return a.seconds < b.seconds; });
    return calls;
}

row measure(int n, int m, int target) {
    const quorv::quorv sys = random_system(n, m, 1000u * n + m);
    const double r = abscissa_for_degree(sys, target);
    double peak_mib = 0;
    const call median = three_calls(sys, r, peak_mib)[1];
    const quorv::roots_report& report = median.report;
    return {n, m, report.degree_used, long(n) * (report.degree_used + 1), r, median.found, report.counted,
            median.seconds, median.cpu_seconds, report.seconds.count / median.seconds,
            report.seconds.completion, report.seconds.enclosure / median.seconds, peak_mib};
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

quorv::quorv long_delay() {
    return quorv::quorv({Eigen::MatrixXd::Constant(1, 1, -1.0), Eigen::MatrixXd::Constant(1, 1, 0.5)}, {0.0, 80.0});
}

// The companion system of lambda^8 + p_0(lambda) + sum_k p_k(lambda) e^{-lambda h_k}:
// p_0 from the roots -0.5 - 0.1 j +- i j / 2, j = 1..4, and small random
// p_k of degree 7 at the delays h_k = 25 k / 9.
quorv::quorv companion_system() {
    Eigen::VectorXcd poly = Eigen::VectorXcd::Zero(9);
    poly[0] = 1;
    int degree = 0;
    for (int j = 1; j <= 4; ++j)
        for (double sign : {1.0, -1.0}) {
            const std::complex<double> root(-0.5 - 0.1 * j, sign * 0.5 * j);
            for (int i = ++degree; i > 0; --i) poly[i] = poly[i - 1] - root * poly[i];
            poly[0] *= -root;
        }
    std::mt19937 gen(8);
    std::normal_distribution<double> normal(0.0, 0.3);
    std::vector<Eigen::MatrixXd> A;
    std::vector<double> hA;
    for (int k = 0; k <= 9; ++k) {
        Eigen::MatrixXd a = Eigen::MatrixXd::Zero(8, 8);
        if (k == 0) a.topRightCorner(7, 7).setIdentity();
        for (int j = 0; j < 8; ++j) a(7, j) = k == 0 ? -poly[j].real() : normal(gen);
        A.push_back(a);
        hA.push_back(25.0 * k / 9);
    }
    return quorv::quorv(std::move(A), std::move(hA));
}

// The largest r in [-2, 2] right of which about `target` roots lie.
double abscissa_for_count(const quorv::quorv& sys, long target) {
    double lo = -2.0, hi = 2.0;
    for (int i = 0; i < 30; ++i) {
        const double mid = 0.5 * (lo + hi);
        quorv::work_budget budget{quorv::count_evaluations};
        const quorv::region_count c = quorv::count_region(sys, mid, budget);
        if (c.state != quorv::region_count::outcome::counted || c.count > target) lo = mid; else hi = mid;
    }
    return hi;
}

void completion_target(const char* name, const quorv::quorv& sys, double r) {
    double peak_mib = 0;
    const call median = three_calls(sys, r, peak_mib)[1];
    const quorv::roots_report& report = median.report;
    std::printf("%s at r = %.4f: %ld roots counted, %ld found (%zu entries), %.3f s per call: "
                "global stage %.3f s, count %.3f s, completion %.3f s; degree %d of %d asked\n",
                name, r, report.counted, report.found, median.found, median.seconds, report.seconds.global,
                report.seconds.count, report.seconds.completion, report.degree_used, report.degree_needed);
}

}  // namespace

int main() {
    const int ladder[][2] = {{1, 2}, {2, 3}, {5, 4}, {10, 5}, {20, 6}};
    std::vector<row> rows;
    std::printf("| n | matrices | r | N | D | roots found | roots counted | time (ms) | CPU time (ms) | count share | completion (ms) | enclosure share | peak memory (MiB) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& [n, m] : ladder)
        for (int target : {10, 50, 100}) {
            const row x = measure(n, m, target);
            rows.push_back(x);
            std::printf("| %d | %d | %.3f | %d | %ld | %zu | %ld | %.3f | %.3f | %.0f%% | %.3f | %.1f%% | %.1f |\n",
                        x.n, x.m, x.r, x.N, x.D, x.found, x.counted, 1e3 * x.seconds, 1e3 * x.cpu_seconds,
                        100 * x.count_share, 1e3 * x.completion_seconds, 100 * x.enclosure_share, x.peak_mib);
            std::fflush(stdout);
        }
    eigen_solver_share(*std::max_element(rows.begin(), rows.end(),
                                         [](const row& a, const row& b) { return a.D < b.D; }));
    std::printf("\n");
    completion_target("x' = -x + 0.5 x(t - 80)", long_delay(), -0.02);
    const quorv::quorv companion = companion_system();
    completion_target("degree-8 quasi-polynomial, 9 delays up to 25", companion, abscissa_for_count(companion, 80));
}

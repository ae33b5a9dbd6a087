// Cost of quorv::roots as the order n grows, stage by stage, against the
// eigenvalues of the pencil alone. Families (as in benchmarks/scaling.py):
//   ring:   x_i' = -x_i + 0.3 (x_{i-1} + x_{i+1}) - 0.8 x_i(t - 1) + 0.2 x_{i+1}(t - 2), indices mod n;
//   chain:  the same without the wrap-around (banded matrices);
//   heat:   u_t = u_xx + 1.5 u - u(t - 1) on (0, pi), n interior points;
//   random: A_0 = G_0/sqrt(n) - I, A_1 = G_1/sqrt(n) at delay 1.
// For each, roots(sys, -1) once: its stages (degree estimate, pencil,
// refinement, count, completion) in seconds, the count's evaluations of the
// characteristic matrix (counted by a separate count at the same r), the
// pencil's eigenvalues alone (standard form of the same degree, LAPACK
// dgeev) and the ratio of the whole call to them; then is_stable.
//
//   build/bench/bench_scaling [family ...] [--sizes 10,20,40]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "roots/pencil/companion.h"
#include "roots/pencil/eigenvalues.h"
#include "roots/count/root_count.h"
#include "roots/roots.h"
#include "roots/support/time_unit.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

quorv::quorv ring(int n, bool wrap = true) {
    Eigen::MatrixXd shift = Eigen::MatrixXd::Zero(n, n);
    for (int i = 0; i < n; ++i)
        if (wrap || i + 1 < n) shift(i, (i + 1) % n) = 1;
    const Eigen::MatrixXd I = Eigen::MatrixXd::Identity(n, n);
    return quorv::quorv({-I + 0.3 * (shift + shift.transpose()), -0.8 * I, 0.2 * shift}, {0.0, 1.0, 2.0});
}

quorv::quorv heat(int n) {
    const double dx = 3.141592653589793 / (n + 1);
    Eigen::MatrixXd L = Eigen::MatrixXd::Zero(n, n);
    for (int i = 0; i < n; ++i) {
        L(i, i) = -2 / (dx * dx) + 1.5;
        if (i + 1 < n) L(i, i + 1) = L(i + 1, i) = 1 / (dx * dx);
    }
    return quorv::quorv({L, -Eigen::MatrixXd::Identity(n, n)}, {0.0, 1.0});
}

quorv::quorv random_system(int n) {
    std::mt19937 gen(7);
    std::normal_distribution<double> normal(0.0, 1.0);
    const auto draw = [&] { return Eigen::MatrixXd(Eigen::MatrixXd::NullaryExpr(n, n, [&] { return normal(gen); })); };
    const Eigen::MatrixXd a0 = draw() / std::sqrt(double(n)) - Eigen::MatrixXd::Identity(n, n);
    const Eigen::MatrixXd a1 = draw() / std::sqrt(double(n));
    return quorv::quorv({a0, a1}, {0.0, 1.0});
}

quorv::quorv family(const std::string& name, int n) {
    if (name == "ring") return ring(n);
    if (name == "chain") return ring(n, false);
    if (name == "heat") return heat(n);
    return random_system(n);
}

double pencil_alone(const quorv::quorv& sys, int degree) {
    const auto start = clock_type::now();
    Eigen::MatrixXd C = quorv::companion(quorv::in_own_time_unit(sys).sys, degree);
    Eigen::VectorXcd lambda;
    quorv::real_eigenvalues(C, lambda);
    return seconds_since(start);
}

void measure(const std::string& name, int n, double r) {
    const quorv::quorv sys = family(name, n);
    quorv::roots_report report;
    auto start = clock_type::now();
    const std::size_t found = quorv::roots(sys, r, report).size();
    const double whole = seconds_since(start);
    quorv::work_budget budget{quorv::count_evaluations};
    quorv::count_region(sys, r, budget);
    const long evaluations = quorv::count_evaluations - budget.evaluations_left;
    const double pencil = pencil_alone(sys, report.degree_used);
    start = clock_type::now();
    const bool stable = quorv::is_stable(sys);
    const double stability = seconds_since(start);
    const quorv::stage_seconds& s = report.seconds;
    std::printf("| %s | %d | %d | %ld | %ld/%zu | %.3g | %.3g | %.3g | %.3g | %.3g (%ld) | %.3g | %.3g | %.2g | %.3g%s |\n",
                name.c_str(), n, report.degree_used, long(n) * (report.degree_used + 1), report.counted, found, whole,
                s.estimate, s.pencil, s.refinement, s.count, evaluations, s.completion, pencil, whole / pencil,
                stability, stable ? "" : " (unstable)");
    std::fflush(stdout);
}

std::vector<int> sizes_from(const std::string& text) {
    std::vector<int> sizes;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) sizes.push_back(std::atoi(item.c_str()));
    return sizes;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> families;
    std::vector<int> sizes{10, 20, 40};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sizes" && i + 1 < argc) sizes = sizes_from(argv[++i]);
        else families.push_back(arg);
    }
    if (families.empty()) families = {"ring", "heat", "random"};
    std::printf("| family | n | N | D | counted/entries | roots(sys, -1) s | estimate s | pencil s | refinement s | "
                "count s (evaluations) | completion s | pencil alone s | ratio | is_stable s |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const std::string& name : families)
        for (const int n : sizes) measure(name, n, -1.0);
}

// How soon quorv::roots stops when its interrupt check says so, stage by
// stage. For each system, one call without a stop gives the stages' wall
// times; then, for each stage, calls whose check starts answering "stop" at
// the middle of that stage (as a Ctrl-C would, through the Python binding's
// check) measure the time from that moment to the exception `interrupted`.
// After each such call the program waits for the abandoned work to end, so
// that the next call has the machine to itself. Systems (as in
// bench_scaling): the ring of 160 units (pencil of order 1600 and a long
// refinement) and the random system of order 160 (long estimate, count and
// completion).
//
//   build/bench/bench_interrupt [--repeat K]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "roots/roots.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_between(clock_type::time_point a, clock_type::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

quorv::quorv ring(int n) {
    Eigen::MatrixXd shift = Eigen::MatrixXd::Zero(n, n);
    for (int i = 0; i < n; ++i) shift(i, (i + 1) % n) = 1;
    const Eigen::MatrixXd I = Eigen::MatrixXd::Identity(n, n);
    return quorv::quorv({-I + 0.3 * (shift + shift.transpose()), -0.8 * I, 0.2 * shift}, {0.0, 1.0, 2.0});
}

quorv::quorv random_system(int n) {
    std::mt19937 gen(7);
    std::normal_distribution<double> normal(0.0, 1.0);
    const auto draw = [&] { return Eigen::MatrixXd(Eigen::MatrixXd::NullaryExpr(n, n, [&] { return normal(gen); })); };
    const Eigen::MatrixXd a0 = draw() / std::sqrt(double(n)) - Eigen::MatrixXd::Identity(n, n);
    const Eigen::MatrixXd a1 = draw() / std::sqrt(double(n));
    return quorv::quorv({a0, a1}, {0.0, 1.0});
}

struct stage {
    const char* name;
    double start;
    double seconds;
};

// The stages of one call in the order they run, from its report.
std::vector<stage> stages_of(const quorv::stage_seconds& s) {
    const double pencil_start = s.estimate, refinement_start = pencil_start + s.pencil;
    return {{"estimate", 0.0, s.estimate},
            {"pencil", pencil_start, s.pencil},
            {"refinement", refinement_start, s.refinement},
            {"count", s.global, s.count},
            {"completion", s.global + s.count, s.completion}};
}

// The seconds from `stop_at` after the call's start to the exception, or a
// negative value when the call ended first.
double latency(const quorv::quorv& sys, double r, double stop_at) {
    const clock_type::time_point start = clock_type::now();
    const clock_type::time_point signal = start + std::chrono::duration_cast<clock_type::duration>(
                                                      std::chrono::duration<double>(stop_at));
    const quorv::interrupt_check check([signal] { return clock_type::now() >= signal; });
    try {
        quorv::roots(sys, r, check);
    } catch (const quorv::interrupted&) {
        return seconds_between(signal, clock_type::now());
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--repeat") == 0) repeat = std::atoi(argv[i + 1]);
    struct named {
        const char* name;
        quorv::quorv sys;
    };
    const std::vector<named> systems{{"ring of 160", ring(160)}, {"random, n = 160", random_system(160)}};
    const double r = -1.0;
    std::printf("| system | stage | stage s | latency ms (stop at the stage's middle, %d calls) |\n", repeat);
    std::printf("|---|---|---|---|\n");
    for (const named& s : systems) {
        quorv::roots_report report;
        quorv::roots(s.sys, r, report);
        for (const stage& st : stages_of(report.seconds)) {
            std::string cells;
            for (int k = 0; k < repeat; ++k) {
                const double t = latency(s.sys, r, st.start + st.seconds / 2);
                char cell[32];
                std::snprintf(cell, sizeof cell, "%s%.1f", k ? ", " : "", 1000 * t);
                cells += t < 0 ? std::string(k ? ", " : "") + "ended first" : cell;
                // The abandoned work of the interrupted stage may still run.
                std::this_thread::sleep_for(std::chrono::duration<double>(st.seconds));
            }
            std::printf("| %s | %s | %.3g | %s |\n", s.name, st.name, st.seconds, cells.c_str());
            std::fflush(stdout);
        }
    }
}

#include "roots/support/validate.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

namespace quorv {

namespace {

// Shortest text that reads back as the same double, as Python prints it
// (nan and inf included), so messages quote the user's own values.
std::string format(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string shape(Eigen::Index rows, Eigen::Index cols) {
    return "(" + std::to_string(rows) + ", " + std::to_string(cols) + ")";
}

void check_entries(const quorv& sys) {
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const Eigen::MatrixXd& a = sys.A[k];
        for (Eigen::Index j = 0; j < a.cols(); ++j)
            for (Eigen::Index i = 0; i < a.rows(); ++i)
                if (!std::isfinite(a(i, j))) refuse_entry(k, i, j, a(i, j));
    }
}

}  // namespace

void check_lengths(std::size_t matrices, std::size_t delays) {
    if (matrices == 0) throw std::length_error("vector too long");
    if (delays < matrices) throw std::out_of_range("invalid vector subscript");
}

void check_shape(std::size_t k, Eigen::Index rows, Eigen::Index cols, Eigen::Index n) {
    if (rows != n || cols != n)
        throw std::invalid_argument("matrix " + std::to_string(k) + " has shape " + shape(rows, cols) +
                                    ", expected " + shape(n, n));
}

// Every stored delay, also beyond the last matrix: the largest of them sets
// the discretization interval.
void check_delays(const std::vector<double>& hA) {
    for (std::size_t k = 0; k < hA.size(); ++k) {
        const double h = hA[k];
        const std::string name = "delay " + std::to_string(k);
        if (!std::isfinite(h)) throw std::invalid_argument(name + " is not finite: " + format(h));
        if (h < 0) throw std::invalid_argument(name + " is negative: " + format(h));
    }
}

void refuse_entry(std::size_t k, Eigen::Index i, Eigen::Index j, double value) {
    throw std::invalid_argument("matrix " + std::to_string(k) + " has a non-finite entry at " + shape(i, j) + ": " +
                                format(value));
}

void validate(const quorv& sys) {
    check_lengths(sys.mA(), sys.hA.size());
    for (std::size_t k = 0; k < sys.mA(); ++k) check_shape(k, sys.A[k].rows(), sys.A[k].cols(), sys.n());
    check_entries(sys);
    check_delays(sys.hA);
}

}  // namespace quorv

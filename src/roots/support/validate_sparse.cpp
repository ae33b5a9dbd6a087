#include "roots/support/validate_sparse.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

namespace quorv {

namespace {

// Shortest text that reads back as the same double, as Python prints it.
std::string format(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string shape(Eigen::Index rows, Eigen::Index cols) {
    return "(" + std::to_string(rows) + ", " + std::to_string(cols) + ")";
}

void check_shape(const sparse_quorv::matrix& a, std::size_t k, Eigen::Index n) {
    if (a.rows() != n || a.cols() != n)
        throw std::invalid_argument("matrix " + std::to_string(k) + " has shape " + shape(a.rows(), a.cols()) +
                                    ", expected " + shape(n, n));
}

// Entries in column order, as the dense check meets them, so both models
// name the same first culprit.
void check_entries(const sparse_quorv::matrix& a, std::size_t k) {
    const std::string name = "matrix " + std::to_string(k);
    for (Eigen::Index j = 0; j < a.outerSize(); ++j)
        for (sparse_quorv::matrix::InnerIterator it(a, j); it; ++it)
            if (!std::isfinite(it.value()))
                throw std::invalid_argument(name + " has a non-finite entry at " + shape(it.row(), it.col()) +
                                            ": " + format(it.value()));
}

}  // namespace

void validate(const sparse_quorv& sys) {
    if (sys.mA() == 0) throw std::length_error("vector too long");
    if (sys.hA.size() < sys.mA()) throw std::out_of_range("invalid vector subscript");
    for (std::size_t k = 0; k < sys.mA(); ++k) check_shape(sys.A[k], k, sys.n());
    for (std::size_t k = 0; k < sys.mA(); ++k) check_entries(sys.A[k], k);
    for (std::size_t k = 0; k < sys.hA.size(); ++k) {
        const double h = sys.hA[k];
        const std::string name = "delay " + std::to_string(k);
        if (!std::isfinite(h)) throw std::invalid_argument(name + " is not finite: " + format(h));
        if (h < 0) throw std::invalid_argument(name + " is negative: " + format(h));
    }
}

}  // namespace quorv

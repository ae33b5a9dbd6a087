#pragma once

#include <complex>
#include <optional>
#include <utility>
#include <vector>

#include "roots/count/log_determinant.h"
#include "roots/count/root_cluster.h"
#include "roots/count/zero_encloser.h"
#include "roots/local/refinement.h"

namespace quorv {

// The first disk tried around a root, relative to its scale (zero_scale): a
// well-conditioned simple root is known to about 1e-15 of it, and at that
// distance det Delta still stands well clear of its rounding.
inline constexpr double tightest_disk = 1e-10;
// The least scale of a zero: the tightest disk around it stays some 1e-280
// wide, so that det Delta's logarithmic derivative on its boundary, about one
// over its radius, stays finite.
inline constexpr double smallest_scale = 0x1p-900;

// The size a zero of det Delta near z is known relative to: |z|, or, for a
// zero smaller than the terms of the rows of Delta that hold it, the distance
// over which those rows change by their own size (rounding moves the zero
// by about epsilon of it), never more than root_scale(z). So a slow mode of
// 0.04 beside a stiff one of 1e100 is known to 1e-15 of 0.04, not of the
// stiff mode that sets the system's own time unit, and a root at 0 to a
// share of the terms of its own rows; smallest_scale where those terms are
// all 0.
double zero_scale(const quorv& sys, std::complex<double> z);

// The next radius to try for a disk that must stay below room: fourfold
// the last, or 0.9 of room when that would reach it (a disk between two
// zeros whose det Delta is trusted only some way from each fits between
// two steps of four), or room itself after that.
inline double next_radius(double radius, double room) {
    constexpr double growth = 4, last = 0.9;
    if (radius * growth < last * room) return radius * growth;
    return radius < last * room ? last * room : room;
}

// Certified enclosures of the zeros of det Delta. A root_cluster {z, m, rho}
// it returns is a disk |lambda - z| <= rho on whose boundary the argument
// principle counts exactly m zeros: z is a root of multiplicity m to within
// rho, or m zeros that double precision cannot tell apart, taken at their
// mean. A model supplies its samples of det Delta (with the test of Delta's
// singularity) and its own Newton's method towards a root: the dense model
// (encloser, below) and the sparse one (sparse_enclosure.h), which keeps its
// plainer disks for one zero, with which the heat equation at 10^5 states
// finds its rightmost roots.
class disk_encloser : public zero_encloser {
public:
    // The zeros near z, each in a disk of its own inside |lambda - z| < room,
    // with radius at least `least`. The radius grows fourfold from 1e-10
    // relative until a count resolves with at least one zero inside: one
    // zero is a simple root (Newton's method moves a loose centre onto it,
    // and a tighter disk is certified around that); several are separated
    // into disks of their own from the eigenvalues of the disk's moments,
    // unless Delta is singular at their mean to rounding, when they are one
    // multiple root. Empty when no disk inside room holds a zero or no count
    // resolves.
    std::vector<root_cluster> around(std::complex<double> z, double least, double room) override;

    // The root the model's Newton's method reaches from start within
    // `reach` of it.
    std::optional<std::complex<double>> refined(std::complex<double> start, double reach) override;

    // z moved by one Newton step on det Delta, z - 1/g(z), when that step is
    // shorter than the tightest disk: Newton's iteration on the eigenproblem
    // stops once its residual is below tolerance, which may leave a simple
    // root some 1e-11 relative from the zero; one more step squares that.
    std::complex<double> sharpened(std::complex<double> z);

    determinant_samples& samples() override { return f; }

protected:
    explicit disk_encloser(determinant_samples& f) : f(f) {}
    // The root the model's own Newton's method reaches from start, charged
    // to the budget; nothing when it does not converge.
    virtual std::optional<std::complex<double>> polished(std::complex<double> start) = 0;

private:
    determinant_samples& f;

    // The tightest disk around a zero near z, and whether a length is below it.
    double tightest(std::complex<double> z);
    bool below_tightest(double length, std::complex<double> z);
    std::vector<root_cluster> resolved(std::complex<double> z, double radius, long m, double room, int depth);
    std::vector<root_cluster> around(std::complex<double> z, double least, double room, int depth);
    root_cluster simple(std::complex<double> z, double radius, double room);
    std::optional<std::complex<double>> newton_on_determinant(std::complex<double> w, std::complex<double> z, double reach);
    std::vector<root_cluster> separated(const std::vector<std::complex<double>>& zeros, std::complex<double> z,
                                        double radius, long m, int depth);
    std::vector<root_cluster> deflated(std::complex<double> z, double radius, long m, std::complex<double> mean);
    std::optional<std::complex<double>> deflated_newton(std::complex<double> w, std::complex<double> z, double radius,
                                                        const std::vector<std::complex<double>>& found);
    std::pair<std::complex<double>, double> cluster_centre(std::complex<double> w, std::complex<double> z,
                                                           double radius, long m);
    std::vector<root_cluster> gathered(std::complex<double> z, double radius, long m, std::complex<double> mean,
                                       double room, int depth);
    std::vector<root_cluster> closer(std::complex<double> z, double radius, long m, std::complex<double> mean,
                                     double room, int depth);
    std::vector<root_cluster> as_one(std::complex<double> z, double radius, long m, std::complex<double> mean,
                                     double room);
};

// The dense model's enclosures: Newton's method on the eigenproblem, which
// is accurate where det Delta is made of rounding (a stiff term beside a
// slow one), to the acceptance residual.
class encloser : public disk_encloser {
public:
    explicit encloser(log_determinant& f) : disk_encloser(f), system(f.system()), polish(f.system()) {}

    double scale(std::complex<double> z) override;

private:
    const quorv& system;
    refinement polish;

    std::optional<std::complex<double>> polished(std::complex<double> start) override;
};

// The m zeros of det Delta inside |lambda - centre| = radius from the
// moments s_p = (1/2 pi i) oint ((lambda - centre)/radius)^p g dlambda,
// p < 2m: they are centre + radius w, w the eigenvalues of the Hankel pencil
// (H1, H0), H0 = [s_{i+j}], H1 = [s_{i+j+1}]. Zeros that nearly coincide
// leave H0 nearly singular and their eigenvalues inaccurate, but their mean
// centre + radius s_1 / m is accurate still. NaN when an evaluation on the
// circle fails.
struct circle_zeros {
    std::vector<std::complex<double>> zeros;
    std::complex<double> mean;
};
circle_zeros zeros_in_circle(determinant_samples& f, std::complex<double> centre, double radius, long m);

// Whether Delta(z) is singular to within rounding of the terms that cancel
// in each of its rows (determinant_samples::singularity): at the mean of
// zeros that are one multiple root it is, at the mean of distinct zeros it
// is not.
bool singular_at(determinant_samples& f, std::complex<double> z);

// The mean of the m zeros of det Delta inside |lambda - centre| = radius,
// (1/m) (1/2 pi i) oint lambda g(lambda) dlambda, by the trapezoid rule,
// which converges geometrically on a circle with no zero near it. NaN when
// an evaluation fails.
std::complex<double> zeros_mean(determinant_samples& f, std::complex<double> centre, double radius, long m);

}  // namespace quorv

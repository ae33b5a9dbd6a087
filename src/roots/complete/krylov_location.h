#pragma once

#include <complex>
#include <utility>
#include <vector>

#include "model/sparse_quorv.h"
#include "roots/complete/sparse_location.h"
#include "roots/count/argument_count.h"
#include "roots/count/determinant_samples.h"
#include "roots/krylov/characteristic_lu.h"

namespace quorv {

// The roots of a sparse model (own time unit) in a counted region symmetric
// about the real axis, found by infinite Arnoldi (see infinite_arnoldi.h)
// at shifts placed along the region's upper half, rightmost column first:
// each converged Ritz value inside the region is polished by Newton's method
// on det Delta and enclosed in a disk that the argument principle shows to
// hold m >= 1 zeros (m > 1: a cluster double precision cannot separate, one
// root of multiplicity m); its conjugate's disk holds as many. The disks are
// kept disjoint, so once their zeros add up to `count` the region holds no
// other root. Where that column falls short (roots crowded along the line
// all look alike from a unit away), a second column on the line itself aims
// at the widest gaps among the roots found. Where the shifts still do not
// account for the count, the bisection
// of locate_roots finishes the job, taking every piece that the disks found
// account for as done: correctness never rests on the Krylov method's
// convergence, only the cost does.
class krylov_locator {
public:
    krylov_locator(const sparse_quorv& sys, determinant_samples& f);

    // Polishes and encloses the approximations `near`, keeping the disks that
    // fit in `region` (a seed from an earlier question on the same model).
    void seed(const std::vector<std::complex<double>>& near, const rectangle& region);
    // Takes the certified disks found otherwise (a count's disks beside its
    // line) that lie in `region`, meet none found before and are tight
    // (within same_root of their zeros): the search then neither polishes
    // nor encloses those roots again.
    void adopt(const std::vector<root_cluster>& disks, const rectangle& region);
    // The certified disks so far (upper half and their conjugates).
    const std::vector<root_cluster>& disks() const { return found; }

    // Runs one Krylov search at `shift`, adding the roots it finds inside
    // `region`; returns the distance from the shift within which its Ritz
    // values converged (0 for none), and the rightmost Ritz value whose
    // estimate is below `rough` (the shift itself when there is none). Only
    // the Ritz values within `band` (relative) of the rightmost converged
    // one are polished.
    struct searched {
        double reach = 0;
        std::complex<double> rightmost;
    };
    searched search(std::complex<double> shift, const rectangle& region, int wanted, double band = HUGE_VAL);
    // The same, but where nothing converges (the Ritz values only outline
    // crowded roots seen from afar), the shift moves next to the rightmost
    // of the outline and searches again, a few times.
    searched closing_search(std::complex<double> shift, const rectangle& region, int wanted);

    // The roots nearest the right of the plane, from a first shift right of
    // them: where the roots crowd (a chain seen from afar), the Ritz values
    // only outline them, and the shift moves next to the rightmost of the
    // outline and searches again, a few times.
    void rightmost(std::complex<double> shift, int wanted);

    located_roots locate(const rectangle& region, long count);

private:
    const sparse_quorv& sys;
    determinant_samples& f;
    characteristic_lu lu;
    std::vector<root_cluster> found;

    void add(std::complex<double> near, const rectangle& region);
    std::optional<std::complex<double>> polish(std::complex<double> z);
    bool enclose(std::complex<double> z, const rectangle& region);
    bool known(std::complex<double> z) const;
    bool plausible(std::complex<double> lambda) const;
    long located_in(const rectangle& region) const;
    std::pair<std::complex<double>, double> widest_gap(double x, double height,
                                                       const std::vector<std::complex<double>>& searched) const;
    double crowd_height(const rectangle& region) const;
    void gap_column(const rectangle& region, long count);
};

}  // namespace quorv

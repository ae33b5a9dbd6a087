#pragma once

#include <complex>
#include <cstddef>
#include <map>
#include <vector>

#include "roots/count/root_cluster.h"

namespace quorv {

// The disks of a growing list of roots ordered by the imaginary parts of
// their centres, so that the disks near a point are found without scanning
// the whole list. The roots of a delay system lie on chains that climb in
// Im about 2 pi / h_max apart, so a band of Im holds few of them even when
// the list holds tens of thousands; a scan of every disk per located root
// made the completion's work grow with the square of the roots.
class disk_index {
public:
    // Indexes every disk of `disks`; the list must outlive the index and may
    // only grow by entries passed to add().
    explicit disk_index(const std::vector<root_cluster>& disks);

    // Indexes disks[i], appended after the index was made.
    void add(std::size_t i);

    // Calls visit(i) for every indexed disk that may come within `reach` of
    // z: each whose centre's imaginary part lies within reach plus the widest
    // radius indexed of Im z (and more besides; visit decides).
    template <typename Visit>
    void near(std::complex<double> z, double reach, Visit visit) const {
        in_band(z.imag() - reach - widest, z.imag() + reach + widest, visit);
    }

    // Calls visit(i) for every indexed disk whose centre's imaginary part
    // lies in [y0, y1], in order of that imaginary part.
    template <typename Visit>
    void in_band(double y0, double y1, Visit visit) const {
        for (auto it = by_imag.lower_bound(y0); it != by_imag.end() && it->first <= y1; ++it) visit(it->second);
    }

private:
    const std::vector<root_cluster>& disks;
    std::multimap<double, std::size_t> by_imag;
    double widest = 0;
};

}  // namespace quorv

#include "roots/spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "roots/root_bound.h"
#include "roots/multiple_root.h"
#include "roots/roots.h"
#include "roots/validate.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

// The characteristic matrix is real, so its roots are symmetric about the
// real axis: a root whose mirror image is also listed is paired with it
// exactly, and a root the mirror maps onto itself is real.
void pair_conjugates(std::vector<root_cluster>& clusters) {
    for (root_cluster& c : clusters) {
        if (std::abs(c.z.imag()) <= same_root * root_scale(c.z)) {
            c.z.imag(0.0);
            continue;
        }
        if (c.z.imag() < 0) continue;
        for (root_cluster& mirror : clusters)
            if (std::abs(mirror.z - std::conj(c.z)) <= same_root * root_scale(c.z)) {
                const cplx paired = 0.5 * (c.z + std::conj(mirror.z));
                c.z = paired;
                mirror.z = std::conj(paired);
                break;
            }
    }
}

spectrum_result from_clusters(std::vector<root_cluster> clusters, long count, int degree) {
    pair_conjugates(clusters);
    std::sort(clusters.begin(), clusters.end(), [](const root_cluster& a, const root_cluster& b) {
        return a.z.real() != b.z.real() ? a.z.real() > b.z.real() : a.z.imag() < b.z.imag();
    });
    spectrum_result s;
    s.roots.resize(Eigen::Index(clusters.size()));
    s.multiplicities.resize(Eigen::Index(clusters.size()));
    long total = 0;
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        s.roots[Eigen::Index(i)] = clusters[i].z;
        s.multiplicities[Eigen::Index(i)] = clusters[i].multiplicity;
        total += clusters[i].multiplicity;
    }
    s.count = count;
    s.complete = total == count;
    s.degree = degree;
    return s;
}

}  // namespace

spectrum_result spectrum(const quorv& sys, double r, const interrupt_check& check) {
    validate(sys);
    if (std::isnan(r)) throw std::invalid_argument("spectrum: r is NaN");
    if (sys.n() == 0 || r > root_bound(sys, r)) return {};
    const root_search search = search_roots(sys, r, check);
    const long count = counted_or_throw(search.region, r, "spectrum");
    // The distinct roots in the counted region; a cluster absorbed into a
    // multiple root has multiplicity 0 and is no root of its own.
    std::vector<root_cluster> inside;
    for (const root_cluster& c : search.known)
        if (c.multiplicity > 0 && search.region.region.contains(c.z)) inside.push_back(c);
    return from_clusters(std::move(inside), count, search.degree_used);
}

std::string describe(const spectrum_result& s) {
    std::ostringstream text;
    text << "spectrum: " << s.roots.size() << " distinct roots, count " << s.count
         << (s.complete ? ", complete" : ", incomplete") << ", degree " << s.degree;
    constexpr Eigen::Index shown = 10;
    if (s.roots.size() > 0) text << "\n  multiplicity  root";
    for (Eigen::Index i = 0; i < std::min(shown, s.roots.size()); ++i) {
        const cplx z = s.roots[i];
        text << "\n  " << std::setw(12) << s.multiplicities[i] << "  " << std::setprecision(10) << z.real()
             << (z.imag() < 0 ? " - " : " + ") << std::abs(z.imag()) << "j";
    }
    if (s.roots.size() > shown) text << "\n  ... " << s.roots.size() - shown << " more";
    return text.str();
}

}  // namespace quorv

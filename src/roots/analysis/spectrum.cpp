#include "roots/analysis/spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "roots/count/root_bound.h"
#include "roots/complete/multiple_root.h"
#include "roots/roots.h"
#include "roots/support/validate.h"

namespace quorv {

namespace {

using cplx = std::complex<double>;

spectrum_result from_clusters(std::vector<root_cluster> clusters, long count, bool certified, int degree) {
    std::sort(clusters.begin(), clusters.end(), [](const root_cluster& a, const root_cluster& b) {
        return a.z.real() != b.z.real() ? a.z.real() > b.z.real() : a.z.imag() < b.z.imag();
    });
    spectrum_result s;
    s.roots.resize(Eigen::Index(clusters.size()));
    s.multiplicities.resize(Eigen::Index(clusters.size()));
    s.radii.resize(Eigen::Index(clusters.size()));
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        s.roots[Eigen::Index(i)] = clusters[i].z;
        s.multiplicities[Eigen::Index(i)] = clusters[i].multiplicity;
        s.radii[Eigen::Index(i)] = clusters[i].radius;
    }
    s.count = count;
    s.complete = certified;
    s.degree = degree;
    return s;
}

}  // namespace

spectrum_result spectrum(const quorv& sys, double r, const interrupt_check& check) {
    validate(sys);
    if (std::isnan(r)) throw std::invalid_argument("spectrum: r is NaN");
    if (sys.n() == 0 || r > root_bound(sys, r)) return {};
    std::vector<root_search> searches;
    if (auto blocks = block_searches(sys, r, check)) searches = std::move(*blocks);
    else searches.push_back(search_roots(sys, r, check));
    long count = 0;
    bool certified = true;
    int degree = 0;
    std::vector<root_cluster> inside;
    for (const root_search& search : searches) {
        count += counted_or_throw(search.region, r, "spectrum");
        for (const root_cluster& c : search.known)
            if (search.region.region.contains(c.z) && c.multiplicity > 0 && !c.left_of_line) inside.push_back(c);
        certified = certified && search.certified;
        degree = std::max(degree, search.degree_used);
    }
    return from_clusters(std::move(inside), count, certified, degree);
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

#include "roots/complete/sparse_location.h"

#include <algorithm>
#include <cmath>

namespace quorv {

namespace {

using cplx = std::complex<double>;

// Cuts fall a little off the middle, so that they do not run along the
// real axis, where a system's real roots lie, or through a symmetric pair;
// a cut that meets a zero is moved once more.
constexpr double cut_shares[] = {0.5 + 1.0 / 64, 0.5 - 3.0 / 64, 0.5 + 7.0 / 64};
// Below this size, relative, a piece holding several zeros may be one root
// (rounding scatters the zeros of an m-fold root by about 1e-16^{1/m}): it
// is one when no count across it can be taken, the zeros sitting too close
// to every cut. Zeros that counts still tell apart are cut further, down to
// the floor, where they are one root in any case: two simple roots 1e-9
// apart are two roots, not a double one at a point between them.
constexpr double multiple_size = 1e-5;
constexpr double multiple_floor = 1e-12;
constexpr int zero_newton_steps = 30;
constexpr double first_disk_radius = 1e-10;

double size(const rectangle& r) { return std::max(r.x1 - r.x0, r.y1 - r.y0); }
cplx centre(const rectangle& r) { return {0.5 * (r.x0 + r.x1), 0.5 * (r.y0 + r.y1)}; }


class locator {
public:
    locator(determinant_samples& f, const std::vector<root_cluster>& known) : f(f), known(known) {}

    // Splits `piece`, which holds `count` zeros, until each is enclosed.
    bool locate(const rectangle& piece, long count) {
        if (count == 0) return true;
        if (accounted(piece, count)) return true;
        if (count == 1 && enclose_single(piece)) return true;
        const double scale = root_scale(centre(piece));
        if (count > 1 && size(piece) < multiple_floor * scale) return enclose_multiple(piece, count);
        for (const double share : cut_shares) {
            auto [first, second] = cut(piece, share);
            const auto in_first = count_in_rectangle(f, first);
            if (!in_first || *in_first > count) {
                if (f.budget().exhausted()) return false;
                continue;
            }
            return locate(first, *in_first) && locate(second, count - *in_first);
        }
        return count > 1 && size(piece) < multiple_size * scale && !f.budget().exhausted() &&
               enclose_multiple(piece, count);
    }

    std::vector<root_cluster> found;

private:
    determinant_samples& f;
    const std::vector<root_cluster>& known;

    // Disjoint certified disks inside the piece whose zeros add up to its
    // count leave no other zero in it: they are its roots.
    bool accounted(const rectangle& piece, long count) {
        long inside = 0;
        for (const root_cluster& c : known)
            if (piece.holds_disk(c.z, c.radius)) inside += c.multiplicity;
        if (inside != count) return false;
        for (const root_cluster& c : known)
            if (piece.holds_disk(c.z, c.radius)) found.push_back(c);
        return true;
    }

    static std::pair<rectangle, rectangle> cut(const rectangle& r, double share) {
        if (r.x1 - r.x0 >= r.y1 - r.y0) {
            const double x = r.x0 + share * (r.x1 - r.x0);
            return {{r.x0, x, r.y0, r.y1}, {x, r.x1, r.y0, r.y1}};
        }
        const double y = r.y0 + share * (r.y1 - r.y0);
        return {{r.x0, r.x1, r.y0, y}, {r.x0, r.x1, y, r.y1}};
    }

    // Newton's method on det Delta from the piece's centre, kept inside the
    // piece; an evaluation refused on the way means Delta is singular to
    // rounding there, that is, the iterate is at the root.
    std::optional<cplx> newton(const rectangle& piece) {
        cplx z = centre(piece);
        double last = HUGE_VAL;
        for (int step = 0; step < zero_newton_steps; ++step) {
            const auto stepped = f.newton_step(z);
            if (!stepped) return f.budget().exhausted() ? std::nullopt : std::optional<cplx>(z);
            const cplx next = *stepped;
            if (!piece.contains(next)) return std::nullopt;
            // Converged, or at the floor where rounding stops the steps
            // from shrinking quadratically.
            const double length = std::abs(next - z);
            const bool converged = length <= 1e-14 * root_scale(z) ||
                                   (length <= 1e-8 * root_scale(z) && length > 0.5 * last);
            z = next, last = length;
            if (converged) break;
        }
        return z;
    }

    bool enclose_single(const rectangle& piece) {
        const auto z = newton(piece);
        if (!z) return false;
        // A piece cut finer than the first disk (zeros a little apart) starts
        // from a disk that fits in it.
        const double room = std::min({z->real() - piece.x0, piece.x1 - z->real(), z->imag() - piece.y0,
                                      piece.y1 - z->imag()});
        for (double radius = std::min(first_disk_radius * root_scale(*z), 0.5 * room); piece.holds_disk(*z, radius);
             radius *= 4) {
            const auto inside = count_in_circle(f, *z, radius);
            if (inside && *inside == 1) {
                found.push_back({*z, 1, radius});
                return true;
            }
            if (f.budget().exhausted()) return false;
        }
        return false;
    }

    // The piece is below the scatter of its zeros: the disk through its
    // corners holds them all, and is counted again, since it reaches beyond
    // the piece; it is one root of the multiplicity counted only when it
    // holds the piece's zeros and no other (a larger disk where the path
    // passed too close to a zero). A piece across the real axis holds the
    // conjugates of its zeros near it: their one root is real, and the disk
    // is centred on the axis below the piece's centre, reaching its corners.
    bool enclose_multiple(const rectangle& piece, long count) {
        const bool across = piece.y0 < 0 && piece.y1 > 0;
        const cplx z = across ? cplx(centre(piece).real(), 0) : centre(piece);
        double radius = std::max({std::abs(cplx(piece.x0, piece.y0) - z), std::abs(cplx(piece.x0, piece.y1) - z)});
        for (int attempt = 0; attempt < 3; ++attempt, radius *= 2) {
            const auto inside = count_in_circle(f, z, radius);
            if (inside && *inside == count) {
                found.push_back({z, count, radius});
                return true;
            }
            if ((inside && *inside > count) || f.budget().exhausted()) return false;
        }
        return false;
    }
};

}  // namespace

located_roots locate_roots(determinant_samples& f, const rectangle& region, long count,
                           const std::vector<root_cluster>& known) {
    locator l(f, known);
    located_roots result;
    result.complete = l.locate(region, count);
    result.roots = std::move(l.found);
    return result;
}

}  // namespace quorv

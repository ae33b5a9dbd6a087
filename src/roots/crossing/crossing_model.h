#pragma once

namespace quorv {

// A box |w - w*| <= dw, |phi - phi*| <= dphi around a located zero of
// Delta(w, phi) that holds no other zero; dw = dphi = 0 when none could be
// shown to.
struct isolation_box {
    double dw = 0, dphi = 0;
    bool contains(double w0, double w1, double phi0, double phi1, double w, double phi) const {
        return w0 >= w - dw && w1 <= w + dw && phi0 >= phi - dphi && phi1 <= phi + dphi;
    }
};

// The characteristic matrix on the imaginary axis as the search for
// crossings sees it, whatever stores the system:
//   Delta(w, phi) = jw I - sum_{k not in K} e^{-jw h_k} A_k - sum_{k in K} e^{-j(w h_k + phi)} A_k
// for the set K of terms whose delays grow (crossing_matrix.h). The search
// needs the scales below and four questions answered about Delta; the
// dense model answers them with dense inverses and singular values, the
// sparse one with sparse factors.
class crossing_model {
public:
    virtual ~crossing_model() = default;

    // Every crossing has |w| at most this bound.
    double frequency_bound() const { return frequency_limit; }
    // |Delta(w, phi) - Delta(w', phi')| <= lipschitz_w |w - w'| + lipschitz_phi |phi - phi'|
    // in the spectral norm.
    double lipschitz_w() const { return 1 + delay_weighted_norms; }
    double lipschitz_phi() const { return growing_norms; }
    // The size of Delta's terms at frequency w, for rounding thresholds.
    double scale(double w) const { return w < 0 ? norm_sum - w : norm_sum + w; }

    // True only when Delta is provably nonsingular on all of [w0, w1] x [phi0, phi1].
    virtual bool nonsingular_on(double w0, double w1, double phi0, double phi1) = 0;
    // A Newton step (dw, dphi) toward a zero of det Delta from (w, phi); false
    // when none can be formed there. first: the first step from a new start,
    // which owes nothing to the zero an earlier search went to.
    virtual bool newton_step(double w, double phi, bool first, double& dw, double& dphi) = 0;
    // An upper bound on the smallest singular value of Delta(w, phi), to
    // rounding: how nearly singular Delta is there.
    virtual double singularity(double w, double phi) = 0;
    // The box around the located zero (w, phi) that holds no other zero.
    virtual isolation_box isolate(double w, double phi) = 0;

protected:
    // Sums over the terms of (bounds on) |A_k|_2: all terms, weighted by
    // h_k, and the growing ones.
    double norm_sum = 0, frequency_limit = 0, delay_weighted_norms = 0, growing_norms = 0;
};

}  // namespace quorv

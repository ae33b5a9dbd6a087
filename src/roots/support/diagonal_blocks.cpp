#include "roots/support/diagonal_blocks.h"

#include "roots/support/strong_components.h"

namespace quorv {

std::vector<quorv> diagonal_blocks(const quorv& sys) {
    const Eigen::Index n = sys.n();
    // The nonzero pattern alone decides the groups: summing magnitudes could
    // overflow or let a subnormal coupling vanish beside a large entry.
    Eigen::MatrixXd pattern = Eigen::MatrixXd::Zero(n, n);
    for (const Eigen::MatrixXd& a : sys.A) pattern += (a.array() != 0).cast<double>().matrix();
    const std::vector<std::vector<Eigen::Index>> groups = strong_components(pattern);
    if (groups.size() < 2) return {};
    std::vector<quorv> blocks;
    blocks.reserve(groups.size());
    for (const std::vector<Eigen::Index>& states : groups) {
        std::vector<Eigen::MatrixXd> own;
        std::vector<double> delays;
        for (std::size_t k = 0; k < sys.mA(); ++k) {
            Eigen::MatrixXd a = sys.A[k](states, states);
            if (a.isZero(0)) continue;
            own.push_back(std::move(a));
            delays.push_back(sys.hA[k]);
        }
        // A block no term acts on has det Delta = lambda^size.
        if (own.empty()) own.push_back(Eigen::MatrixXd::Zero(Eigen::Index(states.size()), Eigen::Index(states.size()))),
                         delays.push_back(0.0);
        blocks.emplace_back(std::move(own), std::move(delays));
    }
    return blocks;
}

}  // namespace quorv

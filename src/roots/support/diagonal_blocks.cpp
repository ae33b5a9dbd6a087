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
        own.reserve(sys.mA());
        for (const Eigen::MatrixXd& a : sys.A) own.push_back(a(states, states));
        blocks.emplace_back(std::move(own), sys.hA);
    }
    return blocks;
}

}  // namespace quorv

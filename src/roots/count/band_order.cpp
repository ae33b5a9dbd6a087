#include "roots/count/band_order.h"

#include <algorithm>
#include <numeric>

namespace quorv {

namespace {

// Calls visit(i, j) for every off-diagonal entry of the union pattern.
template <typename Visit>
void for_each_coupling(const quorv& sys, Visit visit) {
    for (std::size_t k = 0; k < sys.mA(); ++k) {
        const Eigen::MatrixXd& a = sys.Ak(k);
        for (Eigen::Index j = 0; j < a.cols(); ++j)
            for (Eigen::Index i = 0; i < a.rows(); ++i)
                if (i != j && a(i, j) != 0.0) visit(i, j);
    }
}

std::vector<std::vector<Eigen::Index>> symmetric_neighbours(const quorv& sys) {
    std::vector<std::vector<Eigen::Index>> next(static_cast<std::size_t>(sys.n()));
    for_each_coupling(sys, [&](Eigen::Index i, Eigen::Index j) {
        next[std::size_t(i)].push_back(j);
        next[std::size_t(j)].push_back(i);
    });
    for (auto& list : next) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }
    return next;
}

}  // namespace

std::vector<Eigen::Index> banding_order(const quorv& sys) {
    const auto next = symmetric_neighbours(sys);
    const auto degree = [&](Eigen::Index i) { return next[std::size_t(i)].size(); };
    std::vector<Eigen::Index> by_degree(next.size());
    std::iota(by_degree.begin(), by_degree.end(), 0);
    std::stable_sort(by_degree.begin(), by_degree.end(), [&](auto a, auto b) { return degree(a) < degree(b); });
    std::vector<bool> placed(next.size(), false);
    std::vector<Eigen::Index> order;
    order.reserve(next.size());
    // Breadth first from each unplaced node of least degree, the neighbours
    // of each node in order of increasing degree.
    for (const Eigen::Index root : by_degree) {
        if (placed[std::size_t(root)]) continue;
        placed[std::size_t(root)] = true;
        std::size_t head = order.size();
        order.push_back(root);
        for (; head < order.size(); ++head) {
            std::vector<Eigen::Index> fresh;
            for (const Eigen::Index j : next[std::size_t(order[head])])
                if (!placed[std::size_t(j)]) placed[std::size_t(j)] = true, fresh.push_back(j);
            std::stable_sort(fresh.begin(), fresh.end(), [&](auto a, auto b) { return degree(a) < degree(b); });
            order.insert(order.end(), fresh.begin(), fresh.end());
        }
    }
    std::reverse(order.begin(), order.end());
    return order;
}

band union_band(const quorv& sys, const std::vector<Eigen::Index>& order) {
    std::vector<Eigen::Index> position(static_cast<std::size_t>(sys.n()));
    std::iota(position.begin(), position.end(), 0);
    for (std::size_t p = 0; p < order.size(); ++p) position[std::size_t(order[p])] = Eigen::Index(p);
    band b;
    for_each_coupling(sys, [&](Eigen::Index i, Eigen::Index j) {
        const Eigen::Index pi = position[std::size_t(i)], pj = position[std::size_t(j)];
        b.lower = std::max(b.lower, pi - pj);
        b.upper = std::max(b.upper, pj - pi);
    });
    return b;
}

}  // namespace quorv

#include "roots/support/strong_components.h"

#include <algorithm>
#include <utility>

namespace quorv {

// Tarjan's algorithm, iterative so that the depth of a long chain of states
// is not the depth of the call stack. A component is closed only after every
// component it reaches, so they close dependencies first.
std::vector<std::vector<Eigen::Index>> strong_components(const Eigen::MatrixXd& pattern) {
    const Eigen::Index n = pattern.rows();
    constexpr Eigen::Index unvisited = -1;
    std::vector<Eigen::Index> index(std::size_t(n), unvisited), lowest(std::size_t(n), 0);
    std::vector<bool> on_stack(std::size_t(n), false);
    std::vector<Eigen::Index> stack;
    std::vector<std::pair<Eigen::Index, Eigen::Index>> calls;  // (state, next column to look at)
    std::vector<std::vector<Eigen::Index>> components;
    Eigen::Index next_index = 0;
    for (Eigen::Index root = 0; root < n; ++root) {
        if (index[std::size_t(root)] != unvisited) continue;
        calls.push_back({root, 0});
        while (!calls.empty()) {
            auto& [i, j] = calls.back();
            const std::size_t si = std::size_t(i);
            if (j == 0 && index[si] == unvisited) {
                index[si] = lowest[si] = next_index++;
                stack.push_back(i);
                on_stack[si] = true;
            }
            for (; j < n; ++j) {
                if (j == i || pattern(i, j) == 0) continue;
                const std::size_t sj = std::size_t(j);
                if (index[sj] == unvisited) break;
                if (on_stack[sj]) lowest[si] = std::min(lowest[si], index[sj]);
            }
            if (j < n) {
                const Eigen::Index callee = j++;
                calls.push_back({callee, 0});
                continue;
            }
            if (lowest[si] == index[si]) {
                std::vector<Eigen::Index> component;
                Eigen::Index k = unvisited;
                while (k != i) {
                    k = stack.back();
                    stack.pop_back();
                    on_stack[std::size_t(k)] = false;
                    component.push_back(k);
                }
                std::sort(component.begin(), component.end());
                components.push_back(std::move(component));
            }
            const Eigen::Index finished = i;
            calls.pop_back();
            if (!calls.empty()) {
                const std::size_t caller = std::size_t(calls.back().first);
                lowest[caller] = std::min(lowest[caller], lowest[std::size_t(finished)]);
            }
        }
    }
    return components;
}

}  // namespace quorv

#include "roots/complete/disk_index.h"

#include <algorithm>

namespace quorv {

disk_index::disk_index(const std::vector<root_cluster>& disks) : disks(disks) {
    for (std::size_t i = 0; i < disks.size(); ++i) add(i);
}

void disk_index::add(std::size_t i) {
    by_imag.emplace(disks[i].z.imag(), i);
    widest = std::max(widest, disks[i].radius);
}

}  // namespace quorv

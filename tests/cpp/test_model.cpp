#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "model/quorv.h"

namespace {

// The message every checked lookup of the model reports, on every platform.
template <typename Lookup>
void expect_invalid_subscript(Lookup lookup) {
    try {
        lookup();
        FAIL() << "expected std::out_of_range";
    } catch (const std::out_of_range& e) {
        EXPECT_EQ(std::string(e.what()), "invalid vector subscript");
    }
}

}  // namespace

TEST(Model, EmptyModelHasNoDimensionAndNoEntries) {
    const quorv::quorv sys({}, {});
    EXPECT_EQ(sys.mA(), 0u);
    EXPECT_EQ(sys.n(), 0);
    expect_invalid_subscript([&] { sys.Ak(0); });
    expect_invalid_subscript([&] { sys.hk(0); });
}

TEST(Model, DimensionIsTheRowCountOfTheFirstMatrix) {
    const quorv::quorv sys({Eigen::MatrixXd::Zero(3, 2), Eigen::MatrixXd::Zero(5, 5)}, {0.0});
    EXPECT_EQ(sys.n(), 3);
    EXPECT_EQ(sys.mA(), 2u);
}

TEST(Model, LookupsReturnTheStoredEntriesAndStopAtTheEnd) {
    Eigen::MatrixXd a0 = Eigen::MatrixXd::Identity(2, 2), a1 = 3.0 * a0;
    const quorv::quorv sys({a0, a1}, {0.0, 1.5, 7.0});
    EXPECT_EQ(&sys.Ak(1), &sys.A[1]) << "Ak must return a reference, not a copy";
    EXPECT_EQ(sys.Ak(1)(1, 1), 3.0);
    EXPECT_EQ(sys.hk(2), 7.0) << "delays beyond the matrices are still stored";
    expect_invalid_subscript([&] { sys.Ak(2); });
    expect_invalid_subscript([&] { sys.hk(3); });
}

// The Python face of the model and the root computation. This file only
// converts arguments and results and registers the bindings; nanobind's
// default translation turns the core's exceptions into Python exceptions.
#include <algorithm>
#include <vector>

#include <nanobind/nanobind.h>
#include <nanobind/eigen/dense.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/vector.h>

#include "model/quorv.h"

namespace nb = nanobind;

namespace {

// A view of the stored delays, one per matrix. A model may store fewer delays
// than matrices; the view then stops at the last stored one rather than reach
// past it.
nb::ndarray<nb::numpy, double> delay_view(quorv::quorv& sys) {
    const std::size_t length = std::min(sys.mA(), sys.hA.size());
    return nb::ndarray<nb::numpy, double>(sys.hA.data(), {length});
}

}  // namespace

NB_MODULE(pyhalvex, m) {
    m.doc() = "halvex python bindings";

    nb::class_<quorv::quorv>(m, "quorv")
        .def(nb::init<std::vector<Eigen::MatrixXd>, std::vector<double>>(), "hA")
        .def_prop_ro("mA", &quorv::quorv::mA, nb::rv_policy::reference_internal)
        .def_prop_ro("n", &quorv::quorv::n, nb::rv_policy::reference_internal)
        .def("A", &quorv::quorv::Ak, nb::rv_policy::reference_internal)
        .def("hA", &delay_view, nb::rv_policy::reference_internal);
}

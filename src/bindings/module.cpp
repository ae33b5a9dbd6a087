// The Python face of the model and the root computation. This file only
// converts arguments and results and registers the bindings; nanobind's
// default translation turns the core's exceptions into Python exceptions.
#include <algorithm>
#include <complex>
#include <new>
#include <utility>
#include <vector>

#include <nanobind/nanobind.h>
#include <nanobind/eigen/dense.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/complex.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/vector.h>

#include "model/quorv.h"
#include "roots/roots.h"

namespace nb = nanobind;

namespace {

// A view of the stored delays, one per matrix. A model may store fewer delays
// than matrices; the view then stops at the last stored one rather than reach
// past it.
nb::ndarray<nb::numpy, double> delay_view(quorv::quorv& sys) {
    const std::size_t length = std::min(sys.mA(), sys.hA.size());
    return nb::ndarray<nb::numpy, double>(sys.hA.data(), {length});
}

// What pickle keeps of a model: its matrices and every stored delay, also
// those beyond the last matrix, as NumPy arrays that own copies of them.
using model_state = std::pair<std::vector<Eigen::MatrixXd>, Eigen::VectorXd>;

model_state state_of(const quorv::quorv& sys) {
    const Eigen::Map<const Eigen::VectorXd> delays(sys.hA.data(), Eigen::Index(sys.hA.size()));
    return {sys.A, delays};
}

// Called by pickle on an instance whose __init__ has not run.
void restore(quorv::quorv& sys, std::pair<std::vector<Eigen::MatrixXd>, std::vector<double>> state) {
    new (&sys) quorv::quorv(std::move(state.first), std::move(state.second));
}

// A copy with storage of its own, of the original's Python type, so that a
// subclass stays a subclass. A failed copy leaves the new instance
// uninitialised, and it is released as such.
nb::typed<nb::object, quorv::quorv> copy_of(nb::pointer_and_handle<quorv::quorv> sys) {
    nb::object copy = nb::inst_alloc(sys.h.type());
    new (nb::inst_ptr<quorv::quorv>(copy)) quorv::quorv(*sys.p);
    nb::inst_mark_ready(copy);
    return copy;
}

// The roots, with a RuntimeWarning when the degree the system needs was
// capped: the list is then not to be trusted far from the real axis.
std::vector<std::complex<double>> roots(const quorv::quorv& sys, double r) {
    quorv::discretization_degree degree;
    std::vector<std::complex<double>> found = quorv::roots(sys, r, degree);
    if (degree.used != degree.needed &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                         "roots: the system needs a discretization of degree %d, capped at %d; "
                         "roots far from the real axis may be missing, and a larger r needs a "
                         "smaller degree",
                         degree.needed, degree.used) < 0)
        throw nb::python_error();
    return found;
}

}  // namespace

NB_MODULE(pyhalvex, m) {
    m.doc() = "halvex python bindings";

    nb::class_<quorv::quorv>(m, "quorv")
        .def(nb::init<std::vector<Eigen::MatrixXd>, std::vector<double>>(), "hA")
        .def_prop_ro("mA", &quorv::quorv::mA, nb::rv_policy::reference_internal)
        .def_prop_ro("n", &quorv::quorv::n, nb::rv_policy::reference_internal)
        .def("A", &quorv::quorv::Ak, nb::rv_policy::reference_internal)
        .def("hA", &delay_view, nb::rv_policy::reference_internal)
        .def("__getstate__", &state_of)
        .def("__setstate__", &restore)
        .def("__copy__", &copy_of)
        .def("__deepcopy__",
             [](nb::pointer_and_handle<quorv::quorv> sys, nb::dict) { return copy_of(sys); });

    m.def("roots", &roots);
}

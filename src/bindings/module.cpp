// The Python face of the model and the root computation. This file only
// converts arguments and results and registers the bindings; nanobind's
// default translation turns the core's exceptions into Python exceptions.
#include <algorithm>
#include <complex>
#include <vector>

#include <nanobind/nanobind.h>
#include <nanobind/eigen/dense.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/complex.h>
#include <nanobind/stl/vector.h>

#include "model/quorv.h"
#include "roots/root_count.h"
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

// The roots, with a RuntimeWarning when their completeness could not be
// confirmed: the list may then miss roots right of r.
std::vector<std::complex<double>> roots(const quorv::quorv& sys, double r) {
    using completeness = quorv::roots_report::completeness;
    quorv::roots_report report;
    std::vector<std::complex<double>> found = quorv::roots(sys, r, report);
    int failed = 0;
    switch (report.state) {
        case completeness::confirmed: break;
        case completeness::unbounded:
            failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                      "roots: found %ld roots with Re >= r; completeness could not be "
                                      "checked, as the bound on the roots' modulus is not finite for this r",
                                      report.found);
            break;
        case completeness::uncounted:
            failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                      "roots: found %ld roots with Re >= r; completeness could not be "
                                      "checked, as counting them did not resolve within the work budget",
                                      report.found);
            break;
        case completeness::incomplete:
            failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                      "roots: counted %ld roots with Re >= r, found %ld; %ld could not be "
                                      "located within the work budget",
                                      report.counted, report.found, report.counted - report.found);
            break;
    }
    if (failed < 0) throw nb::python_error();
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
        .def("hA", &delay_view, nb::rv_policy::reference_internal);

    m.def("roots", &roots);
    m.def("count_roots", &quorv::count_roots);
}

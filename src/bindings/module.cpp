// The Python face of the model and the root computation. This file only
// converts arguments and results, runs the core without the interpreter lock,
// and registers the bindings; nanobind's default translation turns the core's
// exceptions into Python exceptions.
#include <algorithm>
#include <chrono>
#include <complex>
#include <new>
#include <utility>
#include <vector>

#include <nanobind/nanobind.h>
#include <nanobind/eigen/dense.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/complex.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "model/quorv.h"
#include "roots/root_count.h"
#include "roots/roots.h"
#include "roots/sensitivity.h"
#include "roots/spectral_abscissa.h"
#include "roots/spectrum.h"

namespace nb = nanobind;

// pip (scikit-build-core) passes the version from pyproject.toml; a module
// built by hand without it would report an empty version.
static_assert(sizeof(PYHALVEX_VERSION) > 1,
              "build the module with pip install ., which sets its version");

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

// A check for the core that lets the interpreter run its signal handlers, so
// that Ctrl-C reaches a long computation: it answers "stop" when a handler
// raised (KeyboardInterrupt, or whatever a handler of the user's raises),
// leaving that exception pending. Taking the interpreter lock costs
// microseconds, and more while other threads hold it, so the handlers run at
// most every 20 ms per call (the copies of the check share one timer). The
// interpreter runs signal handlers on its main thread only; on any other
// thread the check would take the lock for nothing, so there is none. Called
// with the lock held.
quorv::interrupt_check signal_check() {
    static const unsigned long main_thread =
        nb::cast<unsigned long>(nb::module_::import_("threading").attr("main_thread")().attr("ident"));
    if (PyThread_get_thread_ident() != main_thread) return {};
    using clock = std::chrono::steady_clock;
    return quorv::interrupt_check([last = clock::now()]() mutable {
        const clock::time_point now = clock::now();
        if (now - last < std::chrono::milliseconds(20)) return false;
        last = now;
        nb::gil_scoped_acquire locked;
        return PyErr_CheckSignals() != 0;
    });
}

// Runs compute(model, check) on a private copy of sys without the interpreter
// lock, so that other threads run meanwhile. The copy is taken with the lock
// held: writes through the views A(k) and hA() during the computation cannot
// reach it. An interrupted computation raises the exception the signal
// handler left pending; every other exception passes to nanobind's
// translation, with the lock held again.
template <typename Compute>
auto unlocked(const quorv::quorv& sys, Compute compute) {
    const quorv::quorv model = sys;
    const quorv::interrupt_check check = signal_check();
    try {
        nb::gil_scoped_release released;
        return compute(model, check);
    } catch (const quorv::interrupted&) {
        throw nb::python_error();
    }
}

// The roots, with a RuntimeWarning when their completeness could not be
// confirmed: the list may then miss roots right of r.
std::vector<std::complex<double>> roots(const quorv::quorv& sys, double r) {
    using completeness = quorv::roots_report::completeness;
    quorv::roots_report report;
    std::vector<std::complex<double>> found =
        unlocked(sys, [&](const quorv::quorv& model, const quorv::interrupt_check& check) {
            return quorv::roots(model, r, report, check);
        });
    int failed = 0;
    if (report.state == completeness::incomplete)
        failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                  "roots: counted %ld roots with Re >= r, found %ld; %ld could not be "
                                  "located within the work budget",
                                  report.counted, report.found, report.counted - report.found);
    else if (report.state == completeness::uncertified)
        failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                  "roots: counted %ld roots with Re >= r, found %ld; they could not all be "
                                  "enclosed in disjoint disks that the count confirms",
                                  report.counted, report.found);
    else if (report.state != completeness::confirmed)
        failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                  "roots: found %ld roots with Re >= r; completeness could not be checked, as %s",
                                  report.found,
                                  report.state == completeness::unbounded
                                      ? "the bound on the roots' modulus is not finite for this r"
                                      : "counting them did not resolve within the work budget");
    if (failed < 0) throw nb::python_error();
    return found;
}

long count_roots(const quorv::quorv& sys, double r) {
    return unlocked(sys, [&](const quorv::quorv& model, const quorv::interrupt_check& check) {
        return quorv::count_roots(model, r, check);
    });
}

quorv::spectrum_result spectrum(const quorv::quorv& sys, double r) {
    return unlocked(sys, [&](const quorv::quorv& model, const quorv::interrupt_check& check) {
        return quorv::spectrum(model, r, check);
    });
}

double spectral_abscissa(const quorv::quorv& sys) {
    return unlocked(sys, [&](const quorv::quorv& model, const quorv::interrupt_check& check) {
        return quorv::spectral_abscissa(model, check);
    });
}

bool is_stable(const quorv::quorv& sys) {
    return unlocked(sys, [&](const quorv::quorv& model, const quorv::interrupt_check& check) {
        return quorv::is_stable(model, check);
    });
}

std::pair<std::vector<Eigen::MatrixXcd>, Eigen::VectorXcd> sensitivity(const quorv::quorv& sys,
                                                                       std::complex<double> lambda) {
    quorv::root_sensitivity derivatives =
        unlocked(sys, [&](const quorv::quorv& model, const quorv::interrupt_check&) {
            return quorv::sensitivity(model, lambda);
        });
    return {std::move(derivatives.A), std::move(derivatives.h)};
}

constexpr const char* sensitivity_doc =
    "The first-order derivatives of a simple characteristic root lam (arg1) of\n"
    "the system arg0, as a pair (dA, dh): dA[k][i, j] = d lam / d A_k[i, j], an\n"
    "n-by-n complex array per matrix, and dh[k] = d lam / d h_k, a complex array\n"
    "with the entry for the delay of each matrix. Multiplied by a small change of\n"
    "an entry or a delay they give the change of the root, to first order.\n"
    "\n"
    "With u and v the left and right null vectors of the characteristic matrix\n"
    "D(lam) = lam I - sum_k exp(-lam h_k) A_k and d = u^H D'(lam) v:\n"
    "dA[k][i, j] = exp(-lam h_k) conj(u_i) v_j / d,\n"
    "dh[k] = -lam exp(-lam h_k) u^H A_k v / d.\n"
    "\n"
    "Raises ValueError when lam is not a root (the smallest singular value of\n"
    "D(lam) exceeds 1e-8 times the size of its terms: pass a root as roots\n"
    "returns it), when lam is a multiple root, which has no derivative, and\n"
    "for the systems that roots refuses, with the same errors.";

constexpr const char* spectrum_doc =
    "The distinct characteristic roots of the system arg0 with Re >= r (arg1),\n"
    "each once with its multiplicity, checked against the argument-principle\n"
    "count of the roots right of the line. Returns a Spectrum:\n"
    "roots (complex array, sorted by real part descending, then imaginary part\n"
    "ascending), multiplicities (int array), radii (float array: the disk of\n"
    "that radius around each root holds exactly its multiplicity of zeros, so\n"
    "it bounds the root's error; 0 where no such disk was found), count (the\n"
    "roots with Re >= r, with multiplicity, by the argument principle),\n"
    "complete (whether every root is certified: disjoint disks whose\n"
    "multiplicities add up to count) and degree (the discretization degree,\n"
    "0 when the system has no delay).\n"
    "\n"
    "Roots within about 1e-9 max(1, |r|) left of the line, or whose disk\n"
    "meets it, are counted and listed as on it. Raises\n"
    "ValueError for a NaN r, and the errors of count_roots when the count is\n"
    "impossible (OverflowError, RuntimeError).";

constexpr const char* spectrum_class_doc =
    "The distinct roots right of a line with their multiplicities (see spectrum).";

constexpr const char* spectral_abscissa_doc =
    "The largest real part of the characteristic roots of the system arg.\n"
    "\n"
    "Computed in the system's own time unit: a low-degree discretization\n"
    "approximates the rightmost roots, Newton's method refines them, and the\n"
    "argument-principle count at a line just left of them confirms that no\n"
    "other root lies right of it (one it reveals is located; when it finds\n"
    "none, the line moves left and bisection on the count narrows the strip).\n"
    "The result is negative exactly when is_stable(arg) is True: when the count\n"
    "at the axis holds roots it is max(0, the rightmost real part).\n"
    "\n"
    "Raises ValueError for a system of order 0, which has no roots, and when\n"
    "no root lies right of any line at which the bound on the roots,\n"
    "sum_k exp(-r h_k) |A_k|_F, is finite; RuntimeError when a count does not\n"
    "resolve or the roots right of the line cannot all be located.";

constexpr const char* is_stable_doc =
    "Whether the system arg is asymptotically stable: no characteristic root\n"
    "with Re >= 0, decided by the argument-principle count alone.\n"
    "\n"
    "A root on the imaginary axis, within about 1e-9 (in the system's own\n"
    "time unit) left of it, or a multiple root whose disk meets it, counts as\n"
    "not stable. A system of order 0 is stable. Raises the\n"
    "errors of count_roots when the count is impossible.";

}  // namespace

NB_MODULE(pyhalvex, m) {
    m.doc() = "halvex python bindings";
    m.attr("__version__") = PYHALVEX_VERSION;

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
    m.def("count_roots", &count_roots);

    m.def("sensitivity", &sensitivity, sensitivity_doc);

    nb::class_<quorv::spectrum_result>(m, "Spectrum", spectrum_class_doc)
        .def_prop_ro("roots", [](const quorv::spectrum_result& s) { return s.roots; })
        .def_prop_ro("multiplicities", [](const quorv::spectrum_result& s) { return s.multiplicities; })
        .def_prop_ro("radii", [](const quorv::spectrum_result& s) { return s.radii; })
        .def_prop_ro("count", [](const quorv::spectrum_result& s) { return s.count; })
        .def_prop_ro("complete", [](const quorv::spectrum_result& s) { return s.complete; })
        .def_prop_ro("degree", [](const quorv::spectrum_result& s) { return s.degree; })
        .def("__repr__", &quorv::describe);
    m.def("spectrum", &spectrum, spectrum_doc);
    m.def("spectral_abscissa", &spectral_abscissa, spectral_abscissa_doc);
    m.def("is_stable", &is_stable, is_stable_doc);
}

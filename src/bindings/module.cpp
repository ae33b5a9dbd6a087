// The Python face of the model and the root computation. This file only
// converts arguments and results, runs the core without the interpreter lock,
// and registers the bindings; nanobind's default translation turns the core's
// exceptions into Python exceptions.
#include <algorithm>
#include <chrono>
#include <complex>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

#include <nanobind/nanobind.h>
#include <nanobind/eigen/dense.h>
#include <nanobind/eigen/sparse.h>
#include <nanobind/ndarray.h>
#include <nanobind/stl/complex.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include "model/quorv.h"
#include "model/sparse_quorv.h"
#include "roots/count/root_count.h"
#include "roots/count/sparse_count.h"
#include "roots/krylov/characteristic_lu.h"
#include "roots/roots.h"
#include "roots/analysis/delay_margin.h"
#include "roots/analysis/sensitivity.h"
#include "roots/analysis/sparse_sensitivity.h"
#include "roots/analysis/sparse_spectrum.h"
#include "roots/analysis/spectral_abscissa.h"
#include "roots/analysis/spectrum.h"

namespace nb = nanobind;

// pip (scikit-build-core) passes the version from pyproject.toml; a module
// built by hand without it would report an empty version.
static_assert(sizeof(PYHALVEX_VERSION) > 1,
              "build the module with pip install ., which sets its version");

namespace {

// A view of the stored delays, one per matrix. A model may store fewer delays
// than matrices; the view then stops at the last stored one rather than reach
// past it.
template <typename Model>
nb::ndarray<nb::numpy, double> delay_view(Model& sys) {
    const std::size_t length = std::min(sys.mA(), sys.hA.size());
    return nb::ndarray<nb::numpy, double>(sys.hA.data(), {length});
}

// The instance attributes of a Python subclass's object, which pickles and
// copies carry along; an empty dict for a plain model, which has none.
nb::dict attributes_of(nb::handle self) {
    return nb::hasattr(self, "__dict__") ? nb::borrow<nb::dict>(self.attr("__dict__")) : nb::dict();
}

// What pickle keeps of a model: its matrices and every stored delay, also
// those beyond the last matrix, as NumPy arrays that own copies of them; and
// the instance attributes of a subclass's object, when it has any.
nb::tuple state_of(nb::pointer_and_handle<quorv::quorv> sys) {
    const Eigen::VectorXd delays = Eigen::Map<const Eigen::VectorXd>(sys.p->hA.data(), Eigen::Index(sys.p->hA.size()));
    const nb::dict attributes = attributes_of(sys.h);
    if (attributes.size() == 0) return nb::make_tuple(sys.p->A, delays);
    return nb::make_tuple(sys.p->A, delays, attributes);
}

// Called by pickle on an instance whose __init__ has not run.
void restore(quorv::quorv& sys, std::pair<std::vector<Eigen::MatrixXd>, std::vector<double>> state) {
    new (&sys) quorv::quorv(std::move(state.first), std::move(state.second));
}

// The same for an object of a subclass, with its instance attributes.
void restore_with_attributes(
    nb::pointer_and_handle<quorv::quorv> sys,
    std::tuple<std::vector<Eigen::MatrixXd>, std::vector<double>, nb::dict> state) {
    new (sys.p) quorv::quorv(std::move(std::get<0>(state)), std::move(std::get<1>(state)));
    nb::borrow<nb::dict>(sys.h.attr("__dict__")).update(std::get<2>(state));
}

// A copy with storage of its own, of the original's Python type, so that a
// subclass stays a subclass, with the attributes given. A failed copy leaves
// the new instance uninitialised, and it is released as such.
nb::typed<nb::object, quorv::quorv> copy_with(nb::pointer_and_handle<quorv::quorv> sys, nb::dict attributes) {
    nb::object copy = nb::inst_alloc(sys.h.type());
    new (nb::inst_ptr<quorv::quorv>(copy)) quorv::quorv(*sys.p);
    nb::inst_mark_ready(copy);
    if (attributes.size() != 0) nb::borrow<nb::dict>(copy.attr("__dict__")).update(attributes);
    return copy;
}

// copy.copy shares the attributes' values with the original; copy.deepcopy
// copies them too, through the memo that keeps shared references shared.
nb::typed<nb::object, quorv::quorv> shallow_copy(nb::pointer_and_handle<quorv::quorv> sys) {
    return copy_with(sys, attributes_of(sys.h));
}

nb::typed<nb::object, quorv::quorv> deep_copy(nb::pointer_and_handle<quorv::quorv> sys, nb::dict memo) {
    const nb::object deepcopy = nb::module_::import_("copy").attr("deepcopy");
    return copy_with(sys, nb::borrow<nb::dict>(deepcopy(attributes_of(sys.h), memo)));
}

// "<quorv n=2, mA=2, delays [0.0, 1.0]>": the order, the number of matrices
// and every stored delay, under the name of the object's own type; the
// matrices are left out.
nb::str describe_model(nb::pointer_and_handle<quorv::quorv> sys) {
    return nb::str("<{} n={}, mA={}, delays {}>")
        .format(sys.h.type().attr("__qualname__"), sys.p->n(), sys.p->mA(), nb::cast(sys.p->hA));
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
template <typename Model, typename Compute>
auto unlocked(const Model& sys, Compute compute) {
    const Model model = sys;
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
        failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 2,
                                  "roots: counted %ld roots with Re >= r, found %ld; %ld could not be "
                                  "located within the work budget",
                                  report.counted, report.found, report.counted - report.found);
    else if (report.state == completeness::uncertified)
        failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                  "roots: counted %ld roots with Re >= r, found %ld; they could not all be "
                                  "enclosed in disjoint disks that the count confirms",
                                  report.counted, report.found);
    if (failed < 0) throw nb::python_error();
    return found;
}

long count_roots(const quorv::quorv& sys, double r) {
    return unlocked(sys, [&](const quorv::quorv& model, const quorv::interrupt_check& check) {
        return quorv::count_roots(model, r, check);
    });
}

long sparse_count_roots(const quorv::sparse_quorv& sys, double r) {
    return unlocked(sys, [&](const quorv::sparse_quorv& model, const quorv::interrupt_check& check) {
        return quorv::count_roots(model, r, check);
    });
}

bool sparse_is_stable(const quorv::sparse_quorv& sys) {
    return unlocked(sys, [&](const quorv::sparse_quorv& model, const quorv::interrupt_check& check) {
        return quorv::is_stable(model, check);
    });
}

quorv::spectrum_result sparse_spectrum(const quorv::sparse_quorv& sys, double r) {
    return unlocked(sys, [&](const quorv::sparse_quorv& model, const quorv::interrupt_check& check) {
        return quorv::spectrum(model, r, check);
    });
}

double sparse_spectral_abscissa(const quorv::sparse_quorv& sys) {
    return unlocked(sys, [&](const quorv::sparse_quorv& model, const quorv::interrupt_check& check) {
        return quorv::spectral_abscissa(model, check);
    });
}

// The roots of a sparse model, each as often as its multiplicity, from its
// spectrum, with the dense route's warning when they are not all enclosed.
std::vector<std::complex<double>> sparse_roots(const quorv::sparse_quorv& sys, double r) {
    const quorv::spectrum_result s = unlocked(sys, [&](const quorv::sparse_quorv& model, const quorv::interrupt_check& check) {
        return quorv::spectrum_for_roots(model, r, check);
    });
    std::vector<std::complex<double>> found;
    for (Eigen::Index i = 0; i < s.roots.size(); ++i) found.insert(found.end(), std::size_t(s.multiplicities[i]), s.roots[i]);
    if (!s.complete &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                         "roots: counted %ld roots with Re >= r, found %ld; they could not all be "
                         "enclosed in disjoint disks that the count confirms",
                         s.count, long(found.size())) < 0)
        throw nb::python_error();
    return found;
}

// A copy of A_k, in compressed columns: a view would let a write change the
// pattern's values but never the pattern, which is more surprise than use.
quorv::sparse_quorv::matrix sparse_matrix(const quorv::sparse_quorv& sys, std::size_t k) { return sys.Ak(k); }

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

// The delay margin, with a RuntimeWarning when the search for crossings ran
// out of its budget: the value is then a lower bound.
template <class Model>
double delay_margin(const Model& sys, const std::vector<long long>& terms) {
    const quorv::margin_result result = unlocked(sys, [&](const Model& model, const quorv::interrupt_check& check) {
        return quorv::delay_margin(model, terms, check);
    });
    if (!result.certified &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 2,
                         "delay_margin: stable for every added delay below %R; beyond it, the search for "
                         "crossings of the axis ran out of its work budget",
                         nb::float_(result.margin).ptr()) < 0)
        throw nb::python_error();
    return result.margin;
}

std::pair<std::vector<Eigen::MatrixXcd>, Eigen::VectorXcd> sensitivity(const quorv::quorv& sys,
                                                                       std::complex<double> lambda) {
    quorv::root_sensitivity derivatives =
        unlocked(sys, [&](const quorv::quorv& model, const quorv::interrupt_check&) {
            return quorv::sensitivity(model, lambda);
        });
    return {std::move(derivatives.A), std::move(derivatives.h)};
}

std::pair<std::vector<quorv::sparse_root_sensitivity::matrix>, Eigen::VectorXcd> sparse_sensitivity(
    const quorv::sparse_quorv& sys, std::complex<double> lambda) {
    quorv::sparse_root_sensitivity derivatives =
        unlocked(sys, [&](const quorv::sparse_quorv& model, const quorv::interrupt_check&) {
            return quorv::sensitivity(model, lambda);
        });
    return {std::move(derivatives.A), std::move(derivatives.h)};
}

// A Spectrum as Python sees it: the core's result and the line Re = r right
// of which its roots lie, which the picture draws.
struct located_spectrum : quorv::spectrum_result {
    double r = 0;
};

template <typename Class, typename Value>
struct spectrum_field {
    const char* name;
    Value Class::*member;
    const char* doc;
};

// Every field of a Spectrum under its Python name. The read-only properties
// and the pickle state are both made from this list, so a field added to the
// result is one line here.
constexpr std::tuple spectrum_fields{
    spectrum_field{"roots", &located_spectrum::roots,
                   "The distinct roots with Re >= r, a complex array sorted by real part (descending), "
                   "then imaginary part (ascending); conjugate pairs are exact conjugates."},
    spectrum_field{"multiplicities", &located_spectrum::multiplicities,
                   "The multiplicity of each root, an int64 array."},
    spectrum_field{"radii", &located_spectrum::radii,
                   "The radius of each root's certified disk, a float array: the disk around the root holds "
                   "exactly its multiplicity of zeros, so the radius bounds the root's error; 0 where no such "
                   "disk was found."},
    spectrum_field{"count", &located_spectrum::count,
                   "The roots with Re >= r, with multiplicity, by the argument principle."},
    spectrum_field{"complete", &located_spectrum::complete,
                   "Whether every root is certified: disjoint disks, none crossing the line, whose "
                   "multiplicities add up to count."},
    spectrum_field{"degree", &located_spectrum::degree,
                   "The discretization degree of the pencil; 0 when the system has no delay."},
    spectrum_field{"r", &located_spectrum::r, "The line Re = r right of which the roots were sought."},
};

void add_spectrum_properties(nb::class_<located_spectrum>& cls) {
    std::apply([&](const auto&... field) {
        (cls.def_prop_ro(
             field.name, [member = field.member](const located_spectrum& s) { return s.*member; }, field.doc),
         ...);
    }, spectrum_fields);
}

// The pickle state of a Spectrum: a dict of every field, each a Python value
// (NumPy arrays for the vectors) that owns its data.
nb::dict spectrum_state(const located_spectrum& s) {
    nb::dict state;
    std::apply([&](const auto&... field) { ((state[field.name] = nb::cast(s.*field.member)), ...); },
               spectrum_fields);
    return state;
}

// Called by pickle on an instance that was never constructed: the fields are
// converted first, so that a state that does not convert leaves it so.
void restore_spectrum(located_spectrum& s, nb::dict state) {
    located_spectrum restored;
    std::apply([&](const auto&... field) {
        ((restored.*field.member = nb::cast<std::remove_cvref_t<decltype(restored.*field.member)>>(
              state[field.name])),
         ...);
    }, spectrum_fields);
    new (&s) located_spectrum(std::move(restored));
}

// Spectrum.plot draws with pyhalvex._plot, imported on the first call only:
// matplotlib is an optional dependency.
nb::object plot_spectrum(nb::handle spectrum, nb::handle ax) {
    return nb::module_::import_("pyhalvex._plot").attr("plot_spectrum")(spectrum, ax);
}

constexpr const char* model_doc = R"(quorv(A, hA, /)

A linear time-delay system x'(t) = sum_k A[k] x(t - hA[k]).

Arguments:
    A: a sequence of n-by-n float64 arrays, the matrices A_0, ..., A_{m-1}
       (a 3-D array is taken as the stack of its matrices).
    hA: a sequence of delays h_k >= 0, one per matrix.

The model stores what it is given; roots and the other functions validate it
and raise ValueError for matrices that are not all n-by-n, non-finite entries
and negative or non-finite delays, IndexError for fewer delays than matrices,
ValueError for no matrices. Arguments that do not convert raise TypeError.

Models pickle (for process pools and Dask) and copy with storage of their own;
a subclass's instance attributes travel with them.

Example:
    >>> import numpy as np, pyhalvex
    >>> sys = pyhalvex.quorv([np.array([[-1.0]])], [1.0])
    >>> sys
    <quorv n=1, mA=1, delays [1.0]>
)";

constexpr const char* matrix_doc = R"(A(k, /)

The matrix A_k as a writable NumPy view into the model: writing into it
changes the model. Raises IndexError "invalid vector subscript" for k >= mA.
)";

constexpr const char* delays_doc = R"(hA()

The delays, one per matrix, as a writable NumPy view into the model.
)";

constexpr const char* state_doc = R"(The pickle state: (matrices, delays) as NumPy arrays with copies of the
model's data, and a third item, the instance attributes, for an object of a
subclass that has any.)";

constexpr const char* spectrum_class_doc = R"(The distinct characteristic roots right of a line Re = r, each once with
its multiplicity, as pyhalvex.spectrum returns them: read-only, picklable and
copyable. repr() shows a table of the first roots.)";

constexpr const char* plot_doc = R"(plot(ax=None)

Draws the roots in the complex plane: each root as a point, a multiple root
labelled with its multiplicity, the line Re = r as a dashed line and the
imaginary axis, into the matplotlib Axes ax (a new figure's when None).
Returns the Axes. Needs matplotlib: pip install pyhalvex[plot].

Example:
    >>> s = pyhalvex.spectrum(sys, -3.0)
    >>> s.plot().figure.savefig("roots.png")
)";

}  // namespace

NB_MODULE(_core, m) {
    m.doc() = "The compiled core of pyhalvex; use the package pyhalvex.";
    m.attr("__version__") = PYHALVEX_VERSION;

    nb::class_<quorv::quorv>(m, "quorv", model_doc)
        .def(nb::init<std::vector<Eigen::MatrixXd>, std::vector<double>>(), "hA")
        .def_prop_ro("mA", &quorv::quorv::mA, nb::rv_policy::reference_internal, "The number of matrices.")
        .def_prop_ro("n", &quorv::quorv::n, nb::rv_policy::reference_internal,
                     "The order of the system: the rows of the first matrix, 0 for no matrices.")
        .def("A", &quorv::quorv::Ak, nb::rv_policy::reference_internal, matrix_doc)
        .def("hA", &delay_view<quorv::quorv>, nb::rv_policy::reference_internal, delays_doc)
        .def("__repr__", &describe_model)
        .def("__getstate__", &state_of, state_doc)
        .def("__setstate__", &restore)
        .def("__setstate__", &restore_with_attributes)
        .def("__copy__", &shallow_copy)
        .def("__deepcopy__", &deep_copy);

    // The sparse model's Python face (conversion of the arguments, repr,
    // pickling) is the subclass pyhalvex.sparse_quorv.
    nb::class_<quorv::sparse_quorv>(m, "sparse_quorv")
        .def(nb::init<std::vector<quorv::sparse_quorv::matrix>, std::vector<double>>())
        .def_prop_ro("mA", &quorv::sparse_quorv::mA)
        .def_prop_ro("n", &quorv::sparse_quorv::n)
        .def_prop_ro("nnz", &quorv::sparse_quorv::nonzeros)
        .def("A", &sparse_matrix)
        .def("hA", &delay_view<quorv::sparse_quorv>, nb::rv_policy::reference_internal)
        .def("_delays", [](const quorv::sparse_quorv& sys) { return sys.hA; });
    m.def("count_roots", &sparse_count_roots);
    m.def("is_stable", &sparse_is_stable);
    m.def("delay_margin", &delay_margin<quorv::sparse_quorv>);
    m.def("roots", &sparse_roots);
    m.def("spectral_abscissa", &sparse_spectral_abscissa);
    m.def("_factorisations", &quorv::characteristic_lu::factorisations);

    // The public functions are Python functions in pyhalvex/__init__.py,
    // which carry the documentation and pickle by reference.
    m.def("roots", &roots);
    m.def("count_roots", &count_roots);
    m.def("sensitivity", &sensitivity);
    m.def("sensitivity", &sparse_sensitivity);

    nb::class_<located_spectrum> spectrum_class(m, "Spectrum", spectrum_class_doc);
    add_spectrum_properties(spectrum_class);
    spectrum_class.def("__repr__", [](const located_spectrum& s) { return quorv::describe(s); })
        .def("__getstate__", &spectrum_state)
        .def("__setstate__", &restore_spectrum)
        .def("plot", &plot_spectrum, nb::arg("ax") = nb::none(),
             nb::sig("def plot(self, ax: matplotlib.axes.Axes | None = None) -> matplotlib.axes.Axes"), plot_doc);
    m.def("spectrum", [](const quorv::quorv& sys, double r) { return located_spectrum{::spectrum(sys, r), r}; });
    m.def("spectrum", [](const quorv::sparse_quorv& sys, double r) {
        return located_spectrum{sparse_spectrum(sys, r), r};
    });
    m.def("spectral_abscissa", &spectral_abscissa);
    m.def("is_stable", &is_stable);
    m.def("delay_margin", &delay_margin<quorv::quorv>);
}

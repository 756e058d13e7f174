// The Python binding: the module tavri_sdk._tavri_sdk.
//
// Written against the plain CPython C API so that every function carries
// exactly the text signature Python's inspect module reads, and argument
// errors are the built-in TypeError / OverflowError naming the parameter.
// Every call holds the interpreter lock throughout; the engine's threads
// never call back into Python.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "tavri/core/log.h"
#include "tavri/core/presets.h"
#include "tavri/engine/factory.h"
#include "tavri/engine/mock_agent.h"
#include "tavri/engine/runner.h"
#include "tavri/server/server.h"

namespace {

using tavri::HarnessRunResult;

// ---------------------------------------------------------------- arguments

// Collects positional and keyword arguments by parameter name; reports the
// interpreter's usual TypeError texts for missing, duplicate or unexpected
// arguments.
bool collect_args(const char* fname, PyObject* args, PyObject* kwargs, const char* const* names, int count,
                  int required, PyObject** out) {
    Py_ssize_t npos = args ? PyTuple_GET_SIZE(args) : 0;
    if (npos > count) {
        PyErr_Format(PyExc_TypeError, "%s() takes at most %d argument%s (%zd given)", fname, count,
                     count == 1 ? "" : "s", npos);
        return false;
    }
    for (int i = 0; i < count; ++i) out[i] = i < npos ? PyTuple_GET_ITEM(args, i) : nullptr;
    if (kwargs) {
        PyObject *key, *value;
        Py_ssize_t pos = 0;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            const char* k = PyUnicode_Check(key) ? PyUnicode_AsUTF8(key) : nullptr;
            if (!k) {
                PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", fname);
                return false;
            }
            int idx = -1;
            for (int i = 0; i < count; ++i)
                if (std::string(k) == names[i]) idx = i;
            if (idx < 0) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%s'", fname, k);
                return false;
            }
            if (out[idx]) {
                PyErr_Format(PyExc_TypeError, "argument for %s() given by name ('%s') and position (%d)", fname, k,
                             idx + 1);
                return false;
            }
            out[idx] = value;
        }
    }
    for (int i = 0; i < required; ++i) {
        if (!out[i]) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %d)", fname, names[i], i + 1);
            return false;
        }
    }
    return true;
}

bool to_text(const char* fname, const char* param, PyObject* obj, std::string& out) {
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %.100s", fname, param,
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (!data) return false;  // e.g. lone surrogates: UnicodeEncodeError is set
    out.assign(data, static_cast<std::size_t>(size));
    return true;
}

bool to_unsigned(const char* fname, const char* param, PyObject* obj, unsigned long long max,
                 unsigned long long& out) {
    if (!PyLong_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be int, not %.100s", fname, param,
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (v == -1 && PyErr_Occurred()) return false;
    if (overflow != 0 || v < 0 || static_cast<unsigned long long>(v) > max) {
        PyErr_Format(PyExc_OverflowError, "%s() argument '%s' must be an integer in 0..%llu", fname, param, max);
        return false;
    }
    out = static_cast<unsigned long long>(v);
    return true;
}

// ---------------------------------------------------------------- HarnessRunResult

struct PyRunResult {
    PyObject_HEAD
    HarnessRunResult r;
};

PyTypeObject RunResultType = {PyVarObject_HEAD_INIT(nullptr, 0)};

void run_result_dealloc(PyObject* self) {
    reinterpret_cast<PyRunResult*>(self)->r.~HarnessRunResult();
    Py_TYPE(self)->tp_free(self);
}

PyObject* wrap_result(HarnessRunResult r) {
    auto* obj = PyObject_New(PyRunResult, &RunResultType);
    if (!obj) return nullptr;
    new (&obj->r) HarnessRunResult(std::move(r));
    return reinterpret_cast<PyObject*>(obj);
}

const HarnessRunResult& res(PyObject* self) { return reinterpret_cast<PyRunResult*>(self)->r; }

PyObject* get_agent_id(PyObject* self, void*) {
    const auto& id = res(self).agent_id;
    return PyUnicode_FromStringAndSize(id.data(), static_cast<Py_ssize_t>(id.size()));
}
PyObject* get_success(PyObject* self, void*) { return PyBool_FromLong(res(self).success); }
PyObject* get_obs(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(res(self).observation_count); }
PyObject* get_det(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(res(self).detection_count); }
PyObject* get_int(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(res(self).intervention_count); }

PyGetSetDef run_result_getset[] = {
    {"agent_id", get_agent_id, nullptr, nullptr, nullptr},
    {"success", get_success, nullptr, nullptr, nullptr},
    {"observation_count", get_obs, nullptr, nullptr, nullptr},
    {"detection_count", get_det, nullptr, nullptr, nullptr},
    {"intervention_count", get_int, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* run_result_to_dict(PyObject* self, PyObject*) {
    PyObject* d = PyDict_New();
    if (!d) return nullptr;
    struct Item {
        const char* key;
        PyObject* (*get)(PyObject*, void*);
    };
    static const Item items[] = {{"agent_id", get_agent_id},
                                 {"success", get_success},
                                 {"observation_count", get_obs},
                                 {"detection_count", get_det},
                                 {"intervention_count", get_int}};
    for (const auto& it : items) {
        PyObject* v = it.get(self, nullptr);
        if (!v || PyDict_SetItemString(d, it.key, v) < 0) {
            Py_XDECREF(v);
            Py_DECREF(d);
            return nullptr;
        }
        Py_DECREF(v);
    }
    return d;
}

PyObject* run_result_repr(PyObject* self) {
    const auto& r = res(self);
    std::string s = "HarnessRunResult(agent_id='" + r.agent_id + "', success=" + (r.success ? "true" : "false") +
                    ", obs=" + std::to_string(r.observation_count) + ", det=" + std::to_string(r.detection_count) +
                    ", int=" + std::to_string(r.intervention_count) + ")";
    return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

PyMethodDef run_result_methods[] = {
    {"to_dict", run_result_to_dict, METH_NOARGS, "to_dict($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// ---------------------------------------------------------------- running

PyObject* run_mock(const std::string& task, tavri::Preset preset, std::uint32_t turns, bool dry_run) {
    tavri::MockAgent agent("py-agent", turns, true, 0);
    tavri::Result<HarnessRunResult, tavri::TavriError> r =
        dry_run ? tavri::run_with_registry(agent, task, tavri::build_registry_from_preset(preset),
                                           tavri::RunConfig{std::nullopt, true})
                : tavri::run_harness_session(agent, task, preset);
    if (!r) {
        PyErr_SetString(PyExc_RuntimeError, r.error().display().c_str());
        return nullptr;
    }
    return wrap_result(std::move(r.value()));
}

// Shared by quick_run and PyHarness.run_with: (task, preset="solo", turns=4).
PyObject* run_with_args(const char* fname, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"task", "preset", "turns"};
    PyObject* a[3];
    if (!collect_args(fname, args, kwargs, names, 3, 1, a)) return nullptr;
    std::string task, preset = "solo";
    unsigned long long turns = 4;
    if (!to_text(fname, "task", a[0], task)) return nullptr;
    if (a[1] && !to_text(fname, "preset", a[1], preset)) return nullptr;
    if (a[2] && !to_unsigned(fname, "turns", a[2], 4294967295ULL, turns)) return nullptr;
    return run_mock(task, tavri::parse_preset(preset), static_cast<std::uint32_t>(turns), false);
}

// ---------------------------------------------------------------- PyHarness

struct PyHarness {
    PyObject_HEAD
    std::string preset;
};

PyTypeObject HarnessType = {PyVarObject_HEAD_INIT(nullptr, 0)};

PyObject* harness_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self) new (&reinterpret_cast<PyHarness*>(self)->preset) std::string("solo");
    return self;
}

int harness_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"preset"};
    PyObject* a[1];
    if (!collect_args("PyHarness", args, kwargs, names, 1, 0, a)) return -1;
    std::string preset = "solo";
    if (a[0] && !to_text("PyHarness", "preset", a[0], preset)) return -1;
    reinterpret_cast<PyHarness*>(self)->preset = std::move(preset);
    return 0;
}

void harness_dealloc(PyObject* self) {
    using std::string;
    reinterpret_cast<PyHarness*>(self)->preset.~string();
    Py_TYPE(self)->tp_free(self);
}

PyObject* harness_repr(PyObject* self) {
    std::string s = "PyHarness(preset='" + reinterpret_cast<PyHarness*>(self)->preset + "')";
    return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

PyObject* harness_run_task(PyObject* self, PyObject* args, PyObject* kwargs, const char* fname, bool dry) {
    static const char* const names[] = {"task"};
    PyObject* a[1];
    if (!collect_args(fname, args, kwargs, names, 1, 1, a)) return nullptr;
    std::string task;
    if (!to_text(fname, "task", a[0], task)) return nullptr;
    return run_mock(task, tavri::parse_preset(reinterpret_cast<PyHarness*>(self)->preset), 4, dry);
}

PyObject* harness_run(PyObject* self, PyObject* args, PyObject* kwargs) {
    return harness_run_task(self, args, kwargs, "run", false);
}
PyObject* harness_dry_run(PyObject* self, PyObject* args, PyObject* kwargs) {
    return harness_run_task(self, args, kwargs, "dry_run", true);
}
PyObject* harness_run_with(PyObject*, PyObject* args, PyObject* kwargs) {
    return run_with_args("run_with", args, kwargs);
}

PyMethodDef harness_methods[] = {
    {"run", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(harness_run)), METH_VARARGS | METH_KEYWORDS,
     "run($self, task)\n--\n\n"},
    {"run_with", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(harness_run_with)),
     METH_VARARGS | METH_KEYWORDS, "run_with($self, task, preset=\"solo\", turns=4)\n--\n\n"},
    {"dry_run", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(harness_dry_run)),
     METH_VARARGS | METH_KEYWORDS, "dry_run($self, task)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// ---------------------------------------------------------------- module functions

PyObject* create_harness(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"preset"};
    PyObject* a[1];
    if (!collect_args("create_harness", args, kwargs, names, 1, 0, a)) return nullptr;
    std::string preset = "solo";
    if (a[0] && !to_text("create_harness", "preset", a[0], preset)) return nullptr;
    PyObject* h = harness_new(&HarnessType, nullptr, nullptr);
    if (h) reinterpret_cast<PyHarness*>(h)->preset = std::move(preset);
    return h;
}

PyObject* quick_run(PyObject*, PyObject* args, PyObject* kwargs) { return run_with_args("quick_run", args, kwargs); }

PyObject* str_list(const std::vector<const char*>& names) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(names.size()));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < names.size(); ++i) {
        PyObject* s = PyUnicode_FromString(names[i]);
        if (!s) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), s);
    }
    return list;
}

PyObject* list_presets(PyObject*, PyObject*) {
    std::vector<const char*> names;
    for (auto p : tavri::all_presets()) names.push_back(tavri::preset_name(p));
    return str_list(names);
}
PyObject* list_detectors(PyObject*, PyObject*) { return str_list(tavri::catalogue_detectors()); }
PyObject* list_strategies(PyObject*, PyObject*) { return str_list(tavri::catalogue_strategies()); }
PyObject* list_observers(PyObject*, PyObject*) { return str_list(tavri::catalogue_observers()); }
PyObject* get_version(PyObject*, PyObject*) { return PyUnicode_FromString("0.3.0"); }

PyObject* serve(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"port"};
    PyObject* a[1];
    if (!collect_args("serve", args, kwargs, names, 1, 0, a)) return nullptr;
    unsigned long long port = 3000;
    if (a[0] && !to_unsigned("serve", "port", a[0], 65535, port)) return nullptr;

    tavri::log::install_console_format();  // already installed by an earlier call: ignored
    std::fflush(stdout);
    std::printf("Starting Tavri server (port %llu)...\nPress Ctrl+C to stop\n\n", port);
    std::fflush(stdout);

    // The server takes over SIGINT for its graceful shutdown; Python's own
    // handler comes back once it returns.
    struct sigaction previous {};
    sigaction(SIGINT, nullptr, &previous);
    auto result = tavri::server::run_server(static_cast<std::uint16_t>(port));
    sigaction(SIGINT, &previous, nullptr);
    std::fflush(stdout);

    if (!result) {
        std::fprintf(stderr, "%s\n", result.error().c_str());
        std::fflush(stderr);
        PyErr_SetString(PyExc_RuntimeError, result.error().c_str());
        return nullptr;
    }
    Py_RETURN_NONE;
}

template <class F>
PyCFunction as_cfunc(F f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

PyMethodDef module_functions[] = {
    {"create_harness", as_cfunc(create_harness), METH_VARARGS | METH_KEYWORDS,
     "create_harness(preset=\"solo\")\n--\n\n"},
    {"quick_run", as_cfunc(quick_run), METH_VARARGS | METH_KEYWORDS,
     "quick_run(task, preset=\"solo\", turns=4)\n--\n\n"},
    {"list_presets", list_presets, METH_NOARGS, "list_presets()\n--\n\n"},
    {"list_detectors", list_detectors, METH_NOARGS, "list_detectors()\n--\n\n"},
    {"list_strategies", list_strategies, METH_NOARGS, "list_strategies()\n--\n\n"},
    {"list_observers", list_observers, METH_NOARGS, "list_observers()\n--\n\n"},
    {"get_version", get_version, METH_NOARGS, "get_version()\n--\n\n"},
    {"serve", as_cfunc(serve), METH_VARARGS | METH_KEYWORDS,
     "serve(port=3000)\n--\n\nStart the Tavri dashboard server.\n"
     "Tries port 3000, then 3001, 3002... until it finds a free one."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_tavri_sdk", "", -1, nullptr};

bool ready_types() {
    RunResultType.tp_name = "tavri_sdk._tavri_sdk.HarnessRunResult";
    RunResultType.tp_basicsize = sizeof(PyRunResult);
    RunResultType.tp_flags = Py_TPFLAGS_DEFAULT;
    RunResultType.tp_dealloc = run_result_dealloc;
    RunResultType.tp_repr = run_result_repr;
    RunResultType.tp_getset = run_result_getset;
    RunResultType.tp_methods = run_result_methods;
    RunResultType.tp_new = nullptr;  // created only by this module

    HarnessType.tp_name = "tavri_sdk._tavri_sdk.PyHarness";
    HarnessType.tp_basicsize = sizeof(PyHarness);
    HarnessType.tp_flags = Py_TPFLAGS_DEFAULT;
    HarnessType.tp_doc = "PyHarness(preset=\"solo\")\n--\n\n";
    HarnessType.tp_new = harness_new;
    HarnessType.tp_init = harness_init;
    HarnessType.tp_dealloc = harness_dealloc;
    HarnessType.tp_repr = harness_repr;
    HarnessType.tp_methods = harness_methods;
    return PyType_Ready(&RunResultType) == 0 && PyType_Ready(&HarnessType) == 0;
}

}  // namespace

PyMODINIT_FUNC PyInit__tavri_sdk(void) {
    if (!ready_types()) return nullptr;
    PyObject* m = PyModule_Create(&module_def);
    if (!m) return nullptr;
    Py_INCREF(&RunResultType);
    if (PyModule_AddObject(m, "HarnessRunResult", reinterpret_cast<PyObject*>(&RunResultType)) < 0) goto fail;
    Py_INCREF(&HarnessType);
    if (PyModule_AddObject(m, "PyHarness", reinterpret_cast<PyObject*>(&HarnessType)) < 0) goto fail;
    for (PyMethodDef* def = module_functions; def->ml_name; ++def) {
        PyObject* name = PyModule_GetNameObject(m);
        PyObject* f = PyCFunction_NewEx(def, nullptr, name);
        Py_XDECREF(name);
        if (!f || PyModule_AddObject(m, def->ml_name, f) < 0) {
            Py_XDECREF(f);
            goto fail;
        }
    }
    return m;
fail:
    Py_DECREF(m);
    return nullptr;
}

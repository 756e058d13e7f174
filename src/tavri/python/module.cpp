// placeholder replaced below
#include <Python.h>
static PyModuleDef def = {PyModuleDef_HEAD_INIT, "_tavri_sdk", nullptr, 0, nullptr};
PyMODINIT_FUNC PyInit__tavri_sdk(void) { return PyModule_Create(&def); }

/* Where a column of Python str keeps its texts: the address and length of
 * each string's characters, for the reader API's address layout. The
 * readers then read the strings where they are, with no copy of the column
 * and without the interpreter's lock; the caller keeps the column (and so
 * its strings, which never change) alive until they are done.
 *
 * Only what is cheap to take here is taken: exact str objects of ASCII
 * characters, and missing values (None, a float NaN, and the objects the
 * caller names). Anything else stops the walk and the caller lays the
 * column out another way. Trailing NULs of a string are not part of its
 * text, as in NumPy's fixed-width strings.
 *
 * The walk runs without the interpreter's lock, so that reader threads lay
 * out their own blocks side by side: it only reads what never changes in a
 * live object (a str's type, kind, length and characters, a float's value)
 * and compares pointers, and the caller holds the column and the tuple. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <math.h>
#include <stdint.h>
#include <string.h>

/* spans(objects, n, starts, lengths, validity, missing) -> (first, absent)
 *
 * objects, starts, lengths, validity: addresses of n PyObject pointers (a
 * contiguous object array), n int64 addresses, n int32 lengths and
 * (n + 7) / 8 validity bytes, all set (the bit of each absent row is
 * cleared). missing: a tuple of further objects that stand for a missing
 * value (pandas.NA, pandas.NaT).
 * first: n when every row was taken, else the first row that was not (the
 * rows after it are not looked at); absent: the missing rows before it. */
static PyObject *spans(PyObject *self, PyObject *args) {
  unsigned long long objects_addr, starts_addr, lengths_addr, validity_addr;
  Py_ssize_t n;
  PyObject *missing;
  (void)self;
  if (!PyArg_ParseTuple(args, "KnKKKO!", &objects_addr, &n, &starts_addr, &lengths_addr,
                        &validity_addr, &PyTuple_Type, &missing))
    return NULL;
  if (n < 0 || !objects_addr || !starts_addr || !lengths_addr || !validity_addr) {
    PyErr_SetString(PyExc_ValueError, "spans: a null array or a negative count");
    return NULL;
  }
  PyObject *const *objects = (PyObject *const *)(uintptr_t)objects_addr;
  int64_t *starts = (int64_t *)(uintptr_t)starts_addr;
  int32_t *lengths = (int32_t *)(uintptr_t)lengths_addr;
  uint8_t *validity = (uint8_t *)(uintptr_t)validity_addr;
  const Py_ssize_t n_missing = PyTuple_GET_SIZE(missing);
  Py_ssize_t i = 0, absent = 0;
  Py_BEGIN_ALLOW_THREADS
  for (; i < n; ++i) {
    PyObject *o = objects[i];
    if (!o) break; /* an array NumPy has not filled: left to the other layouts */
    if (PyUnicode_CheckExact(o) && PyUnicode_IS_COMPACT_ASCII(o)) {
      const char *text = (const char *)PyUnicode_DATA(o);
      Py_ssize_t len = PyUnicode_GET_LENGTH(o);
      /* Trailing NULs are padding, as in NumPy's fixed-width strings. */
      while (len > 0 && text[len - 1] == 0) --len;
      if (len > INT32_MAX) break;
      starts[i] = (int64_t)(uintptr_t)text;
      lengths[i] = (int32_t)len;
      continue;
    }
    int is_missing = o == Py_None || (PyFloat_CheckExact(o) && isnan(PyFloat_AS_DOUBLE(o)));
    for (Py_ssize_t k = 0; !is_missing && k < n_missing; ++k)
      is_missing = o == PyTuple_GET_ITEM(missing, k);
    if (!is_missing) break;
    starts[i] = 0;
    lengths[i] = 0;
    validity[i / 8] &= (uint8_t)~(1u << (i % 8));
    ++absent;
  }
  Py_END_ALLOW_THREADS
  return Py_BuildValue("nn", i, absent);
}

static PyMethodDef methods[] = {
    {"spans", spans, METH_VARARGS,
     "spans(objects, n, starts, lengths, validity, missing) -> (first, absent): the "
     "addresses and lengths of a column of ASCII str."},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef module = {
    PyModuleDef_HEAD_INIT, "zelbrant._texts",
    "Addresses of a column's texts, for the reader API.", -1, methods,
    NULL, NULL, NULL, NULL,
};

PyMODINIT_FUNC PyInit__texts(void) { return PyModule_Create(&module); }

// The exported entry points of the login library: which edition it is, and
// the class factory that hosts load it through.
#ifndef TARN_TYPELIB_ENTRY_POINTS_H_
#define TARN_TYPELIB_ENTRY_POINTS_H_

#include "tarn/edition.h"

extern "C" {
// Defined once per edition of the shared library.
tarn::Edition TarnLibraryEdition();
}

#endif  // TARN_TYPELIB_ENTRY_POINTS_H_

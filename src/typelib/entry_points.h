// The exported entry points of each edition of the login library (the
// entry files in editions/): which edition the library is.
#ifndef TARN_TYPELIB_ENTRY_POINTS_H_
#define TARN_TYPELIB_ENTRY_POINTS_H_

#include "tarn/edition.h"
#include "tarn/export.h"

extern "C" {
// The edition whose objects and member table this library serves.
TARN_EXPORT tarn::Edition TarnLibraryEdition();
}

#endif  // TARN_TYPELIB_ENTRY_POINTS_H_

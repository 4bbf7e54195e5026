// Entry points of the extended edition of the login library.
#include "typelib/entry_points.h"

extern "C" tarn::Edition TarnLibraryEdition() { return tarn::Edition::kExtended; }

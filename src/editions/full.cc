// Entry points of the full edition of the login library.
#include "typelib/entry_points.h"

extern "C" tarn::Edition TarnLibraryEdition() { return tarn::Edition::kFull; }

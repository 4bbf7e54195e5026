// The full and extended builds come from the same sources; the edition is
// fixed when a login object is created.
#ifndef TARN_EDITION_H_
#define TARN_EDITION_H_

namespace tarn {

enum class Edition { kFull, kExtended };

// "V8.610" for the full build, "V8.700" for the extended one: part of every
// registry key the component reads.
inline const char* VersionText(Edition e) { return e == Edition::kFull ? "V8.610" : "V8.700"; }

}  // namespace tarn

#endif  // TARN_EDITION_H_

// What the login libraries export. They are built with hidden symbol
// visibility: only what is marked here is part of their interface.
#ifndef TARN_EXPORT_H_
#define TARN_EXPORT_H_

#if defined(TARN_STATIC)
#define TARN_EXPORT
#else
#define TARN_EXPORT __attribute__((visibility("default")))
#endif

#endif  // TARN_EXPORT_H_

/* The C interface of the login libraries: create an object by ProgID, call
   its members by name with variant arguments, read the error a call raised,
   release it. Every library (full, extended, compact) exports it for the
   classes it serves, and creates the others' through the registry file
   (see DllRegisterServer).

     tarn_object* login;
     tarn_variant args[6], result;
     if (tarn_create("TarnLogin.clsLogin", &login) != 0) puts(tarn_error_description());
     tarn_variant_set_string(&args[0], "GL");  ...
     tarn_invoke(login, "Login", args, 6, &result);
     tarn_variant_clear(&result);  ... tarn_release(login);

   Ownership: a variant owns its string, array and object. Make values with
   tarn_variant_set_*, free them with tarn_variant_clear; a call writes its
   result and its in/out arguments into the caller's variants, clearing
   what they held. Strings are UTF-8. Functions answer 0, or an error
   number as an automation client sees it (438 unknown member, 450 wrong
   number of arguments, 13 type mismatch, 91 a null or released handle, 5
   a bad argument, or what the member raised), and then
   tarn_error_description() tells what failed. No C++ exception crosses
   this interface. A handle is used by one thread at a time. */
#ifndef TARN_TARN_H_
#define TARN_TARN_H_

#include <stdint.h>

#include "tarn/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tarn_object tarn_object;

/* The automation variant types this interface carries. */
typedef enum tarn_type {
  TARN_EMPTY = 0,
  TARN_NULL = 1,
  TARN_I2 = 2,
  TARN_I4 = 3,
  TARN_R8 = 5,
  TARN_DATE = 7, /* days since 1899-12-30, the time as the fraction */
  TARN_STRING = 8,
  TARN_OBJECT = 9,
  TARN_BOOL = 11,
  TARN_ARRAY = 0x200C /* of variants, with a lower bound */
} tarn_type;

typedef struct tarn_variant tarn_variant;

typedef struct tarn_array {
  tarn_variant* items;
  int32_t count;
  int32_t lower_bound;
} tarn_array;

struct tarn_variant {
  tarn_type type;
  union {
    int16_t i2;
    int32_t i4;
    double r8;
    double date;
    int32_t boolean; /* 0 or 1 */
    char* string;    /* NUL-terminated UTF-8 */
    tarn_object* object;
    tarn_array array;
  } value;
};

/* Values. A zeroed variant is Empty; set_* clear what was there first. */
TARN_EXPORT void tarn_variant_init(tarn_variant* v);
TARN_EXPORT void tarn_variant_clear(tarn_variant* v);
TARN_EXPORT void tarn_variant_set_null(tarn_variant* v);
TARN_EXPORT void tarn_variant_set_i2(tarn_variant* v, int16_t value);
TARN_EXPORT void tarn_variant_set_i4(tarn_variant* v, int32_t value);
TARN_EXPORT void tarn_variant_set_r8(tarn_variant* v, double value);
TARN_EXPORT void tarn_variant_set_date(tarn_variant* v, double serial);
TARN_EXPORT void tarn_variant_set_bool(tarn_variant* v, int value);
/* Copies `text`; NULL sets the empty string. */
TARN_EXPORT void tarn_variant_set_string(tarn_variant* v, const char* text);
/* Takes a reference of its own: the caller still releases `object`. */
TARN_EXPORT int tarn_variant_set_object(tarn_variant* v, tarn_object* object);

/* Objects. */
TARN_EXPORT int tarn_create(const char* prog_id, tarn_object** out);
/* A method; `result` may be NULL. */
TARN_EXPORT int tarn_invoke(tarn_object* object, const char* member, tarn_variant* args, int32_t argc,
                            tarn_variant* result);
TARN_EXPORT int tarn_get(tarn_object* object, const char* property, tarn_variant* result);
TARN_EXPORT int tarn_set(tarn_object* object, const char* property, const tarn_variant* value);
/* The class's name ("_clsLogin", "clsErrorRes", "Recordset", ...); NULL
   for a bad handle. Valid until the object is released. */
TARN_EXPORT const char* tarn_type_name(tarn_object* object);
TARN_EXPORT int tarn_release(tarn_object* object);

/* What the last failed call of this thread raised. */
TARN_EXPORT int32_t tarn_error_number(void);
TARN_EXPORT const char* tarn_error_description(void);

/* The server entry points, as an in-process server has them.
   DllRegisterServer writes the library's ProgIDs, class ids and path into
   the registry file (TARN_REGISTRY, else /etc/tarn/registry.reg) below
   HKEY_CLASSES_ROOT; DllUnregisterServer removes exactly those keys. Both
   answer 0 or an error number. */
typedef struct tarn_factory tarn_factory;
TARN_EXPORT int DllRegisterServer(void);
TARN_EXPORT int DllUnregisterServer(void);
/* A factory for a class of this library, by class id ("{...}") or ProgID. */
TARN_EXPORT int DllGetClassObject(const char* class_id, tarn_factory** out);
TARN_EXPORT int tarn_factory_create(tarn_factory* factory, tarn_object** out);
TARN_EXPORT int tarn_factory_release(tarn_factory* factory);
/* 0 when no object or factory of this library is alive, else 1. */
TARN_EXPORT int DllCanUnloadNow(void);

#ifdef __cplusplus
}
#endif

#endif /* TARN_TARN_H_ */

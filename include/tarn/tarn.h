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

   Threads. An object belongs to the thread that created it, as an
   apartment-threaded COM object does: only that thread calls its members,
   copies it into a variant and releases it, and its timers (the login
   object's heartbeat) run when that thread pumps (tarn_pump_messages). A
   call on the object from any other thread answers TARN_WRONG_THREAD and
   leaves the object as it was. Factories, and the tarn_variant_* functions
   on variants that hold no object, may be used from any thread.

   Ownership. A variant owns its string, array and object; whoever holds
   the variant frees it with tarn_variant_clear, which frees the string,
   clears every item of an array and frees the items, and releases the
   object. Make values with tarn_variant_set_* (they clear what the
   variant held first); make an array with tarn_variant_set_array, then
   fill its items with tarn_variant_set_*. Items a host builds by hand must
   come from malloc or calloc, as tarn_variant_clear frees them with
   free(). A call writes its result and its in/out arguments
   into the caller's variants, clearing what they held; the caller clears
   them in turn. Strings are NUL-terminated UTF-8.

   Errors. Functions answer 0, or an error number as an automation client
   sees it (438 unknown member, 450 wrong number of arguments, 13 type
   mismatch, 91 a null or released handle, 5 a bad argument, 7 out of
   memory, TARN_WRONG_THREAD, or what the member raised), and then
   tarn_error_description() tells what failed. A call that fails for want
   of memory answers 7 and leaves its outputs as they were. No C++
   exception crosses this interface. */
#ifndef TARN_TARN_H_
#define TARN_TARN_H_

#include <stdint.h>

#include "tarn/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tarn_object tarn_object;

/* RPC_E_WRONG_THREAD as an automation client sees it: an object was called
   from a thread other than the one that created it. */
#define TARN_WRONG_THREAD (-2147417842)

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
/* Copies `text`; NULL sets the empty string. Answers 0, or 7 when memory
   runs out (the variant then stays as it was). */
TARN_EXPORT int tarn_variant_set_string(tarn_variant* v, const char* text);
/* An array of `count` Empty items, indexed from `lower_bound`, that the
   variant owns: fill value.array.items[0 .. count-1] with tarn_variant_set_*.
   Answers 0, 5 for a negative count, or 7 when memory runs out (the variant
   then stays as it was). */
TARN_EXPORT int tarn_variant_set_array(tarn_variant* v, int32_t count, int32_t lower_bound);
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

/* What the last failed call of this thread raised; a call that succeeds
   leaves it as it was. The text belongs to the library and stays valid
   until another call of this thread fails, or the thread ends; copy it to
   keep it. Never NULL. */
TARN_EXPORT int32_t tarn_error_number(void);
TARN_EXPORT const char* tarn_error_description(void);

/* The calling thread's timers, as a window timer runs: a login object's
   heartbeat (once a minute) goes out only while the thread that created it
   pumps, and a host that never pumps loses its tasks at the end of the
   lease. Call tarn_pump_messages from the host's loop after waiting
   tarn_millis_until_next_timer() milliseconds, or when tarn_timer_fd()
   polls readable:

     struct pollfd fd = {tarn_timer_fd(), POLLIN, 0};
     poll(&fd, 1, (int)tarn_millis_until_next_timer());
     tarn_pump_messages();

   Timers never run concurrently with the thread's own calls. */
/* Runs the calling thread's timers that are due; answers how many ran. A
   timer that fell several intervals behind runs once. */
TARN_EXPORT int tarn_pump_messages(void);
/* Milliseconds until the calling thread's next timer is due: 0 when one is
   due now, -1 when the thread has none. */
TARN_EXPORT int64_t tarn_millis_until_next_timer(void);
/* A descriptor (a timerfd) that polls readable while one of the calling
   thread's timers is due. It belongs to the thread, which closes it when it
   ends; the host only polls it. -1 when the system gives none. */
TARN_EXPORT int tarn_timer_fd(void);

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

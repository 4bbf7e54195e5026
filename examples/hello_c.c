/* A host in C: it links one library of the login component and includes
   only tarn/tarn.h. It registers the library in the registry file, signs
   on, opens a function, keeps it by pumping the thread's timers until the
   heartbeat has gone out BEATS times (one a minute; default 1, 0 does not
   wait), shows what a wrong call answers, and creates the compact build's
   class by ProgID through the registry when that library is registered
   too.

     hello_c ACC YEAR USER PASSWORD DATE [BEATS]

   TARN_REGISTRY names the registry file of a `tarn db init --demo`
   directory. Exits 0 when everything it tried worked. */
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tarn/tarn.h"

static int failed(const char* what, int rc) {
  fprintf(stderr, "%s: error %d: %s\n", what, rc, tarn_error_description());
  return 1;
}

static int print_property(tarn_object* object, const char* name) {
  tarn_variant value;
  tarn_variant_init(&value);
  int rc = tarn_get(object, name, &value);
  if (rc != 0) return failed(name, rc);
  if (value.type == TARN_STRING) printf("%s: %s\n", name, value.value.string);
  if (value.type == TARN_I2) printf("%s: %d\n", name, value.value.i2);
  tarn_variant_clear(&value);
  return 0;
}

static int32_t log_state(tarn_object* login) {
  tarn_variant value;
  tarn_variant_init(&value);
  if (tarn_get(login, "LogState", &value) != 0) return -1;
  const int32_t state = value.type == TARN_I4 ? value.value.i4 : value.type == TARN_I2 ? value.value.i2 : -1;
  tarn_variant_clear(&value);
  return state;
}

/* The host's loop, as a module's message loop would run it: wait for the
   thread's next timer (or for its descriptor), then pump. The login object's
   heartbeat runs only here; a host that never pumps loses its tasks when
   their lease ends. */
static int pump_heartbeats(tarn_object* login, int wanted) {
  int beats = 0;
  if (wanted > 0) printf("waiting for %d heartbeat(s) to the management service, the first in 60 s\n", wanted);
  fflush(stdout);
  while (beats < wanted) {
    const int64_t wait = tarn_millis_until_next_timer();
    if (wait < 0) break; /* no timer: nothing will ever beat */
    struct pollfd fd = {tarn_timer_fd(), POLLIN, 0};
    poll(&fd, 1, wait > INT_MAX ? INT_MAX : (int)wait);
    const int fired = tarn_pump_messages();
    if (fired <= 0) continue;
    beats += fired;
    printf("heartbeat %d, LogState %d\n", beats, log_state(login));
    fflush(stdout);
  }
  return beats;
}

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) {
    fprintf(stderr, "usage: hello_c ACC YEAR USER PASSWORD DATE [BEATS]\n");
    return 2;
  }
  const int wanted_beats = argc == 7 ? atoi(argv[6]) : 1;
  int rc = DllRegisterServer();
  if (rc != 0) return failed("DllRegisterServer", rc);

  tarn_object* login = NULL;
  rc = tarn_create("TarnLogin.clsLogin", &login);
  if (rc != 0) return failed("create TarnLogin.clsLogin", rc);

  /* Login(pSubId, pAccId, pYearId, pUserId, pPassword, pDate) */
  const char* values[6] = {"GL", argv[1], argv[2], argv[3], argv[4], argv[5]};
  tarn_variant args[6], result;
  tarn_variant_init(&result);
  for (int i = 0; i < 6; ++i) {
    tarn_variant_init(&args[i]);
    tarn_variant_set_string(&args[i], values[i]);
  }
  rc = tarn_invoke(login, "Login", args, 6, &result);
  if (rc != 0) return failed("Login", rc);
  if (result.type != TARN_BOOL || !result.value.boolean) {
    print_property(login, "ShareString");
    return 1;
  }
  printf("signed on\n");
  if (print_property(login, "cUserName") || print_property(login, "cAccName") || print_property(login, "iMonth")) {
    return 1;
  }

  /* TaskExec(pAuth_id, bIsLock, iYear): -1 registers. */
  tarn_variant task[3];
  for (int i = 0; i < 3; ++i) tarn_variant_init(&task[i]);
  tarn_variant_set_string(&task[0], "GL0101");
  tarn_variant_set_i2(&task[1], -1);
  tarn_variant_set_i2(&task[2], (short)0);
  rc = tarn_invoke(login, "TaskExec", task, 3, &result);
  if (rc != 0) return failed("TaskExec", rc);
  printf("TaskExec GL0101: %s\n", result.value.boolean ? "granted" : "refused");
  if (pump_heartbeats(login, wanted_beats) < wanted_beats) {
    fprintf(stderr, "the heartbeat never went out\n");
    return 1;
  }

  /* A member the class does not have: an answer, not a crash. */
  rc = tarn_invoke(login, "NoSuchMember", NULL, 0, NULL);
  printf("NoSuchMember: error %d: %s\n", rc, tarn_error_description());

  /* The compact build, when it is registered: created through the
     registry file, from the library it names. */
  tarn_object* compact = NULL;
  if (tarn_create("TarnLogin.Login", &compact) == 0) {
    tarn_variant conn;
    tarn_variant_init(&conn);
    tarn_variant_set_string(&conn, "Provider=SQLite;Data Source=/tmp;Initial Catalog=TarnHost");
    if ((rc = tarn_set(compact, "StrConn", &conn)) != 0) return failed("StrConn", rc);
    tarn_variant_clear(&conn);
    if ((rc = tarn_get(compact, "StrConn", &conn)) != 0) return failed("StrConn", rc);
    printf("TarnLogin.Login (%s) StrConn: %s\n", tarn_type_name(compact), conn.value.string);
    tarn_variant_clear(&conn);
    tarn_release(compact);
  } else {
    printf("TarnLogin.Login: %s\n", tarn_error_description());
  }

  for (int i = 0; i < 6; ++i) tarn_variant_clear(&args[i]);
  for (int i = 0; i < 3; ++i) tarn_variant_clear(&task[i]);
  tarn_variant_clear(&result);
  /* ShutDown releases the function's login task; the function row goes
     with the lease, or with TaskExec 0 before it. */
  tarn_invoke(login, "ShutDown", NULL, 0, NULL);
  rc = tarn_release(login);
  if (rc != 0) return failed("release", rc);
  rc = tarn_release(login);
  printf("released twice: error %d\n", rc);
  printf("DllCanUnloadNow: %d\n", DllCanUnloadNow());
  return DllCanUnloadNow() == 0 ? 0 : 1;
}

#!/usr/bin/env bash
# Each library (the full, extended and compact builds) exports the
# interface of include/tarn and its C entry points, and nothing of its
# internals or of the libraries it is built from.
#   tests/exported_symbols.sh LIBRARY...
set -euo pipefail

public='^((vtable|typeinfo|typeinfo name) for )?tarn::(clsLogin|clsErrorRes|CompactLogin|Object|Variant|Array|ComError|LoginParams|DateFromCivil|CivilFromDate|ParseDateText|FormatDateTime|FormatDay|FormatDayOrDateTime|FormatNumber|ArgsFrom|PumpMessages|MillisUntilNextTimer|TimerFileDescriptor|ShowMessage|SetMessageHandler|ScopedMessageHandler)\b'
entry_points='^(TarnLibraryEdition|DllRegisterServer|DllUnregisterServer|DllGetClassObject|DllCanUnloadNow|tarn_[a-z0-9_]+)$'
linker='^(_init|_fini|__bss_start|_edata|_end)$'

status=0
for lib in "$@"; do
  symbols=$(nm -D --defined-only -C "$lib" | sed -E 's/^[0-9a-fA-F]* +[A-Za-z] +//')
  internal=$(grep -vE "$public|$entry_points|$linker" <<<"$symbols" || true)
  if [ -n "$internal" ]; then
    echo "$lib exports what is not its interface:"
    echo "$internal" | head -n 40
    status=1
  fi
  # An empty table would pass the check above: the interface must be there.
  needed=('tarn::clsLogin::Login(tarn::LoginParams&)' 'tarn::PumpMessages()' 'TarnLibraryEdition'
          'typeinfo for tarn::ComError' 'typeinfo for tarn::clsErrorRes' 'tarn_invoke' 'DllRegisterServer')
  case "$(basename "$lib")" in
    *compact*)
      needed=('tarn::CompactLogin::Login()' 'typeinfo for tarn::ComError' 'tarn_invoke' 'DllGetClassObject'
              'tarn::SetMessageHandler(std::function<tarn::MessageAnswer (tarn::Message const&)>)')
      # The compact build stands on its own.
      if readelf -d "$lib" | grep -q 'NEEDED.*libtarnlogin'; then
        echo "$lib links another build of the login library"
        status=1
      fi ;;
  esac
  for symbol in "${needed[@]}"; do
    grep -qxF -- "$symbol" <<<"$symbols" || { echo "$lib does not export $symbol"; status=1; }
  done
  echo "$lib: $(wc -l <<<"$symbols") exported symbols"
done
exit $status

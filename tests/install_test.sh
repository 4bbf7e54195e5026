#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds hosts against what was
# installed, as a user of the packages would: a C program with pkg-config,
# a CMake project with find_package, and a Python program with ctypes. Each
# signs on to a demo made by the installed tool.
#   tests/install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libtarnlogin.so' | head -n1)")
export PKG_CONFIG_PATH=$libdir/pkgconfig
export TARN_REGISTRY=$work/demo/registry.reg TARN_COMPUTERNAME=PC01 TARN_LANG=en-us
"$prefix/bin/tarn" db init --data "$work/demo" --demo >/dev/null
expect() {  # expect TEXT OUTPUT-FILE
  grep -qF -- "$1" "$2" || { echo "missing \"$1\" in:"; cat "$2"; exit 1; }
}

# A C program with pkg-config; the installed compact build registered, so
# that it is created by ProgID from the path the registry names.
cc -o "$work/hello_c" "$src/examples/hello_c.c" $(pkg-config --cflags --libs tarnlogin)
"$prefix/bin/tarn" regsvr "$libdir/libtarnlogin-compact.so" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/hello_c" 001 2024 ALICE alice 2024-03-15 0 >"$work/c.out"
expect "signed on" "$work/c.out"
expect "TaskExec GL0101: granted" "$work/c.out"
expect "TarnLogin.Login (_Login) StrConn:" "$work/c.out"
expect "$libdir/libtarnlogin.so.1\"" "$TARN_REGISTRY"
expect "$libdir/libtarnlogin-compact.so\"" "$TARN_REGISTRY"
for pc in tarnlogin tarnlogin-ext tarnlogin-compact; do
  pkg-config --exists "$pc" || { echo "pkg-config does not know $pc"; exit 1; }
done
[ "$(pkg-config --modversion tarnlogin)" = "$(readlink "$libdir/libtarnlogin.so.1" | sed 's/libtarnlogin.so.//')" ] ||
  { echo "pkg-config version and library version differ"; exit 1; }

# A CMake project with find_package(TarnLogin).
cmake -S "$src/tests/install" -B "$work/outside" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/outside" >/dev/null
"$work/outside/hello_c" 001 2024 BOB bob 2024-03-15 0 >"$work/cmake.out"
expect "signed on" "$work/cmake.out"
TARN_REGISTRY=/nonexistent "$work/outside/hello_login_ext" >"$work/ext.out"
expect "login    false: " "$work/ext.out"
"$work/outside/compact_host" >"$work/compact.out"
expect "StrConn Provider=SQLite" "$work/compact.out"

# Python with ctypes, on the installed library.
TARN_COMPUTERNAME=PC02 python3 "$src/examples/hello_ctypes.py" "$libdir/libtarnlogin.so" 001 2024 DEMO demo 2024-03-15 0 \
  >"$work/py.out"
expect "signed on as" "$work/py.out"
expect "TaskExec GL0101: granted" "$work/py.out"
expect "released GL0101: True" "$work/py.out"
# The tool, its manual page and its completion.
"$prefix/bin/tarn" --version | grep -q "^tarn [0-9]" || { echo "tarn --version says nothing"; exit 1; }
page=$(find "$prefix" -name tarn.1)
MANPAGER=cat MANWIDTH=80 man -l "$page" >"$work/man.out" 2>"$work/man.err"
expect "tarn - sign-on and task control" "$work/man.out"
expect "tasks try" "$work/man.out"
[ ! -s "$work/man.err" ] || { echo "man -l warns:"; cat "$work/man.err"; exit 1; }
completion=$(find "$prefix" -path '*bash-completion/completions/tarn')
bash -c 'source "$1"; COMP_WORDS=(tarn db q); COMP_CWORD=2; _tarn; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" \
  >"$work/completion.out"
expect "query" "$work/completion.out"
echo "installed tree: C, CMake and Python hosts signed on; the manual and the completion work"

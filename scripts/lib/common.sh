# Shared by scripts/demo and scripts/test: install what the build needs and
# configure a build directory. Sourced, not run.

TARN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Debian packages the build, the tests and the demo need.
TARN_PACKAGES=(
  cmake gcc g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libsqlite3-dev libsodium-dev libpq-dev
  unixodbc-dev odbc-postgresql tdsodbc
  libasio-dev libpugixml-dev libxcb1-dev libxml2-dev
  qt6-base-dev qt6-qpa-plugins fonts-wqy-microhei
  libcli11-dev sqlite3 python3 man-db
  clang libclang-rt-14-dev clang-format clang-tidy
  postgresql faketime
)

tarn_install_packages() {
  local missing=()
  for p in "${TARN_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# tarn_build DIR [cmake options...]: configure (once) and build.
tarn_build() {
  local dir=$1; shift
  local jobs
  jobs=$(nproc 2>/dev/null || echo 2)
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$TARN_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  fi
  cmake --build "$dir" -j "$jobs"
}

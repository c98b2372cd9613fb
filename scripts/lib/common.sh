# Shared by scripts/test and scripts/run: install what is missing, then
# configure and build out of tree in build/.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

PACKAGES=(
  cmake ninja-build g++ ccache python3
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  fonts-liberation
  python3-pyvisa-py lxi-tools dpkg-dev
  pkgconf libavahi-client-dev avahi-daemon dbus iproute2
)

ensure_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
      || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

# The second build: clang with AddressSanitizer and UndefinedBehaviorSanitizer
# for everything, the test suites and the fuzz targets.
SANITIZE_DIR="$ROOT/build-sanitize"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lib/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1"

configure_sanitized() {
  ensure_packages clang libclang-rt-14-dev
  if [ ! -f "$SANITIZE_DIR/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$ROOT" -B "$SANITIZE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTS4820_BUILD_FUZZ=ON -DTS4820_BUILD_BENCH=OFF
  else
    cmake "$SANITIZE_DIR" >/dev/null # writes the list below afresh
  fi
  # The fuzz targets as fuzz/CMakeLists.txt declares them.
  mapfile -t FUZZ_TARGETS < "$SANITIZE_DIR/fuzz_targets.txt"
}

# Runs each fuzz target for $1 seconds from its seed corpus, keeping what it
# finds in build-sanitize/corpus/<target>. A crash stops with the input saved.
run_fuzzers() {
  local seconds="$1" target corpus
  shift
  for target in "$@"; do
    corpus="$SANITIZE_DIR/corpus/$target"
    mkdir -p "$corpus"
    echo "==== $target for $seconds s"
    (cd "$SANITIZE_DIR" && "bin/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
       -print_final_stats=1 "$corpus" "$ROOT/fuzz/corpus/$target")
  done
}

configure_and_build() {
  if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  fi
  cmake --build "$BUILD_DIR" -j2
}

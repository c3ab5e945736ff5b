#!/usr/bin/env bash
# Builds both programs and runs the whole test suite twice: once as built for
# use, once under AddressSanitizer and UndefinedBehaviorSanitizer. Before
# that, the programs are built in a tree of their own with GoogleTest hidden
# (they must build without it) and packed with cpack; in CI (CI=true, as
# root) the .deb is installed with dpkg and removed again. After them, when
# MinGW-w64 and Wine are installed, a third run: the Windows build, its tests
# under Wine, and its .zip. Ends with one line
# "N passed, M failed" over all runs; the exit status is 1 when a test failed.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
passed=0
failed=0

say() { printf '\n== %s\n' "$*"; }

# configure_and_build DIR [CMAKE ARGS...]: configures DIR and builds everything.
configure_and_build() {
  local dir=$1
  shift
  say "$dir: configure and build"
  cmake -S . -B "$dir" "$@" >"$logs/configure.log" || { cat "$logs/configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs"
}

# run_tests NAME DIR [VAR=VALUE...]: runs the tests of DIR under the given
# environment and adds them to the counts; skipped tests are listed with the
# reason they give.
run_tests() {
  local name=$1 dir=$2
  shift 2
  local junit="$logs/$name.xml"
  say "$name: tests"
  env "$@" ctest --test-dir "$dir" --output-on-failure -j"$jobs" --output-junit "$junit" || true
  if [[ ! -s $junit ]]; then
    echo "$name: ctest gave no results"
    failed=$((failed + 1))
    return
  fi
  local tests failures skipped
  tests=$(sed -n 's/^[[:space:]]*tests="\([0-9]*\)".*/\1/p' "$junit" | head -n 1)
  failures=$(sed -n 's/^[[:space:]]*failures="\([0-9]*\)".*/\1/p' "$junit" | head -n 1)
  skipped=$(sed -n 's/^[[:space:]]*skipped="\([0-9]*\)".*/\1/p' "$junit" | head -n 1)
  passed=$((passed + tests - failures - skipped))
  failed=$((failed + failures))
  if ((skipped > 0)); then
    echo "$name: $skipped skipped:"
    # GoogleTest prints "file:line: Skipped" and the reason on the next line.
    grep -A1 ': Skipped$' "$junit" | grep -v -e ': Skipped$' -e '^--$' | sort | uniq -c |
      sed 's/^ *\([0-9]*\) /  \1 x /'
    if [[ $(id -u) == 0 ]]; then echo "  (running as root)"; fi
  fi
}

# The programs without GoogleTest, installed, packed and (in CI) installed
# as a Debian package.
check_package() {
  local dir=build-package
  configure_and_build "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
  grep -q 'tests are skipped' "$logs/configure.log" || {
    echo "configuring without GoogleTest did not say that tests are skipped"
    return 1
  }
  say "$dir: install and cpack"
  rm -rf "$dir/prefix" "$dir"/*.deb "$dir"/*.tar.gz
  cmake --install "$dir" --prefix "$dir/prefix" >/dev/null
  (cd "$dir" && cpack >/dev/null)
  local deb
  deb=$(ls "$dir"/*.deb)
  ls "$dir"/*.tar.gz "$deb"
  if command -v dpkg-deb >/dev/null; then
    dpkg-deb --contents "$deb" >"$logs/contents.txt"
    grep -q '/usr/bin/dataport$' "$logs/contents.txt"
  fi
  if [[ ${CI:-} == true && $(id -u) == 0 ]]; then
    say "dpkg -i $deb"
    dpkg -i "$deb"
    dpkg -L dataport-tools
    /usr/bin/dataport --version
    /usr/bin/mendbin --version
    for page in dataport mendbin; do
      local warnings
      warnings=$(MANWIDTH=80 man -l "/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
      [[ -z $warnings ]] || { echo "man -l $page.1: $warnings"; return 1; }
    done
    dpkg -r dataport-tools
  else
    echo "dpkg -i of the package is skipped: it runs in CI only (CI=true, as root)"
  fi
}

check_package
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_tests plain build
configure_and_build build-san -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON
run_tests sanitized build-san ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1

# The Windows build of the same sources (MinGW-w64), its tests run under
# Wine, when both are installed (.ci/run installs them). Wine's first start
# prepares its prefix: once, before the build, in the build tree's own prefix
# that the test commands use.
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  if [[ ! -f build-win/wine/system.reg ]]; then
    say "build-win: prepare the Wine prefix"
    mkdir -p build-win
    WINEPREFIX="$PWD/build-win/wine" WINEDEBUG=-all wineboot -i >/dev/null 2>&1
  fi
  configure_and_build build-win --toolchain cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
  run_tests windows build-win
  say "build-win: cpack"
  (cd build-win && cpack >/dev/null)
  ls build-win/*.zip
else
  echo "Windows run skipped: MinGW-w64 (g++-mingw-w64-x86-64-posix) or Wine not installed"
fi

echo
echo "$passed passed, $failed failed"
((failed == 0))

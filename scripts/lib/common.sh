# Shared by the set-up scripts: install what is missing, configure, build.
# shellcheck shell=bash

QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Debian packages every build and test needs. Keep in one place.
QV_PACKAGES=(
  make cmake ninja-build g++ pkg-config git
  zip unzip python3 7zip gzip tar bzip2 xz-utils
  zlib1g-dev libminizip-dev libdeflate-dev libssl-dev libcli11-dev libexpat1-dev libarchive-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  mame-tools  # chdman: real CHD images to check the header reader against
)
# The desktop program; built when these are present.
QV_GUI_PACKAGES=(qt6-base-dev libgl-dev)
# The desktop tests that need a real display and window manager, and
# scripts/screenshots.
QV_DISPLAY_PACKAGES=(xvfb xauth openbox)
# `make tidy` only.
QV_TIDY_PACKAGES=(clang-tidy)

qv_say() { printf '==> %s\n' "$*" >&2; }

qv_missing_packages() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  printf '%s\n' "${missing[@]}"
}

qv_install() {
  local missing
  mapfile -t missing < <(qv_missing_packages "$@" | sed '/^$/d')
  [ "${#missing[@]}" -eq 0 ] && return 0
  local run=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      run=(sudo)
    else
      qv_say "These packages are missing: ${missing[*]}"
      qv_say "Run this script as root, or install sudo, or install them yourself."
      exit 1
    fi
  fi
  qv_say "Installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${run[@]}" apt-get update -qq >/dev/null || { qv_say "apt-get update failed"; exit 1; }
  "${run[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    { qv_say "apt-get install failed for: ${missing[*]}"; exit 1; }
}

qv_install_all() {
  qv_install "${QV_PACKAGES[@]}"
  qv_install "${QV_GUI_PACKAGES[@]}"
  qv_install "${QV_DISPLAY_PACKAGES[@]}"
}

qv_jobs() { nproc 2>/dev/null || echo 2; }

# qv_build DIR [cmake options...]
qv_build() {
  local dir=$1; shift
  qv_build_targets "$dir" "" "$@"
}

# qv_build_targets DIR "TARGET..." [cmake options...] ("": every target)
qv_build_targets() {
  local dir=$1 targets=$2; shift 2
  cmake -S "$QV_ROOT" -B "$QV_ROOT/$dir" -G Ninja "$@" >/dev/null || { qv_say "cmake failed"; exit 1; }
  # shellcheck disable=SC2086 # the targets are words
  cmake --build "$QV_ROOT/$dir" -j "$(qv_jobs)" ${targets:+--target $targets} || { qv_say "build failed"; exit 1; }
}

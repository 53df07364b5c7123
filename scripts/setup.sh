#!/usr/bin/env bash
# Installs the Debian packages the library builds, tests and benchmarks with.
# Safe to run again: only missing packages are fetched. Says in one line what
# it installs; apt's own output is shown only when the set-up fails.
set -euo pipefail

pkgs=(cmake g++ make pkg-config
      libdbus-c++-dev libdbus-1-dev dbus-daemon
      liblog4cpp5-dev libzmq3-dev libssl-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      attr util-linux binutils clang-format)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
echo "setup: installing ${missing[*]}"
log=$(mktemp /tmp/vorx-setup-XXXXXX.log)
trap 'rm -f "$log"' EXIT
if ! { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
     > "$log" 2>&1 < /dev/null; then
  echo "setup: installing failed; apt said:" >&2
  cat "$log" >&2
  exit 1
fi

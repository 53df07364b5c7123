#!/usr/bin/env bash
# Set-up, build, then the example program against the stand-in label-manager
# service on a private system bus. Leaves nothing running; non-zero on failure.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${BUILD_DIR:-build}

./scripts/setup.sh
cmake -S . -B "$build" -DVORX_TOOLS=ON -DVORX_EXAMPLES=ON >/dev/null
cmake --build "$build" -j4 --target get-pkg-id file-oid labelmgr-standin

work=$(mktemp -d /tmp/vorx-example-XXXXXX)
bus_pid=""
standin_pid=""
cleanup() {
  [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null && wait "$standin_pid" 2>/dev/null || true
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cat > "$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF

{ read -r address; read -r bus_pid; } < <(dbus-daemon --fork --print-address=1 --print-pid=1 \
                                            --config-file="$work/bus.conf")
export DBUS_SYSTEM_BUS_ADDRESS=$address
unset DBUSXX_VERBOSE
echo "private system bus: $address"

"$build/tools/labelmgr-standin/labelmgr-standin" --pkg vorx-demo-editor=4097 --pkg vorx-demo-viewer=4098 \
  > "$work/standin.out" &
standin_pid=$!
for _ in $(seq 100); do
  grep -q '^ready ' "$work/standin.out" 2>/dev/null && break
  kill -0 "$standin_pid" 2>/dev/null || { echo "the stand-in service did not start" >&2; exit 1; }
  sleep 0.1
done
grep -q '^ready ' "$work/standin.out" || { echo "the stand-in service did not come up" >&2; exit 1; }

example="$build/examples/get-pkg-id"
set -x
"$example" vorx-demo-editor vorx-demo-viewer
# A package the service has no id for: exit code 1, the reason on stderr.
rc=0; "$example" vorx-demo-unknown || rc=$?
if [ "$rc" -ne 1 ]; then
  set +x
  echo "expected exit code 1 for an unknown package, got $rc" >&2
  exit 1
fi

# User-set object ids of files: set, read back, list, remove.
oid="$build/examples/file-oid"
"$oid" set /usr/bin/vorx-demo 4097 7 9
"$oid" set /usr/lib/vorx-demo.so 4097 8 10
"$oid" get /usr/bin/vorx-demo
"$oid" show
"$oid" del /usr/bin/vorx-demo
"$oid" show
set +x
echo "example ran against the stand-in service: OK"

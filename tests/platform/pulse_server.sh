#!/usr/bin/env bash
# The sound server the pulse driver's tests run against, started and
# stopped through the project's sound-server script:
#   pulse_server.sh up|down SCRIPT DIR [KIND]
# KIND is the script's: pipewire (when not said) or pulseaudio.
# `up` always succeeds: when no server can be started it leaves the reason
# in DIR/unavailable, and every test that needs the server skips with it.
set -u
cmd=${1:?usage: pulse_server.sh up|down SCRIPT DIR}
script=${2:?usage: pulse_server.sh up|down SCRIPT DIR}
dir=${3:?usage: pulse_server.sh up|down SCRIPT DIR}
kind=${4:-pipewire}
mkdir -p "$dir"
if [ "$cmd" = down ]; then
  [ -f "$script" ] && bash "$script" down "$dir" >/dev/null 2>&1
  exit 0
fi
rm -f "$dir/unavailable"
# Tests that start a server of their own use the same script.
echo "$script" >"$dir/script"
echo "$kind" >"$dir/kind"
if [ ! -f "$script" ]; then
  echo "no sound server script at $script" >"$dir/unavailable"
else
  # A server left over from an interrupted run would hold the folder's sockets.
  bash "$script" down "$dir" >/dev/null 2>&1
fi
if [ ! -f "$dir/unavailable" ] && ! bash "$script" up "$dir" "$kind" >"$dir/up.log" 2>&1; then
  echo "the $kind sound server did not start ($script up $dir $kind failed: $(tail -n 1 "$dir/up.log"))" >"$dir/unavailable"
  bash "$script" down "$dir" >/dev/null 2>&1
fi
[ -f "$dir/unavailable" ] && echo "pulse tests will skip: $(cat "$dir/unavailable")"
exit 0

#!/usr/bin/env bash
# CTest fixture for the sound-server tests: starts or stops one server kind
# through the project's script. A machine where it cannot start gets the
# reason in DIR/unavailable, and its tests skip saying so.
#   server_fixture.sh up|down SCRIPT DIR KIND
set -uo pipefail
cmd=$1 script=$2 dir=$3 kind=$4
mkdir -p "$dir"
if [ "$cmd" = down ]; then
  bash "$script" down "$dir"
  exit 0
fi
rm -f "$dir/unavailable"
if ! reason=$(bash "$script" available "$kind" 2>&1); then
  echo "$kind cannot run here: $reason" | tee "$dir/unavailable"
  exit 0
fi
if ! bash "$script" up "$dir" "$kind"; then
  echo "$kind did not start; see $dir/*.log" | tee "$dir/unavailable"
fi
exit 0

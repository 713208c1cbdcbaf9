#!/usr/bin/env bash
# A desktop's sound server, headless and as root, for the tests and the
# benchmarks: PipeWire with WirePlumber and its PulseAudio service, or
# PulseAudio itself. Either way it looks like a desktop's: stereo null sinks
# "SinkA" (the default) and "SinkB" at 48 kHz, a 5.1 sink "Surround51" and a
# 44.1 kHz sink "Sink44k", and a mono microphone "VirtMic" (the default
# source, 48 kHz) that hears a 440 Hz sine at about -6 dBFS for as long as the
# server runs. The sine is made inside the server, on its own clock, so that
# the microphone itself never breaks, however busy the machine: PipeWire's
# test source node ("ToneSource"), or PulseAudio's sine generator playing
# into a sink of its own ("ToneFeed"; PulseAudio's sine source would render
# seconds ahead in one burst, as no microphone does).
#
#   sound-server.sh up DIR [pipewire|pulseaudio]   starts it (pipewire when not said)
#   sound-server.sh down DIR                       stops what `up` started
#   sound-server.sh available [pipewire|pulseaudio]  exit 0 when `up` can work here
#   sound-server.sh virtmic [pipewire|pulseaudio]  the pactl module line of "VirtMic"
#
# Clients take `. DIR/env.sh` (XDG_RUNTIME_DIR, PULSE_SERVER, and for
# PulseAudio an ALSA user configuration whose "default" is its "pulse" plug-in).
# Debian's pulseaudio package cannot be installed beside pipewire-alsa, so
# the PulseAudio daemon runs from its unpacked package under DIR/../ instead.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:?usage: sound-server.sh up|down|available DIR [pipewire|pulseaudio]}

pulse_home=${SORVAN_PULSEAUDIO_HOME:-/var/cache/sorvan/pulseaudio}

pipewire_packages=(pipewire pipewire-pulse pipewire-alsa wireplumber pulseaudio-utils dbus sox libasound2-plugins)

# The module line of the virtual microphone on a server of kind $1 (tests
# unload and reload it).
virtmic_module() {
  local master=toneSrc
  [ "$1" = pulseaudio ] && master=toneFeed.monitor
  echo "module-remap-source master=$master source_name=micV channels=1 channel_map=mono source_properties=device.description=VirtMic"
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

install_missing() {
  local need=()
  for p in "$@"; do installed "$p" || need+=("$p"); done
  [ ${#need[@]} -eq 0 ] && return 0
  [ "$(id -u)" -eq 0 ] || { echo "sound-server: needs root to install ${need[*]}" >&2; return 1; }
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}

# The daemon from Debian's package, unpacked rather than installed, with the
# libraries it needs installed as usual.
unpack_pulseaudio() {
  [ -x "$pulse_home/usr/bin/pulseaudio" ] && return 0
  local deps work
  deps=$(apt-cache depends pulseaudio 2>/dev/null | awk '/ Depends:/{print $2}' |
    grep -v -E '^<|^(pulseaudio-utils|libasound2-plugins|adduser|lsb-base)$' | sort -u)
  install_missing $deps || return 1
  work=$(mktemp -d)
  (cd "$work" && apt-get download pulseaudio >/dev/null 2>&1) || { rm -rf "$work"; return 1; }
  mkdir -p "$pulse_home"
  dpkg -x "$work"/pulseaudio_*.deb "$pulse_home"
  rm -rf "$work"
}

pulse_modules() {
  ls -d "$pulse_home"/usr/lib/pulse-*/modules 2>/dev/null | head -n 1
}

if [ "$cmd" = virtmic ]; then
  virtmic_module "${2:-pipewire}"
  exit 0
fi

if [ "$cmd" = available ]; then
  kind=${2:-pipewire}
  [ "$(id -u)" -eq 0 ] || { echo "not root"; exit 1; }
  if [ "$kind" = pulseaudio ]; then
    unpack_pulseaudio >/dev/null 2>&1 && [ -n "$(pulse_modules)" ] || { echo "no PulseAudio daemon"; exit 1; }
  fi
  install_missing "${pipewire_packages[@]}" >/dev/null 2>&1 || { echo "PipeWire's packages cannot be installed"; exit 1; }
  exit 0
fi

dir=${2:?usage: sound-server.sh up|down DIR [pipewire|pulseaudio]}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

if [ "$cmd" = down ]; then
  for p in pipewire-pulse wireplumber pipewire pulseaudio dbus; do
    if [ -f "$dir/$p.pid" ]; then
      kill "$(cat "$dir/$p.pid")" 2>/dev/null || true
      rm -f "$dir/$p.pid"
    fi
  done
  exit 0
fi

kind=${3:-pipewire}
install_missing "${pipewire_packages[@]}"
[ "$kind" = pulseaudio ] && unpack_pulseaudio

run=$dir/run
rm -rf "$run"
mkdir -p "$run"
chmod 700 "$run"
export XDG_RUNTIME_DIR=$run DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus PULSE_SERVER=unix:$run/pulse/native
{
  echo "export XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS"
  echo "export PULSE_SERVER=$PULSE_SERVER SORVAN_SOUND_SERVER=$kind"
} >"$dir/env.sh"

wait_for_server() {
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "sound-server: $kind did not answer; see $dir/*.log" >&2
  return 1
}

dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --fork --print-pid >"$dir/dbus.pid"
if [ "$kind" = pipewire ]; then
  # The tone's node: PipeWire's own test source, which Debian ships but the
  # stock configuration leaves unnamed. Only the daemon reads this folder.
  mkdir -p "$dir/pipewire-config/pipewire/pipewire.conf.d"
  cat >"$dir/pipewire-config/pipewire/pipewire.conf.d/tone.conf" <<EOF
context.spa-libs = { audiotestsrc = audiotestsrc/libspa-audiotestsrc }
context.objects = [
    { factory = adapter
      args = { factory.name = audiotestsrc node.name = toneSrc node.description = ToneSource
               media.class = Audio/Source node.pause-on-idle = false } }
]
EOF
  XDG_CONFIG_HOME="$dir/pipewire-config" pipewire >"$dir/pipewire.log" 2>&1 &
  echo $! >"$dir/pipewire.pid"
  for _ in $(seq 50); do [ -S "$run/pipewire-0" ] && break; sleep 0.1; done
  wireplumber >"$dir/wireplumber.log" 2>&1 &
  echo $! >"$dir/wireplumber.pid"
  pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 &
  echo $! >"$dir/pipewire-pulse.pid"
else
  modules=$(pulse_modules)
  # An ALSA whose "default" is PulseAudio's plug-in, as on a PulseAudio
  # desktop: ALSA reads this file after every system one (pipewire-alsa's too).
  mkdir -p "$dir/config/alsa"
  printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' >"$dir/config/alsa/asoundrc"
  echo "export XDG_CONFIG_HOME=$dir/config" >>"$dir/env.sh"
  cat >"$dir/server.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1
load-module module-always-sink
EOF
  LD_LIBRARY_PATH="$pulse_home/usr/lib/x86_64-linux-gnu/pulseaudio:$modules" \
    "$pulse_home/usr/bin/pulseaudio" -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --dl-search-path="$modules" -F "$dir/server.pa" --log-target=stderr >"$dir/pulseaudio.log" 2>&1 &
  echo $! >"$dir/pulseaudio.pid"
fi
wait_for_server

pactl load-module module-null-sink sink_name=sinkA rate=48000 sink_properties=device.description=SinkA >/dev/null
pactl load-module module-null-sink sink_name=sinkB rate=48000 sink_properties=device.description=SinkB >/dev/null
pactl load-module module-null-sink sink_name=surround51 rate=48000 channels=6 \
  channel_map=front-left,front-right,front-center,lfe,rear-left,rear-right \
  sink_properties=device.description=Surround51 >/dev/null
pactl load-module module-null-sink sink_name=sink44k rate=44100 channels=2 \
  sink_properties=device.description=Sink44k >/dev/null
if [ "$kind" = pipewire ]; then
  for _ in $(seq 50); do pactl list short sources | grep -q toneSrc && break; sleep 0.1; done
  # The test source plays at full scale in stereo; the microphone folds the
  # two channels into one, so each is scaled to land near -6 dBFS.
  tone=$(pw-cli ls Node | awk '/^\tid /{id=$2} /node.name = "toneSrc"/{print id}' | tr -d ,)
  pw-cli set-param "$tone" Props '{ volume: 0.595 }' >/dev/null
else
  pactl load-module module-null-sink sink_name=toneFeed rate=48000 channels=1 \
    sink_properties=device.description=ToneFeed >/dev/null
  pactl load-module module-sine sink=toneFeed frequency=440 >/dev/null
fi
# The microphone is a mono source of the server's own over the tone, loaded
# with pactl so that tests can take it away and bring it back.
pactl load-module $(virtmic_module "$kind") >/dev/null
for _ in $(seq 50); do pactl list short sources | grep -q micV && break; sleep 0.1; done
pactl set-default-sink sinkA
pactl set-default-source micV
# Ready once the defaults are in place.
for _ in $(seq 100); do
  pactl info | grep -q '^Default Source: micV' && pactl info | grep -q '^Default Sink: sinkA' && exit 0
  pactl set-default-sink sinkA 2>/dev/null || true
  pactl set-default-source micV 2>/dev/null || true
  sleep 0.1
done
echo "sound-server: the microphone or the defaults did not come up; see $dir/*.log" >&2
exit 1

#!/usr/bin/env bash
# A private PipeWire server for the tests, as a desktop runs one, without a
# sound card: PipeWire and WirePlumber on a private session bus, a null sink,
# and ALSA's default device routed to it for programs started with the
# session's environment (a private HOME whose .asoundrc wins over the
# system's). pw-record captures what reaches the sink.
#
#   session.sh start DIR           server up (DIR: an empty folder it owns)
#   session.sh env DIR             the environment of its clients, one VAR=value a line
#   session.sh kill DIR            the server dies, as when a device goes away
#   session.sh restart DIR         the server comes back (same socket)
#   session.sh record DIR FILE     starts capturing the sink (48 kHz stereo float WAV)
#   session.sh record-stop DIR
#   session.sh stop DIR            everything down
set -u

session_env() {
  local d=$1
  echo "HOME=$d/home"
  echo "XDG_RUNTIME_DIR=$d/run"
  echo "XDG_CONFIG_HOME=$d/home/.config"
  echo "XDG_STATE_HOME=$d/home/.local/state"
}

with_env() {
  local d=$1; shift
  local vars=(); mapfile -t vars < <(session_env "$d")
  exec env "${vars[@]}" "$@"
}

server_up() {
  local d=$1 i
  server_kill "$d"
  ( cd "$d" && with_env "$d" setsid dbus-run-session -- bash -c \
      'pipewire & echo $! > pw.pid; sleep 0.5; wireplumber & echo $! > wp.pid; wait' ) >> "$d/server.log" 2>&1 < /dev/null &
  # Up once WirePlumber, which links streams to the sink, has joined.
  for i in $(seq 1 100); do
    if (with_env "$d" pw-cli ls Node 2>/dev/null | grep -q test-null-sink) &&
       (with_env "$d" pw-cli ls Client 2>/dev/null | grep -qi wireplumber); then
      sleep 1
      return 0
    fi
    sleep 0.1
  done
  echo "session.sh: the PipeWire server did not come up (see $d/server.log)" >&2
  return 1
}

server_kill() {
  local d=$1 p
  for p in wp pw; do
    [ -f "$d/$p.pid" ] && kill -KILL "$(cat "$d/$p.pid")" 2>/dev/null
    rm -f "$d/$p.pid"
  done
  sleep 0.2
}

record_stop() {
  local d=$1
  [ -f "$d/rec.pid" ] || return 0
  sleep 0.5
  kill -INT "$(cat "$d/rec.pid")" 2>/dev/null
  local i; for i in $(seq 1 50); do kill -0 "$(cat "$d/rec.pid")" 2>/dev/null || break; sleep 0.1; done
  rm -f "$d/rec.pid"
}

cmd=$1 d=$2
case $cmd in
  start)
    mkdir -p "$d/run" "$d/home/.config/pipewire/pipewire.conf.d"; chmod 700 "$d" "$d/run"
    cat > "$d/home/.config/pipewire/pipewire.conf.d/10-null-sink.conf" <<'X'
context.objects = [ { factory = adapter args = { factory.name = support.null-audio-sink
  node.name = "test-null-sink" node.description = "Test Null Sink" media.class = Audio/Sink
  audio.position = [ FL FR ] monitor.channel-volumes = true object.linger = true
  priority.driver = 1000 priority.session = 1000 } } ]
X
    printf 'pcm.!default { type pipewire playback_node "-1" capture_node "-1" }\nctl.!default { type pipewire }\n' \
      > "$d/home/.asoundrc"
    server_up "$d" ;;
  env) session_env "$d" ;;
  kill) server_kill "$d" ;;
  restart) server_up "$d" ;;
  record)
    (with_env "$d" pw-record --target test-null-sink -P '{ stream.capture.sink = true }' \
      --format f32 --rate 48000 --channels 2 "$3") > /dev/null 2>&1 < /dev/null &
    echo $! > "$d/rec.pid"; sleep 1 ;;
  record-stop) record_stop "$d" ;;
  stop) record_stop "$d"; server_kill "$d" ;;
  *) echo "session.sh: unknown command $cmd" >&2; exit 2 ;;
esac

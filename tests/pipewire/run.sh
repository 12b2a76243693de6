#!/usr/bin/env bash
# Bleeptone through a real PipeWire server, as on a Linux desktop, with a
# null sink instead of a sound card (session.sh):
#   1. the whole tune reaches the sink: as long as the render, the same samples;
#   2. the server killed mid-play: play finishes by itself, exit 0, a line or
#      two on standard error and no flood;
#   3. the server started again: the sound comes back;
#   4. the window (offscreen): the song plays on silently, Stop and Quit answer;
#   5. a note typed in the window (offscreen) reaches the device: ALSA's file
#      plugin in front of the server writes what PortAudio plays.
# Waits are generous and only turn a hang into a failure.
#
#   run.sh BUILD_DIR        (BUILD_DIR/app/bleeptone, BUILD_DIR/tests/test_engine_pump, test_audition)
# Exit 77 (skipped) when PipeWire, WirePlumber or sox are not installed, or
# where no logind runs (WirePlumber needs its seats).
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
bin=$build/app/bleeptone
for tool in pipewire wireplumber pw-record pw-cli dbus-run-session sox python3; do
  command -v "$tool" > /dev/null || { echo "run.sh: $tool is not installed: skipped"; exit 77; }
done
# WirePlumber watches logind's seats and quits without them: a root without a
# running systemd (a chroot, a bare container) cannot hold a desktop's session.
[ -d /run/systemd/seats ] || { echo "run.sh: no logind here (/run/systemd/seats): skipped"; exit 77; }

dir=$(mktemp -d /tmp/bleeptone-pipewire.XXXXXX)
session() { "$here/session.sh" "$1" "$dir/pw" "${@:2}"; }
cleanup() { session stop; rm -rf "$dir"; }
trap cleanup EXIT
mkdir -p "$dir/pw"
session start || exit 1
mapfile -t session_env < <(session env)
in_session() { env "${session_env[@]}" "$@"; }
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A tune of three voices and three waveforms, about 4.7 seconds.
song=(--mml "W1 T10 O4 l8 cdegab>c<gfedc l4 c" --mml "W2 O3 l4 c g e g c g c"
      --mml "W3 O5 V30 l16 r8 cegcegcegcegcegcegceg l4 r")

echo "== 1. the whole tune reaches the sink"
"$bin" render "${song[@]}" -o "$dir/tune.wav" || exit 1
length=$(soxi -D "$dir/tune.wav")
# The output plays on past the tune's end while its voices fade (a file fades
# its last tick instead): the render to compare with runs on as far.
"$bin" render "${song[@]}" --seconds "$(python3 -c "print($length + 0.25)")" -o "$dir/render.wav"
sox -V1 "$dir/render.wav" -t f32 "$dir/render.f32"
session record "$dir/sink.wav"
in_session timeout 60 "$bin" play --audio portaudio "${song[@]}" 2> "$dir/play1.err"
code=$?
session record-stop
[ $code -eq 0 ] || fail "play ended with $code: $(cat "$dir/play1.err")"
sox -V1 "$dir/sink.wav" -t f32 -r 44100 "$dir/sink.f32" remix 1
python3 "$here/compare_audio.py" "$dir/sink.f32" "$dir/render.f32" || fail "the sink does not hold the tune"

echo "== 2. the server killed mid-play"
in_session timeout 120 "$bin" play --audio portaudio "${song[@]}" > /dev/null 2> "$dir/play2.err" &
player=$!
sleep 1.5
session kill
wait $player
code=$?
bytes=$(stat -c %s "$dir/play2.err")
echo "play ended with $code; $bytes bytes on standard error:"
sed 's/^/    /' "$dir/play2.err"
[ $code -eq 0 ] || fail "play ended with $code"
[ "$bytes" -lt 2000 ] || fail "standard error flooded"
[ "$(grep -c 'the sound device stopped; playing on silently' "$dir/play2.err")" -eq 1 ] || fail "the loss was not told once"

echo "== 3. the server started again"
session restart || exit 1
in_session timeout 120 "$bin" play --audio portaudio --mml "l4 $(printf 'cdefgab>c<bagfed%.0s' 1 2 3)" \
  > /dev/null 2> "$dir/play3.err" &
player=$!
sleep 1.5
session kill
sleep 1.5
session restart || exit 1
session record "$dir/back.wav"
sleep 5  # the device is tried again every few seconds
session record-stop
kill -INT $player
wait $player
code=$?
[ $code -eq 0 ] || fail "play ended with $code: $(cat "$dir/play3.err")"
peak=$(sox "$dir/back.wav" -n stat 2>&1 | awk '/Maximum amplitude/ {print $3}')
echo "after the restart the sink's peak is $peak"
python3 -c "import sys; sys.exit(0 if float('$peak') > 0.01 else 1)" || fail "no sound after the restart"

echo "== 4. the window"
in_session env -u BLEEPTONE_AUDIO QT_QPA_PLATFORM=offscreen BLEEPTONE_PW_KILL="$here/session.sh kill $dir/pw" \
  "$build/tests/test_engine_pump" --gtest_filter='EnginePumpPipeWire.*' || fail "the window"

echo "== 5. a typed note"
session restart || exit 1  # the window's test killed it
mkdir -p "$dir/typed-home"
printf 'pcm.!default { type file slave.pcm { type pipewire playback_node "-1" capture_node "-1" } file "%s" format "raw" }\nctl.!default { type pipewire }\n' \
  "$dir/typed.raw" > "$dir/typed-home/.asoundrc"
in_session env HOME="$dir/typed-home" BLEEPTONE_DEVICE_FILE="$dir/typed.raw" QT_QPA_PLATFORM=offscreen \
  "$build/tests/test_audition" --gtest_filter='AuditionTest.ATypedNoteReachesTheSoundDevice' || fail "the typed note"

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))

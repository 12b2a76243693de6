#!/usr/bin/python3
"""MIDI files against real readers: Debian's python3-mido reads what
`bleeptone render --format mid` writes at the engine's own timings (the note
map that `bleeptone notes` prints), fluidsynth plays it, and files that mido
writes import as the tidy MML worked out by hand below.

Usage: midi_mido.py BLEEPTONE  (run with /usr/bin/python3, which has mido)
"""
import json
import os
import subprocess
import sys
import tempfile
import wave

import mido

BLEEPTONE = sys.argv[1]
TICK = 459  # frames of an engine tick
RATE = 44100
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(*args):
    return subprocess.run([BLEEPTONE, *args], capture_output=True, check=True)


def note_map(*song):
    return json.loads(run("notes", *song, "--json").stdout)


# --- Export -------------------------------------------------------------

def note_ons(path):
    """(seconds, channel, note, velocity) of every note-on, and the file's length."""
    mid = mido.MidiFile(path)
    now, ons = 0.0, []
    for msg in mid:  # every track merged, times in seconds through the tempo map
        now += msg.time
        if msg.type == "note_on" and msg.velocity > 0:
            ons.append((now, msg.channel, msg.note, msg.velocity))
    return mid, ons, now


def check_export(name, song, render_args=(), start=0.0, loops=1):
    args = list(render_args) + (["--start", str(start)] if start else []) + (["--loops", str(loops)] if loops > 1 else [])
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "song.mid")
        run("render", *song, *args, "-o", path)
        mid, ons, length = note_ons(path)
    check(mid.type == 1, f"{name}: format 1")
    # The map on past the first common loop, up to where the render stops:
    # the song's end, or its loops-th common loop (a multiple of the first).
    mapped = note_map(*song, "--seconds", "600")
    end = mapped["length"] * loops / RATE
    # A note sounding at the start starts the file; noise plays on channel 10.
    expected = sorted((max(0.0, n["start"] / RATE - start), 9 if n["channel"] == 1 and n["waveform"] & 7 == 5
                       else n["channel"] - 1, n["note"]) for n in mapped["notes"]
                      if isinstance(n["note"], int) and n["start"] / RATE < end and (n["start"] + n["frames"]) / RATE > start)
    got = sorted(ons)
    check(len(got) == len(expected), f"{name}: {len(got)} notes read back, {len(expected)} in the note map")
    key = lambda e: (round(e[0], 4), e[1], 0 if e[1] == 9 else e[2])  # a drum's key is not the noise's note
    worst = 0.0
    for (t, channel, pitch, *_), (want, want_channel, mapped_pitch) in zip(sorted(got, key=key), sorted(expected, key=key)):
        worst = max(worst, abs(t - want))
        check(channel == want_channel, f"{name}: channel {channel + 1}, expected {want_channel + 1}")
        if channel != 9:
            check(pitch == mapped_pitch, f"{name}: note {pitch}, the map has {mapped_pitch}")
    check(worst < 0.001, f"{name}: a note is {worst * 1000:.3f} ms from the engine's moment")
    check(abs(length - (end - start)) < 0.001, f"{name}: the file lasts {length} s, the song {end - start} s")
    print(f"{name}: {len(got)} notes, worst timing error {worst * 1e6:.1f} us, division {mid.ticks_per_beat}")
    return worst


def check_export_details():
    # Programs by waveform, percussion for noise, velocity by volume, names.
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "w.mid")
        run("render", "--mml", "W5 V63 c", "--mml", "W4 c", "--mml", "W1 c", "--mml", "W0 V0 c", "-o", path)
        mid = mido.MidiFile(path)
    names = [t.name for t in mid.tracks]
    check(names == ["", "Channel 1", "Channel 2", "Channel 3"], f"track names {names} (a silent channel has none)")
    programs = {m.channel: m.program for t in mid.tracks for m in t if m.type == "program_change"}
    check(programs == {1: 80, 2: 81}, f"programs {programs}: square 81, sawtooth 82 (1-based)")
    ons = [m for t in mid.tracks for m in t if m.type == "note_on"]
    check([(m.channel, m.velocity) for m in ons] == [(9, 127), (1, 47), (2, 47)],
          f"noise on channel 10, volume 63 as 127, 40 as 47: {[(m.channel, m.velocity) for m in ons]}")


def check_fluidsynth():
    fonts = ["/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"]
    font = next((f for f in fonts if os.path.exists(f)), None)
    check(font is not None, "a General MIDI soundfont for fluidsynth")
    if font is None:
        return
    with tempfile.TemporaryDirectory() as tmp:
        mid, wav = os.path.join(tmp, "d.mid"), os.path.join(tmp, "d.wav")
        run("render", "--demo", "4", "-o", mid)
        subprocess.run(["fluidsynth", "-ni", "-q", "-F", wav, "-r", "44100", font, mid], capture_output=True, check=True)
        with wave.open(wav) as w:
            frames = w.readframes(w.getnframes())
            seconds = w.getnframes() / w.getframerate()
    loudest = max(abs(int.from_bytes(frames[i:i + 2], "little", signed=True)) for i in range(0, len(frames), 2))
    check(seconds > 19 and loudest > 100, f"fluidsynth plays demo 4: {seconds:.1f} s, peak {loudest}")


# --- Import -------------------------------------------------------------

def import_midi(mid, *args):
    with tempfile.TemporaryDirectory() as tmp:
        src, project = os.path.join(tmp, "in.mid"), os.path.join(tmp, "out.mmlp")
        mid.save(src)
        result = subprocess.run([BLEEPTONE, "import-midi", src, *args, "-o", project], capture_output=True, check=True)
        with open(project, encoding="utf-8-sig") as f:
            fields = dict(line.split(" = ", 1) for line in f.read().splitlines() if " = " in line)
        mapped = note_map(project)
    report = [line.split(": ", 1)[1] for line in result.stderr.decode().splitlines()]
    return fields, mapped, report


def note(track, note, ticks, velocity=100, channel=0, gap=0):
    track.append(mido.Message("note_on", note=note, velocity=velocity, channel=channel, time=gap))
    track.append(mido.Message("note_off", note=note, velocity=0, channel=channel, time=ticks))


def several_tracks_file():
    """Three measures of 4/4 at 120, then 144 beats per minute from measure 3:
    a lead with a chord and a note above C8, a bass, a kick drum."""
    mid = mido.MidiFile(type=1, ticks_per_beat=480)
    conductor = mido.MidiTrack([
        mido.MetaMessage("track_name", name="Tune"),
        mido.MetaMessage("time_signature", numerator=4, denominator=4),
        mido.MetaMessage("set_tempo", tempo=500000),
        mido.MetaMessage("set_tempo", tempo=416667, time=8 * 480),
    ])
    lead = mido.MidiTrack([mido.MetaMessage("track_name", name="Lead"), mido.Message("program_change", program=80)])
    note(lead, 60, 480)
    note(lead, 64, 480)
    note(lead, 67, 960)
    for n in (72, 76, 79):  # a chord: G5 stays, E5 and C5 look for a free channel
        lead.append(mido.Message("note_on", note=n, velocity=100))
    lead.append(mido.Message("note_off", note=72, time=1920))
    lead.append(mido.Message("note_off", note=76))
    lead.append(mido.Message("note_off", note=79))
    note(lead, 69, 480)
    note(lead, 125, 480)  # F9: above C8, played as F7
    note(lead, 72, 960)
    bass = mido.MidiTrack([mido.MetaMessage("track_name", name="Bass"), mido.Message("program_change", channel=1, program=33)])
    for n in (36, 31, 36):
        note(bass, n, 1920, velocity=80, channel=1)
    drums = mido.MidiTrack()
    for beat in range(6):
        note(drums, 36, 480, channel=9, gap=0 if beat == 0 else 480)
    mid.tracks += [conductor, lead, bass, drums]
    return mid


def check_import_several_tracks():
    fields, mapped, report = import_midi(several_tracks_file())
    expected = {
        "3": "12",  # tempo 120
        "1": "2",   # 4/4
        # channel 1: the drums on the noise, octave 2 (the kick's noise is C2), volume 57 (velocity 100)
        "8": "5", "10": "2", "12": "57", "14": "0", "18": "l4 crcr crcr;l4 t13crc", "61": "1+2",
        # channel 2: the bass on the triangle (a bass program), velocity 80 is volume 52
        "21": "0", "23": "2", "25": "52", "30": "Bass", "31": "l1 c <g>;l1 t13c", "63": "1+2",
        # channel 3: the lead, its top notes; F9 down to F7
        "34": "4", "36": "4", "38": "57", "43": "Lead", "44": "l4 ceg2 >g1<;l4 t13a>>>f<<c2<", "65": "1+2",
        # channel 4: E5 of the chord
        "57": "l1 r e", "67": "1",
        "69": "Tune;Imported from in.mid",
    }
    for key, value in expected.items():
        check(fields.get(key) == value, f"import: field {key} is {fields.get(key)!r}, expected {value!r}")
    check(report == ["1 note of chords was left out: no channel was free to play them.",
                     "1 note outside C0 to C8 was moved by octaves."], f"import report {report}")
    # The notes at their moments: 48 ticks a quarter at tempo 12, 40 at 13.
    q12, q13 = 48 * TICK, 40 * TICK
    m3 = 8 * q12
    want = {
        (1, 0, 36), (1, 2 * q12, 36), (1, 4 * q12, 36), (1, 6 * q12, 36), (1, m3, 36), (1, m3 + 2 * q13, 36),
        (2, 0, 36), (2, 4 * q12, 31), (2, m3, 36),
        (3, 0, 60), (3, q12, 64), (3, 2 * q12, 67), (3, 4 * q12, 79), (3, m3, 69), (3, m3 + q13, 101),
        (3, m3 + 2 * q13, 72),
        (4, 4 * q12, 76),
    }
    got = {(n["channel"], n["start"], n["note"]) for n in mapped["notes"] if isinstance(n["note"], int)}
    check(got == want, f"import: notes {sorted(got ^ want)} differ")


def check_import_voices_and_grid():
    """Format 0, five channels of different business: the least busy is left
    out; one note off the 1/16 grid."""
    mid = mido.MidiFile(type=0, ticks_per_beat=96)
    track = mido.MidiTrack()
    events = []  # (tick, note, length, channel)
    for channel, count in enumerate((8, 6, 4, 3, 2)):
        for i in range(count):
            events.append((i * 96, 60 + channel, 96, channel))
    events.append((8 * 96 + 9, 70, 87, 0))  # 3/8 of a sixteenth late
    messages = []
    for tick, n, length, channel in events:
        messages.append((tick, 1, mido.Message("note_on", note=n, velocity=64, channel=channel)))
        messages.append((tick + length, 0, mido.Message("note_off", note=n, velocity=0, channel=channel)))
    now = 0
    for tick, _, msg in sorted(messages, key=lambda m: (m[0], m[1])):
        track.append(msg.copy(time=tick - now))
        now = tick
    mid.tracks.append(track)
    fields, mapped, report = import_midi(mid, "--grid", "16")
    check(fields.get("18") == "l4 cccc cccc;l4 a#", f"channel 1's verses: {fields.get('18')!r}")
    # 9 ticks of 96 to a beat of 0.5 s: 46.9 ms
    check(report == ["2 notes of track 1, MIDI channel 5, were left out: only four voices play.",
                     "1 note off the 1/16 grid was moved to it, by up to 47 ms."], f"report {report}")
    starts = sorted(n["start"] for n in mapped["notes"] if n["channel"] == 1 and isinstance(n["note"], int))
    check(starts[-1] == 8 * 48 * TICK, f"the late note is moved to beat 8: {starts[-1]}")


def main():
    worst = 0.0
    for demo in "1234":
        worst = max(worst, check_export(f"demo {demo}", ["--demo", demo]))
    worst = max(worst, check_export("demo 2, three passes", ["--demo", "2"], loops=3))
    # Channels at different tempos: the grid is channel 1's, every note still exact.
    worst = max(worst, check_export("two tempos", ["--mml", "T12 l8 cdefgab>c< T14 c1", "--mml", "T13 l16 edcdefga T10 g4"]))
    worst = max(worst, check_export("from 0.3 s", ["--demo", "3"], start=0.3))
    print(f"worst timing error of the exports: {worst * 1e6:.1f} us")
    check_export_details()
    check_fluidsynth()
    check_import_several_tracks()
    check_import_voices_and_grid()
    if failures:
        print(f"{len(failures)} failures")
        sys.exit(1)
    print("all MIDI checks pass")


main()

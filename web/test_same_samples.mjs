// The WebAssembly render gives the very samples of the native one: for the
// four demos, for tunes made to let voices decay through the subnormal
// range, and for random tunes, the little-endian floats of `bleeptone render
// --format f32` and the engine events of `--events` are compared, byte for
// byte, with the module's render in the AudioWorklet's 128-sample calls (or
// other splits, which must not matter).
//
// BLEEPTONE_ENGINE_JS names the module (build/web/web/bleeptone_engine.js),
// BLEEPTONE_NATIVE the native program (build/dev/app/bleeptone).

import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {existsSync, mkdtempSync, readFileSync, rmSync} from 'node:fs';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {after, test} from 'node:test';

import {randomTune, seededRandom} from './random_tunes.mjs';

const kSampleRate = 44100;
const engineJs = process.env.BLEEPTONE_ENGINE_JS;
const native = process.env.BLEEPTONE_NATIVE;
assert.ok(engineJs && existsSync(engineJs), `BLEEPTONE_ENGINE_JS=${engineJs}: no such module`);
assert.ok(native && existsSync(native), `BLEEPTONE_NATIVE=${native}: no such program (build it: make web does)`);

const module = await createRequire(import.meta.url)(engineJs)();
const work = mkdtempSync(join(tmpdir(), 'bleeptone-web-'));
after(() => rmSync(work, {recursive: true, force: true}));

// The native render: its samples as bytes and its events as [frame, data] pairs.
function nativeRender(songArgs, renderArgs = []) {
  const samples = join(work, 'out.f32');
  const events = join(work, 'out.events');
  execFileSync(native, ['render', ...songArgs, ...renderArgs, '--format', 'f32', '-o', samples, '--events', events]);
  const lines = readFileSync(events, 'latin1').split('\n').filter((line) => line !== '');
  return {bytes: readFileSync(samples), events: lines.map((line) => line.split(' ').map(Number))};
}

// The module's render of `frames` samples from sample startFrame of the
// song on, in calls of the sizes nextChunk() gives.
function wasmRender(texts, frames, {startFrame = 0, nextChunk = () => 128} = {}) {
  const engine = new module.Engine();
  try {
    engine.play(texts, startFrame);
    const bytes = Buffer.alloc(frames * 4);
    const events = [];
    for (let done = 0; done < frames;) {
      const samples = engine.render(Math.min(nextChunk(), frames - done));
      for (let i = 0; i < samples.length; ++i) bytes.writeFloatLE(samples[i], 4 * (done + i));
      done += samples.length;
      for (let ev; (ev = engine.pollEvent());) events.push([ev.frame, ev.data]);
    }
    return {bytes, events};
  } finally {
    engine.destroy();
  }
}

// Events as the native render reports them: frames counted from the output's
// first sample, none after the one that ends a render without --seconds.
function shownEvents(events, startFrame, stopsAtEnd) {
  const shown = [];
  for (const [frame, data] of events) {
    if (frame >= startFrame) shown.push([frame - startFrame, data]);
    if (stopsAtEnd && (data === -1 || data === -2)) break;
  }
  return shown;
}

function firstDifference(a, b) {
  const n = Math.min(a.length, b.length);
  for (let i = 0; i < n; i += 4) {
    if (a.readUInt32LE(i) !== b.readUInt32LE(i)) {
      return `sample ${i / 4}: native ${a.readFloatLE(i)} (0x${a.readUInt32LE(i).toString(16)}), ` +
             `wasm ${b.readFloatLE(i)} (0x${b.readUInt32LE(i).toString(16)})`;
    }
  }
  return `lengths ${a.length} and ${b.length}`;
}

// Renders both ways and compares. seconds: a fixed length (else the render
// stops where a recording would, as the native one does without --seconds,
// or after 30 seconds).
function expectSameRender(texts, {seconds, start = 0, nextChunk} = {}) {
  const args = texts.flatMap((text) => ['--mml', text]);
  const renderArgs = seconds !== undefined ? ['--seconds', String(seconds)] : ['--max-seconds', '30'];
  if (start > 0) renderArgs.push('--start', String(start));
  const expected = nativeRender(args, renderArgs);
  return compareWith(expected, texts, {stopsAtEnd: seconds === undefined, start, nextChunk});
}

function compareWith(expected, texts, {stopsAtEnd, start = 0, nextChunk}) {
  const frames = expected.bytes.length / 4;
  const startFrame = Math.round(start * kSampleRate);
  // The tick that ends the tune runs before the first sample after the end:
  // one sample more shows its event.
  const got = wasmRender(texts, stopsAtEnd ? frames + 1 : frames, {startFrame, nextChunk});
  got.bytes = got.bytes.subarray(0, 4 * frames);
  assert.ok(expected.bytes.equals(got.bytes), firstDifference(expected.bytes, got.bytes));
  // The module's events carry engine frames: from the song's sample 0 after a seek.
  const events = startFrame > 0 ? got.events.map(([f, d]) => [f + startFrame, d]) : got.events;
  assert.deepEqual(shownEvents(events, startFrame, stopsAtEnd), expected.events);
  return frames;
}

test('the four demos, whole, as a recording would stop them', () => {
  for (let demo = 1; demo <= 4; ++demo) {
    const texts = JSON.parse(execFileSync(native, ['export-mml', '--demo', String(demo), '--channel-texts'], {
      encoding: 'latin1',
    }));
    assert.equal(texts.length, 4);
    const frames = compareWith(nativeRender(['--demo', String(demo)]), texts, {stopsAtEnd: true});
    assert.ok(frames > 5 * kSampleRate, `demo ${demo}: ${frames} samples`);
  }
});

// Gains that decay through the subnormal range: after a note, a voice's
// smoothed gain falls by 0.988 a sample and, without flush-to-zero, would
// stay subnormal for ever; two voices fading together make small sums.
const kSilentTails = [
  ['T120 V63 C8 R1 R1', '', '', ''],
  ['T150 W1 V63 O5 C16 R1 V20 D16 R2.', 'T150 W2 V63 O3 G16 R1 V21 A16 R2.', 'W3 V5 B64 R1 R1', 'W4 O2 C32 R1 R1'],
  ['T200 L64 V1 CDEFGAB R1 V63 C R1', 'T200 L64 V1 W4 CDEFGAB R1 V62 C R1', 'W5 O8 C64 R1', 'V0 C1 R1'],
  ['W5 O1 V63 C8 R1 O8 C8 R2', 'T60 \\30 V63 C1 R1', 'T60 \\1,72,0,40 C1 R1 \\2,9,0. C1 R1', 'K24 O8 B8 R1 K-30 O0 C R1'],
];

test('voices falling silent: gains decaying through the subnormals to zero', () => {
  for (const texts of kSilentTails) expectSameRender(texts, {seconds: 6});
});

test('random tunes, in 128-sample calls', () => {
  for (let seed = 1; seed <= 24; ++seed) expectSameRender(randomTune(seed), {seconds: 5});
});

test('random tunes stopped as a recording would be, in calls of random sizes', () => {
  for (let seed = 101; seed <= 108; ++seed) {
    const random = seededRandom(seed);
    expectSameRender(randomTune(seed), {nextChunk: () => 1 + Math.floor(random() * 3000)});
  }
});

test('random tunes from a later moment (the exact seek)', () => {
  for (let seed = 201; seed <= 208; ++seed) expectSameRender(randomTune(seed), {seconds: 3, start: 0.5 + seed % 4});
});

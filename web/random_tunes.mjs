// Random tunes for the tests: four channel texts of MML from a seed, the
// same texts for the same seed. Every command of the language comes up
// (notes with signs, lengths and dots, rests, T, L, V with signs, W0-W7,
// O, < >, K, decays and envelopes, "*" events, "/", ":" loops), with long
// rests among them, so that voices fall silent and their gains decay to zero.

// A small seeded generator (mulberry32): numbers in [0, 1).
export function seededRandom(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

function channelText(random, channel) {
  const int = (lo, hi) => lo + Math.floor(random() * (hi - lo + 1));
  const pick = (list) => list[Math.floor(random() * list.length)];
  const length = () => (random() < 0.5 ? '' : String(pick([1, 2, 3, 4, 6, 8, 12, 16, 32, 64])));
  const dot = () => (random() < 0.15 ? '.' : '');
  const commands = [
    [30, () => pick('CDEFGAB') + pick(['', '', '#', '+', '-']) + length() + dot()],
    [6, () => 'R' + length() + dot()],
    [2, () => 'R' + pick(['1', '1.', '2']) + ' '],  // a long rest: the voice falls silent
    [3, () => 'T' + (random() < 0.8 ? int(60, 240) : int(0, 39))],
    [3, () => 'L' + pick([1, 2, 4, 8, 16, 32, 3, 6, 12])],
    [4, () => (random() < 0.8 ? 'V' + int(0, 63) : pick(['V+', 'V-', 'V0', 'V++']))],
    [3, () => 'W' + (channel === 0 && random() < 0.3 ? 5 : int(0, 7))],
    [3, () => 'O' + int(0, 8)],
    [4, () => pick(['<', '>'])],
    [1, () => 'K' + pick(['', '+', '-']) + int(0, 30)],
    [2, () => '\\' + int(0, 24)],
    [2, () => {
      const points = Array.from({length: int(1, 6)}, () => int(0, 72));
      return '\\' + points.join(',') + (random() < 0.5 ? '.' : '') + ' ';
    }],
    [1, () => '*' + int(0, 99)],
    [1, () => '/' + int(0, 9)],
    [2, () => ' '],
  ];
  const total = commands.reduce((sum, [weight]) => sum + weight, 0);
  let text = '';
  for (let n = int(5, 80); n > 0; --n) {
    let r = random() * total;
    for (const [weight, make] of commands) {
      if ((r -= weight) < 0) {
        text += make();
        break;
      }
    }
  }
  return random() < 0.3 ? text + ':' : text;
}

// Four channel texts; now and then a channel is empty.
export function randomTune(seed) {
  const random = seededRandom(seed);
  return [0, 1, 2, 3].map((k) => (random() < 0.1 ? '' : channelText(random, k)));
}

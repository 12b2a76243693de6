// Render speed of the engine in WebAssembly under Node.js, as a multiple of
// real time: four voices sounding all the time (the native benchmark's
// tune, bench/bench_engine.cpp), and demo 1 (BLEEPTONE_NATIVE gives its
// texts), in the AudioWorklet's 128-sample calls and in 8,192-sample calls.
//
//   node web/bench_render.mjs [build/web/web/bleeptone_engine.js] [SECONDS]
//
// Prints the best of five runs, by wall-clock time and by the process's CPU
// time (which a busy machine disturbs less).

import {execFileSync} from 'node:child_process';
import {existsSync} from 'node:fs';
import {createRequire} from 'node:module';

const engineJs = process.argv[2] ?? process.env.BLEEPTONE_ENGINE_JS ?? 'build/web/web/bleeptone_engine.js';
const seconds = Number(process.argv[3] ?? 60);
const native = process.env.BLEEPTONE_NATIVE ?? 'build/dev/app/bleeptone';
const module = await createRequire(import.meta.url)(engineJs.startsWith('/') ? engineJs : `${process.cwd()}/${engineJs}`)();

const tunes = [['four voices', ['W0O4L1C:', 'W2O5L1E:', 'W3O3L1G:', 'W4O2L1C:']]];
if (existsSync(native)) {
  tunes.push(['demo 1', JSON.parse(execFileSync(native, ['export-mml', '--demo', '1', '--channel-texts'], {encoding: 'latin1'}))]);
}

function run(texts, chunk) {
  const engine = new module.Engine();
  engine.play(texts);
  const frames = seconds * 44100;
  const wall0 = process.hrtime.bigint();
  const cpu0 = process.cpuUsage();
  for (let done = 0; done < frames; done += chunk) engine.render(Math.min(chunk, frames - done));
  const cpu = process.cpuUsage(cpu0);
  const wall = Number(process.hrtime.bigint() - wall0) / 1e9;
  engine.destroy();
  return {wall, cpu: (cpu.user + cpu.system) / 1e6};
}

for (const [name, texts] of tunes) {
  for (const chunk of [128, 8192]) {
    run(texts, chunk);  // warm-up: the optimizing compiler's tier
    let wall = Infinity, cpu = Infinity;
    for (let i = 0; i < 5; ++i) {
      const r = run(texts, chunk);
      wall = Math.min(wall, r.wall);
      cpu = Math.min(cpu, r.cpu);
    }
    const x = (t) => Math.round(seconds / t).toLocaleString('en');
    console.log(`${name}, ${chunk}-sample calls: ${x(wall)} x real time (wall), ${x(cpu)} x (CPU); ` +
                `${(1e6 * wall / seconds).toFixed(0)} us per second of audio`);
  }
}

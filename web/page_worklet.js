// The page's AudioWorklet processor. The page loads it as one module from a
// data: URL (a blob: URL fails on a page opened from a file, whose origin is
// null), with the engine's script (bleeptone_engine.js) in front of it, so
// BleeptoneModule is defined above. The module is built to compile its
// WebAssembly synchronously, so the engine is ready once this script has run:
// an OfflineAudioContext (the page's selftest) renders its first block with
// the song's first samples.
//
// processorOptions: {texts: the four channel texts, playAtOnce: true to
// start at the first block (the selftest)}. Messages in: {type: 'play',
// session} starts the song from its beginning on a fresh engine, as
// `bleeptone render` does; {type: 'stop'} hands the engine empty texts, as
// the window's Stop does. Messages out: {type: 'ready'} once constructed;
// then, each with the session, {type: 'started', time, frame} (the context's
// time and frame of the song's first sample), {type: 'event', data, frame}
// (an engine event: -1 ended, -2 looped, else a "*" number; frame counts the
// song's samples).
//
// The engine renders at 44,100 Hz. At any other rate (a browser that will not
// open a context at 44,100 Hz) each output sample is interpolated linearly
// between the two engine samples around its moment.

const kEngineRate = 44100;
const bleeptone = {};
BleeptoneModule(bleeptone);

class BleeptonePlayer extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const o = (options && options.processorOptions) || {};
    this.texts = o.texts || ['', '', '', ''];
    this.engine = null;
    this.session = 0;
    this.announce = false;
    this.step = kEngineRate / sampleRate;  // engine samples per output sample
    this.port.onmessage = (e) => {
      if (e.data.type === 'play') this.start(e.data.session);
      else if (e.data.type === 'stop') this.stop();
    };
    if (o.playAtOnce) this.start(0);
    this.port.postMessage({type: 'ready'});
  }

  start(session) {
    if (this.engine) this.engine.destroy();
    this.engine = new bleeptone.Engine();
    this.engine.play(this.texts);
    this.session = session;
    this.announce = true;
    // The resampler: the engine samples before and after the next output
    // sample's moment, and how far between them it lies.
    this.chunk = null;
    this.at = 0;
    this.between = 0;
    if (this.step !== 1) {
      this.before = this.nextSample();
      this.after = this.nextSample();
    }
  }

  stop() {
    if (this.engine) this.engine.play(['', '', '', '']);
  }

  nextSample() {
    if (!this.chunk || this.at >= this.chunk.length) {
      this.chunk = this.engine.render(128);
      this.at = 0;
    }
    return this.chunk[this.at++];
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    if (!this.engine || !out) return true;
    if (this.announce) {
      this.port.postMessage({type: 'started', session: this.session, time: currentTime, frame: currentFrame});
      this.announce = false;
    }
    if (this.step === 1) {
      out.set(this.engine.render(out.length));
    } else {
      for (let i = 0; i < out.length; ++i) {
        out[i] = this.before + (this.after - this.before) * this.between;
        this.between += this.step;
        while (this.between >= 1) {
          this.between -= 1;
          this.before = this.after;
          this.after = this.nextSample();
        }
      }
    }
    for (let ev; (ev = this.engine.pollEvent());) {
      this.port.postMessage({type: 'event', session: this.session, data: ev.data, frame: ev.frame});
    }
    return true;
  }
}

registerProcessor('bleeptone-player', BleeptonePlayer);

// The engine as a JavaScript class, appended to the Emscripten module
// (--post-js): `await BleeptoneModule()` gives the module, and
// `new module.Engine()` a fresh engine. The page's AudioWorklet and the tests
// under Node use it alike:
//
//   const engine = new module.Engine();
//   engine.play([text0, text1, text2, text3]);  // the channel texts, as PSG_PlayMML takes them
//   const samples = engine.render(128);         // a Float32Array view, valid until the next call
//   for (let ev; (ev = engine.pollEvent()); ) ...  // {data, frame}: -1 ended, -2 looped, else a "*" number
//   engine.playheadAt(frame)                    // {frame, songFrame, song, positions[4]} or null
//   engine.destroy();
//
// The samples are 44,100 Hz mono floats, the very ones `bleeptone render
// --format f32` writes for the same texts.
Module['Engine'] = class Engine {
  constructor() {
    this.ptr = Module['_bt_create']();
    this.maxFrames = Module['_bt_max_render_frames']();
  }

  destroy() {
    if (this.ptr) Module['_bt_destroy'](this.ptr);
    this.ptr = 0;
  }

  // Plays up to four channel texts (strings, kept unit for unit as UTF-16)
  // from sample startFrame of the song on (0: from its start). Returns the
  // song number that playhead snapshots of these texts carry.
  play(texts, startFrame = 0) {
    for (let k = 0; k < 4; ++k) {
      const text = String(texts[k] ?? '');
      const at = Module['_bt_text'](this.ptr, k, text.length) >> 1;
      for (let i = 0; i < text.length; ++i) HEAPU16[at + i] = text.charCodeAt(i);
    }
    return Module['_bt_play'](this.ptr, startFrame) >>> 0;
  }

  // Renders `frames` samples (at most maxFrames): a view into the module's
  // memory, overwritten by the next call. The same length as the last call
  // gives the same view (an AudioWorklet's process() allocates nothing).
  render(frames) {
    const n = Math.max(0, Math.min(frames | 0, this.maxFrames));
    const at = Module['_bt_render'](this.ptr, n) >> 2;
    if (!this.view || this.view.length !== n || this.view.byteOffset !== at * 4) this.view = HEAPF32.subarray(at, at + n);
    return this.view;
  }

  // Samples rendered since the engine was created; since the song's start.
  get framesRendered() { return Module['_bt_frames_rendered'](this.ptr); }
  get songFrame() { return Module['_bt_song_frame'](this.ptr); }

  // The next engine event, or null: {data, frame}, frame being the first
  // sample rendered after the tick that posted it.
  pollEvent() {
    if (!Module['_bt_poll_event'](this.ptr)) return null;
    return {data: Module['_bt_event_data'](this.ptr), frame: Module['_bt_event_frame'](this.ptr)};
  }

  // The playhead at an engine frame (the last tick at or before it, among the
  // last 255 ticks), or null: positions are UTF-16 offsets into each
  // channel's text of the note or rest sounding, -1 for none.
  playheadAt(frame) {
    if (!Module['_bt_playhead'](this.ptr, frame)) return null;
    const positions = [0, 1, 2, 3].map((k) => Module['_bt_playhead_position'](this.ptr, k));
    return {
      frame: Module['_bt_playhead_frame'](this.ptr),
      songFrame: Module['_bt_playhead_song_frame'](this.ptr),
      song: Module['_bt_playhead_song'](this.ptr) >>> 0,
      positions,
    };
  }
};

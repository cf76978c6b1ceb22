// The page's host: reads the URL fragment, sizes the picture from the window, ticks the saver
// 30 times a second and copies what changed onto the canvas element.
'use strict';

(() => {
  const STEP_MS = 1000 / 30;
  // requestAnimationFrame times jitter by a fraction of a millisecond: a tick due within this
  // margin runs now rather than one display frame late. The accumulator keeps the difference.
  const SLACK_MS = 2;
  const SLICE_MS = 40; // a frame-count run works in slices this long, so the page stays alive
  const IDLE_CURSOR_MS = 2000;
  const HINT_MS = 4000;

  const screen = document.getElementById('screen');
  const message = document.getElementById('message');
  const hint = document.getElementById('hint');
  const hashes = document.getElementById('hashes');

  // Main-thread time per tick (step, draw, present; copyMs the copying to the canvas element), for
  // the benchmark; nothing leaves the page.
  const stats = { ticks: 0, totalMs: 0, copyMs: 0, worstMs: 0, recentMs: [] };
  window.duskmere = { stats };

  let M = null;
  let stopped = false;

  function fail(text) {
    stopped = true;
    screen.hidden = true;
    hint.hidden = true;
    message.textContent = text;
    message.hidden = false;
  }

  // The picture goes to a stack of canvas elements, each a band of whole rows, where the page
  // narrows it (Firefox): there putImageData costs in proportion to the canvas it writes to, not
  // to the box, so that a box into a band costs a fifth of one into the whole picture (Chromium
  // gains nothing and copies a little more). Bands are whole CSS pixels high and whole device
  // pixels high, so that they meet exactly; otherwise one band holds it all.
  const BAND_CSS_PX = 60;
  let inBands = false;
  const bands = [];
  let bandRows = 0;

  function layOut(w, h, step) {
    const rows = BAND_CSS_PX * shownRatio;
    bandRows = inBands && Number.isInteger(rows) && rows > 0 ? rows : h;
    const count = Math.ceil(h / bandRows);
    while (bands.length > count) bands.pop().canvas.remove();
    while (bands.length < count) {
      const canvas = document.createElement('canvas');
      canvas.addEventListener('contextrestored', () => present(true));
      screen.append(canvas);
      bands.push({ canvas, context: canvas.getContext('2d', { alpha: false }), y0: 0, y1: 0 });
    }
    bands.forEach((band, i) => {
      band.y0 = i * bandRows;
      band.y1 = Math.min(h, band.y0 + bandRows);
      // Setting the size clears the element: everything is copied again.
      band.canvas.width = w;
      band.canvas.height = band.y1 - band.y0;
      // A narrowed picture is widened by the browser, each pixel to `step` device pixels alike.
      band.canvas.style.width = `${(w * step) / shownRatio}px`;
      band.canvas.style.height = `${(band.y1 - band.y0) / shownRatio}px`;
      band.canvas.style.top = `${band.y0 / shownRatio}px`;
    });
  }

  let laidOut = '';
  function present(full) {
    const w = M._duskmere_pixel_width();
    const h = M._duskmere_pixel_height();
    const step = M._duskmere_pixel_step();
    const count = M._duskmere_take_boxes();
    if (w === 0 || h === 0) return;
    const layout = `${w} ${h} ${step} ${shownRatio}`;
    if (layout !== laidOut) {
      laidOut = layout;
      layOut(w, h, step);
      full = true;
    }
    // Views of the module's memory, made afresh each time because memory growth replaces it.
    const buffer = M.HEAPU8.buffer;
    const pixels = M._duskmere_pixels();
    const images = new Array(bands.length);
    const imageOf = (i) => {
      const { y0, y1 } = bands[i];
      images[i] ??= new ImageData(new Uint8ClampedArray(buffer, pixels + y0 * w * 4, (y1 - y0) * w * 4), w, y1 - y0);
      return images[i];
    };
    if (full) {
      bands.forEach((band, i) => band.context.putImageData(imageOf(i), 0, 0));
      return;
    }
    const words = new Int32Array(buffer, M._duskmere_box_words(), count * 4);
    for (let i = 0; i < words.length; i += 4) {
      const x0 = words[i];
      const x1 = words[i + 2];
      for (let b = Math.floor(words[i + 1] / bandRows); b < bands.length && bands[b].y0 < words[i + 3]; b++) {
        const { y0, y1, context } = bands[b];
        const top = Math.max(words[i + 1], y0);
        context.putImageData(imageOf(b), 0, 0, x0, top - y0, x1 - x0, Math.min(words[i + 3], y1) - top);
      }
    }
  }

  // The window as last given to the saver: CSS pixels are the view's points, and
  // devicePixelRatio its backing scale.
  let shownWidth = 0;
  let shownHeight = 0;
  let shownRatio = 1;
  let ratioQuery = null;
  function resize() {
    if (stopped) return;
    shownWidth = window.innerWidth;
    shownHeight = window.innerHeight;
    shownRatio = window.devicePixelRatio || 1;
    M._duskmere_resize(shownWidth, shownHeight, shownRatio);
    present(false);
    // A move to a screen of another density changes the ratio without always resizing.
    if (ratioQuery) ratioQuery.removeEventListener('change', resize);
    ratioQuery = window.matchMedia(`(resolution: ${shownRatio}dppx)`);
    ratioQuery.addEventListener('change', resize);
  }
  // Not every change of size or density comes with an event (zoom, emulation, some docks).
  function resizeIfChanged() {
    if (window.innerWidth !== shownWidth || window.innerHeight !== shownHeight ||
        (window.devicePixelRatio || 1) !== shownRatio) resize();
  }

  // 30 steps a second on the display's frames: the accumulator holds real elapsed time, so the
  // rate does not drift, but a display frame runs at most one step, so a stall never bursts.
  let lastTime = null;
  let owed = 0;
  let frameRequest = 0;
  function onDisplayFrame(time) {
    frameRequest = 0;
    if (stopped) return;
    if (lastTime !== null) owed += time - lastTime;
    lastTime = time;
    resizeIfChanged();
    if (owed >= STEP_MS - SLACK_MS) {
      const begin = performance.now();
      M._duskmere_tick();
      const drawn = performance.now();
      present(false);
      const spent = performance.now() - begin;
      stats.ticks += 1;
      stats.totalMs += spent;
      stats.copyMs += spent - (drawn - begin);
      stats.worstMs = Math.max(stats.worstMs, spent);
      if (stats.recentMs.push(spent) > 600) stats.recentMs.shift();
      owed -= STEP_MS;
      if (owed >= STEP_MS) owed %= STEP_MS;
    }
    frameRequest = requestAnimationFrame(onDisplayFrame);
  }

  function pauseWhileHidden() {
    if (document.hidden) {
      if (frameRequest) cancelAnimationFrame(frameRequest);
      frameRequest = 0;
    } else if (!frameRequest && !stopped) {
      lastTime = null; // the hidden time is not owed: resume without a burst
      frameRequest = requestAnimationFrame(onDisplayFrame);
    }
  }

  function runFrames() {
    if (stopped) return;
    const done = M._duskmere_run_for(SLICE_MS) === 1;
    const lines = M.UTF8ToString(M._duskmere_take_hash_lines());
    if (lines) hashes.textContent += lines;
    present(false);
    if (done) document.body.dataset.done = '1';
    else setTimeout(runFrames, 0);
  }

  function toggleFullScreen() {
    const root = document.documentElement;
    if (document.fullscreenElement || document.webkitFullscreenElement) {
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
      return;
    }
    const enter = root.requestFullscreen || root.webkitRequestFullscreen;
    if (!enter) return;
    const result = enter.call(root);
    if (result && result.catch) result.catch(() => {}); // refused: stay in the window
  }

  let idleTimer = 0;
  function wakeCursor() {
    document.body.classList.remove('idle');
    clearTimeout(idleTimer);
    idleTimer = setTimeout(() => document.body.classList.add('idle'), IDLE_CURSOR_MS);
  }

  function showHint() {
    hint.hidden = false;
    setTimeout(() => hint.classList.add('faded'), HINT_MS);
    hint.addEventListener('transitionend', () => { hint.hidden = true; }, { once: true });
  }

  function start(module) {
    M = module;
    // The saver decodes the address itself, as its own syntax says (URLSearchParams would read
    // '+' as a space and cut a value at %00). The text goes over in the heap: copies on the
    // module's stack, as ccall makes them, overrun it with a fragment of a few megabytes.
    const inHeap = (text) => {
      const size = M.lengthBytesUTF8(text) + 1;
      const at = M._malloc(size);
      M.stringToUTF8(text, at, size);
      return at;
    };
    const address = [location.search.slice(1), location.hash.slice(1)].map(inHeap);
    const error = M.UTF8ToString(M._duskmere_start(...address));
    for (const at of address) M._free(at);
    if (error) return fail(`duskmere: ${error}`);
    const showScene = () => { document.body.dataset.scene = M.UTF8ToString(M._duskmere_scene_name()); };
    showScene();

    // Firefox composites a picture the browser widens for about half of what a device-sized one
    // costs it; Chromium's software compositor spends more on the widening than it saves. Both
    // ways are exact; window.duskmereNarrowing, set before the page loads, forces one, so that
    // bench/web_bench.mjs and the tests can try either in any engine.
    const narrowing = window.duskmereNarrowing ?? / Gecko\/\d/.test(navigator.userAgent);
    M._duskmere_allow_narrowing(narrowing ? 1 : 0);
    inBands = narrowing;
    const runsFrames = M._duskmere_runs_frames() === 1;
    window.addEventListener('resize', resize);
    document.addEventListener('dblclick', toggleFullScreen);
    document.addEventListener('mousemove', wakeCursor);
    document.addEventListener('keydown', (event) => {
      // Once per press: a held key's auto-repeat would flicker full screen and race through scenes.
      if (event.repeat || event.ctrlKey || event.metaKey || event.altKey) return;
      if (event.key === 'f' || event.key === 'F') toggleFullScreen();
      // A frame-count run stays on its scene, so that its picture is reproducible.
      if ((event.key === 'c' || event.key === 'C') && !runsFrames && !stopped) {
        M._duskmere_switch_scene();
        showScene();
        present(false);
      }
    });
    wakeCursor();
    resize();
    if (runsFrames) {
      runFrames();
      return;
    }
    showHint();
    document.addEventListener('visibilitychange', pauseWhileHidden);
    pauseWhileHidden();
  }

  // A new fragment is a new page, also after a message: nothing of the last one is kept.
  window.addEventListener('hashchange', () => location.reload());
  if (typeof WebAssembly !== 'object' || typeof createDuskmere !== 'function') {
    fail('duskmere: this browser cannot run WebAssembly');
    return;
  }
  createDuskmere({
    onAbort: (what) => fail(`duskmere stopped: ${what || 'out of memory'}`),
    print: () => {},
    printErr: () => {},
  }).then(start, (error) => fail(`duskmere: cannot start (${error})`));
})();

// Main-thread time per tick of the browser page (step, draw, present) in headless Chromium at
// 1920 x 1080, for each scene: `node bench/web_bench.mjs` once scripts/test-web.sh has built the
// page and installed the browser driver. TICKS, SCALE (devicePixelRatio) and SCENES (e.g.
// "campfire") change the run; DUSKMERE_WEB_DIR measures another build of the page.
import { launch, openPage } from '../tests/web/browser.mjs';

const ticks = Number(process.env.TICKS || 300);
const { browser, close } = await launch({ width: 1920, height: 1080, scale: Number(process.env.SCALE || 1) });
try {
  for (const scene of (process.env.SCENES || 'city,campfire').split(',')) {
    const start = Date.now();
    const { page } = await openPage(browser, `scene=${scene}&seed=1`, { ticks, timeout: ticks * 200 });
    const seconds = (Date.now() - start) / 1000;
    const s = await page.evaluate(() => window.duskmere.stats);
    const sorted = [...s.recentMs].sort((a, b) => a - b);
    const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))].toFixed(2);
    console.log(`${scene}: ${s.ticks} ticks in ${seconds.toFixed(1)} s; per tick mean ${(s.totalMs / s.ticks).toFixed(2)} ms, ` +
      `median ${at(0.5)} ms, p95 ${at(0.95)} ms, worst ${s.worstMs.toFixed(2)} ms, ` +
      `${(100 * sorted.filter((ms) => ms > 2).length / sorted.length).toFixed(1)} % over 2 ms; ` +
      `copying to the canvas ${(s.copyMs / s.ticks).toFixed(2)} ms of the mean`);
    await page.close();
  }
} finally {
  await close();
}

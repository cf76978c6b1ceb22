// What the browser page costs, in each engine at 1920 x 1080: the page's main-thread time per tick
// (step, draw, copying to the canvas element) and the whole headless browser's CPU share (every
// process of it, utime + stime from /proc) over the same ticks. `node bench/web_bench.mjs` once
// scripts/test-web.sh has built the page and installed the browser driver.
//
// BASELINE=DIR measures another build of the page (say main's, built into a scratch folder) in
// the same run, page by page in turn with this one, so that both see the same machine. The page
// is also measured with the picture the engine does not get by default (narrowed for the browser
// to widen, or device-sized), the figures behind that choice.
// ENGINES (chromium,firefox), SCALES (devicePixelRatio, 1,2), SCENES (city,campfire), TICKS (300,
// ten seconds) change the run; DUSKMERE_WEB_DIR measures another build as "page".
//
// Firefox coarsens performance.now() for pages; the benchmark turns that off in its profile, and
// prints beside the page's figure the CPU time per tick of the browser's busiest process (the
// one running the page), which bounds the page's own figure from above.
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { readdirSync, readFileSync } from 'node:fs';
import { engines, launch, openPage, pageUrl } from '../tests/web/browser.mjs';

// The process ids of a launched browser: its first process and every descendant.
function browserProcesses(browser) {
  const first = browser.process()?.pid;
  if (!first) return [];
  const children = new Map();
  for (const name of readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const stat = readFileSync(`/proc/${name}/stat`, 'utf8');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(name));
    } catch { /* gone meanwhile */ }
  }
  const all = [];
  for (const queue = [first]; queue.length > 0;) {
    const pid = queue.pop();
    all.push(pid);
    queue.push(...(children.get(pid) || []));
  }
  return all;
}

// CPU seconds (user and system, all threads) the given processes have used so far.
function cpuSeconds(pids) {
  const ticksPerSecond = 100; // USER_HZ on Linux
  let ticks = 0;
  for (const pid of pids) {
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      ticks += Number(fields[11]) + Number(fields[12]); // utime, stime
    } catch { /* ended: its time is lost to the sum, as it would be to any sampler */ }
  }
  return ticks / ticksPerSecond;
}

const ticks = Number(process.env.TICKS || 300);
const warmTicks = 30;
const scales = (process.env.SCALES || '1,2').split(',').map(Number);
const scenes = (process.env.SCENES || 'city,campfire').split(',');
// The page as it chooses for the engine, and the page made to choose the other way.
const builds = [['page', pageUrl, undefined], ['page narrowed', pageUrl, true], ['page device-sized', pageUrl, false]];
if (process.env.BASELINE) builds.unshift(['baseline', pathToFileURL(join(process.env.BASELINE, 'index.html')).href, undefined]);

const processCpu = (pid) => cpuSeconds([pid]);

for (const engine of engines) {
  for (const scale of scales) {
    const { browser, close } = await launch({
      engine, width: 1920, height: 1080, scale, prefs: { 'privacy.reduceTimerPrecision': false },
    });
    try {
      for (const scene of scenes) {
        for (const [name, url, narrowing] of builds) {
          // The page's own choice is measured as itself; the forced way only when it differs.
          if (narrowing !== undefined && narrowing === (engine === 'firefox')) continue;
          const { page } = await openPage(browser, `scene=${scene}&seed=1`,
            { ticks: warmTicks, timeout: 60000, url, narrowing, viewport: { width: 1920, height: 1080, scale } });
          const pids = browserProcesses(browser);
          const stats = () => page.evaluate(() => ({ ...window.duskmere.stats, recentMs: [] }));
          const before = { stats: await stats(), cpu: cpuSeconds(pids), each: pids.map(processCpu), at: process.hrtime.bigint() };
          await page.waitForFunction((n) => window.duskmere.stats.ticks >= n,
            { timeout: ticks * 400, polling: 100 }, before.stats.ticks + ticks);
          const after = { stats: await stats(), cpu: cpuSeconds(pids), each: pids.map(processCpu), at: process.hrtime.bigint() };
          const seconds = Number(after.at - before.at) / 1e9;
          const n = after.stats.ticks - before.stats.ticks;
          const tickMs = (after.stats.totalMs - before.stats.totalMs) / n;
          const copyMs = (after.stats.copyMs - before.stats.copyMs) / n;
          const busiest = Math.max(...after.each.map((c, i) => c - before.each[i]));
          console.log(`${engine} ratio ${scale} ${scene} ${name}: ${n} ticks in ${seconds.toFixed(1)} s; ` +
            `page ${tickMs.toFixed(2)} ms a tick (copying ${copyMs.toFixed(2)}), busiest process ` +
            `${(1000 * busiest / n).toFixed(2)} ms a tick; whole browser ` +
            `${(100 * (after.cpu - before.cpu) / seconds).toFixed(0)} % of a core (${pids.length} processes)`);
          await page.close();
        }
      }
    } finally {
      await close();
    }
  }
}

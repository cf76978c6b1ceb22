// Debian's Chromium and Firefox ESR, headless, each in a throw-away profile, driven by the one
// puppeteer-core (Firefox through WebDriver BiDi); never a downloaded browser.
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = new URL('.', import.meta.url).pathname;
export const root = resolve(here, '../..');
export const pageUrl = pathToFileURL(join(process.env.DUSKMERE_WEB_DIR || join(root, 'build/web'), 'index.html')).href;

// ENGINES (e.g. "firefox") narrows the run to some of them.
export const engines = (process.env.ENGINES || 'chromium,firefox').split(',');

export async function launch({ engine = 'chromium', width = 1440, height = 900, scale = 1, prefs = {} } = {}) {
  const profile = mkdtempSync(join(tmpdir(), `duskmere-${engine}-`));
  // The window's own frame takes part of the window's size: fix the page's viewport itself.
  const common = { headless: true, userDataDir: profile, defaultViewport: { width, height, deviceScaleFactor: scale } };
  const browser = engine === 'firefox'
    ? await puppeteer.launch({
      ...common,
      browser: 'firefox',
      executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
      args: [`--width=${width}`, `--height=${height}`],
      extraPrefsFirefox: {
        // Software compositing, as Chromium below; no updates, no telemetry, no first-run pages.
        'gfx.webrender.software': true,
        'app.update.disabledForTesting': true,
        'datareporting.policy.dataSubmissionEnabled': false,
        'toolkit.telemetry.reportingpolicy.firstRun': false,
        ...prefs,
      },
    })
    : await puppeteer.launch({
      ...common,
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      args: [
        '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--force-color-profile=srgb',
        `--window-size=${width},${height}`, `--force-device-scale-factor=${scale}`,
      ],
    });
  // Firefox still writes to its profile after close() returns, until its first process ends.
  const child = browser.process();
  const exited = child && child.exitCode === null && child.signalCode === null
    ? new Promise((resolve) => child.once('exit', resolve)) : Promise.resolve();
  const close = async () => {
    await browser.close();
    await exited;
    rmSync(profile, { recursive: true, force: true });
  };
  return { browser, close, engine };
}

// Opens the page with a URL fragment (or, starting with '?', a query and what follows) and waits
// until a frame-count run ends or a message shows (or, with `ticks`, until the timer has ticked that
// often). `viewport` ({ width, height, scale }) sizes the page before it loads; `url` opens another
// build of it; `narrowing` (true, false) overrides the page's own choice of picture. Returns the
// page, every URL it asked for and its uncaught errors and console errors.
export async function openPage(browser, fragment,
  { ticks = 0, timeout = 60000, viewport = null, url = pageUrl, narrowing = undefined } = {}) {
  const page = await browser.newPage();
  if (narrowing !== undefined) await page.evaluateOnNewDocument((n) => { window.duskmereNarrowing = n; }, narrowing);
  if (viewport) {
    await page.setViewport({ width: viewport.width, height: viewport.height, deviceScaleFactor: viewport.scale });
  }
  const requests = [];
  const errors = [];
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => errors.push(String(error)));
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text().slice(0, 200)); });
  await page.goto(fragment.startsWith('?') ? url + fragment : `${url}#${fragment}`, { timeout });
  await page.waitForFunction(
    (n) => (n > 0 ? window.duskmere.stats.ticks >= n : document.body.dataset.done === '1') ||
      !document.getElementById('message').hidden,
    { timeout, polling: 50 }, ticks);
  return { page, requests, errors };
}

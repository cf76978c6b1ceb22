// Debian's Chromium, headless, in a throw-away profile; never a downloaded browser.
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const here = new URL('.', import.meta.url).pathname;
export const root = resolve(here, '../..');
export const pageUrl = pathToFileURL(join(process.env.DUSKMERE_WEB_DIR || join(root, 'build/web'), 'index.html')).href;

export async function launch({ width = 1440, height = 900, scale = 1 } = {}) {
  const profile = mkdtempSync(join(tmpdir(), 'duskmere-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    // The window's own frame takes part of --window-size: fix the page's viewport itself.
    defaultViewport: { width, height, deviceScaleFactor: scale },
    args: [
      '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--force-color-profile=srgb',
      `--window-size=${width},${height}`, `--force-device-scale-factor=${scale}`,
    ],
  });
  const close = async () => {
    await browser.close();
    rmSync(profile, { recursive: true, force: true });
  };
  return { browser, close };
}

// Opens the page with a URL fragment (or, starting with '?', a query and what follows) and waits
// until a frame-count run ends or a message shows (or, with `ticks`, until the timer has ticked that
// often). Returns the page, every URL it asked for and its uncaught errors and console errors.
export async function openPage(browser, fragment, { ticks = 0, timeout = 60000 } = {}) {
  const page = await browser.newPage();
  const requests = [];
  const errors = [];
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => errors.push(String(error)));
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text().slice(0, 200)); });
  await page.goto(fragment.startsWith('?') ? pageUrl + fragment : `${pageUrl}#${fragment}`);
  await page.waitForFunction(
    (n) => (n > 0 ? window.duskmere.stats.ticks >= n : document.body.dataset.done === '1') ||
      !document.getElementById('message').hidden,
    { timeout, polling: 50 }, ticks);
  return { page, requests, errors };
}

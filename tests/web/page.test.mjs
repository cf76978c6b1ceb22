// The page in a real browser: its hashes and its pictures against duskmere-render, and its
// message for a bad parameter.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { engines, launch, openPage, root } from './browser.mjs';
import { decodePng } from './png.mjs';

const renderer = process.env.DUSKMERE_RENDER || `${root}/build/release/tools/duskmere-render`;
const render = (args) => execFileSync(renderer, args, { maxBuffer: 1 << 30 });

// Each check runs in every engine, in one browser per engine; a page sets its own viewport.
for (const engine of engines) describe(engine, () => {
  let browser;
  let close;
  before(async () => { ({ browser, close } = await launch({ engine })); });
  after(() => close());

  describe('hashes and parameters', () => {
    test('hash lines equal duskmere-render\'s', async () => {
      const cases = [
        ['scene=city&canvas=320x180&seed=1&frames=2000&hash-every=20', '--canvas 320x180 --seed 1 --frames 2000 --hash-every 20'],
        ['scene=campfire&canvas=240x135&seed=3&frames=3000&hash-every=25', '--scene campfire --canvas 240x135 --seed 3 --frames 3000 --hash-every 25'],
        // Through the view, sized by the 1440 x 900 window.
        ['scene=campfire&seed=0x7&frames=300&hash-every=50', '--scene campfire --bounds 1440x900 --seed 7 --frames 300 --hash-every 50'],
      ];
      for (const [fragment, args] of cases) {
        const { page, errors } = await openPage(browser, fragment);
        const lines = await page.$eval('#hashes', (e) => e.textContent);
        assert.deepEqual(errors, []);
        assert.ok(lines.length > 0, fragment);
        assert.equal(lines, render(args.split(' ')).toString(), fragment);
        await page.close();
      }
    });

    test('a bad parameter shows one line and runs nothing', async () => {
      const cases = [
        ['scene=forest', "unknown scene 'forest' (scenes: city, campfire)"],
        ['seed=18446744073709551616', "bad seed '18446744073709551616'"],
        ['seed=0x2g', "bad seed '0x2g'"],
        ['canvas=0x5&frames=1', "bad canvas size '0x5'"],
        ['canvas=100000x100', "bad canvas size '100000x100'"],
        ['frames=ten', "bad frame count 'ten'"],
        ['hash-every=5', 'hash-every needs frames'],
        ['speed=2', "unknown parameter 'speed'"],
        ['seed=1&seed=2', "parameter 'seed' is given twice"],
        ['frames=1&seed=1%00abc', "parameter 'seed' has a NUL character (%00) in its value"],
        ['seed=+1', "bad seed '+1'"],
        // Cut at 40 bytes before the character that would be split.
        [`scene=x${encodeURIComponent('\u00e9'.repeat(25))}`, `unknown scene 'x${'\u00e9'.repeat(19)}...'`],
        ['?scene=campfire#frames=1', "parameters go after '#', not '?': write '#scene=campfire'"],
        // Far past the module's stack, yet within the longest address Firefox opens (1 MiB).
        [`frames=1&scene=${'a'.repeat(1000000)}`, `unknown scene '${'a'.repeat(40)}...'`],
      ];
      for (const [fragment, expected] of cases) {
        const { page } = await openPage(browser, fragment);
        const name = fragment.slice(0, 80);
        const shown = await page.evaluate(() => ({
          message: document.getElementById('message').innerText,
          canvas: document.getElementById('screen').hidden,
          done: document.body.dataset.done,
          ticks: window.duskmere.stats.ticks,
        }));
        assert.ok(shown.message.startsWith(`duskmere: ${expected}`), `${name}: ${shown.message}`);
        assert.equal(shown.message.split('\n').length, 1);
        assert.deepEqual([shown.canvas, shown.done, shown.ticks], [true, undefined, 0], name);
        await page.close();
      }
    });

    test('a new fragment restarts the page, also after a message', async () => {
      const { page } = await openPage(browser, 'scene=forest');
      // Waiting in the old document would race its reload (Firefox does not carry the wait over).
      const reloaded = new Promise((resolve) => page.once('load', resolve));
      await page.evaluate(() => { location.hash = 'scene=campfire&canvas=240x135&seed=3&frames=30&hash-every=10'; });
      await reloaded;
      await page.waitForFunction(() => document.body.dataset.done === '1', { timeout: 30000, polling: 50 });
      assert.equal(await page.$eval('#message', (e) => e.hidden), true);
      assert.equal(await page.$eval('#hashes', (e) => e.textContent),
        render('--scene campfire --canvas 240x135 --seed 3 --frames 30 --hash-every 10'.split(' ')).toString());
      await page.close();
    });

    test('a held key acts once', async () => {
      const { page } = await openPage(browser, 'scene=city', { ticks: 2 });
      await page.keyboard.down('c');
      await page.keyboard.down('c'); // auto-repeat
      await page.keyboard.up('c');
      assert.equal(await page.evaluate(() => document.body.dataset.scene), 'campfire');
      await page.close();
    });
  });

  // The screenshot of the window against the reference renderer's picture of the same view.
  for (const scale of [1, 2, 1.5]) {
    describe(`at backing scale ${scale}`, () => {
      const viewport = { width: 1440, height: 900, scale };

      // The window's picture after `frames` frames against the renderer's.
      async function assertShows(page, scene, frames) {
        const shot = decodePng(Buffer.from(await page.screenshot({ type: 'png' })));
        const out = join(mkdtempSync(join(tmpdir(), 'duskmere-web-')), 'reference.png');
        render(['--scene', scene, '--bounds', `1440x900@${scale}`, '--seed', '0x2a', '--frames', String(frames), '--out', out]);
        const reference = decodePng(readFileSync(out));
        rmSync(dirname(out), { recursive: true });
        assert.deepEqual([shot.width, shot.height], [1440 * scale, 900 * scale]);
        assert.deepEqual([reference.width, reference.height], [shot.width, shot.height]);
        let differing = 0;
        let largest = 0;
        let first = null;
        for (let i = 0; i < shot.rgb.length; i++) {
          if (shot.rgb[i] === reference.rgb[i]) continue;
          differing++;
          largest = Math.max(largest, Math.abs(shot.rgb[i] - reference.rgb[i]));
          first ??= { x: Math.floor(i / 3) % shot.width, y: Math.floor(i / 3 / shot.width), channel: i % 3,
            page: shot.rgb[i], reference: reference.rgb[i] };
        }
        assert.equal(differing, 0, `${differing} channel values differ (by up to ${largest}), first ${JSON.stringify(first)}`);
      }

      for (const scene of ['city', 'campfire']) {
        test(`${scene} after 600 frames equals duskmere-render --bounds 1440x900@${scale}`, async () => {
          const { page, requests, errors } = await openPage(browser, `scene=${scene}&seed=0x2a&frames=600`, { viewport });
          assert.deepEqual(errors, []);
          // Nothing but the page's own files.
          assert.deepEqual(requests.filter((url) => !url.startsWith(new URL('.', requests[0]).href)), []);
          await assertShows(page, scene, 600);
          await page.close();
        });
      }

      // Ticking, each frame's boxes alone (the scroll, hundreds of specks of firelight) keep the
      // element equal to the renderer's picture; here with the picture the engine does not get by
      // default (narrowed for the browser to widen, or device-sized), so that both are held to it.
      const narrowing = engine !== 'firefox';
      test(`the ticking campfire equals duskmere-render --bounds 1440x900@${scale}, ${narrowing ? 'narrowed' : 'device-sized'}`, async () => {
        const { page, errors } = await openPage(browser, 'scene=campfire&seed=0x2a', { ticks: 20, viewport, narrowing });
        // Hidden, the page stops ticking at once: the picture is that of the ticks counted. The
        // hint with the keys is not part of it.
        const ticks = await page.evaluate(() => {
          Object.defineProperty(document, 'hidden', { value: true });
          document.dispatchEvent(new Event('visibilitychange'));
          document.getElementById('hint').hidden = true;
          return window.duskmere.stats.ticks;
        });
        assert.deepEqual(errors, []);
        // One picture column per canvas column (480, at 3 points each) where that is a whole number
        // of device columns, else one per device column.
        const narrowed = narrowing && Number.isInteger(3 * scale);
        assert.equal(await page.$eval('#screen canvas', (c) => c.width), narrowed ? 480 : 1440 * scale);
        await assertShows(page, 'campfire', ticks);
        await page.close();
      });
    });
  }
});

// End to end: the page in the system's headless Chromium, driven with real input events through
// the DevTools protocol. The page must load with no console error and draw the pyramid; a drag
// and release must throw a box that changes the picture; Escape must stop the simulation. Prints
// the measured frame rate and the time the program spends in a frame.
//
//   node web/e2e_test.mjs BUILD_DIR [--screenshot FILE]
//
// BUILD_DIR holds the built page (index.html, sandbox.js, sandbox.wasm). playwright-core comes
// from web/node_modules (npm ci in web/); the browser is /usr/bin/chromium (or $CHROMIUM).

import { chromium } from "playwright-core";
import { serve } from "./serve.mjs";

const [buildDir, ...rest] = process.argv.slice(2);
if (!buildDir) {
  console.error("usage: node e2e_test.mjs BUILD_DIR [--screenshot FILE]");
  process.exit(2);
}
const shotAt = rest.indexOf("--screenshot");
const screenshot = shotAt >= 0 ? rest[shotAt + 1] : null;

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? "ok" : "FAIL"}: ${what}`);
  if (!ok) failures++;
}

const server = await serve(buildDir);
const url = `http://127.0.0.1:${server.address().port}/`;
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  // No sandbox (CI runs as root), WebGL through SwiftShader, and nothing that calls out to the
  // network, which this machine's closed network would refuse.
  args: ["--no-sandbox", "--enable-unsafe-swiftshader", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
try {
  const page = await browser.newPage({ viewport: { width: 832, height: 840 } });
  const errors = [];
  page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
  page.on("pageerror", (e) => errors.push(String(e)));
  await page.goto(url);

  const status = () => page.evaluate(() => ({ ...window.sandboxState }));
  const waitFrames = async (n) => {
    const start = (await status()).frames;
    await page.waitForFunction((f) => window.sandboxState.frames >= f, start + n,
                               { timeout: 30000 });
  };
  // The canvas's pixels, read back through a 2-D canvas and kept in the page under a name (the
  // counting happens there too: two million numbers are slow to carry over the protocol).
  const snap = (name) => page.evaluate((name) => {
    const c = document.getElementById("canvas");
    const copy = document.createElement("canvas");
    copy.width = c.width;
    copy.height = c.height;
    const g = copy.getContext("2d");
    g.drawImage(c, 0, 0);
    window.snaps = window.snaps || {};
    window.snaps[name] = g.getImageData(0, 0, c.width, c.height);
  }, name);
  // Pixels that are not black in the rectangle [x0, x1) x [y0, y1) of a snapshot.
  const lit = (name, x0, y0, x1, y1) => page.evaluate(([name, x0, y0, x1, y1]) => {
    const { data, width } = window.snaps[name];
    let n = 0;
    for (let y = y0; y < y1; y++) {
      for (let x = x0; x < x1; x++) {
        const i = (y * width + x) * 4;
        if (data[i] + data[i + 1] + data[i + 2] > 0) n++;
      }
    }
    return n;
  }, [name, x0, y0, x1, y1]);

  const box = await page.locator("#canvas").boundingBox();
  const at = (x, y) => [box.x + x, box.y + y];
  await page.mouse.move(...at(20, 20));  // the cursor's cross out of the way
  await waitFrames(120);

  // The pyramid: lines in the lower half around the middle, none high up on the right.
  await snap("start");
  const pile = await lit("start", 200, 300, 600, 590);
  check(pile > 2000, `the pyramid is drawn (${pile} lit pixels in its area)`);
  const start = await status();
  check(start.bodies > 1 && !start.stopped, `running with ${start.bodies} bodies`);

  // The frame rate the browser gives, and the time the program takes per frame.
  const timing = await page.evaluate(() => new Promise((resolve) => {
    const s = window.sandboxState;
    const f0 = s.frames;
    const t0 = performance.now();
    const work = [];
    const sample = () => {
      work.push(s.frameMs);
      if (performance.now() - t0 < 3000) requestAnimationFrame(sample);
      else resolve({ frames: s.frames - f0, ms: performance.now() - t0, work });
    };
    requestAnimationFrame(sample);
  }));
  const fps = (timing.frames * 1000) / timing.ms;
  const mean = timing.work.reduce((a, b) => a + b, 0) / timing.work.length;
  const worst = Math.max(...timing.work);
  console.log(`frame rate ${fps.toFixed(1)} per second over ${(timing.ms / 1000).toFixed(1)} s; ` +
              `program time per frame: mean ${mean.toFixed(2)} ms, worst ${worst.toFixed(2)} ms`);

  // The throw: a drag down the empty sky on the right, as real mouse events a few frames apart.
  // The box appears beside the point of release, and falls.
  const sky = [640, 40, 790, 260];
  await snap("before");
  const skyBefore = await lit("before", ...sky);
  check(skyBefore === 0, `the sky on the right is empty before the throw (${skyBefore} lit pixels)`);
  const drag = [[720, 60], [740, 90], [760, 120]];
  await page.mouse.move(...at(...drag[0]));
  await waitFrames(2);
  await page.mouse.down();
  for (const p of drag.slice(1)) {
    await waitFrames(2);
    await page.mouse.move(...at(...p));
  }
  await waitFrames(1);
  await page.mouse.up();
  await waitFrames(2);  // the release is seen where it happened
  await page.mouse.move(...at(20, 20));
  await waitFrames(2);
  await snap("after");
  const thrown = await status();
  check(thrown.bodies === start.bodies + 1,
        `the drag threw one box (${start.bodies} -> ${thrown.bodies} bodies)`);
  const skyAfter = await lit("after", ...sky);
  check(skyAfter > 100, `the thrown box is drawn in the sky (${skyAfter} lit pixels)`);
  await waitFrames(20);

  // Space held: each step's collision time, in whole milliseconds, in the page's console panel.
  await page.keyboard.down(" ");
  await waitFrames(3);
  await page.keyboard.up(" ");
  const timings = (await page.locator("#console").textContent()).split("\n")
    .filter((l) => /^\d+$/.test(l)).length;
  check(timings >= 9, `Space prints the collision timings on the page (${timings} lines)`);
  if (screenshot) await page.screenshot({ path: screenshot });

  // Escape ends the simulation, and the page says so.
  await page.keyboard.down("Escape");
  await page.waitForFunction(() => window.sandboxState.stopped, null, { timeout: 10000 });
  await page.keyboard.up("Escape");
  const stopped = (await status()).frames;
  await page.waitForTimeout(500);
  check((await status()).frames === stopped, `no frame runs after Escape (stopped at ${stopped})`);
  const text = await page.locator("#status").textContent();
  check(/stopped/.test(text), `#status says so: "${text}"`);
  check(await page.locator("#ended").isVisible(), "the page says the simulation has ended");

  check(errors.length === 0, `no console errors${errors.length ? ": " + errors.join(" | ") : ""}`);
} finally {
  await browser.close();
  server.close();
}
process.exit(failures === 0 ? 0 : 1);

// Times an HTML report in headless Chromium: the load (navigation to the page's script done, chart drawn),
// the first detail shown (the steps block parsed), and the frame time of a scripted pan: a tenth of the run
// in view, moved across the whole run, each step timed from the call to the end of its redraw.
// Usage: node bench.js REPORT.html [REPETITIONS]   (prints one JSON object per repetition)
'use strict';

const path = require('path');
const { chromium } = require('playwright-core');

const CHROMIUM = process.env.KTR_CHROMIUM || '/usr/bin/chromium';
const PAN_STEPS = 120;

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.floor((sorted.length - 1) * p))];
}

async function measure(browser, file) {
  const page = await browser.newPage({ viewport: { width: 1600, height: 1000 } });
  const started = Date.now();
  await page.goto('file://' + path.resolve(file));
  await page.waitForFunction(() => window.ktrReport !== undefined, null, { timeout: 600000 });
  const loadMs = Date.now() - started;
  const side = await page.evaluate(() => {
    const s = window.ktrReport.sides[0];
    const x = s.plot.data[0];
    return { min: s.plot.scales.x.min, max: s.plot.scales.x.max, points: x.length };
  });
  // The first click parses the steps.
  const middle = side.min + (side.max - side.min) / 2;
  const point = await page.evaluate((x) => window.ktrReport.sides[0].clientPointOf(x), middle);
  const clickStart = Date.now();
  await page.mouse.click(point.x, point.y);
  await page.waitForSelector('.detail article.step');
  const firstDetailMs = Date.now() - clickStart;
  await page.mouse.click(point.x, point.y);  // releases the moment

  // A tenth of the run in view, moved across the whole run in PAN_STEPS steps; each step timed from the
  // call to the end of its redraw (uPlot redraws in a microtask, which runs before the await resumes).
  const frames = await page.evaluate(async ([min, max, steps]) => {
    const s = window.ktrReport.sides[0];
    const span = (max - min) / 10;
    const times = [];
    for (let i = 0; i <= steps; ++i) {
      const from = min + ((max - min - span) * i) / steps;
      const t0 = performance.now();
      s.setView(from, from + span);
      await null;
      times.push(performance.now() - t0);
      await new Promise((resolve) => requestAnimationFrame(resolve));
    }
    return times.sort((a, b) => a - b);
  }, [side.min, side.max, PAN_STEPS]);
  const shown = await page.evaluate(() => window.ktrReport.sides[0].plot.data[0].length);
  await page.close();
  return {
    loadMs,
    firstDetailMs,
    panSteps: frames.length,
    frameMedianMs: +percentile(frames, 0.5).toFixed(2),
    frameP95Ms: +percentile(frames, 0.95).toFixed(2),
    frameMaxMs: +frames[frames.length - 1].toFixed(2),
    pointsAtLoad: side.points,
    pointsWhilePanning: shown,
  };
}

async function main() {
  const [file, repetitions = '3'] = process.argv.slice(2);
  const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true });
  try {
    for (let i = 0; i < Number(repetitions); ++i) {
      console.log(JSON.stringify(await measure(browser, file)));
    }
  } finally {
    await browser.close();
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});

// The HTML reports of ktr in a real browser (Debian's chromium, driven headless by playwright-core): for
// every bundled scenario, meeting and a replay's log, the page loads with no console error and no request,
// the legend names the series the run's other outputs call for, clicking a step shows its answer, its
// rules explained, its log lines as the library wrote them and the state the run had there, a peer
// toggled from the legend leaves the chart; a sweep's page shows its table; hostile texts in
// the input stay text; a diff's page overlays both sides, lists the differing steps and shows both sides of
// one, and holds the metric table of a simulation. The data each chart is given holds every peer's download
// requests and the camera streams by rank as the run answered them, with gaps where there is nothing; the
// opening view of an hour-long meeting is an overview with data in it; a log's summary adds up to its
// page's lanes. A screenshot of every page goes to the scratch folder.
// Usage: node check_reports.js KTR SOURCE_DIR SCRATCH_DIR LIBRARY ALTERED_LIBRARY
//   (exit 77: no chromium, the test is skipped; ALTERED_LIBRARY: tests/support/ktrsdk_altered.cpp's build)
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const CHROMIUM = process.env.KTR_CHROMIUM || '/usr/bin/chromium';
const SKIPPED = 77;
// The meetings' first two minutes: their JSON Lines, with the state after every call, grow by megabytes a
// minute.
const SIM_SECONDS = '120';
const KBIT = 1024;

const [ktr, sourceDir, scratch, library, altered] = process.argv.slice(2);
if (!ktr || !sourceDir || !scratch || !library || !altered) {
  console.error('usage: node check_reports.js KTR SOURCE_DIR SCRATCH_DIR LIBRARY ALTERED_LIBRARY');
  process.exit(2);
}
if (!fs.existsSync(CHROMIUM)) {
  console.log(`SKIP: ${CHROMIUM} is missing; scripts/install-deps.sh installs Debian's chromium`);
  process.exit(SKIPPED);
}
const { chromium } = require(path.join(sourceDir, 'tools/html/web/node_modules/playwright-core'));

fs.rmSync(scratch, { recursive: true, force: true });
fs.mkdirSync(scratch, { recursive: true });

function run(args) {
  execFileSync(ktr, args, { stdio: ['ignore', 'ignore', 'inherit'] });
}

// Runs ktr where exit status 1 is an answer: a diff whose sides differ, a sweep with failed runs.
function runAnswering1(args) {
  try {
    run(args);
    return 0;
  } catch (error) {
    if (error.status === 1) return 1;
    throw error;
  }
}

function runDiff(args) {
  return runAnswering1(['diff', ...args]);
}

function readJsonLines(file) {
  return fs.readFileSync(file, 'utf8').trim().split('\n').map((line) => JSON.parse(line));
}

function bundled(folder) {
  return fs.readdirSync(path.join(sourceDir, folder)).filter((f) => f.endsWith('.json')).sort()
    .map((f) => path.join(sourceDir, folder, f));
}

// The series a timeline's report draws, from its JSON Lines: the share stream and the camera streams by
// rank where upload answers have them (a second only where an answer holds two), each peer's download
// request where an answer names it, and, unless the run samples them, the download estimate, what all
// peers receive and every peer of any state. The steps hold the whole state (--state every).
function expectedSeries(steps, sampled) {
  const names = new Set(sampled ? [] : ['estimate', 'all peers']);
  for (const step of steps) {
    const answer = step.answer;
    if (answer && 'channel' in answer) {
      if (answer.channel === 2) names.add('share');
      else for (let r = 0; r < Math.max(1, (answer.records || []).length); ++r) names.add('camera ' + (r + 1));
    }
    if (step.event === 'download') for (const request of answer.records || []) names.add('request ' + request.uid);
    if (!sampled) for (const uid of Object.keys(step.state.peers || {})) names.add('peer ' + uid);
  }
  return names;
}

// The library's all-zero record ("no result"); a log leaves some fields unknown (null).
function isZeroRecord(record) {
  return record.bitrate === 0 && Object.entries(record).every(([key, v]) => key === 'uid' || v === 0 || v === null);
}

// What the answers put into the chart's series, in kbit/s at each step's x: each download request for its
// peer (a gap for "no result", and once the peer has left), the camera streams by rank (the greater bitrate
// first; a gap for a rank the answer does not hold and for "no result"). Several steps at one x: the last
// answer holds. Returns series name -> Map(x -> value).
function answerPoints(steps, stepX) {
  const points = new Map();
  const put = (name, x, value) => {
    if (!points.has(name)) points.set(name, new Map());
    points.get(name).set(x, value);
  };
  let peersBefore = {};
  let ranks = 0;
  steps.forEach((step, k) => {
    const x = stepX[k];
    for (const uid of Object.keys(peersBefore)) {
      if (!(uid in (step.state.peers || {})) && points.has('request ' + uid)) put('request ' + uid, x, null);
    }
    peersBefore = step.state.peers || {};
    const answer = step.answer;
    if (step.event === 'download' && answer.records) {
      for (const request of answer.records) {
        put('request ' + request.uid, x, isZeroRecord(request) || request.bitrate === null ? null : request.bitrate / KBIT);
      }
    }
    if (answer && answer.channel === 1 && answer.records) {
      const ranked = answer.records.slice().sort((a, b) => b.bitrate - a.bitrate);
      const noResult = ranked.length > 0 && ranked.every(isZeroRecord);
      ranks = Math.max(ranks, ranked.length, 1);
      for (let r = 0; r < ranks; ++r) {
        put('camera ' + (r + 1), x, noResult || r >= ranked.length || ranked[r].bitrate === null ? null : ranked[r].bitrate / KBIT);
      }
    }
  });
  return points;
}

// The chart's data (before any thinning) against the answers: at every step's x the value the answers put
// there, and no change of a request or camera series at an x where no answer (or leave) set it.
async function checkAnswerSeries(page, name, steps) {
  const chart = await page.evaluate(() => window.ktrReport.sides[0].chartData());
  const stepX = await page.evaluate(() => window.ktrReport.sides[0].stepX);
  const xs = chart.data[0];
  const valueAt = (column, x) => {
    let low = 0;
    let high = xs.length;
    while (low < high) {
      const mid = (low + high) >> 1;
      if (xs[mid] <= x) low = mid + 1; else high = mid;
    }
    return low > 0 ? column[low - 1] : null;
  };
  for (const [series, expected] of answerPoints(steps, stepX)) {
    const index = chart.names.indexOf(series);
    if (index < 0) {
      check(`${name}: ${series} is drawn`, false, `series [${chart.names}]`);
      continue;
    }
    const column = chart.data[index + 1];
    const wrong = [...expected].filter(([x, value]) => valueAt(column, x) !== value);
    const changes = [];
    for (let i = 0; i < xs.length; ++i) {
      if (column[i] !== (i ? column[i - 1] : null) && !expected.has(xs[i])) changes.push([xs[i], column[i]]);
    }
    check(`${name}: ${series} holds the answers`, wrong.length === 0 && changes.length === 0,
      `at x: drawn/answered ${JSON.stringify(wrong.slice(0, 5).map(([x, v]) => [x, valueAt(column, x), v]))}, ` +
      `changes where no answer is ${JSON.stringify(changes.slice(0, 5))}`);
  }
}

// A simulation's sampled series, from its --series CSV, and the sum of what the peers receive.
function sampledSeries(csv) {
  const names = new Set();
  for (const line of fs.readFileSync(csv, 'utf8').trim().split('\n').slice(1)) {
    const [, kind, uid] = line.split(',');
    if (kind === 'received') names.add('peer ' + uid).add('all peers');
    else if (kind !== 'freeze' && kind !== 'switch') names.add(kind);
  }
  return names;
}

// A step in the middle of the run with log lines and an answer with records.
function stepToClick(steps) {
  const candidates = steps.filter((s) => s.rules.length && s.answer && Array.isArray(s.answer.records) && s.answer.records.length);
  if (!candidates.length) throw new Error('no step with log lines and answer records');
  return candidates[Math.floor(candidates.length / 2)];
}

// The library's lines of each step, from the log file ktr wrote beside the timeline ("DATE TIME LEVEL ktrsdk
// LINE"): the steps' lines in order, as many for each step as it has rules.
function libraryLinesByStep(logFile, steps) {
  const lines = fs.readFileSync(logFile, 'utf8').split('\n').filter((l) => l.length)
    .map((l) => l.replace(/^\S+ \S+ \S+ ktrsdk /, ''));
  let next = 0;
  const byStep = steps.map((s) => lines.slice(next, (next += s.rules.length)));
  if (next !== lines.length) throw new Error(`${logFile}: ${lines.length} lines for ${next} rules`);
  return byStep;
}

// JSON text with the keys of every object sorted, to compare values whatever their key order.
function canonical(value) {
  if (Array.isArray(value)) return '[' + value.map(canonical).join(',') + ']';
  if (value !== null && typeof value === 'object') {
    return '{' + Object.keys(value).sort().map((k) => JSON.stringify(k) + ':' + canonical(value[k])).join(',') + '}';
  }
  return JSON.stringify(value);
}

const results = [];
function check(name, condition, detail) {
  results.push({ name, ok: Boolean(condition) });
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${name}${condition ? '' : ': ' + detail}`);
}

// Opens a report, counting console errors, page errors and every request other than the page's own.
async function open(browser, html) {
  const page = await browser.newPage({ viewport: { width: 1400, height: 900 } });
  const problems = [];
  const requests = [];
  const url = 'file://' + html;
  page.on('console', (msg) => { if (msg.type() === 'error') problems.push('console: ' + msg.text()); });
  page.on('pageerror', (error) => problems.push('page error: ' + error.message));
  page.on('request', (request) => { if (request.url() !== url) requests.push(request.url()); });
  await page.route('**/*', (route) => (route.request().url() === url ? route.continue() : route.abort()));
  await page.goto(url);
  await page.waitForFunction(() => window.ktrReport !== undefined, null, { timeout: 20000 }).catch(() => {});
  return { page, problems, requests };
}

async function checkLoad(name, opened) {
  const loaded = await opened.page.evaluate(() => window.ktrReport !== undefined);
  check(`${name}: loads`, loaded, 'window.ktrReport is not set');
  check(`${name}: no console error`, opened.problems.length === 0, opened.problems.join('; '));
  check(`${name}: no request`, opened.requests.length === 0, opened.requests.join(', '));
}

// steps: the timeline's JSON Lines with the whole state on every step; logLines: each step's lines as the
// library wrote them, or null where the run has no log file of its own.
async function checkTimeline(browser, name, html, steps, expected, logLines) {
  const opened = await open(browser, html);
  const { page } = opened;
  await checkLoad(name, opened);

  const legend = await page.$$eval('.u-legend .u-series .u-label', (labels) => labels.map((l) => l.textContent));
  const drawn = new Set(legend.slice(1));
  const same = drawn.size === expected.size && [...expected].every((n) => drawn.has(n));
  check(`${name}: legend names the expected series`, same,
    `drawn [${[...drawn].sort()}] expected [${[...expected].sort()}]`);
  await checkAnswerSeries(page, name, steps);

  const target = stepToClick(steps);
  const x = await page.evaluate((index) => {
    const side = window.ktrReport.sides[0];
    const at = side.stepX[index];
    side.setView(at - 5, at + 5);
    return at;
  }, target.step);
  const point = await page.evaluate((at) => window.ktrReport.sides[0].clientPointOf(at), x);
  await page.mouse.click(point.x, point.y);
  const shown = await page.$$eval('.detail article.step', (articles) => articles.map((a) => ({
    step: Number(a.dataset.step),
    log: [...a.querySelectorAll('.log-line')].map((l) => l.textContent),
    why: [...a.querySelectorAll('.rules li')].map((l) => l.textContent),
    rows: [...a.querySelectorAll('table.records tbody tr')].map((r) => [...r.cells].map((c) => c.textContent)),
    state: Object.fromEntries([...a.querySelectorAll('.state details')].map((d) => [d.dataset.key,
      JSON.parse(d.querySelector('pre').textContent)])),
  })));
  const article = shown.find((a) => a.step === target.step);
  check(`${name}: clicking step ${target.step} shows it`, article, `shown steps [${shown.map((a) => a.step)}]`);
  if (article) {
    const index = steps.indexOf(target);
    if (logLines) {
      check(`${name}: step ${target.step}'s log lines are the library's`,
        JSON.stringify(article.log) === JSON.stringify(logLines[index]),
        `shown ${JSON.stringify(article.log)}, logged ${JSON.stringify(logLines[index])}`);
    }
    const whyHolds = article.why.length === target.rules.length &&
      article.why.every((w, i) => w.startsWith(target.rules[i].level + ': ') && !/\{\w+\}/.test(w));
    check(`${name}: step ${target.step}'s rules as level and explanation`, whyHolds, JSON.stringify(article.why));
    check(`${name}: step ${target.step}'s state is the run's`, canonical(article.state) === canonical(target.state),
      `shown ${canonical(article.state).slice(0, 400)}, run ${canonical(target.state).slice(0, 400)}`);
    const bitrates = target.answer.records.map((r) => String(r.bitrate));
    const rowsHold = article.rows.length === target.answer.records.length &&
      article.rows.every((cells, i) => cells.includes(bitrates[i]));
    check(`${name}: step ${target.step}'s answer`, rowsHold, `rows ${JSON.stringify(article.rows)}`);
  }

  // The right arrow moves the moment held to the next step's x: the panel shows the steps there.
  await page.keyboard.press('ArrowRight');
  const stepX = await page.evaluate(() => window.ktrReport.sides[0].stepX);
  const nextX = stepX.find((at) => at > x);
  if (nextX !== undefined) {
    const expectedNext = steps.filter((s, k) => stepX[k] === nextX).map((s) => s.step).slice(0, 20);
    const after = await page.$$eval('.detail article.step', (articles) => articles.map((a) => Number(a.dataset.step)));
    check(`${name}: the right arrow shows the next moment`, JSON.stringify(after) === JSON.stringify(expectedNext),
      `shown [${after}], expected [${expectedNext}]`);
  }
  await page.evaluate(() => window.ktrReport.sides[0].setView(-Infinity, Infinity));
  await page.dblclick('.u-over');
  const peer = legend.slice(1).find((n) => n.startsWith('peer '));
  // A peer's line starts hidden in the overview: shown first, then toggled off.
  if (peer && await page.evaluate((label) => !window.ktrReport.sides[0].plot.series.find((s) => s.label === label).show, peer)) {
    await page.click(`.u-legend .u-series:has(.u-label:text-is("${peer}")) .u-label`);
  }
  if (peer) {
    const before = await page.evaluate(() => window.ktrReport.sides[0].plot.ctx.canvas.toDataURL());
    await page.click(`.u-legend .u-series:has(.u-label:text-is("${peer}")) .u-label`);
    const after = await page.evaluate((label) => {
      const plot = window.ktrReport.sides[0].plot;
      return { shown: plot.series.find((s) => s.label === label).show, image: plot.ctx.canvas.toDataURL() };
    }, peer);
    check(`${name}: toggling ${peer} hides its line`, after.shown === false && after.image !== before,
      `shown ${after.shown}, image changed ${after.image !== before}`);
  }
  await page.screenshot({ path: html.replace(/\.html$/, '.png') });
  await page.close();
}

async function main() {
  const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true });
  try {
    for (const scenario of bundled('examples/scenarios')) {
      const name = 'replay ' + path.basename(scenario, '.json');
      const base = path.join(scratch, name.replace(' ', '-'));
      run(['replay', scenario, '--json', base + '.jsonl', '--state', 'every', '--log-file', base + '.log', '--html',
        base + '.html']);
      const steps = readJsonLines(base + '.jsonl').slice(1);
      await checkTimeline(browser, name, base + '.html', steps, expectedSeries(steps, false),
        libraryLinesByStep(base + '.log', steps));
    }
    for (const meeting of bundled('examples/meetings')) {
      const name = 'sim ' + path.basename(meeting, '.json');
      const base = path.join(scratch, name.replace(' ', '-'));
      run(['sim', meeting, '--duration', SIM_SECONDS, '--json', base + '.jsonl', '--state', 'every', '--series',
        base + '.csv', '--log-file', base + '.log', '--html', base + '.html']);
      const steps = readJsonLines(base + '.jsonl').slice(1);
      const expected = new Set([...expectedSeries(steps, true), ...sampledSeries(base + '.csv')]);
      await checkTimeline(browser, name, base + '.html', steps, expected, libraryLinesByStep(base + '.log', steps));
    }
    for (const scenario of ['team-meeting', 'congested-download']) {
      const name = 'log ' + scenario;
      const base = path.join(scratch, 'log-' + scenario);
      run(['replay', path.join(sourceDir, 'examples/scenarios', scenario + '.json'), '--log-file', base + '.log']);
      run(['log', base + '.log', '--json', base + '.jsonl', '--state', 'every', '--html', base + '.html']);
      const steps = readJsonLines(base + '.jsonl').slice(1);
      await checkTimeline(browser, name, base + '.html', steps, expectedSeries(steps, false), null);
    }
    await checkCongestedRequests();
    await checkOverview(browser);
    checkSummaryAgainstLanes();
    await checkSweep(browser);
    await checkEmptyLog(browser);
    await checkHostileTexts(browser);
    await checkDiffParting(browser);
    await checkDiffSame(browser);
    await checkDiffSim(browser);
  } finally {
    await browser.close();
  }
  const failed = results.filter((r) => !r.ok).length;
  console.log(`${results.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

// The report data a page holds, read as the page reads it.
function reportOf(html) {
  const text = fs.readFileSync(html, 'utf8');
  const start = text.indexOf('<script type="application/json" id="ktr-report">');
  const from = text.indexOf('>', start) + 1;
  return JSON.parse(text.slice(from, text.indexOf('</script>', from)));
}

// The congested download: the library cuts the four peers from 350 kbit/s (358400) to 280, 260 and 245
// kbit/s, then raises three of them to 380 (389120): the requests draw that, not the flat chosen stream.
async function checkCongestedRequests() {
  const side = reportOf(path.join(scratch, 'log-congested-download.html')).sides[0];
  const values = new Set();
  for (const s of side.series) if (s.group === 'request') for (const v of s.y) if (v !== null) values.add(v);
  const expected = [286720, 266240, 250880, 389120];
  check('log congested-download: the requests show the cuts and raises', expected.every((v) => values.has(v)),
    `request values [${[...values]}]`);
}

// An hour of the large meeting: the opening view, unzoomed, is the overview: a lane per peer with what it
// receives, filled in, and the line of what all peers receive, with data in view; the peers' own lines wait
// in the legend.
async function checkOverview(browser) {
  const name = 'sim large-meeting hour';
  const base = path.join(scratch, 'sim-large-hour');
  run(['sim', path.join(sourceDir, 'examples/meetings/large-meeting.json'), '--duration', '3600', '--html',
    base + '.html']);
  const opened = await open(browser, base + '.html');
  const { page } = opened;
  await checkLoad(name, opened);
  const seen = await page.evaluate(() => {
    const side = window.ktrReport.sides[0];
    const { plot } = side;
    const view = side.view();
    const total = plot.series.findIndex((s) => s.label === 'all peers');
    const shownValues = total < 0 ? [] : plot.data[total].filter((v) => v !== null && v > 0);
    const lanes = window.ktrReport.report.sides[0].lanes.filter((lane) => lane.kind === 'received');
    const canvas = document.querySelector('.chart canvas.lanes');
    const ctx = canvas.getContext('2d');
    const ratio = devicePixelRatio;
    const left = Math.ceil(plot.bbox.left / ratio + 1) * ratio;
    const width = Math.floor(plot.bbox.width) - 2 * ratio;
    const rows = window.ktrReport.report.sides[0].lanes.map((lane, row) => {
      if (lane.kind !== 'received') return null;
      const pixels = ctx.getImageData(left, Math.round((row * 14 + 7) * ratio), width, 1).data;
      const colours = new Set();
      for (let i = 0; i < pixels.length; i += 4) colours.add(pixels[i] + ',' + pixels[i + 1] + ',' + pixels[i + 2]);
      return colours.size;
    }).filter((n) => n !== null);
    return {
      overview: side.overview,
      view,
      end: window.ktrReport.report.sides[0].end,
      totalShown: total >= 0 && plot.series[total].show,
      shownValues: shownValues.length,
      lanes: lanes.length,
      lanesInView: lanes.filter((lane) => lane.spans.some(([from, to]) => to > view.min && from < view.max)).length,
      rowColours: rows,
      peerLinesHidden: plot.series.filter((s) => /^(peer|request) /.test(s.label)).every((s) => !s.show),
      capacity: Object.fromEntries(plot.series.filter((s) => /^capacity/.test(s.label)).map((s) => [s.label, s.show])),
    };
  });
  check(`${name}: opens on the whole hour`, seen.view.min <= 0 && seen.view.max >= seen.end && seen.end > 3599 &&
    seen.overview, JSON.stringify(seen));
  check(`${name}: the line of all peers is shown with data in view`, seen.totalShown && seen.shownValues > 0,
    JSON.stringify(seen));
  check(`${name}: a lane for each of the 24 peers, in view`, seen.lanes === 24 && seen.lanesInView === 24,
    JSON.stringify(seen));
  // Each lane row, drawn: the lane's background and at least one class's colour.
  check(`${name}: every peer's lane is filled in`, seen.rowColours.length === 24 && seen.rowColours.every((n) => n >= 2),
    JSON.stringify(seen.rowColours));
  check(`${name}: the peers' own lines wait in the legend`, seen.peerLinesHidden, JSON.stringify(seen));
  // With the capacity smoothed over a second sampled, it is shown and the raw series waits in the legend.
  if ('capacity_1s' in seen.capacity) {
    check(`${name}: the smoothed capacity is shown, the raw one hidden`,
      seen.capacity.capacity_1s === true && seen.capacity.capacity === false, JSON.stringify(seen.capacity));
  }
  await page.screenshot({ path: base + '.png', fullPage: true });
  await page.close();
}

// The log of an hour of the large meeting, where uid 4 leaves at 2400 s: the summary's time per peer and
// class equals the page's lanes, and uid 4 is gone for the rest of the hour.
function checkSummaryAgainstLanes() {
  const name = 'log large-meeting hour';
  const base = path.join(scratch, 'log-large-hour');
  run(['sim', path.join(sourceDir, 'examples/meetings/large-meeting.json'), '--duration', '3600', '--log-file',
    base + '.log']);
  run(['log', base + '.log', '--summary', base + '-summary.json', '--html', base + '.html']);
  const summary = JSON.parse(fs.readFileSync(base + '-summary.json', 'utf8'));
  const lanes = reportOf(base + '.html').sides[0].lanes.filter((lane) => lane.kind === 'received');
  const fromLanes = new Map(lanes.map((lane) => {
    const times = {};
    for (const [from, to, label] of lane.spans) times[label] = (times[label] || 0) + (to - from);
    return [String(lane.uid), times];
  }));
  const differing = [];
  for (const peer of summary.peers) {
    const times = Object.assign({}, peer.time_at_resolution, peer.time_with_nothing);
    if (peer.time_unknown > 0) times.unknown = peer.time_unknown;
    const drawn = fromLanes.get(String(peer.uid)) || {};
    const labels = new Set([...Object.keys(times), ...Object.keys(drawn)]);
    for (const label of labels) {
      if (Math.abs((times[label] || 0) - (drawn[label] || 0)) > 1e-6) differing.push([peer.uid, label, times[label], drawn[label]]);
    }
  }
  check(`${name}: the summary's times are the lanes'`, differing.length === 0 && summary.peers.length === lanes.length,
    `${summary.peers.length} peers, ${lanes.length} lanes; differing ${JSON.stringify(differing.slice(0, 5))}`);
  const four = summary.peers.find((p) => p.uid === 4);
  const left = four ? four.time_with_nothing.left : undefined;
  check(`${name}: uid 4 has left for the last ${summary.last_time - 2400} s`, left === summary.last_time - 2400,
    JSON.stringify(four));
}

async function checkSweep(browser) {
  const name = 'sim sweep';
  const base = path.join(scratch, 'sim-sweep');
  run(['sim', path.join(sourceDir, 'examples/meetings/one-to-one-phone.json'), '--traces',
    path.join(sourceDir, 'examples/traces'), '--duration', '30', '--summary', base + '.json', '--html', base + '.html',
    '--results', base + '.jsonl']);
  const table = JSON.parse(fs.readFileSync(base + '.json', 'utf8'));
  const opened = await open(browser, base + '.html');
  await checkLoad(name, opened);
  const metrics = await opened.page.$$eval('.sweep-table tbody tr', (rows) => rows.map((r) => r.cells[0].textContent));
  check(`${name}: a row per metric`, JSON.stringify(metrics) === JSON.stringify(table.metrics.map((m) => m.metric)),
    `rows ${JSON.stringify(metrics)}`);
  await checkMetricPage(name, opened.page, '.sweep-table', table.metrics, table.warning,
    table.metrics.map((m) => [m.per_run]));
  const runs = await opened.page.$$eval('.per-run tbody tr', (rows) => rows.map((r) => [...r.cells].map((c) => c.textContent)));
  check(`${name}: a row per run, labelled`, JSON.stringify(runs.map((r) => r[0])) === JSON.stringify(table.run_labels),
    JSON.stringify(runs));
  check(`${name}: each run's row holds its values`, runs.every((r, k) => table.metrics.every((m, j) =>
    r[j + 1] === formatted(m.per_run[k]))), JSON.stringify(runs));
  await opened.page.screenshot({ path: base + '.png', fullPage: true });
  await opened.page.close();
  await checkFailedRuns(browser, base);
}

// The sweep's results with its first run turned into a failed one whose reason is hostile: the merge's page
// lists it as text, under a line that counts the failed runs.
async function checkFailedRuns(browser, base) {
  const name = 'sim sweep with a failed run';
  const lines = fs.readFileSync(base + '.jsonl', 'utf8').split('\n').filter((line) => line !== '');
  const first = JSON.parse(lines[1]);
  const reason = 'its summary: not JSON: <img src=x onerror="window.injected=1">\u001b[2J';
  lines[1] = JSON.stringify({ run: first.run, index: first.index, summary: null,
    failed: { reason, stderr: '</script><script>window.injected=1</script>', meeting: 'm.json', trace: first.run,
      seed: 1, command: [] } });
  fs.writeFileSync(base + '-failed.jsonl', lines.join('\n') + '\n');
  const status = runAnswering1(['sim', '--merge', base + '-failed.jsonl', '--summary', base + '-failed.json', '--html',
    base + '-failed.html']);
  check(`${name}: the merge exits with status 1`, status === 1, String(status));
  const table = JSON.parse(fs.readFileSync(base + '-failed.json', 'utf8'));
  const opened = await open(browser, base + '-failed.html');
  await checkLoad(name, opened);
  const rows = await opened.page.$$eval('.failed-runs tbody tr', (trs) => trs.map((r) => [...r.cells].map((c) => c.textContent)));
  check(`${name}: a row per failed run`, JSON.stringify(rows) ===
    JSON.stringify(table.failed.map((f) => [f.run, String(f.index), f.reason])) && rows.length === 1 &&
    rows[0][2] === reason, JSON.stringify(rows));
  const counted = await opened.page.$$eval('.sweep p.warning', (ps) => ps.map((p) => p.textContent));
  check(`${name}: the failed runs are counted`, counted.includes(`1 of ${table.runs + 1} runs failed and are left out ` +
    'of the table:'), JSON.stringify(counted));
  check(`${name}: the reason stays text`, !(await opened.page.evaluate(() => window.injected)) &&
    (await opened.page.$$('.failed-runs img')).length === 0, 'the reason was run');
  await opened.page.close();
}

// The page's way of showing a number in its tables.
function formatted(value) {
  if (value === null || value === undefined) return '-';
  return Number.isInteger(value) ? String(value) : value.toFixed(2);
}

// A table of metrics (rows in the order of metrics): each metric's definition over its name, the warning
// shown when the data has one, and a CDF per metric drawn through each series' values (valuesOf[k]: one list
// per series), sorted.
async function checkMetricPage(name, page, tableClass, metrics, warning, valuesOf) {
  const titles = await page.$$eval(tableClass + ' tbody tr', (rows) => rows.map((r) => r.cells[0].title));
  check(`${name}: each metric's definition over its name`,
    JSON.stringify(titles) === JSON.stringify(metrics.map((m) => m.definition)), JSON.stringify(titles));
  check(`${name}: the data has the warning of few runs`, typeof warning === 'string' && warning.startsWith('warning: '),
    String(warning));
  const shown = await page.$$eval('.warning', (nodes) => nodes.map((n) => n.textContent));
  check(`${name}: the page shows the warning`, JSON.stringify(shown) === JSON.stringify([warning]), JSON.stringify(shown));
  const cdfs = await page.evaluate(() => window.ktrReport.cdfs);
  check(`${name}: a CDF per metric`, JSON.stringify(cdfs.map((c) => c.metric)) === JSON.stringify(metrics.map((m) => m.metric)),
    JSON.stringify(cdfs.map((c) => c.metric)));
  cdfs.forEach((cdf, k) => {
    const expected = valuesOf[k].map((values) => values.filter((v) => v !== null).sort((a, b) => a - b));
    check(`${name}: the CDF of ${cdf.metric} runs through its values, sorted`,
      JSON.stringify(cdf.series.map((s) => s.x)) === JSON.stringify(expected) &&
      cdf.series.every((s) => s.y.every((y, i) => y === (i + 1) / s.x.length)), JSON.stringify(cdf.series));
  });
  const charts = await page.$$eval('.cdf .uplot', (nodes) => nodes.length);
  const drawable = valuesOf.filter((series) => series.some((values) => values.some((v) => v !== null))).length;
  check(`${name}: a chart for every metric some run defines`, charts === drawable, `${charts} charts, ${drawable} metrics`);
}

// A log without a line of the library: a page with no step and no series still loads cleanly.
async function checkEmptyLog(browser) {
  const base = path.join(scratch, 'empty-log');
  fs.writeFileSync(base + '.log', '2024-03-01 10:00:00.000 I net nothing of the library\n');
  run(['log', base + '.log', '--html', base + '.html']);
  const opened = await open(browser, base + '.html');
  await checkLoad('empty log', opened);
  const box = await opened.page.$('.u-over');
  await box.click();
  const detail = await opened.page.$eval('.detail', (node) => node.textContent);
  check('empty log: the detail says there is no step', detail.includes('no step'), detail);
  await opened.page.close();
}

// A scenario whose name and an added user's text, and a log line, try to close the data's element and run
// a script.
async function checkHostileTexts(browser) {
  const payload = '</script><script>window.__ktrInjected = 1</script><img src=x onerror=window.__ktrInjected=2>';
  const base = path.join(scratch, 'hostile');
  const scenario = JSON.parse(fs.readFileSync(path.join(sourceDir, 'examples/scenarios/one-to-one-phone.json'), 'utf8'));
  scenario.name = payload;
  scenario.steps.unshift({ step: 'addUser', uid: 4242, dt: 8, ext: payload });
  fs.writeFileSync(base + '.json', JSON.stringify(scenario));
  run(['replay', base + '.json', '--log-file', base + '.log', '--html', base + '-replay.html']);
  const lines = fs.readFileSync(base + '.log', 'utf8').trim().split('\n');
  const hostileLog = lines.map((line, i) => (i === 0 ? line + ' ' + payload : line));
  fs.writeFileSync(base + '.log', hostileLog.join('\n') + '\n');
  run(['log', base + '.log', '--html', base + '-log.html']);

  for (const [name, html, where] of [['hostile scenario name', base + '-replay.html', 'h1'],
    ['hostile user text', base + '-replay.html', '.detail'], ['hostile log line', base + '-log.html', '.remarks']]) {
    const opened = await open(browser, html);
    const { page } = opened;
    await checkLoad(name, opened);
    if (where === '.detail') {
      const point = await page.evaluate(() => window.ktrReport.sides[0].clientPointOf(1));
      await page.mouse.click(point.x, point.y);
    }
    const text = await page.$eval(where, (node) => node.textContent);
    const injected = await page.evaluate(() => window.__ktrInjected);
    check(`${name}: runs nothing`, injected === undefined, `window.__ktrInjected = ${injected}`);
    check(`${name}: shows as text`, text.includes(payload), `text ${JSON.stringify(text.slice(0, 300))}`);
    await page.close();
  }
}

// The scenario on which the stand-in build parts from the real one: it alters the download answer's
// "changed" once the host sets scene type 7 (step 5), so steps 6 and 8 differ.
function writePartingScenario(file) {
  const streams = [
    { width: 1280, height: 720, fps: 30, bitrate: 716800, maxbitrate: 1024000, minbitrate: 512000 },
    { width: 320, height: 240, fps: 15, bitrate: 204800, maxbitrate: 256000, minbitrate: 102400 }];
  fs.writeFileSync(file, JSON.stringify({
    name: 'scene type 7 </script><b>', local: { uid: 1001, dt: 8 }, steps: [
      { step: 'addUser', uid: 2002, dt: 8 }, { step: 'setUsers', users: [{ uid: 2002, dt: 8 }] },
      { step: 'peerReport', uid: 2002, streams }, { step: 'download' }, { step: 'sceneType', value: 7 },
      { step: 'download' }, { step: 'hdld' }, { step: 'download' }],
  }));
}

async function legendOf(page) {
  return page.$$eval('.u-legend .u-series .u-label', (labels) => labels.map((l) => l.textContent));
}

async function checkDiffParting(browser) {
  const name = 'diff parting';
  const base = path.join(scratch, 'diff-parting');
  writePartingScenario(base + '.json');
  const status = runDiff(['--a', library, '--b', altered, '--all', base + '.json', '--json', base + '-diff.json',
    '--html', base + '.html']);
  check(`${name}: ktr diff finds the sides differ`, status === 1, `exit ${status}`);
  const expected = JSON.parse(fs.readFileSync(base + '-diff.json', 'utf8')).scenarios[0].differences;
  const opened = await open(browser, base + '.html');
  const { page } = opened;
  await checkLoad(name, opened);
  const legend = await legendOf(page);
  check(`${name}: the legend names both sides' peer`, legend.includes('A peer 2002') && legend.includes('B peer 2002'),
    `legend [${legend}]`);
  const heading = await page.$eval('.diff-scenario h2', (h) => h.textContent);
  check(`${name}: the hostile scenario name shows as text`, heading.includes('scene type 7 </script><b>'), heading);
  const listed = await page.$$eval('.difference-list li', (items) => items.map((i) => Number(i.dataset.step)));
  check(`${name}: the list holds the differing steps`,
    JSON.stringify(listed) === JSON.stringify(expected.map((d) => d.step)) && listed.includes(6), `listed [${listed}]`);
  await page.click('.difference-list li[data-step="6"] button');
  const shown = await page.$$eval('.detail .diff-side', (sides) => sides.map((side) => ({
    step: Number(side.querySelector('article.step') && side.querySelector('article.step').dataset.step),
    answer: side.querySelector('.answer') ? side.querySelector('.answer').textContent : '',
    state: side.querySelector('.state details[data-key="peers"] pre') ?
      JSON.parse(side.querySelector('.state details[data-key="peers"] pre').textContent) : null,
  })));
  const fields = await page.$eval('.detail .fields', (p) => p.textContent).catch(() => '');
  const six = expected.find((d) => d.step === 6);
  const changedOf = (answer) => 'changed: ' + answer.changed;
  check(`${name}: clicking step 6 shows both sides`, shown.length === 2 && shown.every((s) => s.step === 6),
    JSON.stringify(shown));
  check(`${name}: both sides' answers`, shown.length === 2 && shown[0].answer.includes(changedOf(six.a.answer)) &&
    shown[1].answer.includes(changedOf(six.b.answer)), JSON.stringify(shown));
  check(`${name}: the differing field`, fields.includes('changed'), fields);
  // Both sides receive peer 2002 on its upper stream by step 6: the state panels show it.
  check(`${name}: both sides' state after step 6`, shown.length === 2 && shown.every((s) => s.state &&
    s.state['2002'] && s.state['2002'].received === true && s.state['2002'].chosen.bitrate === 716800),
  JSON.stringify(shown.map((s) => s.state)));
  const peer = 'B peer 2002';
  const before = await page.evaluate(() => window.ktrReport.scenarios[0].plot.ctx.canvas.toDataURL());
  await page.click(`.diff-scenario .u-legend .u-series:has(.u-label:text-is("${peer}")) .u-label`);
  const hidden = await page.evaluate((label) => {
    const plot = window.ktrReport.scenarios[0].plot;
    return { shown: plot.series.find((s) => s.label === label).show, image: plot.ctx.canvas.toDataURL() };
  }, peer);
  hidden.changed = hidden.image !== before;
  delete hidden.image;
  check(`${name}: toggling ${peer} hides its line`, hidden.shown === false && hidden.changed, JSON.stringify(hidden));
  await page.screenshot({ path: base + '.png', fullPage: true });
  await page.close();
}

async function checkDiffSame(browser) {
  const name = 'diff same';
  const base = path.join(scratch, 'diff-same');
  const scenario = path.join(sourceDir, 'examples/scenarios/team-meeting.json');
  const status = runDiff(['--a', library, '--b', library, scenario, '--html', base + '.html']);
  check(`${name}: ktr diff finds the sides the same`, status === 0, `exit ${status}`);
  const opened = await open(browser, base + '.html');
  const { page } = opened;
  await checkLoad(name, opened);
  const legend = await legendOf(page);
  const peers = legend.filter((l) => / peer /.test(l));
  check(`${name}: a chart with both sides' peers`, peers.some((l) => l.startsWith('A ')) &&
    peers.some((l) => l.startsWith('B ')), `legend [${legend}]`);
  const listed = await page.$$eval('.difference-list li', (items) => items.length);
  check(`${name}: an empty list of differences`, listed === 0, `${listed} entries`);
  await page.screenshot({ path: base + '.png', fullPage: true });
  await page.close();
}

async function checkDiffSim(browser) {
  const name = 'diff sim';
  const base = path.join(scratch, 'diff-sim');
  runDiff(['--a', library, '--b', altered, '--sim', path.join(sourceDir, 'examples/meetings/one-to-one-phone.json'),
    '--traces', path.join(sourceDir, 'examples/traces'), '--duration', '20', '--json', base + '.json', '--html',
    base + '.html']);
  const sim = JSON.parse(fs.readFileSync(base + '.json', 'utf8')).sim;
  const opened = await open(browser, base + '.html');
  await checkLoad(name, opened);
  const rows = await opened.page.$$eval('.sim-table tbody tr', (trs) => trs.map((r) => [...r.cells].map((c) => c.textContent)));
  check(`${name}: a row per metric`, JSON.stringify(rows.map((r) => r[0])) === JSON.stringify(sim.metrics.map((m) => m.metric)),
    `rows ${JSON.stringify(rows)}`);
  check(`${name}: each row's verdict`, rows.every((r, i) => r[7] === (sim.metrics[i].verdict || '-')), JSON.stringify(rows));
  await checkMetricPage(name, opened.page, '.sim-table', sim.metrics, sim.warning,
    sim.metrics.map((m) => [m.per_trace.a, m.per_trace.b]));
  const traces = await opened.page.$$eval('.per-trace tbody tr', (trs) => trs.map((r) => [r.cells[0].textContent, r.cells[1].textContent]));
  check(`${name}: two rows per trace, A's then B's`, JSON.stringify(traces) ===
    JSON.stringify(sim.traces.flatMap((t) => [[t, 'A'], [t, 'B']])), JSON.stringify(traces));
  await opened.page.screenshot({ path: base + '.png', fullPage: true });
  await opened.page.close();
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});

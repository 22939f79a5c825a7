// The page of a ktr HTML report. It reads the data blocks that ktr wrote into the page and draws, with
// uPlot, each side's series over the time axis, its lanes and markers, and beside the chart the steps at
// the moment hovered or clicked. Every text of the data is inserted with textContent, never as markup.
(function () {
  'use strict';

  const KBIT = 1024;
  const LINK_COLORS = { capacity: '#c7c7c7', capacity_1s: '#4d4d4d', estimate: '#d62728', demand: '#ff7f0e',
    delivered: '#2ca02c' };
  const UPLOAD_COLORS = { 'camera 1': '#1f77b4', 'camera 2': '#6baed6', share: '#9467bd' };
  const TOTAL_COLOR = '#000000';
  // What a peer is received at, when it is nothing: the lanes' colours for each reason.
  const NOTHING_COLORS = { 'not yet joined': '#e7e7e7', left: '#8c8c8c', 'no report': '#fdd49e',
    'not received': '#fcae91', 'nothing chosen': '#de2d26', unknown: '#ffffff' };
  // Resolutions received, from the smallest to the largest.
  const RESOLUTION_COLORS = ['#c7e9c0', '#a1d99b', '#74c476', '#41ab5d', '#238b45', '#006d2c', '#00441b'];
  const SCENE_LANE_COLOR = '#aec7e8';
  const MARKER_COLORS = { freeze: '#d00000', switch: '#555555', 'no result': '#d00000', HD: '#2ca02c', LD: '#e6550d' };
  // The opening view of a timeline with more peers or steps than this is the overview: the lanes, what all
  // peers receive and the link, each peer's lines hidden until picked in the legend.
  const OVERVIEW_PEERS = 6;
  const OVERVIEW_STEPS = 5000;
  const LANE_HEIGHT = 14;
  const LANE_LABEL_WIDTH = 90;
  const POINTS_PER_PIXEL = 2;  // display decimation keeps at most this many points per pixel column
  const MOMENT_STEPS = 20;     // steps listed for one moment at most
  const ZOOM_FACTOR = 1.25;
  const RECORD_COLUMNS = ['uid', 'width', 'height', 'fps', 'bitrate', 'minbitrate', 'maxbitrate', 'channel', 'dft'];

  function el(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    return node;
  }

  function readJson(id, reviver) {
    const block = document.getElementById(id);
    return block ? JSON.parse(block.textContent, reviver) : null;
  }

  // A block of steps: their JSON deflated and in base64.
  function readSteps(id, reviver) {
    const block = document.getElementById(id);
    if (!block) return null;
    const bytes = Uint8Array.from(atob(block.textContent), (c) => c.charCodeAt(0));
    return JSON.parse(pako.inflate(bytes, { to: 'string' }), reviver);
  }

  // Steps keep integers beyond what a double holds exactly (64-bit uids) as their digits, so that the log
  // lines printed from them match the library's.
  function keepLongIntegers(key, value, context) {
    if (typeof value === 'number' && !Number.isSafeInteger(value) && context && /^-?[0-9]+$/.test(context.source)) {
      return context.source;
    }
    return value;
  }

  // The first index whose value is greater than x (values ascending).
  function upperBound(values, x) {
    let low = 0;
    let high = values.length;
    while (low < high) {
      const mid = (low + high) >> 1;
      if (values[mid] <= x) low = mid + 1; else high = mid;
    }
    return low;
  }

  // The first index whose value (key of the item) is not less than x (values ascending).
  function lowerBound(values, x, key = (value) => value) {
    let low = 0;
    let high = values.length;
    while (low < high) {
      const mid = (low + high) >> 1;
      if (key(values[mid]) < x) low = mid + 1; else high = mid;
    }
    return low;
  }

  // Aligns the series' change points on one x axis; each value holds until the series' next point.
  function alignSeries(series) {
    const xs = new Set();
    for (const s of series) for (const x of s.x) xs.add(x);
    const x = Float64Array.from(xs).sort();
    const columns = series.map((s) => {
      const column = new Array(x.length).fill(null);
      let next = 0;
      let value = null;
      for (let i = 0; i < x.length; ++i) {
        while (next < s.x.length && s.x[next] <= x[i]) {
          value = s.y[next] === null ? null : s.y[next] / KBIT;
          ++next;
        }
        column[i] = value;
      }
      return column;
    });
    return [Array.from(x), ...columns];
  }

  // The points shown between min and max: all of them when they fit, else per bucket of indices its first
  // and last x carrying each series' lowest and highest value, so that peaks stay visible.
  function decimate(full, min, max, width) {
    const x = full[0];
    const from = Math.max(0, upperBound(x, min) - 1);
    const to = Math.min(x.length, upperBound(x, max) + 1);
    const budget = Math.max(2, Math.floor(width * POINTS_PER_PIXEL));
    if (to - from <= budget) return full.map((column) => column.slice(from, to));
    const buckets = Math.floor(budget / 2);
    const size = (to - from) / buckets;
    const out = full.map(() => []);
    for (let b = 0; b < buckets; ++b) {
      const first = from + Math.floor(b * size);
      const last = Math.min(to, from + Math.floor((b + 1) * size)) - 1;
      if (last < first) continue;
      out[0].push(x[first], x[last]);
      for (let s = 1; s < full.length; ++s) {
        const column = full[s];
        let low = null;
        let high = null;
        for (let i = first; i <= last; ++i) {
          const v = column[i];
          if (v === null) continue;
          if (low === null || v < low) low = v;
          if (high === null || v > high) high = v;
        }
        out[s].push(low, last > first ? high : low);
      }
    }
    return out;
  }

  // The k-th peer's colour: hues a golden angle apart from cyan (the link's red and black stay apart), two
  // lightnesses, so that 25 peers stay distinct.
  function peerColor(k) {
    return 'hsl(' + ((190 + k * 137.508) % 360).toFixed(1) + ', 70%, ' + (k % 2 ? 34 : 48) + '%)';
  }

  // The uid a peer's series or lane is named after ("peer 7", "request 7"), else null.
  function uidOf(name) {
    const match = /^(?:peer|request) ([0-9]+)$/.exec(name);
    return match ? match[1] : null;
  }

  function colorOf(series, peerIndex) {
    if (series.group === 'link') return LINK_COLORS[series.name] || '#000000';
    if (series.group === 'upload') return UPLOAD_COLORS[series.name] || '#1f77b4';
    if (series.group === 'total') return TOTAL_COLOR;
    return peerColor(peerIndex.get(uidOf(series.name)) || 0);
  }

  // The colour of every class the received lanes hold: the resolutions by pixel count, nothing by reason.
  function classColors(lanes) {
    const resolutions = new Set();
    for (const lane of lanes) {
      if (lane.kind !== 'received') continue;
      for (const span of lane.spans) if (!(span[2] in NOTHING_COLORS)) resolutions.add(span[2]);
    }
    const pixels = (label) => label.split('x').reduce((a, b) => a * Number(b), 1);
    const sorted = [...resolutions].sort((a, b) => pixels(a) - pixels(b));
    const colors = new Map(Object.entries(NOTHING_COLORS));
    sorted.forEach((label, k) => {
      const at = sorted.length === 1 ? RESOLUTION_COLORS.length - 2
        : Math.round((k * (RESOLUTION_COLORS.length - 1)) / (sorted.length - 1));
      colors.set(label, RESOLUTION_COLORS[at]);
    });
    return colors;
  }


  function formatNumber(value) {
    if (value === null || value === undefined) return '-';
    if (typeof value !== 'number') return String(value);
    return Number.isInteger(value) ? String(value) : value.toFixed(2);
  }

  // --- the detail panel -------------------------------------------------------------------------------

  function answerTable(answer) {
    const box = el('div', 'answer');
    if (answer === null || answer === undefined) {
      box.appendChild(el('p', 'muted', 'an event: no answer'));
      return box;
    }
    const facts = [];
    for (const key of ['channel', 'changed']) {
      if (key in answer) facts.push(key + ': ' + formatNumber(answer[key]));
    }
    if ('hd' in answer) facts.push('HD: ' + (answer.hd === null ? 'unknown' : answer.hd.join(', ') || 'none'));
    if ('ld' in answer) facts.push('LD: ' + (answer.ld === null ? 'unknown' : answer.ld.join(', ') || 'none'));
    if (facts.length) box.appendChild(el('p', null, facts.join('   ')));
    const records = answer.records;
    if (Array.isArray(records) && records.length) {
      const columns = RECORD_COLUMNS.filter((key) => records.some((record) => key in record));
      for (const record of records) for (const key of Object.keys(record)) if (!columns.includes(key)) columns.push(key);
      const table = el('table', 'records');
      const head = table.createTHead().insertRow();
      for (const key of columns) head.appendChild(el('th', null, key));
      const body = table.createTBody();
      for (const record of records) {
        const row = body.insertRow();
        for (const key of columns) row.appendChild(el('td', null, record[key] === null ? 'unknown' : formatNumber(record[key])));
      }
      box.appendChild(table);
    } else if (records !== undefined) {
      box.appendChild(el('p', 'muted', records === null ? 'records: unknown' : 'no record'));
    }
    return box;
  }

  function textList(className, title, texts) {
    const section = el('section', className);
    section.appendChild(el('h4', null, title));
    const list = el('ul');
    for (const text of texts) list.appendChild(el('li', null, text));
    section.appendChild(list);
    return section;
  }

  // --- a timeline's steps, rules and state ----------------------------------------------------------

  // A line's text from its catalogue entry: %s the tag, %d and %llu the values in order, %% a percent sign.
  function printFormat(format, tag, values) {
    let next = 0;
    return format.replace(/%(%|s|d|llu)/g, (match, conversion) => {
      if (conversion === '%') return '%';
      if (conversion === 's') return tag;
      return String(values[next++]);
    });
  }

  // An explanation with each {name} replaced by the field's value; a placeholder without a field stays.
  function fillExplanation(explanation, fields) {
    return explanation.replace(/\{([^}]*)\}/g, (match, name) => (name in fields ? String(fields[name]) : match));
  }

  // A state with a step's changes applied: each section's keys replaced, peers by uid (null: forgotten).
  function applyChange(state, change) {
    const next = Object.assign({}, state);
    for (const [key, value] of Object.entries(change)) {
      if (key === 'peers') {
        const peers = Object.assign({}, state.peers);
        for (const [uid, peer] of Object.entries(value)) {
          if (peer === null) delete peers[uid]; else peers[uid] = Object.assign({}, peers[uid], peer);
        }
        next.peers = peers;
      } else if (value !== null && typeof value === 'object' && !Array.isArray(value)) {
        next[key] = Object.assign({}, state[key], value);
      } else {
        next[key] = value;
      }
    }
    return next;
  }

  // One timeline of the page: its steps in blocks (each parsed when one of its steps is first shown), the
  // log catalogue of its header, and the state after any step, rebuilt from its block's first step (which
  // holds the whole state) and the changes after it.
  function timelineOf(side) {
    const blocks = new Map();
    const perBlock = side.stepsPerBlock;
    const catalogue = new Map((side.timeline.catalogue || []).map((entry) => [entry.id, entry]));
    const every = side.timeline.state === 'every';
    let cached = null;  // the last state rebuilt: {k, state}
    const stepOf = (k) => {
      const block = Math.floor(k / perBlock);
      if (!blocks.has(block)) blocks.set(block, readSteps(side.blocks + '-' + block, keepLongIntegers) || []);
      return blocks.get(block)[k - block * perBlock];
    };
    return {
      count: side.stepX.length,
      stepOf,
      stateAt(k) {
        if (every) return stepOf(k).state;
        const first = k - (k % perBlock);
        let from = first;
        let state = {};
        if (cached && cached.k >= first && cached.k <= k) {
          from = cached.k + 1;
          state = cached.state;
        }
        for (let i = from; i <= k; ++i) state = applyChange(i === first ? {} : state, stepOf(i).state);
        cached = { k, state };
        return state;
      },
      // Each rule as its log line and its "level: explanation", from the catalogue and the field values.
      rulesOf(step) {
        return step.rules.map((rule) => {
          const entry = rule.format_id === null ? undefined : catalogue.get(rule.format_id);
          if (!entry) return { line: rule.text || rule.format_id, why: rule.level + ': ' + side.unknownLine };
          const values = entry.fields.map((name) => rule.fields[name]);
          return { line: printFormat(entry.format, entry.tag, values),
            why: rule.level + ': ' + fillExplanation(entry.explanation, rule.fields) };
        });
      },
    };
  }

  // The state after a step: a section per part, the scene and the estimates open.
  function stateSection(state) {
    const section = el('section', 'state');
    section.appendChild(el('h4', null, 'state after the step'));
    for (const [key, value] of Object.entries(state)) {
      const part = el('details', 'state-part');
      part.dataset.key = key;
      part.open = key !== 'peers' && key !== 'select_requests';
      const count = Array.isArray(value) ? value.length : key === 'peers' ? Object.keys(value).length : null;
      part.appendChild(el('summary', null, count === null ? key : key + ' (' + count + ')'));
      part.appendChild(el('pre', null, JSON.stringify(value, null, 1)));
      section.appendChild(part);
    }
    return section;
  }

  // Step k of a timeline.
  function stepView(timeline, k, axis) {
    const step = timeline.stepOf(k);
    const view = el('article', 'step');
    view.dataset.step = String(step.step);
    const where = axis === 'step' ? 'step ' + step.step : 'step ' + step.step + ' at ' + formatNumber(step.time) + ' s';
    view.appendChild(el('h3', null, where + ': ' + step.event));
    const input = el('section', 'input');
    input.appendChild(el('h4', null, 'input'));
    input.appendChild(el('pre', null, JSON.stringify(step.input, null, 1)));
    view.appendChild(input);
    const answer = el('section', 'answer-section');
    answer.appendChild(el('h4', null, 'answer'));
    answer.appendChild(answerTable(step.answer));
    view.appendChild(answer);
    const rules = timeline.rulesOf(step);
    if (rules.length) view.appendChild(textList('rules', 'why', rules.map((r) => r.why)));
    if (step.notes && step.notes.length) view.appendChild(textList('notes', 'notes', step.notes));
    if (step.mismatches && step.mismatches.length) view.appendChild(textList('mismatches', 'mismatches', step.mismatches));
    const log = el('section', 'log');
    log.appendChild(el('h4', null, 'log lines'));
    if (rules.length === 0) log.appendChild(el('p', 'muted', 'none'));
    for (const rule of rules) log.appendChild(el('pre', 'log-line', rule.line));
    view.appendChild(log);
    view.appendChild(stateSection(timeline.stateAt(k)));
    return view;
  }

  // --- one side: chart, lanes, markers, detail --------------------------------------------------------

  // The legend's order: the link, all peers, the uploads, then each peer's request and chosen stream.
  const GROUP_ORDER = { link: 0, total: 1, upload: 2, request: 3, peer: 3 };

  function seriesOrder(a, b) {
    return GROUP_ORDER[a.group] - GROUP_ORDER[b.group] || Number(uidOf(a.name)) - Number(uidOf(b.name)) ||
      (a.group === 'request' ? 0 : 1) - (b.group === 'request' ? 0 : 1);
  }

  // The text of a request's point: its bitrate and resolution.
  function requestText(series, x, v) {
    if (v === null || v === undefined) {
      const i = upperBound(series.x, x) - 1;
      return i >= 0 && series.labels && series.labels[i] ? series.labels[i] : '-';
    }
    const i = upperBound(series.x, x) - 1;
    return v.toFixed(0) + ' kbit/s' + (i >= 0 && series.labels ? ' ' + series.labels[i] : '');
  }

  function laneKey(colors) {
    const key = el('div', 'lane-key');
    for (const [label, color] of colors) {
      const item = el('span', 'lane-class', label);
      const swatch = el('i');
      swatch.style.background = color;
      item.prepend(swatch);
      key.appendChild(item);
    }
    return key;
  }

  function renderSide(report, side, root) {
    side.series.sort(seriesOrder);
    const box = el('section', 'side');
    const head = el('header', 'side-head');
    head.appendChild(el('span', 'source', side.command + ': ' + side.source));
    if (side.library) head.appendChild(el('span', 'library', 'library: ' + side.library));
    const help = 'wheel: zoom   drag: pan   double-click: whole run   click: hold the moment   arrows: previous/next step';
    head.appendChild(el('span', 'help', help));
    box.appendChild(head);
    const body = el('div', 'side-body');
    const chartBox = el('div', 'chart');
    const detail = el('aside', 'detail');
    detail.appendChild(el('p', 'muted', 'Hover or click the chart to see the steps of that moment.'));
    body.appendChild(chartBox);
    body.appendChild(detail);
    box.appendChild(body);
    if (side.remarks && side.remarks.length) {
      const remarks = el('details', 'remarks');
      remarks.open = true;
      remarks.appendChild(el('summary', null, side.remarks.length + ' remark(s) beside the steps'));
      for (const text of side.remarks) remarks.appendChild(el('pre', null, text));
      box.appendChild(remarks);
    }
    root.appendChild(box);

    const timeline = timelineOf(side);
    const stepX = side.stepX;
    const full = alignSeries(side.series);
    const start = full[0].length ? Math.min(full[0][0], stepX.length ? stepX[0] : Infinity) : (stepX[0] || 0);
    const end = Math.max(side.end, start + 1);
    const view = { min: start, max: end };
    const receivedLanes = side.lanes.filter((lane) => lane.kind === 'received');
    const uids = new Set(receivedLanes.map((lane) => String(lane.uid)));
    for (const s of side.series) if (uidOf(s.name) !== null) uids.add(uidOf(s.name));
    const peerIndex = new Map([...uids].sort((a, b) => Number(a) - Number(b)).map((uid, k) => [uid, k]));
    const overview = uids.size > OVERVIEW_PEERS || stepX.length > OVERVIEW_STEPS;
    const smoothed = side.series.some((s) => s.name === 'capacity_1s');
    const shownAtFirst = (s) => !(overview && (s.group === 'peer' || s.group === 'request')) &&
      !(smoothed && s.name === 'capacity');
    const uSeries = [{ label: report.axis }].concat(side.series.map((s) => ({
      label: s.name,
      show: shownAtFirst(s),
      stroke: colorOf(s, peerIndex),
      width: s.group === 'link' || s.group === 'total' ? 2 : 1.5,
      dash: s.group === 'request' ? [5, 3] : undefined,
      paths: uPlot.paths.stepped({ align: 1 }),
      points: { show: false },
      spanGaps: false,
      value: s.group === 'request'
        ? (u, v, si, i) => requestText(s, i === null ? null : u.data[0][i], v)
        : (u, v) => (v === null || v === undefined ? '-' : v.toFixed(0) + ' kbit/s'),
    })));
    const laneColors = classColors(side.lanes);

    const lanesCanvas = el('canvas', 'lanes');
    const markerSeries = new Map(side.series.map((s, i) => [s.name, i + 1]));
    let plot = null;
    let held = null;  // the x a click holds, else null

    function drawMarkers(u) {
      const ctx = u.ctx;
      ctx.save();
      for (const marker of side.markers) {
        if (marker.x < u.scales.x.min || marker.x > u.scales.x.max) continue;
        const s = markerSeries.get(marker.series);
        if (s === undefined || !u.series[s].show) continue;
        const column = full[s];
        const i = upperBound(full[0], marker.x) - 1;
        const value = i >= 0 ? column[i] : null;
        if (value === null && (marker.kind === 'HD' || marker.kind === 'LD')) continue;  // no request to mark
        const px = u.valToPos(marker.x, 'x', true);
        const py = u.valToPos(value === null ? 0 : value, 'y', true);
        ctx.strokeStyle = MARKER_COLORS[marker.kind] || '#555555';
        ctx.fillStyle = ctx.strokeStyle;
        ctx.lineWidth = 1.5 * devicePixelRatio;
        ctx.beginPath();
        const r = 4 * devicePixelRatio;
        if (marker.kind === 'freeze') {
          ctx.moveTo(px - r, py - r); ctx.lineTo(px + r, py + r);
          ctx.moveTo(px + r, py - r); ctx.lineTo(px - r, py + r);
        } else if (marker.kind === 'no result') {
          ctx.arc(px, py - r, r, 0, 2 * Math.PI);
        } else if (marker.kind === 'HD' || marker.kind === 'LD') {
          ctx.font = (10 * devicePixelRatio) + 'px sans-serif';
          ctx.fillText(marker.kind[0], px - r / 2, py - r);
        } else {
          ctx.moveTo(px, py - 2 * r); ctx.lineTo(px, py + 2 * r);
        }
        ctx.stroke();
      }
      if (held !== null) {
        const px = u.valToPos(held, 'x', true);
        ctx.strokeStyle = '#000000';
        ctx.setLineDash([4, 4]);
        ctx.beginPath();
        ctx.moveTo(px, u.bbox.top);
        ctx.lineTo(px, u.bbox.top + u.bbox.height);
        ctx.stroke();
      }
      ctx.restore();
    }

    // The lanes under the plot, on its x scale, named in the gutter of the y axis.
    function drawLanes(u) {
      const ratio = devicePixelRatio;
      const height = side.lanes.length * LANE_HEIGHT;
      lanesCanvas.width = Math.round(u.width * ratio);
      lanesCanvas.height = Math.round(height * ratio);
      lanesCanvas.style.width = u.width + 'px';
      lanesCanvas.style.height = height + 'px';
      const ctx = lanesCanvas.getContext('2d');
      ctx.scale(ratio, ratio);
      ctx.font = '10px sans-serif';
      ctx.textBaseline = 'middle';
      const left = u.bbox.left / ratio;
      const right = left + u.bbox.width / ratio;
      side.lanes.forEach((lane, row) => {
        const y = row * LANE_HEIGHT;
        ctx.fillStyle = row % 2 ? '#f0f0f0' : '#f8f8f8';
        ctx.fillRect(left, y, right - left, LANE_HEIGHT);
        ctx.fillStyle = '#333333';
        ctx.textAlign = 'right';
        ctx.fillText(lane.name, left - 4, y + LANE_HEIGHT / 2, left - 6);
        ctx.textAlign = 'left';
        const colorOfSpan = lane.kind === 'received' ? (label) => laneColors.get(label) : () => SCENE_LANE_COLOR;
        // A span that ends inside a pixel already filled is skipped: at most a rectangle or two per pixel.
        let filledTo = -Infinity;
        // Spans follow each other: the first in view is the first that ends at or after its start.
        for (let i = lowerBound(lane.spans, u.scales.x.min, (span) => span[1]); i < lane.spans.length; ++i) {
          const [from, to, label] = lane.spans[i];
          if (from > u.scales.x.max) break;
          const end = left + u.valToPos(to, 'x');
          if (end <= filledTo) continue;
          const x0 = Math.max(left, filledTo, left + u.valToPos(from, 'x'));
          const x1 = Math.min(right, Math.max(x0 + 1, end));
          ctx.fillStyle = colorOfSpan(label);
          ctx.fillRect(x0, y + 1, x1 - x0, LANE_HEIGHT - 2);
          filledTo = x1;
          if (x1 - x0 > 30) {
            ctx.fillStyle = '#000000';
            ctx.fillText(label, x0 + 2, y + LANE_HEIGHT / 2, x1 - x0 - 4);
          }
        }
      });
    }

    // The step x nearest to x (x itself when there is no step).
    function nearestStepX(x) {
      if (stepX.length === 0) return x;
      let i = upperBound(stepX, x);
      if (i > 0 && (i === stepX.length || x - stepX[i - 1] <= stepX[i] - x)) --i;
      return stepX[i];
    }

    // The steps at the moment x: those at the step x nearest to it.
    function stepsAt(x) {
      if (stepX.length === 0) return [];
      const at = nearestStepX(x);
      const i = upperBound(stepX, at) - 1;
      let first = i;
      while (first > 0 && stepX[first - 1] === at) --first;
      const shown = [];
      for (let k = first; k < stepX.length && stepX[k] === at && shown.length < MOMENT_STEPS; ++k) shown.push(k);
      return shown;
    }

    let shownX;  // the first step shown, null for none, undefined before the first moment
    function showMoment(x) {
      const shown = stepsAt(x);
      const key = shown.length ? shown[0] : null;
      if (key === shownX) return;
      shownX = key;
      detail.replaceChildren();
      if (!shown.length) {
        detail.appendChild(el('p', 'muted', 'no step'));
        return;
      }
      for (const k of shown) detail.appendChild(stepView(timeline, k, report.axis));
    }

    function setView(min, max) {
      const span = Math.max(max - min, 1e-6);
      view.min = Math.max(start - (end - start), min);
      view.max = view.min + span;
      const data = decimate(full, view.min, view.max, plot.bbox.width / devicePixelRatio);
      plot.batch(() => {
        plot.setData(data, false);
        plot.setScale('x', { min: view.min, max: view.max });
      });
    }

    const opts = {
      width: Math.max(400, chartBox.clientWidth || 800),
      height: 380,
      series: uSeries,
      scales: { x: { time: false, auto: false, range: () => [view.min, view.max] } },
      axes: [{ label: report.axis === 'step' ? 'step' : 'seconds' }, { label: 'kbit/s', size: LANE_LABEL_WIDTH }],
      cursor: { drag: { x: false, y: false }, points: { show: false } },
      legend: { live: true },
      hooks: {
        draw: [drawMarkers, drawLanes],
        setCursor: [(u) => {
          if (held === null && u.cursor.idx !== null && u.cursor.left >= 0) showMoment(u.posToVal(u.cursor.left, 'x'));
        }],
      },
    };
    plot = new uPlot(opts, decimate(full, view.min, view.max, opts.width), chartBox);
    chartBox.appendChild(lanesCanvas);
    if (receivedLanes.length) chartBox.appendChild(laneKey(laneColors));

    // Wheel zooms around the cursor, a drag pans, a click holds (or releases) the moment.
    const over = plot.over;
    over.addEventListener('wheel', (event) => {
      event.preventDefault();
      const at = plot.posToVal(event.offsetX, 'x');
      const factor = event.deltaY < 0 ? 1 / ZOOM_FACTOR : ZOOM_FACTOR;
      setView(at - (at - view.min) * factor, at + (view.max - at) * factor);
    }, { passive: false });
    let drag = null;
    over.addEventListener('mousedown', (event) => {
      drag = { x: event.clientX, min: view.min, max: view.max, moved: false };
    });
    window.addEventListener('mousemove', (event) => {
      if (!drag) return;
      const dx = event.clientX - drag.x;
      if (Math.abs(dx) > 3) drag.moved = true;
      if (!drag.moved) return;
      const shift = (dx / (plot.bbox.width / devicePixelRatio)) * (drag.max - drag.min);
      setView(drag.min - shift, drag.max - shift);
    });
    window.addEventListener('mouseup', (event) => {
      if (drag && !drag.moved && event.target === over) {
        held = held === null ? nearestStepX(plot.posToVal(event.offsetX, 'x')) : null;
        if (held !== null) showMoment(held);
        plot.redraw(false, false);
      }
      drag = null;
    });
    over.addEventListener('dblclick', () => setView(start, end));
    window.addEventListener('keydown', (event) => {
      if (held === null || (event.key !== 'ArrowLeft' && event.key !== 'ArrowRight')) return;
      const next = event.key === 'ArrowRight' ? stepX[upperBound(stepX, held)] : stepX[lowerBound(stepX, held) - 1];
      if (next === undefined) return;
      held = next;
      showMoment(held);
      plot.redraw(false, false);
    });
    window.addEventListener('resize', () => {
      plot.setSize({ width: Math.max(400, chartBox.clientWidth), height: 380 });
      setView(view.min, view.max);
    });

    return {
      plot,
      stepX,
      setView,
      overview,
      // The data the chart is given before any thinning for drawing: x, then each series in kbit/s.
      chartData() {
        return { names: side.series.map((s) => s.name), data: full };
      },
      view() {
        return { min: view.min, max: view.max };
      },
      // The page position (client coordinates) of the moment x, for tests and benchmarks.
      clientPointOf(x) {
        const rect = over.getBoundingClientRect();
        return { x: rect.left + plot.valToPos(x, 'x'), y: rect.top + rect.height / 2 };
      },
    };
  }

  // --- tables of metrics: a sweep's, a comparison's -----------------------------------------------------

  function metricTable(className, columns, rows) {
    const table = el('table', 'records ' + className);
    const head = table.createTHead().insertRow();
    for (const name of columns) head.appendChild(el('th', null, name));
    const body = table.createTBody();
    for (const cells of rows) {
      const tr = body.insertRow();
      for (const text of cells) tr.appendChild(el('td', null, text));
    }
    return table;
  }

  // Marks each metric row's first cell with the metric's definition (a tooltip), and the rows whose interval
  // rests on few runs.
  function describeRows(table, metrics, fewKey) {
    metrics.forEach((metric, k) => {
      const row = table.tBodies[0].rows[k];
      row.cells[0].title = metric.definition;
      row.cells[0].classList.add('defined');
      if (metric[fewKey]) row.classList.add('few-runs');
    });
    return table;
  }

  // One row per run (per trace and side), one column per metric, each headed with its definition.
  function perRunTable(className, heads, metrics, rows) {
    const table = metricTable(className, heads.concat(metrics.map((m) => m.metric)), rows);
    const headCells = table.tHead.rows[0].cells;
    metrics.forEach((metric, k) => { headCells[heads.length + k].title = metric.definition; });
    return table;
  }

  const interval = (value, low, high) => formatNumber(value) + ' [' + formatNumber(low) + ', ' + formatNumber(high) + ']';

  function warningOf(text) {
    return el('p', 'warning', text);
  }

  // --- CDFs of the runs' values -------------------------------------------------------------------------

  const CDF_COLORS = ['#1f77b4', '#ff7f0e'];

  // The empirical CDF of the values that are set: the sorted values and, at each, the fraction of values at
  // or below it.
  function cdfOf(values) {
    const x = values.filter((v) => v !== null && v !== undefined).sort((a, b) => a - b);
    return { x, y: x.map((_, k) => (k + 1) / x.length) };
  }

  // Each series' CDF on the union of their values, for one uPlot chart.
  function cdfData(curves) {
    const x = [...new Set(curves.flatMap((c) => c.x))].sort((a, b) => a - b);
    return [x].concat(curves.map((c) => x.map((at) => {
      const k = upperBound(c.x, at);
      return c.x.length ? k / c.x.length : null;
    })));
  }

  // A chart per metric row (row: {metric, definition, series: [{name, values}]}), each series' CDF as steps.
  // Returns what each chart drew: its metric and every series' sorted values and fractions.
  function renderCdfs(rows, root) {
    const box = el('section', 'cdfs');
    box.appendChild(el('h3', null, 'distribution of every metric: fraction of runs at or below each value'));
    const grid = el('div', 'cdf-grid');
    box.appendChild(grid);
    root.appendChild(box);
    return rows.map((row) => {
      const curves = row.series.map((series) => Object.assign({ name: series.name }, cdfOf(series.values)));
      const cell = el('div', 'cdf');
      cell.dataset.metric = row.metric;
      cell.title = row.definition;
      grid.appendChild(cell);
      if (curves.every((c) => !c.x.length)) {
        cell.appendChild(el('p', 'muted', row.metric + ': no run defines it'));
      } else {
        new uPlot({
          title: row.metric,
          width: 300,
          height: 200,
          series: [{ label: row.metric }].concat(curves.map((c, k) => ({
            label: c.name + ' (' + c.x.length + ')',
            stroke: CDF_COLORS[k % CDF_COLORS.length],
            width: 1.5,
            paths: uPlot.paths.stepped({ align: 1 }),
            points: { show: true, size: 4 },
          }))),
          scales: { x: { time: false }, y: { range: [0, 1.05] } },
          axes: [{}, { size: 40 }],
          legend: { show: true },
        }, cdfData(curves), cell);
      }
      return { metric: row.metric, series: curves.map((c) => ({ name: c.name, x: c.x, y: c.y })) };
    });
  }

  function renderSweep(sweep, root) {
    const box = el('section', 'sweep');
    box.appendChild(el('h2', null, 'metric distributions over ' + sweep.runs + ' runs'));
    box.appendChild(el('p', 'muted', 'percentiles of the runs\' values, each with its ' + sweep.confidence_pct +
      ' % bootstrap interval (' + sweep.resamples + ' resamples, seed ' + sweep.seed + '); a metric\'s definition ' +
      'shows over its name'));
    if (sweep.warning !== null) box.appendChild(warningOf(sweep.warning));
    const cell = (e) => (e === null ? '-' : interval(e.value, e.low, e.high));
    box.appendChild(describeRows(metricTable('sweep-table', ['metric', 'unit', 'better', 'runs', 'p5', 'median', 'p95'],
      sweep.metrics.map((row) => [row.metric, row.unit, row.better, row.runs, cell(row.p5), cell(row.median),
        cell(row.p95)])), sweep.metrics, 'few_runs'));
    if (sweep.failed.length) {
      // The runs that gave no summary, as the text table names them.
      box.appendChild(warningOf(sweep.failed.length + ' of ' + (sweep.runs + sweep.failed.length) +
        ' runs failed and are left out of the table:'));
      box.appendChild(metricTable('failed-runs', ['run', 'index', 'reason'],
        sweep.failed.map((run) => [run.run, String(run.index), run.reason])));
    }
    root.appendChild(box);
    box.appendChild(el('h3', null, 'per run'));
    const runs = [];
    for (let k = 0; k < sweep.runs; ++k) {
      runs.push([k < sweep.run_labels.length ? sweep.run_labels[k] : String(k)]
        .concat(sweep.metrics.map((row) => formatNumber(row.per_run[k]))));
    }
    box.appendChild(perRunTable('per-run', ['run'], sweep.metrics, runs));
    return renderCdfs(sweep.metrics.map((row) => ({ metric: row.metric, definition: row.definition,
      series: [{ name: 'runs', values: row.per_run }] })), box);
  }

  // --- two sides compared -----------------------------------------------------------------------------

  const SIDE_NAMES = ['A', 'B'];
  const SIDE_DASH = [[], [6, 4]];

  // A side's series as its chart holds them, named after the side.
  function sideSeries(side, name) {
    return side.series.map((s) => ({ name: name + ' ' + s.name, key: s.name, x: s.x, y: s.y }));
  }

  // The index of the step of a timeline with this number and event, or -1.
  function stepIndex(side, timeline, number, event) {
    for (let k = lowerBound(side.stepX, number); k < side.stepX.length && side.stepX[k] === number; ++k) {
      if (timeline.stepOf(k).event === event) return k;
    }
    return -1;
  }

  function colorOfKey(key, keys) {
    return LINK_COLORS[key] || UPLOAD_COLORS[key] || peerColor(keys.indexOf(key));
  }

  function sideSteps(timeline, k, side, axis) {
    const box = el('div', 'diff-side');
    box.appendChild(el('h4', null, 'side ' + SIDE_NAMES[side]));
    if (k < 0) {
      box.appendChild(el('p', 'muted', 'no such step on this side'));
      return box;
    }
    box.appendChild(stepView(timeline, k, axis));
    return box;
  }

  function renderScenario(report, scenario, index, root) {
    const box = el('section', 'diff-scenario');
    box.dataset.scenario = String(index);
    const state = scenario.same ? 'same' : scenario.differences.length + ' differing step(s)';
    box.appendChild(el('h2', null, scenario.name + ' (' + scenario.scenario + '): ' + state + ', ' + scenario.steps +
      ' steps compared'));
    const body = el('div', 'side-body');
    const chartBox = el('div', 'chart');
    const detail = el('aside', 'detail');
    detail.appendChild(el('p', 'muted', scenario.same ? 'The sides answer alike at every step.'
      : 'Pick a differing step from the list under the chart.'));
    body.appendChild(chartBox);
    body.appendChild(detail);
    box.appendChild(body);
    const listBox = el('section', 'differences');
    listBox.appendChild(el('h3', null, 'differing steps'));
    const list = el('ul', 'difference-list');
    listBox.appendChild(list);
    if (!scenario.differences.length) listBox.appendChild(el('p', 'muted', 'none'));
    box.appendChild(listBox);
    root.appendChild(box);

    const sides = scenario.sides.filter((side) => side !== null);
    const timelines = sides.map(timelineOf);
    const series = sides.flatMap((side, k) => sideSeries(side, SIDE_NAMES[k]));
    const full = alignSeries(series);
    const firsts = sides.filter((side) => side.stepX.length).map((side) => side.stepX[0]);
    const start = firsts.length ? Math.min(...firsts) : 0;
    const end = Math.max(1, start + 1, ...sides.map((side) => side.end));
    const keys = [...new Set(series.map((s) => s.key))];
    const marks = scenario.differences.map((d) => d.step);
    let held = null;

    function drawMarks(u) {
      const ctx = u.ctx;
      ctx.save();
      for (const at of marks) {
        const px = u.valToPos(at, 'x', true);
        ctx.fillStyle = at === held ? 'rgba(214, 39, 40, 0.35)' : 'rgba(214, 39, 40, 0.15)';
        ctx.fillRect(px - 3 * devicePixelRatio, u.bbox.top, 6 * devicePixelRatio, u.bbox.height);
      }
      ctx.restore();
    }

    const plot = new uPlot({
      width: Math.max(400, chartBox.clientWidth || 800),
      height: 320,
      series: [{ label: 'step' }].concat(series.map((s) => ({
        label: s.name,
        stroke: colorOfKey(s.key, keys),
        dash: SIDE_DASH[s.name.startsWith('A ') ? 0 : 1],
        width: 1.5,
        paths: uPlot.paths.stepped({ align: 1 }),
        points: { show: false },
        value: (u, v) => (v === null || v === undefined ? '-' : v.toFixed(0) + ' kbit/s'),
      }))),
      scales: { x: { time: false, range: () => [start, end] } },
      axes: [{ label: 'step' }, { label: 'kbit/s', size: LANE_LABEL_WIDTH }],
      cursor: { drag: { x: false, y: false }, points: { show: false } },
      hooks: { draw: [drawMarks] },
    }, full, chartBox);

    function select(difference) {
      held = difference.step;
      plot.redraw(false, false);
      for (const item of list.children) item.classList.toggle('selected', Number(item.dataset.step) === held);
      detail.replaceChildren();
      const head = el('div', 'diff-head');
      head.appendChild(el('h3', null, 'step ' + difference.step + ': ' + difference.event));
      const what = difference.fields.length ? 'differing fields: ' + difference.fields.join(', ') : 'answers alike';
      head.appendChild(el('p', 'fields', what + (difference.log_differs ? '; log lines differ' : '')));
      detail.appendChild(head);
      sides.forEach((side, k) => detail.appendChild(sideSteps(timelines[k],
        stepIndex(side, timelines[k], difference.step, difference.event), k, report.axis)));
    }

    for (const difference of scenario.differences) {
      const item = el('li');
      item.dataset.step = String(difference.step);
      const button = el('button', 'difference', 'step ' + difference.step + ': ' + difference.event +
        (difference.fields.length ? ' (' + difference.fields.join(', ') + ')' : '') +
        (difference.log_differs ? ' log' : ''));
      button.addEventListener('click', () => select(difference));
      item.appendChild(button);
      list.appendChild(item);
    }
    return { plot, select: (k) => select(scenario.differences[k]) };
  }

  function renderSim(sim, root) {
    const box = el('section', 'sim-diff');
    box.appendChild(el('h2', null, sim.meeting + ' over ' + sim.traces.length + ' trace(s)'));
    box.appendChild(el('p', 'muted', 'means of side A and B; B-A with its paired bootstrap interval (' +
      sim.bootstrap.resamples + ' resamples, seed ' + sim.bootstrap.seed + '); a metric\'s definition shows over ' +
      'its name'));
    if (sim.warning !== null) box.appendChild(warningOf(sim.warning));
    box.appendChild(describeRows(metricTable('sim-table', ['metric', 'unit', 'better', 'traces', 'A', 'B', 'B-A',
      'verdict'], sim.metrics.map((m) => [m.metric, m.unit, m.better, m.traces, formatNumber(m.a), formatNumber(m.b),
      m.difference === null ? '-' : interval(m.difference, m.low, m.high), m.verdict === null ? '-' : m.verdict])),
    sim.metrics, 'few_traces'));
    root.appendChild(box);
    box.appendChild(el('h3', null, 'per trace'));
    const rows = [];
    sim.traces.forEach((trace, k) => {
      for (const side of SIDE_NAMES) {
        rows.push([trace, side].concat(sim.metrics.map((m) => formatNumber(m.per_trace[side.toLowerCase()][k]))));
      }
    });
    box.appendChild(perRunTable('per-trace', ['trace', 'side'], sim.metrics, rows));
    return renderCdfs(sim.metrics.map((m) => ({ metric: m.metric, definition: m.definition,
      series: SIDE_NAMES.map((side) => ({ name: side, values: m.per_trace[side.toLowerCase()] })) })), box);
  }

  function renderDiff(report, root) {
    const diff = report.diff;
    const sides = el('p', 'muted');
    sides.textContent = SIDE_NAMES.map((name) => {
      const side = diff[name.toLowerCase()];
      return name + ': ' + (side.library || 'the build beside ktr') + (side.config ? ' with ' + side.config : '');
    }).join('   ') + (diff.answers_only ? '   (answers only)' : '');
    root.appendChild(sides);
    const scenarios = diff.scenarios.map((scenario, index) => renderScenario(report, scenario, index, root));
    const cdfs = diff.sim ? renderSim(diff.sim, root) : [];
    return { scenarios, cdfs };
  }

  const report = readJson('ktr-report');
  document.title = report.title;
  const root = el('main', 'report');
  root.appendChild(el('h1', null, report.title));
  document.body.appendChild(root);
  const sweepCdfs = report.sweep ? renderSweep(report.sweep, root) : [];
  const diff = report.diff ? renderDiff(report, root) : { scenarios: [], cdfs: [] };
  const sides = report.sides.map((side) => renderSide(report, side, root));
  // cdfs: what each CDF chart drew, for tests.
  window.ktrReport = { report, sides, scenarios: diff.scenarios, cdfs: sweepCdfs.concat(diff.cdfs) };
})();

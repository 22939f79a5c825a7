#!/usr/bin/python3
"""Runs the plot scripts on real runs of ktr and checks what they drew (their --dump of each line's points
and each panel's limits) against the runs' own answers and samples:

- tools/plot_timeline.py on every bundled scenario's replay: each peer's request line holds the download
  answers, its chosen line the stream the timeline's state chose for it, the camera lines the streams by rank
  (a line only for a rank some answer holds), a stream of bitrate 0 ("no result") a gap with a marker, and
  the time axis starts at step 0;
- tools/plot_sim.py on a short simulation over an LTE-like link (2 to 4 Mbit/s with 100 ms bursts of 50 to
  70 Mbit/s): the smoothed capacity is the mean of the raw samples over the last second, and the panel's
  height follows it, below the bursts, which are marked on its edge;
- both scripts on a meeting of 25 peers: 25 colours, all distinct;
- tools/plot_cdf.py on hand-made values: each series' line runs through its values, sorted.

Usage: check_plots.py KTR SOURCE_DIR SCRATCH_DIR
"""
import json
import pathlib
import shutil
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True
KTR, SOURCE, SCRATCH = (pathlib.Path(argument).resolve() for argument in sys.argv[1:4])
PYTHON = "/usr/bin/python3"
TIMELINE_SCRIPT = SOURCE / "tools" / "plot_timeline.py"
SIM_SCRIPT = SOURCE / "tools" / "plot_sim.py"
CDF_SCRIPT = SOURCE / "tools" / "plot_cdf.py"
KBIT = 1024
CAMERA_CHANNEL = 1
SHARE_CHANNEL = 2
# A replay's clock: one step a second.
REPLAY_STEP_S = 1.0


def run(*command):
    subprocess.run([str(part) for part in command], check=True, stdout=subprocess.DEVNULL)


def read_json_lines(path):
    """The steps of a JSON Lines timeline (its header line left out)."""
    with open(path, encoding="utf-8") as handle:
        return [json.loads(line) for line in handle][1:]


def drawn(script, source, name, *options):
    """Plots source with script and returns its dump: {panel title: panel}."""
    png, dump = SCRATCH / f"{name}.png", SCRATCH / f"{name}.drawn.json"
    run(PYTHON, script, source, png, "--title", name, "--dump", dump, *options)
    with open(dump, encoding="utf-8") as handle:
        return {panel["title"]: panel for panel in json.load(handle)["panels"]}


def lines_of(panel):
    return {line["id"]: line for line in panel["lines"]}


def markers_of(panel, marker_id):
    return next((marks for marks in panel["markers"] if marks["id"] == marker_id), None)


def change_points(line):
    """A step line's (x, y) change points, without the end point that holds its last value."""
    return list(zip(line["x"][:-1], line["y"][:-1]))


def without_repeats(points):
    """Points whose value differs from the one before, and the first one."""
    kept = []
    for time, value in points:
        if not kept or kept[-1][1] != value:
            kept.append((time, value))
    return kept


def step_time(step):
    return step.get("time", step["step"] * REPLAY_STEP_S)


def upload_answers(steps, channel):
    """(time, records) of every upload answer of the channel that shows its records."""
    return [(step_time(step), step["answer"]["records"]) for step in steps
            if step["answer"] and step["answer"].get("channel") == channel
            and step["answer"].get("records") is not None]


def expected_requests(steps):
    """{uid: [(time, kbit/s)]}: each download answer's record for the peer."""
    requests = {}
    for step in steps:
        answer = step["answer"]
        records = (answer or {}).get("records") or []
        if all("uid" in record for record in records):  # a download answer's records name their peers
            for record in records:
                requests.setdefault(record["uid"], []).append((step_time(step), record["bitrate"] / KBIT))
    return requests


def expected_chosen(steps):
    """{uid: [(time, kbit/s or None)]}: the chosen stream of every received peer in the state after each step
    (the timeline holds the whole state on every step), from the first step it is known; None where it is
    no longer known."""
    chosen = {}
    for step in steps:
        peers = step["state"].get("peers") or {}
        for uid in set(peers) | {str(uid) for uid in chosen}:
            peer = peers.get(uid) or {}
            record = peer.get("chosen") if peer.get("received") else None
            value = None if record is None else record["bitrate"] / KBIT
            if int(uid) in chosen or value is not None:
                chosen.setdefault(int(uid), []).append((step_time(step), value))
    return {uid: without_repeats(points) for uid, points in chosen.items()}


class ReplayTimelines(unittest.TestCase):
    """plot_timeline.py on the replay of every bundled scenario (its --csv), against the same run's
    JSON Lines timeline."""

    @classmethod
    def setUpClass(cls):
        cls.runs = {}
        for scenario in sorted((SOURCE / "examples" / "scenarios").glob("*.json")):
            name = f"replay-{scenario.stem}"
            jsonl, csv = SCRATCH / f"{name}.jsonl", SCRATCH / f"{name}.csv"
            run(KTR, "replay", scenario, "--json", jsonl, "--state", "every", "--csv", csv)
            cls.runs[scenario.stem] = (read_json_lines(jsonl), drawn(TIMELINE_SCRIPT, csv, name))

    def panels(self, name):
        panels = self.runs[name][1]
        return panels["upload: published streams"], panels["download: answers and chosen streams"]

    def test_time_axis_starts_at_step_0(self):
        for name, (steps, panels) in self.runs.items():
            with self.subTest(scenario=name):
                first_answer = next(step_time(step) for step in steps if step["answer"])
                self.assertGreater(first_answer, 0, "the timeline's first step answers nothing")
                for panel in panels.values():
                    self.assertEqual(panel["xlim"][0], 0, panel["title"])

    def check_peer_lines(self, prefix, expected_of, points_of):
        """Each peer's line named prefix + uid holds the points expected_of(steps) gives it, read from the
        drawn line by points_of; no other peer has such a line."""
        for name, (steps, _) in self.runs.items():
            drawn_lines = lines_of(self.panels(name)[1])
            expected = expected_of(steps)
            with self.subTest(scenario=name):
                self.assertEqual({prefix + str(uid) for uid in expected},
                                 {key for key in drawn_lines if key.startswith(prefix)})
            for uid, points in expected.items():
                with self.subTest(scenario=name, line=prefix + str(uid)):
                    self.assertEqual(points_of(drawn_lines[prefix + str(uid)]), points)

    def test_request_lines_hold_the_download_answers(self):
        self.check_peer_lines("request ", expected_requests, change_points)

    def test_chosen_lines_hold_the_chosen_streams(self):
        self.check_peer_lines("chosen ", expected_chosen, lambda line: without_repeats(change_points(line)))

    def test_camera_lines_go_by_rank(self):
        # team-meeting step 19: the answer lists 358400 (dft 2) before 716800 (dft 1), the rank-1 stream;
        # step 17: one unranked all-zero record, the library's "no result".
        camera = lines_of(self.panels("team-meeting")[0])
        for rank, time, expected in (("rank 1", 19, 716800 / KBIT), ("rank 2", 19, 358400 / KBIT),
                                     ("rank 1", 17, None), ("rank 2", 17, None)):
            with self.subTest(rank=rank, step=time):
                self.assertEqual(dict(change_points(camera[rank])).get(time, "not drawn"), expected)

    def test_no_result_is_a_gap_with_a_marker(self):
        for name, (steps, _) in self.runs.items():
            upload = self.panels(name)[0]
            for channel, series in ((CAMERA_CHANNEL, "rank 1"), (SHARE_CHANNEL, "share")):
                no_result = [time for time, records in upload_answers(steps, channel)
                             if records and all(record["bitrate"] == 0 for record in records)]
                marks = markers_of(upload, f"no result {series}")
                with self.subTest(scenario=name, series=series):
                    self.assertEqual(marks["x"] if marks else [], no_result)
            for series in ("rank 1", "rank 2", "share"):
                with self.subTest(scenario=name, series=series):
                    self.assertNotIn(0.0, lines_of(upload).get(series, {"y": []})["y"], "the line drops to 0")
        # team-meeting step 17: the camera while 3003 speaks; surprising-answers step 23: the share answer
        # before any share record.
        self.assertIn(17, markers_of(self.panels("team-meeting")[0], "no result rank 1")["x"])
        self.assertIn(23, markers_of(self.panels("surprising-answers")[0], "no result share")["x"])

    def test_a_line_only_for_a_stream_that_exists(self):
        for name, (steps, _) in self.runs.items():
            answers = upload_answers(steps, CAMERA_CHANNEL)
            expected = {rank for rank, count in (("rank 1", 1), ("rank 2", 2))
                        if any(len(records) >= count and any(r["bitrate"] > 0 for r in records)
                               for _, records in answers)}
            with self.subTest(scenario=name):
                self.assertEqual({key for key in lines_of(self.panels(name)[0]) if key.startswith("rank ")},
                                 expected)
        self.assertIn("rank 2", lines_of(self.panels("team-meeting")[0]), "no scenario with two streams")


def lte_like_trace(path):
    """A 20 s Mahimahi trace (one 1500-byte packet per line, at its millisecond): 2 to 4 Mbit/s with a 100 ms
    burst at 50 to 70 Mbit/s every 2.5 s, as cellular links deliver queued packets in bursts."""
    bursts = {2500 * k + offset: rate for k, rate in enumerate((60, 70, 50, 65, 55, 70, 60), start=1)
              for offset in range(1, 101)}
    lines = []
    for millisecond in range(1, 20001):
        mbps = bursts.get(millisecond, 2 + (millisecond // 4000) % 3)  # 2, 3, 4 Mbit/s in 4 s steps
        # One packet is 12 kbit: n Mbit/s is n/12 packets a millisecond, spread evenly.
        packets = int(millisecond * mbps / 12) - int((millisecond - 1) * mbps / 12)
        lines += [str(millisecond)] * packets
    path.write_text("\n".join(lines) + "\n", encoding="ascii")


def series_samples(path, kind):
    """[(time, value)] of one kind of a --series CSV."""
    samples = []
    with open(path, encoding="utf-8") as handle:
        for line in list(handle)[1:]:
            time, row_kind, _, value = line.strip().split(",")
            if row_kind == kind:
                samples.append((float(time), float(value)))
    return samples


def mean_over_last_second(samples, at):
    """The time-weighted mean of raw samples over (at - 1 s, at]; each sample holds over the interval since
    the one before (the first since 0)."""
    total = weight = 0.0
    before = 0.0
    for time, value in samples:
        if at - 1.0 + 1e-9 < time <= at + 1e-9:  # times are printed decimals of whole microseconds
            length = time - max(before, at - 1.0)
            total += value * length
            weight += length
        before = time
    return total / weight


class SpikyLink(unittest.TestCase):
    """plot_sim.py on 20 simulated seconds of the team meeting over the LTE-like trace."""
    SPIKE_BPS = 50e6

    @classmethod
    def setUpClass(cls):
        trace = SCRATCH / "lte-like.mahimahi"
        lte_like_trace(trace)
        cls.series = SCRATCH / "sim-lte.csv"
        run(KTR, "sim", SOURCE / "examples" / "meetings" / "team-meeting.json", "--downlink", trace, "--duration",
            "20", "--series", cls.series)
        cls.link = drawn(SIM_SCRIPT, cls.series, "sim-lte")["download link"]

    def test_smoothed_capacity_is_the_mean_of_the_last_second(self):
        raw = series_samples(self.series, "capacity")
        smoothed = series_samples(self.series, "capacity_1s")
        self.assertGreater(max(value for _, value in raw), self.SPIKE_BPS, "the bursts are not sampled")
        self.assertEqual([time for time, _ in smoothed], [time for time, _ in raw])
        for time, value in smoothed:
            with self.subTest(time=time):
                self.assertAlmostEqual(value, mean_over_last_second(raw, time), delta=value * 1e-9)

    def test_the_plot_draws_the_smoothed_capacity(self):
        expected = [(time, value / KBIT) for time, value in series_samples(self.series, "capacity_1s")]
        self.assertEqual(change_points(lines_of(self.link)["capacity_1s"]), expected)

    def test_the_panel_follows_the_smoothed_series_below_the_bursts(self):
        top = self.link["ylim"][1]
        self.assertLess(top, self.SPIKE_BPS / KBIT)
        for kind in ("capacity_1s", "estimate", "demand"):
            with self.subTest(kind=kind):
                self.assertGreaterEqual(top, max(value for _, value in series_samples(self.series, kind)) / KBIT)
        above = [time for time, value in series_samples(self.series, "capacity") if value / KBIT > top]
        self.assertTrue(above)
        self.assertEqual(markers_of(self.link, "above capacity")["x"], above)


class TwentyFivePeers(unittest.TestCase):
    """Both scripts on a simulated meeting of 25 remote peers, all present after two minutes."""
    PEERS = 25

    @classmethod
    def setUpClass(cls):
        meeting = json.loads((SOURCE / "examples" / "meetings" / "large-meeting.json").read_text(encoding="utf-8"))
        meeting["peers"]["count"] = cls.PEERS
        meeting["peers"]["leaves"] = []
        path = SCRATCH / "twenty-five.json"
        path.write_text(json.dumps(meeting), encoding="utf-8")
        series, csv = SCRATCH / "twenty-five-series.csv", SCRATCH / "twenty-five.csv"
        run(KTR, "sim", path, "--duration", "150", "--series", series, "--csv", csv)
        cls.sim = drawn(SIM_SCRIPT, series, "twenty-five-sim")["received bitrate per peer"]
        cls.timeline = drawn(TIMELINE_SCRIPT, csv, "twenty-five-timeline")["download: answers and chosen streams"]

    def peer_colors(self, panel, kinds):
        """{uid: colour} of the peer lines of the given kinds ("received", "request", "chosen"); a peer's
        lines share one colour."""
        colors = {}
        for line in panel["lines"]:
            kind, _, uid = line["id"].partition(" ")
            if kind in kinds:
                self.assertEqual(colors.setdefault(uid, line["color"]), line["color"], line["id"])
        return colors

    def test_received_lines_have_distinct_colours(self):
        colors = self.peer_colors(self.sim, ("received",))
        self.assertEqual(len(colors), self.PEERS)
        self.assertEqual(len(set(colors.values())), self.PEERS, colors)

    def test_answer_and_chosen_lines_have_distinct_colours(self):
        colors = self.peer_colors(self.timeline, ("request", "chosen"))
        self.assertEqual(len(colors), self.PEERS)
        self.assertEqual(len(set(colors.values())), self.PEERS, colors)


class RefusedSeries(unittest.TestCase):
    """plot_sim.py refuses a series it cannot draw: exit status 2, the file and the line named, no picture."""

    def test_values_that_are_not_numbers_it_can_draw(self):
        for name, cell in (("infinite", "inf"), ("not-a-number", "nan"), ("word", "fast"), ("huge", "1e308")):
            series, png = SCRATCH / f"refused-{name}.csv", SCRATCH / f"refused-{name}.png"
            series.write_text(f"time_s,kind,uid,value\n0.1,capacity,0,2000000\n0.2,capacity_1s,0,{cell}\n",
                              encoding="utf-8")
            result = subprocess.run([PYTHON, str(SIM_SCRIPT), str(series), str(png)], capture_output=True, text=True)
            with self.subTest(value=cell):
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stderr,
                                 f"{series}: line 3: time_s, uid and value must be numbers of at most 1e+15\n")
                self.assertFalse(png.exists())



class CdfPlots(unittest.TestCase):
    """plot_cdf.py draws each metric's values as a CDF, one line per series, and refuses what it cannot draw."""

    def test_each_series_runs_through_its_values_sorted(self):
        values = SCRATCH / "cdf.csv"
        values.write_text("metric,series,value\nutilization_pct,A,70.5\nutilization_pct,B,3\nutilization_pct,A,12\n"
                          "utilization_pct,A,40\ntime_to_cut_s.median,runs,2\n", encoding="utf-8")
        panels = drawn(CDF_SCRIPT, values, "cdf")
        self.assertEqual(list(panels), ["utilization_pct", "time_to_cut_s.median"])
        utilization = lines_of(panels["utilization_pct"])
        self.assertEqual((utilization["A"]["x"], utilization["A"]["y"]), ([12, 40, 70.5], [1 / 3, 2 / 3, 1]))
        self.assertEqual((utilization["B"]["x"], utilization["B"]["y"]), ([3], [1]))
        self.assertNotEqual(utilization["A"]["color"], utilization["B"]["color"])
        self.assertEqual(lines_of(panels["time_to_cut_s.median"])["runs"]["x"], [2])

    def test_values_that_are_not_numbers_it_can_draw(self):
        for name, cell in (("infinite", "inf"), ("not-a-number", "nan"), ("word", "fast"), ("huge", "1e308")):
            values, png = SCRATCH / f"refused-cdf-{name}.csv", SCRATCH / f"refused-cdf-{name}.png"
            values.write_text(f"metric,series,value\nm,runs,1\nm,runs,{cell}\n", encoding="utf-8")
            result = subprocess.run([PYTHON, str(CDF_SCRIPT), str(values), str(png)], capture_output=True, text=True)
            with self.subTest(value=cell):
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stderr, f"{values}: line 3: value must be a number of at most 1e+15\n")
                self.assertFalse(png.exists())

if __name__ == "__main__":
    shutil.rmtree(SCRATCH, ignore_errors=True)
    SCRATCH.mkdir(parents=True)
    unittest.main(argv=sys.argv[:1])

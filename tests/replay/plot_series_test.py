#!/usr/bin/python3
"""The values that tools/plot_timeline.py draws from timeline-meeting.csv, worked out by hand from the
rows: each answer replaces the previous answer of its question, a download answer or a change of chosen
streams changes only the peers it lists, estimates hold until the next one; camera streams go by rank, a
stream of bitrate 0 is the library's "no result". Values in kbit/s (K = 1024); None where no line is drawn."""
import pathlib
import sys
import unittest

sys.dont_write_bytecode = True  # no cache files beside the tool
HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "tools"))
import plot_timeline  # noqa: E402

MEETING = HERE / "timeline-meeting.csv"

# (time in seconds, series, value held then)
UPLOAD = [
    (1.5, "rank 1", None),  # before the first upload answer
    (2.5, "rank 1", 350), (2.5, "rank 2", None),
    (5, "rank 1", 500), (5, "rank 2", 200),  # two streams: named by rank, not by position
    (6, "share", 800), (10, "rank 2", 200),
    (12, "rank 1", 350), (12, "rank 2", None),  # one stream ends the rank-2 line
    (13, "share", None), (14, "rank 1", 350),  # the definition record is no upload answer
    (18, "rank 1", 700),  # force-HD record: its dft field holds 0, it is the only stream
    (20, "rank 1", None),  # empty upload answer
    (21, "rank 1", plot_timeline.NO_RESULT), (21, "rank 2", None),  # an all-zero record: a gap with a marker
    (22, "rank 1", 500), (22, "rank 2", 200),  # two unranked streams: the higher bitrate is rank 1
    (0, "upload estimate", 1500), (0, "upload estimate max", 2000),
    (11, "upload estimate", 1000), (11, "upload estimate max", None),  # max 0: not drawn
]
DOWNLOAD = [
    (3, 2002, 350), (3, 2003, 200), (3, 2004, None),
    (8, 2002, 200), (8, 2003, 200), (8, 2004, 200),  # 2003 not listed: keeps its request
    (10, 2002, 200), (10, 2003, 200),  # empty download answer: nothing changes
    (16, 2002, 700), (20, 2004, 200),
]
DOWNLOAD_ESTIMATE = [
    (1, "download estimate", 2000), (1, "download estimate max", None),
    (7, "download estimate", 700), (7, "download estimate max", 1000),
    (15, "download estimate", 2000), (15, "download estimate max", 3000),
]
CHOSEN = [
    (2, 2002, None), (3, 2002, 350), (3, 2003, 200), (8, 2003, 200), (16, 2002, 700),
    (19, 2003, None),  # a row without a record: no longer known
    (19, 2004, 0),  # an all-zero chosen record: the peer is received on nothing
    (23, 2005, 200),
]
# Peers of the hdld answers, each on its held request, before the first on its chosen stream.
HD = [(4, 2002, 350), (17, 2002, 700), (23, 2005, 200)]
LD = [(4, 2003, 200), (9, 2002, 200), (9, 2003, 200), (9, 2004, 200), (17, 2003, 200), (17, 2004, 200)]


def held(points, time):
    values = [value for point_time, value in points if point_time <= time]
    return values[-1] if values else None


class MeetingSeries(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.answers = plot_timeline.group_answers(plot_timeline.read_rows(str(MEETING)))

    def check_held(self, series, table):
        for time, name, expected in table:
            with self.subTest(time=time, series=name):
                self.assertEqual(held(series.get(name, []), time), expected)

    def test_upload_streams_and_estimate(self):
        self.check_held(plot_timeline.upload_series(self.answers), UPLOAD)

    def test_requests_hold_until_the_peer_is_listed_again(self):
        requests, estimate = plot_timeline.download_series(self.answers)
        self.check_held(requests, DOWNLOAD)
        self.check_held(estimate, DOWNLOAD_ESTIMATE)

    def test_chosen_streams_hold_until_the_peer_changes(self):
        self.check_held(plot_timeline.chosen_series(self.answers), CHOSEN)

    def test_definition_marks_sit_on_the_held_request(self):
        requests, _ = plot_timeline.download_series(self.answers)
        marks = plot_timeline.definition_marks(self.answers, requests, plot_timeline.chosen_series(self.answers))
        self.assertEqual(marks, {"hd": HD, "ld": LD})


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""Keeps, of a replay's JSON Lines, what the library decided and wrote: every step's event, input, answer
and log lines, one step per line. The tools' own additions (rules, notes, state, header) are left out, so
that the golden files change only when the library's behaviour does."""
import json
import sys

for text in sys.stdin:
    step = json.loads(text)
    if "step" not in step:
        continue  # the header
    kept = {key: step.get(key) for key in ("step", "event", "input", "answer", "log")}
    print(json.dumps(kept, sort_keys=True, separators=(",", ":")))

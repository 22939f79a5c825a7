#!/usr/bin/env python3
"""Keeps, of a replay's JSON Lines, what the library decided and wrote: every step's event, input, answer
and log lines, one step per line. The tools' own additions (rules' explanations, notes, state, header) are
left out, so that the golden files change only when the library's behaviour does. A step's lines are printed
from its rules: each rule's format, from the header's catalogue, with the tag and the field values."""
import json
import re
import sys

CONVERSION = re.compile(r"%(%|s|d|llu)")


def printed(rule, formats):
    if rule["format_id"] is None:
        return rule["text"]
    entry = formats[rule["format_id"]]
    values = iter(rule["fields"][name] for name in entry["fields"])

    def fill(match):
        kind = match.group(1)
        if kind == "%":
            return "%"
        return entry["tag"] if kind == "s" else str(next(values))

    return CONVERSION.sub(fill, entry["format"])


formats = {}
for text in sys.stdin:
    step = json.loads(text)
    if "schema" in step:
        formats = {entry["id"]: entry for entry in step["catalogue"]}
        continue
    kept = {key: step.get(key) for key in ("step", "event", "input", "answer")}
    kept["log"] = [printed(rule, formats) for rule in step["rules"]]
    print(json.dumps(kept, sort_keys=True, separators=(",", ":")))

#!/usr/bin/env python3
"""--redact as a user runs it: ktr replay, sim and log, each with every output, once as is and once redacted.

In the redacted outputs no uid of the run remains (as a whole number: in tables, JSON, CSV, log lines and
the HTML report's data), and each uid has one pseudonym throughout: the redacted JSON Lines equal the plain
ones with every uid, in the structured fields and in the texts, replaced by its pseudonym.

Usage: check_redact.py KTR SOURCE_DIR SCRATCH_DIR
"""
import base64
import json
import pathlib
import re
import shutil
import subprocess
import sys
import zlib

# A number standing alone: not digits inside a word or a hex digest such as the library's sha256.
NUMBER = re.compile(r"(?<![0-9A-Za-z])\d+(?![0-9A-Za-z])")
UID_KEYS = {"uid", "local_uid", "sharer", "speaker", "hd", "ld"}
CONVERSIONS = re.compile(r"%(llu|d)")
HTML_DATA = re.compile(r'<script type="application/(json|octet-stream)" id="ktr-[a-z0-9-]+">(.*?)</script>', re.S)

failures = []


def check(name, condition, detail=""):
    print(("ok   " if condition else "FAIL ") + name + ("" if condition else ": " + detail))
    if not condition:
        failures.append(name)


def run(ktr, args, stdout_path):
    with open(stdout_path, "w") as out:
        subprocess.run([ktr] + args, stdout=out, check=True)


def uids_of(steps):
    """Every uid of the plain timeline's structured fields."""
    found = set()

    def walk(value, key=None):
        if isinstance(value, dict):
            for k, v in value.items():
                walk(v, k)
        elif isinstance(value, list):
            for v in value:
                walk(v, key)
        elif key in UID_KEYS and isinstance(value, int) and not isinstance(value, bool) and value > 0:
            found.add(value)

    for step in steps:
        walk(step["input"])
        walk(step["answer"])
        walk(step["state"])
        found.update(int(uid) for uid in step["state"].get("peers", {}))
    return found


def uid_fields(header):
    """The fields of each log format that hold uids (its %llu conversions), from the timeline's catalogue."""
    fields = {}
    for entry in header["catalogue"]:
        conversions = CONVERSIONS.findall(entry["format"].replace("%%", ""))
        fields[entry["id"]] = {name for name, kind in zip(entry["fields"], conversions) if kind == "llu"}
    return fields


def redact_rule(rule, uid_fields_of, mapping):
    """The rule as its redacted timeline must write it."""
    if rule["format_id"] is None:
        return dict(rule, text=redact_text(rule["text"], mapping))
    uids = uid_fields_of[rule["format_id"]]
    fields = {name: mapping.get(value, value) if name in uids else value for name, value in rule["fields"].items()}
    return dict(rule, fields=fields)


def pair_uids(plain, redacted, mapping, conflicts):
    """Records the pseudonym of every uid standing at the same place in both values."""
    if isinstance(plain, dict) and isinstance(redacted, dict):
        for key in plain:
            if key in redacted:
                if key in UID_KEYS and isinstance(plain[key], int) and not isinstance(plain[key], bool):
                    note(plain[key], redacted[key], mapping, conflicts)
                elif key in UID_KEYS and isinstance(plain[key], list):
                    for a, b in zip(sorted(plain[key]), sorted(redacted[key])):
                        note(a, b, mapping, conflicts)
                else:
                    pair_uids(plain[key], redacted[key], mapping, conflicts)
    elif isinstance(plain, list) and isinstance(redacted, list) and len(plain) == len(redacted):
        for a, b in zip(plain, redacted):
            pair_uids(a, b, mapping, conflicts)


def note(uid, pseudonym, mapping, conflicts):
    if uid == 0:
        return
    if mapping.setdefault(uid, pseudonym) != pseudonym:
        conflicts.append(f"{uid} -> {mapping[uid]} and {pseudonym}")


def redact_text(text, mapping):
    return NUMBER.sub(lambda m: str(mapping.get(int(m.group()), m.group())), text)


def leaks(path, uids):
    text = path.read_text(errors="replace")
    if path.suffix == ".html":
        # The blocks of steps are deflated and in base64: read what they hold.
        text = "\n".join(zlib.decompress(base64.b64decode(data)).decode() if kind == "octet-stream" else data
                         for kind, data in HTML_DATA.findall(text))
    return sorted({int(n) for n in NUMBER.findall(text) if int(n) in uids})


def compare(name, plain_dir, redacted_dir, outputs):
    plain_lines = [json.loads(line) for line in open(plain_dir / "timeline.jsonl")]
    plain, uid_fields_of = plain_lines[1:], uid_fields(plain_lines[0])
    redacted = [json.loads(line) for line in open(redacted_dir / "timeline.jsonl")][1:]
    uids = uids_of(plain)
    check(f"{name}: the run has uids", len(uids) > 1, str(uids))
    for output in outputs:
        found = leaks(redacted_dir / output, uids)
        check(f"{name}: no uid in {output}", not found, str(found[:10]))
    mapping, conflicts = {}, []
    for a, b in zip(plain, redacted):
        for part in ("input", "answer", "state"):
            pair_uids(a[part], b[part], mapping, conflicts)
    check(f"{name}: one pseudonym per uid", not conflicts and len(set(mapping.values())) == len(mapping),
          "; ".join(conflicts[:5]))
    check(f"{name}: every uid has its pseudonym", uids <= set(mapping), str(uids - set(mapping)))
    peers_match = all(
        sorted(mapping.get(int(uid)) for uid in a["state"].get("peers", {})) ==
        sorted(int(uid) for uid in b["state"].get("peers", {})) for a, b in zip(plain, redacted))
    check(f"{name}: the peers of the state carry the same pseudonyms", peers_match)
    texts_match = all(
        [redact_rule(r, uid_fields_of, mapping) for r in a["rules"]] == b["rules"] and
        [redact_text(n, mapping) for n in a.get("notes", [])] == b.get("notes", [])
        for a, b in zip(plain, redacted))
    check(f"{name}: log lines and notes carry the same pseudonyms", texts_match)
    check(f"{name}: as many steps", len(plain) == len(redacted), f"{len(plain)} and {len(redacted)}")
    if "summary.json" in outputs:
        # The summary is redacted once, by the same stage: its peers carry the timeline's pseudonyms.
        plain_peers = [peer["uid"] for peer in json.load(open(plain_dir / "summary.json"))["peers"]]
        redacted_peers = [peer["uid"] for peer in json.load(open(redacted_dir / "summary.json"))["peers"]]
        expected = sorted(mapping.get(uid, uid) for uid in plain_peers)
        check(f"{name}: the summary's peers carry the timeline's pseudonyms",
              plain_peers and sorted(redacted_peers) == expected, f"{sorted(redacted_peers)} and {expected}")


def both(ktr, scratch, name, args, outputs):
    """Runs the command plain and redacted, each into a folder of its own; returns the folders."""
    folders = []
    for redact in (False, True):
        folder = scratch / (name + ("-redacted" if redact else "-plain"))
        folder.mkdir(parents=True)
        filled = [str(folder / a[1:]) if a.startswith("@") else a for a in args]
        run(ktr, filled + (["--redact"] if redact else []), folder / "stdout.txt")
        folders.append(folder)
    compare(name, folders[0], folders[1], outputs + ["stdout.txt"])


def main():
    ktr, source_dir, scratch = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir(parents=True)
    scenario = str(source_dir / "examples/scenarios/team-meeting.json")
    both(ktr, scratch, "replay", ["replay", scenario, "--log", "--explain", "--json", "@timeline.jsonl", "--csv",
                                  "@timeline.csv", "--log-file", "@library.log", "--html", "@report.html"],
         ["timeline.jsonl", "timeline.csv", "library.log", "report.html"])
    both(ktr, scratch, "sim", ["sim", str(source_dir / "examples/meetings/team-meeting.json"), "--duration", "60",
                               "--steps", "--log", "--json", "@timeline.jsonl", "--csv", "@timeline.csv", "--log-file",
                               "@library.log", "--series", "@series.csv", "--summary", "@summary.json", "--record",
                               "@record.json", "--html", "@report.html"],
         ["timeline.jsonl", "timeline.csv", "library.log", "series.csv", "summary.json", "record.json", "report.html"])
    log = scratch / "team-meeting.log"
    subprocess.run([ktr, "replay", scenario, "--log-file", str(log)], stdout=subprocess.DEVNULL, check=True)
    both(ktr, scratch, "log", ["log", str(log), "--log", "--explain", "--json", "@timeline.jsonl", "--csv",
                               "@timeline.csv", "--summary", "@summary.json", "--scenario", "@scenario.json", "--html",
                               "@report.html"],
         ["timeline.jsonl", "timeline.csv", "summary.json", "scenario.json", "report.html"])
    print(f"redact: {len(failures)} failed" if failures else "redact: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

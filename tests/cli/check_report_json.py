#!/usr/bin/env python3
"""Checks a --json document of scan, fix, rebuild or identify against the
shape README.md documents ("JSON output"), then prints what it holds as
plain lines for the test to compare. Exit status 1 with the reason on a
document that is not exactly one JSON value of that shape."""
import json
import sys

STR, INT, BOOL = str, int, bool
OPTIONAL = "optional"

STATUS_SUMMARY = {k: INT for k in ("gamesComplete", "gamesIncomplete", "gamesMissing", "romsHave", "romsMissing",
                                   "romsFoundElsewhere", "archivesUnreadable")}
FIX_SUMMARY = dict(STATUS_SUMMARY, **{k: INT for k in ("movedIntoSets", "renamed", "movedToBackup", "stepsFailed")})
REBUILD_SUMMARY = {k: INT for k in ("gamesCompleted", "romsAdded", "sourcesUsed", "sourcesUnused", "stepsFailed")}
IDENTIFY_SUMMARY = {k: INT for k in ("matched", "notMatched", "unreadable")}
ACTIONS = ("moved into set", "renamed", "moved to backup", "added", "failed")

ACTION = {"action": ACTIONS, "name": STR, "from": STR, "to": (STR, OPTIONAL), "system": (STR, OPTIONAL),
          "game": (STR, OPTIONAL), "rom": (STR, OPTIONAL), "error": (STR, OPTIONAL)}
FILE = {"name": STR, "status": ("have", "missing", "found elsewhere"), "action": (ACTIONS, OPTIONAL),
        "from": (STR, OPTIONAL), "fromEntry": (STR, OPTIONAL), "to": (STR, OPTIONAL), "error": (STR, OPTIONAL)}
GAME = {"system": STR, "name": STR, "status": ("complete", "incomplete", "missing"), "renamedFrom": (STR, OPTIONAL),
        "files": [FILE]}
FINDING = {"file": STR, "text": STR}
FRAME = {"command": STR, "cancelled": BOOL, "messages": [STR], "findings": [FINDING]}


def systems_doc(summary):
    system = {"system": STR, "folder": STR, "summary": summary, "games": [GAME], "actions": [ACTION]}
    return dict(FRAME, summary=summary, systems=[system])


REBUILD_KEYS = {"source": (STR, "nullable"), "summary": REBUILD_SUMMARY, "games": [GAME], "actions": [ACTION],
                "unusedSources": [STR]}
SHAPES = {
    "scan": systems_doc(STATUS_SUMMARY),
    "fix": dict(systems_doc(FIX_SUMMARY), backupFolder=STR),
    "rebuild": dict(FRAME, **REBUILD_KEYS),
    "identify": dict(FRAME, summary=IDENTIFY_SUMMARY,
                     hits=[{k: STR for k in ("filename", "path", "system", "game", "rom", "status")}],
                     notMatched=[{"path": STR, "entry": STR}], unreadable=[STR],
                     rebuild=(dict({"cancelled": BOOL}, **REBUILD_KEYS), OPTIONAL)),
    "import": dict(FRAME, summary={k: INT for k in ("imported", "notReplaced", "failed")},
                   files=[{"path": STR, "outcome": ("imported", "not replaced", "failed"), "system": STR, "roms": INT}]),
}


class ShapeError(Exception):
    pass


def check(value, shape, where):
    if isinstance(shape, tuple) and len(shape) == 2 and shape[1] in (OPTIONAL, "nullable"):
        if value is None and shape[1] == "nullable":
            return
        shape = shape[0]
    if isinstance(shape, tuple):
        if value not in shape:
            raise ShapeError(f"{where}: {value!r} is not one of {shape}")
    elif isinstance(shape, list):
        if not isinstance(value, list):
            raise ShapeError(f"{where}: not an array")
        for i, item in enumerate(value):
            check(item, shape[0], f"{where}[{i}]")
    elif isinstance(shape, dict):
        if not isinstance(value, dict):
            raise ShapeError(f"{where}: not an object")
        for key in value:
            if key not in shape:
                raise ShapeError(f"{where}: undocumented key {key!r}")
        for key, sub in shape.items():
            optional = isinstance(sub, tuple) and len(sub) == 2 and sub[1] == OPTIONAL
            if key not in value:
                if not optional:
                    raise ShapeError(f"{where}: no key {key!r}")
                continue
            check(value[key], sub, f"{where}.{key}")
    elif shape is INT:
        if not isinstance(value, int) or isinstance(value, bool) or value < 0:
            raise ShapeError(f"{where}: not a count")
    elif not isinstance(value, shape):
        raise ShapeError(f"{where}: not a {shape.__name__}")


def print_games(games):
    for g in games:
        print(f"game {g['system']}/{g['name']} {g['status']}" + (" renamed" if "renamedFrom" in g else ""))
        for f in g["files"]:
            print(f"file {g['system']}/{g['name']}/{f['name']} {f['status']}" +
                  (f" {f['action']}" if "action" in f else ""))


def print_actions(actions):
    for a in actions:
        print(f"action {a['action']} {a['name']} from {a['from']}" + (f" to {a['to']}" if "to" in a else ""))


def main():
    text = open(sys.argv[1], encoding="utf-8").read()
    try:
        doc = json.loads(text)
        if not isinstance(doc, dict) or doc.get("command") not in SHAPES:
            raise ShapeError("not a document of scan, fix, rebuild, identify or import")
        check(doc, SHAPES[doc["command"]], "document")
    except (ValueError, ShapeError) as e:
        print(f"bad document: {e}\n{text}", file=sys.stderr)
        return 1
    summaries = [("", doc["summary"])] + [(s["system"] + ".", s["summary"]) for s in doc.get("systems", [])]
    if "rebuild" in doc:
        summaries.append(("rebuild.", doc["rebuild"]["summary"]))
    for prefix, summary in summaries:
        for key, value in summary.items():
            print(f"summary {prefix}{key}={value}")
    for s in doc.get("systems", []):
        print_games(s["games"])
        print_actions(s["actions"])
    for part in (doc, doc.get("rebuild", {})):
        print_games(part.get("games", []))
        print_actions(part.get("actions", []))
        for path in part.get("unusedSources", []):
            print(f"unused {path}")
    for f in doc.get("files", []):
        print(f"file {f['path']} {f['outcome']} {f['system']} {f['roms']}")
    for m in doc.get("notMatched", []):
        print(f"not matched {m['entry']} in {m['path']}")
    for h in doc.get("hits", []):
        print(f"hit {h['filename']} {h['system']}/{h['game']}/{h['rom']}")
    for m in doc["messages"]:
        print(f"message {m}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

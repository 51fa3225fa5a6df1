#!/usr/bin/env python3
"""kestrel-collect --format ecs and timesketch against --format jsonl, over four
shared logs and the sample site (whose DC01 writes the events beyond logons):
each value where the other format has it, event_data as the generator wrote it.
usage: check_formats.py --sample-site TOOL KESTREL_COLLECT SHARED_EVTX_FOLDER
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
from datetime import datetime, timezone

SHARED = {"PC-A": "security.evtx", "PC-B": "Security_with_size_t.evtx", "PC-D": "post-Security.evtx",
          "PC-E": "security_bad_string_cache.evtx"}
COMPUTERS = list(SHARED) + ["localhost", "PC01", "SV01", "DC01"]
# Each ECS field and the jsonl key it comes from, by how: the same value and
# JSON type, as text, as UTC, the outcome of a failure or not, among the items.
MAPPINGS = [(field, key, how) for how, pairs in {
    "same": "host.name=computer winlog.computer_name=origin user.name=user user.domain=domain source.ip=ip"
            " source.ip=client_address source.port=port source.domain=workstation source.domain=caller_computer"
            " source.domain=client_name process.executable=process winlog.logon.id=logon_id"
            " winlog.event_data.Status=status winlog.event_data.SubStatus=sub_status"
            " winlog.logon.failure.reason=failure_reason winlog.event_data.TargetServerName=target_server"
            " winlog.event_data.PrivilegeList=privileges winlog.event_data.ServiceName=service"
            " winlog.event_data.TicketEncryptionType=ticket_encryption winlog.event_data.SessionName=session_name"
            " winlog.event_data.SubjectUserName=subject_user winlog.event_data.SubjectDomainName=subject_domain",
    "text": "winlog.record_id=record_id winlog.event_id=event_id event.code=event_id"
            " winlog.event_data.LogonType=logon_type",
    "utc": "@timestamp=time",
    "outcome": "event.outcome=failure_reason",
    "among": "related.user=user related.user=subject_user related.ip=ip related.ip=client_address",
}.items() for field, key in (pair.split("=") for pair in pairs.split())]
# A short list of what ECS defines (all else lies under winlog.), and its
# categories with the types each allows.
ECS_FIELDS = set("@timestamp message event.code event.action event.category event.type event.outcome event.kind"
                 " event.provider host.name user.name user.domain user.id source.ip source.port source.domain"
                 " process.executable related.user related.ip".split())
CATEGORIES = {"authentication": {"start", "end", "info"}, "session": {"start", "end", "info"},
              "iam": {"admin", "change", "creation", "deletion", "group", "info", "user"}}
NONE, DATA, failures = (None, "", "-"), "winlog.event_data.", []


def check(good, text):
    if not good:
        failures.append(text)
        if len(failures) <= 30:
            print(text)


def flat(pairs):
    """An object's values by their dotted paths ("winlog.logon.id"), each path once."""
    paths = [(key + "." + k if k else key, v) for key, value in pairs
             for k, v in (value.items() if isinstance(value, dict) else [("", value)])]
    if len(dict(paths)) < len(paths):
        raise ValueError("a key twice")
    return dict(paths)


def lines(program, site, form, *more):
    # No look at the exit code: PC-E's log has a damaged chunk.
    result = subprocess.run([program, "--log-dir", site, "--from", "2000-01-01", "--events", "all", "--jobs", "1",
                             "--format", form, *(more or COMPUTERS)], capture_output=True, text=True,
                            env=dict(os.environ, TZ="Asia/Tokyo"), check=False)
    try:
        return [json.loads(line, object_pairs_hook=flat) for line in result.stdout.splitlines()]
    except ValueError as error:
        sys.exit("--format %s: a line that is no JSON object of ours: %s" % (form, error))


def check_ecs_against_jsonl(jsonl, ecs):
    check(len(ecs) == len(jsonl) and len(ecs) > 3000, "%d ECS lines, %d jsonl lines" % (len(ecs), len(jsonl)))
    mapped = {key for _, key, _ in MAPPINGS} | {"kind"}
    seen, actions = set(), {}  # mappings with a value; actions by kind
    for row, e in zip(jsonl, ecs):
        check(set(row) <= mapped, "jsonl keys no ECS field takes: %s" % (set(row) - mapped))
        actions.setdefault(row["kind"], set()).add(e.get("event.action"))
        for field, key, how in (m for m in MAPPINGS if m[1] in row or m[2] == "outcome"):
            value, got, items = row.get(key), e.get(field), e.get(field) or []
            if how == "outcome":
                want = "success" if value in NONE else "failure"
            elif value in NONE:
                want = None
            elif how == "utc":
                want = datetime.fromisoformat(value).astimezone(timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
            else:
                want = value if how == "same" else str(value)
            where = "%s <- %s in record %s: %r for %r" % (field, key, row["record_id"], got, want)
            if how == "among":
                check(len(set(items)) == len(items) and want in items + [None], where)
            else:
                check(got == want and type(got) is type(want) and (want is not None or field not in e), where)
            seen |= {(field, key)} if want is not None else set()
    check(len(seen) == len(MAPPINGS), "no line has a value for %s" % [m for m in MAPPINGS if m[:2] not in seen])
    # One action a kind, another for each of the twelve kinds.
    distinct = {name for names in actions.values() for name in names}
    check(len(actions) == 12 == len(distinct) and all(len(n) == 1 for n in actions.values()), "actions: %s" % actions)


def check_ecs_fields(ecs, generated):
    from_site = 0
    for e in ecs:
        for key, value in e.items():
            check(key in ECS_FIELDS or key.startswith("winlog."), "not an ECS field: " + key)
            check(isinstance(value, list) == key.startswith(("event.category", "event.type", "related.")),
                  "%s: %r" % (key, value))
        for category in e["event.category"]:
            check(set(e["event.type"]) <= CATEGORIES.get(category, set()), "%s %s" % (category, e["event.type"]))
        computer, record = e["host.name"], e["winlog.record_id"]
        if computer.startswith("PC-"):
            continue  # the shared logs: no generator to ask
        from_site += 1
        for key in (key for key in e if key.startswith(DATA)):
            want = generated.get((computer, int(record)), {}).get(key[len(DATA):], "(none)")
            want = "%#x" % int(want, 16) if want.startswith("0x") else want  # as the collector writes hex
            check(e[key] == want, "%s of %s %s: %r, the generator wrote %r" % (key, computer, record, e[key], want))
        sids = [e[DATA + name] for name in ("TargetUserSid", "TargetSid", "SubjectUserSid") if DATA + name in e]
        want = "" if e["event.code"] == "4648" or not sids else sids[0]
        check(e.get("user.id", "") == want, "user.id of %s %s: %r, not %r" % (computer, record, e.get("user.id"), want))
    check(from_site > 1500, "only %d ECS lines of the sample site" % from_site)


def check_timesketch(jsonl, sketch, messages):
    check(len(sketch) == len(jsonl), "%d timesketch lines, %d jsonl lines" % (len(sketch), len(jsonl)))
    types, left_out = {}, set()  # left out: where jsonl has null
    for row, line in zip(jsonl, sketch):
        for key, value in line.items():
            types.setdefault(key, set()).add(type(value))
        seconds = int(datetime.fromisoformat(row["time"]).timestamp())
        check({"message", "datetime", "timestamp", "timestamp_desc"} <= set(line) and "_id" not in line
              and line["message"] and line["timestamp_desc"] == "Event Recorded" and line["datetime"] == row["time"]
              and str(line["timestamp"]) == "%d000000" % seconds, "for %s: %s" % (row, line))
        for key, value in row.items():
            if value is None:
                left_out |= {key} - set(line)
            got = line.get(key)
            check((got, type(got)) == (value, type(value)) or value is None and got in (None, ""),
                  "%s in record %s: %r, jsonl %r" % (key, row["record_id"], got, value))
    check(all(len(found) == 1 for found in types.values()), "a key of more types than one: %s" % types)
    # A key left out where it had no value is a number where it has one.
    check("port" in left_out and all(types.get(key) == {int} for key in left_out), "left out: %s" % left_out)
    check(messages, "no lines with --messages")
    for line in messages:
        check(isinstance(line.get("event_message"), str) and line.get("message"), "--messages: %s" % line)


def main():
    if len(sys.argv) != 5 or sys.argv[1] != "--sample-site":
        sys.exit(__doc__)
    tool, program, shared = sys.argv[2:]
    with tempfile.TemporaryDirectory() as site:
        events = os.path.join(site, "events.jsonl")
        subprocess.run([tool, "--out", site, "--end", "2024-03-15 12:00:00", "--events", events], check=True,
                       stdout=subprocess.DEVNULL, env=dict(os.environ, TZ="Asia/Tokyo"))
        with open(events, encoding="utf-8") as file:  # each field by its name, the first of a name
            generated = {(e["computer"], e["record"]): dict(reversed(e["data"])) for e in map(json.loads, file)}
        for computer, name in SHARED.items():
            os.makedirs(os.path.join(site, computer))
            shutil.copy(os.path.join(shared, name), os.path.join(site, computer, "Security.evtx"))
        jsonl, ecs = lines(program, site, "jsonl"), lines(program, site, "ecs")
        check_ecs_against_jsonl(jsonl, ecs)
        check_ecs_fields(ecs, generated)
        # winlog.channel is the log read; a forwarded event keeps the computer it came from.
        check(lines(program, site, "ecs", "DC01")[0]["winlog.channel"] == "Security", "DC01's channel")
        forwarded = lines(program, site, "ecs", "--log", "ForwardedEvents", "SV01")
        wrong = [e for e in forwarded if e["winlog.channel"] != "ForwardedEvents"
                 or e["winlog.computer_name"] == "SV01.kestrel.local"]
        check(forwarded and not wrong, "%d forwarded events, as SV01's own: %s" % (len(forwarded), wrong[:1]))
        check_timesketch(jsonl, lines(program, site, "timesketch"),
                         lines(program, site, "timesketch", "--messages", "DC01"))
    print("%d lines of each format, %d differences" % (len(jsonl), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

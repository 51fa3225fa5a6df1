#!/usr/bin/env python3
"""Runs kestrel-sample-site into a temporary folder and checks what it wrote:
libevtx (pyevtx, evtxexport) and python-evtx read every log without complaint,
with the records, event IDs and EventData values the generator meant, and the
expected rows are those the result table shows for these events. SV01's
ForwardedEvents.evtx holds the logon events of localhost and PC01, each under
its own computer's name, oldest first. DC01's log holds the domain
controller's events as well.

usage: check_sample_site.py PATH/TO/kestrel-sample-site
"""
import csv
import datetime
import io
import json
import logging
import os
import shutil
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

os.environ["TZ"] = "Asia/Tokyo"
time.tzset()

try:
    import pyevtx
    import Evtx.Evtx as python_evtx
except ImportError as error:
    sys.exit(f"check_sample_site: {error}; scripts/setup installs python3-libevtx and python3-evtx")

END = "2024-03-15 12:00:00"
END_SECONDS = int(time.mktime(time.strptime(END, "%Y-%m-%d %H:%M:%S")))
DAYS = 14
COMPUTERS = ["localhost", "PC01", "SV01", "DC01"]
FULL_NAMES = {"localhost": "ADMIN01.kestrel.local", "PC01": "PC01.kestrel.local", "SV01": "SV01.kestrel.local",
              "DC01": "DC01.kestrel.local"}
COLLECTOR = "SV01"
FORWARDERS = ["localhost", "PC01"]
FORWARDED_IDS = {4624, 4625, 4634, 4647}
CONTROLLER_IDS = {4740, 4768, 4769, 4771, 4776, 4778, 4779}
PROVIDER = "Microsoft-Windows-Security-Auditing"
PROVIDER_GUID = "{54849625-5478-4994-a5ba-3e3b0328c30d}"
NS = "{http://schemas.microsoft.com/win/2004/08/events/event}"
EPOCH_DIFFERENCE = 11644473600
FILETIME_START = datetime.datetime(1601, 1, 1)
SERVICE_ACCOUNTS = {"SYSTEM", "LOCAL SERVICE", "NETWORK SERVICE"}
HEADER = ["コンピュータ", "時刻", "ログオン", "ログオフ", "ユーザ名", "コンピュータ名", "イベントID", "タイプ"]

problems = []


def check(condition, message):
    if not condition:
        problems.append(message)
    return condition


class Warnings(logging.Handler):
    """Collects what python-evtx logs at warning level or above."""

    def __init__(self):
        super().__init__(logging.WARNING)
        self.messages = []

    def emit(self, record):
        self.messages.append(record.getMessage())


def same_value(expected, actual, from_xml=False):
    """The generator writes hex values as 0x..., GUIDs in braces; readers pad and case them."""
    actual = "" if actual is None else actual
    if from_xml:
        # XML parsing turns CR LF into LF.
        expected = expected.replace("\r\n", "\n").replace("\r", "\n")
    if expected.startswith("0x") and actual.startswith("0x"):
        return int(expected, 16) == int(actual, 16)
    if expected.startswith("{"):
        return expected.lower() == actual.lower()
    return expected == actual


def failed(event):
    """An audit failure: 4625 and 4771 always, 4768, 4769 and 4776 when their status is not 0."""
    status = dict(event["data"]).get("Status", "0x0")
    return event["id"] in (4625, 4771) or (event["id"] in (4768, 4769, 4776) and int(status, 16) != 0)


def time_text(file_time):
    local = time.localtime(file_time // 10**7 - EPOCH_DIFFERENCE)
    return time.strftime("%Y/%m/%d %H:%M:%S", local) + "  "


def type_text(logon_type):
    return {"2": "ローカル", "3": "ネットワーク"}.get(logon_type, "")


def row_of(computer, event_id, file_time, strings):
    """The table's row for an event, from its insertion strings; None when it shows none."""
    kinds = {4624: ("ログオン", "", 5, 6, 8), 4625: ("ログオン失敗", "", 5, 6, 10), 4634: ("", "ログオフ", 1, 2, None)}
    if event_id not in kinds:
        return None
    logon, logoff, user, domain, logon_type = kinds[event_id]
    if event_id == 4624 and strings[user] in SERVICE_ACCOUNTS:
        return None
    return [computer, time_text(file_time), logon, logoff, strings[user], strings[domain], str(event_id),
            type_text(strings[logon_type]) if logon_type is not None else ""]


def run(generator, out, *arguments):
    result = subprocess.run([generator, "--out", out, *arguments], capture_output=True, text=True)
    check(result.returncode == 0 and result.stderr == "",
          f"kestrel-sample-site {' '.join(arguments)}: exit {result.returncode}, {result.stderr!r}")


def tree_bytes(folder):
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


def check_libevtx(computer, path, events, forwarded=False):
    """events carry their computer; in a forwarded log the record was written after the event happened."""
    log = pyevtx.file()
    log.open(path)
    check(not log.is_corrupted(), f"{computer}: libevtx calls the file corrupted")
    check(log.number_of_records == len(events), f"{computer}: libevtx reads {log.number_of_records} records, "
                                                f"{len(events)} were written")
    check(log.number_of_recovered_records == 0, f"{computer}: libevtx recovers deleted records")
    rows = []
    last_written = 0
    for index, event in enumerate(events[:log.number_of_records]):
        record = log.get_record(index)
        where = f"{computer} record {event['record']}"
        check(record.identifier == event["record"], f"{where}: libevtx identifier {record.identifier}")
        check(record.event_identifier == event["id"], f"{where}: libevtx event ID {record.event_identifier}")
        written = record.get_written_time_as_integer()
        if forwarded:
            # On its way for a moment, and written in the order it came.
            check(event["fileTime"] < written <= event["fileTime"] + 60 * 10**7 and written >= last_written,
                  f"{where}: written at {written}, the event happened at {event['fileTime']}")
            last_written = written
        else:
            check(written == event["fileTime"], f"{where}: written time")
        # This libevtx fails to give the provider GUID once the source name was asked
        # for, with Windows' own files too: ask for the GUID first.
        provider = record.provider_identifier
        check(provider.lower() == PROVIDER_GUID, f"{where}: provider {provider}")
        check(record.source_name == PROVIDER, f"{where}: source {record.source_name}")
        check(record.computer_name == FULL_NAMES[event["computer"]], f"{where}: computer {record.computer_name}")
        strings = [record.get_string(i) or "" for i in range(record.number_of_strings)]
        expected = [value for _, value in event["data"]]
        check(len(strings) == len(expected) and all(map(same_value, expected, strings)),
              f"{where}: libevtx strings {strings} instead of {expected}")

        system = ET.fromstring(record.xml_string).find(NS + "System")
        check(system.findtext(NS + "Channel") == "Security", f"{where}: libevtx channel")
        keywords = "0x8010000000000000" if event["failure"] else "0x8020000000000000"
        check(system.findtext(NS + "Keywords") == keywords, f"{where}: libevtx keywords")
        check(system.findtext(NS + "Version") == str(event["version"]), f"{where}: libevtx version")
        check(system.findtext(NS + "EventRecordID") == str(event["record"]), f"{where}: libevtx EventRecordID")
        ticks = event["fileTime"] % 10**7
        created = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(event["fileTime"] // 10**7 - EPOCH_DIFFERENCE))
        check(system.find(NS + "TimeCreated").get("SystemTime") == f"{created}.{ticks * 100:09d}Z",
              f"{where}: libevtx TimeCreated")
        names = [d.get("Name") for d in ET.fromstring(record.xml_string).iter(NS + "Data")]
        check(names == [name for name, _ in event["data"]], f"{where}: libevtx Data names {names}")
        rows.append(row_of(computer, record.event_identifier, event["fileTime"], strings))
    log.close()

    export = subprocess.run(["evtxexport", path], capture_output=True)
    check(export.returncode == 0 and export.stderr == b"", f"{computer}: evtxexport says {export.stderr!r}")
    return [row for row in rows if row]


def check_python_evtx(computer, path, events):
    warnings = Warnings()
    logging.getLogger().addHandler(warnings)
    with python_evtx.Evtx(path) as log:
        header = log.get_file_header()
        check(header.verify(), f"{computer}: python-evtx rejects the file header")
        chunks = list(header.chunks())
        check(len(chunks) > 1, f"{computer}: only {len(chunks)} chunk; the chunk change goes untested")
        first = 0
        for number, chunk in enumerate(chunks):
            check(chunk.verify(), f"{computer}: python-evtx rejects chunk {number} (signature or checksum)")
            # The header's hash tables reach every template the chunk defines: the
            # System part of each computer and each EventData in the chunk (events
            # with the same fields, such as 4778 and 4779, share one).
            count = sum(1 for _ in chunk.records())
            shapes = {tuple(name for name, _ in e["data"]) for e in events[first:first + count]}
            computers = {e["computer"] for e in events[first:first + count]}
            check(len(chunk.templates()) == len(computers) + len(shapes), f"{computer}: chunk {number} lists "
                                                                          f"{len(chunk.templates())} templates")
            first += count
        records = list(log.records())
        check(len(records) == len(events), f"{computer}: python-evtx reads {len(records)} records")
        for record, event in zip(records, events):
            where = f"{computer} record {event['record']}"
            root = ET.fromstring(record.xml())
            system = root.find(NS + "System")
            check(system.findtext(NS + "EventID") == str(event["id"]), f"{where}: python-evtx EventID")
            check(system.findtext(NS + "EventRecordID") == str(event["record"]), f"{where}: python-evtx record ID")
            check(system.findtext(NS + "Computer") == FULL_NAMES[event["computer"]], f"{where}: python-evtx computer")
            check(system.find(NS + "Provider").get("Name") == PROVIDER, f"{where}: python-evtx provider")
            check(system.find(NS + "Provider").get("Guid").lower() == PROVIDER_GUID, f"{where}: provider GUID")
            keywords = "0x8010000000000000" if event["failure"] else "0x8020000000000000"
            check(system.findtext(NS + "Keywords") == keywords, f"{where}: python-evtx keywords")
            # python-evtx converts through a float, which can cost it two microseconds.
            created = datetime.datetime.fromisoformat(system.find(NS + "TimeCreated").get("SystemTime"))
            microseconds = (created - FILETIME_START) // datetime.timedelta(microseconds=1)
            check(abs(microseconds - event["fileTime"] // 10) <= 2, f"{where}: python-evtx time {created}")
            data = [(d.get("Name"), d.text or "") for d in root.iter(NS + "Data")]
            check(len(data) == len(event["data"]) and
                  all(name == n and same_value(value, v, from_xml=True)
                      for (name, value), (n, v) in zip(event["data"], data)),
                  f"{where}: python-evtx EventData {data}")
    logging.getLogger().removeHandler(warnings)
    check(not warnings.messages, f"{computer}: python-evtx warns: {warnings.messages[:3]}")


def check_site(folder, events_file):
    with open(events_file, encoding="utf-8") as f:
        events = [json.loads(line) for line in f]
    by_computer = {c: [e for e in events if e["computer"] == c] for c in COMPUTERS}

    with open(os.path.join(folder, "site.lst"), "rb") as f:
        check(f.read() == b"localhost\r\nPC01\r\nSV01\r\nDC01\r\nPC02\r\n", "site.lst is not the site's list")
    check(sorted(os.listdir(folder)) == sorted(COMPUTERS + ["site.lst", "expected_rows.csv"]),
          f"unexpected files: {sorted(os.listdir(folder))}")
    for computer in COMPUTERS:
        logs = ["ForwardedEvents.evtx", "Security.evtx"] if computer == COLLECTOR else ["Security.evtx"]
        check(sorted(os.listdir(os.path.join(folder, computer))) == logs, f"{computer}: unexpected files")

    rows_from_readers = []
    for computer in COMPUTERS:
        mine = by_computer[computer]
        ids = [e["record"] for e in mine]
        check(ids == sorted(set(ids)), f"{computer}: record IDs do not increase")
        times = [e["fileTime"] // 10**7 - EPOCH_DIFFERENCE for e in mine]
        check(times == sorted(times) and END_SECONDS - DAYS * 86400 <= times[0] and times[-1] <= END_SECONDS,
              f"{computer}: events outside the two weeks or out of order")
        path = os.path.join(folder, computer, "Security.evtx")
        rows = check_libevtx(computer, path, mine)
        check_python_evtx(computer, path, mine)
        rows_from_readers += list(reversed(rows))  # a run reads newest first

    with open(os.path.join(folder, "expected_rows.csv"), "rb") as f:
        raw = f.read()
    check(raw.count(b"\n") == raw.count(b"\r\n") and raw.endswith(b"\r\n"), "expected_rows.csv: not CR LF lines")
    table = list(csv.reader(io.StringIO(raw.decode("utf-8"), newline="")))
    check(table[0] == HEADER, f"expected_rows.csv header {table[0]}")
    check(table[1:] == rows_from_readers, "expected_rows.csv differs from the rows of what the readers read")

    # The site shows every case the table has to handle.
    rows = table[1:]
    logon_types = {e["data"][8][1] for e in events if e["id"] == 4624}
    check({"2", "3", "5", "10"} <= logon_types, f"4624 logon types {logon_types}")
    check(SERVICE_ACCOUNTS <= {e["data"][5][1] for e in events if e["id"] == 4624}, "no service-account logons")
    reasons = {e["data"][8][1] for e in events if e["id"] == 4625}
    check(len(reasons) >= 3 and all(r.startswith("%%") for r in reasons), f"4625 reasons {reasons}")
    check({4624, 4625, 4634, 4647, 4648, 4672, 4688} | CONTROLLER_IDS <= {e["id"] for e in events},
          "an event ID is missing")
    check({e["id"] for e in events if e["computer"] != "DC01"}.isdisjoint(CONTROLLER_IDS),
          "a member computer has a domain controller's event")
    check(all(e["failure"] == failed(e) for e in events), "keywords do not follow the event IDs and status")
    check({r[2] + r[3] for r in rows} == {"ログオン", "ログオン失敗", "ログオフ"}, "a kind of row is missing")
    check({r[7] for r in rows} == {"ローカル", "ネットワーク", ""}, "a logon type text is missing")
    check(any(not (r[4] + r[5]).isascii() for r in rows), "no Japanese user or domain names")
    check(any("ｹﾞｽﾄ" == r[4] for r in rows), "no half-width katakana name")
    for computer in COMPUTERS:
        check(any(r[0] == computer for r in rows), f"no rows for {computer}")

    check_forwarded(os.path.join(folder, COLLECTOR, "ForwardedEvents.evtx"), events)


def check_forwarded(path, events):
    """The collector's log: the forwarded events of both computers, oldest first, under its own record IDs."""
    forwarded = [dict(e) for e in events if e["computer"] in FORWARDERS and e["id"] in FORWARDED_IDS]
    forwarded.sort(key=lambda e: (e["fileTime"], FORWARDERS.index(e["computer"])))
    check({e["computer"] for e in forwarded} == set(FORWARDERS) and
          {e["id"] for e in forwarded} == FORWARDED_IDS, "the forwarded log misses a computer or an event ID")
    log = pyevtx.file()
    log.open(path)
    first = log.get_record(0).identifier if log.number_of_records else 0
    log.close()
    for index, event in enumerate(forwarded):
        event["record"] = first + index
    check_libevtx("ForwardedEvents", path, forwarded, forwarded=True)
    check_python_evtx("ForwardedEvents", path, forwarded)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    generator = sys.argv[1]
    work = tempfile.mkdtemp(prefix="kestrel_sample_site_")
    try:
        first, second, today = (os.path.join(work, name) for name in ("first", "second", "today"))
        events_file = os.path.join(work, "events.jsonl")
        run(generator, first, "--end", END, "--seed", "7", "--events", events_file)
        run(generator, second, "--end", str(END_SECONDS), "--seed", "7")
        check(tree_bytes(first) == tree_bytes(second), "the same end and seed give different files")
        if not problems:
            check_site(first, events_file)

        # Without --end the logs end at the moment of the run.
        before = time.time()
        run(generator, today, "--events", events_file)
        with open(events_file, encoding="utf-8") as f:
            newest = max(json.loads(line)["fileTime"] for line in f) / 10**7 - EPOCH_DIFFERENCE
        check(before - 600 < newest <= time.time(), "without --end the logs do not end now")
    finally:
        shutil.rmtree(work)

    for problem in problems[:40]:
        print(problem)
    if problems:
        sys.exit(f"{len(problems)} problems")
    print("sample site: every log reads cleanly and matches the expected rows")


if __name__ == "__main__":
    main()

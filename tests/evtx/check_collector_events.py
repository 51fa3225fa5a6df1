#!/usr/bin/env python3
"""kestrel-collect --events all --format jsonl against libevtx (python3-libevtx).

The shared logs become a site as in check_collector_json.py. Each row of the
events beyond the logon table (4648, 4672, 4740, 4768, 4769, 4771, 4776, 4778,
4779) is worked out here from the record's XML, every field taken by its Data
Name, never by its place. The 4624, 4625 and 4634 rows must be exactly those of
--events logon, and --events logon exactly the output without --events.
EXTRA_SITE_FOLDER (the sample site) is checked the same way, each computer
folder that holds a Security.evtx.

usage: check_collector_events.py [--sample-site TOOL] KESTREL_COLLECT SHARED_EVTX_FOLDER [EXTRA_SITE_FOLDER]
"""
import argparse
import datetime
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from check_collector_json import LOGS, REASONS, as_read, audit_rows, created_seconds, hex_text, hex_value, number

LOGON_IDS = (4624, 4625, 4634)
TOKYO = datetime.timezone(datetime.timedelta(hours=9))
NAMESPACE = "{http://schemas.microsoft.com/win/2004/08/events/event}"

# kind, then each key with the Data Name it comes from.
EVENTS = {
    4648: "explicit_credentials subject_user=SubjectUserName subject_domain=SubjectDomainName"
          " logon_id=SubjectLogonId user=TargetUserName domain=TargetDomainName"
          " target_server=TargetServerName process=ProcessName ip=IpAddress port=IpPort",
    4672: "special_privileges user=SubjectUserName domain=SubjectDomainName logon_id=SubjectLogonId"
          " privileges=PrivilegeList",
    4740: "lockout user=TargetUserName domain=SubjectDomainName caller_computer=TargetDomainName"
          " subject_user=SubjectUserName",
    4768: "kerberos_tgt user=TargetUserName domain=TargetDomainName ip=IpAddress port=IpPort status=Status"
          " failure_reason ticket_encryption=TicketEncryptionType",
    4769: "kerberos_service_ticket user=TargetUserName domain=TargetDomainName service=ServiceName"
          " ip=IpAddress port=IpPort status=Status failure_reason ticket_encryption=TicketEncryptionType",
    4771: "kerberos_preauth_failed user=TargetUserName service=ServiceName ip=IpAddress port=IpPort"
          " status=Status failure_reason",
    4776: "ntlm_validation user=TargetUserName workstation=Workstation status=Status failure_reason",
    4778: "session_reconnected user=AccountName domain=AccountDomain logon_id=LogonID"
          " session_name=SessionName client_name=ClientName client_address=ClientAddress",
}
EVENTS[4779] = EVENTS[4778].replace("session_reconnected", "session_disconnected")
NAMES = {"user", "domain", "subject_user", "subject_domain"}
HEX_KEYS = {"logon_id", "status", "ticket_encryption"}
KERBEROS_REASONS = {
    0x6: "ユーザ名が存在しません",
    0x7: "サービスが存在しません",
    0xC: "アカウントの制限によりログオンできません",
    0x12: "アカウントが無効かロックされています",
    0x17: "パスワードの有効期限が切れています",
    0x18: "パスワードが違います",
    0x25: "コンピュータ間の時刻のずれが大きすぎます",
}
# Characters XML 1.0 forbids (a 4739 of security.evtx holds a \x03), carried
# through the parse as private-use characters.
FORBIDDEN = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f]")
STAND_IN = 0xF0000


def event_data(record):
    """The record's EventData values by Data Name, the first of a name that
    appears twice (4648 has two LogonGuid). libevtx writes hex fields as hex
    and 4-byte SizeT (ProcessId) in decimal; no key here is a SizeT."""
    text = record.xml_string or ""
    # The parser folds CR LF into LF; a character reference keeps the CR of
    # PrivilegeList's lines.
    text = FORBIDDEN.sub(lambda match: chr(STAND_IN + ord(match.group())), text).replace("\r", "&#13;")
    root = ET.fromstring(text)
    values = {}
    for data in root.iterfind(NAMESPACE + "EventData/" + NAMESPACE + "Data"):
        name = data.get("Name")
        if name is not None and name not in values:
            raw = re.sub("[\U000f0000-\U000f001f]", lambda match: chr(ord(match.group()) - STAND_IN), data.text or "")
            values[name] = as_read(raw)
    return values


def value_of(key, text):
    if key in NAMES:
        return text or ""
    if key == "port":
        return None if text is None else number([text], 0)
    if key in HEX_KEYS:
        return None if text is None else hex_text(hex_value([text], 0))
    return None if text in (None, "", "-") else text


def failure_reason(event_id, status):
    if event_id != 4771 and status in (None, "0x0"):
        return None
    table = REASONS if event_id == 4776 else KERBEROS_REASONS
    if status is None:
        return "その他"
    return table.get(int(status, 16)) or "その他 (%s)" % status


def new_row(computer, record, event_id):
    kind, *fields = EVENTS[event_id].split()
    data = event_data(record)
    row = {"computer": computer, "time": created_seconds(record), "record_id": record.identifier,
           "event_id": event_id, "kind": kind}
    for field in fields:
        key, _, name = field.partition("=")
        row[key] = failure_reason(event_id, row["status"]) if key == "failure_reason" else value_of(key, data.get(name))
    row["origin"] = as_read(record.computer_name)
    return row


def expected_rows(computer, path):
    """The rows of the new events in one log, newest first."""
    return audit_rows(path, EVENTS, lambda record, event_id: new_row(computer, record, event_id))


def tokyo_time(seconds):
    return datetime.datetime.fromtimestamp(seconds, TOKYO).isoformat()


def collect(program, site, computers, events):
    options = [] if events is None else ["--events", events]
    result = subprocess.run([program] + options + ["--format", "jsonl", "--from", "2000-01-01", "--log-dir", site]
                            + computers, capture_output=True, env=dict(os.environ, TZ="Asia/Tokyo"), check=False)
    if result.returncode != 0:
        print("kestrel-collect %s failed (exit code %d): %s" % (" ".join(options) or "without --events",
              result.returncode, result.stderr.decode("utf-8", "replace").strip()))
        return None
    return result.stdout


def compare_row(want, got, report):
    where = "%s record %d (%d)" % (want["computer"], want["record_id"], want["event_id"])
    if list(got) != list(want):
        report("%s: keys %s, expected %s" % (where, list(got), list(want)))
    for key, value in dict(want, time=tokyo_time(want["time"])).items():
        if got.get(key) != value:
            report("%s: %s is %r, libevtx gives %r" % (where, key, got.get(key), value))


def check_site(program, site, computers, expected):
    """Prints what differs; returns the number of differences."""
    failures = []

    def report(text):
        failures.append(text)
        if len(failures) <= 20:
            print(text)

    plain, logon, everything = (collect(program, site, computers, events) for events in (None, "logon", "all"))
    if None in (plain, logon, everything):
        return 1
    if plain != logon:
        report("--events logon differs from the output without --events")
    logon_lines = logon.decode("utf-8").splitlines()
    lines = everything.decode("utf-8").splitlines()
    got_rows = [json.loads(line) for line in lines]  # a line that is no JSON stops the check

    kept = [line for line, row in zip(lines, got_rows) if row.get("event_id") in LOGON_IDS]
    if kept != logon_lines:
        first = next((i for i, pair in enumerate(zip(kept, logon_lines)) if pair[0] != pair[1]), None)
        report("the logon rows of --events all differ from --events logon (%d and %d rows%s)" % (
            len(kept), len(logon_lines), "" if first is None else ", first at row %d: %s" % (first, kept[first])))

    order = {computer: index for index, computer in enumerate(computers)}
    places = [(order.get(row.get("computer"), -1), -(row.get("record_id") or 0)) for row in got_rows]
    if places != sorted(places) or min(places, default=(0,))[0] < 0:
        report("rows are not newest first per computer, computers in list order")

    got_new = {(row.get("computer"), row.get("record_id")): row
               for row in got_rows if row.get("event_id") not in LOGON_IDS}
    for want in expected:
        got = got_new.pop((want["computer"], want["record_id"]), None)
        if got is None:
            report("%s record %d (%d): no row" % (want["computer"], want["record_id"], want["event_id"]))
        else:
            compare_row(want, got, report)
    for (computer, record_id), row in got_new.items():
        report("%s record %s (%s): a row libevtx gives no reason for" % (computer, record_id, row.get("event_id")))
    print("%d new rows expected, %d logon rows, %d differences" % (len(expected), len(logon_lines), len(failures)))
    return len(failures)


def site_rows(site):
    """The computers of a folder of computer folders, and their expected rows."""
    computers = sorted(name for name in os.listdir(site) if os.path.isfile(os.path.join(site, name, "Security.evtx")))
    return computers, [row for computer in computers
                       for row in expected_rows(computer, os.path.join(site, computer, "Security.evtx"))]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sample-site", metavar="TOOL",
                        help="write the sample site with kestrel-sample-site TOOL and check it too")
    parser.add_argument("collect")
    parser.add_argument("shared")
    parser.add_argument("extra", nargs="?")
    args = parser.parse_args()
    site = tempfile.mkdtemp()
    try:
        for index, name in enumerate(LOGS):
            os.makedirs(os.path.join(site, "PC%02d" % (index + 1)))
            shutil.copy(os.path.join(args.shared, name), os.path.join(site, "PC%02d" % (index + 1), "Security.evtx"))
        sites = [(site,) + site_rows(site)]
        if args.sample_site:
            args.extra = os.path.join(site, "sample")
            subprocess.run([args.sample_site, "--out", args.extra, "--end", "2024-03-15 12:00:00"], check=True,
                           stdout=subprocess.DEVNULL, env=dict(os.environ, TZ="Asia/Tokyo"))
        if args.extra:
            sites.append((args.extra,) + site_rows(args.extra))
        failures = 0
        for folder, computers, expected in sites:
            print("%s: %s" % (args.shared if folder == site else folder, " ".join(computers)))
            # So that no reading of the logs that finds nothing passes.
            wanted = {4648, 4672, 4776} if folder == site else set(EVENTS)
            missing = sorted(wanted - {row["event_id"] for row in expected})
            if missing:
                print("libevtx finds no %s events in the logs" % ", ".join(map(str, missing)))
                failures += 1
            failures += check_site(args.collect, folder, computers, expected)
        return 1 if failures else 0
    finally:
        shutil.rmtree(site)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""kestrel-collect --format jsonl against libevtx (python3-libevtx).

Every exported Security log of the shared folder becomes one computer of a
site; the collector's JSON lines must hold exactly the 4624, 4625 and 4634
audit records that libevtx reads (less the service accounts' logons), newest
first, with each key worked out here from libevtx's own strings.

usage: check_collector_json.py KESTREL_COLLECT SHARED_EVTX_FOLDER
"""
import calendar
import datetime
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import pyevtx

LOGS = ["security.evtx", "Security_with_size_t.evtx", "post-Security.evtx", "Security_short_selected.evtx"]
SERVICE_ACCOUNTS = {"SYSTEM", "LOCAL SERVICE", "NETWORK SERVICE"}
REASONS = {
    0xC0000064: "ユーザ名が存在しません",
    0xC000006A: "パスワードが違います",
    0xC000006D: "ユーザ名またはパスワードが違います",
    0xC000006E: "アカウントの制限によりログオンできません",
    0xC000006F: "ログオンできる時間帯ではありません",
    0xC0000070: "このワークステーションからはログオンできません",
    0xC0000071: "パスワードの有効期限が切れています",
    0xC0000072: "アカウントが無効です",
    0xC0000133: "コンピュータ間の時刻のずれが大きすぎます",
    0xC000015B: "このログオンの種類は許可されていません",
    0xC0000193: "アカウントの有効期限が切れています",
    0xC0000224: "次回ログオン時にパスワードの変更が必要です",
    0xC0000234: "アカウントがロックされています",
    0xC0000413: "認証ファイアウォールにより拒否されました",
}


def as_read(text):
    # The program's texts are code page 932: what it cannot hold becomes "?".
    return (text or "").encode("cp932", "replace").decode("cp932")


def string(strings, index):
    return as_read(strings[index]) if index < len(strings) else None


def present(strings, index):
    text = string(strings, index)
    return None if text in (None, "", "-") else text


def number(strings, index):
    text = string(strings, index)
    if text is None or not re.fullmatch(r"[0-9]{1,10}", text) or int(text) > 0xFFFFFFFF:
        return None
    return int(text)


def hex_value(strings, index):
    text = string(strings, index)
    if text is None or not re.fullmatch(r"0[xX]0*[0-9a-fA-F]{1,16}", text):
        return None
    return int(text, 16)


def hex_text(value):
    return None if value is None else "0x%x" % value


def audit_type(record):
    keywords = re.search(r"<Keywords>0x([0-9a-fA-F]+)</Keywords>", record.xml_string or "")
    value = int(keywords.group(1), 16) if keywords else 0
    if value & 0x0020000000000000:
        return 8
    if value & 0x0010000000000000:
        return 16
    return None


def created_seconds(record):
    match = re.search(r'<TimeCreated SystemTime="(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)', record.xml_string or "")
    moment = datetime.datetime(*(int(part) for part in match.groups()))
    return calendar.timegm(moment.timetuple())


def audit_rows(path, event_ids, make_row):
    """make_row(record, event_id) of each audit record of these events that
    libevtx reads (None: no row), newest first."""
    log = pyevtx.file()
    log.open(path)
    rows = []
    for index in range(log.number_of_records):
        try:
            record = log.get_record(index)
            event_id = record.event_identifier & 0xFFFF
            if event_id not in event_ids or audit_type(record) is None:
                continue
            row = make_row(record, event_id)
        except (IOError, OSError, ValueError, SyntaxError):  # SyntaxError: XML that does not parse
            continue
        if row is not None:
            rows.append(row)
    log.close()
    rows.sort(key=lambda row: row["record_id"], reverse=True)
    return rows


def logon_row(computer, record, event_id):
    s = [record.get_string(i) or "" for i in range(record.number_of_strings)]
    row = {"computer": computer, "record_id": record.identifier, "event_id": event_id,
           "workstation": None, "ip": None, "port": None, "logon_id": None,
           "status": None, "sub_status": None, "failure_reason": None,
           "origin": as_read(record.computer_name), "utc": created_seconds(record)}
    if event_id == 4624:
        if string(s, 5) in SERVICE_ACCOUNTS:
            return None
        row.update(kind="logon", user=string(s, 5) or "", domain=string(s, 6) or "",
                   logon_type=number(s, 8), workstation=present(s, 11), ip=present(s, 18),
                   port=number(s, 19), logon_id=hex_text(hex_value(s, 7)))
    elif event_id == 4625:
        status, sub_status = hex_value(s, 7), hex_value(s, 9)
        reason = REASONS.get(sub_status) or REASONS.get(status)
        if reason is None:
            reason = "その他" if status is None else "その他 (%s)" % hex_text(status)
        row.update(kind="failed_logon", user=string(s, 5) or "", domain=string(s, 6) or "",
                   logon_type=number(s, 10), workstation=present(s, 13), ip=present(s, 19),
                   port=number(s, 20), status=hex_text(status), sub_status=hex_text(sub_status),
                   failure_reason=reason)
    else:
        row.update(kind="logoff", user=string(s, 1) or "", domain=string(s, 2) or "",
                   logon_type=number(s, 4), logon_id=hex_text(hex_value(s, 3)))
    return row


def expected_rows(computer, path):
    return audit_rows(path, (4624, 4625, 4634), lambda record, event_id: logon_row(computer, record, event_id))


def main(collect, shared):
    keys = ["computer", "time", "record_id", "event_id", "kind", "user", "domain", "logon_type",
            "workstation", "ip", "port", "logon_id", "status", "sub_status", "failure_reason", "origin"]
    site = tempfile.mkdtemp()
    try:
        expected = []
        names = []
        for number_, name in enumerate(LOGS):
            computer = "PC%02d" % (number_ + 1)
            os.makedirs(os.path.join(site, computer))
            shutil.copy(os.path.join(shared, name), os.path.join(site, computer, "Security.evtx"))
            names.append(computer)
            expected += expected_rows(computer, os.path.join(site, computer, "Security.evtx"))
        env = dict(os.environ, TZ="Asia/Tokyo")
        result = subprocess.run([collect, "--format", "jsonl", "--from", "2000-01-01", "--log-dir", site] + names,
                                capture_output=True, env=env, check=False)
        if result.returncode != 0:
            print("kestrel-collect failed:", result.returncode, result.stderr.decode("utf-8", "replace"))
            return 1
        lines = result.stdout.decode("utf-8").splitlines()
        if len(expected) < 50:
            print("only %d rows expected: the logs miss the events" % len(expected))
            return 1
        failures = 0
        if len(lines) != len(expected):
            print("%d lines, %d expected" % (len(lines), len(expected)))
            failures += 1
        for line, want in zip(lines, expected):
            got = json.loads(line)
            if list(got) != keys:
                print("keys differ:", list(got))
                failures += 1
            moment = datetime.datetime.fromisoformat(got["time"])
            if int(moment.timestamp()) != want["utc"] or moment.utcoffset() != datetime.timedelta(hours=9):
                print("time %s is not %d in Tokyo" % (got["time"], want["utc"]))
                failures += 1
            for key in keys:
                if key != "time" and got[key] != want[key]:
                    print("%s record %d: %s is %r, libevtx gives %r" % (want["computer"], want["record_id"], key,
                                                                        got[key], want[key]))
                    failures += 1
            if failures > 20:
                break
        print("%d rows compared, %d differences" % (len(expected), failures))
        return 1 if failures else 0
    finally:
        shutil.rmtree(site)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))

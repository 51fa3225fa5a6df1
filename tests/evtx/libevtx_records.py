#!/usr/bin/env python3
"""Prints every record that libevtx (python3-libevtx) reads from an .evtx file,
one line per record, for the cross-check in tests/native/evtx_crosscheck_test.cpp.

Fields, tab-separated: record identifier, event ID with qualifiers in the high
16 bits, TimeCreated and written time (seconds since 1970), event type,
category, then hex of the UTF-8 of the source and computer names, hex of the
Binary data, and the insertion strings as "count" followed by ",hex" each.
A record libevtx cannot read prints "skip" and its index.
"""
import calendar
import datetime
import html
import re
import sys

import pyevtx

EPOCH_TICKS = 116444736000000000


def unix_seconds(ticks):
    if ticks <= EPOCH_TICKS:
        return 0
    return min((ticks - EPOCH_TICKS) // 10000000, 0xFFFFFFFF)


def iso_seconds(text):
    match = re.match(r"(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)", text or "")
    if not match:
        return 0
    moment = datetime.datetime(*(int(part) for part in match.groups()))
    return max(0, calendar.timegm(moment.timetuple()))


def first(pattern, text):
    match = re.search(pattern, text, re.S)
    return html.unescape(match.group(1)) if match else None


def hexed(text):
    return (text or "").encode("utf-8").hex()


def describe(record):
    xml = record.xml_string
    system = xml[: xml.find("</System>")] if "</System>" in xml else xml
    name = first(r'<Provider [^>]*?Name="([^"]*)"', system) or ""
    source_name = first(r'EventSourceName="([^"]*)"', system)
    source = source_name if source_name else name
    level = int(first(r"<Level>(\d+)</Level>", system) or 0)
    task = int(first(r"<Task>(\d+)</Task>", system) or 0)
    keywords = int(first(r"<Keywords>0x([0-9a-fA-F]+)</Keywords>", system) or "0", 16)
    created = iso_seconds(first(r'<TimeCreated SystemTime="([^"]*)"', system))
    if keywords & 0x0020000000000000:
        event_type = 0x08
    elif keywords & 0x0010000000000000:
        event_type = 0x10
    elif level in (1, 2):
        event_type = 0x01
    elif level == 3:
        event_type = 0x02
    else:
        event_type = 0x04
    qualifiers = record.event_identifier_qualifiers or 0
    event_id = ((qualifiers & 0xFFFF) << 16) | (record.event_identifier & 0xFFFF)
    strings = [record.get_string(i) or "" for i in range(record.number_of_strings)]
    data = ""
    binary = first(r"<EventData>.*<Binary>([0-9A-Fa-f]*)</Binary>", xml)
    if binary is not None and strings and strings[-1] == binary:
        data = strings.pop().upper()
    fields = [record.identifier, event_id, created,
              unix_seconds(record.get_written_time_as_integer()), event_type, task,
              hexed(source), hexed(record.computer_name), data,
              str(len(strings)) + "".join("," + hexed(s) for s in strings)]
    return "\t".join(str(field) for field in fields)


def main(path):
    log = pyevtx.file()
    log.open(path)
    for index in range(log.number_of_records):
        try:
            print(describe(log.get_record(index)))
        except (IOError, OSError, ValueError):
            print("skip\t%d" % index)
    log.close()


if __name__ == "__main__":
    main(sys.argv[1])

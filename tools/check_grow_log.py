#!/usr/bin/env python3
"""Grows the largest log of a sample site with kestrel-grow-log and checks
that libevtx (pyevtx, evtxexport) reads every record of the result: the
identifiers run 1, 2, 3, ... and the events are the source's, over and over.

usage: check_grow_log.py PATH/TO/kestrel-sample-site PATH/TO/kestrel-grow-log
"""
import os
import re
import subprocess
import sys
import tempfile

try:
    import pyevtx
except ImportError as error:
    sys.exit(f"check_grow_log: {error}; scripts/setup installs python3-libevtx")


def events(path):
    log = pyevtx.file()
    log.open(path)
    if log.is_corrupted():
        sys.exit(f"check_grow_log: libevtx calls {path} corrupted")
    ids, xml = [], []
    for index in range(log.number_of_records):
        # A record object outlives its chunk in libevtx's cache: read it at once.
        record = log.get_record(index)
        ids.append(record.identifier)
        xml.append(record.xml_string)
    log.close()
    return ids, xml


def main():
    site_tool, grow_tool = sys.argv[1:3]
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([site_tool, "--out", folder, "--end", "2024-03-15 12:00:00"],
                       check=True, stdout=subprocess.DEVNULL)
        logs = [os.path.join(folder, name, "Security.evtx") for name in ("localhost", "PC01", "SV01", "DC01")]
        source = max(logs, key=os.path.getsize)
        grown = os.path.join(folder, "grown.evtx")
        run = subprocess.run([grow_tool, source, grown, "3"], check=True, stderr=subprocess.PIPE, text=True)
        reported = int(re.search(r": (\d+) records in 48 chunks", run.stderr).group(1))

        if os.path.getsize(grown) != 4096 + 48 * 65536:
            sys.exit(f"check_grow_log: {os.path.getsize(grown)} bytes")
        _, source_xml = events(source)
        ids, xml = events(grown)
        problems = []
        if len(ids) != reported or len(ids) <= len(source_xml):
            problems.append(f"{len(ids)} records read, {reported} written, {len(source_xml)} in the source")
        if ids != list(range(1, len(ids) + 1)):
            problems.append("identifiers do not run 1, 2, 3, ...")
        # The EventRecordID inside the XML is the source's, so the XML repeats as it is.
        if xml != [source_xml[i % len(source_xml)] for i in range(len(xml))]:
            problems.append("the events are not the source's in turn")
        export = subprocess.run(["evtxexport", grown], capture_output=True, text=True)
        exported = len(re.findall(r"^Event number", export.stdout, re.M))
        if export.returncode != 0 or exported != reported:
            problems.append(f"evtxexport: exit code {export.returncode}, {exported} records")
        for problem in problems:
            print("check_grow_log:", problem)
        return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""kestrel-collect --report in Debian's chromium, headless.

Each page must load with nothing on the console (a blocked load or a script
would show there) and only the report's own markup in the DOM chromium built.
The sample site's DOM must hold the numbers of the same run's --summary and
rows, the one place they are compared, and be drawn; the hostile log's names
must come out as text. Exits 77 (skipped) without chromium.

usage: report_in_browser.py KESTREL_SAMPLE_SITE KESTREL_COLLECT
"""
import collections
import html
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

OWN_ELEMENTS = {"html", "head", "meta", "title", "style", "body", "h1", "h2", "section", "table", "tbody",
                "tr", "th", "td", "p", "ul", "li", "span", "svg", "rect", "text", "line"}
HEADINGS = ["ログオンのレポート", "実行の内容", "警告", "ログオンとログオン失敗 (1日ごと)",
            "ログオン失敗の多いアカウント (上位10)", "ログオン失敗の多い接続元 (上位10)",
            "アカウントとログオン先のコンピュータ (ログオンの回数)"]


def fail(message):
    sys.exit(f"report_in_browser: {message}")


def chromium(browser, work, page, *options):
    """Loads the page: the process, and the lines of its console."""
    run = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--enable-logging=stderr",
                          "--v=0", f"--user-data-dir={work / 'profile'}", *options, page.as_uri()],
                         capture_output=True, timeout=180)
    return run, [line for line in run.stderr.decode("utf-8", "replace").splitlines() if ":CONSOLE" in line]


def load(browser, work, page):
    """The DOM chromium built of a page that loads cleanly, as chromium writes it out."""
    run, console = chromium(browser, work, page, "--dump-dom")
    if run.returncode != 0 or console:
        fail(f"{page} does not load cleanly: exit code {run.returncode}\n" + "\n".join(console))
    dom = run.stdout.decode("utf-8")
    # Written out, a text's < is &lt;: each < left opens an element, a comment or the doctype.
    foreign = set(re.findall("<([A-Za-z][^\\s/>]*)", dom)) - OWN_ELEMENTS
    if foreign or dom.count("<!") != 1 or re.search("[\x00-\x09\x0b-\x1f\x7f]", dom):
        fail(f"{page}: elements {foreign}, a comment or a control character made of its names")
    return dom


def texts(markup, pattern):
    """The text of each match, its markup taken off."""
    return [html.unescape(re.sub("<[^>]*>", "", found)) for found in re.findall(pattern, markup, re.S)]


def section(dom, name):
    found = re.search(f'<section id="{name}">(.*?)</section>', dom, re.S)
    return found[1] if found else fail(f"no section {name}")


def rows(dom, name):
    """The cells of each row of a section's table, its first row (headings) left out."""
    found = re.findall("<tr>(.*?)</tr>", section(dom, name), re.S)
    return [texts(row, "<t[dh][^>]*>(.*?)</t[dh]>") for row in found[1:]]


def collect(tool, *arguments):
    """The run's output: its JSON lines read, or its text."""
    run = subprocess.run([tool, *arguments], capture_output=True)
    if run.returncode != 1:
        fail(f"exit code {run.returncode}, expected 1 (PC02 has no log; the hostile log is damaged)")
    out = run.stdout.decode("utf-8")
    return [json.loads(line) for line in out.splitlines()] if "jsonl" in arguments else out


def check_site_page(dom, summary, table, written):
    """The page against the same run's --summary, as JSON lines and as a table, and the rows it wrote."""
    counts = collections.defaultdict(collections.Counter)  # the summary's, by key and account
    for a in (line for line in summary if line["summary"] == "account"):
        for key in ("logons", "failed_logons", "logoffs"):
            counts[key][f"{a['domain']}\\{a['user']}" if a["domain"] else a["user"]] += a[key]
    total = {key: sum(by_account.values()) for key, by_account in counts.items()}
    warnings = re.findall("\r\n((?:警告|ロックアウト):[^\r]*)", table)
    if total["failed_logons"] <= 50 or len(warnings) != 5:
        fail(f"not the sample site this test knows: {total}, {warnings}")
    run = dict(rows(dom, "run"))  # but when it was made, its first line
    wanted = {"ｺﾝﾋﾟｭｰﾀ": "5 台 (読み取り 4 台, 失敗 1 台)", "失敗したｺﾝﾋﾟｭｰﾀ": "PC02", "期間": "2024/03/01 - ﾛｸﾞの最後まで",
              "行数": len(written), "ログオン": total["logons"], "ログオン失敗": total["failed_logons"],
              "ログオフ": total["logoffs"]}
    bars = {kind: [int(n) for n in re.findall(f'<rect class="{kind}"[^>]*><title>[^<]* ([0-9]+)</title>', dom)]
            for kind in ("logon", "fail")}
    checks = {
        "headings": (texts(dom, "<h[12]>(.*?)</h[12]>"), HEADINGS),
        "the run": ({heading: run.get(heading) for heading in wanted}, {h: str(v) for h, v in wanted.items()}),
        "warnings, word for word": (texts(section(dom, "warnings"), "<li[^>]*>(.*?)</li>"), warnings),
        "logons by account": ({row[0]: int(row[-1]) for row in rows(dom, "logons")}, dict(+counts["logons"])),
        # A pair a day from 1 March to the end of the logs on the 15th.
        "bars": ([len(bars["logon"]), len(bars["fail"]), sum(bars["logon"]), sum(bars["fail"])],
                 [15, 15, total["logons"], total["failed_logons"]]),
    }
    sources = collections.Counter()  # the failures by where they came from, as --summary counts them
    for row in written:
        if row["kind"] in ("failed_logon", "kerberos_preauth_failed") and row.get("ip"):
            sources[row["ip"][7:] if row["ip"].startswith("::ffff:") else row["ip"]] += 1
        elif row["kind"] == "ntlm_validation" and row["status"] != "0x0" and row.get("workstation"):
            sources[row["workstation"]] += 1
    for name, by_name in (("top-accounts", counts["failed_logons"]), ("top-sources", sources)):
        top = [(row[0], int(row[1])) for row in rows(dom, name)]
        checks[name] = (top, [(who, by_name[who]) for who, _ in top])
        checks[name + ", the most first"] = ([n for _, n in top], [n for _, n in by_name.most_common(10)])
    for what, (found, expected) in checks.items():
        if found != expected:
            fail(f"{what}: {found}, expected {expected}")


def main():
    sample_site, tool = sys.argv[1:3]
    browser = shutil.which("chromium")
    if browser is None:
        print("report_in_browser: skipped, chromium is missing (scripts/setup installs it)")
        return 77
    os.environ["TZ"] = "Asia/Tokyo"
    with tempfile.TemporaryDirectory() as folder:
        work = pathlib.Path(folder)
        # A clean console proves nothing unless a page that breaks its policy shows there.
        (work / "bad.html").write_text("<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'\">"
                                       "<img src=\"missing.png\"><script>console.log('ran')</script>")
        if not chromium(browser, work, work / "bad.html", "--dump-dom")[1]:
            fail("chromium's console shows nothing of a page that breaks its own policy")

        site, page = work / "site", work / "report.html"
        subprocess.run([sample_site, "--out", site, "--end", "2024-03-15 12:00:00"], check=True, capture_output=True)
        common = ["--log-dir", site, "--list", site / "site.lst", "--from", "2024-03-01", "--events", "all"]
        written = collect(tool, *common, "--format", "jsonl", "--report", page)
        check_site_page(load(browser, work, page), collect(tool, *common, "--summary", "--format", "jsonl"),
                        collect(tool, *common, "--summary"), written)
        run, _ = chromium(browser, work, page, "--hide-scrollbars", "--window-size=1100,2000",
                          f"--screenshot={work / 'report.png'}")
        if run.returncode != 0 or (work / "report.png").stat().st_size < 20000:
            fail("no screenshot of the page")

        hostile, page = work / "hostile", work / "hostile.html"
        subprocess.run([sample_site, "--hostile", "--out", hostile], check=True, capture_output=True)
        collect(tool, "--log-dir", hostile, "--list", hostile / "hostile.lst", "--format", "jsonl", "--report", page)
        text = texts(load(browser, work, page), "<body>(.*)</body>")[0]
        missing = [s[:40] for s in ('=HYPERLINK("http://x","y")', "\\x1b]52;c;aGk=\\x07", "A" * 10000) if s not in text]
        if missing:
            fail(f"the page does not show {missing} as text")
    print("kestrel-collect's report loads in chromium and holds the summary's numbers")
    return 0


if __name__ == "__main__":
    sys.exit(main())

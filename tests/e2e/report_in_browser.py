#!/usr/bin/env python3
"""kestrel-collect --report in a real browser: Debian's chromium, headless.

The sample site's page, written beside the run's JSON lines, must load with
nothing on the browser's console (a blocked load or a script would show there),
and the DOM chromium built must hold the report's headings and the numbers of
the same run's --summary; the sources of failures are counted here from the
rows. The hostile log's names must come out as text, never as elements; a
screenshot shows the page is drawn. Exits 77 (skipped) without chromium.

usage: report_in_browser.py KESTREL_SAMPLE_SITE KESTREL_COLLECT
"""
import collections
import html.parser
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

OWN_ELEMENTS = {"html", "head", "meta", "title", "style", "body", "h1", "h2", "section", "table", "tbody",
                "tr", "th", "td", "p", "ul", "li", "span", "svg", "rect", "text", "line"}
HEADINGS = ["ログオンのレポート", "実行の内容", "警告", "ログオンとログオン失敗 (1日ごと)",
            "ログオン失敗の多いアカウント (上位10)", "ログオン失敗の多い接続元 (上位10)",
            "アカウントとログオン先のコンピュータ (ログオンの回数)"]


class Dom(html.parser.HTMLParser):
    """The elements used, the headings, each section's table rows and list
    items, and the chart's bars as [class, title]."""

    def __init__(self, text):
        super().__init__()
        self.elements, self.headings, self.bars, self.text = set(), [], [], []
        self.rows, self.items = collections.defaultdict(list), collections.defaultdict(list)
        self._section, self._into = None, None  # the list whose last entry takes the text
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        self.elements.add(tag)
        attrs = dict(attrs)
        if tag == "section":
            self._section = attrs["id"]
        elif tag == "tr":
            self.rows[self._section].append([])
        elif tag == "rect":
            self.bars.append([attrs.get("class", ""), ""])
        elif tag == "title" and self.bars:
            self._into = self.bars[-1]
        elif tag in ("h1", "h2", "td", "th", "li"):
            self._into = self.headings if tag in ("h1", "h2") else \
                self.items[self._section] if tag == "li" else self.rows[self._section][-1]
            self._into.append("")

    def handle_endtag(self, tag):
        self._into = None if tag in ("h1", "h2", "td", "th", "li", "title") else self._into

    def handle_data(self, data):
        self.text.append(data)
        if self._into is not None:
            self._into[-1] += data


def fail(message):
    sys.exit(f"report_in_browser: {message}")


def chromium(browser, work, page, *options):
    """Loads the page: the process, and the lines of its console."""
    run = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--enable-logging=stderr",
                          "--v=0", f"--user-data-dir={work / 'profile'}", *options, page.as_uri()],
                         capture_output=True, timeout=180)
    return run, [line for line in run.stderr.decode("utf-8", "replace").splitlines() if ":CONSOLE" in line]


def load(browser, work, page):
    run, console = chromium(browser, work, page, "--dump-dom")
    if run.returncode != 0 or console:
        fail(f"{page} does not load cleanly: exit code {run.returncode}\n" + "\n".join(console))
    return Dom(run.stdout.decode("utf-8"))


def collect(tool, *arguments):
    run = subprocess.run([tool, *arguments], capture_output=True)
    if run.returncode != 1:
        fail(f"exit code {run.returncode}, expected 1 (PC02 has no log; the hostile log is damaged)")
    return [json.loads(line) for line in run.stdout.decode("utf-8").splitlines()]


def failure_sources(rows):
    """Failures by where they came from, as --summary counts them."""
    sources = collections.Counter()
    for row in rows:
        if row["kind"] in ("failed_logon", "kerberos_preauth_failed") and row.get("ip"):
            sources[row["ip"][7:] if row["ip"].startswith("::ffff:") else row["ip"]] += 1
        elif row["kind"] == "ntlm_validation" and row["status"] != "0x0" and row.get("workstation"):
            sources[row["workstation"]] += 1
    return sources


def check_site_page(dom, summary, rows):
    accounts = [line for line in summary if line["summary"] == "account"]
    totals = {key: sum(a[key] for a in accounts) for key in ("logons", "failed_logons", "logoffs")}
    if dom.headings != HEADINGS:
        fail(f"headings {dom.headings}")
    run = {row[0]: row[1] for row in dom.rows["run"]}
    for heading, value in {"ｺﾝﾋﾟｭｰﾀ": "5 台 (読み取り 4 台, 失敗 1 台)", "失敗したｺﾝﾋﾟｭｰﾀ": "PC02",
                           "行数": str(len(rows)), "ログオン": str(totals["logons"]),
                           "ログオン失敗": str(totals["failed_logons"]), "ログオフ": str(totals["logoffs"])}.items():
        if run.get(heading) != value:
            fail(f"the run's {heading}: {run.get(heading)!r}, expected {value!r}")

    flags = [line["summary"] for line in summary if line["summary"] != "account"]
    words = {"password_guessing": "警告:パスワード推測の疑い", "password_spraying": "警告:パスワードスプレーの疑い",
             "lockout": "ロックアウト:"}
    items = dom.items["warnings"]
    if len(flags) < 5 or len(items) != len(flags) or any(not i.startswith(words[f]) for f, i in zip(flags, items)):
        fail(f"warnings {items} for {flags}")

    sources = failure_sources(rows)
    top = [(row[0], int(row[1])) for row in dom.rows["top-sources"][1:]]
    if not top or any(sources[a] != n for a, n in top) or \
            [n for _, n in top] != sorted(sources.values(), reverse=True)[:10]:
        fail(f"top sources {top}, from the rows {sources.most_common(10)}")

    logons = collections.Counter()
    for a in accounts:
        logons[f"{a['domain']}\\{a['user']}" if a["domain"] else a["user"]] += a["logons"]
    if {row[0]: int(row[-1]) for row in dom.rows["logons"][1:]} != {k: n for k, n in logons.items() if n}:
        fail(f"logons by account {dom.rows['logons']}")

    bars = [(kind, int(title.split()[-1])) for kind, title in dom.bars if kind in ("logon", "fail")]
    if len(bars) != 30 or sum(n for k, n in bars if k == "logon") != totals["logons"] or \
            sum(n for k, n in bars if k == "fail") != totals["failed_logons"]:
        fail(f"bars {bars}: a pair for each day from 1 to 15 March, adding up to {totals}")


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
        rows = collect(tool, *common, "--format", "jsonl", "--report", page)
        check_site_page(load(browser, work, page), collect(tool, *common, "--summary", "--format", "jsonl"), rows)
        run, _ = chromium(browser, work, page, "--hide-scrollbars", "--window-size=1100,2000",
                          f"--screenshot={work / 'report.png'}")
        if run.returncode != 0 or (work / "report.png").stat().st_size < 20000:
            fail("no screenshot of the page")

        hostile, page = work / "hostile", work / "hostile.html"
        subprocess.run([sample_site, "--hostile", "--out", hostile], check=True, capture_output=True)
        collect(tool, "--log-dir", hostile, "--list", hostile / "hostile.lst", "--format", "jsonl", "--report", page)
        dom = load(browser, work, page)
        if not dom.elements <= OWN_ELEMENTS:
            fail(f"the hostile log's names made elements: {dom.elements - OWN_ELEMENTS}")
        for shown in ('=HYPERLINK("http://x","y")', "\\x1b]52;c;aGk=\\x07", "A" * 10000):
            if shown not in "".join(dom.text):
                fail(f"the page does not show {shown[:40]!r} as text")
    print("kestrel-collect's report loads in chromium and holds the summary's numbers")
    return 0


if __name__ == "__main__":
    sys.exit(main())

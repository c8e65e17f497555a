#!/usr/bin/python3
"""The remote-control page in a real browser (headless chromium through chromedriver).

kov-cli --serve runs in a scratch home with remote control on a free port, nginx serves a
file; the test enters a wrong token (refused, asked again), then the right one, adds the
file's URL, starts a session and waits for the row to reach "done" with a full progress bar
(from the event stream alone: the page does not read the whole list again meanwhile) and for
the log line; the downloaded file has the served file's SHA-256.

Usage: remote_page_test.py KOV_CLI [--screenshots FOLDER]
Exit 77 (skipped) when chromium, chromedriver or selenium are missing, unless
KOV_REQUIRE_SERVERS=1, which fails instead.
"""
import argparse
import hashlib
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77
CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"
NGINX = "/usr/sbin/nginx"
WAIT = 120  # seconds a step may take on a loaded machine before the test gives up


def missing(what):
    if os.environ.get("KOV_REQUIRE_SERVERS") == "1":
        sys.exit(f"FAIL: {what} is missing (KOV_REQUIRE_SERVERS=1)")
    print(f"SKIPPED: {what} is missing")
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    missing("python3-selenium")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process):
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        if process.poll() is not None:
            sys.exit(f"FAIL: {process.args[0]} ended with {process.returncode}")
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.1)
    sys.exit(f"FAIL: nothing listens on port {port}")


class Fixture:
    """The scratch home, nginx, kov-cli --serve and the browser; stopped in reverse order."""

    def __init__(self, cli):
        self.cli = cli
        self.tmp = tempfile.mkdtemp(prefix="kov-browser-")
        self.processes = []
        self.driver = None
        self.env = dict(os.environ, KOV_HOME=f"{self.tmp}/home",
                        XDG_CONFIG_HOME=f"{self.tmp}/config", XDG_DATA_HOME=f"{self.tmp}/data")
        for name in ("http_proxy", "https_proxy", "all_proxy", "no_proxy",
                     "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"):
            self.env.pop(name, None)

    def start_nginx(self):
        www, conf = f"{self.tmp}/www", f"{self.tmp}/nginx"
        os.makedirs(www)
        os.makedirs(conf)
        with open(f"{www}/big.bin", "wb") as f:
            f.write(os.urandom(3 << 20))
        self.web_port = free_port()
        with open(f"{conf}/nginx.conf", "w") as f:
            f.write(f"""daemon off; master_process off; worker_processes 1;
pid {conf}/nginx.pid; error_log {conf}/error.log;
events {{ worker_connections 64; }}
http {{
  access_log off; client_body_temp_path {conf}/body; proxy_temp_path {conf}/proxy;
  fastcgi_temp_path {conf}/fcgi; uwsgi_temp_path {conf}/uwsgi; scgi_temp_path {conf}/scgi;
  server {{ listen 127.0.0.1:{self.web_port}; root {www}; limit_rate 1m; }}
}}
""")
        self.spawn([NGINX, "-p", conf, "-c", f"{conf}/nginx.conf", "-e", f"{conf}/error.log"])
        wait_for_port(self.web_port, self.processes[-1])
        return f"http://127.0.0.1:{self.web_port}/big.bin", f"{www}/big.bin"

    def start_kov(self):
        subprocess.run([self.cli], env=self.env, check=True, stdout=subprocess.DEVNULL)
        self.port = free_port()
        # The first run wrote the section with its defaults: replaced, not added twice.
        ini = f"{self.tmp}/home/kov.ini"
        with open(ini) as f:
            text = re.sub(r"\[Remote\][^\[]*", "", f.read())
        with open(ini, "w") as f:
            f.write(text + f"\n[Remote]\nEnabled=1\nAddress=127.0.0.1\nPort={self.port}\n")
        self.log = open(f"{self.tmp}/serve.log", "w")
        self.spawn([self.cli, "--serve"], stdout=self.log, stderr=subprocess.STDOUT)
        wait_for_port(self.port, self.processes[-1])
        self.token = subprocess.run([self.cli, "--remote-token"], env=self.env, check=True,
                                    capture_output=True, text=True).stdout.strip()

    def spawn(self, args, **kwargs):
        self.processes.append(subprocess.Popen(args, env=self.env, **kwargs))

    def start_browser(self):
        if not os.access(CHROMIUM, os.X_OK):
            missing("chromium")
        if not os.access(DRIVER, os.X_OK):
            missing("chromium-driver")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu",
                    "--disable-dev-shm-usage", "--window-size=1280,900",
                    f"--user-data-dir={self.tmp}/chromium"):
            options.add_argument(arg)
        self.driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        return self.driver

    def stop(self):
        if self.driver:
            self.driver.quit()
        for process in reversed(self.processes):
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def until(driver, what, check):
    try:
        return WebDriverWait(driver, WAIT, poll_frequency=0.2).until(lambda d: check())
    except Exception:
        sys.exit(f"FAIL: {what}; the page says: "
                 f"{driver.find_element(By.TAG_NAME, 'body').text[:2000]}")


# The row of url as the page shows it now, read in one step inside the page (the table is
# redrawn as events come, so elements found in one call may be gone in the next): None, or
# {"state", "value", "max"} of its state cell and progress bar.
ROW_SCRIPT = """
for (const row of document.querySelectorAll('#items tbody tr')) {
  if (row.querySelector('.url').textContent !== arguments[0]) continue;
  const bar = row.querySelector('progress');
  return {state: row.querySelector('.state').textContent,
          value: bar.hasAttribute('value') ? bar.value : null, max: bar.max};
}
return null;
"""


def row_of(driver, url):
    return driver.execute_script(ROW_SCRIPT, url)


# How often the page has read the whole list (GET /api/v1/items).
READS_SCRIPT = """
return performance.getEntriesByType('resource')
    .filter((e) => new URL(e.name).pathname === '/api/v1/items').length;
"""


def settled_reads(driver):
    """The count of list reads once no read has started for a second."""
    count = driver.execute_script(READS_SCRIPT)
    for _ in range(WAIT):
        time.sleep(1)
        now = driver.execute_script(READS_SCRIPT)
        if now == count:
            return count
        count = now
    sys.exit("FAIL: the page keeps reading the whole list")


def log_in(driver, token):
    box = driver.find_element(By.ID, "token")
    box.clear()
    box.send_keys(token)
    driver.find_element(By.CSS_SELECTOR, "#login button[type=submit]").click()


def run(fixture, screenshots):
    url, served = fixture.start_nginx()
    fixture.start_kov()
    driver = fixture.start_browser()
    driver.get(f"http://127.0.0.1:{fixture.port}/")
    until(driver, "no token box", lambda: driver.find_element(By.ID, "login").is_displayed())

    # A wrong token is refused and asked for again; it is not kept.
    log_in(driver, "0" * 64)
    until(driver, "a wrong token was not refused", lambda:
          driver.find_element(By.ID, "login").is_displayed() and
          "refused" in driver.find_element(By.ID, "message").text)
    if driver.execute_script("return sessionStorage.getItem('kov-token')"):
        sys.exit("FAIL: a refused token was kept")

    log_in(driver, fixture.token)
    until(driver, "the page did not open", lambda: driver.find_element(By.ID, "app").is_displayed())
    until(driver, "the lists are not shown",
          lambda: "Main" in driver.find_element(By.ID, "lists").text)
    until(driver, "the event stream did not connect",
          lambda: driver.find_element(By.ID, "connection").text == "live")

    driver.find_element(By.ID, "urls").send_keys(url)
    driver.find_element(By.CSS_SELECTOR, "#add button[type=submit]").click()
    until(driver, "the added URL has no row", lambda: row_of(driver, url) is not None)
    reads = settled_reads(driver)
    driver.find_element(By.ID, "start").click()

    def done():
        row = row_of(driver, url)
        return (row is not None and row["state"] == "done" and row["value"] is not None and
                row["value"] > 0 and row["value"] == row["max"])

    until(driver, "the row did not reach done with a full bar", done)
    # The rows follow the event stream: a session does not make the page read the list again.
    if driver.execute_script(READS_SCRIPT) != reads:
        sys.exit("FAIL: the page read the whole list again during the session")
    until(driver, "no log line of the download",
          lambda: "File download OK" in driver.find_element(By.ID, "log").text)
    got = f"{fixture.tmp}/home/Download/Main/big.bin"
    if not os.path.exists(got) or sha256(got) != sha256(served):
        sys.exit("FAIL: the downloaded file differs from the served one")
    # A reload keeps the token for the tab: no second log-in.
    driver.refresh()
    until(driver, "the token was not kept for the tab",
          lambda: driver.find_element(By.ID, "app").is_displayed())
    until(driver, "the row is gone after a reload", lambda: row_of(driver, url) is not None)
    if screenshots:
        take_screenshots(driver, screenshots, url)


def take_screenshots(driver, folder, url):
    os.makedirs(folder, exist_ok=True)
    until(driver, "the log is empty after a reload",
          lambda: "File download OK" in driver.find_element(By.ID, "log").text)
    for scheme in ("light", "dark"):
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": scheme}]})
        time.sleep(0.3)  # lets the page repaint; only the picture depends on it
        driver.save_screenshot(os.path.join(folder, f"remote-page-{scheme}.png"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("--screenshots", metavar="FOLDER")
    args = parser.parse_args()
    fixture = Fixture(os.path.abspath(args.cli))
    try:
        run(fixture, args.screenshots)
    finally:
        fixture.stop()
    print("PASS")


if __name__ == "__main__":
    main()

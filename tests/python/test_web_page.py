"""The fleet page of ravenlink-web in a real headless Chromium (Debian's
chromium and chromium-driver through python3-selenium), against a real
broker with the site's access control, the bridge and simulated stations.

Skipped only where Chromium, its driver or Selenium is not installed.
RAVENLINK_SCREENSHOTS=DIR saves the fleet table and a station's view there
(docs/images/ holds the ones the README shows).
"""

import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Iterator, List

import pytest

from conftest import BUILD_DIR, SOURCE_DIR, STATION

try:
    from selenium import webdriver
    from selenium.common.exceptions import TimeoutException
    from selenium.webdriver.chrome.service import Service as ChromeService
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:  # pragma: no cover - only where Selenium is missing
    webdriver = None

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
MOSQUITTO = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
BRIDGE = BUILD_DIR / "RavenlinkBridge" / "ravenlink-bridge"
WEB = BUILD_DIR / "RavenlinkWeb" / "ravenlink-web"
WEB_ROOT = SOURCE_DIR / "RavenlinkWeb" / "web"
ACCOUNTS = {"ravenlink-bridge": "bridge-pass-1", "operator": "operator-pass-2", "viewer": "viewer-pass-3"}
WAIT = 15.0

pytestmark = pytest.mark.skipif(
    webdriver is None or not os.access(CHROMIUM, os.X_OK) or not os.access(CHROMEDRIVER, os.X_OK),
    reason="needs chromium, chromium-driver and python3-selenium",
)


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port: int, process: subprocess.Popen) -> None:
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f"{process.args[0]} ended with {process.returncode}")
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return
        time.sleep(0.05)
    raise RuntimeError(f"nothing listens on port {port}")


class Site:
    """mosquitto with packaging/mosquitto/ as shipped (only its paths and
    port moved), a bridge with three simulated stations, the web server."""

    def __init__(self, folder: Path) -> None:
        self.folder = folder
        self.processes: List[subprocess.Popen] = []
        self.broker_port = free_port()
        self.web_port = free_port()
        passwords = folder / "ravenlink.passwd"
        for number, (user, password) in enumerate(ACCOUNTS.items()):
            subprocess.run(["mosquitto_passwd", *(["-c"] if number == 0 else []), "-b", str(passwords), user, password],
                           check=True, capture_output=True)
        acl = folder / "ravenlink.acl"
        shutil.copy(SOURCE_DIR / "packaging" / "mosquitto" / "ravenlink.acl", acl)
        conf = (SOURCE_DIR / "packaging" / "mosquitto" / "ravenlink.conf").read_text()
        conf = re.sub(r"(?m)^password_file .*$", f"password_file {passwords}", conf)
        conf = re.sub(r"(?m)^acl_file .*$", f"acl_file {acl}", conf)
        conf = re.sub(r"(?m)^listener 1883 .*$", f"listener {self.broker_port} 127.0.0.1", conf)
        (folder / "broker.conf").write_text(f"persistence false\nuser {pwd.getpwuid(os.getuid()).pw_name}\n" + conf)
        broker = self.start([MOSQUITTO, "-c", str(folder / "broker.conf")], "broker.log")
        wait_port(self.broker_port, broker)
        stations = []
        # beta's link goes after a few readings: a station that is lost.
        # alpha has two of its four environment sensors.
        for name, options in (("alpha", ["--sensors", "2"]), ("beta", ["--vanish-after", "12"]), ("gamma", [])):
            link = folder / name
            self.start([str(STATION), "--link", str(link), "--seed", "7", *options], name + ".log")
            stations += ["--station", f"{name}={link}"]
        deadline = time.monotonic() + WAIT
        while not all((folder / n).exists() for n in ("alpha", "beta", "gamma")) and time.monotonic() < deadline:
            time.sleep(0.05)
        (folder / "bridge.password").write_text(ACCOUNTS["ravenlink-bridge"] + "\n")
        self.start([str(BRIDGE), "--broker", f"mqtt://127.0.0.1:{self.broker_port}", "--username", "ravenlink-bridge",
                    "--password-file", str(folder / "bridge.password"), "--interval", "0.5", "--commands", "on",
                    *stations], "bridge.log")
        self.web = self.start_web()

    def start(self, command: List[str], log: str) -> subprocess.Popen:
        with open(self.folder / log, "ab") as out:
            process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def start_web(self) -> subprocess.Popen:
        web = self.start([str(WEB), "--broker", f"mqtt://127.0.0.1:{self.broker_port}",
                          "--listen", f"127.0.0.1:{self.web_port}", "--web-root", str(WEB_ROOT)], "web.log")
        wait_port(self.web_port, web)
        return web

    def stop_web(self) -> None:
        self.web.send_signal(signal.SIGTERM)
        assert self.web.wait(timeout=WAIT) == 0

    def stop(self) -> None:
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        for process in reversed(self.processes):
            try:
                process.wait(timeout=WAIT)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    @property
    def url(self) -> str:
        return f"http://127.0.0.1:{self.web_port}/"


@pytest.fixture(scope="module")
def site() -> Iterator[Site]:
    folder = Path(tempfile.mkdtemp(prefix="ravenlink-web-page-"))
    os.chmod(folder, 0o755)
    running = Site(folder)
    try:
        yield running
    finally:
        running.stop()
        shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="module")
def browser() -> Iterator["webdriver.Chrome"]:
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1100,900", "--disable-extensions", "--no-first-run"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=ChromeService(executable_path=CHROMEDRIVER), options=options)
    try:
        yield driver
    finally:
        driver.quit()


def until(driver, condition, message: str):
    try:
        return WebDriverWait(driver, WAIT, poll_frequency=0.1).until(lambda d: condition(d))
    except TimeoutException:
        raise AssertionError(message + "\n" + driver.find_element(By.TAG_NAME, "body").text) from None


def log_in(driver, site: Site, user: str) -> None:
    driver.get(site.url)
    user_field = driver.find_element(By.ID, "login-user")
    # The form is reached by its labels, as a screen reader names it.
    assert driver.find_element(By.CSS_SELECTOR, "label[for=login-user]").text == "User name"
    assert driver.find_element(By.CSS_SELECTOR, "label[for=login-password]").text == "Password"
    user_field.clear()
    user_field.send_keys(user)
    password = driver.find_element(By.ID, "login-password")
    password.send_keys(ACCOUNTS[user])
    password.send_keys(Keys.ENTER)
    until(driver, lambda d: d.find_element(By.ID, "fleet-view").is_displayed(), "no fleet after the login")


def rows(driver) -> List[List[str]]:
    # Read at once in the page, between two of its updates.
    return driver.execute_script(
        "return [...document.querySelectorAll('#fleet-rows tr')]"
        ".map(r => [...r.querySelectorAll('th, td')].map(c => c.innerText.trim()))")


def row_of(driver, station: str) -> List[str]:
    for row in rows(driver):
        if row and row[0] == station:
            return row
    return []


def screenshot(driver, name: str) -> None:
    folder = os.environ.get("RAVENLINK_SCREENSHOTS")
    if folder:
        driver.save_screenshot(str(Path(folder) / name))


def test_wrong_password_is_refused(site: Site, browser) -> None:
    browser.get(site.url)
    browser.find_element(By.ID, "login-user").send_keys("operator")
    browser.find_element(By.ID, "login-password").send_keys("not-the-password" + Keys.ENTER)
    until(browser, lambda d: d.find_element(By.ID, "login-error").text != "", "no login error")
    assert browser.find_element(By.ID, "login-error").text == "The broker refused this user name or password."
    assert not browser.find_element(By.ID, "fleet-view").is_displayed()


def test_operator_sees_the_fleet_live_and_sets_a_torque(site: Site, browser) -> None:
    log_in(browser, site, "operator")
    until(browser, lambda d: len(rows(d)) == 3, "not three stations")
    assert browser.find_element(By.ID, "user-role").text == "may command"
    # beta loses its link: live, it moves to the top, the worst first.
    until(browser, lambda d: rows(d)[0][:2] == ["beta", "link-lost"], "beta not shown link-lost on top")
    assert [row[0] for row in rows(browser)] == ["beta", "alpha", "gamma"]
    alpha = row_of(browser, "alpha")
    assert alpha[1] == "online"
    assert re.fullmatch(r"\d+\.\d\d m", alpha[2]), alpha
    assert re.fullmatch(r"\d+ %", alpha[3]), alpha
    assert re.fullmatch(r"\d+ W", alpha[4]), alpha
    assert row_of(browser, "beta")[5].startswith("Unknown link lost: ")
    until(browser, lambda d: re.fullmatch(r"[0-2] s ago", d.find_element(By.ID, "last-update").text),
          "the last update is not recent")
    screenshot(browser, "web-fleet.png")

    # Into alpha's view with the keyboard.
    browser.find_element(By.CSS_SELECTOR, 'a[data-station="alpha"]').send_keys(Keys.ENTER)
    until(browser, lambda d: d.find_element(By.ID, "station-view").is_displayed(), "no station view")
    assert browser.find_element(By.ID, "station-title").text == "Station alpha"
    assert browser.find_element(By.ID, "controls").is_displayed()
    torque = browser.find_element(By.ID, "torque-value")
    assert browser.find_element(By.CSS_SELECTOR, "label[for=torque-value]").text == "Torque (%)"
    start = browser.find_element(By.ID, "start-value")
    assert [torque.get_attribute(a) for a in ("min", "max", "step")] == ["0", "100", "1"]
    assert [start.get_attribute(a) for a in ("min", "max", "step")] == ["0.3", "655.35", "0.01"]
    torque.send_keys("40" + Keys.ENTER)
    until(browser, lambda d: "done" in d.find_element(By.ID, "command-result").text, "no torque result")
    assert browser.find_element(By.ID, "command-result").text == "Torque 40 %: done (the station was given 40)."
    until(browser, lambda d: "Torque\n40 %" in d.find_element(By.ID, "status-list").text, "torque not in the status")
    # Sensors that are not fitted show no temperature; the battery's charge is a percentage.
    status_text = browser.find_element(By.ID, "status-list").text
    assert re.search(r"Temperatures\n-?\d+\.\d °C, -?\d+\.\d °C, —, —\n", status_text), status_text
    assert "Backup battery\n100 %" in status_text, status_text

    # Activation asks first; cancelled, nothing is sent.
    browser.find_element(By.ID, "activate").click()
    dialog = browser.find_element(By.ID, "confirm")
    until(browser, lambda d: dialog.is_displayed(), "no confirmation")
    browser.find_element(By.ID, "confirm-cancel").click()
    assert not dialog.is_displayed()
    assert browser.find_element(By.ID, "command-result").text.startswith("Torque")
    browser.find_element(By.ID, "activate").click()
    browser.find_element(By.ID, "confirm-ok").click()
    until(browser, lambda d: d.find_element(By.ID, "command-result").text.startswith("Activate: done"),
          "no activation result")
    until(browser, lambda d: "activated remotely" in d.find_element(By.ID, "status-list").text, "not activated")
    if os.environ.get("RAVENLINK_SCREENSHOTS"):
        # The chart of a flight's first half minute, the whole view.
        time.sleep(30)
        browser.set_window_size(1100, 1700)
        screenshot(browser, "web-station.png")
        browser.set_window_size(1100, 900)
    browser.find_element(By.ID, "deactivate").click()
    until(browser, lambda d: d.find_element(By.ID, "command-result").text == "Deactivate: done.", "no deactivation")

    browser.find_element(By.ID, "back").click()
    until(browser, lambda d: row_of(d, "alpha")[3:4] == ["40 %"], "torque not live in the fleet table")


def test_banner_when_the_stream_drops_and_it_reconnects(site: Site, browser) -> None:
    log_in(browser, site, "viewer")
    until(browser, lambda d: len(rows(d)) == 3, "no stations")
    banner = browser.find_element(By.ID, "banner")
    assert not banner.is_displayed()
    site.stop_web()
    until(browser, lambda d: banner.is_displayed(), "no disconnected banner")
    assert banner.text.startswith("Disconnected from the server")
    site.web = site.start_web()
    until(browser, lambda d: not banner.is_displayed(), "the page did not reconnect")


def test_viewer_sees_no_controls_and_works_at_360_px(site: Site, browser) -> None:
    log_in(browser, site, "viewer")
    assert browser.find_element(By.ID, "user-role").text == "view only"
    until(browser, lambda d: len(rows(d)) == 3, "no stations")
    browser.get(site.url + "#/station/gamma")
    # The login is kept in memory only: a new page load asks again.
    log_in(browser, site, "viewer")
    browser.execute_script("location.hash = '#/station/gamma'")
    until(browser, lambda d: d.find_element(By.ID, "station-view").is_displayed(), "no station view")
    assert not browser.find_element(By.ID, "controls").is_displayed()
    assert not browser.find_element(By.ID, "activate").is_displayed()
    until(browser, lambda d: "Serial number" in d.find_element(By.ID, "details-list").text, "no details")
    browser.set_window_size(360, 780)
    try:
        browser.execute_script("location.hash = '#/'")
        until(browser, lambda d: d.find_element(By.ID, "fleet-view").is_displayed(), "no fleet")
        width = browser.execute_script("return document.documentElement.scrollWidth")
        inner = browser.execute_script("return window.innerWidth")
        assert width <= inner, (width, inner)
        screenshot(browser, "web-fleet-phone.png")
    finally:
        browser.set_window_size(1100, 900)

"""Helpers of the browser tests: the built fwkhttpd on a fresh copy of the
demo root, a headless Chromium driven through Selenium, and a record of
every step (a screenshot, the console checked for errors, no dialog open).

Without a Chromium that starts display-less the tests are skipped with the
reason, except when the environment variable CI is set: there they fail.
Screenshots go to $FWK_BUILD_DIR/browser-screenshots/<test>/ (ctest sets
FWK_BUILD_DIR), or to a temporary folder named in the test's output.
"""

import os
import re
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from fwktest import SOURCE_DIR, Server  # noqa: E402

try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException, WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:  # reported by start_browser
    webdriver = None

CHROMIUM = os.environ.get("FWK_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("FWK_CHROMEDRIVER", "/usr/bin/chromedriver")
DEMO_DIR = os.environ.get("FWK_DEMO_DIR", os.path.join(SOURCE_DIR, "demo"))

# A phone's screen: the demo pages must lay out within it.
PHONE = {"width": 390, "height": 844, "pixelRatio": 1.0}
PHONE_AGENT = ("Mozilla/5.0 (Linux; Android 13; Pixel 7) AppleWebKit/537.36 "
               "(KHTML, like Gecko) Chrome/120.0 Mobile Safari/537.36")

CHROME_FLAGS = (
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
    "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--disable-quic",
    "--disable-extensions", "--disable-default-apps", "--mute-audio",
    "--disable-features=Translate,OptimizationHints,MediaRouter",
)


def unavailable(reason):
    """Skips the test, or fails it where browsers must run (CI)."""
    if os.environ.get("CI"):
        raise AssertionError("CI is set, so the browser tests must run, but " + reason)
    raise unittest.SkipTest(reason + " (the browser tests need Debian's chromium, "
                            "chromium-driver and python3-selenium; tools/deps.sh test)")


def start_browser(profile_dir):
    if webdriver is None:
        unavailable("the Selenium bindings cannot be imported by %s" % sys.executable)
    for program in (CHROMIUM, CHROMEDRIVER):
        if not os.access(program, os.X_OK):
            unavailable("%s is missing" % program)
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in CHROME_FLAGS:
        options.add_argument(flag)
    options.add_argument("--user-data-dir=" + profile_dir)
    options.add_experimental_option("mobileEmulation",
                                    {"deviceMetrics": PHONE, "userAgent": PHONE_AGENT})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    # An alert stays open so that the step check finds it.
    options.set_capability("unhandledPromptBehavior", "ignore")
    service = Service(executable_path=CHROMEDRIVER,
                      log_path=os.path.join(profile_dir, "driver.log"))
    try:
        driver = webdriver.Chrome(service=service, options=options)
    except WebDriverException as error:
        unavailable("Chromium does not start display-less: %s" % error.msg)
    driver.set_page_load_timeout(15)
    driver.implicitly_wait(0)
    return driver


def screenshot_dir(test_name):
    base = os.environ.get("FWK_BUILD_DIR")
    if base:
        folder = os.path.join(base, "browser-screenshots", test_name)
        shutil.rmtree(folder, ignore_errors=True)
    else:
        folder = tempfile.mkdtemp(prefix="fwk-screenshots-%s-" % test_name)
    os.makedirs(folder, exist_ok=True)
    return folder


class WalkTestCase(unittest.TestCase):
    """One server on a copy of the demo root and one browser for the class.
    Each test walks pages with `step`, which screenshots and checks them."""

    @classmethod
    def setUpClass(cls):
        cls.profile = tempfile.mkdtemp(prefix="fwk-chromium-")
        try:
            cls.browser = start_browser(cls.profile)
        except BaseException:
            shutil.rmtree(cls.profile, ignore_errors=True)
            raise
        cls.server = Server()
        shutil.copytree(DEMO_DIR, cls.server.root, dirs_exist_ok=True)
        cls.server.start()
        cls.shots = screenshot_dir(cls.__module__)
        cls.step_count = 0
        cls.started = cls.last_step = time.monotonic()
        cls.slowest = (0, "")

    @classmethod
    def tearDownClass(cls):
        print("\n%d steps in %.1f s (slowest %.1f s: %s); screenshots in %s" % (
            cls.step_count, time.monotonic() - cls.started, cls.slowest[0], cls.slowest[1],
            cls.shots), file=sys.stderr)
        try:
            cls.browser.quit()
        finally:
            cls.server.close()
            shutil.rmtree(cls.profile, ignore_errors=True)

    # -- walking ----------------------------------------------------------

    def open(self, path, name):
        self.browser.get(self.server.url(path))
        return self.step(name)

    def click(self, element, name):
        """Clicks a link or button and waits for the page it leads to."""
        old = self.browser.find_element(By.TAG_NAME, "html")
        element.click()
        wait = WebDriverWait(self.browser, 15)
        wait.until(lambda b: gone(old))
        wait.until(lambda b: b.execute_script("return document.readyState") == "complete")
        return self.step(name)

    def press(self, action, name):
        """Clicks the page's submit button that sends _ACTION=action."""
        return self.click(self.button(action), name)

    def button(self, action):
        for b in self.browser.find_elements(By.CSS_SELECTOR, "[name=_ACTION]"):
            if (b.get_attribute("value") or "").upper() == action.upper():
                return b
        self.fail("no %s button on %s" % (action, self.browser.current_url))

    def step(self, name):
        """The page after an action: no dialog open, screenshot, no console
        error. Returns the page's visible text."""
        cls = type(self)
        cls.step_count += 1
        label = "%02d-%s" % (cls.step_count, re.sub(r"[^A-Za-z0-9]+", "-", name))
        self.assert_no_dialog(label)
        took = time.monotonic() - cls.last_step
        cls.slowest = max(cls.slowest, (took, label))
        self.browser.save_screenshot(os.path.join(cls.shots, label + ".png"))
        errors = [e for e in self.browser.get_log("browser") if e.get("level") == "SEVERE"]
        self.assertEqual(errors, [], "console errors at step %s" % label)
        # A missing file is answered with the error page, which the console
        # does not report: look for images that did not load.
        broken = self.browser.execute_script(
            "return [...document.images].filter(i => i.complete && !i.naturalWidth)"
            ".map(i => i.outerHTML)")
        self.assertEqual(broken, [], "images that did not load at step %s" % label)
        cls.last_step = time.monotonic()
        return self.text()

    def assert_no_dialog(self, label):
        try:
            alert = self.browser.switch_to.alert
        except NoAlertPresentException:
            return
        text = alert.text
        alert.dismiss()
        self.fail("a dialog opened at step %s: %r" % (label, text))

    # -- reading the page -------------------------------------------------

    def text(self):
        return self.browser.find_element(By.TAG_NAME, "body").text

    def field(self, name):
        return self.browser.find_element(By.NAME, name)

    def fields(self, name):
        return self.browser.find_elements(By.NAME, name)

    def type_into(self, name, text):
        box = self.field(name)
        box.clear()
        box.send_keys(text)

    def tick(self, name, *values):
        """Sets the check boxes or radio buttons of `name` so that exactly
        those with the given values are on, by clicking them."""
        for box in self.fields(name):
            if (box.get_attribute("value") in values) != box.is_selected():
                box.click()

    def ticked(self, name):
        return [b.get_attribute("value") for b in self.fields(name) if b.is_selected()]

    def choose(self, name, value):
        Select(self.field(name)).select_by_value(value)

    def chosen(self, name):
        return Select(self.field(name)).first_selected_option.get_attribute("value")

    def assert_fits_a_phone(self):
        """The page lays out at the phone's width (a viewport tag) with no
        sideways scrolling, and loads nothing from another host."""
        width, scroll = self.browser.execute_script(
            "return [window.innerWidth, document.documentElement.scrollWidth]")
        self.assertLessEqual(width, PHONE["width"], "no viewport tag: laid out %dpx wide" % width)
        self.assertLessEqual(scroll, width, "the page scrolls sideways")
        foreign = self.browser.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)"
            ".filter(n => !n.startsWith(location.origin))")
        self.assertEqual(foreign, [], "resources from elsewhere")

    # -- the data file ----------------------------------------------------

    def records(self, name, deleted=False):
        """The records of a data file of the server root as dicts (field
        name: text as stored, unquoted); marked (deleted) ones only when
        asked for."""
        with open(os.path.join(self.server.root, name), "rb") as f:
            lines = f.read().decode("utf-8").split("\n")
        header = [h.lstrip("#") for h in lines[0].rstrip("\r").split("\t")]
        rows = []
        for line in lines[1:]:
            line = line.replace("\r", "")
            if not line.strip("\t"):
                continue
            if line.lstrip("\t").startswith("#") != deleted:
                continue
            values = [unquote(v) for v in line.split("\t")]
            rows.append({h: v for h, v in zip(header, values) if h})
        return rows


def gone(element):
    """True once the element's page has been left. Mid-navigation the driver
    may answer with an error other than "stale" for a node of the old page."""
    try:
        element.is_enabled()
        return False
    except WebDriverException:
        return True


def unquote(field):
    if not field.startswith('"'):
        return field
    if field == '""':
        return ""
    out, i = [], 0
    while i < len(field):
        if field[i] == '"':
            i += 1
            if i < len(field):
                out.append(field[i])
        else:
            out.append(field[i])
        i += 1
    return "".join(out)

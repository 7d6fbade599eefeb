"""A real browser (headless Chromium) fills in the demo root's single-page
form and sends it; the answers must land in the form's data file. Skipped
where Chromium, its driver or the Selenium bindings are missing."""

import os
import shutil
import sys
import unittest

from fwktest import demo_server

try:
    from selenium import webdriver
except ImportError:
    # The Debian package installs the bindings for the system's Python.
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        from selenium import webdriver
    except ImportError:
        webdriver = None

CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"


def start_browser():
    if webdriver is None or not os.path.exists(CHROMEDRIVER):
        raise unittest.SkipTest("Selenium or chromedriver is missing")
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    options = Options()
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
        options.add_argument(arg)
    try:
        return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    except Exception as error:  # no usable Chromium on this machine
        raise unittest.SkipTest("Chromium does not start: %s" % error)


class BrowserFillsTheContactFormTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.browser = start_browser()
        cls.server = demo_server()

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.server.close()

    def test_answers_reach_the_data_file(self):
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import Select, WebDriverWait
        b = self.browser
        b.get(self.server.url("/fwk?database=contact"))
        b.find_element(By.NAME, "NAME").send_keys("Zoë <Quote> \"Q\"")
        Select(b.find_element(By.NAME, "TOPIC")).select_by_value("booking")
        for box in b.find_elements(By.NAME, "REPLY"):
            if box.get_attribute("value") in ("mail", "phone"):
                box.click()
        b.find_element(By.NAME, "MESSAGE").send_keys("Two lines:\nfirst and second")
        b.find_element(By.NAME, "_ACTION").click()
        WebDriverWait(b, 30).until(lambda d: "Thank you" in d.page_source)
        self.assertIn("Thank you, your message has been kept.", b.page_source)
        self.assertEqual(b.find_element(By.LINK_TEXT, "Click here to continue")
                         .get_attribute("href"), self.server.url("/index.html"))

        with open(os.path.join(self.server.root, "contact.asc"), encoding="utf-8") as f:
            rows = f.read().splitlines()
        self.assertEqual(len(rows), 2, rows)
        fields = rows[1].split("\t")
        self.assertTrue(fields[3].startswith('"x'), fields)  # the session made at the start
        self.assertEqual(fields[4:8], ['"Zoë <Quote> ""Q"""', '"booking"', '"mail,phone"',
                                       '"Two lines: first and second"'])  # the line break is a space


if __name__ == "__main__":
    unittest.main()

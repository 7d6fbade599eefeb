"""A person walks the demo's multi-page customer survey in Chromium: login
page, a warning that keeps them on a page, the skip chosen by the page
script, a group of follow-up pages, BACK and NEXT with answers kept, the
final save, logging in again to resume, and the record browser showing the
response. An answer that looks like HTML must stay text everywhere."""

import configparser
import os
import unittest

from walk import DEMO_DIR, By, WalkTestCase

NAME = "Zoë — 東京"
PIN = "4711"
HOSTILE = "<img src=x onerror=alert(1)>"
PRICES = "The lunch menu, \"two for one\" & coffee"
COMMENTS = "Schön, merci! 👍"


class SurveyWalkTest(WalkTestCase):

    def heading(self):
        return self.browser.find_element(By.TAG_NAME, "h2").text

    def warning(self):
        found = self.browser.find_elements(By.CLASS_NAME, "warn")
        return found[0].text if found else ""

    def next_page(self, name):
        self.press("NEXT", name)
        return self.heading()

    def back_page(self, name):
        self.press("BACK", name)
        return self.heading()

    def submit(self, caption):
        return self.browser.find_element(
            By.CSS_SELECTOR, "input[type=submit][value*='%s']" % caption)

    def assert_no_injected_image(self):
        images = self.browser.find_elements(By.CSS_SELECTOR, "img[src=x], img[onerror]")
        self.assertEqual(images, [], "an answer became markup")

    def test_1_walk_forward_and_back_then_save(self):
        self.open("/", "home page")
        self.click(self.browser.find_element(By.LINK_TEXT, "Customer survey"), "login page")
        self.assertIn("Please enter your login and password", self.text())
        self.click(self.submit("Start Survey"), "start a new response")
        self.assertEqual(self.heading(), "1. About you")
        self.assert_fits_a_phone()
        session = self.field("_SESSION").get_attribute("value")
        self.assertTrue(session)

        # A missing answer: the page script's warning, same page, nothing lost.
        self.type_into("PIN", PIN)
        self.assertEqual(self.next_page("page0 without a name"), "1. About you")
        self.assertEqual(self.warning(), "Please tell us your name.")
        self.type_into("NAME", NAME)
        self.type_into("PIN", PIN)
        self.assertEqual(self.next_page("page1"), "2. Your visits")
        self.assertEqual(self.warning(), "")

        # The skip: one visit leads past the returning visitors' page...
        self.tick("Q1", "friend")
        self.type_into("VISITS", "1")
        self.assertEqual(self.next_page("first visit skips to page3"), "4. Overall")
        self.assertEqual(self.back_page("back to page1"), "2. Your visits")
        self.assertEqual(self.ticked("Q1"), ["friend"])
        self.assertEqual(self.field("VISITS").get_attribute("value"), "1")
        # ...several lead to it.
        self.type_into("VISITS", "3")
        self.assertEqual(self.next_page("returning visitor gets page2"), "3. Coming back")

        self.assertEqual(self.next_page("page2 with nothing ticked"), "3. Coming back")
        self.assertEqual(self.warning(), "Please tick at least one reason.")
        self.tick("R_STAFF", "1")
        self.tick("R_PRICES", "1")
        # The group: a follow-up page for each reason ticked, then the last.
        self.assertEqual(self.next_page("first page of the group"), "3a. Our staff")
        self.type_into("STAFF", HOSTILE)
        self.assertEqual(self.back_page("back to page2"), "3. Coming back")
        self.assertEqual([self.field(n).is_selected() for n in ("R_STAFF", "R_PRICES", "R_PLACE")],
                         [True, True, False])
        self.assertEqual(self.next_page("the group again"), "3a. Our staff")
        self.assertEqual(self.field("STAFF").get_attribute("value"), HOSTILE)
        self.assertEqual(self.next_page("second page of the group"), "3b. Our prices")
        self.assert_no_injected_image()  # the answer travels as a hidden field
        self.type_into("PRICES", PRICES)
        self.assertEqual(self.next_page("after the group"), "4. Overall")
        self.assertEqual(self.back_page("back into the group"), "3b. Our prices")
        self.assertEqual(self.field("PRICES").get_attribute("value"), PRICES)
        self.assertEqual(self.next_page("page3 again"), "4. Overall")

        self.assertEqual(self.next_page("page3 without a rating"), "4. Overall")
        self.assertEqual(self.warning(), "Please choose a rating.")
        self.choose("RATING", "4")
        self.type_into("COMMENTS", COMMENTS)
        thanks = self.press("NEXT", "saved")
        self.assertIn("Thank you for your answers!", thanks)

        mine = [r for r in self.records("demo.asc") if r["_SESSION"] == session]
        self.assertEqual(len(mine), 1, "one live record for the response")
        self.assertEqual(len(self.records("demo.asc")), 1)
        saved = mine[0]
        self.assertEqual(
            [saved[k] for k in ("NAME", "PIN", "Q1", "VISITS", "R_STAFF", "R_PRICES",
                                "R_PLACE", "STAFF", "PRICES", "RATING", "COMMENTS")],
            [NAME, PIN, "friend", "3", "1", "1", "", HOSTILE, PRICES, "4", COMMENTS])
        self.assertEqual(saved["_FORMDONE"], "1")
        # The interim saves of earlier pages are all retired.
        self.assertTrue(all(r["_SESSION"].lstrip("#") == session
                            for r in self.records("demo.asc", deleted=True)))
        type(self).session = session

    def test_2_login_again_resumes_with_the_answers(self):
        if not hasattr(self, "session"):
            self.skipTest("resumes the response saved by the walk, which failed")
        self.open("/fwk?database=demo", "login page again")
        self.type_into("NAME", NAME)
        self.type_into("PIN", PIN)
        self.click(self.submit("Login to the survey"), "resumed")
        self.assertEqual(self.heading(), "4. Overall")
        self.assertEqual(self.chosen("RATING"), "4")
        self.assertEqual(self.field("COMMENTS").get_attribute("value"), COMMENTS)
        self.assertEqual(self.field("_SESSION").get_attribute("value"), self.session)
        self.assertEqual(self.back_page("resumed, one page back"), "3b. Our prices")
        self.assertEqual(self.field("PRICES").get_attribute("value"), PRICES)
        self.assert_no_injected_image()

        # A wrong PIN finds no record: a new response starts on page0.
        self.open("/fwk?database=demo", "login with a wrong PIN")
        self.type_into("NAME", NAME)
        self.type_into("PIN", "0000")
        self.click(self.submit("Login to the survey"), "new response")
        self.assertEqual(self.heading(), "1. About you")
        self.assertEqual(self.field("NAME").get_attribute("value"), NAME)

    def test_3_record_browser_lists_and_shows_the_response(self):
        if not hasattr(self, "session"):
            self.skipTest("looks for the response saved by the walk, which failed")
        self.open("/", "home page for the records")
        links = [a for a in self.browser.find_elements(By.CSS_SELECTOR, "a[href*='list?']")
                 if "database=demo" in a.get_attribute("href").lower()]
        self.assertTrue(links, "the home page links the survey's records")
        self.click(links[0], "record browser")
        if self.fields("_PASSWORD") and not self.browser.find_elements(By.TAG_NAME, "th"):
            self.type_into("_PASSWORD", read_password("demo.ini"))
            self.click(self.submit("List records"), "records listed")
        listed = self.text()
        self.assertIn(NAME, listed)
        self.assertIn(HOSTILE, listed)  # shown as text, not as an image
        self.assert_no_injected_image()

        views = self.browser.find_elements(By.LINK_TEXT, "View")
        self.assertEqual(len(views), 1, "one live record")
        shown = self.click(views[0], "record shown")
        for answer in (NAME, HOSTILE, PRICES, COMMENTS, self.session):
            self.assertIn(answer, shown)
        self.assert_no_injected_image()


def read_password(config):
    """The demo's password for reading records ("" when anybody may)."""
    ini = configparser.ConfigParser(comment_prefixes=(";", "#"), strict=False)
    ini.read(os.path.join(DEMO_DIR, config), encoding="utf-8")
    word = ini.get("access", "PWDREAD", fallback="") or ini.get("access", "PWD", fallback="")
    return "" if word.lower() == "(allow)" else word


if __name__ == "__main__":
    unittest.main()

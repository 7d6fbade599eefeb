"""A person fills in the demo's one-page feedback form in Chromium: the home
page leads to it, the answers are typed and clicked, the thank-you page
follows, and the data file holds exactly what was typed."""

import unittest

from walk import WalkTestCase

NAME = "Zoë — 東京"
COMMENTS = 'Said "très bien" & <b>left</b> happy; 100% sure'


class FeedbackFormTest(WalkTestCase):

    def test_answers_typed_and_clicked_reach_the_data_file(self):
        home = self.open("/", "home page")
        self.assertIn("Feedback", home)
        self.assert_fits_a_phone()

        self.click(self.browser.find_element("link text", "Feedback"), "feedback form")
        self.assertEqual(self.browser.title, "Feedback")
        self.assert_fits_a_phone()
        session = self.field("_SESSION").get_attribute("value")
        self.assertTrue(session, "the engine gives the response its session")

        self.type_into("NAME", NAME)
        self.tick("VISIT", "first")
        self.tick("VISIT", "again")  # changing one's mind leaves one choice
        self.tick("LIKED", "staff", "prices", "place")
        self.tick("LIKED", "staff", "place")
        self.choose("TOPIC", "opening")
        self.type_into("COMMENTS", COMMENTS)
        self.assertEqual(self.ticked("VISIT"), ["again"])
        self.step("answers given")

        thanks = self.press("SUBMIT", "thank-you page")
        self.assertEqual(self.browser.title, "Thank you for your feedback!")
        self.assertIn("Thank you for your feedback!", thanks)
        self.assertIn("Back to the surveys", thanks)
        self.assert_fits_a_phone()

        records = self.records("feedback.asc")
        self.assertEqual(len(records), 1, records)
        saved = records[0]
        self.assertEqual(saved["_SESSION"], session)
        self.assertEqual(
            [saved[k] for k in ("NAME", "VISIT", "LIKED", "TOPIC", "COMMENTS")],
            [NAME, "again", "staff,place", "opening", COMMENTS])
        self.assertRegex(saved["DATE"], r"^\d{8}$")

        # The link on the thank-you page starts a new, empty response.
        self.click(self.browser.find_element("link text", "Another response"),
                   "a new feedback form")
        self.assertEqual(self.field("NAME").get_attribute("value"), "")
        self.assertEqual(self.ticked("LIKED"), [])
        self.assertNotEqual(self.field("_SESSION").get_attribute("value"), session)


if __name__ == "__main__":
    unittest.main()

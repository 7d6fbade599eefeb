#include "store/xml_transaction.hpp"

#include <gtest/gtest.h>

#include "core/testing/test_lists.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

TEST(XmlTransaction, GroupsConsecutiveEntriesOfOneGroup) {
  ParamListPtr record = test_list({{"Q1", "yes"},
                                   {"KID_1_NAME", "Ann"},
                                   {"kid_1_AGE", "7"},
                                   {"KID_2_NAME", "Bob"},
                                   {"Q9", "no"}});
  EXPECT_EQ(xml_transaction_text(record.get()),
            "<TRANSACTION><Q1>yes</Q1>\n"
            "<KID id=\"1\">\n<NAME>Ann</NAME>\n<AGE>7</AGE>\n</KID>\n"
            "<KID id=\"2\">\n<NAME>Bob</NAME>\n</KID>\n"
            "<Q9>no</Q9>\n"
            "</TRANSACTION>\n");
}

TEST(XmlTransaction, OpenGroupClosesBeforeTheTransactionEnds) {
  ParamListPtr record = test_list({{"A_B_C", "1"}, {"G_12x_F", "2"}, {"_SESSION", "s"}});
  EXPECT_EQ(xml_transaction_text(record.get()),
            "<TRANSACTION><A_B_C>1</A_B_C>\n<G id=\"12\">\n<F>2</F>\n</G>\n</TRANSACTION>\n");
}

TEST(XmlTransaction, EscapesValuesAndLeavesOutUnusableNames) {
  ParamListPtr record = test_list({{"", "free"},
                                   {"_PAGE", "p"},
                                   {"1st", "x"},
                                   {"a b", "x"},
                                   {"ns:q", "x"},
                                   {"a<b", "x"},
                                   {"G_1_9", "x"},
                                   {"Note", "a<b & c>d\x01\tok"},
                                   {"Empty", nullptr}});
  EXPECT_EQ(xml_transaction_text(record.get()),
            "<TRANSACTION><Note>a&lt;b &amp; c&gt;d\tok</Note>\n<Empty></Empty>\n"
            "</TRANSACTION>\n");
}

TEST(XmlTransaction, ElementNamesFollowXmlRules) {
  EXPECT_TRUE(xml_is_element_name("Q1"));
  EXPECT_TRUE(xml_is_element_name("_x.y-z"));
  EXPECT_TRUE(xml_is_element_name("\xC3\xA9t\xC3\xA9"));  // été
  EXPECT_FALSE(xml_is_element_name(""));
  EXPECT_FALSE(xml_is_element_name("-a"));
  EXPECT_FALSE(xml_is_element_name("\xC3\x97"));      // multiplication sign
  EXPECT_FALSE(xml_is_element_name("a\xC3"));         // cut UTF-8 sequence
  EXPECT_FALSE(xml_is_element_name("\xC0\x80"));      // overlong encoding
  EXPECT_FALSE(xml_is_element_name("\xED\xA0\x80"));  // surrogate
}

TEST(XmlTransaction, AppendsTransactionsAndReportsUnwritableFiles) {
  TempDir dir;
  ParamListPtr record = test_list({{"Q", "1"}});
  EXPECT_EQ(xml_append_transaction(record.get(), dir.at("t.xml").c_str()), StoreResult::ok);
  EXPECT_EQ(xml_append_transaction(record.get(), dir.at("t.xml").c_str()), StoreResult::ok);
  EXPECT_EQ(dir.read("t.xml"),
            "<TRANSACTION><Q>1</Q>\n</TRANSACTION>\n<TRANSACTION><Q>1</Q>\n</TRANSACTION>\n");
  EXPECT_EQ(xml_append_transaction(record.get(), dir.at("no/t.xml").c_str()),
            StoreResult::not_writable);
  EXPECT_EQ(xml_append_transaction(record.get(), ""), StoreResult::not_writable);
}

}  // namespace
}  // namespace fwk

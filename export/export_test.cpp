#include "export/export.hpp"

#include <gtest/gtest.h>

#include "export/export_writers.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

// A data file as the forms engine writes it (every field quoted, CR LF),
// with a retired record, an empty line, a column without a name and two
// columns of one group.
const char kDataFile[] =
    "ID\tQ1_a\tQ1_b\t\tNOTE\n"
    "\"007\"\t\"a\"\t\"b\"\t\"\"\t\"say \"\"hi\"\", then go\"\t\r\n"
    "#001\"\t\"x\"\t\"y\"\t\"\"\t\"retired\"\t\r\n"
    "\t\t\t\t\r\n"
    "\"=1+1\"\t\"\"\t\"c\"\t\"\"\t\"caf\xC3\xA9 \xF0\x9F\x98\x80\"\t\r\n"
    "\"-5\"\t\"-1+1\"\t\"@SUM(A1)\"\t\"\"\t\"+41 79\"\t\r\n";

struct Exported {
  ExportResult result;
  std::string bytes;
};

Exported run(const std::string& path, ExportFormat format, ExportSelection selection = {},
             ExportOptions options = {}) {
  RecordSource source;
  Exported out;
  if (record_source_open(source, path.c_str(), std::move(selection)) != SourceOpened::ok) {
    return out;
  }
  out.result = export_records(source, format, options, [&out](const char* bytes, size_t n) {
    out.bytes.append(bytes, n);
    return true;
  });
  return out;
}

TEST(ExportCsv, QuotesWhereNeededGuardsFormulasAndLeavesOutRetiredRecords) {
  TempDir dir;
  std::string path = dir.write("f.asc", kDataFile);
  Exported csv = run(path, ExportFormat::csv);
  ASSERT_TRUE(csv.result.complete) << csv.result.failure;
  EXPECT_EQ(csv.bytes,
            "\xEF\xBB\xBF"
            "ID,Q1_a,Q1_b,NOTE\r\n"
            "007,a,b,\"say \"\"hi\"\", then go\"\r\n"
            "\"'=1+1\",,c,caf\xC3\xA9 \xF0\x9F\x98\x80\r\n"
            "-5,\"'-1+1\",\"'@SUM(A1)\",\"'+41 79\"\r\n");

  ExportOptions no_mark;
  no_mark.csv_byte_order_mark = false;
  Exported all = run(path, ExportFormat::csv, {"", true}, no_mark);
  EXPECT_EQ(all.bytes,
            "ID,Q1_a,Q1_b,NOTE,_RETIRED\r\n"
            "007,a,b,\"say \"\"hi\"\", then go\",0\r\n"
            "001,x,y,retired,1\r\n"
            "\"'=1+1\",,c,caf\xC3\xA9 \xF0\x9F\x98\x80,0\r\n"
            "-5,\"'-1+1\",\"'@SUM(A1)\",\"'+41 79\",0\r\n");
}

TEST(ExportCsv, FieldsWithLineBreaksTabsAndNumbersAreWrittenAsReadersExpect) {
  struct Case {
    std::string value;
    std::string field;
  };
  const Case cases[] = {
      {"two\r\nlines", "\"two\r\nlines\""},
      {"a\nb", "\"a\nb\""},
      {"tab\there", "tab\there"},
      {"\tlead", "\"'\tlead\""},
      {"\rcr", "\"'\rcr\""},
      {"+3.25", "+3.25"},
      {"-1e6", "-1e6"},
      {"-", "\"'-\""},
      {"1-2", "1-2"},
      {"", ""},
      {"\"", "\"\"\"\""},
      {" =x", " =x"},
  };
  for (const Case& c : cases) {
    std::string out;
    csv_append_field(out, c.value);
    EXPECT_EQ(out, c.field) << c.value;
  }
}

TEST(ExportJsonl, OneObjectPerRecordWithRepeatedNamesAsArraysAndValidText) {
  TempDir dir;
  std::string path = dir.write("f.asc",
                               "ID\tQ\tq\tNOTE\n"
                               "1\ta\t\"b\"\t\"\\ \"\"x\"\" \x01 \xFF\xC3\"\n");
  Exported json = run(path, ExportFormat::jsonl);
  ASSERT_TRUE(json.result.complete);
  EXPECT_EQ(json.bytes,
            "{\"ID\":\"1\",\"Q\":[\"a\",\"b\"],\"NOTE\":\"\\\\ \\\"x\\\" \\u0001 "
            "\xEF\xBF\xBD\xEF\xBF\xBD\"}\n");
  std::string text;
  json_append_string(text, "tab\tline\ncr\r");
  EXPECT_EQ(text, "\"tab\\tline\\ncr\\r\"");
}

TEST(ExportSelection, TheQuerySeesTheNamesTheRecordBrowserShows) {
  TempDir dir;
  std::string path = dir.write("f.asc", kDataFile);
  ExportOptions plain;
  plain.csv_byte_order_mark = false;
  // Q1_a and Q1_b are both "Q1" to the query; the first of them answers.
  EXPECT_EQ(run(path, ExportFormat::csv, {"Q1 eq 'a'", false}, plain).bytes,
            "ID,Q1_a,Q1_b,NOTE\r\n007,a,b,\"say \"\"hi\"\", then go\"\r\n");
  // Retired records are asked too when they are included, as they were saved.
  EXPECT_EQ(run(path, ExportFormat::csv, {"ID eq '001'", true}, plain).bytes,
            "ID,Q1_a,Q1_b,NOTE,_RETIRED\r\n001,x,y,retired,1\r\n");
  // A query that is not a condition lets every record through, as the list does.
  EXPECT_EQ(run(path, ExportFormat::jsonl, {"ID", false}).bytes.size(),
            run(path, ExportFormat::jsonl).bytes.size());
}

TEST(ExportOutputs, StopWhenNobodyWantsThemAndReportWhy) {
  TempDir dir;
  std::string text = "ID\tNOTE\n";
  for (int i = 0; i < 20000; ++i) text += std::to_string(i) + "\tsome words for the note\n";
  std::string path = dir.write("f.asc", text);
  for (ExportFormat format : {ExportFormat::csv, ExportFormat::jsonl, ExportFormat::xlsx}) {
    RecordSource source;
    ASSERT_EQ(record_source_open(source, path.c_str(), {}), SourceOpened::ok);
    size_t pieces = 0;
    ExportResult result = export_records(
        source, format, {}, [&pieces](const char*, size_t n) { return n == 0 || ++pieces < 2; });
    EXPECT_FALSE(result.complete);
    EXPECT_FALSE(result.failure.empty());
    EXPECT_EQ(pieces, 2u);
  }
  RecordSource missing;
  EXPECT_EQ(record_source_open(missing, dir.at("none").c_str(), {}), SourceOpened::missing);
  EXPECT_EQ(record_source_open(missing, dir.write("h.asc", "ID\tNAME").c_str(), {}),
            SourceOpened::unreadable);
}

}  // namespace
}  // namespace fwk

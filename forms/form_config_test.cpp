#include "forms/form_config.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/limits.hpp"
#include "platform/testing/temp_dir.hpp"

namespace fwk {
namespace {

struct FormConfigTest : ::testing::Test {
  TempDir dir;
  std::string root = dir.path.string() + "/";
};

TEST_F(FormConfigTest, DefaultsWhenKeysAreMissingOrEmpty) {
  dir.write("f.ini", "[DATABASE]\nACTIVE=\nSTARTPAGE=\nMESSAGE=\n[access]\nPWD=(allow)\n");
  FormConfig form = form_config_read(root, "f");
  ASSERT_NE(form.database, nullptr);
  ASSERT_NE(form.access, nullptr);
  EXPECT_EQ(form.name, "f");
  EXPECT_TRUE(form.active);  // an empty value counts as absent
  EXPECT_EQ(form.start_page, "page0");
  EXPECT_EQ(form.message, "");
  EXPECT_TRUE(form.display_message);
  EXPECT_TRUE(form.log_date_time);
  EXPECT_EQ(form.id_fields, kDefaultIdFields);
  EXPECT_EQ(form.id_field, "IFMUID");
  EXPECT_EQ(form.data_path, root + "f.asc");
  EXPECT_EQ(form.index_path, "");
  EXPECT_EQ(form.xml_path, "");
  EXPECT_EQ(form.password_path, "");
}

TEST_F(FormConfigTest, NumbersReadTheirLeadingDigits) {
  dir.write("f.ini",
            "[database]\nactive=0\nMULTIPAGE=2\nMAXRESPONSES=12abc\nSAVEDATA=yes\n"
            "HASUID= 1\nIDFIELDS=LOGIN,PIN\nTitle=T\n");
  FormConfig form = form_config_read(root, "f");
  EXPECT_FALSE(form.active);
  EXPECT_TRUE(form.multipage);
  EXPECT_EQ(form.max_responses, 12);
  EXPECT_FALSE(form.save_data);  // "yes" reads as 0
  EXPECT_TRUE(form.has_uid);
  EXPECT_EQ(form.id_field, "LOGIN");
  EXPECT_EQ(form.title, "T");
  EXPECT_EQ(form.description, "Description");
  EXPECT_EQ(form.access, nullptr);
}

TEST_F(FormConfigTest, FilePathsAreComputedOnceWithTheirCuts) {
  dir.write("f.ini",
            "[DATABASE]\nSAVEDATANAME=data\\answers.txt\nSAVEINDEXNAME=i.idx\n"
            "SAVEXMLNAME=/abs/x.xml\nPWDFILE=sub\\pw.txt\n");
  FormConfig form = form_config_read(root, "f");
  EXPECT_EQ(form.data_path, root + "data/answers.txt");
  EXPECT_EQ(form.index_path, root + "i.idx");
  EXPECT_EQ(form.xml_path, "/abs/x.xml");
  // The password file is not placed in the root.
  EXPECT_EQ(form.password_path, "sub/pw.txt");
  EXPECT_EQ(form_private_paths(form, root, "/work"),
            (std::vector<std::string>{root + "data/answers.txt", "/work/data\\answers.txt",
                                      root + "i.idx", "/work/i.idx", "/abs/x.xml",
                                      root + "sub/pw.txt", "/work/sub\\pw.txt"}));

  // Configured names are cut to their limit before they are joined.
  const std::string long_name(kConfiguredNameLimit + 20, 'n');
  dir.write("g.ini", "[DATABASE]\nSAVEXMLNAME=/" + long_name + "\n");
  form = form_config_read(root, "g");
  EXPECT_EQ(form.xml_name, "/" + long_name.substr(0, kConfiguredNameLimit - 1));
  EXPECT_EQ(form.xml_path, form.xml_name);
}

TEST_F(FormConfigTest, UnsafeOrEmptyNamesReadNothing) {
  dir.write("f.ini", "[DATABASE]\nSAVEDATA=1\n[access]\nPWD=(allow)\n");
  dir.write(".ini", "[DATABASE]\nSAVEDATA=1\n");
  for (const std::string& name :
       {std::string(), std::string("../f"), std::string("f."), std::string("f*"),
        std::string(kAccessValueLimit + 1, 'f')}) {
    FormConfig form = form_config_read(root, name);
    EXPECT_EQ(form.database, nullptr) << name;
    EXPECT_EQ(form.access, nullptr) << name;
  }
  EXPECT_FALSE(form_name_safe("a|b"));
  EXPECT_TRUE(form_name_safe("o'k"));
}

TEST_F(FormConfigTest, FoundFilesKeepTheirNameAsFound) {
  dir.write("SALES.INI", "[DATABASE]\nTitle=Sales\n");
  FormConfig form = form_config_read_file(root, "SALES.INI");
  EXPECT_EQ(form.name, "SALES");
  EXPECT_EQ(form.title, "Sales");
  EXPECT_EQ(form.data_path, root + "SALES.asc");
}

}  // namespace
}  // namespace fwk

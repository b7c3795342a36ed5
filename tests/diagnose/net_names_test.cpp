// The nets file: what it takes, what it refuses and on which line, and the
// names put beside the line numbers in the text and the JSON.
#include <string>

#include <gtest/gtest.h>

#include "net_names.h"

namespace {

TEST(NetNames, ReadOrRefusedWithItsLine) {
  struct table {
    const char *name;
    std::string text;
    std::string why;    // "" when taken
    std::string named;  // "D5=..;A7=.." when taken
  } cases[] = {
      {"heading, CR LF, a byte order mark, blank lines",
       "\xEF\xBB\xBFLINE,NAME\r\nD5,SD_D5 U12 pin 34\r\n\r\nA25, SD_A25 \r\n", "",
       "A25=SD_A25;D5=SD_D5 U12 pin 34"},
      {"quoted, with a comma and a doubled quote", "d05,\"SD_D5, \"\"U12\"\"\"\nD0,x", "",
       "D0=x;D5=SD_D5, \"U12\""},
      {"UTF-8 names",
       "D15,SD_D15 \xC2\xB5"
       "C\n",
       "",
       "D15=SD_D15 \xC2\xB5"
       "C"},
      {"a line named twice", "D5,a\nD6,b\n\nD5,c\n", "line 4: D5 is named twice (first on line 1)",
       ""},
      {"a data line the board lacks", "D16,x\n",
       "line 1: the board has no line D16 (data lines are D0 to D15, address lines A1 to A25)", ""},
      {"address line 0", "D1,x\nA0,y\n",
       "line 2: the board has no line A0 (data lines are D0 to D15, address lines A1 to A25)", ""},
      {"address line 26", "A26,y\n",
       "line 1: the board has no line A26 (data lines are D0 to D15, address lines A1 to A25)", ""},
      {"not UTF-8", "D1,x\nD2,caf\xE9\n", "line 2: not UTF-8 text", ""},
      {"an overlong form", "D1,\xC0\xAF\n", "line 1: not UTF-8 text", ""},
      {"a surrogate", "D1,\xED\xA0\x80\n", "line 1: not UTF-8 text", ""},
      {"no comma", "D1 x\n", "line 1: a row is LINE,NAME (quote a name that holds a comma)", ""},
      {"a comma unquoted", "D1,a,b\n",
       "line 1: a row is LINE,NAME (quote a name that holds a comma)", ""},
      {"a quote left open", "D1,\"a\n",
       "line 1: a row is LINE,NAME (quote a name that holds a comma)", ""},
      {"no name", "D1,\n", "line 1: D1 has no name", ""},
      {"a control character", "D1,a\tb\n",
       "line 1: the name of D1 holds a control character or is over 200 bytes", ""},
      {"a heading after the first row", "D1,a\nLINE,NAME\n",
       "line 2: the board has no line LINE (data lines are D0 to D15, address lines A1 to A25)",
       ""},
  };
  for (const table &c : cases) {
    net_names nets;
    std::string why;
    bool ok = net_names_parse(c.text, &nets, &why);
    EXPECT_EQ(c.why.empty(), ok) << c.name;
    EXPECT_EQ(c.why, ok ? "" : why) << c.name;
    std::string named;
    for (const auto &n : nets.by_line)
      named += (named.empty() ? "" : ";") + n.first + "=" + n.second;
    EXPECT_EQ(ok ? c.named : "", named) << c.name;
  }
}

TEST(NetNames, BesideTheNumbersInTextAndJson) {
  net_names nets;
  std::string why;
  ASSERT_TRUE(net_names_parse("D5,SD_D5\nD6,SD_D6\nA3,MA2\n", &nets, &why)) << why;
  struct table {
    std::string text, named;
  } texts[] = {
      {"SDRAM: data line 5 stuck at 1\n", "SDRAM: data line 5 (SD_D5) stuck at 1\n"},
      {"data lines 5 and 6 shorted (wired OR)",
       "data lines 5 (SD_D5) and 6 (SD_D6) shorted (wired OR)"},
      {"address lines 3 and 7 shorted", "address lines 3 (MA2) and 7 shorted"},
      {"one of 2 faults: data line 15 stuck at 0; address line 3 stuck at 1",
       "one of 2 faults: data line 15 stuck at 0; address line 3 (MA2) stuck at 1"},
      {"data line 5 (SD_D5) stuck at 1", "data line 5 (SD_D5) stuck at 1"},
      {"data line 55 stuck in 2 of 5 passes (1, 5)", "data line 55 stuck in 2 of 5 passes (1, 5)"},
      {"FLASH: device 0x00 is not 0xf1", "FLASH: device 0x00 is not 0xf1"},
  };
  for (const table &t : texts) EXPECT_EQ(t.named, nets_in_text(t.text, nets));

  const std::string document =
      "{\n  \"sdram\": {\n    \"faults\": [\n      {\n        \"one_of\": [\n          {\n"
      "            \"kind\": \"data_short\",\n            \"lines\": [\n              5,\n"
      "              7\n            ]\n          }\n        ]\n      }\n    ]\n  }\n}\n";
  std::string named = nets_in_json(document, nets);
  EXPECT_NE(std::string::npos, named.find("\"nets\": [\n              {\n                \"line\": "
                                          "5,\n                \"net\": \"SD_D5\""))
      << named;
  EXPECT_NE(std::string::npos, named.find("\"line\": 7,\n                \"net\": null")) << named;
  net_names back;
  nets_from_json(named, &back);
  EXPECT_EQ(1u, back.by_line.size());
  EXPECT_EQ("SD_D5", net_name(back, "D5"));
  EXPECT_EQ(document, nets_in_json(document, net_names()));
}

}  // namespace

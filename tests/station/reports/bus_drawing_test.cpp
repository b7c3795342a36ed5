// The bus drawing read from the diagnosis's JSON, older and newer: which
// lines it marks and how, and what it refuses.
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "bus_drawing.h"

namespace {

// "D5:stuck-1 A3:short", in the drawing's order of lines.
std::string marks(const std::string &svg) {
  std::string out;
  std::regex mark("data-line=\"([AD][0-9]+)\" data-mark=\"([^\"]*)\"");
  for (std::sregex_iterator i(svg.begin(), svg.end(), mark), end; i != end; ++i)
    out += (out.empty() ? "" : " ") + (*i)[1].str() + ":" + (*i)[2].str();
  return out;
}

std::string fault(const char *kind, const char *lines, const char *level, const char *wiring) {
  return std::string("{\"kind\": \"") + kind + "\", \"lines\": [" + lines +
         "], \"level\": " + level + ", \"wiring\": " + wiring + ", \"words\": \"" + kind + " " +
         lines + "\"}";
}

std::string document(const std::string &sdram_faults) {
  return "{\"schema\": 2, \"verdict\": \"faulty\", \"sdram\": {\"verdict\": \"faulty\", "
         "\"faults\": [" +
         sdram_faults + "]}, \"flash\": null}";
}

TEST(BusDrawing, MarksTheLinesTheDiagnosisNames) {
  const std::string d5 = fault("data_stuck", "5", "1", "null");
  const std::string a3 = fault("address_stuck", "3", "0", "null");
  const std::string a9 = fault("address_stuck", "9", "1", "null");
  const std::string a4_10 = fault("address_short", "4, 10", "null", "\"or\"");
  struct drawing_case {
    const char *name;
    std::string json;
    std::string marks;
    std::string label;  // a label the drawing must hold
  } cases[] = {
      {"a data line stuck", document(d5), "D5:stuck-1", "stuck at 1"},
      {"an address line stuck", document(a3), "A3:stuck-0", "stuck at 0"},
      {"a wired-OR short", document(a4_10), "A4:short A10:short", "shorted A4+A10 (wired OR)"},
      {"two data lines shorted", document(fault("data_short", "2, 3", "null", "\"and\"")),
       "D2:short D3:short", "shorted D2+D3 (wired AND)"},
      {"a floating data line", document(fault("data_floating", "9", "null", "null")), "D9:floating",
       "floating"},
      {"a pair for certain", document("[" + d5 + ", " + a3 + "]"), "D5:stuck-1 A3:stuck-0", ""},
      {"two faults at once", document(d5 + ", " + a3), "D5:stuck-1 A3:stuck-0", ""},
      {"one of two", document("{\"one_of\": [" + d5 + ", " + a3 + "]}"), "D5:one-of A3:one-of",
       "one of: stuck at 1"},
      {"one of two pairs sharing a short",
       document("{\"one_of\": [[" + a4_10 + ", " + a3 + "], [" + a4_10 + ", " + a9 + "]]}"),
       "A3:one-of A4:short A9:one-of A10:short", ""},
      {"a line beyond the bus", document(fault("data_stuck", "16", "1", "null")), "", ""},
      {"older words",
       "{\"sdram\": {\"faults\": [\"data line 5 stuck at 1\", \"address lines 3 and 7 "
       "shorted\"]}}",
       "D5:stuck-1 A3:short A7:short", "shorted A3+A7 (wired AND)"},
      {"older set of words",
       "{\"sdram\": {\"faults\": [[\"data line 1 stuck at 0\", \"address line 2 stuck at 0 and "
       "address lines 3 and 7 shorted\"]]}}",
       "D1:one-of A2:one-of A3:one-of A7:one-of", ""},
      {"older words the drawing does not know", "{\"sdram\": {\"faults\": [\"a loose cable\"]}}",
       "", "a loose cable"},
  };
  for (const drawing_case &c : cases) {
    SCOPED_TRACE(c.name);
    bus_faults faults;
    std::string why;
    ASSERT_TRUE(bus_faults_from_json(c.json, &faults, &why)) << why;
    std::string svg = bus_drawing_svg(faults);
    EXPECT_EQ(c.marks, marks(svg));
    EXPECT_NE(std::string::npos, svg.find(c.label)) << svg;
    // Every line of both buses is drawn, marked or not.
    EXPECT_NE(std::string::npos, svg.find("data-line=\"D15\""));
    EXPECT_NE(std::string::npos, svg.find("data-line=\"A25\""));
    EXPECT_EQ(std::string::npos, svg.find("data-line=\"A0\""));
  }
}

TEST(BusDrawing, FlashChecksWithWhatWasRead) {
  bus_faults faults;
  std::string why;
  ASSERT_TRUE(bus_faults_from_json(
      "{\"schema\": 2, \"sdram\": null, \"flash\": {\"faults\": [{\"kind\": \"device\", "
      "\"lines\": [], \"level\": null, \"wiring\": null, \"words\": \"device 0x00 is not "
      "0xf1\"}, \"maker <0x2c> & more\"]}}",
      &faults, &why))
      << why;
  EXPECT_EQ("", bus_drawing_svg(faults));
  std::string table = flash_checks_html(faults);
  EXPECT_NE(std::string::npos,
            table.find("data-check=\"device\"><td>device</td><td>device 0x00 is not 0xf1</td>"));
  EXPECT_NE(std::string::npos, table.find("<td>maker &lt;0x2c&gt; &amp; more</td>"));
}

TEST(BusDrawing, RefusesWhatIsNotADiagnosis) {
  const char *documents[] = {"",
                             "not json",
                             "[1, 2]",
                             "{\"sdram\": {\"verdict\": \"faulty\"}}",
                             "{\"sdram\": {\"faults\": [{\"one_of\": 3}]}}",
                             "{\"sdram\": {\"faults\": [[1]]}}",
                             "{\"sdram\": 5}"};
  for (const char *d : documents) {
    bus_faults faults;
    std::string why;
    EXPECT_FALSE(bus_faults_from_json(d, &faults, &why)) << d;
    EXPECT_FALSE(why.empty()) << d;
  }
}

TEST(BusDrawing, EscapesWhatAnOperatorTyped) {
  struct escape_case {
    std::string text, html;
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a \"b\" 'c' & d", "a &quot;b&quot; &#39;c&#39; &amp; d"},
      {std::string("bell\x07"), "bell\xEF\xBF\xBD"},
      {"plain", "plain"},
  };
  for (const escape_case &c : cases) EXPECT_EQ(c.html, html_escape(c.text)) << c.text;
}

}  // namespace

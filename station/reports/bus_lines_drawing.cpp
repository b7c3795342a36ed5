#include "station/reports/bus_lines_drawing.h"

#include <algorithm>

#include "bus_drawing.h"

namespace {

std::string number(long long n) { return std::to_string(n); }

constexpr int LABEL = 230;   // the line's number and name, right-aligned
constexpr int LENGTH = 320;  // the longest bar
constexpr int PITCH = 15;
constexpr int GAP = 24;  // between the data and the address lines
constexpr int TOP = 20;

// "12 boards: stuck 10, shorted 2".
std::string count_words(const bus_line_count &c) {
  std::string out = number(c.boards) + (c.boards == 1 ? " board" : " boards");
  std::string kinds;
  const std::pair<const char *, long long> parts[] = {
      {"stuck", c.stuck}, {"shorted", c.shorted}, {"floating", c.floating}};
  for (const auto &p : parts)
    if (p.second)
      kinds += (kinds.empty() ? "" : ", ") + std::string(p.first) + " " + number(p.second);
  return kinds.empty() ? out : out + ": " + kinds;
}

void append_line(std::string *svg, const std::string &id, const bus_line_count &c, int y,
                 long long most, const net_names &nets) {
  std::string name = net_name(nets, id);
  std::string label = name.empty() ? id : id + " " + name;
  // A long name is cut to fit; the title holds it whole.
  std::string shown = label.size() > 40 ? label.substr(0, 39) + "\xE2\x80\xA6" : label;
  int w = most ? int(double(c.boards) * LENGTH / double(most) + 0.5) : 0;
  if (c.boards && w < 2) w = 2;
  *svg += "<g class=\"bus-map-line\" data-line=\"" + id + "\" data-boards=\"" + number(c.boards) +
          "\"><title>" + html_escape(label + ": " + count_words(c)) + "</title>";
  *svg += "<text x=\"" + number(LABEL - 6) + "\" y=\"" + number(y + 10) +
          "\" text-anchor=\"end\">" + html_escape(shown) + "</text>";
  *svg += "<line x1=\"" + number(LABEL) + "\" y1=\"" + number(y + 6) + "\" x2=\"" +
          number(LABEL + LENGTH) + "\" y2=\"" + number(y + 6) + "\" stroke=\"#ccd\"/>";
  if (c.boards) {
    *svg += "<rect x=\"" + number(LABEL) + "\" y=\"" + number(y + 1) + "\" width=\"" + number(w) +
            "\" height=\"" + number(PITCH - 4) + "\" fill=\"#c44\"/>";
    *svg += "<text x=\"" + number(LABEL + w + 6) + "\" y=\"" + number(y + 10) + "\">" +
            html_escape(count_words(c)) + "</text>";
  }
  *svg += "</g>\n";
}

}  // namespace

std::string bus_lines_svg(const bus_line_counts &counts, const net_names &nets) {
  long long most = 0;
  for (const bus_line_count &c : counts.data) most = std::max(most, c.boards);
  for (const bus_line_count &c : counts.address) most = std::max(most, c.boards);
  int address_top = TOP + SDRAM_DATA_LINES * PITCH + GAP;
  int lines = SDRAM_LAST_ADDR_LINE - SDRAM_FIRST_ADDR_LINE + 1;
  int height = address_top + lines * PITCH + 6;
  std::string svg = "<svg class=\"bus-map\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    number(LABEL + LENGTH + 200) + "\" height=\"" + number(height) +
                    "\" font-family=\"sans-serif\" font-size=\"10\">\n";
  svg += "<text x=\"" + number(LABEL) + "\" y=\"" + number(TOP - 6) +
         "\" font-size=\"12\">data lines</text>\n";
  svg += "<text x=\"" + number(LABEL) + "\" y=\"" + number(address_top - 6) +
         "\" font-size=\"12\">byte-address lines</text>\n";
  for (int l = 0; l < SDRAM_DATA_LINES; ++l)
    append_line(&svg, "D" + number(l), counts.data[l], TOP + l * PITCH, most, nets);
  for (int l = SDRAM_FIRST_ADDR_LINE; l <= SDRAM_LAST_ADDR_LINE; ++l)
    append_line(&svg, "A" + number(l), counts.address[l],
                address_top + (l - SDRAM_FIRST_ADDR_LINE) * PITCH, most, nets);
  return svg + "</svg>\n";
}

#include "station/reports/csv_row.h"

std::string csv_field(const std::string &text) {
  std::string cell = text;
  // A spreadsheet takes a cell beginning with one of these as a formula
  // (a serial "+cmd|calc" would run): the quote before it makes it text.
  if (!cell.empty() && std::string("=+-@\t\r").find(cell[0]) != std::string::npos)
    cell = "'" + cell;
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string out = "\"";
  for (char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string csv_row(const std::vector<std::string> &fields) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + csv_field(fields[i]);
  return out + "\r\n";
}

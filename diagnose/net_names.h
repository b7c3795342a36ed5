// The board's own names for its SDRAM lines, as its schematic gives them: a
// repair technician looks for "SD_D5, U12 pin 34", not "data line 5".
//
// A nets file is CSV, one LINE,NAME row a line:
//   D5,SD_D5 U12 pin 34
//   A7,"SD_A7, U12 pin 21"
// D0 to D15 for the data lines, A1 to A25 for the byte-address lines as the
// diagnosis numbers them. A first row LINE,NAME is a heading; blank lines
// are skipped; a name may be quoted as a spreadsheet writes it. A file that
// names a line twice, names a line the board does not have, is not UTF-8 or
// holds a row of any other shape is refused with the number of that line.
//
// The names are added beside the line numbers, never in their place: the
// words a fault is counted by across boards stay the same with or without
// a file.
#pragma once

#include <map>
#include <string>

struct net_names {
  std::map<std::string, std::string> by_line;  // "D5" or "A7": the name
};

// Reads the nets file at path; false with "line N: reason" (or the system's
// reason when it cannot be read). missing, when given, is set when there is
// no file at path.
bool net_names_read(const std::string &path, net_names *out, std::string *why,
                    bool *missing = nullptr);

// The file `nets` in the folder that holds path: the nets a station's
// database is read with.
std::string nets_beside(const std::string &path);
// The same for text already read.
bool net_names_parse(const std::string &text, net_names *out, std::string *why);

// The name of "D5" or "A7", "" when there is none.
std::string net_name(const net_names &nets, const std::string &line);

// Text in which every "data line N", "data lines N and M", "address line N"
// and "address lines N and M" of a fault's words has the lines' names beside
// their numbers: "data line 5 (SD_D5 U12 pin 34) stuck at 1". A number
// already named is left as it is.
std::string nets_in_text(const std::string &text, const net_names &nets);

// The diagnosis's JSON document with "nets": [{"line": N, "net": NAME or
// null}...] beside the "lines" of every SDRAM fault; the document unchanged
// when it is not JSON.
std::string nets_in_json(const std::string &document, const net_names &nets);

// Adds the names a document made by nets_in_json carries, for the lines
// nets does not name yet.
void nets_from_json(const std::string &document, net_names *nets);

// Rows of comma-separated values as a spreadsheet or a manufacturing system
// reads them: a field holding a comma, a quote or a line break is quoted,
// its quotes doubled; each row ends in CR LF. A field beginning with =, +,
// -, @, a tab or a CR gets a ' before it, so that a spreadsheet shows it as
// text and never runs it as a formula.
#pragma once

#include <string>
#include <vector>

std::string csv_field(const std::string &text);
std::string csv_row(const std::vector<std::string> &fields);

// The rows of a query on a station's database, as the tests compare them.
#pragma once

#include <string>
#include <vector>

// Opens the database read-only and gives each row of sql with its columns
// joined by '|' (a null as "NULL"). When it cannot open the database or the
// query fails, the one row says why, and any comparison shows it.
std::vector<std::string> database_rows(const std::string &db_path, const std::string &sql);

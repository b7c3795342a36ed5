// A record's uid: a random (version 4) UUID in its usual text form, made
// when the record is committed, by which the line server tells one record
// from another whichever station made it and however often it is sent.
#pragma once

#include <string>

// A fresh uid, 36 characters, lower-case hex: 8-4-4-4-12.
std::string board_new_uid(void);

// Whether text has a uid's form (any UUID version, lower or upper case).
bool board_uid_valid(const std::string &text);

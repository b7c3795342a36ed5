// The characters that markup text and attribute values cannot hold as they
// are, shared by the JUnit report's XML and the bus drawing's HTML.
#pragma once

// The entity that stands for c, or null for a character that stands for
// itself. XML names the apostrophe "&apos;", which HTML 4 lacks; each
// caller gives its own.
inline const char *markup_entity(char c, const char *apostrophe) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return apostrophe;
    default:
      return nullptr;
  }
}

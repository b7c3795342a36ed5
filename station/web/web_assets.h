// The page, its style and its script, built into the program (the build
// generates their definitions from web_page.html, web_page.css and
// web_page.js), so that the station serves them with nothing to fetch.
#pragma once

#include <cstddef>

extern const char web_page_html[];
extern const std::size_t web_page_html_size;
extern const char web_page_css[];
extern const std::size_t web_page_css_size;
extern const char web_page_js[];
extern const std::size_t web_page_js_size;

# The web page's tests: its requests answered without a socket, the server on
# a real socket, and the page in headless Chromium against a stand-in station
# (web_station_driver) that plays a fixed sequence of slot states.
set(web_tests_dir ${CMAKE_CURRENT_LIST_DIR})
korvane_test_program(web_requests_test web_requests_test.cpp web_address_test.cpp serial_rules_test.cpp
  LIBS station_web nlohmann_json)
gtest_discover_tests(web_requests_test TEST_PREFIX station.)

korvane_test_program(web_server_test web_server_test.cpp LIBS station_web boost_beast)
gtest_discover_tests(web_server_test TEST_PREFIX station. PROPERTIES TIMEOUT 60)

korvane_program(web_station_driver web_station_driver.cpp LIBS station_web)

# The page in a real browser; the test keeps its screenshot in its folder.
find_program(KORVANE_CHROMEDRIVER chromedriver PATHS /usr/bin NO_DEFAULT_PATH)
if(KORVANE_CHROMEDRIVER)
  add_test(NAME station.web_page_browser
    COMMAND /usr/bin/python3 ${web_tests_dir}/web_page_browser_test.py
            --driver $<TARGET_FILE:web_station_driver> --chromedriver ${KORVANE_CHROMEDRIVER}
            --out ${CMAKE_BINARY_DIR}/tests/station/web_page_browser)
  set_tests_properties(station.web_page_browser PROPERTIES TIMEOUT 240 LABELS browser)
endif()
if(KORVANE_CHROMEDRIVER)
  add_test(NAME station.web_page_station
    COMMAND /usr/bin/python3 ${web_tests_dir}/web_page_station_test.py
            --station $<TARGET_FILE:korvane-station> --korvane $<TARGET_FILE:korvane>
            --boardsim $<TARGET_FILE:boardsim> --chromedriver ${KORVANE_CHROMEDRIVER}
            --out ${CMAKE_BINARY_DIR}/tests/station/web_page_station)
  set_tests_properties(station.web_page_station PROPERTIES TIMEOUT 300 LABELS browser)
endif()

# The web page's tests: its requests answered without a socket, the server on
# a real socket, and the page in headless Chromium against a stand-in station
# (web_station_driver) that plays a fixed sequence of slot states.
set(web_tests_dir ${CMAKE_CURRENT_LIST_DIR})
korvane_test_program(web_requests_test ${web_tests_dir}/web_requests_test.cpp
  ${web_tests_dir}/web_address_test.cpp ${web_tests_dir}/serial_rules_test.cpp
  LIBS station_web)
target_include_directories(web_requests_test SYSTEM PRIVATE ${KORVANE_JSON_INCLUDE_DIR})
gtest_discover_tests(web_requests_test TEST_PREFIX station.)

korvane_test_program(web_server_test ${web_tests_dir}/web_server_test.cpp LIBS station_web)
target_include_directories(web_server_test SYSTEM PRIVATE ${KORVANE_BOOST_INCLUDE_DIR})
gtest_discover_tests(web_server_test TEST_PREFIX station. PROPERTIES TIMEOUT 60)

add_executable(web_station_driver ${web_tests_dir}/web_station_driver.cpp)
target_link_libraries(web_station_driver PRIVATE station_web)
target_compile_options(web_station_driver PRIVATE ${KORVANE_WARNINGS})

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

# The web page's tests: its requests answered without a socket, the server on
# a real socket, and the page in headless Chromium against a stand-in station
# (web_station_driver) that plays a fixed sequence of slot states.
set(web_tests_dir ${CMAKE_CURRENT_LIST_DIR})
korvane_test_program(web_requests_test ${web_tests_dir}/web_requests_test.cpp
  ${web_tests_dir}/web_address_test.cpp ${web_tests_dir}/serial_rules_test.cpp
  LIBS station_web nlohmann_json::nlohmann_json)
gtest_discover_tests(web_requests_test TEST_PREFIX station.)

korvane_test_program(web_server_test ${web_tests_dir}/web_server_test.cpp
  LIBS station_web Boost::headers)
gtest_discover_tests(web_server_test TEST_PREFIX station. PROPERTIES TIMEOUT 60)

add_executable(web_station_driver ${web_tests_dir}/web_station_driver.cpp)
target_link_libraries(web_station_driver PRIVATE station_web)
target_compile_options(web_station_driver PRIVATE ${KORVANE_WARNINGS})


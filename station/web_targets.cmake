# korvane-station's live web page (library `station_web`) and the serial
# number rules every way of typing a serial shares (library `serial_rules`).
# The page, its style and its script are compiled in: web_embed.cmake turns
# them into web_assets.cpp in the build tree.
set(web_dir ${CMAKE_CURRENT_LIST_DIR})
set(web_assets_cpp ${CMAKE_BINARY_DIR}/station/web_assets.cpp)
add_custom_command(
  OUTPUT ${web_assets_cpp}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/station
  COMMAND ${CMAKE_COMMAND} -DHTML=${web_dir}/web_page.html -DCSS=${web_dir}/web_page.css
          -DJS=${web_dir}/web_page.js -DOUTPUT=${web_assets_cpp} -P ${web_dir}/web_embed.cmake
  DEPENDS ${web_dir}/web_page.html ${web_dir}/web_page.css ${web_dir}/web_page.js
          ${web_dir}/web_embed.cmake
  COMMENT "Building the web page into web_assets.cpp"
  VERBATIM)

add_library(serial_rules STATIC ${web_dir}/serial_rules.cpp)
target_include_directories(serial_rules PUBLIC ${web_dir} ${PROJECT_SOURCE_DIR}/include)
target_compile_options(serial_rules PRIVATE ${KORVANE_WARNINGS})

# Boost's headers alone, in a folder of their own, so that the Windows
# build can take them without the rest of the machine's headers (as the
# JSON library's, from diagnose/).
find_path(BOOST_BEAST_INCLUDE_DIR boost/beast.hpp)
if(NOT BOOST_BEAST_INCLUDE_DIR)
  message(FATAL_ERROR "boost/beast.hpp not found: run scripts/setup.sh")
endif()
set(KORVANE_BOOST_INCLUDE_DIR ${CMAKE_BINARY_DIR}/boost_include CACHE INTERNAL
  "Boost's headers alone")
file(MAKE_DIRECTORY ${KORVANE_BOOST_INCLUDE_DIR})
file(CREATE_LINK ${BOOST_BEAST_INCLUDE_DIR}/boost ${KORVANE_BOOST_INCLUDE_DIR}/boost SYMBOLIC)
add_library(station_web STATIC
  ${web_dir}/web_address.cpp
  ${web_dir}/web_requests.cpp
  ${web_dir}/web_server.cpp
  ${web_dir}/web_state.cpp
  ${web_assets_cpp})
target_include_directories(station_web PUBLIC ${web_dir})
target_include_directories(station_web SYSTEM PRIVATE ${KORVANE_BOOST_INCLUDE_DIR}
  ${KORVANE_JSON_INCLUDE_DIR})
target_compile_options(station_web PRIVATE ${KORVANE_WARNINGS})
find_package(Threads REQUIRED)
target_link_libraries(station_web PUBLIC serial_rules PRIVATE Threads::Threads)
if(WIN32)
  target_link_libraries(station_web PRIVATE ws2_32 mswsock)
  # Asio asks which Windows it may use; 0x0601 is Windows 7.
  target_compile_definitions(station_web PRIVATE _WIN32_WINNT=0x0601)
endif()

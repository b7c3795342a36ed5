# korvane-station's live web page (library `station_web`) and the serial
# number rules every way of typing a serial shares (library `serial_rules`).
# The page, its style and its script are compiled in: web_embed.cmake turns
# them into web_assets.cpp in the build tree.
set(web_assets_cpp ${CMAKE_CURRENT_BINARY_DIR}/web_assets.cpp)
add_custom_command(
  OUTPUT ${web_assets_cpp}
  COMMAND ${CMAKE_COMMAND} -DHTML=web_page.html -DCSS=web_page.css -DJS=web_page.js
          -DOUTPUT=${web_assets_cpp} -P web_embed.cmake
  WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
  DEPENDS web_page.html web_page.css web_page.js web_embed.cmake
  COMMENT "Building the web page into web_assets.cpp"
  VERBATIM)

korvane_library(serial_rules serial_rules.cpp)

# Boost's headers (boost_beast, found with SQLite in cmake/parts.cmake) and
# the JSON library's, each in a folder of its own, so that the Windows build
# can take them without the rest of the machine's headers.
korvane_library(station_web web_address.cpp web_requests.cpp web_server.cpp web_state.cpp
  ${web_assets_cpp}
  LIBS serial_rules PRIVATE boost_beast nlohmann_json Threads::Threads)
if(WIN32)
  target_link_libraries(station_web PRIVATE ws2_32 mswsock)
  # Asio asks which Windows it may use; 0x0601 is Windows 7.
  target_compile_definitions(station_web PRIVATE _WIN32_WINNT=0x0601)
endif()

# Windows-only checks: the executable's own properties, and the real program driven under Wine.

# The Wine session (display, prefix, server) is shared by every test program; the last test
# stops it, so that a test run leaves nothing running.
add_test(NAME wine_session_start COMMAND ${wine_session} ensure)
add_test(NAME wine_session_stop COMMAND ${wine_session} stop)
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine LABELS wine)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine LABELS wine)

add_executable(nuporaku_e2e_tests
  e2e/driver.cpp
  e2e/visit_test.cpp
  e2e/form_test.cpp
  e2e/fade_test.cpp
  e2e/picture_test.cpp
  e2e/monkey_test.cpp)
target_include_directories(nuporaku_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/src/order ${CMAKE_SOURCE_DIR}/src/visit)
target_compile_definitions(nuporaku_e2e_tests PRIVATE UNICODE _UNICODE NOMINMAX)
# zlib for the report's PNG pictures: linked in, as the kit's programs need no DLL of their own.
find_library(NUPORAKU_ZLIB libz.a REQUIRED DOC "zlib for the cross compiler, static (libz-mingw-w64-dev)")
target_link_libraries(nuporaku_e2e_tests PRIVATE GTest::gtest_main nuporaku_order ${NUPORAKU_ZLIB} gdi32 comctl32)
add_dependencies(nuporaku_e2e_tests nuporaku nuporaku_reference_pictures nuporaku_timer_hook)
# The hook the fade test puts into the program's thread, beside the test program: plain Win32,
# none of the test programs' libraries, its export undecorated (x86's stdcall adds @12).
add_library(nuporaku_timer_hook SHARED e2e/timer_hook.cpp)
set_target_properties(nuporaku_timer_hook PROPERTIES PREFIX "" LINK_LIBRARIES "")
target_link_options(nuporaku_timer_hook PRIVATE -Wl,--kill-at)

# The reviewed pictures of every screen, as the raw pixels the picture test reads, beside it:
# one set a setup (Wine's version, fonts, screen), each in a folder with what it was made with.
find_program(NUPORAKU_CONVERT convert REQUIRED DOC "ImageMagick's convert, for the reference pictures")
file(GLOB reference_sets CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/pictures/*/made-with.txt)
set(reference_pixels)
foreach(made_with IN LISTS reference_sets)
  get_filename_component(set_dir ${made_with} DIRECTORY)
  get_filename_component(set ${set_dir} NAME)
  set(reference_dir ${CMAKE_CURRENT_BINARY_DIR}/pictures/reference/${set})
  file(MAKE_DIRECTORY ${reference_dir})
  configure_file(${made_with} ${reference_dir}/made-with.txt COPYONLY)
  file(GLOB pictures CONFIGURE_DEPENDS ${set_dir}/*.png)
  foreach(picture IN LISTS pictures)
    get_filename_component(name ${picture} NAME_WE)
    add_custom_command(OUTPUT ${reference_dir}/${name}.bgr
      COMMAND ${NUPORAKU_CONVERT} ${picture} -depth 8 BGR:${reference_dir}/${name}.bgr
      DEPENDS ${picture} VERBATIM)
    list(APPEND reference_pixels ${reference_dir}/${name}.bgr)
  endforeach()
endforeach()
add_custom_target(nuporaku_reference_pictures DEPENDS ${reference_pixels})
# One at a time: the tests share the desktop (they read the screen) and the clipboard.
nuporaku_discover_tests(nuporaku_e2e_tests PROPERTIES ${test_properties} RESOURCE_LOCK wine_desktop)


if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(arch x86)
else()
  set(arch x64)
endif()
add_subdirectory(exe)

# The check kit: the program, its test programs and check.cmd, which runs them on a Windows
# machine with nothing installed and writes a report beside itself.
set(kit_name nuporaku-check-${PROJECT_VERSION}-${arch})
set(kit_files $<TARGET_FILE:nuporaku> $<TARGET_FILE:nuporaku_unit_tests> $<TARGET_FILE:nuporaku_e2e_tests> $<TARGET_FILE:nuporaku_timer_hook>
  $<TARGET_FILE:nuporaku_resource_tests> ${CMAKE_CURRENT_SOURCE_DIR}/kit/check.cmd ${CMAKE_CURRENT_SOURCE_DIR}/kit/README.txt)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${kit_name}.zip
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/package/normalise_zip.py
          --create ${CMAKE_BINARY_DIR}/${kit_name}.zip ${kit_name} ${kit_files}
  DEPENDS ${kit_files} ${CMAKE_SOURCE_DIR}/cmake/package/normalise_zip.py
  COMMENT "Making the check kit ${kit_name}.zip" VERBATIM)
add_custom_target(check-kit ALL DEPENDS ${CMAKE_BINARY_DIR}/${kit_name}.zip)
add_dependencies(check-kit nuporaku nuporaku_unit_tests nuporaku_e2e_tests nuporaku_timer_hook nuporaku_resource_tests)
# The kit run as on Windows, by Wine's cmd, on a few tests of each program, beside another
# program's window: every kind of line its report promises, and pictures of the program only.
add_executable(nuporaku_other_window kit/other_window.cpp)
add_dependencies(check-kit nuporaku_other_window)
# Registered as CTest starts, for a time limit as much longer as the machine is slower.
set(limit 300)
string(CONFIGURE "${scaled_time_limit}" time_limit_script @ONLY)
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/check_kit.cmake CONTENT "${time_limit_script}
add_test(check_kit [[${CMAKE_CURRENT_SOURCE_DIR}/kit/run_kit.sh]] [[${CMAKE_BINARY_DIR}/${kit_name}.zip]]
  [[${CMAKE_CURRENT_BINARY_DIR}/kit]] ${arch} [[$<TARGET_FILE:nuporaku_other_window>]]
  [[--gtest_filter=Catalogue.*:ResourceMenu.*:ShowStates/FadeWindow.*/0:OrderForm.KeepsItsClientArea*:OrderForm.FullWidth*:Orders/Receipt.*/EatIn:Screens/Picture.*/help:Screens/Picture.*/about:Screens/Picture.*/fade_out]])
set_tests_properties(check_kit PROPERTIES FIXTURES_REQUIRED wine LABELS wine RESOURCE_LOCK wine_desktop SKIP_RETURN_CODE 77 TIMEOUT \${limit})
")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_CURRENT_BINARY_DIR}/check_kit.cmake)

# Two builds of one commit give byte-identical executables, release zips and check kits.
add_test(NAME reproducible_build COMMAND ${CMAKE_COMMAND}
  -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE} -DBUILD_TYPE=${CMAKE_BUILD_TYPE}
  -DREFERENCE=$<TARGET_FILE:nuporaku> -DREFERENCE_KIT=${CMAKE_BINARY_DIR}/${kit_name}.zip -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/second-build
  -P ${CMAKE_SOURCE_DIR}/cmake/check-reproducible.cmake)

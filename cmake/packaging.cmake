# The release zip: both executables and a short readme. The x86 build makes the x64 program
# too, in a folder of its own, with the x64 toolchain.
set(x64_dir ${CMAKE_BINARY_DIR}/package-x64)
set(x64_exe ${x64_dir}/nuporaku.exe)
add_custom_command(OUTPUT ${x64_exe}
  COMMAND ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${x64_dir} -G ${CMAKE_GENERATOR}
          --toolchain ${CMAKE_SOURCE_DIR}/cmake/x86_64-w64-mingw32.cmake
          -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF
  COMMAND ${CMAKE_COMMAND} --build ${x64_dir} --target nuporaku
  DEPENDS nuporaku
  COMMENT "Building the x64 program for the release zip" VERBATIM)
add_custom_target(nuporaku_x64 ALL DEPENDS ${x64_exe})

install(TARGETS nuporaku RUNTIME DESTINATION x86)
install(PROGRAMS ${x64_exe} DESTINATION x64)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/package/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME nuporaku)
set(CPACK_PACKAGE_FILE_NAME nuporaku-${PROJECT_VERSION})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_NUPORAKU_PYTHON ${Python3_EXECUTABLE})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package/normalise-zip.cmake)
include(CPack)

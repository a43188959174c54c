# Builds nuporaku.exe afresh in another folder and compares it byte for byte with REFERENCE.
# Run with: cmake -DSOURCE_DIR=... -DTOOLCHAIN=... -DBUILD_TYPE=... -DREFERENCE=... -DWORK_DIR=... -P this file
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -G Ninja --toolchain ${TOOLCHAIN}
          -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DBUILD_TESTING=OFF
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target nuporaku OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${REFERENCE} ${WORK_DIR}/nuporaku.exe RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "A second build of the same sources differs from ${REFERENCE}")
endif()
file(SIZE ${REFERENCE} size)
message(STATUS "Two builds are byte-identical (${size} bytes)")
file(REMOVE_RECURSE ${WORK_DIR})

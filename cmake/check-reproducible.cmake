# Builds the release zip twice, in two fresh folders, the first with the check kit too, and
# checks that both zips and the programs in them are byte for byte the same as each other, and
# the program and the kit as the REFERENCE program and REFERENCE_KIT of the build under test.
# Run with: cmake -DSOURCE_DIR=... -DTOOLCHAIN=... -DBUILD_TYPE=... -DREFERENCE=... -DREFERENCE_KIT=...
#           -DWORK_DIR=... -P this file
file(REMOVE_RECURSE ${WORK_DIR})
foreach(build first second)
  set(dir ${WORK_DIR}/${build})
  if(build STREQUAL first)
    set(testing ON)
    set(targets package check-kit)
  else()
    set(testing OFF)
    set(targets package)
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${dir} -G Ninja --toolchain ${TOOLCHAIN}
            -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DBUILD_TESTING=${testing}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${dir} --target ${targets} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB zip_${build} ${dir}/nuporaku-1*.zip)
endforeach()

function(expect_same a b)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${a} ${b} RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "Not byte-identical: ${a} and ${b}")
  endif()
endfunction()
get_filename_component(program ${REFERENCE} NAME)
get_filename_component(kit ${REFERENCE_KIT} NAME)
expect_same(${REFERENCE} ${WORK_DIR}/first/${program})
expect_same(${WORK_DIR}/first/${program} ${WORK_DIR}/second/${program})
expect_same(${zip_first} ${zip_second})
expect_same(${REFERENCE_KIT} ${WORK_DIR}/first/${kit})
file(SIZE ${REFERENCE} size)
message(STATUS "Builds are reproducible: ${program} (${size} bytes), ${zip_first} and ${kit}")
file(REMOVE_RECURSE ${WORK_DIR})

# Builds the release zip twice, in two fresh folders, and checks that both zips and the programs
# in them are byte for byte the same as each other, and the program and the check kit as the
# REFERENCE program and REFERENCE_KIT of the build under test. The first build, with the kit, is
# of a copy of the sources in a folder of another name and depth than SOURCE_DIR, as another
# person's export of the same commit would be: nothing built may depend on the folder.
# Run with: cmake -DSOURCE_DIR=... -DTOOLCHAIN=... -DBUILD_TYPE=... -DREFERENCE=... -DREFERENCE_KIT=...
#           -DWORK_DIR=... -P this file
file(REMOVE_RECURSE ${WORK_DIR})
set(export_dir ${WORK_DIR}/elsewhere/a/deeper/copy-of-the-sources)
file(COPY ${SOURCE_DIR}/ DESTINATION ${export_dir} PATTERN .git EXCLUDE PATTERN build EXCLUDE)
get_filename_component(toolchain ${TOOLCHAIN} NAME)
foreach(build first second)
  set(dir ${WORK_DIR}/${build})
  if(build STREQUAL first)
    set(sources ${export_dir})
    set(testing ON)
    set(targets package check-kit)
  else()
    set(sources ${SOURCE_DIR})
    set(testing OFF)
    set(targets package)
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${sources} -B ${dir} -G Ninja --toolchain ${sources}/cmake/${toolchain}
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
file(GLOB programs ${WORK_DIR}/first/*.exe ${WORK_DIR}/first/tests/*.exe ${WORK_DIR}/first/tests/*/*.exe)
foreach(built IN LISTS programs)
  file(STRINGS ${built} texts)
  string(FIND "${texts}" ${export_dir} at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${built} names the folder it was built in")
  endif()
endforeach()
file(SIZE ${REFERENCE} size)
message(STATUS "Builds are reproducible from two folders: ${program} (${size} bytes), ${zip_first} and ${kit}")
file(REMOVE_RECURSE ${WORK_DIR})

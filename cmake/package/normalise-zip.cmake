# Runs after CPack has made the zip: rewrites it so that two builds of one commit give
# byte-identical zips (CPack records each file's access and change times).
foreach(package ${CPACK_PACKAGE_FILES})
  execute_process(COMMAND ${CPACK_NUPORAKU_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/normalise_zip.py ${package}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()

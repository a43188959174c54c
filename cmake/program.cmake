# nuporaku.exe: a small, self-contained, hardened and reproducible Windows GUI program.
# No -fdata-sections: MinGW GCC then puts zeroed statics (the 20 KB receipt) in .data, not .bss.
enable_language(RC)

# InitCommonControls is imported by ordinal 17, through an import library made from a .def file.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(NUPORAKU_INIT_COMMON_CONTROLS "InitCommonControls@0")  # stdcall decoration on x86
else()
  set(NUPORAKU_INIT_COMMON_CONTROLS "InitCommonControls")
endif()
configure_file(cmake/comctl32-ordinal.def.in comctl32-ordinal.def @ONLY)
set(comctl32_ordinal_lib ${CMAKE_CURRENT_BINARY_DIR}/libcomctl32-ordinal.a)
add_custom_command(OUTPUT ${comctl32_ordinal_lib}
  COMMAND ${CMAKE_DLLTOOL} --kill-at -d ${CMAKE_CURRENT_BINARY_DIR}/comctl32-ordinal.def -l ${comctl32_ordinal_lib}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/comctl32-ordinal.def VERBATIM)
add_custom_target(comctl32_ordinal DEPENDS ${comctl32_ordinal_lib})

# Icons are drawn as text and turned into .ico files at build time.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(icon_dir ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(icon_files)
foreach(icon nuporaku waste_bin)
  add_custom_command(OUTPUT ${icon_dir}/${icon}.ico
    COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/res/icons/make_ico.py
            ${CMAKE_SOURCE_DIR}/res/icons/${icon}.txt ${icon_dir}/${icon}.ico
    DEPENDS ${CMAKE_SOURCE_DIR}/res/icons/${icon}.txt ${CMAKE_SOURCE_DIR}/res/icons/make_ico.py VERBATIM)
  list(APPEND icon_files ${icon_dir}/${icon}.ico)
endforeach()
# The version resource's four numbers come from the project's version, missing parts as 0.
set(file_version_parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
list(APPEND file_version_parts 0 0 0)
list(SUBLIST file_version_parts 0 4 file_version_parts)
list(JOIN file_version_parts "," version_commas)
list(JOIN file_version_parts "." version_dots)
set(generated_dir ${CMAKE_CURRENT_BINARY_DIR}/generated)
configure_file(res/version.h.in ${generated_dir}/version.h @ONLY)

set_source_files_properties(res/nuporaku.rc PROPERTIES
  OBJECT_DEPENDS "${icon_files};${CMAKE_SOURCE_DIR}/res/nuporaku.manifest;${CMAKE_SOURCE_DIR}/res/resource.h;${generated_dir}/version.h")

add_executable(nuporaku WIN32
  src/visit/visit.cpp
  src/order/counter.cpp
  src/ui/order_form.cpp
  src/ui/fade_window.cpp
  res/nuporaku.rc)
target_include_directories(nuporaku PRIVATE src/ui res ${icon_dir} ${generated_dir})
target_compile_definitions(nuporaku PRIVATE UNICODE _UNICODE WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0501
  WIN32_LEAN_AND_MEAN NOMINMAX)
# Small code: no exceptions or RTTI, unused functions dropped. x64 keeps its unwind tables (the
# exception directory), which stack walks, crash dumps and debuggers need there; x86 has none.
set(small_code_options -Oz -fno-exceptions -fno-rtti -fno-threadsafe-statics -ffunction-sections)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND small_code_options -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()
target_compile_options(nuporaku PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra ${small_code_options}>)
target_compile_options(nuporaku_order PRIVATE ${small_code_options})
add_dependencies(nuporaku comctl32_ordinal)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(windows_version 5.01)  # Windows XP
  set(arch_link_options -Wl,--no-seh)
  set(NUPORAKU_ENTRY _nuporaku_start)  # C names carry a leading underscore on x86
else()
  set(windows_version 5.02)  # Windows XP x64 and Server 2003
  set(arch_link_options -Wl,--high-entropy-va)
  set(NUPORAKU_ENTRY nuporaku_start)
endif()
string(REPLACE "." ";" version_parts ${windows_version})
list(GET version_parts 0 major)
list(GET version_parts 1 minor)
# No C runtime: the program's own entry point, no start-up files, no default libraries; only
# the system DLLs below. Whatever the compiler would call on its own fails to link, and so
# does data imported from a DLL, which would need the runtime's pseudo-relocations.
target_link_options(nuporaku PRIVATE
  -nostartfiles -nodefaultlibs -Wl,--entry,${NUPORAKU_ENTRY} -s -Wl,--gc-sections
  -Wl,--disable-auto-import -Wl,--disable-runtime-pseudo-reloc
  -Wl,--subsystem,windows:${windows_version}
  -Wl,--major-os-version,${major} -Wl,--minor-os-version,${minor}
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware ${arch_link_options}
  -Wl,--no-insert-timestamp)
target_link_libraries(nuporaku PRIVATE nuporaku_order ${comctl32_ordinal_lib} kernel32 user32 gdi32)
include(cmake/packaging.cmake)

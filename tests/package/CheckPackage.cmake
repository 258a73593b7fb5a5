# Installs the built library into a scratch prefix, runs the installed tool
# there without LD_LIBRARY_PATH, then builds and runs a consumer through
# find_package() and another one through pkg-config.
# Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR, PACKAGE (the installed name of
# the CMake package, the pkg-config file and the header folder), TOOL (the
# installed tool's name, empty when it is not built).
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}")
  endif()
  message(STATUS "${out}")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(file include/${PACKAGE}/ImpExp_Item.h include/${PACKAGE}/velxmlimpexp_export.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The tool finds its library relative to itself.
unset(ENV{LD_LIBRARY_PATH})
if(TOOL)
  run(${prefix}/bin/${TOOL} --help)
endif()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake-consumer -DCMAKE_PREFIX_PATH=${prefix}
  -DVELXML_PACKAGE=${PACKAGE})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-consumer)
run(${WORK_DIR}/cmake-consumer/consumer)

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  file(GLOB pcdirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "${pcdirs}")
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs ${PACKAGE}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config does not find ${PACKAGE} in ${pcdirs}")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(c++ -std=c++17 -fPIC ${SOURCE_DIR}/consumer.cpp -o ${WORK_DIR}/pc-consumer ${flags})
  get_filename_component(libdir ${pcdirs} DIRECTORY)
  set(ENV{LD_LIBRARY_PATH} "${libdir}")
  run(${WORK_DIR}/pc-consumer)
endif()

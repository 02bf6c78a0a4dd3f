# Checks the libraries the `murkwell` program needs at start-up: the TIFF and OpenEXR libraries
# (and the image library they replaced) and Assimp are reached through modules loaded on first
# use, never linked into the program itself; each module is built and exports its one entry.
#   cmake -DOBJDUMP=<objdump> -DNM=<nm> -DPROGRAM=<murkwell> -DMODULES="<module>=<entry>;..." -P CheckStartupLibraries.cmake
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE headers ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${PROGRAM}: ${errors}")
endif()
string(REGEX MATCHALL "NEEDED +[^\n]+" needed "${headers}")
foreach(line IN LISTS needed)
  if(line MATCHES "tiff|OpenEXR|Imath|Iex|IlmThread|OpenImageIO|assimp|draco|minizip")
    message(FATAL_ERROR "${PROGRAM} links a library that only some runs need: ${line}")
  endif()
endforeach()
foreach(pair IN LISTS MODULES)
  string(REPLACE "=" ";" parts "${pair}")
  list(GET parts 0 module)
  list(GET parts 1 entry)
  execute_process(COMMAND "${NM}" -D --defined-only "${module}" OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT symbols MATCHES "(^|\n)[0-9a-fA-F]+ T ${entry}(\n|$)")
    message(FATAL_ERROR "${module} does not export ${entry}:\n${symbols}")
  endif()
endforeach()
message(STATUS "start-up libraries: ${needed}")

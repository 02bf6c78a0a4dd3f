# Checks the dynamic symbol table of the plug-in's shared library: the four library functions are
# defined there under their plain, undecorated names, and nothing else is exported.
#   cmake -DNM=<nm> -DMODULE=<library> -P CheckExports.cmake
execute_process(COMMAND "${NM}" -D --defined-only "${MODULE}"
                OUTPUT_VARIABLE symbols ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}: ${errors}")
endif()
set(expected LibDescription LibNumberClasses LibClassDesc LibVersion)
foreach(name IN LISTS expected)
  if(NOT symbols MATCHES "(^|\n)[0-9a-fA-F]+ T ${name}(\n|$)")
    message(FATAL_ERROR "${name} is not exported under its plain name:\n${symbols}")
  endif()
endforeach()
string(REPLACE "\n" ";" lines "${symbols}")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    list(FIND expected "${CMAKE_MATCH_1}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "unexpected export: ${line}")
    endif()
  endif()
endforeach()
message(STATUS "exports: ${expected}")

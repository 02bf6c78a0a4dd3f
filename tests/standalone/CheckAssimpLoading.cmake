# Which runs of `murkwell` load Assimp, as the dynamic loader reports it (LD_DEBUG=files): the
# version, and the info and a bake of an OBJ file, must not; the info of a glTF file must, which
# shows that the trace sees the load when there is one.
#   cmake -DPROGRAM=<murkwell> -DOBJ=<file.obj> -DGLTF=<file.gltf> -DWORK=<dir> -P CheckAssimpLoading.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(check_run what expect_load)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env LD_DEBUG=files "${PROGRAM}" ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE trace)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  string(REGEX MATCHALL "file=[^ ]*(libassimp|murkwell-assimp)[^ ]*" loads "${trace}")
  if(expect_load AND NOT loads)
    message(FATAL_ERROR "${what}: the loader's trace shows no load of Assimp; the check cannot see one")
  elseif(NOT expect_load AND loads)
    message(FATAL_ERROR "${what} loads Assimp: ${loads}")
  endif()
  message(STATUS "${what}: ${loads}")
endfunction()

check_run("murkwell --version" FALSE --version)
check_run("murkwell info of an OBJ" FALSE info "${OBJ}")
check_run("murkwell bake of an OBJ" FALSE bake "${OBJ}" -o "${WORK}/map.png" --mode uv --size 64x64 --dist 1
          --spread 2x1 --config-dir "${WORK}/cfg" -q)
check_run("murkwell info of a glTF" TRUE info "${GLTF}")

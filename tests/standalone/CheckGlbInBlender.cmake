# Bakes the tray's vertex colours to .glb and .obj and has Blender's own glTF importer read the
# .glb back (glb_colours_in_blender.py). Reports itself skipped when Blender is not installed.
#   cmake -DMURKWELL=<murkwell> -DINPUT=<tray.gltf> -DSCRIPT=<glb_colours_in_blender.py> -DWORK=<dir> -P CheckGlbInBlender.cmake
find_program(BLENDER blender)
if(NOT BLENDER)
  message("Blender is not installed: skipped")
  return()
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
foreach(out tray.glb tray.obj)
  execute_process(COMMAND "${MURKWELL}" bake "${INPUT}" -o "${WORK}/${out}" --mode vertex --replace --dist 1.5
                          --spread 8x2 --threads 1 --config-dir "${WORK}/cfg" -q
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "murkwell bake to ${out} failed (${rc}): ${err}")
  endif()
endforeach()
execute_process(COMMAND "${BLENDER}" -b --factory-startup --python-exit-code 1 --python "${SCRIPT}" --
                        "${WORK}/tray.glb" "${WORK}/tray.obj"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(out MATCHES "numpy is missing[^\n]*skipped")
  message("numpy is missing for Blender's glTF importer: skipped")
  return()
endif()
if(NOT rc EQUAL 0 OR NOT out MATCHES "checked [0-9]+ corners")
  message(FATAL_ERROR "Blender did not read the colours back (${rc}):\n${out}\n${err}")
endif()
string(REGEX MATCH "checked [^\n]*" line "${out}")
message(STATUS "${line}")

# Runs one test script inside Blender, headless, with a fresh user folder (add-ons and
# configuration) of its own, so the add-on is installed from its zip as a user would install it
# and nothing of the user's own Blender set-up takes part. Prints a line that CTest reads as a
# skip when Blender is not installed.
#
#   cmake -DSCRIPT=... -DZIP=... -DMURKWELL=... -DSOURCE=... -DWORK=... -P run_blender_test.cmake
find_program(BLENDER_PROGRAM blender)
if(NOT BLENDER_PROGRAM)
  message("Blender is not installed: skipped (scripts/setup.sh installs it for the tests)")
  return()
endif()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/scripts" "${WORK}/config" "${WORK}/tmp")
set(ENV{BLENDER_USER_SCRIPTS} "${WORK}/scripts")
set(ENV{BLENDER_USER_CONFIG} "${WORK}/config")
set(ENV{TMPDIR} "${WORK}/tmp")
execute_process(
  COMMAND "${BLENDER_PROGRAM}" -b --factory-startup --python-exit-code 1 --python "${SCRIPT}"
          -- --zip "${ZIP}" --murkwell "${MURKWELL}" --source "${SOURCE}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "Blender ended with ${status}")
endif()
file(REMOVE_RECURSE "${WORK}")

# The run directory: what the machine looks for in its working directory.
file(MAKE_DIRECTORY ${ZORVIK_RUN_DIR})
add_custom_target(run_dir ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
          ${CMAKE_SOURCE_DIR}/examples/default.zvs ${ZORVIK_RUN_DIR}/default.zvs
  DEPENDS ${CMAKE_SOURCE_DIR}/examples/default.zvs
  COMMENT "Preparing the run directory")

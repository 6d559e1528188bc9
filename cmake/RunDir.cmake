# The run directory: what the machine looks for in its working directory.
# The font and the window icon are made here by the project's own tools: the
# font from the readable glyph source in data/, the icon painted in code.
file(MAKE_DIRECTORY ${ZORVIK_RUN_DIR})

add_executable(zorvik_mkfont tools/mkfont.cpp)
add_executable(zorvik_mkicon tools/mkicon.cpp)
target_include_directories(zorvik_mkicon PRIVATE ${SDL_INCLUDE_DIR})
target_link_libraries(zorvik_mkicon PRIVATE ${SDL_LIBRARY})

add_custom_command(
  OUTPUT ${ZORVIK_RUN_DIR}/term.mxf
  COMMAND zorvik_mkfont ${CMAKE_SOURCE_DIR}/data/term.glyphs ${ZORVIK_RUN_DIR}/term.mxf
  DEPENDS zorvik_mkfont ${CMAKE_SOURCE_DIR}/data/term.glyphs
  COMMENT "Making the font term.mxf")

add_custom_command(
  OUTPUT ${ZORVIK_RUN_DIR}/icon.bmp
  COMMAND zorvik_mkicon ${ZORVIK_RUN_DIR}/icon.bmp
  DEPENDS zorvik_mkicon
  COMMENT "Painting the window icon icon.bmp")

add_custom_target(run_dir ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
          ${CMAKE_SOURCE_DIR}/examples/default.zvs ${ZORVIK_RUN_DIR}/default.zvs
  DEPENDS ${CMAKE_SOURCE_DIR}/examples/default.zvs
          ${ZORVIK_RUN_DIR}/term.mxf ${ZORVIK_RUN_DIR}/icon.bmp
  COMMENT "Preparing the run directory")
